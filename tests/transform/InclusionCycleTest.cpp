#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <utility>
#include <vector>

#include "support/Fakes.h"
#include "support/TempDir.h"
#include "transform/Transform.h"

namespace xmlpellor::test {
namespace {

using ::testing::HasSubstr;

std::string Sheet(const std::string& body) {
  return "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>" + body +
         "</xsl:stylesheet>";
}

struct CycleCase {
  const char* name;
  std::vector<std::pair<const char*, std::string>> files;  // a.xsl is applied
  // Each step of the cycle the error names ("a.xsl includes b.xsl", each
  // file by its real path); none: the stylesheet applies and its output is
  // `output`, or with no output fails for another reason.
  std::vector<std::string> steps;
  const char* output;
};

class InclusionCycle : public ::testing::TestWithParam<CycleCase> {};

TEST_P(InclusionCycle, IsAnErrorNamingItsFilesWhileADiamondApplies) {
  const CycleCase& c = GetParam();
  TempDir dir;
  dir.Write("in.xml", "<r/>");
  ::mkdir(dir.File("sub").c_str(), 0700);
  for (const auto& [name, content] : c.files) dir.Write(name, content);
  ReportHarness h;
  const Variant result = transform::CreateHTMLFromXMLXSL(h.errors, h.worker, h.engine,
                                                         dir.File("in.xml"), dir.File("a.xsl"), {});
  if (c.steps.empty() && c.output == nullptr) {
    ASSERT_EQ(h.Reports(), 1u);
    EXPECT_THAT(h.box.shown[0].prompt, ::testing::Not(HasSubstr("circle")));
    return;
  }
  if (c.steps.empty()) {
    EXPECT_EQ(h.Reports(), 0u) << h.box.shown[0].prompt;
    EXPECT_EQ(std::get<std::string>(result), c.output);
    return;
  }
  ASSERT_EQ(h.Reports(), 1u);
  const std::string& prompt = h.box.shown[0].prompt;
  EXPECT_THAT(prompt, HasSubstr("go round in a circle"));
  const std::string folder = std::filesystem::canonical(dir.path()).string() + "/";
  for (std::string step : c.steps) {
    step.insert(step.find(' ', step.find(' ') + 1) + 1, folder);
    EXPECT_THAT(prompt, HasSubstr(folder + step)) << prompt;
  }
}

const std::string kTemplate = "<xsl:template match='/'>ok</xsl:template>";
const std::string kText = "<xsl:output method='text'/>";

INSTANTIATE_TEST_SUITE_P(
    Stylesheets, InclusionCycle,
    ::testing::Values(
        CycleCase{"self_include",
                  {{"a.xsl", Sheet("<xsl:include href='a.xsl'/>" + kTemplate)}},
                  {"a.xsl includes a.xsl"},
                  nullptr},
        CycleCase{"self_import_by_another_spelling",
                  {{"a.xsl", Sheet("<xsl:import href='sub/../a.xsl'/>" + kTemplate)}},
                  {"a.xsl imports a.xsl"},
                  nullptr},
        CycleCase{"include_imports_back",
                  {{"a.xsl", Sheet("<xsl:include href='sub/b.xsl'/>" + kTemplate)},
                   {"sub/b.xsl", Sheet("<xsl:import href='../a.xsl'/>")}},
                  {"a.xsl includes sub/b.xsl", "sub/b.xsl imports a.xsl"},
                  nullptr},
        CycleCase{"import_includes_back",
                  {{"a.xsl", Sheet("<xsl:import href='b.xsl'/>" + kTemplate)},
                   {"b.xsl", Sheet("<xsl:include href='a.xsl'/>")}},
                  {"a.xsl imports b.xsl", "b.xsl includes a.xsl"},
                  nullptr},
        CycleCase{"cycle_below_the_top",
                  {{"a.xsl", Sheet("<xsl:import href='b.xsl'/>" + kTemplate)},
                   {"b.xsl", Sheet("<xsl:include href='c.xsl'/>")},
                   {"c.xsl", Sheet("<xsl:import href='b.xsl'/>")}},
                  {"b.xsl includes c.xsl", "c.xsl imports b.xsl"},
                  nullptr},
        CycleCase{"diamond",
                  {{"a.xsl", Sheet("<xsl:import href='b.xsl'/><xsl:import href='c.xsl'/>" + kText +
                                   "<xsl:template match='/'><xsl:call-template name='d'/>"
                                   "</xsl:template>")},
                   {"b.xsl", Sheet("<xsl:import href='sub/d.xsl'/>")},
                   {"c.xsl", Sheet("<xsl:import href='sub/d.xsl'/>")},
                   {"sub/d.xsl", Sheet("<xsl:template name='d'>d</xsl:template>")}},
                  {},
                  "d"},
        CycleCase{"missing_file_left_to_libxslt",
                  {{"a.xsl", Sheet("<xsl:import href='b.xsl'/>" + kText + kTemplate)},
                   {"b.xsl", Sheet("<xsl:include href='gone.xsl'/>")}},
                  {},
                  nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace xmlpellor::test
