#include "engine/Confinement.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <linux/landlock.h>
#include <seccomp.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/RuntimeError.h"

#if defined(__SANITIZE_ADDRESS__)
#define XMLPELLOR_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define XMLPELLOR_SANITIZED 1
#endif
#endif
#ifdef XMLPELLOR_SANITIZED
#include <sanitizer/common_interface_defs.h>
#endif

namespace xmlpellor {
namespace {

// What the process reads to run, whatever the job: the converters iconv loads (dlopen needs read
// access only), locales and their messages, time zones for the date functions. The XML catalogs
// and DTDs arrive with the job's folders, so the loader and the kernel judge by the same list.
constexpr const char* kRuntimeFolders[] = {
    "/usr/lib/" XMLPELLOR_MULTIARCH "/gconv",
    "/usr/lib64/gconv",
    "/usr/lib/locale",
    "/usr/share/locale",
    // Where /usr/share/locale/locale.alias points: a sort's lang="fr" looks the name up there.
    "/etc/locale.alias",
    "/usr/share/zoneinfo",
    // Some systems copy the zone here rather than link into zoneinfo.
    "/etc/localtime",
};

// Landlock values newer than the kernel headers this may be built against; they are kernel ABI.
constexpr std::uint64_t kFsTruncate = 1ULL << 14;                                    // ABI 3
constexpr std::uint64_t kNetBindTcp = 1ULL << 0, kNetConnectTcp = 1ULL << 1;         // ABI 4
constexpr std::uint64_t kFsIoctlDev = 1ULL << 15;                                    // ABI 5
constexpr std::uint64_t kScopeAbstractSocket = 1ULL << 0, kScopeSignal = 1ULL << 1;  // ABI 6
// The kernel takes the longer layout from any ABI as long as what it does not know is zero.
struct RulesetAttr {
  std::uint64_t fs = 0, net = 0, scoped = 0;
};

[[noreturn]] void Fail(const std::string& what, int error) {
  throw RuntimeError(err::kInternalError,
                     "Could not confine the XSLT engine (" + what + "): " + std::strerror(error));
}

// Run as root the process would keep the right to read any file, trace, renice or signal anyone.
// Without CAP_SETPCAP the bounding set cannot be changed, but it only bounds what an exec could
// gain, and both no-new-privileges and the filter rule exec out.
void DropCapabilities() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct sets[_LINUX_CAPABILITY_U32S_3] = {};
  if (syscall(SYS_capget, &header, sets) != 0) Fail("capabilities", errno);
  if ((sets[0].effective & (1U << CAP_SETPCAP)) != 0) {
    for (int cap = 0; ::prctl(PR_CAPBSET_READ, cap, 0, 0, 0) >= 0; ++cap)
      if (::prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) != 0) Fail("capability bounding set", errno);
  }
  // EINVAL: a kernel older than ambient capabilities, which then has none to clear.
  if (::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) != 0 && errno != EINVAL)
    Fail("ambient capabilities", errno);
  for (auto& set : sets) set = {};
  if (syscall(SYS_capset, &header, sets) != 0) Fail("capabilities", errno);
}

int LandlockAbi() {
  const long abi =
      syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
  if (abi >= 0) return static_cast<int>(abi);
  // Not built in, switched off at boot, or refused by a container's own filter.
  if (errno == ENOSYS || errno == EOPNOTSUPP || errno == EPERM) return 0;
  Fail("Landlock", errno);
}

// The policy's places whose rules the kernel needs: a place inside another folder place is
// granted with it. Inside is LiesInside, as the loader judges it, so a hidden folder below a
// place keeps a rule of its own, which grants no more than its parent's does.
std::vector<ReadPlace> Granted(const ReadPolicy& reads) {
  std::vector<ReadPlace> granted;
  for (const ReadPlace& place : reads.Places()) {
    bool covered = false;
    for (const ReadPlace& other : reads.Places()) {
      covered = covered || (other.folder && other.path != place.path &&
                            LiesInside(place.path, other.path, true));
    }
    if (!covered) granted.push_back(place);
  }
  return granted;
}

