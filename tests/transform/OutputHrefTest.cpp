#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/xml/OutputDocuments.h"

namespace xmlpellor::test {
namespace {

struct HrefCase {
  const char* name;
  const char* href;
  const char* from;      // the file being written; "" for the main output
  const char* expected;  // null: refused
};

// The plain rows (relative, subfolder, absolute, file:, http:) run through
// the engine's process in the reliability tests; these are the corners.
class OutputHref : public ::testing::TestWithParam<HrefCase> {};

TEST_P(OutputHref, LandsInTheOutputFolderOrIsRefused) {
  const HrefCase& c = GetParam();
  const std::optional<std::string> path = xml::ResolveOutputHref(c.href, c.from);
  if (c.expected == nullptr) {
    EXPECT_FALSE(path) << *path;
    return;
  }
  ASSERT_TRUE(path);
  EXPECT_EQ(*path, c.expected);
  // The window checks every path the engine names by the other rule.
  EXPECT_TRUE(xml::IsOutputPath(*path));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, OutputHref,
    ::testing::Values(
        HrefCase{"dot_segments", "./parts/../ch1.html", "", "ch1.html"},
        HrefCase{"beside_a_nested_file", "ch2.html", "parts/ch1.html", "parts/ch2.html"},
        HrefCase{"up_from_a_nested_file", "../index.html", "parts/ch1.html", "index.html"},
        HrefCase{"escapes_decoded", "my%20page.html", "", "my page.html"},
        HrefCase{"doubled_slash", "a//b.html", "", "a/b.html"},
        HrefCase{"above_the_folder", "../x.html", "", nullptr},
        HrefCase{"above_through_a_subfolder", "a/../../x.html", "", nullptr},
        HrefCase{"escaped_dots_above", "%2e%2e/x.html", "", nullptr},
        HrefCase{"escaped_slash", "a%2fb.html", "", nullptr},
        HrefCase{"network_path", "//host/x.html", "", nullptr},
        HrefCase{"a_folder", "parts/", "", nullptr},
        HrefCase{"the_folder_itself", ".", "", nullptr}, HrefCase{"empty", "", "", nullptr},
        HrefCase{"nul_escape", "a%00.html", "", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OutputHref, TooLongIsRefused) {
  const std::string name(xml::kMaxOutputPath + 1, 'a');
  EXPECT_FALSE(xml::ResolveOutputHref(name, ""));
  EXPECT_FALSE(xml::IsOutputPath(name));
}

}  // namespace
}  // namespace xmlpellor::test
