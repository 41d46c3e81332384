#pragma once

#include <csignal>
#include <memory>
#include <vector>

#include "platform/FileSystem.h"

class QSocketNotifier;
class QWidget;

namespace xmlpellor {

// Turns SIGTERM, SIGINT and SIGHUP (log-out, Ctrl+C in the terminal) into an
// ordinary close of the window, so the window's unload runs and its
// temporary file goes. The signal handler only writes a byte to a pipe; the
// close happens on the user-interface thread when the pipe becomes readable.
// One per process; the previous handlers come back when it goes.
class SignalCloser {
 public:
  explicit SignalCloser(QWidget& window);
  ~SignalCloser();
  SignalCloser(const SignalCloser&) = delete;
  SignalCloser& operator=(const SignalCloser&) = delete;

 private:
  void OnReadable();

  QWidget& m_window;
  FileDescriptor m_read;
  FileDescriptor m_write;
  std::unique_ptr<QSocketNotifier> m_notifier;
  std::vector<std::pair<int, struct sigaction>> m_previous;
};

}  // namespace xmlpellor
