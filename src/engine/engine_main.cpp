// The XSLT engine's process. The window starts one ahead of each Apply; it
// waits for one request on its channel, limits its memory, confines itself,
// runs the job and tells the window what happened, then ends. Nothing of one
// job, and no fault of the libraries, outlives it.
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <new>
#include <string>

#include "engine/EngineProcess.h"
#include "engine/Job.h"
#include "platform/Channel.h"
#include "platform/FileSystem.h"
#include "platform/RuntimeError.h"
#include "platform/Worker.h"
#include "platform/xml/XmlLibrary.h"
#include "wire/JobWire.h"

namespace {

using namespace xmlpellor;
using namespace xmlpellor::engine;

// A window that went away makes this fail; the job ends all the same.
void Send(const std::string& message) {
  SendMessage(kHelperChannelFd, message);
}

// Built before the job starts: when memory has run out, telling the window
// must not need any.
std::string gOverLimit;
bool gOverLimitSent = false;

void OnAllocationFailed() {
  if (gOverLimitSent) return;
  gOverLimitSent = true;
  SendMessage(kHelperChannelFd, gOverLimit);
}

void OnNewFailed() {
  OnAllocationFailed();
  throw std::bad_alloc();
}

void Answer(const JobResult& result) {
  if (result.notLoaded) {
    Send(wire::Encode(wire::NotLoaded{*result.notLoaded, result.notLoadedLocation}));
    return;
  }
  WriteAll(kHelperOutputFd, result.output, "the output");
  for (const auto& document : result.documents) {
    WriteAll(kHelperOutputFd, document.bytes, "the output");
    Send(wire::Encode(wire::Document{document.path, document.bytes.size()}));
  }
  for (const std::string& piece : wire::EncodeOrigins(result.origins)) Send(piece);
  Send(wire::Encode(wire::Output{result.kind, result.output.size(), result.encoding}));
}

}  // namespace

int main() {
  ::signal(SIGPIPE, SIG_IGN);
  LiftFileSizeLimit();
  gOverLimit = wire::Encode(wire::OverLimit{});
  xml::WatchAllocations(&OnAllocationFailed);
  std::set_new_handler(&OnNewFailed);
  xml::EnsureXmlLibraryInitialised();

  std::string message(kMaxChannelMessage, '\0');
  const ssize_t received = ::recv(kHelperChannelFd, message.data(), message.size(), 0);
  // The window ended without needing this engine. Its end of the channel
  // tells, not a parent-death signal: that one comes when the thread that
  // started this process ends, and the window starts engines from threads
  // that end long before the window does.
  if (received <= 0) return 0;
  message.resize(static_cast<std::size_t>(received));

  try {
    const wire::EngineRequest request = wire::DecodeRequest(message);
    // Made before the confinement, which has no call for making descriptors.
    const FileDescriptor done(::eventfd(0, EFD_CLOEXEC));
    if (!done) ThrowFileError(errno, "the engine's job");
    const std::string confinement = ConfineForJob(request.job, request.memoryLimit);
    Send(wire::Encode(wire::Confined{confinement}));

    ChannelEvents events;
    JobResult result;
    StopToken token;
    const std::function<void()> job = [&] { result = RunJob(request.job, events); };
    StackThread thread(job, token, [&done] {
      const std::uint64_t one = 1;
      [[maybe_unused]] const ssize_t n = ::write(done.get(), &one, sizeof one);
    });
    // A window that ends while the job runs leaves nobody to answer: the
    // engine goes at once rather than finish a job of any length.
    if (!WaitUnlessAbandoned(done.get())) ::_exit(0);
    thread.Join();
    Answer(result);
  } catch (const std::bad_alloc&) {
    OnAllocationFailed();
  } catch (...) {
    Send(wire::Encode(wire::Failed{CurrentErrorRecord()}));
  }
  // The trees and the output go with the process, at no cost.
  ::_exit(0);
}
