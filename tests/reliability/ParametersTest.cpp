// Global parameters as xsltproc sets them, through the window's program and
// the real XSLT engine's process: declared with select or with content, in
// an included or an imported stylesheet, not declared at all, as text or as
// an XPath expression.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

#include "Tool.h"

namespace xmlpellor::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using Parameters = std::vector<xml::GlobalParameter>;

constexpr const char* kXslt = "xmlns:xsl='http://www.w3.org/1999/XSL/Transform'";

struct ParameterCase {
  const char* name;
  Parameters given;
  const char* output;  // null: the Apply is reported
  const char* said;    // a part of the one line on stderr; null: none
};

class GlobalParameters : public ::testing::TestWithParam<ParameterCase> {};

TEST_P(GlobalParameters, ReachTheStylesheetAsXsltprocGivesThem) {
  const ParameterCase& c = GetParam();
  TempDir job;
  job.Write("doc.xml", "<r><i/><i/></r>");
  job.Write("main.xsl", std::string("<xsl:stylesheet version='1.0' ") + kXslt +
                            "><xsl:import href='imp.xsl'/><xsl:include href='inc.xsl'/>"
                            "<xsl:output method='text'/>"
                            "<xsl:param name='sel' select=\"'default-sel'\"/>"
                            "<xsl:param name='content'>default-content</xsl:param>"
                            "<xsl:template match='/'>sel=<xsl:value-of select='$sel'/>"
                            ";content=<xsl:value-of select='$content'/>"
                            ";inc=<xsl:value-of select='$inc'/>"
                            ";imp=<xsl:value-of select='$imp'/></xsl:template></xsl:stylesheet>");
  job.Write("inc.xsl", std::string("<xsl:stylesheet version='1.0' ") + kXslt +
                           "><xsl:param name='inc' select=\"'default-inc'\"/></xsl:stylesheet>");
  job.Write("imp.xsl", std::string("<xsl:stylesheet version='1.0' ") + kXslt +
                           "><xsl:param name='imp'>default-imp</xsl:param></xsl:stylesheet>");
  PrivateTmp tmp;
  Tool tool;
  tool.frm.SetParameters(c.given);

  testing::internal::CaptureStderr();
  tool.Apply(job.File("doc.xml"), job.File("main.xsl"));
  const std::string stderrText = testing::internal::GetCapturedStderr();

  if (c.output == nullptr) {
    EXPECT_EQ(tool.Reports(), 1u);
    EXPECT_THAT(tool.LastReport(), HasSubstr("sel"));
  } else {
    ASSERT_EQ(tool.Reports(), 0u) << tool.LastReport();
    EXPECT_EQ(tool.Output(), c.output);
  }
  if (c.said != nullptr) {
    EXPECT_THAT(stderrText, HasSubstr(c.said));
    EXPECT_EQ(std::count(stderrText.begin(), stderrText.end(), '\n'), 1) << stderrText;
  } else if (c.output != nullptr) {
    EXPECT_EQ(stderrText, "");
  }
}

const char* const kDefaults = "sel=default-sel;content=default-content;inc=default-inc;imp=default-imp";

