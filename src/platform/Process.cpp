#include "platform/Process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <atomic>
#include <mutex>

#include "platform/FileSystem.h"
#include "platform/RuntimeError.h"
#include "platform/Sanitizer.h"

namespace xmlpellor {

namespace {

[[noreturn]] void ThrowStartError(const std::string& program, int error) {
  throw RuntimeError(error == ENOMEM || error == EAGAIN ? err::kOutOfMemory : err::kInternalError,
                     program + " could not be started: " + std::string(std::strerror(error)));
}

// How many processes the kernel's out-of-memory killer has ended since boot;
// 0 where the kernel does not say.
std::uint64_t OutOfMemoryKills() {
  std::FILE* file = std::fopen("/proc/vmstat", "re");
  if (file == nullptr) return 0;
  char name[64];
  unsigned long long count = 0;
  std::uint64_t kills = 0;
  while (std::fscanf(file, "%63s %llu", name, &count) == 2) {
    if (std::strcmp(name, "oom_kill") == 0) {
      kills = count;
      break;
    }
  }
  std::fclose(file);
  return kills;
}

// Frees what posix_spawn's attribute objects hold, whatever way Start leaves.
struct SpawnSettings {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  SpawnSettings() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSettings() {
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
  }
  SpawnSettings(const SpawnSettings&) = delete;
  SpawnSettings& operator=(const SpawnSettings&) = delete;
};

class PosixHelperProcess final : public IHelperProcess {
 public:
  PosixHelperProcess(pid_t pid, FileDescriptor pidfd, FileDescriptor channel, FileDescriptor output,
                     FileDescriptor killed, std::uint64_t outOfMemoryKills)
      : m_outOfMemoryKills(outOfMemoryKills),
        m_pid(pid),
        m_pidfd(std::move(pidfd)),
        m_channel(std::move(channel)),
        m_output(std::move(output)),
        m_killed(std::move(killed)) {}

  ~PosixHelperProcess() override {
    Kill();
    try {
      Wait();
    } catch (...) {
    }
  }

  bool Send(const std::string& message) override { return SendMessage(m_channel.get(), message); }

  bool Receive(std::string& message) override {
    message.resize(kMaxChannelMessage);
    for (;;) {
      // A killed helper with much memory takes the kernel a while to tear
      // down, and its end of the channel closes only after that.
      pollfd ready[2] = {{m_channel.get(), POLLIN, 0}, {m_killed.get(), POLLIN, 0}};
      if (::poll(ready, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      if (ready[1].revents != 0) return false;
      const ssize_t n = ::recv(m_channel.get(), message.data(), message.size(), 0);
      if (n > 0) {
        message.resize(static_cast<std::size_t>(n));
        return true;
      }
      if (n == 0 || errno != EINTR) return false;
    }
  }

  void Kill() noexcept override {
    m_killedHere.store(true, std::memory_order_release);
    // Through the pidfd, so that a helper already reaped can never stand for
    // another process that got its number since.
    if (m_pidfd) ::syscall(SYS_pidfd_send_signal, m_pidfd.get(), SIGKILL, nullptr, 0);
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_killed.get(), &one, sizeof one);
  }

  bool Ended() override {
    std::lock_guard lock(m_mutex);
    if (m_reaped) return true;
    int status = 0;
    if (::waitpid(m_pid, &status, WNOHANG) != m_pid) return false;
    Record(status);
    return true;
  }

  ExitStatus Wait() override {
    std::lock_guard lock(m_mutex);
    if (m_reaped) return m_status;
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0) {
      if (errno != EINTR) ThrowFileError(errno, "a helper process");
    }
    Record(status);
    return m_status;
  }

  std::string Output(std::uint64_t size) override {
    if (size == 0) return {};
    struct stat info {};
    if (::fstat(m_output.get(), &info) != 0 || static_cast<std::uint64_t>(info.st_size) < size) {
      throw RuntimeError(err::kDeviceIoError, "The helper process's output is incomplete");
    }
    void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, m_output.get(), 0);
    if (mapped == MAP_FAILED) ThrowFileError(errno, "the helper process's output");
    std::string text;
    try {
      text.assign(static_cast<const char*>(mapped), size);
    } catch (...) {
      ::munmap(mapped, size);
      throw;
    }
    ::munmap(mapped, size);
    return text;
  }

