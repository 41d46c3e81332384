#include "support/RowLayoutCheck.h"

#include <cmath>

#include <QRect>
#include <QStringList>
#include <QWidget>

namespace xmlpellor::test {
namespace {

constexpr const char* kControlNames[kLaidOutControls] = {
    "txtXml", "cmdBrowseXml", "txtXsl", "cmdBrowseXsl", "cmdApplyXsl", "wbr"};

}  // namespace

std::optional<MainWindowPlaces> ExpectedMainWindowPlaces(double scaleWidth, double scaleHeight) {
  // Read left to right: 180 | box | 90 | 330 | 180 | box | 90 | 330 | 90 | 1280 | 180,
  // the browser 90 below the 330-high row that starts 180 down, 180 from the
  // other edges. The two boxes share the rest, rounded half to even and
  // halved toward zero.
  const double box = std::trunc(std::nearbyint(scaleWidth - 2750) / 2);
  const double browserTop = 180 + 330 + 90;
  const double browserWidth = scaleWidth - 360;
  const double browserHeight = scaleHeight - browserTop - 180;
  if (box < 0 || browserWidth < 0 || browserHeight < 0) return std::nullopt;

  const double xmlButton = 180 + box + 90;
  const double xslBox = xmlButton + 330 + 180;
  const double xslButton = xslBox + box + 90;
  return MainWindowPlaces{{{180, 180, box, 330},
                           {xmlButton, 180, 330, 330},
                           {xslBox, 180, box, 330},
                           {xslButton, 180, 330, 330},
                           {scaleWidth - 1460, 180, 1280, 330},
                           {180, browserTop, browserWidth, browserHeight}}};
}

QString CompareWithinPixels(const QWidget& widget, const TwipsRect& expected,
                            double tolerancePx, double twipsPerPixel) {
  const QRect actual = widget.geometry();
  const double want[4] = {expected.left / twipsPerPixel, expected.top / twipsPerPixel,
                          expected.width / twipsPerPixel, expected.height / twipsPerPixel};
  const int got[4] = {actual.x(), actual.y(), actual.width(), actual.height()};
  for (int i = 0; i < 4; ++i) {
    if (std::fabs(got[i] - want[i]) > tolerancePx) {
      return QStringLiteral("at (%1, %2, %3 x %4) px, expected (%5, %6, %7 x %8) px")
          .arg(got[0]).arg(got[1]).arg(got[2]).arg(got[3])
          .arg(want[0], 0, 'f', 1).arg(want[1], 0, 'f', 1)
          .arg(want[2], 0, 'f', 1).arg(want[3], 0, 'f', 1);
    }
  }
  return {};
}

QString CheckMainWindowPlaces(const QWidget& inner,
                              const std::array<const QWidget*, kLaidOutControls>& controls,
                              double tolerancePx, double twipsPerPixel) {
  const auto places = ExpectedMainWindowPlaces(inner.width() * twipsPerPixel,
                                               inner.height() * twipsPerPixel);
  if (!places) {
    return QStringLiteral("inner area %1 x %2 px is too small to lay out every control")
        .arg(inner.width()).arg(inner.height());
  }
  QStringList problems;
  for (int i = 0; i < kLaidOutControls; ++i) {
    if (!controls[i]) {
      problems << QStringLiteral("%1: missing").arg(kControlNames[i]);
      continue;
    }
    const QString problem = CompareWithinPixels(*controls[i], (*places)[i], tolerancePx, twipsPerPixel);
    if (!problem.isEmpty()) problems << QStringLiteral("%1: %2").arg(kControlNames[i], problem);
  }
  return problems.join(QLatin1Char('\n'));
}

}  // namespace xmlpellor::test
