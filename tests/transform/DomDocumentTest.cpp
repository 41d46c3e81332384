#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include <libxml/xmlerror.h>
#include <libxslt/xsltutils.h>

#include "TestData.h"
#include "platform/LocalPath.h"
#include "platform/ReadPolicy.h"
#include "platform/RuntimeError.h"
#include "platform/xml/DomDocument.h"
#include "platform/xml/XmlErrorCollector.h"
#include "platform/xml/XmlJob.h"
#include "support/TempDir.h"

namespace xmlpellor::test {
namespace {

using xml::DOMDocument;

// Outside a job the loader reads nothing; these tests read files of their
// own and say so.
struct OpenReads {
  xml::XmlJobObserver observer;
  const ReadPolicy anything = ReadPolicy::Unrestricted();
  const xml::XmlJobScope scope{anything, observer};
};

struct NamespaceCase {
  const char* value;
  std::vector<std::pair<std::string, std::string>> expected;
};

class NamespaceDeclarations : public ::testing::TestWithParam<NamespaceCase> {};

TEST_P(NamespaceDeclarations, AreParsed) {
  EXPECT_EQ(xml::ParseNamespaceDeclarations(GetParam().value), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Valid, NamespaceDeclarations,
    ::testing::Values(
        NamespaceCase{"xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"",
                      {{"xsl", "http://www.w3.org/1999/XSL/Transform"}}},
        NamespaceCase{"  xmlns:a='urn:a'   xmlns:b = \"urn:b\" ", {{"a", "urn:a"}, {"b", "urn:b"}}},
        NamespaceCase{"", {}}));

TEST(NamespaceDeclarations, RejectsWhatIsNoDeclaration) {
  for (const char* bad : {"xsl=\"urn:x\"", "xmlns=\"urn:x\"", "xmlns:x", "xmlns:x=urn:x",
                          "xmlns:x=\"urn:x", "xmlns:1x=\"u\"", "xmlns:x=\"u\"xmlns:y=\"v\""}) {
    EXPECT_THROW(xml::ParseNamespaceDeclarations(bad), RuntimeError) << bad;
  }
}

TEST(LocalPathOf, TurnsFileUrlsIntoPathsAndRefusesOtherSchemes) {
  EXPECT_EQ(LocalPathOf("file:///data/My%20Docs/a.xml"), "/data/My Docs/a.xml");
  EXPECT_EQ(LocalPathOf("file://localhost/a.xml"), "/a.xml");
  EXPECT_EQ(LocalPathOf("FILE:/a.xml"), "/a.xml");
  EXPECT_EQ(LocalPathOf("relative/a:b.xml"), "relative/a:b.xml");
  EXPECT_EQ(LocalPathOf("100%.xml"), "100%.xml");
  EXPECT_THROW(LocalPathOf("file://server/a.xml"), RuntimeError);
  EXPECT_THROW(LocalPathOf("https://example.org/a.xml"), RuntimeError);
}

TEST(DomDocument, SettingTextReplacesTheWholeContentByOneTextNode) {
  const OpenReads reads;
  TempDir dir;
  dir.Write("s.xml", "<r><p name='a'>old<b>bold</b>tail</p><p name='a'>second</p></r>");
  DOMDocument doc;
  ASSERT_TRUE(doc.load(dir.File("s.xml")));
  doc.setProperty("SelectionLanguage", "XPath");
  xml::DOMNode node = doc.selectSingleNode("//p[@name='a']");
  ASSERT_FALSE(node.IsNothing());
  node.text("new &amp; <x/>");
  DOMDocument style;
  dir.Write("show.xsl",
            "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
            "<xsl:output method='xml' omit-xml-declaration='yes'/>"
            "<xsl:template match='/'><xsl:copy-of select='r'/></xsl:template></xsl:stylesheet>");
  ASSERT_TRUE(style.load(dir.File("show.xsl")));
  EXPECT_EQ(doc.transformNode(style.documentElement()),
            "<r><p name=\"a\">new &amp;amp; &lt;x/&gt;</p><p name=\"a\">second</p></r>\n");
}

TEST(DomDocument, SelectionFailuresAndNothing) {
  const OpenReads reads;
  TempDir dir;
  dir.Write("s.xml", "<r/>");
  DOMDocument doc;
  ASSERT_TRUE(doc.load(dir.File("s.xml")));
  EXPECT_TRUE(doc.selectSingleNode("/nothing").IsNothing());
  EXPECT_THROW(doc.selectSingleNode("/r[@a='it's']"), RuntimeError);
  EXPECT_THROW(doc.selectSingleNode("count(/r)"), RuntimeError);
  EXPECT_THROW(doc.selectSingleNode("/u:r"), RuntimeError);  // unbound prefix
  // A namespace node of a result is the result's own copy, gone with it.
  EXPECT_THROW(doc.selectSingleNode("/r/namespace::*"), RuntimeError);
  EXPECT_THROW(xml::DOMNode().text("x"), RuntimeError);
  EXPECT_THROW(doc.setProperty("SelectionLanguage", "XSLPattern"), RuntimeError);
  EXPECT_THROW(doc.setProperty("ProhibitDTD", "true"), RuntimeError);
}

TEST(DomDocument, ValidatesOnlyWhenAsked) {
  const OpenReads reads;
  DOMDocument lax;
  lax.validateOnParse(false);
  EXPECT_TRUE(lax.load(DataPath("dtd_invalid/invalid.xml")));
  DOMDocument strict;
  strict.validateOnParse(true);
  EXPECT_FALSE(strict.load(DataPath("dtd_invalid/invalid.xml")));
  EXPECT_GT(strict.parseError().Line, 0);
}

TEST(DomDocument, AFailedLoadForgetsTheEarlierDocument) {
  const OpenReads reads;
  DOMDocument doc;
  ASSERT_TRUE(doc.load(DataPath("parse_errors/good.xml")));
  EXPECT_FALSE(doc.load(DataPath("parse_errors/malformed.xml")));
  EXPECT_TRUE(doc.documentElement().IsNothing());
  EXPECT_EQ(doc.parseError().Line, 3);
}

int gOuterCalls = 0;
void OuterStructured(void*, xmlError*) { ++gOuterCalls; }
void OuterGeneric(void*, const char*, ...) { ++gOuterCalls; }

// A source read with short text kept inside its nodes, and freed before the
// output is built, must give the same text as one read and kept the plain
// way: the output may not lean on the source's memory.
struct SourceCase {
  const char* name;
  const char* templates;
};

class ConsumedSource : public ::testing::TestWithParam<SourceCase> {};

TEST_P(ConsumedSource, GivesTheSameOutput) {
  const OpenReads reads;
  TempDir dir;
  dir.Write("s.xml",
            "<!DOCTYPE r [<!ATTLIST p kind CDATA 'x'><!ENTITY e 'ent'>]>"
            "<r xmlns:n='urn:n'><p id='1'>a</p><p>&e;&amp;<![CDATA[<c>]]></p>"
            "<n:q n:at='v'>text of more than a few bytes</n:q><!--c--><?pi d?>"
            "<p> </p><p>ab</p><p>abc</p><p>abcd</p></r>");
  dir.Write("t.xsl", std::string("<xsl:stylesheet version='1.0' "
                                 "xmlns:xsl='http://www.w3.org/1999/XSL/Transform' "
                                 "xmlns:n='urn:n'><xsl:key name='k' match='p' use='.'/>") +
                         GetParam().templates + "</xsl:stylesheet>");
  DOMDocument style;
  ASSERT_TRUE(style.load(dir.File("t.xsl")));
  DOMDocument kept;
  kept.validateOnParse(false);
  ASSERT_TRUE(kept.load(dir.File("s.xml")));
  DOMDocument consumed;
  consumed.validateOnParse(false);
  consumed.compactText(true);
  ASSERT_TRUE(consumed.load(dir.File("s.xml")));

  const std::string expected = kept.transformNode(style.documentElement());
  EXPECT_EQ(kept.transformNode(style.documentElement()), expected);
  EXPECT_EQ(std::move(consumed).transformNode(style.documentElement()), expected);
  EXPECT_TRUE(consumed.documentElement().IsNothing());
}

INSTANTIATE_TEST_SUITE_P(
    Stylesheets, ConsumedSource,
    ::testing::Values(
        SourceCase{"CopyOf", "<xsl:template match='/'><xsl:copy-of select='.'/></xsl:template>"},
        SourceCase{"IdentityCopy",
                   "<xsl:template match='@*|node()'><xsl:copy>"
                   "<xsl:apply-templates select='@*|node()'/></xsl:copy></xsl:template>"},
        SourceCase{"BuiltInText", "<xsl:output method='text'/>"},
        SourceCase{"ValuesAndAttributes",
                   "<xsl:output method='html' indent='yes'/><xsl:template match='/'><ul>"
                   "<xsl:for-each select='//p'><li title='{.}' class='{@kind}'>"
                   "<xsl:value-of select='.'/></li></xsl:for-each></ul></xsl:template>"},
        SourceCase{"KeysAndNames",
                   "<xsl:template match='/'><o><xsl:for-each select='key(\"k\", \"ab\")|//n:q'>"
                   "<xsl:element name='{name()}' namespace='{namespace-uri()}'>"
                   "<xsl:copy-of select='@*'/><xsl:value-of select='.'/></xsl:element>"
                   "</xsl:for-each></o></xsl:template>"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(XmlErrorCollector, CollectsWhileItLivesAndRestoresTheHandlersBefore) {
  const OpenReads reads;
  int marker = 0;
  xmlSetStructuredErrorFunc(&marker, &OuterStructured);
  xsltSetGenericErrorFunc(&marker, &OuterGeneric);
  {
    xml::XmlErrorCollector collector;
    DOMDocument doc;
    EXPECT_FALSE(doc.load(DataPath("parse_errors/malformed.xml")));
    xsltGenericError(xsltGenericErrorContext, "first %s\nsecond", "line");
    const auto& messages = collector.Messages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[messages.size() - 2].text, "first line");
    EXPECT_EQ(messages.back().text, "second");
  }
  EXPECT_EQ(gOuterCalls, 0);
  EXPECT_EQ(xmlStructuredError, &OuterStructured);
  EXPECT_EQ(xmlStructuredErrorContext, &marker);
  EXPECT_EQ(xsltGenericError, &OuterGeneric);
  EXPECT_EQ(xsltGenericErrorContext, &marker);
  xmlSetStructuredErrorFunc(nullptr, nullptr);
  xsltSetGenericErrorFunc(nullptr, nullptr);
}

}  // namespace
}  // namespace xmlpellor::test
