// The XSLT 2.0 and 3.0 engine's process: Saxon-HE on a Java VM, driven
// through JNI. It speaks the libxslt engine's wire, so the window starts,
// prepares, stops and replaces it the same way. The VM starts and Saxon
// warms up as soon as the process starts, while the window waits for the
// user; then it takes one request, confines itself, runs the job, answers
// and ends.
#include <glob.h>
#include <limits.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "engine/saxon/Jni.h"
#include "engine/saxon/SaxonJob.h"
#include "engine/Confinement.h"
#include "engine/EngineProcess.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/RuntimeError.h"
#include "platform/SizeText.h"
#include "platform/Worker.h"
#include "platform/xml/DomDocument.h"
#include "platform/Channel.h"
#include "wire/JobWire.h"

namespace {

using namespace xmlpellor;
using namespace xmlpellor::engine;
using wire::JobEvents;
using wire::JobPhase;
using wire::JobRequest;
using wire::JobResult;
constexpr const char* kSaxonJar = "/usr/share/java/Saxon-HE.jar";
constexpr const char* kDefaultJvm = "/usr/lib/jvm/default-java/lib/server/libjvm.so";
constexpr const char* kShimJar = "xmlpellor-saxon.jar";

// Memory the VM needs beside its heap: classes (Saxon's are many), compiled
// code, direct buffers, its threads' stacks and the C library's own. The
// heap gets the rest of the limit.
constexpr std::uint64_t kMetaspace = 128ULL << 20;
constexpr std::uint64_t kCodeCache = 48ULL << 20;
constexpr std::uint64_t kDirectMemory = 16ULL << 20;
constexpr std::uint64_t kNativeBesideHeap = 256ULL << 20;
constexpr std::uint64_t kSmallestHeap = 32ULL << 20;
// The heap the VM starts with: what it commits at once counts against the
// limit before the job has begun.
constexpr std::uint64_t kStartHeap = 16ULL << 20;
// The job's thread. Java finds a runaway recursion when this is full; at
// libxslt's 256 MB that took seconds and as much memory, and 64 MB is ample
// for a stylesheet that recurses on purpose.
constexpr std::size_t kJobStackBytes = std::size_t{64} << 20;

// A window that went away makes this fail; the job ends all the same.
void Send(const std::string& message) {
  SendMessage(kHelperChannelFd, message);
}

std::string gOverLimit;
bool gOverLimitSent = false;

void OnAllocationFailed() {
  if (gOverLimitSent) return;
  gOverLimitSent = true;
  ::send(kHelperChannelFd, gOverLimit.data(), gOverLimit.size(), MSG_NOSIGNAL);
}

// What the VM printed last, kept for its failure to start and for its fatal
// error report, which says when native memory ran out.
char gVmSaid[4096];
std::size_t gVmSaidLength = 0;
bool gVmOutOfMemory = false;

jint JNICALL VmPrint(FILE*, const char* format, va_list arguments) {
  char line[1024];
  const int n = std::vsnprintf(line, sizeof line, format, arguments);
  if (n <= 0) return n;
  const std::size_t length = std::min(static_cast<std::size_t>(n), sizeof line - 1);
  if (std::strstr(line, "insufficient memory") != nullptr ||
      std::strstr(line, "Native memory allocation") != nullptr ||
      std::strstr(line, "OutOfMemoryError") != nullptr) {
    gVmOutOfMemory = true;
  }
  if (gVmSaidLength + length >= sizeof gVmSaid) gVmSaidLength = 0;
  std::memcpy(gVmSaid + gVmSaidLength, line, length);
  gVmSaidLength += length;
  return n;
}

// The VM's last word before it aborts: a native allocation that failed
// under the limit is the job's memory running out, as the libxslt engine
// reports it, not a crash.
void JNICALL VmAbort() {
  if (gVmOutOfMemory) OnAllocationFailed();
  ::_exit(134);
}

struct Arguments {
  std::uint64_t memoryLimit = 0;
  std::string libjvm;
  std::string saxonJar = kSaxonJar;
};

Arguments ReadArguments(int argc, char** argv) {
  Arguments arguments;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const auto value = [&](const char* name) -> std::optional<std::string> {
      const std::string prefix = std::string(name) + "=";
      if (argument.rfind(prefix, 0) != 0) return std::nullopt;
      return argument.substr(prefix.size());
    };
    if (auto limit = value("--memory-limit")) {
      arguments.memoryLimit = std::strtoull(limit->c_str(), nullptr, 10);
    } else if (auto jvm = value("--java")) {
      arguments.libjvm = *jvm;
    } else if (auto jar = value("--saxon-jar")) {
      arguments.saxonJar = *jar;
    }
  }
  return arguments;
}

