#include "main_window/QtProgram.h"

#include <QApplication>
#include <QIcon>
#include <QLoggingCategory>
#include <unistd.h>

#include "main_window/QtMainWindow.h"
#include "platform/qt/QtBrowser.h"

namespace xmlpellor {

void PrepareProcess(bool verbose) {
  IgnoreFileSizeLimitSignal();
  QtBrowser::RegisterScheme();
  if (!verbose) {
    // QT_LOGGING_RULES overrides rules set here, so a user can still ask
    // for any of these categories.
    QLoggingCategory::setFilterRules(
        QStringLiteral("js=false\n"
                       "qt.webenginecontext=false\n"));
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS")) {
      qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--log-level=3");
    }
  }
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
