// libxslt's own count of each template, as the profiled job gives it back:
// the counts xsltproc --profile prints for the same job, and the times
// derived from libxslt's.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <tuple>

#include "support/InProcessEngine.h"
#include "transform/Engine.h"
#include "TestData.h"

namespace xmlpellor::test {
namespace {

using Key = std::tuple<std::string, std::string, std::string>;  // match, name, mode

std::map<Key, xml::TemplateProfile> Profiled(const std::string& xml, const std::string& xsl) {
  InProcessEngine engine;
  transform::JobRequest request;
  request.xml = xml;
  request.xsl = xsl;
  request.reads = engine.PolicyFor(xml, xsl);
  request.instrument = wire::Instrument::kProfile;
  transform::JobEvents quiet;
  const transform::JobResult result = engine.Run(request, quiet);
  EXPECT_TRUE(result.profile.has_value());
  std::map<Key, xml::TemplateProfile> byKey;
  if (!result.profile) return byKey;
  for (const auto& t : result.profile->templates) byKey[{t.match, t.name, t.mode}] = t;
  return byKey;
}

struct CountCase {
  const char* match;
  const char* name;
  const char* mode;
  const char* file;
  long line;
  std::uint64_t calls;  // as xsltproc --profile counts them
};

class ProfileCounts : public testing::TestWithParam<CountCase> {};

TEST_P(ProfileCounts, AreXsltprocs) {
  const CountCase& c = GetParam();
  const auto profiled = Profiled(DataPath("profile/orders.xml"), DataPath("profile/report.xsl"));
  const auto found = profiled.find({c.match, c.name, c.mode});
  ASSERT_NE(found, profiled.end());
  EXPECT_EQ(found->second.calls, c.calls);
  EXPECT_EQ(found->second.file, DataPath(std::string("profile/") + c.file));
  EXPECT_EQ(found->second.line, c.line);
}

INSTANTIATE_TEST_SUITE_P(Templates, ProfileCounts,
                         testing::Values(CountCase{"/", "", "", "report.xsl", 6, 1},
                                         CountCase{"order", "", "", "report.xsl", 11, 3},
                                         CountCase{"", "title", "", "report.xsl", 16, 3},
                                         CountCase{"item", "", "", "report.xsl", 18, 6},
                                         // Called once from each item and once more for each star.
                                         CountCase{"", "stars", "", "report.xsl", 24, 22},
                                         CountCase{"item", "", "summary", "parts.xsl", 3, 6},
                                         CountCase{"order", "", "never", "report.xsl", 31, 0}));

TEST(ProfileCounts, AreTheCountsXsltprocPrints) {
  const std::string xml = DataPath("profile/orders.xml");
  const std::string xsl = DataPath("profile/report.xsl");
  const std::string command = "xsltproc --profile -o /dev/null '" + xsl + "' '" + xml + "' 2>&1";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  if (!pipe) GTEST_SKIP() << "no xsltproc";
  std::string printed;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr) printed += buffer;
  if (printed.find("Calls") == std::string::npos) GTEST_SKIP() << "no xsltproc: " << printed;

  // "    2                 item                       summary      6      1      0": a
  // line of xsltproc's table gives number, match, name, mode, calls, time,
  // average, the empty ones left out; this stylesheet's templates have a
  // match or a name, not both, and only the match "item" comes in a mode.
  std::map<std::string, std::uint64_t> xsltproc;
  std::istringstream lines(printed);
  std::string line;
  std::getline(lines, line);  // the heading
  while (std::getline(lines, line) && line.find("Total") == std::string::npos) {
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string word; words >> word;) w.push_back(word);
    if (w.size() != 5 && w.size() != 6) continue;
    const std::string label = w.size() == 5 ? w[1] : w[1] + " " + w[2];
    xsltproc[label] = std::stoull(w[w.size() - 3]);
  }
  std::map<std::string, std::uint64_t> ours;
  for (const auto& [key, t] : Profiled(xml, xsl)) {
    if (t.calls == 0) continue;  // xsltproc lists the templates that ran
    const std::string label =
        (t.match.empty() ? t.name : t.match) + (t.mode.empty() ? "" : " " + t.mode);
    ours[label] = t.calls;
  }
  EXPECT_EQ(ours, xsltproc);
}

struct CalleeCase {
  const char* name;
  std::vector<std::uint64_t> self;
  std::vector<std::uint64_t> calls;
  std::vector<std::vector<xml::CallerCount>> callers;
  std::vector<std::uint64_t> total;
};

class CalleeTimes : public testing::TestWithParam<CalleeCase> {};

TEST_P(CalleeTimes, AreSharedOutByCalls) {
  const CalleeCase& c = GetParam();
  std::vector<xml::TemplateProfile> templates(c.self.size());
  for (std::size_t i = 0; i < templates.size(); ++i) {
    templates[i].selfMicros = c.self[i];
    templates[i].calls = c.calls[i];
  }
  xml::AddCalleeTimes(templates, c.callers);
  std::vector<std::uint64_t> total;
  for (const auto& t : templates) total.push_back(t.totalMicros);
  EXPECT_EQ(total, c.total);
}

INSTANTIATE_TEST_SUITE_P(
    Graphs, CalleeTimes,
    testing::Values(
        // 0 calls 1, which calls 2.
        CalleeCase{"chain", {10, 20, 30}, {1, 1, 1}, {{}, {{0, 1}}, {{1, 1}}}, {60, 50, 30}},
        // 2 is called by 0 once and by 1 three times: 0 gets a quarter of it.
        CalleeCase{"shared", {0, 0, 400}, {1, 1, 4}, {{}, {}, {{0, 1}, {1, 3}}}, {100, 300, 400}},
        // 1 calls itself: its own time counts once.
        CalleeCase{"recursive", {5, 60}, {1, 6}, {{}, {{0, 1}, {1, 5}}}, {65, 60}},
        // 0 and 1 call each other: neither goes round for ever.
        CalleeCase{"mutual", {10, 20}, {2, 2}, {{{1, 1}}, {{0, 2}}}, {30, 20}},
        CalleeCase{"never_called", {0, 0}, {0, 0}, {{}, {}}, {0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace xmlpellor::test