bool Exists(const std::string& path) {
  return !path.empty() && ::access(path.c_str(), R_OK) == 0;
}

// The default Java runtime, else any the system has.
std::string FindJvm() {
  if (Exists(kDefaultJvm)) return kDefaultJvm;
  glob_t found{};
  std::string jvm;
  if (::glob("/usr/lib/jvm/*/lib/server/libjvm.so", 0, nullptr, &found) == 0 &&
      found.gl_pathc > 0) {
    jvm = found.gl_pathv[0];
  }
  ::globfree(&found);
  return jvm;
}

std::string OwnFolder() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  std::string self(path, static_cast<std::size_t>(n));
  return self.substr(0, self.find_last_of('/'));
}

RuntimeError Missing(const std::string& what) {
  return RuntimeError(xml::kXmlComponentError,
                      "XSLT 2.0 and 3.0 stylesheets run in Saxon-HE on a Java runtime, and " +
                          what +
                          ". Install the packages libsaxonhe-java and default-jre-headless "
                          "(sudo apt install libsaxonhe-java default-jre-headless); XSLT 1.0 "
                          "stylesheets run without them.",
                      saxon::kSaxonSource);
}

std::uint64_t HeapFor(std::uint64_t limit) {
  if (limit == 0) limit = DefaultMemoryLimit();
  const std::uint64_t heap = limit > 2 * kNativeBesideHeap ? limit - kNativeBesideHeap : limit / 2;
  return std::max(heap, kSmallestHeap);
}

std::string Megabytes(std::uint64_t bytes) {
  return std::to_string(std::max<std::uint64_t>(bytes >> 20, 1)) + "m";
}

// Everything that runs before the request: the VM, Saxon and its warm-up.
struct Engine {
  std::unique_ptr<saxon::JavaVm> vm;
  std::unique_ptr<saxon::SaxonProcessor> saxon;
  std::string javaHome;
  std::string product;
  std::uint64_t heap = 0;
};

Engine StartEngine(const Arguments& arguments) {
  Engine engine;
  const std::string libjvm = arguments.libjvm.empty() ? FindJvm() : arguments.libjvm;
  if (!Exists(libjvm)) throw Missing("no Java runtime is installed");
  if (!Exists(arguments.saxonJar))
    throw Missing("Saxon-HE (" + arguments.saxonJar + ") is not installed");
  const std::string shim = OwnFolder() + "/" + kShimJar;
  if (!Exists(shim)) {
    throw RuntimeError(err::kFileNotFound, "The Saxon engine's Java part is missing: " + shim,
                       saxon::kSaxonSource);
  }
  // <java home>/lib/server/libjvm.so
  engine.javaHome = libjvm.substr(0, libjvm.rfind("/lib/server/"));
  engine.heap = HeapFor(arguments.memoryLimit);
  saxon::JavaVm::Options options;
  options.libjvm = libjvm;
  options.classPath = {shim, arguments.saxonJar};
  options.arguments = {
      "-Xmx" + Megabytes(engine.heap),
      "-Xms" + Megabytes(std::min(engine.heap, kStartHeap)),
      "-XX:MaxMetaspaceSize=" + Megabytes(kMetaspace),
      "-XX:ReservedCodeCacheSize=" + Megabytes(kCodeCache),
      "-XX:MaxDirectMemorySize=" + Megabytes(kDirectMemory),
      // One thread collects: a job is one thread's work, and each thread of
      // the VM's costs memory and start-up time.
      "-XX:+UseSerialGC",
      // Nothing written to /tmp, no socket for tools to attach by, no
      // handlers for the terminal's signals: the window ends the process.
      "-XX:-UsePerfData",
      "-XX:+DisableAttachMechanism",
      "-Xrs",
      "-XX:-CreateCoredumpOnCrash",
      "-Djava.awt.headless=true",
      // The environment names no locale; Saxon's texts are Unicode.
      "-Dfile.encoding=UTF-8",
      "-Dsun.jnu.encoding=UTF-8",
  };
  options.print = &VmPrint;
  options.abort = &VmAbort;
  try {
    engine.vm = std::make_unique<saxon::JavaVm>(options);
  } catch (const RuntimeError& e) {
    std::string said(gVmSaid, gVmSaidLength);
    throw RuntimeError(e.number(), e.record().description + (said.empty() ? "" : ": " + said),
                       saxon::kSaxonSource);
  }
  JNIEnv* env = engine.vm->MainEnv();
  engine.saxon = std::make_unique<saxon::SaxonProcessor>(env);
  engine.saxon->WarmUp(env);
  engine.product = engine.saxon->Product(env) + " on Java " + engine.vm->Version();
  return engine;
}

