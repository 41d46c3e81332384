#include "platform/qt/browser/HostAddresses.h"

#include <netdb.h>
#include <sys/socket.h>

#include <QNetworkInterface>
#include <condition_variable>
#include <thread>

namespace xmlpellor {
namespace {

struct AddrInfoDeleter {
  void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

QList<QHostAddress> Lookup(const QString& name) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(name.toUtf8().constData(), nullptr, &hints, &found) != 0) return {};
  const std::unique_ptr<addrinfo, AddrInfoDeleter> list(found);
  QList<QHostAddress> addresses;
  for (const addrinfo* entry = list.get(); entry != nullptr; entry = entry->ai_next) {
    const QHostAddress address(entry->ai_addr);
    if (!address.isNull() && !addresses.contains(address)) addresses << address;
  }
  return addresses;
}

// The one lookup a waiting request and its thread share; the thread may
// outlive the wait.
struct Pending {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  QList<QHostAddress> addresses;
};

}  // namespace

HostAddresses::HostAddresses(std::chrono::milliseconds deadline, std::chrono::seconds keep)
    : m_deadline(deadline), m_keep(keep), m_pending(std::make_shared<std::atomic<int>>(0)) {}

QList<QHostAddress> HostAddresses::Resolve(const QString& host) {
  QString name = host.toLower();
  if (name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']')))
    name = name.mid(1, name.size() - 2);
  const QHostAddress literal(name);
  if (!literal.isNull()) return {literal};
  if (name.isEmpty()) return {};

  const auto now = std::chrono::steady_clock::now();
  {
    const std::lock_guard lock(m_mutex);
    const auto it = m_known.constFind(name);
    if (it != m_known.constEnd() && it->until > now) return it->addresses;
    if (m_known.size() > 256) m_known.clear();
  }
  QList<QHostAddress> addresses;
  if (m_pending->load() < kMaxPending) {
    auto pending = std::make_shared<Pending>();
    ++*m_pending;
    std::thread([pending, name, counter = m_pending] {
      QList<QHostAddress> found = Lookup(name);
      {
        const std::lock_guard lock(pending->mutex);
        pending->addresses = std::move(found);
        pending->finished = true;
      }
      pending->done.notify_all();
      --*counter;
    }).detach();
    std::unique_lock lock(pending->mutex);
    if (pending->done.wait_for(lock, m_deadline, [&] { return pending->finished; }))
      addresses = pending->addresses;
  }
  const std::lock_guard lock(m_mutex);
  m_known.insert(name, {addresses, now + m_keep});
  return addresses;
}

QList<QHostAddress> HostAddresses::Own() {
  const auto now = std::chrono::steady_clock::now();
  const std::lock_guard lock(m_mutex);
  // Addresses come and go with the network; a few seconds old is recent.
  if (m_own.until <= now) m_own = {QNetworkInterface::allAddresses(), now + m_keep};
  return m_own.addresses;
}

}  // namespace xmlpellor
