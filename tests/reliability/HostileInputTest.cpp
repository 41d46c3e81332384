// Documents and stylesheets that are broken, huge or hostile, each pressed
// through the whole tool (the real frmMain, transformation and file
// services): every one ends in the parse-error text, exactly one report that
// says why, or the right result, and the next plain Apply works.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "Tool.h"
#include "support/Listener.h"
#include "support/TempDir.h"

namespace xmlpellor::test {
namespace {

using ::testing::HasSubstr;

// Everything a case may set up: a folder of its own and a socket that
// proves nothing was fetched.
struct Scene {
  TempDir dir;
  Listener listener;

  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(listener.port()) + path;
  }
  std::string Put(const std::string& name, const std::string& content) const {
    dir.Write(name, content);
    return dir.File(name);
  }
  // head + unit x count + tail, streamed to disk so that a large file never
  // sits in the test's memory whole.
  std::string PutRepeated(const std::string& name, const std::string& head, const std::string& unit,
                          std::size_t count, const std::string& tail) const {
    std::ofstream out(dir.File(name), std::ios::binary);
    out << head;
    std::string chunk;
    const std::size_t perChunk = std::max<std::size_t>(1, (1u << 20) / unit.size());
    for (std::size_t i = 0; i < perChunk; ++i) chunk += unit;
    for (std::size_t done = 0; done < count; done += perChunk) {
      const std::size_t n = std::min(perChunk, count - done);
      out.write(chunk.data(), static_cast<std::streamsize>(n * unit.size()));
    }
    out << tail;
    return dir.File(name);
  }
  // A stylesheet whose whole output is the text of the document.
  std::string TextStylesheet() const {
    return Put("text.xsl",
               "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
               "<xsl:output method=\"text\"/>"
               "<xsl:template match=\"/\">[<xsl:value-of select=\"/\"/>]</xsl:template>"
               "</xsl:stylesheet>");
  }
  std::string Stylesheet(const std::string& name, const std::string& attributes,
                         const std::string& body) const {
    return Put(name, "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\" " +
                         attributes + "><xsl:template match=\"/\">" + body +
                         "</xsl:template></xsl:stylesheet>");
  }
  std::string AnyDocument() const { return Put("any.xml", "<doc>text</doc>"); }
};

enum class Outcome {
  ParseError,  // the parse-error text is written and shown, nothing reported
  Report,      // exactly one report; the empty result is written and shown
  Result,      // the right result, nothing reported
};

struct Paths {
  std::string xml, xsl;
  std::string failing;  // the document the parse-error text names
};

struct HostileCase {
  const char* name;
  std::function<Paths(const Scene&)> arrange;
  Outcome outcome;
  std::vector<std::string> described;  // in the parse-error text, the report or the result
  std::function<void(const Scene&)> check;  // what else must hold afterwards
};

void NothingFetched(const Scene& s) { EXPECT_FALSE(s.listener.SomebodyConnected()); }

void NothingWritten(const Scene& s) {
  for (const char* name : {"written", "out.html", "saxon.html", "redirect.html", "xsl-document.html"}) {
    EXPECT_FALSE(Exists(s.dir.File(name))) << name;
  }
}

class HostileInput : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileInput, EndsAsItShouldAndTheToolStaysUsable) {
  const HostileCase& c = GetParam();
  PrivateTmp tmp;
  Scene scene;
  ASSERT_NE(scene.listener.port(), 0);
  const Paths paths = c.arrange(scene);
  Tool tool;
  ASSERT_EQ(tool.Reports(), 0u);
  const std::size_t navigations = tool.wbr.navigations.size();

  testing::internal::CaptureStderr();
  tool.Apply(paths.xml, paths.xsl);
  testing::internal::GetCapturedStderr();  // the run's messages, as they came

