#include "main_window/Layout.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "error_handling/ProcedureTrap.h"
#include "platform/RuntimeError.h"
#include "platform/Window.h"

namespace xmlpellor {
namespace {

// The fixed amounts of the layout, in twips. The row reads, left to right:
//   kMargin, txtXml, kGap, cmdBrowseXml, kMargin, txtXsl, kGap, cmdBrowseXsl,
//   kGap, cmdApplyXsl, kMargin
// and the browser sits kGap below the row, kMargin from the other three edges.
constexpr float kMargin = 180;     // outer margin, and between the XML "..." and txtXsl
constexpr float kGap = 90;         // box to its "...", "..." to Apply, row to browser
constexpr float kRowHeight = 330;  // every row control; also the square "..." width
constexpr float kButtonSide = kRowHeight;
constexpr float kApplyWidth = 1280;
// Everything in the row that is not a path box: what the two boxes share is
// ScaleWidth minus this.
constexpr float kFixedRowWidth =
    kApplyWidth + kMargin + kMargin + kGap + kGap + kButtonSide + kButtonSide + kMargin + kGap;
static_assert(kFixedRowWidth == 2750);

// The only integer step of the layout: the free width is rounded to the
// nearest whole twip, a half to the even neighbour, and then halved with the
// remainder dropped toward zero. A negative result is passed on as it is, so
// the window refuses the move (error 5) rather than the layout guessing.
float PathBoxWidth(float scaleWidth) {
  const double free = static_cast<double>(scaleWidth) - kFixedRowWidth;
  // A width no integer can hold is the same overflow the classic runtime
  // raises for it, and keeps the conversion below well defined.
  if (!std::isfinite(free) || std::fabs(free) > std::numeric_limits<std::int32_t>::max()) {
    throw RuntimeError(err::kOverflow, "Overflow");
  }
  double rounded = std::floor(free);
  const double fraction = free - rounded;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(rounded, 2.0) != 0.0)) rounded += 1.0;
  return static_cast<float>(static_cast<std::int64_t>(rounded) / 2);
}

}  // namespace

void LayOutMainWindow(ErrorHandling& errors, const IForm& form, ITextBox& txtXml,
                      ICommandButton& cmdBrowseXml, ITextBox& txtXsl, ICommandButton& cmdBrowseXsl,
                      ICommandButton& cmdApplyXsl, IBrowser& wbr) noexcept {
  // A control too small to be placed refuses its move with error 5; that
  // step is skipped without a word and the next control is placed from what
  // the earlier ones report back, which is also what the window system made
  // of them (pixel rounding, say) rather than what was asked for.
  ProcedureTrap trap(errors, PassOver::ResumeNextOn(err::kInvalidProcedureCall));

  trap.Step([&] { txtXml.Move(kMargin, kMargin, PathBoxWidth(form.ScaleWidth()), kRowHeight); });
  trap.Step([&] {
    cmdBrowseXml.Move(txtXml.Left() + txtXml.Width() + kGap, kMargin, kButtonSide, kButtonSide);
  });
  trap.Step([&] {
    // The width is copied from txtXml, so the two boxes stay equal even when
    // txtXml's own move was refused.
    txtXsl.Move(cmdBrowseXml.Left() + cmdBrowseXml.Width() + kMargin, kMargin, txtXml.Width(),
                kRowHeight);
  });
  trap.Step([&] {
    cmdBrowseXsl.Move(txtXsl.Left() + txtXsl.Width() + kGap, kMargin, kButtonSide, kButtonSide);
  });
  trap.Step([&] {
    // Held against the right edge whatever the boxes got; in a narrow window
    // it may overlap them or start left of the window.
    cmdApplyXsl.Move(form.ScaleWidth() - kApplyWidth - kMargin, kMargin, kApplyWidth, kRowHeight);
  });
  trap.Step([&] {
    const float browserTop = txtXml.Top() + txtXml.Height() + kGap;
    wbr.Move(kMargin, browserTop, form.ScaleWidth() - 2 * kMargin,
             form.ScaleHeight() - browserTop - kMargin);
  });
}

}  // namespace xmlpellor
