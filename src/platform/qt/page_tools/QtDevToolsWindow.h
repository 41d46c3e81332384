#pragma once

#include <QWidget>

class QWebEnginePage;
class QWebEngineView;

namespace xmlpellor {

// The web engine's developer tools for one page, in a window of their own.
// They run in a profile of their own, so the result pages' rules for what
// may be loaded do not judge the tools' own pages.
class QtDevToolsWindow final : public QWidget {
 public:
  QtDevToolsWindow(QWidget& owner, QWebEnginePage& inspected);

  // Inspects the element under the page's last context menu.
  void InspectElement();
  QWebEngineView& View() { return *m_view; }

 private:
  QWebEnginePage& m_inspected;
  QWebEngineView* m_view;
};

}  // namespace xmlpellor
