#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "support/Fakes.h"
#include "support/TempDir.h"
#include "transform/Transform.h"

namespace xmlpellor::test {
namespace {

// What xsltproc writes to its standard output for the same pair.
std::string XsltprocOutput(const std::string& xsl, const std::string& xml) {
  const std::string command = "xsltproc --novalid '" + xsl + "' '" + xml + "' 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), &::pclose);
  if (!pipe) return "(xsltproc did not start)";
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) {
    out.append(buffer, n);
  }
  return out;
}

struct EncodingCase {
  const char* name;
  const char* output;  // the xsl:output element
  const char* body;    // the template for the root
  const char* encoding;
};

class OutputEncoding : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(OutputEncoding, IsTheBytesXsltprocWrites) {
  const EncodingCase& c = GetParam();
  TempDir dir;
  // Latin-1, Greek, CJK and a character outside the Basic Multilingual Plane,
  // in an attribute and in text, so each escaping path meets each of them.
  dir.Write("in.xml",
            "<w>Gr\xC3\xB6\xC3\x9F"
            "e \xCE\x9E \xE5\xA4\xA9 \xF0\x9F\x9A\x80 &amp; &lt;</w>");
  dir.Write("style.xsl", std::string("<xsl:stylesheet version='1.0' "
                                     "xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>") +
                             c.output + "<xsl:template match='/'>" + c.body +
                             "</xsl:template></xsl:stylesheet>");
  ReportHarness h;
  transform::OutputFormat format;
  const Variant result = transform::CreateHTMLFromXMLXSL(
      h.errors, h.worker, h.engine, dir.File("in.xml"), dir.File("style.xsl"), {}, &format);
  ASSERT_EQ(h.Reports(), 0u) << h.box.shown[0].prompt;
  const std::string expected = XsltprocOutput(dir.File("style.xsl"), dir.File("in.xml"));
  EXPECT_EQ(std::get<std::string>(result), expected);
  EXPECT_EQ(format.encoding, c.encoding);
}

constexpr const char* kHtmlBody =
    "<html><body><p title='{w}'><xsl:value-of select='w'/></p></body></html>";
constexpr const char* kXmlBody = "<r a='{w}'><xsl:value-of select='w'/></r>";
constexpr const char* kTextBody = "<xsl:value-of select='w'/>";

INSTANTIATE_TEST_SUITE_P(
    Encodings, OutputEncoding,
    ::testing::Values(
        EncodingCase{"html_undeclared", "<xsl:output method='html'/>", kHtmlBody, "UTF-8"},
        EncodingCase{"html_utf8", "<xsl:output method='html' encoding='UTF-8'/>", kHtmlBody,
                     "UTF-8"},
        EncodingCase{"html_latin1", "<xsl:output method='html' encoding='ISO-8859-1'/>", kHtmlBody,
                     "ISO-8859-1"},
        EncodingCase{"html_ascii", "<xsl:output method='html' encoding='US-ASCII'/>", kHtmlBody,
                     "US-ASCII"},
        EncodingCase{"html_utf16", "<xsl:output method='html' encoding='UTF-16'/>", kHtmlBody,
                     "UTF-16"},
        EncodingCase{"xml_undeclared", "<xsl:output method='xml'/>", kXmlBody, "UTF-8"},
        EncodingCase{"xml_latin1", "<xsl:output method='xml' encoding='ISO-8859-1'/>", kXmlBody,
                     "ISO-8859-1"},
        EncodingCase{"xml_latin1_lower_case", "<xsl:output encoding='iso-8859-1'/>", kXmlBody,
                     "ISO-8859-1"},
        EncodingCase{"xml_ascii", "<xsl:output method='xml' encoding='US-ASCII'/>", kXmlBody,
                     "US-ASCII"},
        EncodingCase{"xml_utf16", "<xsl:output method='xml' encoding='UTF-16'/>", kXmlBody,
                     "UTF-16"},
        EncodingCase{"xml_unknown_encoding", "<xsl:output method='xml' encoding='x-no-such'/>",
                     kXmlBody, "UTF-8"},
        EncodingCase{"text_latin1", "<xsl:output method='text' encoding='ISO-8859-1'/>", kTextBody,
                     "ISO-8859-1"},
        EncodingCase{"text_utf8", "<xsl:output method='text'/>", kTextBody, "UTF-8"},
        EncodingCase{"empty_result", "<xsl:output method='xml' encoding='ISO-8859-1'/>", "",
                     "ISO-8859-1"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace xmlpellor::test
