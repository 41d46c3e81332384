#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/Fakes.h"
#include "transform/Transform.h"

namespace xmlpellor::test {
namespace {

using transform::ParseError;
using transform::XMLError;

struct XmlErrorCase {
  const char* name;
  ParseError error;
  std::string doc;
  std::string expected;
};

class XmlErrorText : public ::testing::TestWithParam<XmlErrorCase> {};

TEST_P(XmlErrorText, IsBuiltFromLineLocationAndReason) {
  const XmlErrorCase& c = GetParam();
  ReportHarness h;
  const Variant result = XMLError(h.errors, c.error, c.doc);
  EXPECT_EQ(h.Reports(), 0u);
  EXPECT_EQ(std::get<std::string>(result), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XmlErrorText,
    ::testing::Values(
        XmlErrorCase{"line_12", {12, "Premature end of data"}, "/data/a.xml",
                     "Error in line 12 of /data/a.xml<br />Premature end of data"},
        XmlErrorCase{"line_0", {0, "cannot open"}, "b.xml", "Error in line 0 of b.xml<br />cannot open"},
        XmlErrorCase{"negative_line", {-3, "odd"}, "c.xml", "Error in line -3 of c.xml<br />odd"},
        XmlErrorCase{"spaces_backslashes_non_ascii", {7, "r"}, "C:\\My Files\\Übersicht ß.xml",
                     "Error in line 7 of C:\\My Files\\Übersicht ß.xml<br />r"},
        XmlErrorCase{"reason_ends_with_line_break", {2, "bad\r\n"}, "d.xml",
                     "Error in line 2 of d.xml<br />bad\r\n"},
        // Markup in either part is escaped, and nothing else.
        XmlErrorCase{"markup_escaped", {4, "expected '>' & \"<b>\""}, "/data/R&D/<draft>.xml",
                     "Error in line 4 of /data/R&amp;D/&lt;draft&gt;.xml<br />expected '&gt;' "
                     "&amp; \"&lt;b&gt;\""},
        XmlErrorCase{"script_cannot_inject", {1, "x"}, "<script>alert(1)</script>.xml",
                     "Error in line 1 of &lt;script&gt;alert(1)&lt;/script&gt;.xml<br />x"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(XmlErrorText, ALineBeyond32BitsIsReportedAndTheResultIsEmpty) {
  ReportHarness h;
  const Variant result = XMLError(h.errors, {std::int64_t{1} << 40, "r"}, "e.xml");
  EXPECT_TRUE(IsEmpty(result));
  ASSERT_EQ(h.Reports(), 1u);
  EXPECT_THAT(h.box.shown[0].prompt, ::testing::HasSubstr("Run-time error '6'"));
}

}  // namespace
}  // namespace xmlpellor::test
