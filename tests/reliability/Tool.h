#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "main_window/frmMain.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "transform/Engine.h"
#include "support/Fakes.h"
#include "support/TempDir.h"
#include "support/FakeWindow.h"

// Under AddressSanitizer the tool is ten times slower, and a process's
// memory cannot be limited (its shadow memory counts too).
#if defined(__SANITIZE_ADDRESS__)
#define XMLPELLOR_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define XMLPELLOR_UNDER_ASAN 1
#endif
#endif

namespace xmlpellor::test {

// Points TMPDIR at a fresh folder of its own for its lifetime, so the
// temporary output file can be counted, removed or starved.
class PrivateTmp {
 public:
  PrivateTmp();
  ~PrivateTmp();
  PrivateTmp(const PrivateTmp&) = delete;
  PrivateTmp& operator=(const PrivateTmp&) = delete;

  const std::string& path() const { return m_dir.path(); }
  // The names of the xml*.tmp files in the folder.
  std::vector<std::string> OutputFiles() const;

 private:
  TempDir m_dir;
  std::string m_saved;
  bool m_hadSaved = false;
};

// The engine program of this build.
std::string EngineProgram();

// The whole tool minus its window: the real frmMain, transformation, file
// services and error report, on fake controls and an in-memory message box
// and log. Loaded on construction, unloaded on destruction.
struct Tool : FakeWindowControls {
  ReportHarness h;
  PosixFileSystem fs;
  // The real XSLT engine's process, as the window runs it.
  PosixProcessLauncher launcher;
  transform::HelperEngine engine;
  FakeFileWatcher watcher;
  FakeProgress progress;
  FakeRunMessages messages;
  frmMain frm{{h.errors, h.app, fs, h.worker, engine, watcher, progress, messages}, Controls()};

  explicit Tool(transform::EngineSettings settings = {});
  ~Tool();

  // Types the two paths and presses Apply.
  void Apply(const std::string& xml, const std::string& xsl);
  // What the last press wrote; "" when the file is missing.
  std::string Output() const;
  std::size_t Reports() const { return h.Reports(); }
  const std::string& LastReport() const;
  // True when the last press showed the output file.
  bool Shown(std::size_t navigationsBefore) const;

  // A plain Apply on a good document and stylesheet works as it should: the
  // result is written and shown, and nothing is reported.
  ::testing::AssertionResult StillUsable();
};

// Runs `body` in a forked child, as the unprivileged user "nobody" when this
// process is root (root passes every permission check), and expects it to
// finish without a failed assertion. The child's assertions print as usual.
// Skips the test when root cannot become nobody here.
void InChildProcess(const std::function<void()>& body, bool dropRoot);

// Makes `path` and everything below it belong to the user the child runs as.
void HandToChild(const std::string& path);

// The processes `pid` started, whichever of its threads started them.
std::vector<pid_t> ChildrenOf(pid_t pid);

}  // namespace xmlpellor::test
