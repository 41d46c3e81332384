#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace xmlpellor {

// Opens a file at a line in the user's editor. Throws a RuntimeError, in
// words for the user, when no editor could be started.
class IEditor {
 public:
  virtual ~IEditor() = default;
  virtual void Open(const std::string& file, long line) = 0;
};

// What decides which editor opens a file: gathered from the command line
// and the environment before the choice is made.
struct EditorFacts {
  std::string command;  // --editor 'COMMAND {file} {line}'; empty: not given
  std::string visual;   // $VISUAL
  std::string editor;   // $EDITOR
};

// The program and arguments that open `file` at `line`, run as they are,
// never through a shell; nullopt: no editor is known to take a line, and
// the desktop's handler for the file opens it.
//
// --editor's command is split as a shell splits words (quotes and
// backslashes, nothing expanded) and {file} and {line} are put in place,
// also inside a word; a command without {file} gets the file as its last
// argument. Else $VISUAL, then $EDITOR, when its program is one known to
// take a line. An editor that runs in a terminal (vim, nano, emacs -nw, ...)
// gets one of its own, through x-terminal-emulator: the window has no
// terminal to give it, and the one it was started from, if any, is busy
// with the window's own messages.
std::optional<std::vector<std::string>> EditorCommand(const EditorFacts& facts,
                                                      const std::string& file, long line);

// `command` split into words as a shell would split it, without expanding
// anything; nullopt when a quote is left open.
std::optional<std::vector<std::string>> SplitCommand(std::string_view command);

// The link the program puts on its own pages for a file:line, and its
// reading back; false for any other URL.
inline constexpr char kLineLinkScheme[] = "xmlpellor-line";
std::string LineLink(const std::string& file, long line);
bool ParseLineLink(std::string_view url, std::string& file, long& line);

}  // namespace xmlpellor
