#pragma once

#include <QFrame>
#include <functional>

class QLabel;
class QLineEdit;
class QToolButton;
class QWebEngineView;

namespace xmlpellor {

// Find in the page (or in another view of text), as a browser's find bar: a
// box that searches as one types, the previous and next match, how many
// there are. It floats over the top right corner of the view it searches.
//
// Its keys are read here rather than through shortcuts: a shortcut would take
// Esc before the window sees it, and Esc also stops a running Apply.
class QtFindBar final : public QFrame {
 public:
  // Told, perhaps later, which match is the active one of how many; with
  // `more`, there are more than `total`, which were not counted.
  using Found = std::function<void(int active, int total, bool more)>;
  // Goes to the next (or previous) match of `text`; an empty text clears
  // the highlights.
  using Search = std::function<void(const QString& text, bool backward, Found found)>;

  // Searches the web view's page.
  explicit QtFindBar(QWebEngineView& view);
  // Searches `host` with `search`; `what` names it ("page", "source").
  QtFindBar(QWidget& host, Search search, const QString& what);

  // Shows the bar with its text selected and the focus in it.
  void Open();
  // Hides the bar, clears the highlights and gives the focus to the page.
  void Close();
  // Searches again, e.g. in a page that has just loaded.
  void Refresh();
  // The next or previous match, as Enter and Shift+Enter in the bar; opens
  // the bar while it has nothing to find.
  void FindAgain(bool backward);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Find(bool backward);
  void Place();

  QWidget& m_host;
  Search m_search;
  QLineEdit* m_text;
  QToolButton* m_previous;
  QToolButton* m_next;
  QLabel* m_matches;
  QToolButton* m_close;
};

}  // namespace xmlpellor
