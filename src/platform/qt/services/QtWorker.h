#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <vector>

#include "platform/Worker.h"

class QWidget;

namespace xmlpellor {

// Runs a job on its big-stack thread while the window stays alive: it
// repaints and lays itself out, shows the busy cursor, and Esc stops the
// job. The controls given take no input meanwhile (a programmatic click on
// a disabled button does nothing either), so no command of the window runs
// twice or out of order. Run returns when the job has ended.
class QtWorker final : public QObject, public IWorker {
 public:
  QtWorker(QWidget& window, std::vector<QWidget*> controls);
  ~QtWorker() override;

  void Run(const std::function<void()>& job) override;
  StopToken& Token() noexcept override { return m_token; }
  bool Running() const noexcept { return m_running; }

  // Stops the running job and calls `then` once the command that ran it has
  // returned to the event loop; at once when nothing runs.
  void StopThen(QObject* context, std::function<void()> then);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void EnterBusy();
  void LeaveBusy();

  QWidget& m_window;
  std::vector<QPointer<QWidget>> m_controls;
  std::vector<QPointer<QWidget>> m_disabled;  // by the running job
  QPointer<QWidget> m_focus;                  // before the job began
  std::vector<std::pair<QPointer<QObject>, std::function<void()>>> m_afterRun;
  StopToken m_token;
  bool m_running = false;
  bool m_busy = false;
};

}  // namespace xmlpellor
