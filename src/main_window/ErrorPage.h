#pragma once

#include <string>
#include <vector>

#include "platform/RuntimeError.h"

namespace xmlpellor {

// The page shown in place of a result when the stylesheet failed: the text
// of the error report, escaped, its line breaks kept, and the messages the
// run said before it failed.
std::string ErrorPage(const ErrorRecord& error, const std::vector<std::string>& messages = {});

// The messages of a run, as a block of HTML to follow a page's text; empty
// when there were none.
std::string MessagesHtml(const std::vector<std::string>& messages);

}  // namespace xmlpellor