  EXPECT_TRUE(tool.Shown(navigations));
  const std::string output = tool.Output();
  switch (c.outcome) {
    case Outcome::ParseError:
      EXPECT_EQ(tool.Reports(), 0u) << tool.LastReport();
      EXPECT_THAT(output, ::testing::StartsWith("Error in line "));
      EXPECT_THAT(output, HasSubstr(" of " + paths.failing + "<br />"));
      for (const auto& part : c.described) EXPECT_THAT(output, HasSubstr(part));
      break;
    case Outcome::Report:
      ASSERT_EQ(tool.Reports(), 1u);
      for (const auto& part : c.described) EXPECT_THAT(tool.LastReport(), HasSubstr(part));
      // The report stays in view in place of the result.
      EXPECT_THAT(output, HasSubstr("Run-time error '"));
      break;
    case Outcome::Result:
      EXPECT_EQ(tool.Reports(), 0u) << tool.LastReport();
      for (const auto& part : c.described) EXPECT_THAT(output, HasSubstr(part));
      break;
  }
  if (c.check) c.check(scene);
  const std::size_t reports = tool.Reports();
  EXPECT_TRUE(tool.StillUsable());
  EXPECT_EQ(tool.Reports(), reports);
  EXPECT_EQ(tmp.OutputFiles().size(), 1u);
}

std::string CaseName(const ::testing::TestParamInfo<HostileCase>& info) { return info.param.name; }

// <d><d>...x...</d></d>, `depth` elements deep, on one line.
std::string Nested(int depth) {
  std::string open, close;
  for (int i = 0; i < depth; ++i) {
    open += "<d>";
    close += "</d>";
  }
  return open + "x" + close;
}

Paths AsDocument(const Scene& s, const std::string& xml) {
  return {xml, s.TextStylesheet(), xml};
}

const std::string kEntityHead = "<?xml version=\"1.0\"?>\n<!DOCTYPE doc [\n";

