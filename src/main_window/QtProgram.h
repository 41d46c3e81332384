#pragma once

#include "error_handling/ErrorHandling.h"
#include "main_window/Identity.h"
#include "platform/Application.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/qt/form/QtMessageBox.h"

namespace xmlpellor {

// What the process must settle before the QApplication exists: the browser's
// URL scheme, the engine's sandbox as root, a file-size limit that must end
// in a reported error rather than a killed process, a private runtime folder
// when the session has none, and a quiet terminal: unless `verbose`, the web
// engine's own diagnostics (its start-up parameters, Chromium's log, the
// console of pages, its note of a sandbox turned off) are not printed. Values
// the user set in QT_LOGGING_RULES or QTWEBENGINE_CHROMIUM_FLAGS still win.
void PrepareProcess(bool verbose = false);

// The application object's name, version and icon; after the QApplication.
void SetApplicationIdentity();

// The services the window runs on, wired together.
struct QtProgram {
  Application app{kApplicationTitle};
  QtMessageBox messageBox;
  SystemClock clock;
  ErrorHandling errors{app, messageBox, clock};
  PosixFileSystem fs;
};

}  // namespace xmlpellor
