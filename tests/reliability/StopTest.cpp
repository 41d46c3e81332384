// Stopping a transformation in each of its phases, through the real frmMain
// and transformation on the plain worker: the stop text is written and
// shown, nothing is reported, and the next Apply works at once. The figures
// printed (from the stop to the end of the Apply command) are for reading;
// nothing here asserts a time.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <thread>

#include "Tool.h"
#include "support/TempDir.h"

namespace xmlpellor::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kStylesheetHead =
    "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">";

// Asks the tool's worker to stop after `delay`, and again every few
// milliseconds until told to end, so a stop cannot fall before the job has
// begun and be lost.
class Stopper {
 public:
  Stopper(Tool& tool, std::chrono::milliseconds delay)
      : m_thread([this, &tool, delay] {
          std::this_thread::sleep_for(delay);
          m_first = Clock::now();
          while (!m_done.load()) {
            tool.h.worker.Token().RequestStop();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
          }
        }) {}
  ~Stopper() { End(); }
  void End() {
    m_done = true;
    if (m_thread.joinable()) m_thread.join();
  }
  Clock::time_point First() const { return m_first; }

 private:
  std::atomic<bool> m_done{false};
  Clock::time_point m_first{};
  std::thread m_thread;
};

// <r><i n="0">0</i>...</r> with `count` items.
std::string PutItems(const TempDir& dir, const std::string& name, long count) {
  std::ofstream out(dir.File(name), std::ios::binary);
  out << "<r>";
  for (long i = 0; i < count; ++i) out << "<i n=\"" << i << "\">item " << i << "</i>\n";
  out << "</r>";
  return dir.File(name);
}

std::string PutStylesheet(const TempDir& dir, const std::string& name, const std::string& body) {
  dir.Write(name, std::string(kStylesheetHead) + body + "</xsl:stylesheet>");
  return dir.File(name);
}

struct StopCase {
  const char* name;
  std::function<std::pair<std::string, std::string>(const TempDir&)> arrange;
  int delayMs;
};

class StopPhase : public ::testing::TestWithParam<StopCase> {};

TEST_P(StopPhase, ShowsTheStopTextWithoutAReportAndTheNextApplyWorks) {
  const StopCase& c = GetParam();
  TempDir data;
  const auto [xml, xsl] = c.arrange(data);
  PrivateTmp tmp;
  Tool tool;
  const std::size_t navigations = tool.wbr.navigations.size();

  Clock::time_point ended;
  {
    Stopper stopper(tool, std::chrono::milliseconds(c.delayMs));
    tool.Apply(xml, xsl);
    ended = Clock::now();
    stopper.End();
    const std::chrono::duration<double, std::milli> latency = ended - stopper.First();
    std::printf("stop %s: %.0f ms from the stop to the end of Apply\n", c.name, latency.count());
  }
  EXPECT_EQ(tool.Reports(), 0u) << tool.LastReport();
  EXPECT_TRUE(tool.Shown(navigations));
  EXPECT_THAT(tool.Output(), ::testing::MatchesRegex("The transformation was stopped after "
                                                     "[0-9]+\\.[0-9] s\\."));
  EXPECT_TRUE(tool.StillUsable());
  EXPECT_EQ(tmp.OutputFiles().size(), 1u);
}

std::string CaseName(const ::testing::TestParamInfo<StopCase>& info) { return info.param.name; }

// Without a stop each of these runs for many seconds.
INSTANTIATE_TEST_SUITE_P(
    Slow, StopPhase,
    ::testing::Values(
        StopCase{"reading_a_large_document",
                 [](const TempDir& d) {
                   return std::pair{PutItems(d, "large.xml", 3000000),
                                    PutStylesheet(d, "count.xsl", "<xsl:template match=\"/\"><xsl:value-of select=\"count(//i)\"/></xsl:template>")};
                 },
                 100},
        StopCase{"one_long_xpath_expression",
                 [](const TempDir& d) {
                   return std::pair{PutItems(d, "items.xml", 60000),
                                    PutStylesheet(d, "join.xsl", "<xsl:template match=\"/\"><xsl:value-of select=\"count(//i[@n = //i/@n])\"/></xsl:template>")};
                 },
                 300},
        StopCase{"template_loop",
                 [](const TempDir& d) {
                   return std::pair{PutItems(d, "items.xml", 60000),
                                    PutStylesheet(d, "loop.xsl",
                                                  "<xsl:variable name=\"all\" select=\"//i\"/>"
                                                  "<xsl:template match=\"/\"><xsl:for-each select=\"$all\">"
                                                  "<xsl:for-each select=\"$all\"><xsl:if test=\"false()\"><x/></xsl:if></xsl:for-each>"
                                                  "</xsl:for-each></xsl:template>")};
                 },
                 300}),
    CaseName);

}  // namespace
}  // namespace xmlpellor::test