INSTANTIATE_TEST_SUITE_P(
    Documents, HostileInput,
    ::testing::Values(
        HostileCase{"billion_laughs",
                    [](const Scene& s) {
                      std::string dtd = kEntityHead + "<!ENTITY l0 \"lol\">\n";
                      for (int i = 1; i <= 9; ++i) {
                        dtd += "<!ENTITY l" + std::to_string(i) + " \"";
                        for (int j = 0; j < 10; ++j) dtd += "&l" + std::to_string(i - 1) + ";";
                        dtd += "\">\n";
                      }
                      return AsDocument(s, s.Put("laughs.xml", dtd + "]>\n<doc>&l9;</doc>\n"));
                    },
                    Outcome::ParseError, {"Error in line 1", "entity reference loop"}, nullptr},
        HostileCase{"quadratic_blowup",
                    [](const Scene& s) {
                      const std::string big(50000, 'x');
                      std::string refs;
                      for (int i = 0; i < 50000; ++i) refs += "&big;";
                      return AsDocument(s, s.Put("quadratic.xml", kEntityHead + "<!ENTITY big \"" + big +
                                                                       "\">\n]>\n<doc>" + refs + "</doc>\n"));
                    },
                    Outcome::ParseError, {"entity"}, nullptr},
        HostileCase{"http_external_entity",
                    [](const Scene& s) {
                      return AsDocument(s, s.Put("remote.xml", kEntityHead + "<!ENTITY r SYSTEM \"" +
                                                                   s.Url("/secret.txt") +
                                                                   "\">\n]>\n<doc>a&r;b</doc>\n"));
                    },
                    Outcome::Result, {"[ab]"}, NothingFetched},
        HostileCase{"http_external_dtd",
                    [](const Scene& s) {
                      return AsDocument(s, s.Put("remote_dtd.xml", "<?xml version=\"1.0\"?>\n<!DOCTYPE doc SYSTEM \"" +
                                                                       s.Url("/doc.dtd") + "\">\n<doc>text</doc>\n"));
                    },
                    Outcome::Result, {"[text]"}, NothingFetched},
        HostileCase{"http_parameter_entity",
                    [](const Scene& s) {
                      return AsDocument(s, s.Put("remote_pe.xml", kEntityHead + "<!ENTITY % p SYSTEM \"" +
                                                                      s.Url("/p.dtd") + "\">\n%p;\n]>\n<doc>text</doc>\n"));
                    },
                    Outcome::Result, {"[text]"}, NothingFetched},
        // A local file is the user's own: it is read like the document itself.
        HostileCase{"file_entity",
                    [](const Scene& s) {
                      const std::string secret = s.Put("local.txt", "local text");
                      return AsDocument(s, s.Put("file_entity.xml", kEntityHead + "<!ENTITY f SYSTEM \"file://" +
                                                                        secret + "\">\n]>\n<doc>&f;</doc>\n"));
                    },
                    Outcome::Result, {"[local text]"}, nullptr},
        HostileCase{"file_entity_endless_device",
                    [](const Scene& s) {
                      return AsDocument(s, s.Put("zero_entity.xml", kEntityHead +
                                                                        "<!ENTITY z SYSTEM \"file:///dev/zero\">\n]>\n<doc>&z;</doc>\n"));
                    },
                    // A device is no file of the job's: refused before it is opened.
                    Outcome::ParseError, {"Refused: the transformation may not read /dev/zero"}, nullptr},
        // The same read by every other name a file: URL can give it.
        HostileCase{"file_entity_naming_a_host",
                    [](const Scene& s) {
                      const std::string secret = s.Put("host.txt", "secret text");
                      return AsDocument(s, s.Put("host_entity.xml", kEntityHead + "<!ENTITY f SYSTEM \"file://root" +
                                                                        secret + "\">\n]>\n<doc>&f;</doc>\n"));
                    },
                    Outcome::ParseError, {"Refused: the transformation may not read file://root/"}, nullptr},
        HostileCase{"file_entity_in_a_hidden_folder",
                    [](const Scene& s) {
                      ::mkdir(s.dir.File(".ssh").c_str(), 0700);
                      s.Put(".ssh/id_ed25519", "secret key");
                      return AsDocument(s, s.Put("key_entity.xml", kEntityHead +
                                                                       "<!ENTITY k SYSTEM \".ssh/id_ed25519\">\n]>\n<doc>&k;</doc>\n"));
                    },
                    Outcome::ParseError, {"lies in the hidden folder", "/.ssh"}, nullptr},
        HostileCase{"nested_100000_deep",
                    [](const Scene& s) {
                      std::string closing;
                      for (int i = 0; i < 100000; ++i) closing += "</a>";
                      return AsDocument(s, s.PutRepeated("deep.xml", "", "<a>", 100000, closing));
                    },
                    Outcome::ParseError, {"Error in line 1", "nested deeper than 2 048 elements"}, nullptr},
        HostileCase{"nested_2049_deep",
                    [](const Scene& s) { return AsDocument(s, s.Put("deep.xml", Nested(2049))); },
                    Outcome::ParseError, {"Error in line 1", "nested deeper than 2 048 elements (column 6145)"}, nullptr},
        HostileCase{"identity_copy_2048_deep",
                    [](const Scene& s) {
                      return Paths{s.Put("deep.xml", Nested(2048)),
                                   s.Put("copy.xsl",
                                         "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                                         "<xsl:output method=\"xml\" omit-xml-declaration=\"yes\"/>"
                                         "<xsl:template match=\"@*|node()\"><xsl:copy><xsl:apply-templates select=\"@*|node()\"/></xsl:copy></xsl:template>"
                                         "</xsl:stylesheet>"),
                                   ""};
                    },
                    Outcome::Result, {Nested(2048)}, nullptr},
        HostileCase{"undeclared_element_prefix",
                    [](const Scene& s) { return AsDocument(s, s.Put("prefix.xml", "<doc>\n<p:a>x</p:a></doc>")); },
                    Outcome::ParseError, {"Error in line 2", "Namespace prefix p on a is not defined"}, nullptr},
        HostileCase{"undeclared_attribute_prefix",
                    [](const Scene& s) { return AsDocument(s, s.Put("prefix.xml", "<doc>\n<a p:b=\"1\">x</a></doc>")); },
                    Outcome::ParseError, {"Error in line 2", "Namespace prefix p for b on a is not defined"}, nullptr},
        HostileCase{"undeclared_prefix_in_stylesheet",
                    [](const Scene& s) {
                      return Paths{s.AnyDocument(), s.Stylesheet("prefix.xsl", "", "\n<p:out/>"), s.dir.File("prefix.xsl")};
                    },
                    Outcome::ParseError, {"Error in line 2", "Namespace prefix p on out is not defined"}, nullptr},
        HostileCase{"invalid_utf8",
                    [](const Scene& s) { return AsDocument(s, s.Put("bad.xml", "<doc>caf\xC3\x28</doc>")); },
                    Outcome::ParseError, {"Error in line 1", "UTF-8"}, nullptr},
        HostileCase{"utf16_with_byte_order_mark",
                    [](const Scene& s) {
                      const std::u16string text = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<doc>h\u00e9llo \u20ac</doc>\n";
                      std::string bytes = "\xFF\xFE";
                      for (const char16_t c : text) {
                        bytes += static_cast<char>(c & 0xFF);
                        bytes += static_cast<char>(c >> 8);
                      }
                      return AsDocument(s, s.Put("utf16.xml", bytes));
                    },
                    Outcome::Result, {"[h\xC3\xA9llo \xE2\x82\xAC]"}, nullptr},
        HostileCase{"nul_byte",
                    [](const Scene& s) { return AsDocument(s, s.Put("nul.xml", std::string("<doc>a\0b</doc>", 14))); },
                    Outcome::ParseError, {"Error in line 1", "0x0"}, nullptr},
        HostileCase{"empty_file",
                    [](const Scene& s) { return AsDocument(s, s.Put("empty.xml", "")); },
                    Outcome::ParseError, {"empty"}, nullptr},
        HostileCase{"directory_as_document",
                    [](const Scene& s) { return AsDocument(s, s.dir.path()); },
                    Outcome::ParseError, {"Error in line 0", "names a folder"}, nullptr},
        HostileCase{"directory_as_stylesheet",
                    [](const Scene& s) { return Paths{s.AnyDocument(), s.dir.path(), s.dir.path()}; },
                    Outcome::ParseError, {"Error in line 0", "names a folder"}, nullptr},
        HostileCase{"device_as_document",
                    [](const Scene& s) { return AsDocument(s, "/dev/zero"); },
                    Outcome::ParseError, {}, nullptr}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    Stylesheets, HostileInput,
    ::testing::Values(
        HostileCase{"infinite_recursion",
                    [](const Scene& s) {
                      return Paths{s.AnyDocument(),
                                   s.Put("loop.xsl",
                                         "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                                         "<xsl:template match=\"/\"><xsl:call-template name=\"again\"/></xsl:template>"
                                         "<xsl:template name=\"again\"><x><xsl:call-template name=\"again\"/></x></xsl:template>"
                                         "</xsl:stylesheet>"),
                                   ""};
                    },
                    Outcome::Report, {"recurses without end"}, nullptr},
        HostileCase{"xpath_nested_100000_deep",
                    [](const Scene& s) {
                      const std::string open(100000, '('), close(100000, ')');
                      return Paths{s.AnyDocument(),
                                   s.Stylesheet("deep_xpath.xsl", "",
                                                "<xsl:value-of select=\"" + open + "1" + close + "\"/>"),
                                   ""};
                    },
                    Outcome::Report, {"could not be compiled", "Recursion limit exceeded"}, nullptr},
        HostileCase{"message_terminate",
                    [](const Scene& s) {
                      return Paths{s.AnyDocument(),
                                   s.Stylesheet("stop.xsl", "", "<xsl:message terminate=\"yes\">Stop here</xsl:message>"),
                                   ""};
                    },
                    Outcome::Report, {"was stopped", "Stop here"}, nullptr},
        HostileCase{"exsl_document_into_new_folder",
                    [](const Scene& s) {
                      return Paths{s.AnyDocument(),
                                   s.Stylesheet("exsl.xsl",
                                                "xmlns:exsl=\"http://exslt.org/common\" extension-element-prefixes=\"exsl\"",
                                                "<exsl:document href=\"written/out.html\"><p/></exsl:document><p/>"),
                                   ""};
                    },
                    // Kept in the run's own folder, beside the output: none in the user's.
                    Outcome::Result, {"<p"}, NothingWritten},
        HostileCase{"exsl_document_absolute",
                    [](const Scene& s) {
                      return Paths{s.AnyDocument(),
                                   s.Stylesheet("exsl_abs.xsl",
                                                "xmlns:exsl=\"http://exslt.org/common\" extension-element-prefixes=\"exsl\"",
                                                "<exsl:document href=\"" + s.dir.File("out.html") + "\"><p/></exsl:document>"),
                                   ""};
                    },
                    Outcome::Report, {"may not write files"}, NothingWritten},
        HostileCase{"xsl_document_of_version_1_1",
                    [](const Scene& s) {
                      return Paths{s.AnyDocument(),
                                   s.Put("xsl11.xsl",
                                         "<xsl:stylesheet version=\"1.1\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                                         "<xsl:template match=\"/\"><xsl:document href=\"" + s.dir.File("xsl-document.html") +
                                             "\"><p/></xsl:document></xsl:template></xsl:stylesheet>"),
                                   ""};
                    },
                    Outcome::Report, {"may not write files"}, NothingWritten},
        HostileCase{"saxon_output",
                    [](const Scene& s) {
                      return Paths{s.AnyDocument(),
                                   s.Stylesheet("saxon.xsl",
                                                "xmlns:saxon=\"http://icl.com/saxon\" extension-element-prefixes=\"saxon\"",
                                                "<saxon:output href=\"" + s.dir.File("saxon.html") + "\"><p/></saxon:output>"),
                                   ""};
                    },
                    Outcome::Report, {"may not write files"}, NothingWritten},
        HostileCase{"xalan_redirect_write",
                    [](const Scene& s) {
                      return Paths{s.AnyDocument(),
                                   s.Stylesheet("redirect.xsl",
                                                "xmlns:redirect=\"org.apache.xalan.xslt.extensions.Redirect\" "
                                                "extension-element-prefixes=\"redirect\"",
                                                "<redirect:write file=\"" + s.dir.File("redirect.html") + "\"><p/></redirect:write>"),
                                   ""};
                    },
                    Outcome::Report, {"may not write files"}, NothingWritten},
        HostileCase{"document_over_http",
                    [](const Scene& s) {
                      return Paths{s.AnyDocument(),
                                   s.Stylesheet("remote_doc.xsl", "",
                                                "<xsl:value-of select=\"document('" + s.Url("/remote.xml") + "')\"/>"),
                                   ""};
                    },
                    Outcome::Report, {"may not read from the network"}, NothingFetched},
        HostileCase{"include_over_http",
                    [](const Scene& s) {
                      return Paths{s.AnyDocument(),
                                   s.Put("remote_include.xsl",
                                         "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                                         "<xsl:import href=\"" + s.Url("/lib.xsl") + "\"/></xsl:stylesheet>"),
                                   ""};
                    },
                    Outcome::Report, {"may not read from the network"}, NothingFetched}),
    CaseName);

// Over ten seconds each in the sanitizer build: ctest runs them under the
// label "slow" (see CMakeLists.txt).
INSTANTIATE_TEST_SUITE_P(
    Slow, HostileInput,
    ::testing::Values(
        HostileCase{"attribute_of_100_MB",
                    [](const Scene& s) {
                      return AsDocument(s, s.PutRepeated("wide.xml", "<doc a=\"", "x", 100u << 20, "\"/>"));
                    },
                    Outcome::ParseError, {"Error in line 1", "a text of more than 10 MB"}, nullptr},
        HostileCase{"key_over_a_million_nodes",
                    [](const Scene& s) {
                      std::ofstream out(s.dir.File("million.xml"), std::ios::binary);
                      out << "<r>";
                      for (int i = 0; i < 1000000; ++i) out << "<i k=\"" << i % 1000 << "\">" << i << "</i>";
                      out << "</r>";
                      out.close();
                      return Paths{s.dir.File("million.xml"),
                                   s.Put("key.xsl",
                                         "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                                         "<xsl:output method=\"text\"/><xsl:key name=\"k\" match=\"i\" use=\"@k\"/>"
                                         "<xsl:template match=\"/\">"
                                         "<xsl:value-of select=\"count(key('k', '7'))\"/>,"
                                         "<xsl:value-of select=\"sum(key('k', '999'))\"/>"
                                         "</xsl:template></xsl:stylesheet>"),
                                   ""};
                    },
                    // 1000 nodes each; 999 + 1999 + ... + 999999 = 500 499 000.
                    Outcome::Result, {"1000,500499000"}, nullptr}),
    CaseName);

}  // namespace
}  // namespace xmlpellor::test
