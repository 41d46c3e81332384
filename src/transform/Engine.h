#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Process.h"
#include "platform/RuntimeError.h"
#include "transform/Job.h"

namespace xmlpellor {

class StopToken;

namespace transform {

// Which engine runs a stylesheet (--xslt-engine): by the XSLT version it
// declares, or always the one named.
enum class XsltEngine { kAuto, kLibxslt, kSaxon };

// How every job of one run of the program is run.
struct EngineSettings {
  // Memory one transformation may use, in bytes; 0: half the machine's.
  std::uint64_t memoryLimit = 0;
  // Folders every job may read besides its own (--allow-read and the
  // user's settings file).
  std::vector<std::string> allowRead;
  // Say on stderr what confinement the engine's process applied.
  bool verbose = false;
  XsltEngine xsltEngine = XsltEngine::kAuto;
};

// Runs jobs. Run returns the job's result or throws its RuntimeError; a
// stop of the running worker's token ends it with err::kUserInterrupt.
class IEngine {
 public:
  virtual ~IEngine() = default;
  virtual JobResult Run(const JobRequest& request, JobEvents& events) = 0;
  // The folders a job of these two files may read; what its page may show
  // from local files too.
  virtual std::vector<std::string> ReadableFolders(const std::string& xml,
                                                   const std::string& xsl) const = 0;
};

// Runs the job on the calling thread, in this process, under the same read
// policy: for tests and fuzzing of the transformation itself. It cannot be
// stopped, and a fault of the libraries is a fault of this process.
class InProcessEngine final : public IEngine {
 public:
  explicit InProcessEngine(EngineSettings settings = {}) : m_settings(std::move(settings)) {}
  // One whose jobs may read any file: for fuzzing, whose inputs are no
  // user's and live where no job's folder is (memfds under /proc).
  static InProcessEngine ReadingAnything();
  JobResult Run(const JobRequest& request, JobEvents& events) override;
  std::vector<std::string> ReadableFolders(const std::string& xml,
                                           const std::string& xsl) const override;

 private:
  EngineSettings m_settings;
  bool m_readsAnything = false;
};

// Runs each job in a fresh, confined process of its own (the program
// `helperProgram`), so that a stylesheet that crashes libxslt, exhausts
// memory or has to be stopped mid-step never touches the caller's process.
// The next process is started ahead of time, so a job does not wait for one.
class HelperEngine final : public IEngine {
 public:
  HelperEngine(IProcessLauncher& launcher, std::string helperProgram, EngineSettings settings,
               std::vector<std::string> arguments = {});
  ~HelperEngine() override;

  // Starts the process the next job will use, unless one is ready.
  void Prepare();
  // Ends the process that waits for a job, if one does; never waits.
  void Release() noexcept;
  JobResult Run(const JobRequest& request, JobEvents& events) override;
  std::vector<std::string> ReadableFolders(const std::string& xml,
                                           const std::string& xsl) const override;

  std::uint64_t MemoryLimit() const noexcept { return m_memoryLimit; }

 private:
  // A file the helper says it wrote: its path and size.
  using DocumentSize = std::pair<std::string, std::uint64_t>;
  // What became of one engine given the job.
  struct Attempt {
    bool heard = false;  // it said anything at all
    bool stopped = false;
    bool overLimit = false;
    std::optional<JobResult> result;
    std::optional<ErrorRecord> failure;
    ExitStatus status;
    // Announced before the output, whose bytes they follow.
    std::vector<DocumentSize> documents;
  };
  HelperCommand Command() const;
  std::unique_ptr<IHelperProcess> TakePrepared();
  Attempt RunOnce(const std::string& message, const JobRequest& request, JobEvents& events,
                  StopToken* token);
  // Takes in one message of the helper's.
  void Hear(const std::string& message, IHelperProcess& helper, JobEvents& events,
            const JobRequest& request, Attempt& attempt) const;

  IProcessLauncher& m_launcher;
  std::string m_program;
  std::vector<std::string> m_arguments;
  EngineSettings m_settings;
  std::uint64_t m_memoryLimit;
  std::mutex m_mutex;
  std::unique_ptr<IHelperProcess> m_prepared;
  // Stopped processes the kernel is still tearing down; reaped later, so a
  // stop does not wait for a large one to give its memory back.
  std::vector<std::unique_ptr<IHelperProcess>> m_dying;
};

// Half of the machine's physical memory.
std::uint64_t DefaultMemoryLimit();
// "512 MB", "1.5 GB": a size as a user reads it.
std::string SizeText(std::uint64_t bytes);

}  // namespace transform
}  // namespace xmlpellor