// Lets the process read `path` (beneath it, for a folder), judged on what was opened. `folder`
// is what the policy took it for, or unset for the process's own needs, taken as they are. A
// place whose kind has changed since the window resolved it is granted nothing: a file place
// that has become a folder must not open the whole folder.
bool Grant(int ruleset, const std::string& path, std::optional<bool> folder) {
  const FileDescriptor fd(::open(path.c_str(), O_PATH | O_CLOEXEC));
  if (!fd) return false;  // a place that cannot be reached cannot be read either
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) Fail(path, errno);
  const bool isFolder = S_ISDIR(st.st_mode);
  if (folder && *folder != isFolder) return false;
  landlock_path_beneath_attr rule{};
  rule.allowed_access = isFolder ? LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR
                                 : LANDLOCK_ACCESS_FS_READ_FILE;
  rule.parent_fd = fd.get();
  if (syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0) != 0)
    Fail(path, errno);
  return true;
}

void RestrictFiles(const ReadPolicy& reads, const ProcessNeeds& needs, ConfinementReport& report) {
  const int abi = report.landlockAbi;
  const bool restrictReads = reads.RestrictsReads();
  const std::uint64_t read = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;
  RulesetAttr attr;
  // EXECUTE is handled and never granted: dlopen needs only read access.
  attr.fs =
      LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_REMOVE_DIR |
      LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_MAKE_CHAR | LANDLOCK_ACCESS_FS_MAKE_DIR |
      LANDLOCK_ACCESS_FS_MAKE_REG | LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO |
      LANDLOCK_ACCESS_FS_MAKE_BLOCK | LANDLOCK_ACCESS_FS_MAKE_SYM |
      (abi >= 2 ? LANDLOCK_ACCESS_FS_REFER : 0) | (abi >= 3 ? kFsTruncate : 0) |
      (abi >= 5 ? kFsIoctlDev : 0) | (restrictReads ? read : 0);
  if (abi >= 4) attr.net = kNetBindTcp | kNetConnectTcp;
  if (abi >= 6) attr.scoped = kScopeAbstractSocket | kScopeSignal;
  const FileDescriptor ruleset(
      static_cast<int>(syscall(SYS_landlock_create_ruleset, &attr, sizeof attr, 0)));
  if (!ruleset) Fail("Landlock ruleset", errno);

  if (restrictReads) {
    for (const ReadPlace& place : Granted(reads)) {
      if (Grant(ruleset.get(), place.path, place.folder)) ++report.readableFolders;
    }
    for (const char* own : kRuntimeFolders) {
      if (Grant(ruleset.get(), own, std::nullopt)) ++report.readableFolders;
    }
    for (const std::string& own : needs.ownFolders) {
      if (Grant(ruleset.get(), own, std::nullopt)) ++report.readableFolders;
    }
  }
  if (syscall(SYS_landlock_restrict_self, ruleset.get(), 0) != 0) Fail("Landlock", errno);
  report.landlockReads = restrictReads;
}

class SyscallFilter {
 public:
  explicit SyscallFilter(std::uint32_t otherwise)
      : m_filter(seccomp_init(otherwise), &seccomp_release) {
    if (!m_filter) Fail("seccomp", ENOMEM);
    // Threads started before this (there should be none) get the filter too.
    Check(seccomp_attr_set(m_filter.get(), SCMP_FLTATR_CTL_TSYNC, 1));
  }

  void Add(std::uint32_t action, const char* name, std::initializer_list<scmp_arg_cmp> args = {}) {
    const int nr = seccomp_syscall_resolve_name(name);
    if (nr == __NR_SCMP_ERROR) return;  // newer than this libseccomp
    Check(seccomp_rule_add_array(m_filter.get(), action, nr, static_cast<unsigned>(args.size()),
                                 args.begin()));
  }
  void Allow(std::initializer_list<const char*> names) {
    for (const char* name : names) Add(SCMP_ACT_ALLOW, name);
  }
  void Answer(int error, std::initializer_list<const char*> names) {
    for (const char* name : names) Add(SCMP_ACT_ERRNO(error), name);
  }
  void Load() { Check(seccomp_load(m_filter.get())); }

