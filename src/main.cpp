#include <QApplication>
#include <unistd.h>

#include "error_handling/ErrorHandling.h"
#include "main_window/Identity.h"
#include "main_window/QtMainWindow.h"
#include "platform/Application.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/qt/QtBrowser.h"
#include "platform/qt/QtMessageBox.h"
#include "platform/qt/SignalCloser.h"

int main(int argc, char** argv) {
  using namespace xmlpellor;

  IgnoreFileSizeLimitSignal();
  QtBrowser::RegisterScheme();
  // The engine's sandbox refuses to run as root; everyone else keeps it.
  if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  }

  QApplication qtApp(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(kProjectName));
  QApplication::setApplicationVersion(QString::fromLatin1(kVersion));
  QApplication::setWindowIcon(QtMainWindow::Icon());

  Application app(kApplicationTitle);
  QtMessageBox messageBox;
  SystemClock clock;
  ErrorHandling errors(app, messageBox, clock);
  PosixFileSystem fs;

  QtMainWindow window(errors, app, fs);
  messageBox.SetParent(&window.Widget());
  SignalCloser signalCloser(window.Widget());
  window.Show();
  return QApplication::exec();
}
