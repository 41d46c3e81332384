#pragma once

#include <string>
#include <utility>
#include <vector>

#include "transform/Engine.h"

namespace xmlpellor::transform {

// Runs the job on the calling thread, in this process, under the same read
// policy: for tests and fuzzing of the transformation itself. It cannot be
// stopped, and a fault of the libraries is a fault of this process. The
// window never links it: its jobs run confined, in the engine's process.
class InProcessEngine final : public IEngine {
 public:
  explicit InProcessEngine(EngineSettings settings = {}) : m_settings(std::move(settings)) {}
  // One whose policy lets a job read any file: for fuzzing, whose inputs
  // are no user's and live where no job's folder is (memfds under /proc).
  static InProcessEngine ReadingAnything();
  JobResult Run(const JobRequest& request, JobEvents& events) override;
  ReadPolicy PolicyFor(const std::string& xml, const std::string& xsl) const override;

 private:
  EngineSettings m_settings;
  bool m_readsAnything = false;
};

}  // namespace xmlpellor::transform
