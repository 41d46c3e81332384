#include "main_window/QtProgram.h"

#include <QApplication>
#include <QIcon>
#include <unistd.h>

#include "main_window/QtMainWindow.h"
#include "platform/qt/QtBrowser.h"

namespace xmlpellor {

void PrepareProcess() {
  IgnoreFileSizeLimitSignal();
  QtBrowser::RegisterScheme();
  // The engine's sandbox refuses to run as root; everyone else keeps it.
  if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  }
}

void SetApplicationIdentity() {
  QApplication::setApplicationName(QString::fromLatin1(kProjectName));
  QApplication::setApplicationVersion(QString::fromLatin1(kVersion));
  QApplication::setWindowIcon(QtMainWindow::Icon());
}

}  // namespace xmlpellor
