#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/RuntimeError.h"

namespace xmlpellor {

// A failure's description taken apart for people: what went wrong, the
// error itself, where, and what else the description says.
struct ErrorParts {
  std::string reason;  // "The stylesheet could not be compiled"
  std::string text;    // the library's own words for the error, if any
  std::string file;    // where, when known
  std::string line;
  std::string column;
  std::string element;  // the stylesheet's element, for libxslt's errors
  // Lines of the description that are neither the error nor among the
  // run's messages (the steps of an include cycle, say).
  std::vector<std::string> details;
  // The run's messages without the lines the error was made of.
  std::vector<std::string> messages;
};

// The local file and line an error names, for the link that opens it in the
// editor; nothing when it names no local file by an absolute path.
struct ErrorPlace {
  std::string file;
  long line = 0;
  bool operator==(const ErrorPlace&) const = default;
};
std::optional<ErrorPlace> PlaceOf(const ErrorParts& parts);
// A paragraph that opens `place` in the editor, for the page that tells why
// a document did not load.
std::string PlaceLinkHtml(const ErrorPlace& place);

// `messages` are the run's messages as the window kept them; the
// description repeats some of them.
ErrorParts PartsOf(const ErrorRecord& error, const std::vector<std::string>& messages);

// The page shown in place of a result when the stylesheet failed: the
// reason first, then the error with its file, line and column, then the
// run's other messages, and the error's number and source in small print.
std::string ErrorPage(const ErrorRecord& error, const std::vector<std::string>& messages = {});

// The failure as one line for the terminal, without the program's name and
// without the run's messages, which the terminal had as they came.
std::string ErrorLine(const ErrorRecord& error, const std::vector<std::string>& messages = {});

// The text with its control characters (a line break, an escape that
// would drive the terminal) written as \xNN.
std::string VisibleLine(const std::string& text);

// The messages of a run, as a block of HTML to follow a page's text; empty
// when there were none.
std::string MessagesHtml(const std::vector<std::string>& messages);

}  // namespace xmlpellor
