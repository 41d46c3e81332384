// The engine as the rest of the machine meets it. The window runs in a
// terminal of its own, as when started from a shell, with a token in its
// environment; while its engine runs a job, /proc shows what the engine holds
// and a debugger attached to it makes the calls an attacker's code would try
// once it runs there. The figures printed are for reading.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/capability.h>
#include <linux/keyctl.h>
#include <linux/landlock.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/personality.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "Tool.h"
#include "support/TempDir.h"

namespace xmlpellor::test {
namespace {

using ::testing::HasSubstr;
using Clock = std::chrono::steady_clock;

// Generous: a busy machine and a debugger loading symbols take their time.
constexpr auto kDeadline = std::chrono::seconds(180);
constexpr const char* kCanaryName = "XMLPELLOR_CANARY_TOKEN";
constexpr const char* kCanary = "XMLPELLOR_CANARY_TOKEN=canary-5e1f0c";

// str:decode-uri is the one way XML 1.0 lets a stylesheet say ESC and BEL:
// first a clipboard write (OSC 52) and a bare carriage return that would
// hide what comes before it, then a tick per pass of a loop that would run
// for half an hour.
constexpr const char* kStylesheet =
    "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform' "
    "xmlns:str='http://exslt.org/strings' extension-element-prefixes='str'>"
    "<xsl:variable name='all' select='//i'/><xsl:template match='/'>"
    "<xsl:message><xsl:value-of "
    "select=\"str:decode-uri('clip%1B]52;c;ZWNobyBoaQ==%07 done%0Downed')\"/></xsl:message>"
    "<xsl:for-each select='$all'><xsl:for-each select='$all'><xsl:message>tick</xsl:message>"
    "<xsl:for-each select='$all'><xsl:for-each select='$all'><xsl:if test='false()'><x/></xsl:if>"
    "</xsl:for-each></xsl:for-each></xsl:for-each></xsl:for-each></xsl:template></xsl:stylesheet>";
constexpr const char* kMessageShown = "clip^[]52;c;ZWNobyBoaQ==^G done^Mowned\n";

std::string ReadLink(const std::string& path) {
  char target[4096];
  const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
  return n < 0 ? std::string() : std::string(target, static_cast<std::size_t>(n));
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The fields of /proc/PID/stat after the command's name, which may hold
// spaces and parentheses itself.
struct ProcStat {
  pid_t session = -1, group = -1;
  int terminal = -1;
  long nice = 0;
};

ProcStat StatOf(pid_t pid) {
  const std::string text = Slurp("/proc/" + std::to_string(pid) + "/stat");
  ProcStat stat;
  const auto name = text.rfind(')');
  if (name == std::string::npos) return stat;
  std::istringstream fields(text.substr(name + 2));
  std::string state, skip;
  pid_t parent = 0;
  fields >> state >> parent >> stat.group >> stat.session >> stat.terminal;
  // priority (18) comes before nice (19); terminal was field 7.
  for (int field = 8; field < 19; ++field) fields >> skip;
  fields >> stat.nice;
  return stat;
}

// "Name:\tvalue" of /proc/PID/status.
std::string StatusLine(pid_t pid, const std::string& name) {
  std::istringstream lines(Slurp("/proc/" + std::to_string(pid) + "/status"));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(name + ":", 0) == 0)
      return line.substr(line.find_first_not_of(" \t", name.size() + 1));
  }
  return {};
}

std::vector<std::string> EnvironmentOf(pid_t pid) {
  std::vector<std::string> variables;
  std::istringstream text(Slurp("/proc/" + std::to_string(pid) + "/environ"));
  for (std::string variable; std::getline(text, variable, '\0');) variables.push_back(variable);
  return variables;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// The window in a forked child whose controlling terminal is a
// pseudo-terminal this side reads, raw, so that the carriage return the
// window writes arrives as it was written.
class WindowInATerminal {
 public:
  WindowInATerminal(const std::string& xml, const std::string& xsl) {
    int stop[2];
    if (::pipe(stop) != 0) {
      m_error = errno;
      return;
    }
    termios raw{};
    ::cfmakeraw(&raw);
    std::fflush(nullptr);
    int master = -1;
    m_pid = ::forkpty(&master, nullptr, &raw, nullptr);
    m_error = errno;
    if (m_pid == 0) {
      ::close(stop[1]);
      Run(xml, xsl, stop[0]);
    }
    ::close(stop[0]);
    m_stop = FileDescriptor(stop[1]);
    if (m_pid < 0) return;
    m_master = FileDescriptor(master);
    m_reader = std::thread([this] {
      char buffer[4096];
      for (;;) {
        const ssize_t n = ::read(m_master.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        // EIO: the window and everything that held its terminal have gone.
        if (n <= 0) break;
        const std::lock_guard lock(m_mutex);
        m_screen.append(buffer, static_cast<std::size_t>(n));
      }
    });
  }

  ~WindowInATerminal() {
    if (m_pid > 0) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
    if (m_reader.joinable()) m_reader.join();
  }

  pid_t pid() const { return m_pid; }
  // Why the window could not be started, when pid() is not positive.
  int error() const { return m_error; }

  std::string Screen() const {
    const std::lock_guard lock(m_mutex);
    return m_screen;
  }

  bool WaitFor(const std::function<bool(const std::string&)>& seen) const {
    for (const auto start = Clock::now(); Clock::now() - start < kDeadline;) {
      if (seen(Screen())) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  // As Esc does; the window then writes what its Apply came to.
  void Stop() { [[maybe_unused]] const ssize_t n = ::write(m_stop.get(), "s", 1); }

  int Wait() {
    int status = 0;
    if (::waitpid(m_pid, &status, 0) != m_pid) return -1;
    m_pid = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  [[noreturn]] static void Run(const std::string& xml, const std::string& xsl, int stop) {
    ::putenv(const_cast<char*>(kCanary));
    {
      PrivateTmp tmp;
      Tool tool;
      std::atomic<bool> applied{false};
      // Asks again until the Apply returns, so a stop that falls between two
      // phases is not lost.
      std::thread stopper([&] {
        pollfd told{stop, POLLIN, 0};
        while (!applied && ::poll(&told, 1, 100) == 0) {
        }
        while (!applied) {
          tool.h.worker.Token().RequestStop();
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
      });
      tool.Apply(xml, xsl);
      applied = true;
      stopper.join();
      std::printf("window: %zu reports; page: %s\n", tool.Reports(), tool.Output().c_str());
      std::fflush(stdout);
    }
    ::_exit(0);
  }

  pid_t m_pid = -1;
  int m_error = 0;
  FileDescriptor m_master;
  FileDescriptor m_stop;
  mutable std::mutex m_mutex;
  std::string m_screen;
  std::thread m_reader;
};

bool IsEngine(pid_t pid) {
  return ReadLink("/proc/" + std::to_string(pid) + "/exe").ends_with("/xmlpellor-engine");
}

// One window for the whole suite: its engine starts once and runs until the
// last test stops it.
class EngineFromOutside : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_job = std::make_unique<TempDir>();
    std::string items = "<r>";
    for (int i = 0; i < 300; ++i) items += "<i n='" + std::to_string(i) + "'/>";
    s_job->Write("doc.xml", items + "</r>");
    s_job->Write("s.xsl", kStylesheet);
    s_window = std::make_unique<WindowInATerminal>(s_job->File("doc.xml"), s_job->File("s.xsl"));
    if (s_window->pid() <= 0) return;
    if (!s_window->WaitFor([](const std::string& screen) { return Count(screen, "tick") > 0; }))
      return;
    for (const pid_t child : ChildrenOf(s_window->pid())) {
      if (!IsEngine(child)) continue;
      s_engines.push_back(child);
      // Only the engine with a job has confined itself; another may wait for the next Apply.
      if (StatusLine(child, "Seccomp") == "2") s_running = child;
    }
    std::printf("window %d, engines found: %zu\n", s_window->pid(), s_engines.size());
  }
  static void TearDownTestSuite() {
    s_window.reset();
    s_job.reset();
    s_engines.clear();
    s_running = 0;
  }

  void SetUp() override {
    if (s_window->pid() <= 0)
      GTEST_SKIP() << "no pseudo-terminal here: " << std::strerror(s_window->error());
    ASSERT_NE(s_running, 0) << "no confined engine was found running the job; the terminal shows: "
                            << s_window->Screen();
  }

  static std::unique_ptr<TempDir> s_job;
  static std::unique_ptr<WindowInATerminal> s_window;
  static std::vector<pid_t> s_engines;
  static pid_t s_running;
};

std::unique_ptr<TempDir> EngineFromOutside::s_job;
std::unique_ptr<WindowInATerminal> EngineFromOutside::s_window;
std::vector<pid_t> EngineFromOutside::s_engines;
pid_t EngineFromOutside::s_running = 0;

TEST_F(EngineFromOutside, LeavesTheWindowsSessionTerminalAndEnvironmentBehind) {
  const pid_t window = s_window->pid();
  // Otherwise what follows proves nothing.
  ASSERT_NE(StatOf(window).terminal, 0) << "the window has no controlling terminal";

  const std::vector<std::string> kept = {"PATH",        "XML_CATALOG_FILES", "SGML_CATALOG_FILES",
                                         "TZ",          "ASAN_OPTIONS",      "UBSAN_OPTIONS",
                                         "LSAN_OPTIONS"};
  for (const pid_t engine : s_engines) {
    SCOPED_TRACE("engine " + std::to_string(engine) +
                 (engine == s_running ? " (running)" : " (waiting)"));
    const ProcStat stat = StatOf(engine);
    EXPECT_EQ(stat.session, engine) << "not a session of its own";
    EXPECT_EQ(stat.group, engine);
    EXPECT_EQ(stat.terminal, 0) << "a controlling terminal";

    const std::string fds = "/proc/" + std::to_string(engine) + "/fd/";
    EXPECT_EQ(ReadLink(fds + "0"), "/dev/null");
    EXPECT_EQ(ReadLink(fds + "1"), "/dev/null");
#ifndef XMLPELLOR_UNDER_ASAN  // there the sanitizer's report goes to the window's stderr
    EXPECT_EQ(ReadLink(fds + "2"), "/dev/null");
#endif
    for (int fd = 3; fd < 64; ++fd) {
      const std::string target = ReadLink(fds + std::to_string(fd));
      EXPECT_FALSE(target.starts_with("/dev/pts") || target.starts_with("/dev/tty"))
          << fd << " -> " << target;
    }

    const std::vector<std::string> environment = EnvironmentOf(engine);
    EXPECT_THAT(environment, ::testing::Contains(std::string("PATH=/usr/bin:/bin")));
    for (const std::string& variable : environment) {
      const std::string name = variable.substr(0, variable.find('='));
      EXPECT_THAT(kept, ::testing::Contains(name)) << variable;
      EXPECT_THAT(variable, ::testing::Not(HasSubstr("canary"))) << kCanaryName;
    }
  }
  EXPECT_EQ(StatusLine(s_running, "NoNewPrivs"), "1");
  EXPECT_EQ(StatusLine(s_running, "CapPrm"), "0000000000000000");
  EXPECT_EQ(StatusLine(s_running, "CapEff"), "0000000000000000");
  // The bounding set can go only where the window could have changed it.
  if ((std::stoull(StatusLine(::getpid(), "CapEff"), nullptr, 16) & (1ULL << CAP_SETPCAP)) != 0) {
    EXPECT_EQ(StatusLine(s_running, "CapBnd"), "0000000000000000");
  }
}

TEST_F(EngineFromOutside, MessagesReachTheTerminalWithTheirControlsMadeVisible) {
  const std::string screen = s_window->Screen();
  EXPECT_THAT(screen, HasSubstr(kMessageShown));
  EXPECT_EQ(screen.find_first_of("\x1b\x07\r"), std::string::npos)
      << "a raw control reached the terminal";
}

// A call the engine makes through the debugger and what it should come to.
struct Call {
  std::string name;
  long number;
  // S stands for a page of the engine's own memory that holds "/dev/tty" at
  // S+64 and the name of the window's terminal at S+128.
  std::string arguments;
  std::vector<int> errors;  // the errno, any of these; none: it works
  // Refused by Landlock alone: on a kernel without it, reads are open.
  bool byLandlock = false;
};

std::vector<Call> Calls(pid_t window, long windowNice) {
  const std::string w = std::to_string(window);
  const auto n = [](long value) { return std::to_string(value); };
  return {
      {"getpid", SYS_getpid, "", {}},
      {"personality_linux32", SYS_personality, n(PER_LINUX32), {ENOSYS}},
      {"keyctl_user_keyring",
       SYS_keyctl,
       // -4 names the user's own keyring.
       n(KEYCTL_GET_KEYRING_ID) + ",-4,0",
       {ENOSYS}},
      {"userfaultfd", SYS_userfaultfd, "0", {ENOSYS}},
      {"perf_event_open", SYS_perf_event_open, "S,0,-1,-1,0", {ENOSYS}},
      {"shmget_private", SYS_shmget, n(IPC_PRIVATE) + ",4096," + n(IPC_CREAT | 0600), {ENOSYS}},
      {"unshare_user_namespace", SYS_unshare, n(CLONE_NEWUSER), {ENOSYS}},
      {"prlimit_of_the_window", SYS_prlimit64, w + "," + n(RLIMIT_NOFILE) + ",0,S", {ENOSYS}},
      {"prlimit_of_itself", SYS_prlimit64, "0," + n(RLIMIT_NOFILE) + ",0,S", {}},
      // The window's own value: were it let through, nothing would change.
      {"setpriority_of_the_window",
       SYS_setpriority,
       n(PRIO_PROCESS) + "," + w + "," + n(windowNice),
       {ENOSYS}},
      {"setpriority_of_itself", SYS_setpriority, n(PRIO_PROCESS) + ",0,10", {}},
      {"kill_the_window", SYS_kill, w + ",0", {EPERM}},
      {"kill_itself", SYS_kill, "{self},0", {}},
      {"tiocsti", SYS_ioctl, "0," + n(TIOCSTI) + ",S", {ENOTTY}},
      {"socket", SYS_socket, n(AF_UNIX) + "," + n(SOCK_STREAM) + ",0", {EACCES}},
      // No controlling terminal (ENXIO), and Landlock refuses /dev anyway.
      {"open_the_controlling_terminal",
       SYS_openat,
       n(AT_FDCWD) + ",S+64," + n(O_RDONLY | O_NOCTTY),
       {EACCES, ENXIO}},
      // Read, it would give away what the user types there.
      {"open_the_windows_terminal",
       SYS_openat,
       n(AT_FDCWD) + ",S+128," + n(O_RDONLY | O_NOCTTY),
       {EACCES},
       true},
  };
}

// gdb's Python: one attach for the whole table, each call made on the
// engine's main thread (which waits in poll), errno read as the engine's
// code would read it.
std::string DebuggerScript(const std::vector<Call>& calls, pid_t engine,
                           const std::string& terminal) {
  std::string script =
      "import gdb\n"
      "CALL = '((long(*)(long,long,long,long,long,long))syscall)'\n"
      "def num(expr):\n"
      "    return int(gdb.parse_and_eval(expr))\n"
      "def row(name, nr, *args):\n"
      "    a = [str(x) for x in args] + ['0'] * (6 - len(args))\n"
      "    rc = num('%s(%d,%s)' % (CALL, nr, ','.join(a)))\n"
      "    err = num('*((int*(*)(void))__errno_location)()') if rc == -1 else 0\n"
      "    print('ROW %s %d %d' % (name, rc, err), flush=True)\n"
      "S = num('%s(" +
      std::to_string(SYS_mmap) + ",0,4096," + std::to_string(PROT_READ | PROT_WRITE) + "," +
      std::to_string(MAP_PRIVATE | MAP_ANONYMOUS) +
      ",-1,0)' % CALL)\n"
      "gdb.selected_inferior().write_memory(S + 64, b'/dev/tty\\0')\n"
      "gdb.selected_inferior().write_memory(S + 128, b'" +
      terminal + "\\0')\n";
  for (const Call& call : calls) {
    std::string arguments = call.arguments;
    if (const auto at = arguments.find("{self}"); at != std::string::npos)
      arguments.replace(at, 6, std::to_string(engine));
    script += "row('" + call.name + "', " + std::to_string(call.number) +
              (arguments.empty() ? "" : ", " + arguments) + ")\n";
  }
  return script;
}

std::string RunCommand(const std::string& command) {
  std::string out;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  ::pclose(pipe);
  return out;
}

TEST_F(EngineFromOutside, RefusesWhatADebuggerMakesItAskAndGoesOnWithItsJob) {
  if (std::system("command -v gdb >/dev/null 2>&1") != 0) GTEST_SKIP() << "gdb is not installed";
  const std::vector<Call> calls = Calls(s_window->pid(), StatOf(s_window->pid()).nice);
  const TempDir scripts;
  const std::string terminal = ReadLink("/proc/" + std::to_string(s_window->pid()) + "/fd/0");
  ASSERT_TRUE(terminal.starts_with("/dev/")) << terminal;
  scripts.Write("calls.py", DebuggerScript(calls, s_running, terminal));
  errno = 0;
  const bool landlock =
      ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION) > 0;
  const std::string out = RunCommand("timeout 300 gdb -nx -batch -p " + std::to_string(s_running) +
                                     " -x " + scripts.File("calls.py") + " 2>&1");
  if (out.find("ROW ") == std::string::npos) {
    // ptrace refused: a container without CAP_SYS_PTRACE, or Yama for an ordinary user.
    auto at = out.find("ptrace:");
    if (at == std::string::npos) at = out.find("Could not attach");
    if (at != std::string::npos) {
      GTEST_SKIP() << "the debugger may not attach here: "
                   << out.substr(at, out.find('\n', at) - at);
    }
    FAIL() << "gdb made no call:\n" << out;
  }

  std::istringstream rows(out);
  std::size_t seen = 0;
  for (std::string line; std::getline(rows, line);) {
    if (line.rfind("ROW ", 0) != 0) continue;
    std::istringstream fields(line.substr(4));
    std::string name;
    long rc = 0;
    int error = 0;
    fields >> name >> rc >> error;
    const auto call =
        std::find_if(calls.begin(), calls.end(), [&](const Call& c) { return c.name == name; });
    ASSERT_NE(call, calls.end()) << line;
    ++seen;
    std::printf("%-30s rc %ld, errno %d (%s)\n", name.c_str(), rc, error,
                error == 0 ? "-" : ::strerrorname_np(error));
    if (call->errors.empty()) {
      EXPECT_GE(rc, 0) << name << ": " << std::strerror(error);
      if (name == "getpid") {
        EXPECT_EQ(rc, s_running);
      }
    } else if (call->byLandlock && !landlock) {
      std::printf("%-30s not judged: the kernel has no Landlock, so reads are open\n", "");
    } else {
      EXPECT_EQ(rc, -1) << name << " went through";
      EXPECT_THAT(call->errors, ::testing::Contains(error)) << name << ": " << std::strerror(error);
    }
  }
  EXPECT_EQ(seen, calls.size()) << out;
  const std::size_t ticksBefore = Count(s_window->Screen(), "tick");

  // Detached, the engine goes on with the job and the window still hears it.
  EXPECT_NE(StatusLine(s_running, "State").substr(0, 1), "T") << "the engine was left stopped";
  EXPECT_TRUE(s_window->WaitFor([&](const std::string& screen) {
    return Count(screen, "tick") > ticksBefore + 20;
  })) << "no word from the engine after the debugger left";
}

// Last: the job ends as the user's stop, and nothing is reported.
TEST_F(EngineFromOutside, EndsWithTheWindowsStop) {
  s_window->Stop();
  EXPECT_TRUE(s_window->WaitFor(
      [](const std::string& screen) { return screen.find("window: ") != std::string::npos; }));
  EXPECT_EQ(s_window->Wait(), 0);
  EXPECT_THAT(s_window->Screen(),
              ::testing::ContainsRegex("window: 0 reports; page: The transformation was "
                                       "stopped after [0-9.]+ s\\."));
}

}  // namespace
}  // namespace xmlpellor::test
