#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <ostream>

#include "main_window/Layout.h"
#include "platform/RuntimeError.h"
#include "support/Fakes.h"
#include "support/WindowFakes.h"

namespace xmlpellor::test {
namespace {

struct Rect {
  float left, top, width, height;
  friend bool operator==(const Rect&, const Rect&) = default;
  friend std::ostream& operator<<(std::ostream& os, const Rect& r) {
    return os << '(' << r.left << ", " << r.top << ", " << r.width << ", " << r.height << ')';
  }
};

// Indices into the six rectangles, in the order the layout places them.
enum Control { kTxtXml, kCmdBrowseXml, kTxtXsl, kCmdBrowseXsl, kCmdApplyXsl, kWbr, kControls };
constexpr std::array<const char*, kControls> kNames = {"txtXml",       "cmdBrowseXml",
                                                       "txtXsl",       "cmdBrowseXsl",
                                                       "cmdApplyXsl",  "wbr"};

// Where the window creates its controls, before any layout ran.
constexpr std::array<Rect, kControls> kDesign = {{{240, 120, 1280, 330},
                                                  {1680, 120, 360, 330},
                                                  {2220, 120, 1280, 330},
                                                  {3660, 120, 360, 330},
                                                  {4260, 120, 1280, 330},
                                                  {300, 660, 7935, 4755}}};

// The main window's controls on a fake form, starting at the design places.
struct Window {
  ReportHarness h;
  FakeForm form;
  FakeTextBox txtXml, txtXsl;
  FakeButton cmdBrowseXml, cmdBrowseXsl, cmdApplyXsl;
  FakeBrowser wbr;

  Window(float scaleWidth, float scaleHeight) {
    form.scaleWidth = scaleWidth;
    form.scaleHeight = scaleHeight;
    for (int i = 0; i < kControls; ++i) {
      auto& c = Base(i);
      c.left = kDesign[i].left;
      c.top = kDesign[i].top;
      c.width = kDesign[i].width;
      c.height = kDesign[i].height;
    }
  }

