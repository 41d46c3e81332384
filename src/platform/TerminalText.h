#pragma once

#include <string>

namespace xmlpellor {

// `text` as it may reach a terminal: every control character made visible,
// so that what a stylesheet or a document says cannot move the cursor,
// rewrite a line, set the title or the clipboard, or type into the shell.
// C0 controls and DEL in caret notation ("^[", "^M"), tab and line feed
// kept; C1 controls as "<U+009B>"; bytes that are not UTF-8 as "\x9B".
// Printable text, in any script, is left as it is.
std::string TerminalText(const std::string& text);

}  // namespace xmlpellor
