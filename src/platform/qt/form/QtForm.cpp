#include "platform/qt/form/QtForm.h"

#include <QCloseEvent>
#include <QEvent>

#include "platform/qt/form/QtControl.h"
#include "platform/qt/services/QtWorker.h"

namespace xmlpellor {

QtForm::QtForm(QWidget* parent) : QWidget(parent) {}

float QtForm::ScaleWidth() const {
  return ToTwips(width());
}
float QtForm::ScaleHeight() const {
  return ToTwips(height());
}

void QtForm::setVisible(bool visible) {
  // Every way of showing a widget goes through setVisible, and Qt delivers
  // the first resize event from inside it, so the load must come first.
  if (visible && !m_loaded) {
    m_loaded = true;
    if (m_events.load) m_events.load();
  }
  QWidget::setVisible(visible);
}

void QtForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (m_events.resize) m_events.resize();
}

void QtForm::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // Minimising or restoring need not change the size Qt reports, so no
  // resize event comes; the layout runs all the same.
  if (event->type() == QEvent::WindowStateChange && m_events.resize) m_events.resize();
}

void QtForm::closeEvent(QCloseEvent* event) {
  // Qt may deliver a second close (quitting after the window has gone, say);
  // the unload ran once and the file is already gone.
  if (m_unloaded) {
    event->accept();
    return;
  }
  // Unloading now would delete the output file under the Apply command that
  // is still running below this event.
  if (m_worker && m_worker->Running()) {
    event->ignore();
    if (!m_closePending) {
      m_closePending = true;
      m_worker->StopThen(this, [this] {
        m_closePending = false;
        close();
      });
    }
    return;
  }
  std::int16_t cancel = 0;
  if (m_events.unload) m_events.unload(cancel);
  if (cancel != 0) {
    event->ignore();
    return;
  }
  m_unloaded = true;
  event->accept();
}

}  // namespace xmlpellor
