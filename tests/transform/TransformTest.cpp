#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "TestData.h"
#include "support/Fakes.h"
#include "support/TempDir.h"
#include "transform/Transform.h"

namespace xmlpellor::test {
namespace {

using ::testing::HasSubstr;
using transform::CreateHTMLFromXMLXSL;

std::string Text(const Variant& v) { return std::get<std::string>(v); }

// ---------------------------------------------------------------- outputs

struct OutputCase {
  const char* name;
  const char* xml;
  const char* xsl;
  const char* expected;
};

class TransformOutput : public ::testing::TestWithParam<OutputCase> {};

TEST_P(TransformOutput, MatchesTheExpectedTextExactly) {
  const OutputCase& c = GetParam();
  ReportHarness h;
  const Variant result = CreateHTMLFromXMLXSL(h.errors, h.worker, h.engine, DataPath(c.xml), DataPath(c.xsl), {});
  EXPECT_EQ(h.Reports(), 0u) << (h.Reports() ? h.box.shown[0].prompt : "");
  ASSERT_TRUE(std::holds_alternative<std::string>(result));
  EXPECT_EQ(Text(result), ReadFile(DataPath(c.expected)));
}

INSTANTIATE_TEST_SUITE_P(
    Stylesheets, TransformOutput,
    ::testing::Values(
        OutputCase{"sorting", "sorting/books.xml", "sorting/sort.xsl", "sorting/expected.html"},
        OutputCase{"keys_grouping", "keys_grouping/orders.xml", "keys_grouping/group.xsl",
                   "keys_grouping/expected.html"},
        OutputCase{"other_prefix", "other_prefix/orders.xml", "other_prefix/prefix.xsl",
                   "other_prefix/expected.html"},
        OutputCase{"method_text", "method_text/orders.xml", "method_text/text.xsl",
                   "method_text/expected.txt"},
        OutputCase{"method_xml_indent_doctype", "method_xml/orders.xml", "method_xml/xml.xsl",
                   "method_xml/expected.xml"},
        // Asked for ISO-8859-1: ISO-8859-1 bytes, as xsltproc writes them,
        // the characters it lacks as references.
        OutputCase{"latin1_html", "latin1_output/words.xml", "latin1_output/latin1.xsl",
                   "latin1_output/expected.html"},
        OutputCase{"latin1_xml", "latin1_output/words.xml", "latin1_output/latin1_xml.xsl",
                   "latin1_output/expected_xml.xml"},
        OutputCase{"include_and_document_relative", "include_document/items.xml",
                   "include_document/main.xsl", "include_document/expected.html"},
        // Well-formed but breaks its own DTD: transformed, entities and
        // default attributes of the DTD applied.
        OutputCase{"dtd_invalid", "dtd_invalid/invalid.xml", "dtd_invalid/note.xsl",
                   "dtd_invalid/expected.txt"}),
    [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ output kinds

struct KindCase {
  const char* name;
  const char* output;  // the xsl:output element, or nothing
  const char* root;    // the literal result element made for the document
  transform::OutputKind kind;
};

class TransformOutputKind : public ::testing::TestWithParam<KindCase> {};

TEST_P(TransformOutputKind, FollowsTheMethodAndTheRootElement) {
  const KindCase& c = GetParam();
  TempDir dir;
  dir.Write("in.xml", "<doc/>");
  dir.Write("style.xsl", std::string("<xsl:stylesheet version='1.0' "
                                     "xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>") +
                             c.output + "<xsl:template match='/'>" + c.root +
                             "</xsl:template></xsl:stylesheet>");
  ReportHarness h;
  transform::OutputFormat format;
  format.kind = transform::OutputKind::kText;  // whatever was there before goes
  CreateHTMLFromXMLXSL(h.errors, h.worker, h.engine, dir.File("in.xml"), dir.File("style.xsl"), {}, &format);
  EXPECT_EQ(h.Reports(), 0u);
  EXPECT_EQ(format.kind, c.kind);
}

using enum transform::OutputKind;
INSTANTIATE_TEST_SUITE_P(
    Methods, TransformOutputKind,
    ::testing::Values(
        KindCase{"html_root_without_output", "", "<html><p>x</p></html>", kHtml},
        KindCase{"other_root_without_output", "", "<report/>", kXml},
        KindCase{"html", "<xsl:output method='html'/>", "<p>x</p>", kHtml},
        KindCase{"xml", "<xsl:output method='xml'/>", "<p>x</p>", kXml},
        KindCase{"xml_with_html_root_not_xhtml", "<xsl:output method='xml'/>", "<html/>", kXml},
        KindCase{"xml_with_xhtml_root", "<xsl:output method='xml'/>",
                 "<html xmlns='http://www.w3.org/1999/xhtml'><body/></html>", kXhtml},
        KindCase{"xhtml_method", "<xsl:output method='xhtml'/>", "<html><body/></html>", kHtml},
        KindCase{"xhtml_method_and_namespace", "<xsl:output method='xhtml'/>",
                 "<html xmlns='http://www.w3.org/1999/xhtml'/>", kXhtml},
        KindCase{"text", "<xsl:output method='text'/>", "<b>not bold</b>", kText}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TransformOutputKind, ParseErrorTextAndFailuresAreHtml) {
  TempDir dir;
  dir.Write("in.xml", "<doc/>");
  dir.Write("broken.xml", "<doc>");
  dir.Write("text.xsl", "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/"
                        "Transform'><xsl:output method='text'/><xsl:template match='/'>"
                        "<xsl:message terminate='yes'>no</xsl:message></xsl:template>"
                        "</xsl:stylesheet>");
  for (const std::string& xml : {dir.File("broken.xml"), dir.File("in.xml")}) {
    ReportHarness h;
    transform::OutputFormat format;
    format.kind = transform::OutputKind::kText;
    CreateHTMLFromXMLXSL(h.errors, h.worker, h.engine, xml, dir.File("text.xsl"), {}, &format);
    EXPECT_EQ(format.kind, transform::OutputKind::kHtml) << xml;
  }
}

TEST(Transform, AcceptsFileUrls) {
  ReportHarness h;
  const Variant result =
      CreateHTMLFromXMLXSL(h.errors, h.worker, h.engine, "file://" + DataPath("method_text/orders.xml"),
                           "file://localhost" + DataPath("method_text/text.xsl"), {});
  EXPECT_EQ(h.Reports(), 0u);
  EXPECT_EQ(Text(result), ReadFile(DataPath("method_text/expected.txt")));
}

TEST(Transform, NeverWritesTheStylesheetFile) {
  TempDir dir;
  const std::string original = ReadFile(DataPath("params/params.xsl"));
  dir.Write("params.xsl", original);
  ReportHarness h;
  CreateHTMLFromXMLXSL(h.errors, h.worker, h.engine, DataPath("params/doc.xml"), dir.File("params.xsl"),
                       StringArray{0, {"title", "Changed"}});
  EXPECT_EQ(h.Reports(), 0u);
  EXPECT_EQ(dir.Read("params.xsl"), original);
}

// ------------------------------------------------------ parse-error paths

struct ParseErrorCase {
  const char* name;
  std::string xml;
  std::string xsl;
  std::string expected;
};

class ParseErrorPath : public ::testing::TestWithParam<ParseErrorCase> {};

TEST_P(ParseErrorPath, YieldsTheParseErrorTextWithoutAReport) {
  const ParseErrorCase& c = GetParam();
  ReportHarness h;
  testing::internal::CaptureStderr();
  const Variant result = CreateHTMLFromXMLXSL(h.errors, h.worker, h.engine, c.xml, c.xsl, {});
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(h.Reports(), 0u);
  ASSERT_TRUE(std::holds_alternative<std::string>(result));
  EXPECT_EQ(Text(result), c.expected);
}

const std::string kGoodXml = DataPath("parse_errors/good.xml");
const std::string kGoodXsl = DataPath("parse_errors/good.xsl");
const std::string kBadXml = DataPath("parse_errors/malformed.xml");
const std::string kBadXsl = DataPath("parse_errors/malformed.xsl");
const std::string kNoFile = DataPath("parse_errors/missing.xml");
const std::string kMismatch = "<br />Opening and ending tag mismatch: a line 3 and b (column 14)";
const std::string kNotFound = "<br />The file cannot be opened: No such file or directory.";

INSTANTIATE_TEST_SUITE_P(
    Documents, ParseErrorPath,
    ::testing::Values(
        ParseErrorCase{"malformed_xml", kBadXml, kGoodXsl, "Error in line 3 of " + kBadXml + kMismatch},
        // The stylesheet is not even looked at.
        ParseErrorCase{"malformed_xml_missing_xsl", kBadXml, kNoFile,
                       "Error in line 3 of " + kBadXml + kMismatch},
        ParseErrorCase{"malformed_xml_malformed_xsl", kBadXml, kBadXsl,
                       "Error in line 3 of " + kBadXml + kMismatch},
        ParseErrorCase{"missing_xml", kNoFile, kGoodXsl, "Error in line 0 of " + kNoFile + kNotFound},
        ParseErrorCase{"malformed_xsl", kGoodXml, kBadXsl,
                       "Error in line 4 of " + kBadXsl + "<br />xmlParseEntityRef: no name (column 18)"},
        ParseErrorCase{"missing_xsl", kGoodXml, kNoFile, "Error in line 0 of " + kNoFile + kNotFound},
        ParseErrorCase{"folder", DataPath("parse_errors"), kGoodXsl,
                       "Error in line 0 of " + DataPath("parse_errors") +
                           "<br />The location names a folder, not a file."},
        ParseErrorCase{"empty_location", "", kGoodXsl,
                       "Error in line 0 of <br />No document location was given."},
        ParseErrorCase{"other_url_scheme", "http://127.0.0.1:9/doc.xml", kGoodXsl,
                       "Error in line 0 of http://127.0.0.1:9/doc.xml<br />Only local files can "
                       "be loaded: http://127.0.0.1:9/doc.xml"},
        ParseErrorCase{"billion_laughs", DataPath("safety/billion_laughs.xml"), kGoodXsl,
                       "Error in line 1 of " + DataPath("safety/billion_laughs.xml") +
                           "<br />Detected an entity reference loop (column 7)"},
        ParseErrorCase{"quadratic_blowup", DataPath("safety/quadratic_blowup.xml"), kGoodXsl,
                       "Error in line 5 of " + DataPath("safety/quadratic_blowup.xml") +
                           "<br />Detected an entity reference loop (column 2504)"},
        ParseErrorCase{"nested_2049_deep", DataPath("safety/deep.xml"), kGoodXsl,
                       "Error in line 2 of " + DataPath("safety/deep.xml") +
                           "<br />The document is nested deeper than 2 048 elements (column 6145)"},
        ParseErrorCase{"undeclared_element_prefix", DataPath("parse_errors/undeclared_element.xml"),
                       kGoodXsl,
                       "Error in line 3 of " + DataPath("parse_errors/undeclared_element.xml") +
                           "<br />Namespace prefix o on order is not defined (column 11)"},
        ParseErrorCase{"undeclared_attribute_prefix",
                       DataPath("parse_errors/undeclared_attribute.xml"), kGoodXsl,
                       "Error in line 3 of " + DataPath("parse_errors/undeclared_attribute.xml") +
                           "<br />Namespace prefix o for id on order is not defined (column 18)"},
        ParseErrorCase{"prefix_bound_to_no_namespace", kGoodXml,
                       DataPath("parse_errors/empty_namespace.xsl"),
                       "Error in line 3 of " + DataPath("parse_errors/empty_namespace.xsl") +
                           "<br />xmlns:o: Empty XML namespace is not allowed (column 15)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParseErrorPath, EscapesMarkupInTheLocation) {
  TempDir dir;
  const std::string name = "R&D <draft>.xml";
  dir.Write(name, "<doc>");
  ReportHarness h;
  const Variant result = CreateHTMLFromXMLXSL(h.errors, h.worker, h.engine, dir.File(name), kGoodXsl, {});
  EXPECT_EQ(h.Reports(), 0u);
  EXPECT_THAT(Text(result), HasSubstr("/R&amp;D &lt;draft&gt;.xml<br />"));
}

// ------------------------------------------------------------- parameters

struct ParamCase {
  const char* name;
  const char* xsl;
  Variant params;
  const char* expected;
};

class Parameters : public ::testing::TestWithParam<ParamCase> {};

TEST_P(Parameters, AreWrittenIntoTheStylesheet) {
  const ParamCase& c = GetParam();
  ReportHarness h;
  const Variant result =
      CreateHTMLFromXMLXSL(h.errors, h.worker, h.engine, DataPath("params/doc.xml"), DataPath(c.xsl), c.params);
  EXPECT_EQ(h.Reports(), 0u) << (h.Reports() ? h.box.shown[0].prompt : "");
  ASSERT_TRUE(std::holds_alternative<std::string>(result));
  EXPECT_EQ(Text(result), c.expected);
}

constexpr const char* kParams = "params/params.xsl";

INSTANTIATE_TEST_SUITE_P(
    Cases, Parameters,
    ::testing::Values(
        ParamCase{"none", kParams, {},
                  "title=Default title; colour=top-default; count=2; template colour=template-default"},
        ParamCase{"top_level", kParams, StringArray{0, {"title", "Q3"}},
                  "title=Q3; colour=top-default; count=2; template colour=template-default"},
        // The template's own param comes first in document order.
        ParamCase{"template_level_first", kParams, StringArray{0, {"colour", "red"}},
                  "title=Default title; colour=top-default; count=2; template colour=red"},
        ParamCase{"lower_bound_one", kParams, StringArray{1, {"title", "From one"}},
                  "title=From one; colour=top-default; count=2; template colour=template-default"},
        ParamCase{"no_entries", kParams, StringArray{0, {}},
                  "title=Default title; colour=top-default; count=2; template colour=template-default"},
        ParamCase{"later_pair_wins", kParams, StringArray{0, {"title", "first", "title", "second"}},
                  "title=second; colour=top-default; count=2; template colour=template-default"},
        // The value is text, never markup.
        ParamCase{"markup_in_value", kParams, StringArray{0, {"title", "A &amp; <b>it's</b>"}},
                  "title=A &amp; <b>it's</b>; colour=top-default; count=2; template "
                  "colour=template-default"},
        // A select attribute stays, and libxslt lets it win over the content.
        ParamCase{"select_attribute_kept", kParams, StringArray{0, {"count", "5"}},
                  "title=Default title; colour=top-default; count=2; template colour=template-default"},
        ParamCase{"other_prefix", "params/prefix_params.xsl", StringArray{0, {"title", "Bound"}},
                  "title=Bound"}),
    [](const auto& info) { return std::string(info.param.name); });

struct ParamFailure {
  const char* name;
  Variant params;
  std::int32_t number;
};

class ParameterFailure : public ::testing::TestWithParam<ParamFailure> {};

TEST_P(ParameterFailure, IsReportedOnceAndTheResultIsEmpty) {
  const ParamFailure& c = GetParam();
  ReportHarness h;
  const Variant result =
      CreateHTMLFromXMLXSL(h.errors, h.worker, h.engine, DataPath("params/doc.xml"), DataPath(kParams), c.params);
  EXPECT_TRUE(IsEmpty(result));
  ASSERT_EQ(h.Reports(), 1u);
  EXPECT_THAT(h.box.shown[0].prompt,
              HasSubstr("Run-time error '" + std::to_string(c.number) + "'"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParameterFailure,
    ::testing::Values(
        ParamFailure{"apostrophe_in_name", StringArray{0, {"it's", "x"}},
                     static_cast<std::int32_t>(0x80004005u)},
        ParamFailure{"no_matching_param", StringArray{0, {"nosuch", "x"}}, 91},
        ParamFailure{"odd_number_of_entries", StringArray{0, {"title", "x", "colour"}}, 9},
        ParamFailure{"empty_text", std::string(), 13},
        ParamFailure{"text", std::string("title"), 13}),
    [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------- errors inside the DTD

struct DtdErrorCase {
  const char* name;
  std::string xml;
  std::string dtd;
  std::string expected;  // begins the text after "Error in line "; {dir} is the folder
};

class DtdParseError : public ::testing::TestWithParam<DtdErrorCase> {};

TEST_P(DtdParseError, NamesTheDocumentsLineAndTheDtdsPlaceApart) {
  const DtdErrorCase& c = GetParam();
  TempDir dir;
  dir.Write("d.xml", c.xml);
  dir.Write("d.dtd", c.dtd);
  dir.Write("s.xsl",
            "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'/>");
  ReportHarness h;
  const Variant result =
      CreateHTMLFromXMLXSL(h.errors, h.worker, h.engine, dir.File("d.xml"), dir.File("s.xsl"), {});
  std::string expected = "Error in line " + c.expected;
  for (std::size_t at; (at = expected.find("{dir}")) != std::string::npos;) {
    expected.replace(at, 5, dir.path());
  }
  EXPECT_EQ(Text(result).rfind(expected, 0), 0u) << Text(result);
  // An error of the document itself names no other file.
  if (expected.find("<br />In ") == std::string::npos) {
    EXPECT_EQ(Text(result).find("<br />In "), std::string::npos) << Text(result);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Documents, DtdParseError,
    ::testing::Values(
        DtdErrorCase{"in_the_external_dtd",
                     "<?xml version='1.0'?>\n\n<!DOCTYPE d SYSTEM 'd.dtd'>\n<d/>",
                     "<!ELEMENT d EMPTY>\n\n<!ATTLIST d a CDATA #IMPLIED\n<!ELEMENT e EMPTY>",
                     "3 of {dir}/d.xml<br />In {dir}/d.dtd, line 4: ATTLIST: no name for Attribute "
                     "(column 1)"},
        DtdErrorCase{"in_the_internal_subset",
                     "<!DOCTYPE d [\n<!ELEMENT d EMPTY>\n<!ATTLIST d\n]>\n<d/>", "",
                     "4 of {dir}/d.xml<br />"},
        // The DTD file here holds an entity's text, brought in on line 4.
        DtdErrorCase{"in_an_external_entity",
                     "<!DOCTYPE d [\n<!ENTITY e SYSTEM 'd.dtd'>\n]>\n<d>&e;</d>", "<a>\n</b>",
                     "4 of {dir}/d.xml<br />In {dir}/d.dtd, line 2: "},
        DtdErrorCase{"in_the_document_after_a_good_dtd", "<!DOCTYPE d SYSTEM 'd.dtd'>\n<d>\n</e>",
                     "<!ELEMENT d ANY>", "3 of {dir}/d.xml<br />"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace xmlpellor::test
