// The XSLT engine's process. The window starts one ahead of each Apply; it
// waits for one request on its channel, limits its memory, confines itself,
// runs the job and tells the window what happened, then ends. Nothing of one
// job, and no fault of the libraries, outlives it.
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <new>
#include <string>

#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/RuntimeError.h"
#include "platform/Worker.h"
#include "platform/xml/XmlLibrary.h"
#include "transform/Job.h"
#include "transform/JobWire.h"

namespace {

using namespace xmlpellor;
using namespace xmlpellor::transform;

// A line of a stylesheet's message longer than this is cut: the channel
// carries whole messages of a bounded size.
constexpr std::size_t kMaxLine = 64 * 1024;

void Send(const std::string& message) {
  // A window that went away makes this fail; the job ends all the same.
  while (::send(kHelperChannelFd, message.data(), message.size(), MSG_NOSIGNAL) < 0 &&
         errno == EINTR) {
  }
}

// Built before the job starts: when memory has run out, telling the window
// must not need any.
std::string gOverLimit;
bool gOverLimitSent = false;

void OnAllocationFailed() {
  if (gOverLimitSent) return;
  gOverLimitSent = true;
  ::send(kHelperChannelFd, gOverLimit.data(), gOverLimit.size(), MSG_NOSIGNAL);
}

void OnNewFailed() {
  OnAllocationFailed();
  throw std::bad_alloc();
}

class ChannelEvents final : public JobEvents {
 public:
  void Phase(JobPhase phase) override {
    Send(wire::Writer(wire::Tag::kPhase).Number(static_cast<std::uint64_t>(phase)).Bytes());
  }
  void Reading(const std::string& path) override {
    Send(wire::Writer(wire::Tag::kReading).Text(path).Bytes());
  }
  void Progress(std::uint64_t done, std::uint64_t total) override {
    Send(wire::Writer(wire::Tag::kProgress).Number(done).Number(total).Bytes());
  }
  void Message(const std::string& line) override {
    Send(wire::Writer(wire::Tag::kMessage).Text(line.substr(0, kMaxLine)).Bytes());
  }
  void Parameters(const std::vector<xml::DeclaredParameter>& declared) override {
    Send(wire::EncodeParameters(declared));
  }
};

void Answer(const JobResult& result) {
  if (result.notLoaded) {
    Send(wire::Writer(wire::Tag::kNotLoaded)
             .Number(static_cast<std::uint64_t>(result.notLoaded->Line))
             .Text(result.notLoaded->reason)
             .Text(result.notLoadedLocation)
             .Bytes());
    return;
  }
  WriteAll(kHelperOutputFd, result.output, "the output");
  for (const auto& document : result.documents) {
    WriteAll(kHelperOutputFd, document.bytes, "the output");
    Send(wire::Writer(wire::Tag::kDocument)
             .Text(document.path)
             .Number(document.bytes.size())
             .Bytes());
  }
  Send(wire::Writer(wire::Tag::kOutput)
           .Number(static_cast<std::uint64_t>(result.kind))
           .Number(result.output.size())
           .Text(result.encoding)
           .Bytes());
}

// The output goes into memory, not into a file, so the limit the window's
// files have does not bound it; the window's own write still meets it.
void LiftFileSizeLimit() {
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
}

}  // namespace

int main() {
  ::signal(SIGPIPE, SIG_IGN);
  LiftFileSizeLimit();
  gOverLimit = wire::Writer(wire::Tag::kOverLimit).Bytes();
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
    Send(wire::Writer(wire::Tag::kConfined).Text(confinement).Bytes());

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
    Send(wire::EncodeError(CurrentErrorRecord()));
  }
  // The trees and the output go with the process, at no cost.
  ::_exit(0);
}
