#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <sys/stat.h>

#include <cstdlib>

#include "main_window/CommandLine.h"
#include "main_window/AllowedFolders.h"
#include "support/TempDir.h"

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


std::string Filled(std::string text, const std::string& root) {
  for (auto at = text.find("{root}"); at != std::string::npos; at = text.find("{root}")) {
    text.replace(at, 6, root);
  }
  return text;
}

// An allowed folder must be one: a file or a missing folder ends the start
// with one line, not with a refusal later that advises the option given.
struct XsltEngineCase {
  const char* name;
  std::vector<std::string> arguments;
  transform::XsltEngine engine;
  std::string error;
};

class XsltEngineOption : public ::testing::TestWithParam<XsltEngineCase> {};

TEST_P(XsltEngineOption, NamesOneOfTheEnginesOrIsRefused) {
  const XsltEngineCase& c = GetParam();
  const CommandLine got = ParseCommandLine(c.arguments, "/work/here", "/home/ann");
  EXPECT_EQ(got.error, c.error);
  EXPECT_EQ(got.action, c.error.empty() ? Action::Run : Action::Refuse);
  if (c.error.empty()) {
    EXPECT_EQ(got.xsltEngine, c.engine);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XsltEngineOption,
    ::testing::Values(
        XsltEngineCase{"unset_is_auto", {"a.xml"}, transform::XsltEngine::kAuto, ""},
        XsltEngineCase{"auto", {"--xslt-engine=auto"}, transform::XsltEngine::kAuto, ""},
        XsltEngineCase{"saxon", {"--xslt-engine=saxon", "a.xml"}, transform::XsltEngine::kSaxon, ""},
        XsltEngineCase{"libxslt_apart", {"--xslt-engine", "libxslt"}, transform::XsltEngine::kLibxslt, ""},
        XsltEngineCase{"unknown", {"--xslt-engine=xalan"}, transform::XsltEngine::kAuto,
                       "--xslt-engine: 'xalan' is none of auto, libxslt, saxon"},
        XsltEngineCase{"missing_value", {"--xslt-engine"}, transform::XsltEngine::kAuto,
                       "option '--xslt-engine' needs a value"},
        XsltEngineCase{"longer_name", {"--xslt-engines=saxon"}, transform::XsltEngine::kAuto,
                       "unknown option '--xslt-engines=saxon'"}),
    [](const auto& info) { return std::string(info.param.name); });

struct EditorOptionCase {
  const char* name;
  std::vector<std::string> arguments;
  std::string editor;
  bool profile;
  std::string error;
};

class EditorAndProfileOptions : public ::testing::TestWithParam<EditorOptionCase> {};

TEST_P(EditorAndProfileOptions, AreTakenOrRefused) {
  const EditorOptionCase& c = GetParam();
  const CommandLine got = ParseCommandLine(c.arguments, "/work/here", "/home/ann");
  EXPECT_EQ(got.error, c.error);
  EXPECT_EQ(got.action, c.error.empty() ? Action::Run : Action::Refuse);
  if (c.error.empty()) {
    EXPECT_EQ(got.editor, c.editor);
    EXPECT_EQ(got.profile, c.profile);
    EXPECT_EQ(got.xml, "/work/here/a.xml");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EditorAndProfileOptions,
    ::testing::Values(
        EditorOptionCase{"neither", {"a.xml"}, "", false, ""},
        EditorOptionCase{"inline", {"--editor=kate -l {line} {file}", "a.xml"}, "kate -l {line} {file}", false, ""},
        EditorOptionCase{"apart", {"--editor", "code -g {file}:{line}", "a.xml", "--profile"},
                         "code -g {file}:{line}", true, ""},
        EditorOptionCase{"profile", {"--profile", "a.xml"}, "", true, ""},
        EditorOptionCase{"missing", {"a.xml", "--editor"}, "", false, "option '--editor' needs a command"},
        EditorOptionCase{"open_quote", {"--editor='vim {file}", "a.xml"}, "", false,
                         "--editor: ''vim {file}' is no command (is a quote left open?)"},
        EditorOptionCase{"blank", {"--editor=  ", "a.xml"}, "", false,
                         "--editor: '  ' is no command (is a quote left open?)"},
        EditorOptionCase{"longer_name", {"--editors=vim", "a.xml"}, "", false,
                         "unknown option '--editors=vim'"}),
    [](const auto& info) { return std::string(info.param.name); });

struct AllowReadCase {
  const char* name;
  const char* value;  // {root} is a folder holding dir/ and file.txt
  const char* allowed;
  const char* error;
};

class AllowReadOption : public ::testing::TestWithParam<AllowReadCase> {};

TEST_P(AllowReadOption, TakesOnlyAFolderThatExists) {
  const AllowReadCase& c = GetParam();
  TempDir root;
  ASSERT_EQ(::mkdir(root.File("dir").c_str(), 0700), 0);
  root.Write("file.txt", "x");
  const CommandLine got =
      ParseCommandLine({"--allow-read=" + Filled(c.value, root.path())}, root.path(), root.path());
  if (*c.error == '\0') {
    EXPECT_EQ(got.action, Action::Run) << got.error;
    EXPECT_EQ(got.allowRead, std::vector<std::string>{Filled(c.allowed, root.path())});
  } else {
    EXPECT_EQ(got.action, Action::Refuse);
    EXPECT_EQ(got.error, Filled(c.error, root.path()));
    EXPECT_FALSE(got.usageHelps);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AllowReadOption,
    ::testing::Values(
        AllowReadCase{"folder", "{root}/dir", "{root}/dir", ""},
        AllowReadCase{"relative_folder", "dir", "{root}/dir", ""},
        AllowReadCase{"home_folder", "~/dir", "{root}/dir", ""},
        AllowReadCase{"file", "{root}/file.txt", "",
                      "--allow-read: {root}/file.txt is a file, not a folder"},
        AllowReadCase{"missing", "{root}/nope", "", "--allow-read: {root}/nope does not exist"},
        AllowReadCase{"missing_relative", "nope", "", "--allow-read: {root}/nope does not exist"}),
    [](const auto& info) { return std::string(info.param.name); });

// The settings file is read the same way from wherever the window starts.
struct AllowReadFileCase {
  const char* name;
  const char* content;  // {root} as above
  std::vector<std::string> folders;
  const char* note;  // part of the one note, or "" for none
};

class AllowReadFile : public ::testing::TestWithParam<AllowReadFileCase> {};

TEST_P(AllowReadFile, TrimsLinesAndRefusesWhatIsNoAbsoluteFolder) {
  const AllowReadFileCase& c = GetParam();
  TempDir root;
  ASSERT_EQ(::mkdir(root.File("dir").c_str(), 0700), 0);
  root.Write("file.txt", "x");
  root.Write("allow-read", Filled(c.content, root.path()));
  const char* home = std::getenv("HOME");
  const std::string savedHome = home != nullptr ? home : "";
  ::setenv("HOME", root.path().c_str(), 1);
  const AllowedFolders got = ReadAllowedFoldersFile(root.File("allow-read"));
  ::setenv("HOME", savedHome.c_str(), 1);

  std::vector<std::string> expected;
  for (const auto& folder : c.folders) expected.push_back(Filled(folder, root.path()));
  EXPECT_EQ(got.folders, expected);
  EXPECT_EQ(got.used.size(), expected.size());
  if (*c.note == '\0') {
    EXPECT_TRUE(got.notes.empty()) << got.notes.front();
  } else {
    ASSERT_EQ(got.notes.size(), 1u);
    EXPECT_NE(got.notes[0].find(Filled(c.note, root.path())), std::string::npos) << got.notes[0];
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AllowReadFile,
    ::testing::Values(
        AllowReadFileCase{"plain", "{root}/dir\n", {"{root}/dir"}, ""},
        AllowReadFileCase{"spaces_around", "   {root}/dir  \n", {"{root}/dir"}, ""},
        AllowReadFileCase{"tab_and_carriage_return", "\t{root}/dir\r\n", {"{root}/dir"}, ""},
        AllowReadFileCase{
            "comments_and_blanks", "# mine\n\n  # indented\n{root}/dir", {"{root}/dir"}, ""},
        AllowReadFileCase{"home", "~/dir\n", {"{root}/dir"}, ""},
        AllowReadFileCase{"relative",
                          "dir\n{root}/dir\n",
                          {"{root}/dir"},
                          "line 1: \"dir\" is not an absolute folder"},
        AllowReadFileCase{"missing", "{root}/nope\n", {}, "line 1: {root}/nope does not exist"},
        AllowReadFileCase{"file",
                          "{root}/dir\n{root}/file.txt\n",
                          {"{root}/dir"},
                          "line 2: {root}/file.txt is a file"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace xmlpellor::test
