#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Process.h"
#include "platform/ReadPolicy.h"
#include "platform/RuntimeError.h"
#include "transform/Transform.h"
#include "wire/JobWire.h"

namespace xmlpellor {

class StopToken;

namespace transform {

// Puts each message of a job on stderr as it comes, one line each, as
// xsltproc prints it: a stylesheet's xsl:message is how its author follows
// what it does, also in a run that fails or is stopped later. Control
// characters are made visible: the terminal is the user's, not the job's.
class PrintedMessages : public JobEvents {
 public:
  void Message(const std::string& line) override;
};

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
  // How the user lets a refused folder through, said with the first refusal
  // it would help with; the window's command line and settings say how.
  std::string readAdvice = {};
  XsltEngine xsltEngine = XsltEngine::kAuto;
};

// Runs jobs. Run returns the job's result or throws its RuntimeError; a
// stop of the running worker's token ends it with err::kUserInterrupt.
class IEngine {
 public:
  virtual ~IEngine() = default;
  // Runs the job under the request's own read policy, as it comes.
  virtual JobResult Run(const JobRequest& request, JobEvents& events) = 0;
  // What a job of these two files may read: built once for each Apply and
  // given both to the job's request and to its page.
  virtual ReadPolicy PolicyFor(const std::string& xml, const std::string& xsl) const = 0;
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
  ReadPolicy PolicyFor(const std::string& xml, const std::string& xsl) const override;

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
    // Said before the output, for a profiled job.
    std::optional<xml::TransformProfile> profile;
    std::uint64_t profileBytes = 0;
    xml::OriginTable origins;  // announced before the output
  };
  HelperCommand Command() const;
  std::unique_ptr<IHelperProcess> TakePrepared();
  Attempt RunOnce(const std::string& message, const JobRequest& request, JobEvents& events,
                  StopToken* token);
  // Takes in one message of the helper's.
  void Hear(wire::EngineMessage message, IHelperProcess& helper, JobEvents& events,
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

// The one place a job's read policy is built: what a job of these two files
// may read under `settings` (see ReadPolicy::ForJob).
ReadPolicy JobReadPolicy(const std::string& xml, const std::string& xsl,
                         const EngineSettings& settings);

}  // namespace transform
}  // namespace xmlpellor
