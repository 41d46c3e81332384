// Runs a program as on a kernel without Landlock: its three calls answer
// ENOSYS, for the program and for everything it starts, since a seccomp
// filter is inherited across fork and exec. Exits 77, the test harness's
// "skipped", where no filter can be loaded.
#include <seccomp.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: without_landlock PROGRAM [ARGUMENT...]\n");
    return 2;
  }
  const std::unique_ptr<void, decltype(&seccomp_release)> filter(seccomp_init(SCMP_ACT_ALLOW),
                                                                 &seccomp_release);
  if (!filter) {
    std::fprintf(stderr, "without_landlock: no seccomp here\n");
    return 77;
  }
  // By number: an older libseccomp may not know the names.
  for (const int call :
       {SYS_landlock_create_ruleset, SYS_landlock_add_rule, SYS_landlock_restrict_self}) {
    const int rc = seccomp_rule_add(filter.get(), SCMP_ACT_ERRNO(ENOSYS), call, 0);
    if (rc < 0) {
      std::fprintf(stderr, "without_landlock: %s\n", std::strerror(-rc));
      return 77;
    }
  }
  if (const int rc = seccomp_load(filter.get()); rc < 0) {
    std::fprintf(stderr, "without_landlock: the filter could not be loaded: %s\n",
                 std::strerror(-rc));
    return 77;
  }
  ::execv(argv[1], argv + 1);
  std::fprintf(stderr, "without_landlock: %s: %s\n", argv[1], std::strerror(errno));
  return 127;
}
