#include "platform/qt/form/QtAccessibleApplication.h"

#include <QApplication>
#include <QWindow>

namespace xmlpellor {
namespace {

QAccessibleInterface* Factory(const QString& /*className*/, QObject* object) {
  return object != nullptr && object == qApp ? new QtAccessibleApplication : nullptr;
}

// Every real window of a widget program is a widget's; a bare window that is
// not on the screen only stands in for something.
bool IsStandIn(const QAccessibleInterface& window) {
  const auto* bare = qobject_cast<const QWindow*>(window.object());
  return bare != nullptr && !bare->isVisible();
}

}  // namespace

void QtAccessibleApplication::Install() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  QAccessible::installFactory(Factory);
  // An interface made before (a screen reader's bridge asks at start-up)
  // stays in Qt's cache until it is dropped; the next query makes ours.
  QAccessibleInterface* existing = QAccessible::queryAccessibleInterface(qApp);
  if (existing != nullptr && dynamic_cast<QtAccessibleApplication*>(existing) == nullptr) {
    QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(existing));
  }
}

QList<QAccessibleInterface*> QtAccessibleApplication::Windows() const {
  QList<QAccessibleInterface*> windows;
  const int count = QAccessibleApplication::childCount();
  for (int i = 0; i < count; ++i) {
    QAccessibleInterface* window = QAccessibleApplication::child(i);
    if (window != nullptr && !IsStandIn(*window)) windows << window;
  }
  // Qt leaves popups out of the application's windows, so a screen
  // reader's bridge walking the tree never met an open menu: the page's
  // context menu, a list dropped from a box. While one is open it is a
  // window of the application like any other.
  for (QWindow* window : QGuiApplication::topLevelWindows()) {
    if (window->type() != Qt::Popup || !window->isVisible()) continue;
    QAccessibleInterface* popup = window->accessibleRoot();
    if (popup != nullptr && !windows.contains(popup)) windows << popup;
  }
  return windows;
}

int QtAccessibleApplication::childCount() const {
  return static_cast<int>(Windows().size());
}

int QtAccessibleApplication::indexOfChild(const QAccessibleInterface* child) const {
  return static_cast<int>(Windows().indexOf(const_cast<QAccessibleInterface*>(child)));
}

QAccessibleInterface* QtAccessibleApplication::child(int index) const {
  return Windows().value(index);
}

}  // namespace xmlpellor
