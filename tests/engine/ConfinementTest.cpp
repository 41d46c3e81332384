#include <gtest/gtest.h>

#include <fcntl.h>
#include <iconv.h>
#include <linux/capability.h>
#include <linux/keyctl.h>
#include <linux/openat2.h>
#include <linux/perf_event.h>
#include <pthread.h>
#include <pty.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/personality.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/shm.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <iostream>

#include "engine/Confinement.h"
#include "platform/FileSystem.h"
#include "support/TempDir.h"

namespace xmlpellor::test {
namespace {

// What the confined process holds from before, as the helper holds its channel to the window.
struct Inherited {
  std::string folder, inside, outside;  // the readable folder, a file in it, a file beyond it
  int socket = -1;                      // not connected
  int pipe = -1;                        // write end
  int terminal = -1;                    // a pseudo-terminal's far end, -1 where there is none
  pid_t parent = 0;                     // stands for the window
  int parentPriority = 0;
};

const sockaddr_un kNobody{AF_UNIX, "\0xmlpellor-confinement-test"};

bool Holds(int capability) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct sets[_LINUX_CAPABILITY_U32S_3] = {};
  return ::syscall(SYS_capget, &header, sets) == 0 &&
         (sets[capability / 32].effective & (1U << (capability % 32))) != 0;
}

int OnAThread(void* (*body)(void*)) {
  pthread_t thread;
  const int error = ::pthread_create(&thread, nullptr, body, nullptr);
  if (error != 0) return error;
  void* result = nullptr;
  ::pthread_join(thread, &result);
  return static_cast<int>(reinterpret_cast<std::intptr_t>(result));
}

int Errno(long rc) {
  return rc < 0 ? errno : 0;
}

int Open(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags, 0600);
  if (fd < 0) return errno;
  ::close(fd);
  return 0;
}

// Runs `body` in a forked child confined by `policy`; returns what it wrote, or "threw".
std::string InConfinedChild(const ReadPolicy& policy,
                            const std::function<std::string(const ConfinementReport&)>& body) {
  int channel[2];
  if (::pipe(channel) != 0) return "no pipe";
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::string out = "threw";
    try {
      out = body(Confine(policy));
    } catch (...) {
    }
    (void)!::write(channel[1], out.data(), out.size());
    ::_exit(0);  // no atexit work: LeakSanitizer's stop-the-world uses ptrace, refused here
  }
  ::close(channel[1]);
  std::string out;
  char buffer[256];
  for (long n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;) out.append(buffer, n);
  ::close(channel[0]);
  ::waitpid(pid, nullptr, 0);
  return out;
}

enum class Needs { kNothing, kLandlock, kTerminal };
// What the policy lets be read: the readable folder, nothing (a request that named no policy),
// or everything, which only a test asks for.
enum class Reads { kTheFolder, kNothing, kEverything };

struct Case {
  const char* name;
  int (*attempt)(const Inherited&);
  int expected;  // errno, 0 for success
  Needs needs = Needs::kNothing;
  Reads reads = Reads::kTheFolder;
};
void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

class ConfinementTable : public testing::TestWithParam<Case> {};

TEST_P(ConfinementTable, RefusesOrAllowsFromInside) {
  const Case& c = GetParam();
  const TempDir folder, beyond;
  folder.Write("inside.txt", "x");
  beyond.Write("outside.txt", "x");
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  const FileDescriptor reader(ends[0]), writer(ends[1]), socket(::socket(AF_UNIX, SOCK_DGRAM, 0));
  int near = -1, far = -1;
  if (::openpty(&near, &far, nullptr, nullptr, nullptr) != 0) near = far = -1;
  const FileDescriptor nearEnd(near), farEnd(far);
  if (c.needs == Needs::kTerminal && !farEnd) GTEST_SKIP() << "no pseudo-terminal here";
  errno = 0;
  const int priority = ::getpriority(PRIO_PROCESS, 0);
  ASSERT_EQ(errno, 0);
  const Inherited in{folder.path(),
                     folder.File("inside.txt"),
                     beyond.File("outside.txt"),
                     socket.get(),
                     writer.get(),
                     farEnd.get(),
                     ::getpid(),
                     priority};
  const ReadPolicy policy = c.reads == Reads::kTheFolder ? ReadPolicy({folder.path()})
                            : c.reads == Reads::kNothing ? ReadPolicy()
                                                         : ReadPolicy::Unrestricted();
  const std::string out = InConfinedChild(policy, [&](auto& report) {
    return std::to_string(report.landlockAbi) + " " + std::to_string(c.attempt(in));
  });
  int abi = -1, error = -1;
  ASSERT_EQ(std::sscanf(out.c_str(), "%d %d", &abi, &error), 2) << "the child said: " << out;
  if (c.needs == Needs::kLandlock && abi == 0)
    GTEST_SKIP() << "the kernel has no Landlock: reads stay open";
  EXPECT_EQ(error, c.expected) << std::strerror(error);
}

