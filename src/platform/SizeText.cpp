#include "platform/SizeText.h"

#include <cmath>
#include <cstdio>

namespace xmlpellor {

namespace {

constexpr const char* kUnits[] = {"bytes", "kB", "MB", "GB", "TB"};
constexpr int kLargestUnit = 4;

// The unit `bytes` is best read in, at least `smallest`.
int UnitOf(std::uint64_t bytes, int smallest) {
  int unit = smallest;
  while (unit < kLargestUnit && static_cast<double>(bytes) >= std::ldexp(1.0, 10 * (unit + 1))) {
    ++unit;
  }
  return unit;
}

double In(std::uint64_t bytes, int unit) {
  return static_cast<double>(bytes) / std::ldexp(1.0, 10 * unit);
}

}  // namespace

std::string SizeText(std::uint64_t bytes) {
  if (bytes == 1) return "1 byte";
  int unit = UnitOf(bytes, 0);
  double value = In(bytes, unit);
  char text[32];
  if (unit == 0 || value >= 10 || value == std::floor(value)) {
    // 1023.6 kB is read as 1 MB, not as 1024 kB.
    if (std::round(value) >= 1024 && unit < kLargestUnit) {
      value = 1;
      ++unit;
    }
    std::snprintf(text, sizeof text, "%.0f %s", value, kUnits[unit]);
  } else {
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  }
  return text;
}

std::string SizeOfText(std::uint64_t part, std::uint64_t whole) {
  const int unit = UnitOf(whole, 1);
  char text[64];
  std::snprintf(text, sizeof text, "%.1f of %.1f %s", In(part, unit), In(whole, unit),
                kUnits[unit]);
  return text;
}

}  // namespace xmlpellor
