#include <gtest/gtest.h>

#include "support/Fakes.h"

namespace xmlpellor::test {
namespace {

TEST(ErrorReport, PromptHasSourceNumberBlankLineAndDescription) {
  EXPECT_EQ(ErrorHandling::Prompt(53, "D", "S"), "[S]\r\nRun-time error '53':\r\n\r\nD");
  EXPECT_EQ(ErrorHandling::Prompt(-2147467259, "Unspecified", ""),
            "[]\r\nRun-time error '-2147467259':\r\n\r\nUnspecified");
}

TEST(ErrorReport, LogEntryIsLaidOutLineByLine) {
  FixedClock clock;
  EXPECT_EQ(ErrorHandling::LogEntry("Yab Xml Pellor", clock.now, -5, "Bad thing", "XMLPellor"),
            "\r\n"
            "  Unexpected Runtime Error\r\n"
            "  Application: Yab Xml Pellor\r\n"
            "  Occurred: 12/06/2026 09:41:07\r\n"
            "  Number: -5\r\n"
            "  Description: Bad thing\r\n"
            "  Source: XMLPellor\r\n");
}

TEST(ErrorReport, ShowsWarningBoxWithTitleAndHelpThenLogs) {
  ReportHarness h;
  bool loggedWhileOpen = true;
  h.box.onShow = [&] { loggedWhileOpen = !h.app.entries.empty(); };
  h.errors.ReportError(53, "File not found", "XMLPellor", "help.chm", 7);

  ASSERT_EQ(h.Reports(), 1u);
  EXPECT_FALSE(loggedWhileOpen);
  const auto& shown = h.box.shown[0];
  EXPECT_EQ(shown.buttons, 48);
  EXPECT_EQ(shown.title, "Yab Xml Pellor");
  EXPECT_EQ(shown.helpFile, "help.chm");
  EXPECT_EQ(shown.helpContext, 7);
  EXPECT_EQ(h.app.logTarget, "/opt/pellor/Yab Xml Pellor.log");
  EXPECT_EQ(h.app.logMode, 18);
  ASSERT_EQ(h.app.entries.size(), 1u);
  EXPECT_NE(h.app.entries[0].find("  Number: 53\r\n"), std::string::npos);
}

TEST(ErrorReport, TimeLoggedIsWhenTheBoxWasClosed) {
  ReportHarness h;
  h.box.onShow = [&] { h.clock.now.tm_min = 59; };
  h.errors.ReportError(1, "x", "y", "", 0);
  EXPECT_NE(h.app.entries.at(0).find("Occurred: 12/06/2026 09:59:07"), std::string::npos);
}

TEST(ErrorReport, LogIsBegunOncePerRunThenAppended) {
  ReportHarness h;
  h.app.entries = {"from an earlier run"};
  h.errors.ReportError(1, "first", "s", "", 0);
  h.errors.ReportError(2, "second", "s", "", 0);
  EXPECT_EQ(h.app.startCount, 1);
  ASSERT_EQ(h.app.entries.size(), 2u);
  EXPECT_NE(h.app.entries[1].find("second"), std::string::npos);
}

TEST(ErrorReport, LogInTheRootDirectoryHasOneSlash) {
  ReportHarness h;
  h.app.path = "/";
  h.errors.ReportError(1, "d", "s", "", 0);
  EXPECT_EQ(h.app.logTarget, "/Yab Xml Pellor.log");
}

TEST(ErrorReport, EveryFailingStepIsSkippedAndNothingEscapes) {
  ReportHarness h;
  h.app.failStartLogging = true;
  h.errors.ReportError(1, "d", "s", "", 0);  // log cannot be begun: box still shown
  EXPECT_EQ(h.Reports(), 1u);
  EXPECT_TRUE(h.app.entries.empty());

  h.app.failStartLogging = false;
  h.box.fail = true;  // no box can be shown: the entry is still written
  h.errors.ReportError(2, "d", "s", "", 0);
  EXPECT_EQ(h.app.entries.size(), 1u);

  h.app.failLogEvent = true;
  h.app.failPath = true;
  EXPECT_NO_THROW(h.errors.ReportError(3, "d", "s", "", 0));
  EXPECT_EQ(h.errors.AppPath(), "/");
}

}  // namespace
}  // namespace xmlpellor::test
