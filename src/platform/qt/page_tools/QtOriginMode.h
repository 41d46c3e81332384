#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <string>

#include "platform/xml/Origins.h"

class QWebEngineView;
class QWidget;

namespace xmlpellor {

class QtOriginPanel;

// The page's origin mode: the page shows a marked copy of the output, a
// script outlines the element under the pointer and reports it, and the
// panel says where that element came from. The plain output stays what
// the source window and saving give.
class QtOriginMode final : public QObject {
 public:
  struct Commands {
    // Runs the job again for origins and shows the marked page; false when
    // there was nothing to show.
    std::function<bool()> show;
    // Back to the plain page.
    std::function<void()> hide;
    std::function<const xml::OriginTable&()> table;
    // Why there is nothing to point at, if so; the marked page's file
    // while it is shown.
    std::function<QString()> note;
    std::function<QString()> pageFile;
  };

  QtOriginMode(QWidget& window, QWebEngineView& view, Commands commands);
  ~QtOriginMode() override;
  QtOriginMode(const QtOriginMode&) = delete;
  QtOriginMode& operator=(const QtOriginMode&) = delete;

  void Toggle();
  void Enter();
  // From the page's menu, right-clicked at `point` of the view: the element
  // there is shown at once, as if clicked in the mode, whether the mode
  // begins now or was on already.
  void EnterAt(QPoint point);
  void Leave();
  bool Active() const noexcept { return m_active; }
  // Each place the panel offers, when activated.
  void OnOpenAt(std::function<void(const std::string& file, long line)> open);
  // Made at the first Enter.
  QtOriginPanel* Panel() const;

  // The page's script reports what it reads into a variable of its own
  // world, which this reads over and over while the mode lasts.
  static const char* PickerScript();

 private:
  void UrlChanged(const QUrl& url);
  bool IsMarkedPage(const QUrl& url) const;
  void Loaded(bool ok);
  void Poll();
  void Heard(const QString& state);
  void ShowElement(const QString& id, const QString& tag, bool kept);
  void PickPending();

  QWidget& m_window;
  QWebEngineView& m_view;
  Commands m_commands;
  QPointer<QtOriginPanel> m_panel;
  std::function<void(const std::string&, long)> m_openAt;
  QTimer m_poll;
  bool m_active = false;
  bool m_leaving = false;
  // The marked page has been seen in the view since Enter.
  bool m_onPage = false;
  double m_heard = -1;  // the script's count of reports at the last poll
  // The right-clicked element's way down from the root, as JSON, until the
  // marked page's picker can be given it.
  QString m_pick;
  // Leave counts, so an answer about a page of an earlier entry is dropped.
  unsigned m_leaves = 0;
};

}  // namespace xmlpellor
