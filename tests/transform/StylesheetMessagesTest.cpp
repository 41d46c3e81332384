#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/Fakes.h"
#include "support/TempDir.h"
#include "transform/Transform.h"

namespace xmlpellor::test {
namespace {

using ::testing::HasSubstr;

struct MessagesCase {
  const char* name;
  const char* templates;  // the stylesheet's body
  const char* stderrText;  // exactly, or, after a '~', a part of it
  bool succeeds;
};

class StylesheetMessages : public ::testing::TestWithParam<MessagesCase> {};

TEST_P(StylesheetMessages, GoToStandardErrorAsTheyCome) {
  const MessagesCase& c = GetParam();
  TempDir dir;
  dir.Write("a.xml", "<r><i>1</i><i>2</i></r>");
  dir.Write("s.xsl", std::string("<xsl:stylesheet version='1.0' "
                                 "xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>") +
                         c.templates + "</xsl:stylesheet>");
  ReportHarness h;
  ::testing::internal::CaptureStderr();
  const Variant result = transform::CreateHTMLFromXMLXSL(h.errors, h.worker, h.engine, dir.File("a.xml"), dir.File("s.xsl"), {});
  const std::string printed = ::testing::internal::GetCapturedStderr();

  EXPECT_EQ(h.Reports(), c.succeeds ? 0u : 1u);
  if (c.stderrText[0] == '~') {
    EXPECT_THAT(printed, HasSubstr(c.stderrText + 1));
    EXPECT_EQ(printed.back(), '\n');
  } else {
    EXPECT_EQ(printed, c.stderrText);
  }
  // Nothing else changes: the messages are not part of the result.
  if (c.succeeds) {
    EXPECT_EQ(ToString(result).find("item"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StylesheetMessages,
    ::testing::Values(
        MessagesCase{"none", "<xsl:template match='/'><p/></xsl:template>", "", true},
        MessagesCase{"one_line_each_in_order",
                     "<xsl:template match='/'><xsl:for-each select='r/i'><xsl:message>item <xsl:value-of select='.'/></xsl:message></xsl:for-each>"
                     "<xsl:message>two&#10;lines</xsl:message><p/></xsl:template>",
                     "item 1\nitem 2\ntwo\nlines\n", true},
        // More than the error report keeps: every one is printed.
        MessagesCase{"many",
                     "<xsl:template match='/'><xsl:call-template name='n'/></xsl:template>"
                     "<xsl:template name='n'><xsl:param name='k' select='1'/><xsl:message>m<xsl:value-of select='$k'/></xsl:message>"
                     "<xsl:if test='$k &lt; 300'><xsl:call-template name='n'><xsl:with-param name='k' select='$k + 1'/></xsl:call-template></xsl:if></xsl:template>",
                     "~\nm299\nm300\n", true},
        MessagesCase{"a_library_warning",
                     "<xsl:template match='/'><p><xsl:copy-of select=\"document('not-there.xml')\"/></p></xsl:template>",
                     "~not-there.xml", true},
        // A carriage return and C1 controls would rewrite the user's terminal.
        MessagesCase{"controls_made_visible",
                     "<xsl:template match='/'><xsl:message>safe&#13;evil &#x9B;31m&#x9D;0;title&#x9C;</xsl:message><p/></xsl:template>",
                     "safe^Mevil <U+009B>31m<U+009D>0;title<U+009C>\n", true},
        // Also in a run that fails later: they come as they are said.
        MessagesCase{"terminate",
                     "<xsl:template match='/'><xsl:message>before</xsl:message><xsl:message terminate='yes'>stop</xsl:message></xsl:template>",
                     "~before\nstop\n", false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace xmlpellor::test
