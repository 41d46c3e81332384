#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "transform/Engine.h"

namespace xmlpellor {

namespace transform {

// "auto", "libxslt", "saxon" as --xslt-engine takes them.
std::optional<XsltEngine> ParseXsltEngine(std::string_view text);
// "libxslt", "Saxon-HE": the engine as the window names it.
const char* EngineName(XsltEngine engine);

// The XSLT version a stylesheet declares on its root element: the version
// of xsl:stylesheet, xsl:transform or xsl:package, or xsl:version on a
// simplified stylesheet's root. Only the root's start tag is read, and only
// when `policy` lets the file be read; "" when there is none to read.
std::string DeclaredXsltVersion(const std::string& xsl, const ReadPolicy& policy);

// The engine a stylesheet declaring `version` runs in: Saxon for 2.0 and
// later, libxslt for everything else (1.0, none, one that is no number),
// unless `choice` names one.
XsltEngine EngineFor(XsltEngine choice, std::string_view version);

// The window's engine: each job runs in the libxslt engine's process or in
// the Saxon engine's, as its stylesheet's version or --xslt-engine says;
// both are prepared ahead the same way.
class ChoosingEngine final : public IEngine {
 public:
  // `saxonProgram` may not exist (a build without a JDK): a job that needs
  // it then says so.
  ChoosingEngine(IProcessLauncher& launcher, std::string libxsltProgram, std::string saxonProgram,
                 EngineSettings settings);

  // Starts the process the stylesheet at `xsl` will need, unless one is
  // ready; a failure to start is left for the Apply to report.
  void Prepare(const std::string& xsl) noexcept;
  JobResult Run(const JobRequest& request, JobEvents& events) override;
  ReadPolicy PolicyFor(const std::string& xml, const std::string& xsl) const override;
  XsltEngine Choose(const std::string& xml, const std::string& xsl) const;

 private:
  EngineSettings m_settings;
  std::string m_saxonProgram;
  HelperEngine m_libxslt;
  HelperEngine m_saxon;
};

}  // namespace transform
}  // namespace xmlpellor
