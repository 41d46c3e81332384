#include "support/InProcessEngine.h"

#include "engine/Job.h"

namespace xmlpellor::test {

transform::JobResult InProcessEngine::Run(const transform::JobRequest& request,
                                          transform::JobEvents& events) {
  return engine::RunJob(request, events);
}

ReadPolicy InProcessEngine::PolicyFor(const std::string& xml, const std::string& xsl) const {
  return transform::JobReadPolicy(xml, xsl, m_settings);
}

}  // namespace xmlpellor::test
