#include <gtest/gtest.h>

#include "platform/Editor.h"

namespace xmlpellor {
namespace {

using Words = std::vector<std::string>;

struct EditorCase {
  const char* name;
  EditorFacts facts;
  std::optional<Words> expected;  // nullopt: the desktop's handler
};

class EditorCommandTest : public testing::TestWithParam<EditorCase> {};

TEST_P(EditorCommandTest, BuildsTheCommandLine) {
  EXPECT_EQ(EditorCommand(GetParam().facts, "/w/my style.xsl", 42), GetParam().expected);
}

constexpr const char* kFile = "/w/my style.xsl";
const std::string kTerm = "x-terminal-emulator";

INSTANTIATE_TEST_SUITE_P(
    KnownEditors, EditorCommandTest,
    testing::Values(
        EditorCase{"vim", {"", "", "vim"}, Words{kTerm, "-e", "vim", "+42", kFile}},
        EditorCase{
            "nvim", {"", "", "/usr/bin/nvim"}, Words{kTerm, "-e", "/usr/bin/nvim", "+42", kFile}},
        EditorCase{"vi", {"", "", "vi"}, Words{kTerm, "-e", "vi", "+42", kFile}},
        EditorCase{"nano", {"", "", "nano"}, Words{kTerm, "-e", "nano", "+42", kFile}},
        EditorCase{"emacs", {"", "", "emacs"}, Words{"emacs", "+42", kFile}},
        EditorCase{
            "emacs_nw", {"", "", "emacs -nw"}, Words{kTerm, "-e", "emacs", "-nw", "+42", kFile}},
        EditorCase{"emacsclient_t",
                   {"", "", "emacsclient -t"},
                   Words{kTerm, "-e", "emacsclient", "-t", "+42", kFile}},
        EditorCase{"gvim", {"", "", "gvim"}, Words{"gvim", "+42", kFile}},
        EditorCase{"code",
                   {"", "", "code --wait"},
                   Words{"code", "--wait", "-g", std::string(kFile) + ":42"}},
        EditorCase{"kate", {"", "", "kate"}, Words{"kate", "-l", "42", kFile}},
        EditorCase{"gedit", {"", "", "gedit"}, Words{"gedit", "+42", kFile}},
        // $VISUAL goes first; one that takes no line leaves it to $EDITOR.
        EditorCase{"visual_first", {"", "kate", "vim"}, Words{"kate", "-l", "42", kFile}},
        EditorCase{"visual_unknown", {"", "mousepad", "gedit"}, Words{"gedit", "+42", kFile}},
        EditorCase{"none_known", {"", "mousepad", "ed"}, std::nullopt},
        EditorCase{"nothing_set", {"", "", ""}, std::nullopt},
        EditorCase{"vim_prefix_is_not_vim", {"", "", "vimdiff"}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Templates, EditorCommandTest,
    testing::Values(EditorCase{"whole_words",
                               {"kate -l {line} {file}", "vim", ""},
                               Words{"kate", "-l", "42", kFile}},
                    EditorCase{"inside_a_word",
                               {"code -g {file}:{line}", "", ""},
                               Words{"code", "-g", std::string(kFile) + ":42"}},
                    EditorCase{"quoted_program",
                               {"'/opt/My Editor/ed' --line={line} -- \"{file}\"", "", ""},
                               Words{"/opt/My Editor/ed", "--line=42", "--", kFile}},
                    EditorCase{"no_file_named", {"subl", "", ""}, Words{"subl", kFile}},
                    // No shell runs it: what a shell would expand stays as written.
                    EditorCase{"no_shell",
                               {"ed $HOME `id` {file};rm", "", ""},
                               Words{"ed", "$HOME", "`id`", std::string(kFile) + ";rm"}},
                    EditorCase{"open_quote", {"ed 'x {file}", "", ""}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EditorCommandTest, FileNamedLikeAPlaceholderStaysItsName) {
  EXPECT_EQ(EditorCommand({"ed {file} {line}", "", ""}, "/w/{line}.xsl", 3),
            (Words{"ed", "/w/{line}.xsl", "3"}));
}

TEST(EditorCommandTest, NoLineIsTheFirst) {
  EXPECT_EQ(EditorCommand({"", "", "vim"}, "/a.xsl", 0),
            (Words{kTerm, "-e", "vim", "+1", "/a.xsl"}));
}

struct LinkCase {
  const char* url;
  bool read;
  const char* file;
  long line;
};

class LineLinkTest : public testing::TestWithParam<LinkCase> {};

TEST_P(LineLinkTest, ReadsOnlyItsOwnLinks) {
  std::string file;
  long line = -1;
  ASSERT_EQ(ParseLineLink(GetParam().url, file, line), GetParam().read);
  if (GetParam().read) {
    EXPECT_EQ(file, GetParam().file);
    EXPECT_EQ(line, GetParam().line);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Links, LineLinkTest,
    testing::Values(LinkCase{"xmlpellor-line:/w/a%20b.xsl?line=7", true, "/w/a b.xsl", 7},
                    LinkCase{"xmlpellor-line:/w/q%3Fline=1.xsl?line=2", true, "/w/q?line=1.xsl", 2},
                    LinkCase{"xmlpellor-line:relative.xsl?line=2", false, "", 0},
                    LinkCase{"xmlpellor-line:/w/a.xsl?line=x", false, "", 0},
                    LinkCase{"xmlpellor-line:/w/a.xsl", false, "", 0},
                    LinkCase{"xmlpellor-line:/w/a%00b?line=1", false, "", 0},
                    LinkCase{"file:///w/a.xsl?line=1", false, "", 0}));

TEST(LineLinkTest, ReadsBackWhatItWrites) {
  const std::string odd = "/w/ä #%?&<\">'.xsl";
  std::string file;
  long line = 0;
  ASSERT_TRUE(ParseLineLink(LineLink(odd, 12), file, line));
  EXPECT_EQ(file, odd);
  EXPECT_EQ(line, 12);
}

}  // namespace
}  // namespace xmlpellor
