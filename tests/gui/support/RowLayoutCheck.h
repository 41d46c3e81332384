#pragma once

#include <array>
#include <optional>

#include <QString>

#include "platform/Window.h"

class QWidget;

namespace xmlpellor::test {

struct TwipsRect {
  double left, top, width, height;
};

// txtXml, cmdBrowseXml, txtXsl, cmdBrowseXsl, cmdApplyXsl, wbr.
inline constexpr int kLaidOutControls = 6;
using MainWindowPlaces = std::array<TwipsRect, kLaidOutControls>;

// Where the main window's six controls belong at an inner size in twips,
// worked out here on its own rather than by the program's layout code, so a
// GUI test has an independent measure. Empty when the size is so small that
// some move would be refused (the row needs 2750 wide, the browser 780 high):
// what those controls show then depends on their history.
std::optional<MainWindowPlaces> ExpectedMainWindowPlaces(double scaleWidth, double scaleHeight);

// How far, in pixels, a control may lie from its place in twips when the
// window system keeps whole pixels. The layout places each control from the
// rounded edge of the one before, so only the path-box width's rounding
// carries along the row, and it counts twice before cmdBrowseXsl (once in
// txtXsl's left, once in its copied width): at most 2 x 0.5 px when values
// are rounded to the nearest pixel, up to 2 px when they are cut down.
inline constexpr double kNearestPixelTolerance = 1.0;
inline constexpr double kTruncatedPixelTolerance = 2.0;

// Checks a widget's geometry within its parent, in pixels, against a place
// in twips. Returns what differs, or an empty string.
QString CompareWithinPixels(const QWidget& widget, const TwipsRect& expected,
                            double tolerancePx = kNearestPixelTolerance,
                            double twipsPerPixel = kTwipsPerPixel);

// All six at once against the inner size of `inner` (the widget the controls
// sit on). Returns every difference found, one a line, or an empty string.
QString CheckMainWindowPlaces(const QWidget& inner,
                              const std::array<const QWidget*, kLaidOutControls>& controls,
                              double tolerancePx = kNearestPixelTolerance,
                              double twipsPerPixel = kTwipsPerPixel);

}  // namespace xmlpellor::test