// Besides the job's own folders, the kernel's rules let the job's thread
// read the VM's files: it loads classes and libraries as a job first needs
// them, and its settings folder is a link into /etc.
std::vector<std::string> VmFolders(const Engine& engine) {
  std::vector<std::string> folders{engine.javaHome};
  char resolved[PATH_MAX];
  for (const char* sub : {"/conf", "/lib/security"}) {
    if (::realpath((engine.javaHome + sub).c_str(), resolved) != nullptr)
      folders.push_back(resolved);
  }
  if (::realpath(engine.javaHome.c_str(), resolved) != nullptr) folders.push_back(resolved);
  return folders;
}

std::string ConfineForSaxon(const JobRequest& job, const Engine& engine, std::uint64_t limit) {
  // The data segment holds the heap as the VM commits it, the classes, the
  // compiled code, every thread's stack and the C library's memory; the VM
  // reserves more address space than that and commits within it, which
  // this limit, unlike one on the address space, leaves alone.
  std::string limited;
  if (limit != 0) {
    const rlim_t data = static_cast<rlim_t>(limit) + kJobStackBytes + (rlim_t{64} << 20);
    const rlimit bounds{data, data};
    if (::setrlimit(RLIMIT_DATA, &bounds) == 0) limited = ", memory limited";
  }
  return Confine(job.reads, ProcessNeeds{VmFolders(engine), true}).Describe() + limited;
}

}  // namespace

int main(int argc, char** argv) {
  ::signal(SIGPIPE, SIG_IGN);
  LiftFileSizeLimit();
  gOverLimit = wire::Encode(wire::OverLimit{});
  const Arguments arguments = ReadArguments(argc, argv);

  // The VM starts its own threads, which the kernel's file rules made later
  // would not bind: the file system is made read-only for every thread now.
  std::optional<ErrorRecord> unavailable;
  Engine engine;
  try {
    ConfineFileSystemBeforeThreads();
    engine = StartEngine(arguments);
  } catch (...) {
    unavailable = CurrentErrorRecord();
  }

  std::string message(kMaxChannelMessage, '\0');
  const ssize_t received = ::recv(kHelperChannelFd, message.data(), message.size(), 0);
  if (received <= 0) ::_exit(0);
  message.resize(static_cast<std::size_t>(received));
  if (unavailable) {
    Send(wire::Encode(wire::Failed{*unavailable}));
    ::_exit(0);
  }

  try {
    const wire::EngineRequest request = wire::DecodeRequest(message);
    const FileDescriptor done(::eventfd(0, EFD_CLOEXEC));
    if (!done) ThrowFileError(errno, "the engine's job");
    const std::string confinement = ConfineForSaxon(request.job, engine, request.memoryLimit);
    Send(wire::Encode(wire::Confined{engine.product + ", heap at most " + SizeText(engine.heap) +
                                     "; " + confinement}));

    ChannelEvents events;
    JobResult result;
    std::uint64_t written = 0;
    StopToken token;
    bool outOfMemory = false;
    // The job's thread starts after the confinement, so the kernel's rules
    // for reading bind it; it joins the VM for the job.
    const std::function<void()> job = [&] {
      const saxon::AttachedThread attached(engine.vm->vm());
      try {
        result = engine.saxon->Run(attached.env(), request.job, events, written);
      } catch (const std::bad_alloc&) {
        outOfMemory = true;
      }
    };
    StackThread thread(
        job, token,
        [&done] {
          const std::uint64_t one = 1;
          [[maybe_unused]] const ssize_t n = ::write(done.get(), &one, sizeof one);
        },
        kJobStackBytes);
    if (!WaitUnlessAbandoned(done.get())) ::_exit(0);
    thread.Join();
    if (outOfMemory) {
      OnAllocationFailed();
    } else if (result.notLoaded) {
      Send(wire::Encode(wire::NotLoaded{*result.notLoaded, result.notLoadedLocation}));
    } else {
      // As the libxslt engine hands back its profile and files: the files'
      // bytes after the output's, one message each, before the outcome.
      if (result.profile) {
        for (const std::string& message : wire::EncodeProfile(*result.profile)) Send(message);
      }
      for (const auto& document : result.documents) {
        WriteAll(kHelperOutputFd, document.bytes, "the output");
        Send(wire::Encode(wire::Document{document.path, document.bytes.size()}));
      }
      Send(wire::Encode(wire::Output{result.kind, written, result.encoding}));
    }
  } catch (const std::bad_alloc&) {
    OnAllocationFailed();
  } catch (...) {
    Send(wire::Encode(wire::Failed{CurrentErrorRecord()}));
  }
  // The VM, its threads and the job's trees go with the process.
  ::_exit(0);
}
