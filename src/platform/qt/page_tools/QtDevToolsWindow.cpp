#include "platform/qt/page_tools/QtDevToolsWindow.h"

#include <QShortcut>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

namespace xmlpellor {

QtDevToolsWindow::QtDevToolsWindow(QWidget& owner, QWebEnginePage& inspected)
    : QWidget(&owner, Qt::Window), m_inspected(inspected) {
  setObjectName(QStringLiteral("devTools"));
  setAccessibleName(QStringLiteral("Developer tools"));
  setAccessibleDescription(QStringLiteral("Elements, styles and console of the result page"));
  resize(900, 560);
  // The view comes before the profile: children go in the order they came,
  // and a profile must outlive the pages that use it.
  m_view = new QWebEngineView(this);
  m_view->setObjectName(QStringLiteral("devToolsView"));
  m_view->setAccessibleName(QStringLiteral("Developer tools"));
  auto* profile = new QWebEngineProfile(this);  // off the record
  m_view->setPage(new QWebEnginePage(profile, m_view));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_view);
  m_inspected.setDevToolsPage(m_view->page());

  // The keys that opened the tools close them again, as in a browser.
  auto* close = new QShortcut(this);  // owned by the window
  close->setKeys({QKeySequence(Qt::Key_F12), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_I)});
  connect(close, &QShortcut::activated, this, &QWidget::close);
}

void QtDevToolsWindow::InspectElement() {
  m_inspected.triggerAction(QWebEnginePage::InspectElement);
}

}  // namespace xmlpellor