 private:
  void Record(int status) {
    m_reaped = true;
    if (WIFSIGNALED(status)) {
      m_status.signal = WTERMSIG(status);
    } else if (WIFEXITED(status)) {
      m_status.code = WEXITSTATUS(status);
    }
    m_status.killedHere = m_killedHere.load(std::memory_order_acquire);
    m_status.outOfMemoryKill = m_status.signal == SIGKILL && !m_status.killedHere &&
                               OutOfMemoryKills() > m_outOfMemoryKills;
  }

  const std::uint64_t m_outOfMemoryKills;  // the kernel's count when this one started
  std::atomic<bool> m_killedHere{false};
  pid_t m_pid;
  FileDescriptor m_pidfd;
  FileDescriptor m_channel;
  FileDescriptor m_output;
  FileDescriptor m_killed;  // an eventfd, set by Kill
  std::mutex m_mutex;
  bool m_reaped = false;
  ExitStatus m_status;
};

}  // namespace

std::string SignalDescription(int signal) {
  switch (signal) {
    case SIGSEGV: return "segmentation fault";
    case SIGABRT: return "aborted";
    case SIGBUS: return "bus error";
    case SIGFPE: return "arithmetic error";
    case SIGILL: return "illegal instruction";
    case SIGKILL: return "killed";
    case SIGSYS: return "forbidden system call";
    case SIGTRAP: return "trap";
    default: break;
  }
  const char* name = ::sigabbrev_np(signal);
  return name != nullptr ? std::string("SIG") + name : "signal " + std::to_string(signal);
}

std::unique_ptr<IHelperProcess> PosixProcessLauncher::Start(const HelperCommand& command) {
  const std::string& program = command.program;
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
    ThrowStartError(program, errno);
  }
  FileDescriptor ours(ends[0]);
  FileDescriptor theirs(ends[1]);
  FileDescriptor output(::memfd_create("xmlpellor-output", MFD_CLOEXEC));
  if (!output) ThrowStartError(program, errno);
  FileDescriptor killed(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!killed) ThrowStartError(program, errno);

  // The window's process has many threads, so the helper starts through
  // posix_spawn (no fork of a threaded process), with exactly the
  // descriptors it needs: never the window's terminal, which a helper could
  // type into, nor anything else the window holds.
  SpawnSettings settings;
  posix_spawn_file_actions_addopen(&settings.actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&settings.actions, 1, "/dev/null", O_WRONLY, 0);
  // A sanitizer's report of a fault in the helper is worth reading in the
  // builds that have one; elsewhere the helper's stderr leads nowhere.
  if (!kUnderAddressSanitizer) posix_spawn_file_actions_adddup2(&settings.actions, 1, 2);
  posix_spawn_file_actions_adddup2(&settings.actions, theirs.get(), kHelperChannelFd);
  posix_spawn_file_actions_adddup2(&settings.actions, output.get(), kHelperOutputFd);
  posix_spawn_file_actions_addclosefrom_np(&settings.actions, kHelperOutputFd + 1);
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&settings.attributes, &none);
  posix_spawnattr_setsigdefault(&settings.attributes, &all);
  posix_spawnattr_setflags(&settings.attributes,
                           POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& argument : command.arguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const auto& variable : command.environment)
    envp.push_back(const_cast<char*>(variable.c_str()));
  envp.push_back(nullptr);
  const std::uint64_t outOfMemoryKills = OutOfMemoryKills();
  pid_t pid = 0;
  const int failed = ::posix_spawn(&pid, program.c_str(), &settings.actions, &settings.attributes,
                                   argv.data(), envp.data());
  if (failed != 0) ThrowStartError(program, failed);
  FileDescriptor pidfd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
  if (!pidfd) {
    const int error = errno;
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    ThrowStartError(program, error);
  }
  return std::make_unique<PosixHelperProcess>(pid, std::move(pidfd), std::move(ours),
                                              std::move(output), std::move(killed),
                                              outOfMemoryKills);
}

std::uint64_t DefaultMemoryLimit() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return std::uint64_t{4} << 30;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) / 2;
}

}  // namespace xmlpellor
