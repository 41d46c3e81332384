#include "platform/qt/services/QtWorker.h"

#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QWidget>
#include <exception>
#include <utility>

#include "platform/RuntimeError.h"

namespace xmlpellor {

namespace {

// Most transformations end sooner: they run without the busy state ever
// showing, so the controls do not flicker grey on every Apply.
constexpr std::chrono::milliseconds kQuietWait{150};

}  // namespace

QtWorker::QtWorker(QWidget& window, std::vector<QWidget*> controls) : m_window(window) {
  for (QWidget* control : controls) m_controls.emplace_back(control);
}

QtWorker::~QtWorker() {
  if (m_busy) LeaveBusy();
}

void QtWorker::Run(const std::function<void()>& job) {
  if (m_running) {
    throw RuntimeError(err::kInternalError, "A transformation is already running");
  }
  m_token.Reset();
  m_running = true;
  std::exception_ptr failure;
  {
    QEventLoop loop;
    // The thread is joined before the loop it wakes goes.
    StackThread thread(job, m_token, [&loop] {
      QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    if (!thread.WaitFor(kQuietWait)) {
      EnterBusy();
      loop.exec();
      // An application quitting ends every event loop, this one too.
      if (!thread.Finished()) m_token.RequestStop();
    }
    try {
      thread.Join();
    } catch (...) {
      failure = std::current_exception();
    }
  }
  LeaveBusy();
  m_running = false;
  // Queued: they run once the command that called Run has ended.
  for (auto& [context, then] : std::exchange(m_afterRun, {})) {
    if (context) QMetaObject::invokeMethod(context, std::move(then), Qt::QueuedConnection);
  }
  if (failure) std::rethrow_exception(failure);
}

void QtWorker::StopThen(QObject* context, std::function<void()> then) {
  if (!m_running) {
    then();
    return;
  }
  m_afterRun.emplace_back(context, std::move(then));
  m_token.RequestStop();
}

void QtWorker::EnterBusy() {
  m_busy = true;
  m_focus = QApplication::focusWidget();
  for (const auto& control : m_controls) {
    if (control && control->isEnabled()) {
      control->setEnabled(false);
      m_disabled.push_back(control);
    }
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  qApp->installEventFilter(this);
}

void QtWorker::LeaveBusy() {
  if (!m_busy) return;
  m_busy = false;
  qApp->removeEventFilter(this);
  QApplication::restoreOverrideCursor();
  for (const auto& control : std::exchange(m_disabled, {})) {
    if (control) control->setEnabled(true);
  }
  // A disabled control hands its focus on; it comes back where it was.
  if (m_focus && m_focus->isEnabled() && m_window.isActiveWindow()) m_focus->setFocus();
  m_focus = nullptr;
}

bool QtWorker::eventFilter(QObject* watched, QEvent* event) {
  if (m_running && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    m_token.RequestStop();
    return true;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace xmlpellor
