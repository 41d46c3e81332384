#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>

#include "platform/Window.h"

namespace xmlpellor {

class QtWorker;

// The main window as a top-level QWidget, raising the classic form events:
// load once before the window is first shown, resize when it is shown and
// after every change of size or window state, and unload whenever it is
// closed, by whatever means.
class QtForm final : public QWidget, public IForm {
 public:
  struct Events {
    std::function<void()> load;
    std::function<void()> resize;
    std::function<void(std::int16_t& cancel)> unload;
  };

  explicit QtForm(QWidget* parent = nullptr);

  void SetEvents(Events events) { m_events = std::move(events); }
  // A close while this worker runs a job stops the job and waits for the
  // command that ran it to end; the window then closes as usual.
  void SetWorker(QtWorker* worker) { m_worker = worker; }
  bool Unloaded() const noexcept { return m_unloaded; }

  float ScaleWidth() const override;
  float ScaleHeight() const override;

  void setVisible(bool visible) override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  Events m_events;
  QtWorker* m_worker = nullptr;
  bool m_closePending = false;
  bool m_loaded = false;
  bool m_unloaded = false;
};

}  // namespace xmlpellor
