// The XSLT 2.0 and 3.0 engine: what it makes of Saxon's output and texts,
// and its real process, confined as the window runs it, against Saxon-HE's
// own command line on the same job. The figures printed are for reading;
// nothing here asserts a time.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/saxon/Jni.h"
#include "engine/saxon/SaxonOutput.h"
#include "platform/Process.h"
#include "platform/RuntimeError.h"
#include "platform/Worker.h"
#include "platform/xml/Origins.h"
#include "support/OriginChecks.h"
#include "support/TempDir.h"
#include "transform/EngineChoice.h"

namespace xmlpellor::test {
namespace {

using ::testing::HasSubstr;
using xml::OutputKind;

struct KindCase {
  const char* name;
  const char* method;
  const char* head;
  OutputKind kind;
};

class OutputKindOf : public ::testing::TestWithParam<KindCase> {};

TEST_P(OutputKindOf, FollowsTheMethodAndTheRoot) {
  const KindCase& c = GetParam();
  EXPECT_EQ(saxon::KindOfOutput(c.method, c.head), c.kind);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutputKindOf,
    ::testing::Values(
        KindCase{"text", "text", "<html/>", OutputKind::kText},
        KindCase{"json", "json", "{\"a\": 1}", OutputKind::kText},
        KindCase{"adaptive", "adaptive", "map{}", OutputKind::kText},
        KindCase{"html5", "html", "<!DOCTYPE HTML>\n<html><body/></html>", OutputKind::kHtml},
        KindCase{"html_of_xhtml_root", "html", "<html xmlns='http://www.w3.org/1999/xhtml'/>",
                 OutputKind::kHtml},
        KindCase{
            "xhtml_method", "xhtml",
            "<?xml version='1.0'?><!DOCTYPE html><html xmlns=\"http://www.w3.org/1999/xhtml\">",
            OutputKind::kXhtml},
        KindCase{"xhtml_method_other_root", "xhtml", "<page/>", OutputKind::kHtml},
        KindCase{
            "xml_with_xhtml_root", "xml",
            "<?xml version=\"1.0\"?>\n<!-- c --><h:html xmlns:h=\"http://www.w3.org/1999/xhtml\">",
            OutputKind::kXhtml},
        KindCase{"xml", "xml", "<?xml version=\"1.0\"?><orders/>", OutputKind::kXml},
        KindCase{"unnamed_plain_html_root", "", "<HTML><body/></HTML>", OutputKind::kHtml},
        KindCase{"unnamed_other_root", "", "<?xml version=\"1.0\"?><r/>", OutputKind::kXml},
        KindCase{"unnamed_html_in_a_namespace", "", "<html xmlns='urn:x'/>", OutputKind::kXml},
        KindCase{"empty", "", "", OutputKind::kXml},
        KindCase{"unnamed_without_markup", "", "\xEF\xBB\xBF 3 orders", OutputKind::kText},
        KindCase{"xml_without_markup", "xml", "3 orders", OutputKind::kXml},
        KindCase{"bom_then_root", "", "\xEF\xBB\xBF<html>", OutputKind::kHtml}),
    [](const auto& info) { return std::string(info.param.name); });

struct ReportCase {
  const char* name;
  saxon::SaxonReport report;
  const char* line;
};

class SaxonReportLine : public ::testing::TestWithParam<ReportCase> {};

TEST_P(SaxonReportLine, HasTheLibxsltEnginesShape) {
  EXPECT_EQ(saxon::ReportLine(GetParam().report), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SaxonReportLine,
    ::testing::Values(ReportCase{"all",
                                 {true, "XTSE0010", "Unknown XSLT element: <bogus>", "/a/s.xsl", 4,
                                  7},
                                 "/a/s.xsl:4:7: XTSE0010: Unknown XSLT element: <bogus>"},
                      ReportCase{"warning_without_place",
                                 {false, "", "Something odd", "", 0, 0},
                                 "Warning: Something odd"},
                      ReportCase{"line_only",
                                 {true, "FOAR0001", "Integer division by zero", "/a/s.xsl", 9, 0},
                                 "/a/s.xsl:9: FOAR0001: Integer division by zero"}),
    [](const auto& info) { return std::string(info.param.name); });

struct PlaceCase {
  const char* name;
  const char* systemId;
  const char* place;
};

class SaxonPlaceName : public ::testing::TestWithParam<PlaceCase> {};

TEST_P(SaxonPlaceName, IsAPathForALocalFile) {
  EXPECT_EQ(saxon::PlaceName(GetParam().systemId), GetParam().place);
  if (GetParam().systemId[0] == '/') {
    EXPECT_EQ(saxon::PlaceName(saxon::FileUri(GetParam().systemId)), GetParam().place);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SaxonPlaceName,
    ::testing::Values(PlaceCase{"file_uri", "file:///a%20b/c.xsl", "/a b/c.xsl"},
                      PlaceCase{"short_file_uri", "file:/a/c.xsl", "/a/c.xsl"},
                      PlaceCase{"path_round_trip", "/x y/%z#.xsl", "/x y/%z#.xsl"},
                      PlaceCase{"other", "urn:x", "urn:x"}),
    [](const auto& info) { return std::string(info.param.name); });

struct TextCase {
  const char* name;
  std::string utf8;
  std::u16string utf16;
  bool roundTrip;
};

class JavaText : public ::testing::TestWithParam<TextCase> {};

TEST_P(JavaText, CrossesBetweenUtf8AndUtf16) {
  const TextCase& c = GetParam();
  if (c.roundTrip) {
    EXPECT_EQ(saxon::Utf16FromUtf8(c.utf8), c.utf16);
    EXPECT_EQ(saxon::Utf8FromUtf16(c.utf16), c.utf8);
  } else {
    EXPECT_EQ(saxon::Utf8FromUtf16(saxon::Utf16FromUtf8(c.utf8)), saxon::Utf8FromUtf16(c.utf16));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JavaText,
    ::testing::Values(TextCase{"ascii", "abc", u"abc", true},
                      TextCase{"accents", "\xC3\xA9t\xC3\xA9", u"\u00E9t\u00E9", true},
                      TextCase{"beyond_the_plane", "\xF0\x9D\x84\x9E", u"\U0001D11E", true},
                      TextCase{"nul_inside", std::string("a\0b", 3), std::u16string(u"a\0b", 3),
                               true},
                      TextCase{"invalid_byte", "a\xFF", u"a\uFFFD", false},
                      TextCase{"overlong", "\xC0\xAF", u"\uFFFD\uFFFD", false},
                      TextCase{"cut_short", "\xE2\x82", u"\uFFFD\uFFFD", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(JavaText, ALoneSurrogateBecomesTheReplacementCharacter) {
  EXPECT_EQ(saxon::Utf8FromUtf16(std::u16string(1, char16_t{0xD800}) + u"x"), "\xEF\xBF\xBDx");
}

// The real engines, as the window runs them.
constexpr const char* kSaxonJar = "/usr/share/java/Saxon-HE.jar";

std::string BuildDir() {
  const char* dir = std::getenv("XMLPELLOR_BUILD_DIR");
  return dir != nullptr ? dir : ".";
}

// Why the engine's process cannot run here, or nullptr.
const char* NoSaxonProcess() {
#ifdef XMLPELLOR_NO_SAXON_PROCESS
  return "this sanitizer build leaves the Saxon engine's process out (a Java VM cannot run "
         "under AddressSanitizer)";
#else
  return nullptr;
#endif
}

// Why a Saxon job cannot run here, or nullptr.
const char* NoSaxon() {
  if (const char* why = NoSaxonProcess()) return why;
  if (::access(kSaxonJar, R_OK) != 0 || ::access("/usr/bin/java", X_OK) != 0)
    return "Saxon-HE or Java is not installed";
  return nullptr;
}

struct Heard : transform::JobEvents {
  void Engine(const std::string& name) override { engine = name; }
  void Message(const std::string& line) override { messages += line + "\n"; }
  void Reading(const std::string& path) override { read += path + "\n"; }
  void Phase(transform::JobPhase phase) override { phases.push_back(phase); }
  void Parameters(const std::vector<xml::DeclaredParameter>& found) override {
    for (const auto& parameter : found)
      declared.push_back(parameter.name + "=" + parameter.defaultText);
  }
  std::string engine, messages, read;
  std::vector<transform::JobPhase> phases;
  std::vector<std::string> declared;  // name=default
};

struct Outcome {
  std::string output;
  std::string error;
  transform::JobResult result;
  Heard heard;
};

// A job of `xml` and `xsl` that may read what `engine` lets a job of them read.
transform::JobRequest RequestFor(const transform::IEngine& engine, const std::string& xml,
                                 const std::string& xsl) {
  transform::JobRequest request;
  request.xml = xml;
  request.xsl = xsl;
  request.reads = engine.PolicyFor(xml, xsl);
  return request;
}

Outcome RunJob(const std::string& xml, const std::string& xsl,
               transform::EngineSettings settings = {},
               std::vector<xml::GlobalParameter> globals = {},
               std::uint64_t maxDocuments = xml::kDefaultMaxOutputDocuments) {
  PosixProcessLauncher launcher;
  transform::ChoosingEngine engine(launcher, BuildDir() + "/xmlpellor-engine",
                                   BuildDir() + "/xmlpellor-saxon-engine", settings);
  transform::JobRequest request = RequestFor(engine, xml, xsl);
  request.globals = std::move(globals);
  request.maxDocuments = maxDocuments;
  Outcome outcome;
  try {
    outcome.result = engine.Run(request, outcome.heard);
    outcome.output = outcome.result.output;
  } catch (const RuntimeError& e) {
    outcome.error = e.record().description;
  }
  return outcome;
}

// What Saxon's command line writes for the same job, with the same
// parameters (name=value, ?name=expression); into `output` when one is
// named, so that its result documents land beside it.
std::string SaxonCommandLine(const std::string& xml, const std::string& xsl,
                             const std::string& parameters, const std::string& output = {}) {
  const std::string command =
      "java -cp " + std::string(kSaxonJar) + " net.sf.saxon.Transform -s:'" + xml + "' -xsl:'" +
      xsl + "' " + (output.empty() ? "" : "-o:'" + output + "' ") + parameters + " 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), &::pclose);
  std::string out;
  char buffer[4096];
  while (pipe && !std::feof(pipe.get())) {
    const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get());
    out.append(buffer, n);
  }
  return out;
}

#define XSL3                                                                        \
  "<xsl:stylesheet version='3.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform' " \
  "xmlns:xs='http://www.w3.org/2001/XMLSchema' "                                    \
  "xmlns:map='http://www.w3.org/2005/xpath-functions/map' "                         \
  "expand-text='yes'>"

struct FeatureCase {
  const char* name;
  const char* stylesheet;
  std::vector<xml::GlobalParameter> globals;
  const char* commandLineParameters;
  OutputKind kind;
  // The paths of the files xsl:result-document wrote, in order.
  std::vector<std::string> documents = {};
};

std::string FileText(const std::string& path) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  std::string text;
  char buffer[4096];
  while (file && !std::feof(file.get()))
    text.append(buffer, std::fread(buffer, 1, sizeof buffer, file.get()));
  return text;
}

class SaxonFeature : public ::testing::TestWithParam<FeatureCase> {};

TEST_P(SaxonFeature, GivesWhatSaxonsCommandLineGives) {
  if (const char* why = NoSaxon()) GTEST_SKIP() << why;
  const FeatureCase& c = GetParam();
  TempDir job;
  job.Write("doc.xml",
            "<orders>\n  <o c='b' n='2' d='2024-02-29'/>\n  <o c='a' n='1' d='2023-12-01'/>\n"
            "  <o c='b' n='5' d='2024-03-15'/>\n</orders>");
  job.Write("s.xsl", c.stylesheet);
  const Outcome got = RunJob(job.File("doc.xml"), job.File("s.xsl"), {}, c.globals);
  ASSERT_EQ(got.error, "");
  EXPECT_EQ(got.heard.engine, "Saxon-HE");
  EXPECT_EQ(got.result.kind, c.kind);
  if (c.documents.empty()) {
    EXPECT_EQ(got.output,
              SaxonCommandLine(job.File("doc.xml"), job.File("s.xsl"), c.commandLineParameters));
    EXPECT_TRUE(got.result.documents.empty());
    return;
  }
  // The command line writes its files beside its output; the engine hands
  // them back with the same paths and bytes.
  SaxonCommandLine(job.File("doc.xml"), job.File("s.xsl"), c.commandLineParameters,
                   job.File("out/main.out"));
  EXPECT_EQ(got.output, FileText(job.File("out/main.out")));
  ASSERT_EQ(got.result.documents.size(), c.documents.size());
  for (std::size_t i = 0; i < c.documents.size(); ++i) {
    EXPECT_EQ(got.result.documents[i].path, c.documents[i]);
    EXPECT_EQ(got.result.documents[i].bytes, FileText(job.File("out/" + c.documents[i])))
        << c.documents[i];
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SaxonFeature,
    ::testing::Values(
        FeatureCase{
            "for_each_group",
            XSL3 "<xsl:output method='html' html-version='5'/><xsl:template match='/'><html><body>"
                 "<xsl:for-each-group select='//o' group-by='@c'><xsl:sort "
                 "select='current-grouping-key()'/>"
                 "<p>{current-grouping-key()}: {sum(current-group()/@n)}</p></xsl:for-each-group>"
                 "</body></html></xsl:template></xsl:stylesheet>",
            {},
            "",
            OutputKind::kHtml},
        FeatureCase{
            "iterate",
            XSL3
            "<xsl:template match='/'><r><xsl:iterate select='//o'><xsl:param name='t' select='0'/>"
            "<xsl:on-completion><total>{$t}</total></xsl:on-completion>"
            "<xsl:next-iteration><xsl:with-param name='t' select='$t + @n'/></xsl:next-iteration>"
            "</xsl:iterate></r></xsl:template></xsl:stylesheet>",
            {},
            "",
            OutputKind::kXml},
        FeatureCase{"maps",
                    XSL3
                    "<xsl:output method='text'/><xsl:template match='/'>"
                    "<xsl:variable name='m' select=\"map:merge(//o ! map{string(@c): number(@n)}, "
                    "map{'duplicates': 'combine'})\"/>"
                    "<xsl:for-each select='sort(map:keys($m))'>{.}={sum($m(.))};</xsl:for-each>"
                    "</xsl:template></xsl:stylesheet>",
                    {},
                    "",
                    OutputKind::kText},
        FeatureCase{
            "regex",
            XSL3
            "<xsl:template match='/'><r><xsl:analyze-string select=\"'a1b22c333'\" regex='[0-9]+'>"
            "<xsl:matching-substring><n>{.}</n></xsl:matching-substring>"
            "<xsl:non-matching-substring><t>{upper-case(.)}</t></xsl:non-matching-substring>"
            "</xsl:analyze-string>{replace('2024-02-29', '(\\d+)-(\\d+)-(\\d+)', '$3.$2.$1')}</r>"
            "</xsl:template></xsl:stylesheet>",
            {},
            "",
            OutputKind::kXml},
        FeatureCase{
            "text_value_templates",
            XSL3 "<xsl:output method='xml' indent='yes'/><xsl:template match='o'>"
                 "<line n='{position()}'>{@c} has {@n * 10} {if (@n > 1) then 'units' else "
                 "'unit'}</line>"
                 "</xsl:template><xsl:template match='/'><r><xsl:apply-templates select='//o'/></r>"
                 "</xsl:template></xsl:stylesheet>",
            {},
            "",
            OutputKind::kXml},
        FeatureCase{"format_date",
                    XSL3 "<xsl:output method='text'/><xsl:template match='/'>"
                         "<xsl:for-each select='//o'>{format-date(xs:date(@d), '[FNn], [D1o] [MNn] "
                         "[Y0001]')}&#10;</xsl:for-each>"
                         "</xsl:template></xsl:stylesheet>",
                    {},
                    "",
                    OutputKind::kText},
        FeatureCase{"json_output",
                    XSL3 "<xsl:output method='json' indent='no'/><xsl:template match='/'>"
                         "<xsl:sequence select=\"map{'count': count(//o), 'codes': "
                         "array{distinct-values(//o/@c)}}\"/>"
                         "</xsl:template></xsl:stylesheet>",
                    {},
                    "",
                    OutputKind::kText},
        FeatureCase{
            "strip_space_on_the_built_tree",
            XSL3 "<xsl:strip-space elements='*'/><xsl:output method='text'/>"
                 "<xsl:template match='/'>{count(/orders/node())}</xsl:template></xsl:stylesheet>",
            {},
            "",
            OutputKind::kText},
        FeatureCase{"string_parameter_is_untyped",
                    XSL3 "<xsl:param name='p' select='0'/><xsl:output method='text'/>"
                         "<xsl:template match='/'>{$p + 1} {$p instance of "
                         "xs:untypedAtomic}</xsl:template></xsl:stylesheet>",
                    {{"p", "41", false}},
                    "p=41",
                    OutputKind::kText},
        FeatureCase{"xpath_parameter",
                    XSL3 "<xsl:param name='p' as='xs:integer*'/><xsl:output method='text'/>"
                         "<xsl:template match='/'>{sum($p)}</xsl:template></xsl:stylesheet>",
                    {{"p", "(1, 2, 39)", true}},
                    "'?p=(1, 2, 39)'",
                    OutputKind::kText},
        FeatureCase{"result_documents",
                    XSL3
                    "<xsl:output method='html' html-version='5'/><xsl:template match='/'>"
                    "<html><body><xsl:for-each-group select='//o' group-by='@c'>"
                    "<xsl:result-document href='codes/{current-grouping-key()}.xml' method='xml' "
                    "indent='no'><code n='{sum(current-group()/@n)}'/></xsl:result-document>"
                    "<a href='codes/{current-grouping-key()}.xml'>{current-grouping-key()}</a>"
                    "</xsl:for-each-group>"
                    "<xsl:result-document href='./sub/../all%20codes.txt' method='text'>"
                    "{//o/@c}</xsl:result-document></body></html>"
                    "</xsl:template></xsl:stylesheet>",
                    {},
                    "",
                    OutputKind::kHtml,
                    {"codes/b.xml", "codes/a.xml", "all codes.txt"}},
        FeatureCase{"result_document_without_href_is_the_output",
                    XSL3
                    "<xsl:template match='/'><xsl:result-document method='text'>"
                    "{count(//o)} orders</xsl:result-document></xsl:template></xsl:stylesheet>",
                    {},
                    "",
                    OutputKind::kText}),
    [](const auto& info) { return std::string(info.param.name); });

// The defaults the parameters panel offers: those of the declaration that
// import precedence makes win, in whichever module of the include and import
// tree it is.
struct DefaultsCase {
  const char* name;
  // The modules' declarations, s.xsl the main one; "{outside}" stands for a
  // folder outside the job, where o.xsl is.
  std::vector<std::pair<const char*, const char*>> modules;
  std::vector<std::string> declared;  // name=default, by name
};

class SaxonDefaults : public ::testing::TestWithParam<DefaultsCase> {};

TEST_P(SaxonDefaults, AreThoseOfTheWinningDeclaration) {
  if (const char* why = NoSaxon()) GTEST_SKIP() << why;
  const DefaultsCase& c = GetParam();
  TempDir job, outside;
  const auto module = [](std::string body) {
    return "<xsl:stylesheet version='3.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>" +
           body + "</xsl:stylesheet>";
  };
  outside.Write("o.xsl", module("<xsl:param name='r' select=\"'outside'\"/>"));
  ASSERT_EQ(::mkdir(job.File("sub").c_str(), 0700), 0);
  for (const auto& [name, body] : c.modules) {
    std::string text = body;
    if (const auto at = text.find("{outside}"); at != std::string::npos) {
      text.replace(at, 9, outside.path());
    }
    job.Write(name, module(text));
  }
  job.Write("doc.xml", "<d/>");
  const Outcome got = RunJob(job.File("doc.xml"), job.File("s.xsl"));
  ASSERT_EQ(got.error, "");
  EXPECT_EQ(got.heard.declared, c.declared);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SaxonDefaults,
    ::testing::Values(
        // A select expression or a content; one only an import declares.
        DefaultsCase{"in_the_main_module_and_an_import",
                     {{"s.xsl",
                       "<xsl:import href='imp.xsl'/><xsl:param name='p' select=\"'main'\"/>"
                       "<xsl:param name='t'>text</xsl:param>"},
                      {"imp.xsl",
                       "<xsl:param name='p' select=\"'imp'\"/>"
                       "<xsl:param name='r' select='1 + 1'/>"}},
                     {"p='main'", "r=1 + 1", "t=text"}},
        // An included module counts as the main one, before any import.
        DefaultsCase{"in_an_include_and_an_import",
                     {{"s.xsl", "<xsl:import href='imp.xsl'/><xsl:include href='inc.xsl'/>"},
                      {"inc.xsl", "<xsl:param name='p' select=\"'inc'\"/>"},
                      {"imp.xsl", "<xsl:param name='p' select=\"'imp'\"/>"}},
                     {"p='inc'"}},
        // The last import first, and what it imports before the imports
        // ahead of it; an href relative to the module that has it.
        DefaultsCase{
            "in_imports_of_imports",
            {{"s.xsl", "<xsl:import href='a.xsl'/><xsl:import href='sub/b.xsl'/>"},
             {"a.xsl",
              "<xsl:param name='p' select=\"'a'\"/>"
              "<xsl:param name='deep' select=\"'a'\"/>"},
             {"sub/b.xsl", "<xsl:import href='c.xsl'/><xsl:param name='p' select=\"'b'\"/>"},
             {"sub/c.xsl",
              "<xsl:param name='p' select=\"'c'\"/>"
              "<xsl:param name='deep' select=\"'c'\"/>"}},
            {"deep='c'", "p='b'"}},
        DefaultsCase{"in_an_import_of_an_include",
                     {{"s.xsl", "<xsl:include href='inc.xsl'/>"},
                      {"inc.xsl", "<xsl:import href='deep.xsl'/>"},
                      {"deep.xsl", "<xsl:param name='x'>deep</xsl:param>"}},
                     {"x=deep"}},
        // Left out of the compile, which a walk of the modules does not know.
        DefaultsCase{"behind_an_include_cycle",
                     {{"s.xsl", "<xsl:include href='inc.xsl'/>"},
                      {"inc.xsl",
                       "<xsl:include href='s.xsl' use-when='false()'/>"
                       "<xsl:param name='q'>inc</xsl:param>"}},
                     {"q=inc"}},
        // A module the read policy refuses, or that is missing, gives none,
        // and the job runs as without it.
        DefaultsCase{"beside_unreadable_modules",
                     {{"s.xsl",
                       "<xsl:import href='imp.xsl'/>"
                       "<xsl:import href='{outside}/o.xsl' use-when='false()'/>"
                       "<xsl:import href='missing.xsl' use-when='false()'/>"},
                      {"imp.xsl", "<xsl:param name='r' select='1'/>"}},
                     {"r=1"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct EndingCase {
  const char* name;
  const char* stylesheet;  // "{outside}" stands for a folder outside the job
  const char* document;
  std::uint64_t memoryLimit;
  const char* said;  // part of the error, or of the reason the document did not load
  bool notLoaded;
  std::uint64_t maxDocuments = xml::kDefaultMaxOutputDocuments;
};

class SaxonEnding : public ::testing::TestWithParam<EndingCase> {};

TEST_P(SaxonEnding, SaysWhyInTheWindowsWords) {
  if (const char* why = NoSaxon()) GTEST_SKIP() << why;
  const EndingCase& c = GetParam();
  TempDir job, outside;
  outside.Write("secret.xml", "<s>secret</s>");
  outside.Write("secret.txt", "secret");
  outside.Write("x.dtd", "<!ENTITY e 'outside'>");
  std::string xsl = c.stylesheet, xml = c.document, said = c.said;
  for (std::string* text : {&xsl, &xml, &said}) {
    for (auto at = text->find("{outside}"); at != std::string::npos; at = text->find("{outside}")) {
      text->replace(at, 9, outside.path());
    }
  }
  job.Write("doc.xml", xml);
  job.Write("s.xsl", xsl);
  transform::EngineSettings settings;
  settings.memoryLimit = c.memoryLimit;
  const auto start = std::chrono::steady_clock::now();
  const Outcome got = RunJob(job.File("doc.xml"), job.File("s.xsl"), settings, {}, c.maxDocuments);
  std::printf(
      "%s: %.0f ms\n", c.name,
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  if (c.notLoaded) {
    ASSERT_TRUE(got.result.notLoaded.has_value()) << got.error;
    EXPECT_THAT(got.result.notLoaded->reason, HasSubstr(said));
  } else {
    // "a|b": either ending is right (which one comes first is the VM's).
    const std::size_t bar = said.find('|');
    const std::string other = bar == std::string::npos ? said : said.substr(bar + 1);
    EXPECT_THAT(got.error, ::testing::AnyOf(HasSubstr(said.substr(0, bar)), HasSubstr(other)));
  }
  EXPECT_THAT(got.output, ::testing::Not(HasSubstr("secret")));
  EXPECT_TRUE(got.result.documents.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SaxonEnding,
    ::testing::Values(
        EndingCase{"static_error",
                   XSL3 "<xsl:template match='/'><xsl:bogus/></xsl:template></xsl:stylesheet>",
                   "<r/>", 0, "s.xsl:1:", false},
        EndingCase{"static_error_code",
                   XSL3 "<xsl:template match='/'><xsl:bogus/></xsl:template></xsl:stylesheet>",
                   "<r/>", 0, "XTSE0010: Unknown XSLT element", false},
        EndingCase{"undeclared_prefix",
                   XSL3 "<xsl:template match='/'>{foo:bar()}</xsl:template></xsl:stylesheet>",
                   "<r/>", 0, "XPST0081", false},
        EndingCase{"dynamic_error",
                   XSL3 "<xsl:template match='/'>{1 div 0}</xsl:template></xsl:stylesheet>", "<r/>",
                   0, "The transformation failed:", false},
        EndingCase{"terminate",
                   XSL3 "<xsl:template match='/'><xsl:message terminate='yes'>Stop "
                        "{count(//*)}</xsl:message></xsl:template></xsl:stylesheet>",
                   "<r/>", 0, "ended by xsl:message terminate=\"yes\": Stop 1", false},
        EndingCase{"result_document_above",
                   XSL3 "<xsl:template match='/'><xsl:result-document "
                        "href='sub/../../other.html'><p/></xsl:result-document></xsl:template>"
                        "</xsl:stylesheet>",
                   "<r/>", 0,
                   "Refused: a stylesheet may not write files outside the folder of its output "
                   "(sub/../../other.html)",
                   false},
        EndingCase{"result_document_absolute",
                   XSL3 "<xsl:template match='/'><xsl:result-document "
                        "href='{outside}/other.html'><p/></xsl:result-document></xsl:template>"
                        "</xsl:stylesheet>",
                   "<r/>", 0,
                   "Refused: a stylesheet may not write files outside the folder of its output "
                   "({outside}/other.html)",
                   false},
        EndingCase{"result_document_refusal_caught",
                   XSL3 "<xsl:template match='/'><xsl:try><xsl:result-document "
                        "href='file:///tmp/x.html'><p/></xsl:result-document><xsl:catch/>"
                        "</xsl:try></xsl:template></xsl:stylesheet>",
                   "<r/>", 0,
                   "Refused: a stylesheet may not write files outside the folder of its output "
                   "(file:///tmp/x.html)",
                   false},
        EndingCase{"result_documents_over_the_limit",
                   XSL3
                   "<xsl:template match='/'><xsl:for-each select='1 to 3'><xsl:result-document "
                   "href='{.}.xml'><p/></xsl:result-document></xsl:for-each></xsl:template>"
                   "</xsl:stylesheet>",
                   "<r/>", 0,
                   "The stylesheet wrote more than 2 files, the most one transformation may write",
                   false, 2},
        EndingCase{"java_call",
                   XSL3
                   "<xsl:template "
                   "match='/'>{Q{java:java.lang.System}exit(1)}</xsl:template></xsl:stylesheet>",
                   "<r/>", 0, "XPST0017", false},
        EndingCase{
            "doc_outside",
            XSL3
            "<xsl:template match='/'>{doc('{outside}/secret.xml')}</xsl:template></xsl:stylesheet>",
            "<r/>", 0, "Refused: the transformation may not read", false},
        EndingCase{"include_outside",
                   XSL3 "<xsl:include href='{outside}/secret.xml'/></xsl:stylesheet>", "<r/>", 0,
                   "Refused: the transformation may not read", false},
        EndingCase{
            "unparsed_text_outside",
            XSL3
            "<xsl:template "
            "match='/'>{unparsed-text('{outside}/secret.txt')}</xsl:template></xsl:stylesheet>",
            "<r/>", 0, "Refused: the transformation may not read", false},
        EndingCase{"collection_outside",
                   XSL3
                   "<xsl:template "
                   "match='/'>{count(collection('{outside}'))}</xsl:template></xsl:stylesheet>",
                   "<r/>", 0, "Refused: the transformation may not read", false},
        EndingCase{"json_doc_outside",
                   XSL3
                   "<xsl:template "
                   "match='/'>{json-doc('{outside}/secret.txt')}</xsl:template></xsl:stylesheet>",
                   "<r/>", 0, "Refused: the transformation may not read", false},
        EndingCase{"network",
                   XSL3
                   "<xsl:template "
                   "match='/'>{doc('http://127.0.0.1:9/x.xml')}</xsl:template></xsl:stylesheet>",
                   "<r/>", 0,
                   "Refused: a stylesheet may not read from the network (http://127.0.0.1:9/x.xml)",
                   false},
        EndingCase{"dtd_outside",
                   XSL3 "<xsl:template match='/'>{.}</xsl:template></xsl:stylesheet>",
                   "<!DOCTYPE r SYSTEM '{outside}/x.dtd'><r>&e;</r>", 0,
                   "Refused: the transformation may not read", true},
        EndingCase{"document_not_well_formed", XSL3 "</xsl:stylesheet>", "<r><a></r>", 0,
                   "must be terminated", true},
        EndingCase{"runaway_recursion",
                   XSL3 "<xsl:function name='Q{urn:f}r'><xsl:param name='n'/><xsl:sequence "
                        "select='Q{urn:f}r($n + 1) + 1'/></xsl:function>"
                        "<xsl:template match='/'>{Q{urn:f}r(1)}</xsl:template></xsl:stylesheet>",
                   "<r/>", 0, "SXLM0001|called each other too deeply", false},
        EndingCase{"over_the_memory_limit",
                   XSL3 "<xsl:template match='/'>{string-length(string-join(for $i in 1 to "
                        "50000000 return string($i), ','))}</xsl:template></xsl:stylesheet>",
                   "<r/>", 400ULL << 20, "needed more than 400 MB of memory", false}),
    [](const auto& info) { return std::string(info.param.name); });

struct CatalogCase {
  const char* name;
  const char* doctype;
};

class SaxonCatalog : public ::testing::TestWithParam<CatalogCase> {};

// A DTD named by its web address is read from the local copy the system's
// catalogs name, under the read policy, as in the libxslt engine.
TEST_P(SaxonCatalog, LeadsToTheLocalDtdAsInLibxslt) {
  if (const char* why = NoSaxon()) GTEST_SKIP() << why;
  constexpr const char* kDtd = "/usr/share/xml/docbook/schema/dtd/4.5/docbookx.dtd";
  if (::access(kDtd, R_OK) != 0) GTEST_SKIP() << "docbook-xml is not installed";
  TempDir job;
  job.Write("doc.xml", std::string("<?xml version='1.0'?>\n") + GetParam().doctype +
                           "\n<article><title>A &mdash; B &copy;</title></article>");
  job.Write("s1.xsl",
            "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
            "<xsl:output method='text'/><xsl:template match='/'><xsl:value-of "
            "select='//title'/></xsl:template></xsl:stylesheet>");
  job.Write("s3.xsl", XSL3
            "<xsl:output method='text'/><xsl:template match='/'>{//title}"
            "</xsl:template></xsl:stylesheet>");
  const Outcome libxslt = RunJob(job.File("doc.xml"), job.File("s1.xsl"));
  const Outcome saxon = RunJob(job.File("doc.xml"), job.File("s3.xsl"));
  ASSERT_EQ(saxon.error, "");
  ASSERT_FALSE(saxon.result.notLoaded.has_value()) << saxon.result.notLoaded->reason;
  EXPECT_EQ(saxon.heard.engine, "Saxon-HE");
  EXPECT_EQ(saxon.output, "A \u2014 B \u00A9");
  EXPECT_EQ(saxon.output, libxslt.output);
  EXPECT_THAT(saxon.heard.read, HasSubstr(std::string(kDtd) + "\n"));
  EXPECT_THAT(saxon.heard.read, ::testing::Not(HasSubstr("http:")));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SaxonCatalog,
    ::testing::Values(CatalogCase{"public_and_system_id",
                                  "<!DOCTYPE article PUBLIC '-//OASIS//DTD DocBook XML V4.5//EN' "
                                  "'http://www.oasis-open.org/docbook/xml/4.5/docbookx.dtd'>"},
                      CatalogCase{"system_id_alone",
                                  "<!DOCTYPE article SYSTEM "
                                  "'http://www.oasis-open.org/docbook/xml/4.5/docbookx.dtd'>"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SaxonEngine, AnXsltOneStylesheetRunsInLibxsltAsBefore) {
  TempDir job;
  job.Write("doc.xml", "<r>x</r>");
  job.Write("s.xsl",
            "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
            "<xsl:output method='text'/><xsl:template match='/'>[<xsl:value-of "
            "select='system-property(\"xsl:vendor\")'/>]</xsl:template></xsl:stylesheet>");
  const Outcome got = RunJob(job.File("doc.xml"), job.File("s.xsl"));
  EXPECT_EQ(got.heard.engine, "libxslt");
  EXPECT_EQ(got.output, "[libxslt]");
}

struct MissingCase {
  const char* name;
  const char* argument;
  const char* said;
};

class SaxonMissing : public ::testing::TestWithParam<MissingCase> {};

TEST_P(SaxonMissing, NamesThePackagesToInstall) {
  if (const char* why = NoSaxonProcess()) GTEST_SKIP() << why;
  const MissingCase& c = GetParam();
  TempDir job;
  job.Write("doc.xml", "<r/>");
  job.Write("s.xsl", XSL3 "<xsl:template match='/'><r/></xsl:template></xsl:stylesheet>");
  PosixProcessLauncher launcher;
  transform::HelperEngine engine(launcher, BuildDir() + "/xmlpellor-saxon-engine", {},
                                 {c.argument});
  const transform::JobRequest request = RequestFor(engine, job.File("doc.xml"), job.File("s.xsl"));
  transform::JobEvents events;
  try {
    engine.Run(request, events);
    ADD_FAILURE() << "ran without " << c.name;
  } catch (const RuntimeError& e) {
    EXPECT_THAT(e.record().description, HasSubstr(c.said));
    EXPECT_THAT(e.record().description, HasSubstr("libsaxonhe-java and default-jre-headless"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SaxonMissing,
    ::testing::Values(MissingCase{"saxon", "--saxon-jar=/nonexistent/Saxon-HE.jar",
                                  "Saxon-HE (/nonexistent/Saxon-HE.jar) is not installed"},
                      MissingCase{"java", "--java=/nonexistent/libjvm.so",
                                  "no Java runtime is installed"}),
    [](const auto& info) { return std::string(info.param.name); });

struct StopCase {
  const char* name;
  bool engineReady;  // prepared and given time to start its VM
  const char* stylesheet;
};

class SaxonStop : public ::testing::TestWithParam<StopCase> {};

// A stop ends the engine's process wherever it is: starting its VM,
// compiling, transforming.
TEST_P(SaxonStop, EndsTheJobWhereverItIs) {
  if (const char* why = NoSaxon()) GTEST_SKIP() << why;
  const StopCase& c = GetParam();
  TempDir job;
  job.Write("doc.xml", "<r/>");
  job.Write("s.xsl", c.stylesheet);
  PosixProcessLauncher launcher;
  transform::ChoosingEngine engine(launcher, BuildDir() + "/xmlpellor-engine",
                                   BuildDir() + "/xmlpellor-saxon-engine", {});
  if (c.engineReady) {
    engine.Prepare(job.File("s.xsl"));
    std::this_thread::sleep_for(std::chrono::seconds(3));
  }
  const transform::JobRequest request = RequestFor(engine, job.File("doc.xml"), job.File("s.xsl"));
  transform::JobEvents events;
  StopToken token;
  std::optional<std::int32_t> ended;
  const std::function<void()> run = [&] {
    try {
      engine.Run(request, events);
    } catch (const RuntimeError& e) {
      ended = e.number();
    }
  };
  StackThread thread(run, token, [] {});
  // Into the job's own work: the VM is up, the stylesheet compiles in well under this.
  std::this_thread::sleep_for(std::chrono::milliseconds(c.engineReady ? 1500 : 100));
  const auto stopped = std::chrono::steady_clock::now();
  token.RequestStop();
  ASSERT_TRUE(thread.WaitFor(std::chrono::seconds(60)));
  std::printf("%s: the job ended %.0f ms after the stop\n", c.name,
              std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - stopped)
                  .count());
  thread.Join();
  EXPECT_EQ(ended, err::kUserInterrupt);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SaxonStop,
    ::testing::Values(StopCase{"while_the_vm_starts", false,
                               XSL3 "<xsl:template match='/'><r/></xsl:template></xsl:stylesheet>"},
                      StopCase{"while_transforming", true,
                               XSL3 "<xsl:template match='/'>{count((1 to 2000000000)[. mod 7 = "
                                    "count(//*) + 99])}</xsl:template></xsl:stylesheet>"}),
    [](const auto& info) { return std::string(info.param.name); });

// Origins of a 3.0 stylesheet's result, in the shape the libxslt engine's
// have: each element marked with its entry, its template, instruction and
// source node, its attributes and texts as parts.
// The job run once plainly and once marked, in one engine.
struct OriginRuns {
  transform::JobResult plain, marked;
  std::string engine;
};

const OriginRuns& OrdersRuns() {
  static const OriginRuns runs = [] {
    OriginRuns made;
    const char* data = std::getenv("XMLPELLOR_TEST_DATA");
    if (data == nullptr) return made;
    PosixProcessLauncher launcher;
    transform::ChoosingEngine engine(launcher, BuildDir() + "/xmlpellor-engine",
                                     BuildDir() + "/xmlpellor-saxon-engine", {});
    transform::JobRequest request = RequestFor(engine, std::string(data) + "/origins/orders.xml",
                                               std::string(data) + "/origins/orders3.xsl");
    Heard heard;
    for (const wire::Instrument instrument : {wire::Instrument::kNone, wire::Instrument::kOrigin}) {
      request.instrument = instrument;
      const auto start = std::chrono::steady_clock::now();
      transform::JobResult result = engine.Run(request, heard);
      std::printf(
          "Apply %s: %.0f ms\n", instrument == wire::Instrument::kNone ? "plain" : "marked",
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count());
      (instrument == wire::Instrument::kNone ? made.plain : made.marked) = std::move(result);
    }
    made.engine = heard.engine;
    return made;
  }();
  return runs;
}

class SaxonOrigin : public ::testing::TestWithParam<OriginCase> {};

TEST_P(SaxonOrigin, NamesTemplateInstructionAndSource) {
  if (const char* why = NoSaxon()) GTEST_SKIP() << why;
  const OriginRuns& runs = OrdersRuns();
  ASSERT_EQ(runs.engine, "Saxon-HE");
  ExpectOrigin(GetParam(), runs.marked.output, runs.marked.origins, "orders3.xsl", "orders.xml");
}

using xml::OriginPart;
INSTANTIATE_TEST_SUITE_P(
    Orders, SaxonOrigin,
    ::testing::Values(
        OriginCase{"//body", OriginPart::kElement, "", "match=/", 4, "<body>", 5, "/", 0},
        OriginCase{"//div[@id='order-2']", OriginPart::kElement, "", "match=order", 11,
                        "<div>", 12, "/orders/order[2]", 7},
        OriginCase{"//div[@id='order-2']", OriginPart::kAttribute, "class", "match=order", 11,
                        "<div>", 12, "/orders/order[2]", 7},
        OriginCase{"//div[@id='order-2']", OriginPart::kAttribute, "id", "match=order", 11,
                        "xsl:attribute", 13, "/orders/order[2]", 7},
        OriginCase{"//p[.='Bread']", OriginPart::kElement, "", "match=item priority=2", 19,
                        "xsl:element", 20, "/orders/order[1]/item[2]", 5},
        OriginCase{"//p[.='Bread']", OriginPart::kText, "Bread", "match=item priority=2", 19,
                        "xsl:value-of", 21, "/orders/order[1]/item[2]", 5},
        // The only item of its order: no position, as XPath writes it.
        OriginCase{"//p[.='Cheese']", OriginPart::kElement, "", "match=item priority=2", 19,
                        "xsl:element", 20, "/orders/order[2]/item", 8},
        OriginCase{"//note", OriginPart::kElement, "", "match=order", 11, "xsl:copy-of", 15,
                        "/orders/order[2]", 7},
        // A text value template's text, after a child element of its own.
        OriginCase{"(//span)[1]", OriginPart::kText, "2 items", "match=order", 11, "text", 16,
                        "/orders/order[1]", 3},
        OriginCase{"(//order)[2]", OriginPart::kElement, "", "match=order mode=summary", 24,
                        "xsl:copy", 25, "/orders/order[2]", 7},
        // Made two calls deep in the template that calls itself.
        OriginCase{"(//order)[1]/b[2]", OriginPart::kElement, "", "name=stars", 32, "<b>", 35,
                        "/orders/order[1]", 3},
        OriginCase{"(//order)[1]", OriginPart::kText, "AppleBread", "", 0,
                        "xsl:apply-templates, by the built-in template rule", 29,
                        "/orders/order[1]", 3},
        // Its start tag waits in Saxon's outputter while the next one of the
        // same instruction begins, for the order below.
        OriginCase{"//ul[@data-name='orders']", OriginPart::kElement, "", "match=* mode=nest",
                        41, "<ul>", 42, "/orders", 2},
        OriginCase{"(//ul[@data-name='order'])[2]", OriginPart::kElement, "",
                        "match=* mode=nest", 41, "<ul>", 42, "/orders/order[2]", 7},
        OriginCase{"//ul[@data-name='note']", OriginPart::kElement, "", "match=* mode=nest",
                        41, "<ul>", 42, "/orders/order[2]/note", 9}));

TEST(SaxonOrigins, MarksAreTheOnlyDifferenceFromThePlainRun) {
  if (const char* why = NoSaxon()) GTEST_SKIP() << why;
  const OriginRuns& runs = OrdersRuns();
  EXPECT_TRUE(runs.plain.origins.Empty());
  ASSERT_FALSE(runs.marked.origins.Empty());
  EXPECT_EQ(runs.marked.kind, runs.plain.kind);
  EXPECT_EQ(runs.plain.output.find(xml::kOriginAttribute), std::string::npos);
  std::size_t marks = 0;
  EXPECT_EQ(Unmarked(runs.marked.output, &marks), runs.plain.output);
  const auto& origins = runs.marked.origins.origins;
  EXPECT_EQ(marks, static_cast<std::size_t>(std::count_if(
                       origins.begin(), origins.end(),
                       [](const xml::Origin& o) { return o.part == xml::OriginPart::kElement; })));
}

// A text written after an element's children follows their entries in the
// table; the panel still lists it with its element.
TEST(SaxonOrigins, ThePanelGathersTextWrittenAfterChildElements) {
  if (const char* why = NoSaxon()) GTEST_SKIP() << why;
  const xml::OriginTable& table = OrdersRuns().marked.origins;
  std::vector<std::string> seen;
  for (std::uint64_t i = 0; i < table.origins.size(); ++i) {
    xml::OriginView view;
    if (!xml::ViewOrigin(table, i, view) || view.instruction != "xsl:copy") continue;
    std::string parts;
    for (const auto& part : view.parts) parts += part.what + "|" + part.instruction + ";";
    seen.push_back(view.templ + " " + view.source + " " + parts);
  }
  EXPECT_EQ(seen,
            (std::vector<std::string>{
                "match=\"order\" mode=\"summary\" /orders/order[1] text \u201cAppleBread\u201d|"
                "xsl:apply-templates, by the built-in template rule;",
                "match=\"order\" mode=\"summary\" /orders/order[2] text \u201cCheese\u201d|"
                "xsl:apply-templates, by the built-in template rule;"}));
}

// Saxon's trace counts each template as libxslt does: the same job gives
// the same calls in either engine.
class SaxonProfile : public ::testing::TestWithParam<transform::XsltEngine> {};

TEST_P(SaxonProfile, CountsTheCallsLibxsltCounts) {
  if (const char* why = NoSaxon()) GTEST_SKIP() << why;
  const char* data = std::getenv("XMLPELLOR_TEST_DATA");
  ASSERT_NE(data, nullptr);
  const std::string xml = std::string(data) + "/profile/orders.xml";
  const std::string xsl = std::string(data) + "/profile/report.xsl";
  transform::EngineSettings settings;
  settings.xsltEngine = GetParam();
  PosixProcessLauncher launcher;
  transform::ChoosingEngine engine(launcher, BuildDir() + "/xmlpellor-engine",
                                   BuildDir() + "/xmlpellor-saxon-engine", settings);
  transform::JobRequest request = RequestFor(engine, xml, xsl);
  request.instrument = wire::Instrument::kProfile;
  Heard heard;
  const transform::JobResult result = engine.Run(request, heard);
  ASSERT_TRUE(result.profile.has_value());
  std::vector<std::string> counted;
  for (const auto& t : result.profile->templates) {
    if (t.calls == 0) continue;  // Saxon tells of the templates that ran
    counted.push_back(t.match + "|" + t.name + "|" + t.mode + "|" + t.file + ":" +
                      std::to_string(t.line) + "|" + std::to_string(t.calls));
  }
  std::sort(counted.begin(), counted.end());
  const std::string dir = std::string(data) + "/profile/";
  std::vector<std::string> expected{
      "/|||" + dir + "report.xsl:6|1",          "item|||" + dir + "report.xsl:18|6",
      "item||summary|" + dir + "parts.xsl:3|6", "order|||" + dir + "report.xsl:11|3",
      "|stars||" + dir + "report.xsl:24|22",    "|title||" + dir + "report.xsl:16|3",
  };
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(counted, expected);
  EXPECT_EQ(heard.engine, GetParam() == transform::XsltEngine::kSaxon ? "Saxon-HE" : "libxslt");
}

INSTANTIATE_TEST_SUITE_P(Engines, SaxonProfile,
                         ::testing::Values(transform::XsltEngine::kLibxslt,
                                           transform::XsltEngine::kSaxon));

}  // namespace
}  // namespace xmlpellor::test
