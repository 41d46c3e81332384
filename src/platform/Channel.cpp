#include "platform/Channel.h"

#include <sys/socket.h>

#include <cerrno>

namespace xmlpellor {

bool SendMessage(int channel, std::string_view message) noexcept {
  for (;;) {
    // An end that went away fails the send; it must not end this process.
    if (::send(channel, message.data(), message.size(), MSG_NOSIGNAL) >= 0) return true;
    if (errno != EINTR) return false;
  }
}

}  // namespace xmlpellor
