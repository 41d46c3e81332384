#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "error_handling/ProcedureTrap.h"
#include "platform/Variant.h"
#include "support/Fakes.h"

namespace xmlpellor::test {
namespace {

TEST(ProcedureTrap, ErrorEndsTheBodyWithOneReportOfAllFiveValues) {
  ReportHarness h;
  int stepsRun = 0;
  ProcedureTrap(h.errors).Run([&] {
    ++stepsRun;
    throw RuntimeError(ErrorRecord{1004, "desc", "src", "file.hlp", 12});
    ++stepsRun;
  });
  EXPECT_EQ(stepsRun, 1);
  ASSERT_EQ(h.Reports(), 1u);
  EXPECT_EQ(h.box.shown[0].prompt, "[src]\r\nRun-time error '1004':\r\n\r\ndesc");
  EXPECT_EQ(h.box.shown[0].helpFile, "file.hlp");
  EXPECT_EQ(h.box.shown[0].helpContext, 12);
}

TEST(ProcedureTrap, ResumeNextSkipsOnlyItsNumberStepByStep) {
  ReportHarness h;
  std::vector<int> ran;
  ProcedureTrap trap(h.errors, PassOver::ResumeNextOn(err::kInvalidProcedureCall));
  trap.Step([&] { ran.push_back(1); throw RuntimeError(5, "Invalid procedure call or argument"); });
  trap.Step([&] { ran.push_back(2); throw RuntimeError(5, "again"); });
  trap.Step([&] { ran.push_back(3); throw RuntimeError(91, "Object variable not set"); });
  trap.Step([&] { ran.push_back(4); });
  EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(h.Reports(), 1u);
  EXPECT_TRUE(trap.Ended());
}

TEST(ProcedureTrap, SilentPassEndsWithoutReportOtherNumbersAreReported) {
  ReportHarness h;
  bool after = false;
  ProcedureTrap(h.errors, PassOver::SilentlyOn(err::kCancelError)).Run([&] {
    throw RuntimeError(err::kCancelError, "Cancel was selected.");
    after = true;
  });
  EXPECT_FALSE(after);
  EXPECT_EQ(h.Reports(), 0u);

  ProcedureTrap(h.errors, PassOver::SilentlyOn(err::kCancelError)).Run([&] { throw RuntimeError(5, "x"); });
  ProcedureTrap(h.errors).Run([&] { throw RuntimeError(err::kCancelError, "Cancel was selected."); });
  EXPECT_EQ(h.Reports(), 2u);
}

TEST(ProcedureTrap, FunctionReturnsResultAsLastAssigned) {
  ReportHarness h;
  auto assignedThenFailed = Guarded<Variant>(h.errors, [](Variant& r) {
    r = std::string("partial");
    throw RuntimeError(13, "Type mismatch");
  });
  EXPECT_EQ(assignedThenFailed, Variant(std::string("partial")));
  auto failedFirst = Guarded<Variant>(h.errors, [](Variant&) { throw RuntimeError(13, "Type mismatch"); });
  EXPECT_TRUE(IsEmpty(failedFirst));
  EXPECT_EQ(h.Reports(), 2u);
}

TEST(ProcedureTrap, ForeignExceptionsBecomeRuntimeErrors) {
  ReportHarness h;
  ProcedureTrap(h.errors).Run([] { throw std::bad_alloc(); });
  ProcedureTrap(h.errors).Run([] { throw std::logic_error("broken invariant"); });
  ProcedureTrap(h.errors).Run([] { throw 42; });
  ASSERT_EQ(h.Reports(), 3u);
  EXPECT_EQ(h.box.shown[0].prompt, "[XMLPellor]\r\nRun-time error '7':\r\n\r\nOut of memory");
  EXPECT_NE(h.box.shown[1].prompt.find("broken invariant"), std::string::npos);
  EXPECT_NE(h.box.shown[2].prompt.find("Run-time error '51'"), std::string::npos);
}

TEST(ProcedureTrap, SameFailureIsReportedAgainInALaterCall) {
  ReportHarness h;
  for (int i = 0; i < 2; ++i) ProcedureTrap(h.errors).Run([] { throw RuntimeError(70, "Permission denied"); });
  EXPECT_EQ(h.Reports(), 2u);
  EXPECT_EQ(h.app.entries.size(), 2u);
}

}  // namespace
}  // namespace xmlpellor::test
