#pragma once

#include <QFrame>

class QLabel;
class QLineEdit;
class QToolButton;
class QWebEngineView;

namespace xmlpellor {

// Find in the page, as a browser's find bar: a box that searches as one
// types, the previous and next match, how many there are. It floats over the
// top right corner of the view it searches.
//
// Its keys are read here rather than through shortcuts: a shortcut would take
// Esc before the window sees it, and Esc also stops a running Apply.
class QtFindBar final : public QFrame {
 public:
  explicit QtFindBar(QWebEngineView& view);

  // Shows the bar with its text selected and the focus in it.
  void Open();
  // Hides the bar, clears the highlights and gives the focus to the page.
  void Close();
  // Searches again, e.g. in a page that has just loaded.
  void Refresh();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Find(bool backward);
  void Place();

  QWebEngineView& m_view;
  QLineEdit* m_text;
  QToolButton* m_previous;
  QToolButton* m_next;
  QLabel* m_matches;
  QToolButton* m_close;
};

}  // namespace xmlpellor
