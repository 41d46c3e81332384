#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace xmlpellor {

struct ConfinementPolicy {
  // Folders (absolute) whose files and subfolders the process may read. When restrictReads is
  // false every file stays readable (the file system is read-only); when true only these folders
  // and the system folders listed in Confinement.cpp may be read.
  std::vector<std::string> readableFolders;
  bool restrictReads = false;
};

// What was applied, for --verbose and CI logs.
struct ConfinementReport {
  bool noNewPrivileges = false;
  bool seccomp = false;
  int landlockAbi = 0;  // 0: the kernel has no Landlock
  bool landlockReads = false;
  std::size_t readableFolders = 0;  // granted when landlockReads, the system's included
  std::string Describe() const;
};

// Confines the calling process for good: no new privileges, a seccomp filter against writing
// files, sockets, exec and ptrace, and where the kernel has Landlock a read-only file system
// (reads limited to the policy's folders when asked). Landlock binds only the calling thread and
// the threads it starts later, so call this while the process is still single-threaded.
// What the kernel lacks is left out and reported; a mechanism that is there but fails throws
// RuntimeError. Under LeakSanitizer leave through _exit (or detect_leaks=0): its exit-time check
// ptraces the process's threads, which the filter refuses.
ConfinementReport Confine(const ConfinementPolicy& policy);

}  // namespace xmlpellor
