#include "platform/qt/services/QtProgressLine.h"

#include <QApplication>
#include <QMetaObject>
#include <QThread>
#include <QEvent>

#include "platform/SizeText.h"

namespace xmlpellor {
namespace {

// The run's nested event loop turns the timer; a tenth of a second is as
// fine as a reader follows.
constexpr int kTickMs = 100;

}  // namespace

QtProgressLine::QtProgressLine(QWidget& page) : QLabel(&page), m_page(&page) {
  setObjectName(QStringLiteral("progress"));
  setAccessibleName(QStringLiteral("Progress"));
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::ToolTipBase);
  setForegroundRole(QPalette::ToolTipText);
  setMargin(4);
  hide();
  m_tick.setInterval(kTickMs);
  connect(&m_tick, &QTimer::timeout, this, [this] { Refresh(); });
  // The page is resized by the window's layout.
  page.installEventFilter(this);
}

QString QtProgressLine::Text(const QString& phase, std::uint64_t done, std::uint64_t total,
                             double seconds) {
  QString text = phase;
  if (total > 0) text += QStringLiteral(": ") + QString::fromStdString(SizeOfText(done, total));
  return text + QStringLiteral(" \u00B7 ") + QString::number(seconds, 'f', 1) +
         QStringLiteral(" s \u00B7 Esc stops it");
}

void QtProgressLine::Begin() {
  m_running = true;
  m_phase = QStringLiteral("Transforming");
  m_done = m_total = 0;
  m_clock.start();
  m_tick.start();
}

void QtProgressLine::Phase(const std::string& phase, std::uint64_t done, std::uint64_t total) {
  // The run tells its phases on the thread that waits for it.
  if (QThread::currentThread() != thread()) {
    QMetaObject::invokeMethod(
        this, [this, phase, done, total] { Phase(phase, done, total); }, Qt::QueuedConnection);
    return;
  }
  m_phase = QString::fromStdString(phase);
  m_done = done;
  m_total = total;
  if (isVisible()) Refresh();
}

void QtProgressLine::End() {
  m_running = false;
  m_tick.stop();
  hide();
}

void QtProgressLine::Refresh() {
  // The run's error report comes in a box before the run has returned; the
  // work is over by then, whatever the clock says.
  if (QApplication::activeModalWidget() != nullptr) {
    hide();
    return;
  }
  if (!m_running || m_clock.elapsed() < kShowAfterMs) return;
  setText(Text(m_phase, m_done, m_total, static_cast<double>(m_clock.elapsed()) / 1000.0));
  if (!isVisible()) {
    FollowPage();
    // Above the engine's drawing surface, which the view makes late.
    raise();
    show();
  }
}

void QtProgressLine::FollowPage() {
  if (!m_page) return;
  const int height = sizeHint().height();
  setGeometry(0, m_page->height() - height, m_page->width(), height);
}

bool QtProgressLine::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_page && event->type() == QEvent::Resize) {
    FollowPage();
  }
  return false;
}

}  // namespace xmlpellor
