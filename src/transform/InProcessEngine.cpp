#include "transform/InProcessEngine.h"

#include "engine/Job.h"

namespace xmlpellor::transform {

InProcessEngine InProcessEngine::ReadingAnything() {
  InProcessEngine engine;
  engine.m_readsAnything = true;
  return engine;
}

JobResult InProcessEngine::Run(const JobRequest& request, JobEvents& events) {
  JobRequest confined = request;
  confined.restrictReads = !m_readsAnything;
  confined.readableFolders = ReadableFolders(request.xml, request.xsl);
  return engine::RunJob(confined, events);
}

std::vector<std::string> InProcessEngine::ReadableFolders(const std::string& xml,
                                                          const std::string& xsl) const {
  return ReadableFoldersFor(xml, xsl, m_settings);
}

}  // namespace xmlpellor::transform
