#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "main_window/CommandLine.h"

namespace xmlpellor::test {
namespace {

using Action = CommandLine::Action;

struct CommandLineCase {
  const char* name;
  std::vector<std::string> arguments;
  Action action;
  std::string xml;
  std::string xsl;
  std::string error = {};
  bool verbose = false;
  bool follow = true;
  std::vector<xml::GlobalParameter> parameters = {};
};

class ParsedCommandLine : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(ParsedCommandLine, GivesTheActionAndTheBoxes) {
  const CommandLineCase& c = GetParam();
  const CommandLine got = ParseCommandLine(c.arguments, "/work/here", "/home/ann");
  EXPECT_EQ(got.action, c.action);
  EXPECT_EQ(got.xml, c.xml);
  EXPECT_EQ(got.xsl, c.xsl);
  EXPECT_EQ(got.error, c.error);
  EXPECT_EQ(got.verbose, c.verbose);
  EXPECT_EQ(got.follow, c.follow);
  EXPECT_EQ(got.parameters, c.parameters);
  EXPECT_EQ(got.ApplyAtStart(), !c.xml.empty() && !c.xsl.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParsedCommandLine,
    ::testing::Values(
        CommandLineCase{"nothing", {}, Action::Run, "", ""},
        CommandLineCase{"version", {"--version"}, Action::ShowVersion, "", ""},
        CommandLineCase{"help", {"--help"}, Action::ShowHelp, "", ""},
        CommandLineCase{"help_beats_files", {"a.xml", "b.xsl", "c", "--help"}, Action::ShowHelp, "", ""},
        CommandLineCase{"unknown_option", {"a.xml", "--frobnicate"}, Action::Refuse, "", "", "unknown option '--frobnicate'"},
        CommandLineCase{"unknown_even_with_help_after", {"--bad", "--help"}, Action::Refuse, "", "", "unknown option '--bad'"},
        CommandLineCase{"three_files", {"a.xml", "b.xsl", "c.xml"}, Action::Refuse, "", "", "too many files: name at most a document and a stylesheet"},
        CommandLineCase{"qt_option_without_value", {"-style"}, Action::Refuse, "", "", "option '-style' needs a value"},
        CommandLineCase{"document_only", {"doc.xml"}, Action::Run, "/work/here/doc.xml", ""},
        CommandLineCase{"both_in_order", {"doc.xml", "sub/style.xsl"}, Action::Run, "/work/here/doc.xml", "/work/here/sub/style.xsl"},
        CommandLineCase{"stylesheet_first", {"style.XSLT", "doc.xml"}, Action::Run, "/work/here/doc.xml", "/work/here/style.XSLT"},
        CommandLineCase{"stylesheet_only", {"style.xsl"}, Action::Run, "", "/work/here/style.xsl"},
        // A stylesheet is a document too: two of them keep their order.
        CommandLineCase{"two_stylesheets", {"a.xsl", "b.xsl"}, Action::Run, "/work/here/a.xsl", "/work/here/b.xsl"},
        CommandLineCase{"no_extension", {"data", "transform"}, Action::Run, "/work/here/data", "/work/here/transform"},
        CommandLineCase{"absolute_kept", {"/srv/d.xml", "../s.xsl"}, Action::Run, "/srv/d.xml", "/work/here/../s.xsl"},
        CommandLineCase{"dot_slash_dropped", {"./d.xml"}, Action::Run, "/work/here/d.xml", ""},
        CommandLineCase{"home", {"~/d.xml", "~/x/s.xsl"}, Action::Run, "/home/ann/d.xml", "/home/ann/x/s.xsl"},
        CommandLineCase{"other_users_home_not_expanded", {"~bob/d.xml"}, Action::Run, "/work/here/~bob/d.xml", ""},
        CommandLineCase{"after_double_dash_files", {"--", "--help", "-s.xsl"}, Action::Run, "/work/here/--help", "/work/here/-s.xsl"},
        CommandLineCase{"verbose", {"--verbose", "d.xml"}, Action::Run, "/work/here/d.xml", "", "", true},
        CommandLineCase{"no_follow", {"d.xml", "--no-follow"}, Action::Run, "/work/here/d.xml", "", "", false, false},
        // Values are taken as they stand, even when they look like options or files.
        CommandLineCase{"string_parameters", {"--stringparam", "title", "--help", "d.xml", "--stringparam", "n", "s.xsl"},
                        Action::Run, "/work/here/d.xml", "", "", false, true, {{"title", "--help"}, {"n", "s.xsl"}}},
        CommandLineCase{"string_parameter_empty_value", {"--stringparam", "title", ""}, Action::Run, "", "", "", false, true, {{"title", ""}}},
        CommandLineCase{"string_parameter_without_value", {"d.xml", "--stringparam", "title"}, Action::Refuse, "", "",
                        "option '--stringparam' needs a name and a value"},
        // Both kinds keep their order; the window decides what a repeated name means.
        CommandLineCase{"xpath_and_string_parameters", {"--param", "n", "count(//i) + 1", "--stringparam", "t", "a'b\"c", "--param", "n", "'x'"},
                        Action::Run, "", "", "", false, true, {{"n", "count(//i) + 1", true}, {"t", "a'b\"c"}, {"n", "'x'", true}}},
        CommandLineCase{"xpath_parameter_without_expression", {"--param", "n"}, Action::Refuse, "", "",
                        "option '--param' needs a name and an XPath expression"},
        CommandLineCase{"parameter_with_empty_name", {"--param", "", "1"}, Action::Refuse, "", "", "option '--param' needs a name"},
        // xsltproc takes no --param=NAME form; neither is it taken for a file.
        CommandLineCase{"parameter_with_equals", {"--param=n", "1"}, Action::Refuse, "", "", "unknown option '--param=n'"},
        // Qt's own options are Qt's, with their values.
        CommandLineCase{"qt_options_skipped", {"-platform", "offscreen", "d.xml", "--style", "fusion", "-reverse", "-qwindowtitle=T", "s.xsl"},
                        Action::Run, "/work/here/d.xml", "/work/here/s.xsl"},
        CommandLineCase{"chromium_arguments_skipped", {"d.xml", "--webEngineArgs", "--remote-debugging-port=9222", "x.xml"},
                        Action::Run, "/work/here/d.xml", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParsedCommandLine, WithoutAKnownFolderOrHomePathsStayAsGiven) {
  const CommandLine got = ParseCommandLine({"~/d.xml", "s.xsl"}, "", "");
  EXPECT_EQ(got.xml, "~/d.xml");
  EXPECT_EQ(got.xsl, "s.xsl");
}


}  // namespace
}  // namespace xmlpellor::test
