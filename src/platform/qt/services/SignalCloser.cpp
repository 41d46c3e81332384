#include "platform/qt/services/SignalCloser.h"

#include <QApplication>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QWidget>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "platform/RuntimeError.h"

namespace xmlpellor {
namespace {

volatile std::sig_atomic_t g_writeFd = -1;

extern "C" void WriteSignalToPipe(int signal) {
  const int savedErrno = errno;
  const char byte = static_cast<char>(signal);
  // A full pipe already holds a pending close; dropping this byte is fine.
  [[maybe_unused]] const ssize_t n = ::write(g_writeFd, &byte, 1);
  errno = savedErrno;
}

}  // namespace

SignalCloser::SignalCloser(QWidget& window) : m_window(window) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) ThrowFileError(errno, "pipe");
  m_read = FileDescriptor(fds[0]);
  m_write = FileDescriptor(fds[1]);
  g_writeFd = m_write.get();

  m_notifier = std::make_unique<QSocketNotifier>(m_read.get(), QSocketNotifier::Read);
  QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { OnReadable(); });

  struct sigaction action {};
  action.sa_handler = WriteSignalToPipe;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    struct sigaction previous {};
    if (::sigaction(signal, &action, &previous) == 0) m_previous.emplace_back(signal, previous);
  }
}

SignalCloser::~SignalCloser() {
  for (const auto& [signal, previous] : m_previous) ::sigaction(signal, &previous, nullptr);
  g_writeFd = -1;
}

void SignalCloser::OnReadable() {
  char bytes[64];
  while (::read(m_read.get(), bytes, sizeof bytes) > 0) {
  }
  // A modal box or dialog open at that moment would hold the close back;
  // it goes first, as if the user had dismissed it.
  for (int open = 0; open < 16; ++open) {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->close()) break;
  }
  // Queued, so that a procedure the dismissed box interrupted finishes
  // before the window unloads behind it.
  QMetaObject::invokeMethod(
      &m_window, [window = &m_window] { window->close(); }, Qt::QueuedConnection);
}

}  // namespace xmlpellor
