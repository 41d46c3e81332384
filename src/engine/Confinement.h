#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/ReadPolicy.h"

namespace xmlpellor {

// What the confined process itself needs beyond its job's reads.
struct ProcessNeeds {
  // Folders its own code reads while it runs (a Java VM's home, its
  // settings); the kernel rules grant them, the job's loader never does.
  std::vector<std::string> ownFolders = {};
  // The process runs a Java VM: its threads, its memory management and its own questions to the
  // kernel are let through too (JavaVmCalls in the .cpp says which and why), and the Landlock
  // read rules bind only the calling thread and those it starts later, since the VM's own threads
  // are older (ConfineFileSystemBeforeThreads made the file system read-only for them).
  bool javaVm = false;
};

// What was applied, for --verbose and CI logs.
struct ConfinementReport {
  bool noNewPrivileges = false;
  bool seccomp = false;
  bool capabilitiesDropped = false;
  int landlockAbi = 0;  // 0: the kernel has no Landlock
  bool landlockReads = false;
  std::size_t readableFolders = 0;  // granted when landlockReads, the system's included
  bool javaVm = false;
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
ConfinementReport Confine(const ReadPolicy& reads, const ProcessNeeds& needs = {});

// For a process that starts threads of its own before it knows its job (a Java VM): no new
// privileges, no capabilities and, where the kernel has Landlock, a read-only file system, for the
// calling thread and every thread it starts from now on. Call it while single-threaded; Confine
// follows once the job is known.
void ConfineFileSystemBeforeThreads();

}  // namespace xmlpellor
