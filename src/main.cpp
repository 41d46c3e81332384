#include <QApplication>

#include "main_window/QtMainWindow.h"
#include "main_window/QtProgram.h"
#include "platform/qt/SignalCloser.h"

int main(int argc, char** argv) {
  using namespace xmlpellor;

  PrepareProcess();
  QApplication qtApp(argc, argv);
  SetApplicationIdentity();

  QtProgram program;
  QtMainWindow window(program.errors, program.app, program.fs);
  program.messageBox.SetParent(&window.Widget());
  SignalCloser signalCloser(window.Widget());
  window.Show();
  return QApplication::exec();
}