 private:
  static void Check(int rc) {
    if (rc < 0) Fail("seccomp", -rc);
  }
  std::unique_ptr<void, decltype(&seccomp_release)> m_filter;
};

scmp_arg_cmp Is(unsigned arg, scmp_datum_t value) {
  return {arg, SCMP_CMP_EQ, value, 0};
}
scmp_arg_cmp IsNot(unsigned arg, scmp_datum_t value) {
  return {arg, SCMP_CMP_NE, value, 0};
}
scmp_arg_cmp Masked(unsigned arg, scmp_datum_t mask, scmp_datum_t value) {
  return {arg, SCMP_CMP_MASKED_EQ, mask, value};
}

// The whole list of what a job may ask of the kernel; whatever is not here is refused. Refusals
// are errnos, never a kill, so libxml2 reports them as ordinary errors. A call off the list
// answers ENOSYS, as if the kernel predated it: glibc and the sanitizers take that for "not
// there" and fall back (clone3 to clone, openat2 to openat; pthread_getattr_np skips the
// affinity), where EPERM would fail the library's call and a kill would end a job over some rare
// path of a library that nobody tried here.
// What a Java VM asks of the kernel beyond what a job of libxslt does. Its threads (the collector,
// the compilers, the service thread) go on working while the job runs.
void JavaVmCalls(SyscallFilter& filter) {
  const auto self = static_cast<scmp_datum_t>(::getpid());
  // The VM sizes its work by the processors it may run on and asks how its threads are scheduled.
  // It asks by thread id for threads that join it, and a thread id is no process the filter knows.
  filter.Add(SCMP_ACT_ALLOW, "sched_getaffinity", {IsNot(0, 0)});
  for (const scmp_datum_t who : {scmp_datum_t{0}, self}) {
    for (const char* name : {"sched_getparam", "sched_getscheduler"})
      filter.Add(SCMP_ACT_ALLOW, name, {Is(0, who)});
  }
  // Memory: the collector asks which pages are resident and syncs none to files, since it maps
  // none for writing; membarrier orders the compilers' code changes between threads.
  filter.Allow({"mincore", "membarrier", "get_mempolicy"});
  // The class loader reads jars through descriptors it opened before, and asks about file systems
  // when it opens one later.
  filter.Allow({"statfs", "fstatfs", "dup", "dup2", "dup3"});
  // Threads wait on several futexes at once.
  filter.Allow({"futex_waitv"});
}