  FakeControlBase& Base(int i) {
    std::array<FakeControlBase*, kControls> all = {&txtXml,       &cmdBrowseXml, &txtXsl,
                                                   &cmdBrowseXsl, &cmdApplyXsl,  &wbr};
    return *all[i];
  }
  Rect Geometry(int i) {
    auto& c = Base(i);
    return {c.left, c.top, c.width, c.height};
  }
  void LayOut() {
    LayOutMainWindow(h.errors, form, txtXml, cmdBrowseXml, txtXsl, cmdBrowseXsl, cmdApplyXsl, wbr);
  }
};

// A window system that keeps geometry in whole pixels of the given size.
std::function<float(float)> WholePixels(float twipsPerPixel) {
  return [twipsPerPixel](float v) { return std::round(v / twipsPerPixel) * twipsPerPixel; };
}

struct LayoutCase {
  const char* name;
  float scaleWidth, scaleHeight;
  std::array<Rect, kControls> expected;
  float twipsPerPixel = 0;  // 0: the window system takes the values as given
};
void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.name; }

// The row controls as placed after a refused txtXml move: the rest of the
// row follows txtXml where it still stands (the design place).
constexpr Rect kXmlButtonAfterDesignBox{1610, 180, 330, 330};
constexpr Rect kXslBoxAfterDesignBox{2120, 180, 1280, 330};
constexpr Rect kXslButtonAfterDesignBox{3490, 180, 330, 330};

const LayoutCase kLayoutCases[] = {
    {"DesignSize", 8880, 5850,
     {{{180, 180, 3065, 330}, {3335, 180, 330, 330}, {3845, 180, 3065, 330},
       {7000, 180, 330, 330}, {7420, 180, 1280, 330}, {180, 600, 8520, 5070}}}},
    // 6131 free twips: both boxes get 3065 and the last gap grows to 91.
    {"OddRemainderWidensTheGapBeforeApply", 8881, 5850,
     {{{180, 180, 3065, 330}, {3335, 180, 330, 330}, {3845, 180, 3065, 330},
       {7000, 180, 330, 330}, {7421, 180, 1280, 330}, {180, 600, 8521, 5070}}}},
    // Half rounds to the even neighbour: 6130.5 -> 6130 -> 3065.
    {"FreeWidth6130Point5", 8880.5f, 5850,
     {{{180, 180, 3065, 330}, {3335, 180, 330, 330}, {3845, 180, 3065, 330},
       {7000, 180, 330, 330}, {7420.5f, 180, 1280, 330}, {180, 600, 8520.5f, 5070}}}},
    // 6131.5 -> 6132 -> 3066.
    {"FreeWidth6131Point5", 8881.5f, 5850,
     {{{180, 180, 3066, 330}, {3336, 180, 330, 330}, {3846, 180, 3066, 330},
       {7002, 180, 330, 330}, {7421.5f, 180, 1280, 330}, {180, 600, 8521.5f, 5070}}}},
    // Rounded, not truncated: 6129.5 -> 6130 -> 3065.
    {"FreeWidth6129Point5", 8879.5f, 5850,
     {{{180, 180, 3065, 330}, {3335, 180, 330, 330}, {3845, 180, 3065, 330},
       {7000, 180, 330, 330}, {7419.5f, 180, 1280, 330}, {180, 600, 8519.5f, 5070}}}},
    // -1 halved toward zero is 0, a width the window takes.
    {"FreeWidthMinusOneHalvesToZero", 2749, 5850,
     {{{180, 180, 0, 330}, {270, 180, 330, 330}, {780, 180, 0, 330},
       {870, 180, 330, 330}, {1289, 180, 1280, 330}, {180, 600, 2389, 5070}}}},
    // -1.5 -> -2 -> -1: refused, and the rest of the row follows txtXml
    // where it stands; the browser's top follows txtXml's design top too.
    {"FreeWidthMinusOnePointFiveIsRefused", 2748.5f, 5850,
     {{kDesign[kTxtXml], kXmlButtonAfterDesignBox, kXslBoxAfterDesignBox,
       kXslButtonAfterDesignBox, {1288.5f, 180, 1280, 330}, {180, 540, 2388.5f, 5130}}}},
    {"NarrowerThanTheFixedRow", 2000, 5850,
     {{kDesign[kTxtXml], kXmlButtonAfterDesignBox, kXslBoxAfterDesignBox,
       kXslButtonAfterDesignBox, {540, 180, 1280, 330}, {180, 540, 1640, 5130}}}},
    // Apply goes left of the window; the browser's negative width is refused.
    {"NarrowerThanTheBrowserMargins", 300, 5850,
     {{kDesign[kTxtXml], kXmlButtonAfterDesignBox, kXslBoxAfterDesignBox,
       kXslButtonAfterDesignBox, {-1160, 180, 1280, 330}, kDesign[kWbr]}}},
    {"BrowserMarginsExactlyFilled", 8880, 780,
     {{{180, 180, 3065, 330}, {3335, 180, 330, 330}, {3845, 180, 3065, 330},
       {7000, 180, 330, 330}, {7420, 180, 1280, 330}, {180, 600, 8520, 0}}}},
    {"LowerThanRowAndMargins", 8880, 779,
     {{{180, 180, 3065, 330}, {3335, 180, 330, 330}, {3845, 180, 3065, 330},
       {7000, 180, 330, 330}, {7420, 180, 1280, 330}, kDesign[kWbr]}}},
    // What a minimised window may report.
    {"NoInnerArea", 0, 0,
     {{kDesign[kTxtXml], kXmlButtonAfterDesignBox, kXslBoxAfterDesignBox,
       kXslButtonAfterDesignBox, {-1460, 180, 1280, 330}, kDesign[kWbr]}}},
    // 15 twips a pixel: 3065 becomes 3060, and everything to its right moves
    // with the adjusted value (3330, not 3335).
    {"WholePixelsAt96Dpi", 8880, 5850,
     {{{180, 180, 3060, 330}, {3330, 180, 330, 330}, {3840, 180, 3060, 330},
       {6990, 180, 330, 330}, {7425, 180, 1275, 330}, {180, 600, 8520, 5070}}},
     15},
    // 20 twips a pixel also adjusts the row height to 340, which moves the
    // browser's top to 610 before the window adjusts it to 620.
    {"WholePixelsAt72Dpi", 8880, 5850,
     {{{180, 180, 3060, 340}, {3340, 180, 340, 340}, {3860, 180, 3060, 340},
       {7020, 180, 340, 340}, {7420, 180, 1280, 340}, {180, 620, 8520, 5060}}},
     20},
};

class LayoutTable : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutTable, PlacesEachControlFromWhatThePreviousOneReports) {
  const LayoutCase& c = GetParam();
  Window w(c.scaleWidth, c.scaleHeight);
  if (c.twipsPerPixel > 0) {
    for (int i = 0; i < kControls; ++i) w.Base(i).adjust = WholePixels(c.twipsPerPixel);
  }
  w.LayOut();
  for (int i = 0; i < kControls; ++i) EXPECT_EQ(w.Geometry(i), c.expected[i]) << kNames[i];
  EXPECT_EQ(w.txtXml.width, w.txtXsl.width);
  EXPECT_EQ(w.h.Reports(), 0u) << "a refused move is passed over without a message";
}

