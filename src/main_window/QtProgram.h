#pragma once

#include "error_handling/ErrorHandling.h"
#include "main_window/Identity.h"
#include "platform/Application.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/qt/QtMessageBox.h"

namespace xmlpellor {

// What the process must settle before the QApplication exists: the browser's
// URL scheme, the engine's sandbox as root, and a file-size limit that must
// end in a reported error rather than a killed process.
void PrepareProcess();

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