void FilterSyscalls(bool javaVm) {
  SyscallFilter filter(SCMP_ACT_ERRNO(ENOSYS));
  if (javaVm) JavaVmCalls(filter);
  const auto self = static_cast<scmp_datum_t>(::getpid());

  // Living and ending, and coming back from a signal handler.
  filter.Allow({"exit", "exit_group", "restart_syscall", "rt_sigreturn"});
  // The job runs on a thread of its own with a deep stack; the libraries lock between threads.
  filter.Allow({"futex", "set_robust_list", "rseq", "set_tid_address", "sched_yield", "gettid"});
  // Clone for a thread only, which shares the memory, descriptors and signal handlers, and no new
  // namespace; a new process is refused as not permitted, like a process limit would.
  constexpr scmp_datum_t kThread = CLONE_VM | CLONE_SIGHAND | CLONE_THREAD;
  constexpr scmp_datum_t kNamespaces = CLONE_NEWNS | CLONE_NEWCGROUP | CLONE_NEWUTS | CLONE_NEWIPC |
                                       CLONE_NEWUSER | CLONE_NEWPID | CLONE_NEWNET;
  filter.Add(SCMP_ACT_ALLOW, "clone", {Masked(0, kThread | kNamespaces, kThread)});
  filter.Add(SCMP_ACT_ERRNO(EPERM), "clone", {Masked(0, CLONE_THREAD, 0)});
  // The date functions, and the sanitizers' and the allocator's waits.
  filter.Allow(
      {"clock_gettime", "clock_getres", "gettimeofday", "time", "nanosleep", "clock_nanosleep"});
  // The allocator maps, trims and returns memory; dlopen maps a converter's code.
  filter.Allow({"brk", "mmap", "munmap", "mremap", "mprotect", "madvise"});
  // Reading files and their names; Landlock decides which.
  filter.Allow({"read", "pread64", "readv", "preadv", "lseek", "close", "fstat", "stat", "lstat",
                "newfstatat", "statx", "access", "faccessat", "faccessat2", "readlink",
                "readlinkat", "getdents64", "getcwd", "fadvise64"});
  // O_TMPFILE carries O_WRONLY or O_RDWR, so it is covered.
  constexpr scmp_datum_t kWriting = O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | O_APPEND;
  filter.Add(SCMP_ACT_ALLOW, "open", {Masked(1, kWriting, 0)});
  filter.Add(SCMP_ACT_ALLOW, "openat", {Masked(2, kWriting, 0)});
  for (const scmp_datum_t flag : {O_WRONLY, O_RDWR, O_CREAT, O_TRUNC, O_APPEND}) {
    filter.Add(SCMP_ACT_ERRNO(EACCES), "open", {Masked(1, flag, flag)});
    filter.Add(SCMP_ACT_ERRNO(EACCES), "openat", {Masked(2, flag, flag)});
  }
  // Writing reaches only the descriptors the window handed over (the output and the channel),
  // since nothing can be opened for writing. sendto must name no address, or a socket made
  // before, not connected, would reach anyone listening.
  filter.Allow({"write", "writev", "recvfrom", "poll", "ppoll"});
  filter.Add(SCMP_ACT_ALLOW, "sendto", {Is(4, 0)});
  // The sanitizers test whether memory is readable by writing it into a pipe; a pipe joins the
  // process only to itself.
  filter.Allow({"pipe", "pipe2"});
  // Facts about itself and the machine.
  filter.Allow({"getpid", "getppid", "getuid", "geteuid", "getgid", "getegid", "getresuid",
                "getresgid", "getgroups", "capget", "uname", "sysinfo", "getrandom", "getcpu",
                "getrusage", "getrlimit"});
  filter.Add(SCMP_ACT_ALLOW, "sched_getaffinity", {Is(0, 0)});
  // Its own limits and priority only: lowering the window's CPU limit ends the window.
  for (const scmp_datum_t who : {scmp_datum_t{0}, self}) {
    filter.Add(SCMP_ACT_ALLOW, "prlimit64", {Is(0, who)});
    for (const char* name : {"getpriority", "setpriority"})
      filter.Add(SCMP_ACT_ALLOW, name, {Is(0, PRIO_PROCESS), Is(1, who)});
  }
  // Signals to itself only (abort() raises SIGABRT with tgkill). Where Landlock cannot scope
  // signals (before ABI 6) this is all that keeps the window safe from a kill. kill's 0 would
  // name the process group, which is not only this process.
  filter.Allow({"rt_sigaction", "rt_sigprocmask", "sigaltstack"});
  for (const char* name : {"kill", "tkill", "rt_sigqueueinfo", "tgkill", "rt_tgsigqueueinfo"}) {
    filter.Add(SCMP_ACT_ALLOW, name, {Is(0, self)});
    filter.Add(SCMP_ACT_ERRNO(EPERM), name, {IsNot(0, self)});
  }
  // The one question isatty() asks. TIOCSTI on an inherited terminal would type into the user's
  // shell; every other request is answered as if the descriptor were no terminal.
  filter.Add(SCMP_ACT_ALLOW, "ioctl", {Is(1, TCGETS)});
  filter.Add(SCMP_ACT_ERRNO(ENOTTY), "ioctl", {IsNot(1, TCGETS)});
  // Descriptor flags only: F_SETOWN and F_SETSIG would aim signals at another process.
  for (const scmp_datum_t command : {F_GETFD, F_SETFD, F_GETFL, F_SETFL, F_DUPFD_CLOEXEC})
    filter.Add(SCMP_ACT_ALLOW, "fcntl", {Is(1, command)});
  // Questions, and names for threads and mappings; PR_SET_DUMPABLE or PR_SET_PTRACER would open
  // the process to a debugger.
  for (const scmp_datum_t option : {PR_GET_NO_NEW_PRIVS, PR_GET_SECCOMP, PR_GET_DUMPABLE,
                                    PR_CAPBSET_READ, PR_GET_NAME, PR_SET_NAME, PR_SET_VMA})
    filter.Add(SCMP_ACT_ALLOW, "prctl", {Is(0, option)});

  // Refused with the answer a read-only file system without a network gives, which libxml2 and
  // libxslt report in words the user recognises (a stylesheet writing with exsl:document).
  filter.Answer(EACCES, {"creat",        "rename",    "renameat",   "renameat2",   "unlink",
                         "unlinkat",     "mkdir",     "mkdirat",    "rmdir",       "link",
                         "linkat",       "symlink",   "symlinkat",  "mknod",       "mknodat",
                         "truncate",     "ftruncate", "fallocate",  "chmod",       "fchmod",
                         "fchmodat",     "fchmodat2", "chown",      "fchown",      "lchown",
                         "fchownat",     "utime",     "utimes",     "futimesat",   "utimensat",
                         "setxattr",     "lsetxattr", "fsetxattr",  "removexattr", "lremovexattr",
                         "fremovexattr", "socket",    "socketpair", "connect",     "bind",
                         "listen",       "accept",    "accept4",    "execve",      "execveat"});
  filter.Load();
}

