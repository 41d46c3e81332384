#pragma once

#include <string>

#include "platform/RuntimeError.h"

namespace xmlpellor {

// The page shown in place of a result when the stylesheet failed: the text
// of the error report, escaped, its line breaks kept.
std::string ErrorPage(const ErrorRecord& error);

}  // namespace xmlpellor
