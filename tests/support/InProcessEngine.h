#pragma once

#include <string>
#include <utility>

#include "transform/Engine.h"

namespace xmlpellor::test {

// Runs the job on the calling thread, in this process, under the policy the
// window would give it: for tests of the transformation itself. It cannot
// be stopped, and a fault of the libraries is a fault of the test.
class InProcessEngine final : public transform::IEngine {
 public:
  explicit InProcessEngine(transform::EngineSettings settings = {})
      : m_settings(std::move(settings)) {}
  transform::JobResult Run(const transform::JobRequest& request,
                           transform::JobEvents& events) override;
  ReadPolicy PolicyFor(const std::string& xml, const std::string& xsl) const override;

 private:
  transform::EngineSettings m_settings;
};

}  // namespace xmlpellor::test
