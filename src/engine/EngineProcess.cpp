#include "engine/EngineProcess.h"

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>

#include <cerrno>

#include "platform/Channel.h"
#include "platform/FileSystem.h"

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

void SendToWindow(std::string_view message) noexcept {
  SendMessage(kHelperChannelFd, message);
}

namespace {
std::string gOverLimit;
bool gOverLimitSaid = false;
}  // namespace

void PrepareOverLimit() {
  gOverLimit = wire::Encode(wire::OverLimit{});
}

void SayOverLimit() noexcept {
  if (gOverLimitSaid) return;
  gOverLimitSaid = true;
  SendToWindow(gOverLimit);
}

void Answer(const wire::JobResult& result, std::uint64_t outputSize) {
  if (result.notLoaded) {
    SendToWindow(wire::Encode(wire::NotLoaded{*result.notLoaded, result.notLoadedLocation}));
    return;
  }
  if (result.profile) {
    for (const std::string& message : wire::EncodeProfile(*result.profile)) SendToWindow(message);
  }
  for (const auto& document : result.documents) {
    WriteAll(kHelperOutputFd, document.bytes, "the output");
    SendToWindow(wire::Encode(wire::Document{document.path, document.bytes.size()}));
  }
  for (const std::string& piece : wire::EncodeOrigins(result.origins)) SendToWindow(piece);
  SendToWindow(wire::Encode(wire::Output{result.kind, outputSize, result.encoding}));
}

void ChannelEvents::Phase(wire::JobPhase phase) {
  SendToWindow(wire::Encode(wire::Phase{phase}));
}
void ChannelEvents::Reading(const std::string& path) {
  SendToWindow(wire::Encode(wire::Reading{path}));
}
void ChannelEvents::Progress(std::uint64_t done, std::uint64_t total) {
  SendToWindow(wire::Encode(wire::Progress{done, total}));
}
void ChannelEvents::Message(const std::string& line) {
  SendToWindow(wire::Encode(wire::Message{line}));
}
void ChannelEvents::Parameters(const std::vector<xml::DeclaredParameter>& declared) {
  SendToWindow(wire::Encode(wire::Parameters{declared}));
}

}  // namespace xmlpellor::engine
