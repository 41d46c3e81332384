#pragma once

#include <cstddef>
#include <string>

#include "platform/ReadPolicy.h"

namespace xmlpellor {

// What was applied, for --verbose and CI logs.
struct ConfinementReport {
  bool noNewPrivileges = false;
  bool seccomp = false;
  bool capabilitiesDropped = false;
  int landlockAbi = 0;  // 0: the kernel has no Landlock
  bool landlockReads = false;
  std::size_t readableFolders = 0;  // granted when landlockReads, the system's included
  std::string Describe() const;
};

// Confines the calling process for good: no new privileges, no capabilities, a seccomp filter
// that lets through only what a job needs (reading files, memory, threads, time, the inherited
// channel, signals to itself), and where the kernel has Landlock a read-only file system whose
// reads are limited to the places of `reads` (the job's, the system's XML data, the allowed
// folders: the same value the loader judges by) and to what the process itself needs to run
// (converters, locales, time zones); /proc is never among them. Only an unrestricted policy,
// which tests ask for by name, leaves every file readable. Landlock binds only the
// calling thread and the threads it starts later, so call this while the process is still
// single-threaded. What the kernel lacks is left out and reported; a mechanism that is there but
// fails throws RuntimeError. Under LeakSanitizer leave through _exit (or detect_leaks=0): its
// exit-time check ptraces the process's threads, which the filter refuses.
ConfinementReport Confine(const ReadPolicy& reads);

}  // namespace xmlpellor
