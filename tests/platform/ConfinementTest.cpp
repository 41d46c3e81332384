#include <gtest/gtest.h>

#include <fcntl.h>
#include <iconv.h>
#include <linux/openat2.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
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

#include "platform/Confinement.h"
#include "platform/FileSystem.h"
#include "support/TempDir.h"

namespace xmlpellor::test {
namespace {

// What the confined process holds from before, as the helper holds its channel to the window.
struct Inherited {
  std::string folder, inside, outside;  // the readable folder, a file in it, a file beyond it
  int socket = -1;                      // not connected
  int pipe = -1;                        // write end
};

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
std::string InConfinedChild(const ConfinementPolicy& policy,
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

struct Case {
  const char* name;
  int (*attempt)(const Inherited&);
  int expected;  // errno, 0 for success
  bool needsLandlock = false;
  bool restrictReads = true;
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
  const Inherited in{folder.path(), folder.File("inside.txt"), beyond.File("outside.txt"),
                     socket.get(), writer.get()};
  const std::string out = InConfinedChild({{folder.path()}, c.restrictReads}, [&](auto& report) {
    return std::to_string(report.landlockAbi) + " " + std::to_string(c.attempt(in));
  });
  int abi = -1, error = -1;
  ASSERT_EQ(std::sscanf(out.c_str(), "%d %d", &abi, &error), 2) << "the child said: " << out;
  if (c.needsLandlock && abi == 0) GTEST_SKIP() << "the kernel has no Landlock: reads stay open";
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
    {"ConnectASocketMadeBefore", [](auto& in) { sockaddr_un to{AF_UNIX, "\0xmlpellor-confinement-test"};
       return Errno(::connect(in.socket, reinterpret_cast<sockaddr*>(&to), sizeof to)); }, EACCES},
    {"Execute", [](auto&) { char* argv[] = {const_cast<char*>("/bin/true"), nullptr};
       return Errno(::execve(argv[0], argv, environ)); }, EACCES},
    {"Ptrace", [](auto&) { return Errno(::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr)); }, EPERM},
    {"ReadAnotherProcess", [](auto&) { char mine[8], theirs[8]; iovec local{mine, 8}, remote{theirs, 8};
       return Errno(::process_vm_readv(::getppid(), &local, 1, &remote, 1, 0)); }, EPERM},
    {"MemoryFile", [](auto&) { return Errno(::memfd_create("m", 0)); }, EPERM},
    {"IoUring", [](auto&) { char params[120] = {}; return Errno(::syscall(SYS_io_uring_setup, 1, params)); }, EPERM},
    {"Openat2", [](auto& in) { open_how how{};
       return Errno(::syscall(SYS_openat2, AT_FDCWD, in.inside.c_str(), &how, sizeof how)); }, ENOSYS},
    {"ReadBeyondTheFolders", [](auto& in) { return Open(in.outside, O_RDONLY); }, EACCES, true},
    {"ReadInsideTheFolder", [](auto& in) { return Open(in.inside, O_RDONLY); }, 0},
    {"ReadOwnProcEntries", [](auto&) { return Open("/proc/self/maps", O_RDONLY); }, 0},
    {"ReadBeyondWhenReadsAreOpen", [](auto& in) { return Open(in.outside, O_RDONLY); }, 0, false, false},
    // iconv dlopens its converters: read access must be enough to load code.
    {"LoadACharacterSetConverter", [](auto&) { const iconv_t cd = ::iconv_open("UTF-8", "EBCDIC-US");
       return cd == reinterpret_cast<iconv_t>(-1) ? errno : ::iconv_close(cd); }, 0},
    {"WriteToAnInheritedPipe", [](auto& in) { return Errno(::write(in.pipe, "x", 1)); }, 0},
    {"StartAThread", [](auto&) { pthread_t thread;
       const int error = ::pthread_create(&thread, nullptr, [](void*) -> void* { return nullptr; }, nullptr);
       return error != 0 ? error : ::pthread_join(thread, nullptr); }, 0},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(Confine, ConfinementTable, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Confine, PutsEveryMechanismInForceAndSaysWhich) {
  const std::string out = InConfinedChild({{}, true}, [](auto& report) {
    const bool inForce =
        ::prctl(PR_GET_NO_NEW_PRIVS, 0, 0, 0, 0) == 1 && ::prctl(PR_GET_SECCOMP, 0, 0, 0, 0) == 2;
    return report.Describe() + (inForce ? "" : " [not in force]");
  });
  std::cout << out << '\n';  // CI's log shows what its kernel gave
  EXPECT_EQ(out.rfind("confinement: no new privileges, seccomp filter, ", 0), 0u) << out;
  EXPECT_EQ(out.find("[not in force]"), std::string::npos) << out;
}

}  // namespace
}  // namespace xmlpellor::test