// AddressSanitizer reads /proc/self/maps when it reports; after this it keeps a copy instead.
void TellTheSanitizer() {
#ifdef XMLPELLOR_SANITIZED
  __sanitizer_sandbox_arguments arguments{0, -1, 0};
  __sanitizer_sandbox_on_notify(&arguments);
#endif
}

}  // namespace

std::string ConfinementReport::Describe() const {
  std::string text = "confinement: ";
  text += noNewPrivileges ? "no new privileges, " : "";
  text += seccomp ? "seccomp filter, " : "no seccomp, ";
  text += capabilitiesDropped ? "capabilities dropped, " : "";
  if (landlockAbi == 0) return text + "no Landlock";
  text += "Landlock ABI " + std::to_string(landlockAbi) + " (read-only file system";
  if (landlockReads) {
    text += javaVm ? ", reads of the job's thread limited to " : ", reads limited to ";
    text += std::to_string(readableFolders) + " folders";
  }
  return text + ")";
}

ConfinementReport Confine(const ReadPolicy& reads, const ProcessNeeds& needs) {
  ConfinementReport report;
  report.javaVm = needs.javaVm;
  TellTheSanitizer();
  if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) Fail("no new privileges", errno);
  report.noNewPrivileges = true;
  DropCapabilities();
  report.capabilitiesDropped = true;
  report.landlockAbi = LandlockAbi();
  if (report.landlockAbi > 0) RestrictFiles(reads, needs, report);
  // EINVAL: a kernel built without seccomp.
  if (::prctl(PR_GET_SECCOMP, 0, 0, 0, 0) >= 0) {
    FilterSyscalls(needs.javaVm);
    report.seccomp = true;
  } else if (errno != EINVAL) {
    Fail("seccomp", errno);
  }
  return report;
}

}  // namespace xmlpellor

namespace xmlpellor {

void ConfineFileSystemBeforeThreads() {
  if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) Fail("no new privileges", errno);
  DropCapabilities();
  ConfinementReport report;
  report.landlockAbi = LandlockAbi();
  // Reads stay open here: the job's own rules come with Confine.
  if (report.landlockAbi > 0) RestrictFiles(ReadPolicy::Unrestricted(), {}, report);
}

}  // namespace xmlpellor