INSTANTIATE_TEST_SUITE_P(Layout, LayoutTable, ::testing::ValuesIn(kLayoutCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Layout, EveryRefusedMoveIsSkippedAndTheNextStepStillRuns) {
  Window w(8880, 5850);
  w.txtXml.refuseEveryMove = true;
  w.cmdBrowseXsl.refuseEveryMove = true;
  w.cmdApplyXsl.refuseEveryMove = true;
  w.LayOut();
  EXPECT_EQ(w.Geometry(kCmdBrowseXml), kXmlButtonAfterDesignBox);
  EXPECT_EQ(w.Geometry(kTxtXsl), kXslBoxAfterDesignBox);
  EXPECT_EQ(w.Geometry(kCmdBrowseXsl), kDesign[kCmdBrowseXsl]);
  EXPECT_EQ(w.Geometry(kCmdApplyXsl), kDesign[kCmdApplyXsl]);
  EXPECT_EQ(w.Geometry(kWbr), (Rect{180, 540, 8520, 5130}));
  EXPECT_EQ(w.h.Reports(), 0u);
}

TEST(Layout, RunningAgainAfterASizeChangeFollowsTheNewSize) {
  Window w(8880, 5850);
  w.LayOut();
  w.form.scaleWidth = 12000;
  w.form.scaleHeight = 9000;
  w.LayOut();
  EXPECT_EQ(w.Geometry(kTxtXml), (Rect{180, 180, 4625, 330}));
  EXPECT_EQ(w.Geometry(kCmdBrowseXsl), (Rect{10120, 180, 330, 330}));
  EXPECT_EQ(w.Geometry(kCmdApplyXsl), (Rect{10540, 180, 1280, 330}));
  EXPECT_EQ(w.Geometry(kWbr), (Rect{180, 600, 11640, 8220}));
}

// A width no whole number can hold is an overflow, reported like any other
// error, rather than an undefined conversion.
TEST(Layout, WidthBeyondAnyWholeNumberIsReportedAndMovesNothing) {
  Window w(1e12f, 5850);
  w.LayOut();
  ASSERT_EQ(w.h.Reports(), 1u);
  EXPECT_NE(w.h.box.shown[0].prompt.find("'6'"), std::string::npos);
  for (int i = 0; i < kControls; ++i) EXPECT_EQ(w.Base(i).moves, 0) << kNames[i];
}

struct OtherErrorCase {
  const char* name;
  Control failing;
  std::int32_t number;
};
void PrintTo(const OtherErrorCase& c, std::ostream* os) { *os << c.name; }

// Anything but a refused move is reported once and ends the layout: the
// controls after the failing one are not moved.
class LayoutOtherError : public ::testing::TestWithParam<OtherErrorCase> {};

TEST_P(LayoutOtherError, IsReportedOnceAndEndsTheLayout) {
  const OtherErrorCase& c = GetParam();
  Window w(8880, 5850);
  w.Base(c.failing).adjust = [number = c.number](float) -> float {
    throw RuntimeError(number, "failed");
  };
  w.LayOut();
  ASSERT_EQ(w.h.Reports(), 1u);
  EXPECT_NE(w.h.box.shown[0].prompt.find("'" + std::to_string(c.number) + "'"),
            std::string::npos)
      << w.h.box.shown[0].prompt;
  for (int i = 0; i < kControls; ++i) {
    EXPECT_EQ(w.Base(i).moves, i <= c.failing ? 1 : 0) << kNames[i];
  }
}

INSTANTIATE_TEST_SUITE_P(
    Layout, LayoutOtherError,
    ::testing::Values(OtherErrorCase{"ObjectVariableNotSetOnXmlButton", kCmdBrowseXml,
                                     err::kObjectVariableNotSet},
                      OtherErrorCase{"DialogCancelNumberIsNoExceptionHere", kTxtXml,
                                     err::kCancelError},
                      OtherErrorCase{"OnTheBrowser", kWbr, err::kInternalError}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace xmlpellor::test
