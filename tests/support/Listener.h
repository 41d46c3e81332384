#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include "platform/FileSystem.h"

namespace xmlpellor::test {

// A listening socket on the loopback address that notices whether anything
// connected to it: proof that a document or stylesheet fetched nothing.
class Listener {
 public:
  Listener() {
    m_fd = FileDescriptor(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (!m_fd || ::bind(m_fd.get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(m_fd.get(), 4) != 0 ||
        ::getsockname(m_fd.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    m_port = ntohs(address.sin_port);
  }
  int port() const { return m_port; }
  bool SomebodyConnected() const {
    pollfd p{m_fd.get(), POLLIN, 0};
    return ::poll(&p, 1, 100) > 0;
  }

 private:
  FileDescriptor m_fd;
  int m_port = 0;
};

}  // namespace xmlpellor::test
