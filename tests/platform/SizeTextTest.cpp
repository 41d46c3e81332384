#include <gtest/gtest.h>

#include "platform/SizeText.h"

namespace xmlpellor::test {
namespace {

struct SizeCase {
  const char* name;
  std::uint64_t part;  // for SizeOfText only
  std::uint64_t bytes;
  const char* shown;
  const char* shownAsPart;  // SizeOfText(part, bytes)
};

class Sizes : public ::testing::TestWithParam<SizeCase> {};

TEST_P(Sizes, ReadAsAUserReadsThem) {
  const SizeCase& c = GetParam();
  EXPECT_EQ(SizeText(c.bytes), c.shown);
  EXPECT_EQ(SizeOfText(c.part, c.bytes), c.shownAsPart);
}

constexpr std::uint64_t kKiB = 1024, kMiB = kKiB << 10, kGiB = kMiB << 10;

INSTANTIATE_TEST_SUITE_P(
    Cases, Sizes,
    ::testing::Values(
        SizeCase{"nothing", 0, 0, "0 bytes", "0.0 of 0.0 kB"},
        SizeCase{"one_byte", 0, 1, "1 byte", "0.0 of 0.0 kB"},
        SizeCase{"bytes", 100, 100, "100 bytes", "0.1 of 0.1 kB"},
        SizeCase{"a_whole_unit", 512, kKiB, "1 kB", "0.5 of 1.0 kB"},
        SizeCase{"a_fraction", 0, kKiB + kKiB / 2, "1.5 kB", "0.0 of 1.5 kB"},
        SizeCase{"ten_and_more_without_a_decimal", kMiB, 10 * kMiB + kMiB / 3, "10 MB",
                 "1.0 of 10.3 MB"},
        // Rounded up to the next unit's 1, never to 1024 of this one.
        SizeCase{"just_below_the_next_unit", kMiB - 1, kMiB - 1, "1 MB", "1024.0 of 1024.0 kB"},
        SizeCase{"the_channel_budget", 0, 128 * kKiB - 4096, "124 kB", "0.0 of 124.0 kB"},
        SizeCase{"the_default_output_limit", kGiB / 2, kGiB, "1 GB", "0.5 of 1.0 GB"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace xmlpellor::test
