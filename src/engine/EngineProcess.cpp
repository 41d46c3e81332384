#include "engine/EngineProcess.h"

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>

#include <cerrno>

#include "platform/Channel.h"

namespace xmlpellor::engine {

void LiftFileSizeLimit() {
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
}

bool WaitUnlessAbandoned(int doneFd) {
  for (;;) {
    // However the window ends, the kernel closes its end of the channel,
    // and this end hangs up.
    pollfd ready[2] = {{kHelperChannelFd, POLLRDHUP, 0}, {doneFd, POLLIN, 0}};
    if (::poll(ready, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return true;  // cannot watch: let the job finish and its answer fail
    }
    if (ready[1].revents != 0) return true;
    if ((ready[0].revents & (POLLHUP | POLLRDHUP | POLLERR)) != 0) return false;
  }
}

void ChannelEvents::Phase(wire::JobPhase phase) {
  SendMessage(kHelperChannelFd, wire::Encode(wire::Phase{phase}));
}
void ChannelEvents::Reading(const std::string& path) {
  SendMessage(kHelperChannelFd, wire::Encode(wire::Reading{path}));
}
void ChannelEvents::Progress(std::uint64_t done, std::uint64_t total) {
  SendMessage(kHelperChannelFd, wire::Encode(wire::Progress{done, total}));
}
void ChannelEvents::Message(const std::string& line) {
  SendMessage(kHelperChannelFd, wire::Encode(wire::Message{line}));
}
void ChannelEvents::Parameters(const std::vector<xml::DeclaredParameter>& declared) {
  SendMessage(kHelperChannelFd, wire::Encode(wire::Parameters{declared}));
}

}  // namespace xmlpellor::engine
