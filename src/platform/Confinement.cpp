#include "platform/Confinement.h"

#include <fcntl.h>
#include <linux/landlock.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/FileSystem.h"
#include "platform/RuntimeError.h"

namespace xmlpellor {
namespace {

constexpr const char* kOwnProcFolder = "/proc/self";

// What a transformation reads behind the user's back: XML catalogs and the DTDs they name, the
// converters iconv loads (dlopen needs read access only), locales and their messages, time zones
// for the date functions.
constexpr const char* kSystemFolders[] = {
    "/usr/share/xml",
    "/usr/share/sgml",
    "/etc/xml",
    "/usr/lib/" XMLPELLOR_MULTIARCH "/gconv",
    "/usr/lib64/gconv",
    "/usr/lib/locale",
    "/usr/share/locale",
    "/usr/share/zoneinfo",
    // glibc (pthread_getattr_np) and AddressSanitizer read /proc/self/maps. The process's own
    // entries tell it nothing new; the rest of /proc would show other processes' environments.
    kOwnProcFolder,
};

// Landlock values newer than the kernel headers this may be built against; they are kernel ABI.
constexpr std::uint64_t kFsTruncate = 1ULL << 14;                                    // ABI 3
constexpr std::uint64_t kNetBindTcp = 1ULL << 0, kNetConnectTcp = 1ULL << 1;         // ABI 4
constexpr std::uint64_t kScopeAbstractSocket = 1ULL << 0, kScopeSignal = 1ULL << 1;  // ABI 6
// The kernel takes the longer layout from any ABI as long as what it does not know is zero.
struct RulesetAttr {
  std::uint64_t fs = 0, net = 0, scoped = 0;
};

[[noreturn]] void Fail(const std::string& what, int error) {
  throw RuntimeError(err::kInternalError,
                     "Could not confine the XSLT engine (" + what + "): " + std::strerror(error));
}

int LandlockAbi() {
  const long abi =
      syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
  if (abi >= 0) return static_cast<int>(abi);
  // Not built in, switched off at boot, or refused by a container's own filter.
  if (errno == ENOSYS || errno == EOPNOTSUPP || errno == EPERM) return 0;
  Fail("Landlock", errno);
}

void RestrictFiles(const ConfinementPolicy& policy, ConfinementReport& report) {
  const int abi = report.landlockAbi;
  const std::uint64_t read = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;
  RulesetAttr attr;
  // EXECUTE is handled and never granted: dlopen needs only read access.
  attr.fs = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE |
            LANDLOCK_ACCESS_FS_REMOVE_DIR | LANDLOCK_ACCESS_FS_REMOVE_FILE |
            LANDLOCK_ACCESS_FS_MAKE_CHAR | LANDLOCK_ACCESS_FS_MAKE_DIR |
            LANDLOCK_ACCESS_FS_MAKE_REG | LANDLOCK_ACCESS_FS_MAKE_SOCK |
            LANDLOCK_ACCESS_FS_MAKE_FIFO | LANDLOCK_ACCESS_FS_MAKE_BLOCK |
            LANDLOCK_ACCESS_FS_MAKE_SYM | (abi >= 2 ? LANDLOCK_ACCESS_FS_REFER : 0) |
            (abi >= 3 ? kFsTruncate : 0) | (policy.restrictReads ? read : 0);
  if (abi >= 4) attr.net = kNetBindTcp | kNetConnectTcp;
  if (abi >= 6) attr.scoped = kScopeAbstractSocket | kScopeSignal;
  const FileDescriptor ruleset(
      static_cast<int>(syscall(SYS_landlock_create_ruleset, &attr, sizeof attr, 0)));
  if (!ruleset) Fail("Landlock ruleset", errno);

  if (policy.restrictReads) {
    std::vector<std::string> folders = policy.readableFolders;
    folders.insert(folders.end(), std::begin(kSystemFolders), std::end(kSystemFolders));
    for (const std::string& folder : folders) {
      FileDescriptor fd(::open(folder.c_str(), O_PATH | O_CLOEXEC));
      if (!fd) continue;  // a folder that cannot be reached cannot be read either
      struct stat st {};
      if (::fstat(fd.get(), &st) != 0) Fail(folder, errno);
      landlock_path_beneath_attr rule{};
      rule.allowed_access = S_ISDIR(st.st_mode) ? read : LANDLOCK_ACCESS_FS_READ_FILE;
      rule.parent_fd = fd.get();
      if (syscall(SYS_landlock_add_rule, ruleset.get(), LANDLOCK_RULE_PATH_BENEATH, &rule, 0) != 0)
        Fail(folder, errno);
      ++report.readableFolders;
      // The rule sticks to this inode, and procfs makes a new one for /proc/<pid> once its
      // dentry is pruned: the open descriptor keeps the dentry for the process's lifetime.
      if (folder == kOwnProcFolder) (void)fd.release();
    }
  }
  if (syscall(SYS_landlock_restrict_self, ruleset.get(), 0) != 0) Fail("Landlock", errno);
  report.landlockReads = policy.restrictReads;
}

void FilterSyscalls() {
  const std::unique_ptr<void, decltype(&seccomp_release)> filter(seccomp_init(SCMP_ACT_ALLOW),
                                                                 &seccomp_release);
  if (!filter) Fail("seccomp", ENOMEM);
  const auto check = [](int rc) {
    if (rc < 0) Fail("seccomp", -rc);
  };
  // Threads started before this (there should be none) get the filter too.
  check(seccomp_attr_set(filter.get(), SCMP_FLTATR_CTL_TSYNC, 1));
  const auto refuse = [&](const char* name, int error, std::vector<scmp_arg_cmp> args = {}) {
    const int nr = seccomp_syscall_resolve_name(name);
    if (nr == __NR_SCMP_ERROR) return;  // newer than this libseccomp
    check(seccomp_rule_add_array(filter.get(), SCMP_ACT_ERRNO(error), nr,
                                 static_cast<unsigned>(args.size()), args.data()));
  };
  // An errno, never a kill, so that libxml2 reports an ordinary error.
  for (const char* name :
       {"creat", "rename", "renameat", "renameat2", "unlink", "unlinkat", "mkdir", "mkdirat",
        "rmdir", "link", "linkat", "symlink", "symlinkat", "mknod", "mknodat", "truncate",
        "ftruncate", "fallocate", "chmod", "fchmod", "fchmodat", "fchmodat2", "chown", "fchown",
        "lchown", "fchownat", "utime", "utimes", "futimesat", "utimensat", "setxattr", "lsetxattr",
        "fsetxattr", "removexattr", "lremovexattr", "fremovexattr", "open_by_handle_at",
        // The channel to the window is inherited, already connected.
        "socket", "socketpair", "connect", "bind", "listen", "accept", "accept4",  //
        "execve", "execveat"})
    refuse(name, EACCES);
  // io_uring opens files and sockets where this filter never sees it.
  for (const char* name : {"ptrace", "process_vm_readv", "process_vm_writev", "memfd_create",
                           "io_uring_setup", "io_uring_enter", "io_uring_register"})
    refuse(name, EPERM);
  // openat2's flags sit in a struct the filter cannot read; libc falls back to openat.
  refuse("openat2", ENOSYS);
  // O_TMPFILE carries O_WRONLY or O_RDWR, so it is covered.
  for (const int flag : {O_WRONLY, O_RDWR, O_CREAT, O_TRUNC, O_APPEND}) {
    const auto bit = static_cast<scmp_datum_t>(flag);
    refuse("open", EACCES, {{1, SCMP_CMP_MASKED_EQ, bit, bit}});
    refuse("openat", EACCES, {{2, SCMP_CMP_MASKED_EQ, bit, bit}});
  }
  check(seccomp_load(filter.get()));
}

}  // namespace

std::string ConfinementReport::Describe() const {
  std::string text = "confinement: ";
  text += noNewPrivileges ? "no new privileges, " : "";
  text += seccomp ? "seccomp filter, " : "no seccomp, ";
  if (landlockAbi == 0) return text + "no Landlock";
  text += "Landlock ABI " + std::to_string(landlockAbi) + " (read-only file system";
  if (landlockReads) text += ", reads limited to " + std::to_string(readableFolders) + " folders";
  return text + ")";
}

ConfinementReport Confine(const ConfinementPolicy& policy) {
  ConfinementReport report;
  if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) Fail("no new privileges", errno);
  report.noNewPrivileges = true;
  report.landlockAbi = LandlockAbi();
  if (report.landlockAbi > 0) RestrictFiles(policy, report);
  // EINVAL: a kernel built without seccomp.
  if (::prctl(PR_GET_SECCOMP, 0, 0, 0, 0) >= 0) {
    FilterSyscalls();
    report.seccomp = true;
  } else if (errno != EINVAL) {
    Fail("seccomp", errno);
  }
  return report;
}

}  // namespace xmlpellor
