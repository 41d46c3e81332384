#include <gtest/gtest.h>

#include "platform/TerminalText.h"

namespace xmlpellor::test {
namespace {

struct TerminalCase {
  const char* name;
  std::string text;
  std::string shown;
};

class Terminal : public ::testing::TestWithParam<TerminalCase> {};

TEST_P(Terminal, ShowsControlsAsTextAndLeavesTheRest) {
  EXPECT_EQ(TerminalText(GetParam().text), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Terminal,
    ::testing::Values(
        TerminalCase{"plain", "total: 3 items\tok", "total: 3 items\tok"},
        TerminalCase{"line_feed_kept", "two\nlines", "two\nlines"},
        TerminalCase{"other_scripts", "\xC3\xA9t\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80",
                     "\xC3\xA9t\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80"},
        // OSC 52 writes the clipboard, OSC 0 the title.
        TerminalCase{"clipboard_write", "\x1b]52;c;ZWNobyBoaQ==\x07", "^[]52;c;ZWNobyBoaQ==^G"},
        TerminalCase{"title", "\x1b]0;owned\x1b\\", "^[]0;owned^[\\"},
        TerminalCase{"carriage_return", "done\rrm -rf ~", "done^Mrm -rf ~"},
        TerminalCase{"nul_backspace_delete", std::string("a\0b\bc\x7f", 6), "a^@b^Hc^?"},
        TerminalCase{"c1_csi_and_osc",
                     "\xC2\x9B"
                     "31m\xC2\x9D"
                     "0;t\xC2\x9C",
                     "<U+009B>31m<U+009D>0;t<U+009C>"},
        TerminalCase{"c1_as_a_raw_byte",
                     "\x9B"
                     "31m",
                     "\\x9B31m"},
        TerminalCase{"cut_sequence", "ab\xE6\x97", "ab\\xE6\\x97"},
        TerminalCase{"overlong_escape", "\xC0\x9B", "\\xC0\\x9B"},
        TerminalCase{"surrogate", "\xED\xA0\x80", "\\xED\\xA0\\x80"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace xmlpellor::test
