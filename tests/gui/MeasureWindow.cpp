// Times the window as the program builds it (not a test; run it by hand on
// an X server, e.g. under xvfb-run):
//   start-up: process start to the window shown with its start page loaded
//   apply:    press of Apply to the result page loaded
// with the books example from examples/ beside the executable.
#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <functional>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QWebEngineView>
#include <QWindow>
#include <QtTest>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <unistd.h>

#include "error_handling/ErrorHandling.h"
#include "main_window/Identity.h"
#include "main_window/QtMainWindow.h"
#include "main_window/QtProgram.h"
#include "platform/Application.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/qt/QtBrowser.h"
#include "platform/qt/QtMessageBox.h"

using namespace xmlpellor;

namespace {

// Milliseconds since this process began, from the kernel's own record.
double SinceProcessStart() {
  std::ifstream stat("/proc/self/stat");
  std::string field;
  for (int i = 0; i < 22 && stat >> field; ++i) {
  }
  const double startSeconds = std::stod(field) / static_cast<double>(::sysconf(_SC_CLK_TCK));
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  return (static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9 - startSeconds) * 1000.0;
}

// Runs the event loop until `done` holds or the time runs out. A real event
// loop, not QTest::qWaitFor: the engine's work is paced by Qt's event loop,
// and qWaitFor's sleeps between rounds stretch every page load to seconds.
bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (done()) loop.quit();
  });
  poll.start(1);
  QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
  if (!done()) loop.exec();
  return done();
}

}  // namespace

int main(int argc, char** argv) {
  PrepareProcess();
  QApplication qtApp(argc, argv);
  SetApplicationIdentity();

  QtProgram program;
  Application& app = program.app;
  QtMainWindow window(program.errors, program.app, program.fs);
  auto* view = window.Widget().findChild<QWebEngineView*>(QStringLiteral("wbr"));

  bool loaded = false;
  QObject::connect(view, &QWebEngineView::loadFinished, [&loaded] { loaded = true; });
  window.Show();
  if (!RunUntil([&] { return loaded && window.Widget().windowHandle()->isExposed(); }, 60000)) {
    std::fprintf(stderr, "start page did not load\n");
    return 1;
  }
  const double startup = SinceProcessStart();

  const std::string examples = app.Path() + "/examples/";
  window.Widget().findChild<QLineEdit*>(QStringLiteral("txtXml"))->setText(QString::fromStdString(examples + "books.xml"));
  window.Widget().findChild<QLineEdit*>(QStringLiteral("txtXsl"))->setText(QString::fromStdString(examples + "books.xsl"));
  std::printf("startup_ms %.0f apply_ms", startup);
  // The first Apply leaves the start page for another file; later ones
  // reload the same file.
  for (int press = 0; press < 3; ++press) {
    loaded = false;
    QElapsedTimer timer;
    timer.start();
    window.Widget().findChild<QPushButton*>(QStringLiteral("cmdApplyXsl"))->click();
    if (!RunUntil([&] { return loaded; }, 60000)) {
      std::fprintf(stderr, "result did not load\n");
      return 1;
    }
    std::printf(" %.1f", static_cast<double>(timer.nsecsElapsed()) / 1e6);
  }
  std::printf("\n");
  window.Widget().close();
  return 0;
}