// clang-format off
const Case kCases[] = {
    {"OpenForWriting", [](auto& in) { return Open(in.inside, O_WRONLY); }, EACCES},
    {"CreateInTheReadableFolder", [](auto& in) { return Errno(::creat((in.folder + "/n").c_str(), 0600)); }, EACCES},
    {"Rename", [](auto& in) { return Errno(::rename(in.inside.c_str(), (in.folder + "/r").c_str())); }, EACCES},
    {"Unlink", [](auto& in) { return Errno(::unlink(in.inside.c_str())); }, EACCES},
    {"MakeFolder", [](auto& in) { return Errno(::mkdir((in.folder + "/d").c_str(), 0700)); }, EACCES},
    {"Truncate", [](auto& in) { return Errno(::truncate(in.inside.c_str(), 0)); }, EACCES},
    {"Socket", [](auto&) { return Errno(::socket(AF_UNIX, SOCK_STREAM, 0)); }, EACCES},
    {"SocketPair", [](auto&) { int s[2]; return Errno(::socketpair(AF_UNIX, SOCK_STREAM, 0, s)); }, EACCES},
    // Unconfined, this is ECONNREFUSED: nobody listens at that name.
    {"ConnectASocketMadeBefore", [](auto& in) {
       return Errno(::connect(in.socket, reinterpret_cast<const sockaddr*>(&kNobody), sizeof kNobody)); }, EACCES},
    {"SendFromASocketMadeBefore", [](auto& in) { return Errno(::sendto(in.socket, "x", 1, 0,
       reinterpret_cast<const sockaddr*>(&kNobody), sizeof kNobody)); }, ENOSYS},
    {"Execute", [](auto&) { char* argv[] = {const_cast<char*>("/bin/true"), nullptr};
       return Errno(::execve(argv[0], argv, environ)); }, EACCES},
    // Left off the list, so answered as if the kernel had no such call.
    {"Ptrace", [](auto&) { return Errno(::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr)); }, ENOSYS},
    {"ReadAnotherProcess", [](auto& in) { char mine[8], theirs[8]; iovec local{mine, 8}, remote{theirs, 8};
       return Errno(::process_vm_readv(in.parent, &local, 1, &remote, 1, 0)); }, ENOSYS},
    {"MemoryFile", [](auto&) { return Errno(::memfd_create("m", 0)); }, ENOSYS},
    {"IoUring", [](auto&) { char params[120] = {}; return Errno(::syscall(SYS_io_uring_setup, 1, params)); }, ENOSYS},
    {"Personality", [](auto&) { return Errno(::personality(0xffffffff)); }, ENOSYS},
    {"ReadTheKeyring", [](auto&) {
       return Errno(::syscall(SYS_keyctl, KEYCTL_GET_KEYRING_ID, KEY_SPEC_USER_KEYRING, 0)); }, ENOSYS},
    {"UserFaultFd", [](auto&) { return Errno(::syscall(SYS_userfaultfd, 0)); }, ENOSYS},
    {"PerfEvents", [](auto&) { perf_event_attr attr{}; attr.size = sizeof attr;
       attr.type = PERF_TYPE_SOFTWARE; attr.config = PERF_COUNT_SW_TASK_CLOCK;
       return Errno(::syscall(SYS_perf_event_open, &attr, 0, -1, -1, 0)); }, ENOSYS},
    {"SharedMemoryThatOutlivesIt", [](auto&) { const int id = ::shmget(IPC_PRIVATE, 4096, IPC_CREAT | 0600);
       if (id >= 0) ::shmctl(id, IPC_RMID, nullptr);
       return id < 0 ? errno : 0; }, ENOSYS},
    {"NewUserNamespace", [](auto&) { return Errno(::unshare(CLONE_NEWUSER)); }, ENOSYS},
    // The window's limits, priority and signals, beside the same calls on itself.
    {"LimitsOfTheParent", [](auto& in) { rlimit old; return Errno(::prlimit(in.parent, RLIMIT_CPU, nullptr, &old)); }, ENOSYS},
    {"OwnLimitsByZero", [](auto&) { rlimit old; return Errno(::prlimit(0, RLIMIT_CPU, nullptr, &old)); }, 0},
    {"OwnLimitsByPid", [](auto&) { rlimit old; return Errno(::prlimit(::getpid(), RLIMIT_CPU, nullptr, &old)); }, 0},
    {"PriorityOfTheParent", [](auto& in) { return Errno(::setpriority(PRIO_PROCESS, in.parent, in.parentPriority)); }, ENOSYS},
    {"OwnPriority", [](auto&) { return Errno(::setpriority(PRIO_PROCESS, 0, 19)); }, 0},
    {"SignalTheParent", [](auto& in) { return Errno(::kill(in.parent, 0)); }, EPERM},
    {"SignalTheProcessGroup", [](auto&) { return Errno(::kill(0, 0)); }, EPERM},
    {"SignalAThreadOfTheParent", [](auto& in) { return Errno(::syscall(SYS_tgkill, in.parent, in.parent, 0)); }, EPERM},
    {"SignalItself", [](auto&) { return Errno(::kill(::getpid(), 0)); }, 0},
    {"SignalItsOwnThread", [](auto&) { return Errno(::syscall(SYS_tgkill, ::getpid(), ::gettid(), 0)); }, 0},
    {"StartAProcess", [](auto&) { const pid_t pid = ::fork(); if (pid == 0) ::_exit(0);
       if (pid > 0) ::waitpid(pid, nullptr, 0);
       return pid < 0 ? errno : 0; }, EPERM},
    {"TypeIntoTheTerminal", [](auto& in) { const char c = 'x'; return Errno(::ioctl(in.terminal, TIOCSTI, &c)); }, ENOTTY, Needs::kTerminal},
    {"AskWhetherATerminal", [](auto& in) { return ::isatty(in.terminal) ? 0 : errno; }, 0, Needs::kTerminal},
    {"Openat2", [](auto& in) { open_how how{};
       return Errno(::syscall(SYS_openat2, AT_FDCWD, in.inside.c_str(), &how, sizeof how)); }, ENOSYS},
    {"ReadBeyondTheFolders", [](auto& in) { return Open(in.outside, O_RDONLY); }, EACCES, Needs::kLandlock},
    {"ReadInsideTheFolder", [](auto& in) { return Open(in.inside, O_RDONLY); }, 0},
    {"ReadOwnProcEntries", [](auto&) { return Open("/proc/self/maps", O_RDONLY); }, EACCES, Needs::kLandlock},
    {"ReadTheParentsEnvironment", [](auto& in) {
       return Open("/proc/" + std::to_string(in.parent) + "/environ", O_RDONLY); }, EACCES, Needs::kLandlock},
    {"ReadBeyondWhenReadsAreOpen", [](auto& in) { return Open(in.outside, O_RDONLY); }, 0, Needs::kNothing, Reads::kEverything},
    {"ReadInsideWhenThePolicyNamesNothing", [](auto& in) { return Open(in.inside, O_RDONLY); }, EACCES, Needs::kLandlock, Reads::kNothing},
    // iconv dlopens its converters: read access must be enough to load code.
    {"LoadACharacterSetConverter", [](auto&) { const iconv_t cd = ::iconv_open("UTF-8", "EBCDIC-US");
       return cd == reinterpret_cast<iconv_t>(-1) ? errno : ::iconv_close(cd); }, 0},
    {"WriteToAnInheritedPipe", [](auto& in) { return Errno(::write(in.pipe, "x", 1)); }, 0},
    {"StartAThread", [](auto&) { return OnAThread([](void*) -> void* { return nullptr; }); }, 0},
    // What glibc and AddressSanitizer ask of a new thread, without /proc.
    {"AskAThreadForItsStack", [](auto&) { return OnAThread([](void*) -> void* {
       pthread_attr_t attr;
       const int error = ::pthread_getattr_np(::pthread_self(), &attr);
       if (error == 0) ::pthread_attr_destroy(&attr);
       return reinterpret_cast<void*>(static_cast<std::intptr_t>(error)); }); }, 0},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(Confine, ConfinementTable, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Confine, PutsEveryMechanismInForceAndSaysWhich) {
  const std::string out = InConfinedChild(ReadPolicy(), [](auto& report) {
    const bool inForce =
        ::prctl(PR_GET_NO_NEW_PRIVS, 0, 0, 0, 0) == 1 && ::prctl(PR_GET_SECCOMP, 0, 0, 0, 0) == 2;
    return report.Describe() + (inForce ? "" : " [not in force]");
  });
  std::cout << out << '\n';  // CI's log shows what its kernel gave
  EXPECT_EQ(out.rfind("confinement: no new privileges, seccomp filter, capabilities dropped, ", 0),
            0u)
      << out;
  EXPECT_EQ(out.find("[not in force]"), std::string::npos) << out;
}

// Run as root this is the test that matters: root keeps its powers through every other rule.
TEST(Confine, LeavesNoCapabilities) {
  const bool boundingSetCanGo = Holds(CAP_SETPCAP);
  const std::string out = InConfinedChild(ReadPolicy(), [&](auto&) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct sets[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, sets) != 0)
      return std::string("capget: ") + std::strerror(errno);
    std::string held;
    for (const auto& set : sets)
      if ((set.effective | set.permitted | set.inheritable) != 0) held += " some in the sets;";
    for (int cap = 0; boundingSetCanGo && ::prctl(PR_CAPBSET_READ, cap, 0, 0, 0) >= 0; ++cap)
      if (::prctl(PR_CAPBSET_READ, cap, 0, 0, 0) == 1) held += " bounding " + std::to_string(cap);
    return held.empty() ? std::string("none") : held;
  });
  EXPECT_EQ(out, "none");
}

}  // namespace
}  // namespace xmlpellor::test
