#pragma once

#include <string>
#include <string_view>

namespace xmlpellor {

// Turns a file: URL into a local path; other text is returned unchanged.
// Throws a RuntimeError for a URL of any other scheme, a file: URL of
// another host or of no absolute path, and one whose escapes hide a NUL.
// The one reading of a URL as a path that the loader, the page and the
// window share.
std::string LocalPathOf(const std::string& location);

// `text` with its %XX escapes decoded; a '%' that starts no escape is kept.
std::string PercentDecoded(std::string_view text);

}  // namespace xmlpellor