INSTANTIATE_TEST_SUITE_P(
    Cases, GlobalParameters,
    ::testing::Values(
        ParameterCase{"none", {}, kDefaults, nullptr},
        ParameterCase{"declared_with_select", {{"sel", "given"}},
                      "sel=given;content=default-content;inc=default-inc;imp=default-imp", nullptr},
        ParameterCase{"declared_with_content", {{"content", "given"}},
                      "sel=default-sel;content=given;inc=default-inc;imp=default-imp", nullptr},
        ParameterCase{"in_an_included_file", {{"inc", "1"}},
                      "sel=default-sel;content=default-content;inc=1;imp=default-imp", nullptr},
        ParameterCase{"in_an_imported_file", {{"imp", "given"}},
                      "sel=default-sel;content=default-content;inc=default-inc;imp=given", nullptr},
        ParameterCase{"all_at_once", {{"imp", "4"}, {"inc", "3"}, {"content", "2"}, {"sel", "1"}},
                      "sel=1;content=2;inc=3;imp=4", nullptr},
        ParameterCase{"undeclared_is_ignored_in_one_line", {{"nope", "x"}, {"sel", "kept"}},
                      "sel=kept;content=default-content;inc=default-inc;imp=default-imp",
                      "declares no global parameter 'nope'"},
        ParameterCase{"both_quote_kinds", {{"sel", "It's \"so\" ''"}},
                      "sel=It's \"so\" '';content=default-content;inc=default-inc;imp=default-imp",
                      nullptr},
        // Text is text, never read as an expression or as markup.
        ParameterCase{"text_that_looks_like_more", {{"sel", "count(//i) <b>&amp;"}},
                      "sel=count(//i) <b>&amp;;content=default-content;inc=default-inc;imp=default-imp",
                      nullptr},
        ParameterCase{"empty_text", {{"content", ""}},
                      "sel=default-sel;content=;inc=default-inc;imp=default-imp", nullptr},
        ParameterCase{"xpath_on_the_document", {{"sel", "count(/r/i) * 2", true}},
                      "sel=4;content=default-content;inc=default-inc;imp=default-imp", nullptr},
        ParameterCase{"xpath_string_literal", {{"imp", "'lit'", true}},
                      "sel=default-sel;content=default-content;inc=default-inc;imp=lit", nullptr},
        ParameterCase{"xpath_that_does_not_parse", {{"sel", "((", true}}, nullptr, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// A DocBook 4.5 book with the standard DOCTYPE, as Debian's packages give
// it: the DTD by its public id through the system catalog, its entity files
// by way of the link into /etc/sgml, and a customisation of docbook-xsl that
// asks for ISO-8859-1. docbook-xsl declares its parameters in files it
// includes, most with select: the road xsltproc's users take to number
// sections must reach them. The page's file, which Ctrl+S copies, holds
// xsltproc's bytes for the same parameters.
struct DocBookCase {
  const char* name;
  Parameters given;
  const char* title;  // the section's title as the page gives it
};

void PrintTo(const DocBookCase& c, std::ostream* os) {
  *os << c.name;
}

class DocBook : public ::testing::TestWithParam<DocBookCase> {};

TEST_P(DocBook, GivesXsltprocsBytesWithItsOwnParameters) {
  const DocBookCase& c = GetParam();
  const std::string docbook = "/usr/share/xml/docbook/stylesheet/docbook-xsl/html/docbook.xsl";
  if (::access(docbook.c_str(), R_OK) != 0 || ::access("/etc/sgml", R_OK) != 0 ||
      std::system("command -v xsltproc >/dev/null") != 0) {
    GTEST_SKIP() << "docbook-xml, docbook-xsl or xsltproc is not installed";
  }
  TempDir job;
  job.Write("book.xml",
            "<?xml version='1.0'?>\n"
            "<!DOCTYPE article PUBLIC \"-//OASIS//DTD DocBook XML V4.5//EN\"\n"
            "  \"http://www.oasis-open.org/docbook/xml/4.5/docbookx.dtd\">\n"
            "<article><title>Caf&eacute; &amp; Cr&egrave;me</title><section>"
            "<title>Setting out</title><para>Na&iuml;ve &mdash; &copy; us.</para></section>"
            "</article>\n");
  job.Write("iso.xsl", std::string("<xsl:stylesheet version='1.0' ") + kXslt +
                           "><xsl:import href='file://" + docbook +
                           "'/><xsl:output method='html' encoding='ISO-8859-1'/>"
                           "</xsl:stylesheet>");
  std::string command = "xsltproc --nonet";
  for (const xml::GlobalParameter& p : c.given) {
    command += " --stringparam " + p.name + " " + p.value;
  }
  command += " '" + job.File("iso.xsl") + "' '" + job.File("book.xml") + "' > '" +
             job.File("xsltproc.html") + "' 2>/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  PrivateTmp tmp;
  Tool tool;
  tool.frm.SetParameters(c.given);
  testing::internal::CaptureStderr();
  tool.Apply(job.File("book.xml"), job.File("iso.xsl"));
  const std::string said = testing::internal::GetCapturedStderr();
  ASSERT_EQ(tool.Reports(), 0u) << tool.LastReport();
  const std::string expected = job.Read("xsltproc.html");
  EXPECT_THAT(expected, HasSubstr("Caf\xE9 &amp; Cr\xE8me"));
  EXPECT_THAT(expected, HasSubstr(c.title));
  EXPECT_TRUE(tool.Output() == expected) << tool.Output();
  EXPECT_THAT(said, Not(HasSubstr("declares no global parameter")));
}

INSTANTIATE_TEST_SUITE_P(
    Debian, DocBook,
    ::testing::Values(DocBookCase{"default", {}, "</a>Setting out</h2>"},
                      DocBookCase{"section_autolabel", {{"section.autolabel", "1"}},
                                  // ISO-8859-1's no-break space.
                                  "</a>1.\xA0Setting out</h2>"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace xmlpellor::test
