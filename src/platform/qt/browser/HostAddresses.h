#pragma once

#include <QHostAddress>
#include <QList>
#include <QHash>
#include <QString>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>

namespace xmlpellor {

// The addresses a host name stands for, as the page policy needs them while
// a request waits: looked up off the calling thread (the engine asks on the
// window's thread, which must not hang on a slow name server), given up after
// `deadline`, and kept for a while, a failed lookup too, so that a page
// cannot stall the window by asking again and again.
class HostAddresses {
 public:
  explicit HostAddresses(std::chrono::milliseconds deadline = std::chrono::milliseconds(2000),
                         std::chrono::seconds keep = std::chrono::seconds(10));

  // An address literal is itself; a name that did not resolve in time has
  // none.
  QList<QHostAddress> Resolve(const QString& host);
  // This machine's own addresses, on every interface.
  QList<QHostAddress> Own();

 private:
  struct Known {
    QList<QHostAddress> addresses;
    std::chrono::steady_clock::time_point until;
  };
  // Lookups still running past their deadline; beyond a few, a new name is
  // not looked up at all.
  static constexpr int kMaxPending = 8;

  std::chrono::milliseconds m_deadline;
  std::chrono::seconds m_keep;
  std::mutex m_mutex;
  QHash<QString, Known> m_known;
  Known m_own;
  std::shared_ptr<std::atomic<int>> m_pending;
};

}  // namespace xmlpellor
