#include "transform/InProcessEngine.h"

#include "engine/Job.h"

namespace xmlpellor::transform {

InProcessEngine InProcessEngine::ReadingAnything() {
  InProcessEngine engine;
  engine.m_readsAnything = true;
  return engine;
}

JobResult InProcessEngine::Run(const JobRequest& request, JobEvents& events) {
  return engine::RunJob(request, events);
}

ReadPolicy InProcessEngine::PolicyFor(const std::string& xml, const std::string& xsl) const {
  if (m_readsAnything) return ReadPolicy::Unrestricted();
  return JobReadPolicy(xml, xsl, m_settings);
}

}  // namespace xmlpellor::transform
