#include "platform/qt/form/QtControl.h"

#include <algorithm>
#include <cmath>

#include "platform/RuntimeError.h"

namespace xmlpellor {

float ToTwips(int pixels) noexcept {
  return static_cast<float>(pixels) * kTwipsPerPixel;
}

int ToPixels(float twips) noexcept {
  // Qt refuses sizes beyond QWIDGETSIZE_MAX anyway; clamping first keeps the
  // conversion to int defined for any float.
  const float limit = static_cast<float>(QWIDGETSIZE_MAX);
  const float pixels = std::clamp(std::nearbyint(twips / kTwipsPerPixel), -limit, limit);
  return static_cast<int>(pixels);
}

void MoveInTwips(QWidget& widget, float left, float top, float width, float height) {
  const bool finite =
      std::isfinite(left) && std::isfinite(top) && std::isfinite(width) && std::isfinite(height);
  if (!finite || width < 0 || height < 0) {
    throw RuntimeError(err::kInvalidProcedureCall, "Invalid procedure call or argument");
  }
  widget.setGeometry(ToPixels(left), ToPixels(top), ToPixels(width), ToPixels(height));
}

}  // namespace xmlpellor
