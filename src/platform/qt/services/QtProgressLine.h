#pragma once

#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <cstdint>

#include "platform/Progress.h"

namespace xmlpellor {

// A line over the bottom edge of a widget (the page) that says, from
// kShowAfterMs into a run, what the run does, for how long it has gone on,
// and that Esc stops it. The page under it stays as it was.
class QtProgressLine final : public QLabel, public IProgress {
 public:
  static constexpr int kShowAfterMs = 500;

  // Lies over the bottom of `page`, as its child, so that the window's own
  // controls stay as they are.
  explicit QtProgressLine(QWidget& page);

  void Begin() override;
  void Phase(const std::string& phase, std::uint64_t done, std::uint64_t total) override;
  void End() override;

  // "Reading the document: 1.2 of 4.0 MB · 3.4 s · Esc stops it"
  static QString Text(const QString& phase, std::uint64_t done, std::uint64_t total,
                      double seconds);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Refresh();
  void FollowPage();

  QPointer<QWidget> m_page;
  QElapsedTimer m_clock;
  QTimer m_tick;
  QString m_phase;
  std::uint64_t m_done = 0, m_total = 0;
  bool m_running = false;
};

}  // namespace xmlpellor
