#include "platform/LocalPath.h"

#include <strings.h>

#include <cctype>
#include <cstring>

#include "platform/RuntimeError.h"

namespace xmlpellor {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  const std::size_t n = std::strlen(prefix);
  return text.size() >= n && strncasecmp(text.c_str(), prefix, n) == 0;
}

// True for text that begins like "scheme://", which is no local path.
bool LooksLikeUrl(const std::string& text) {
  const std::size_t colon = text.find("://");
  if (colon == std::string::npos || colon == 0) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    const char c = text[i];
    const bool ok = std::isalpha(static_cast<unsigned char>(c)) ||
                    (i > 0 && (std::isdigit(static_cast<unsigned char>(c)) || c == '+' ||
                               c == '-' || c == '.'));
    if (!ok) return false;
  }
  return true;
}

}  // namespace

std::string PercentDecoded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool escape = text[i] == '%' && i + 2 < text.size();
    const int high = escape ? HexValue(text[i + 1]) : -1;
    const int low = escape ? HexValue(text[i + 2]) : -1;
    if (high < 0 || low < 0) {
      out += text[i];
      continue;
    }
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

std::string LocalPathOf(const std::string& location) {
  const auto notLocal = [&] {
    return RuntimeError(err::kBadFileNameOrNumber, "Only local files can be loaded: " + location);
  };
  if (!StartsWithNoCase(location, "file:")) {
    if (LooksLikeUrl(location)) throw notLocal();
    return location;
  }
  std::string rest = location.substr(5);
  if (rest.rfind("//", 0) == 0) {
    rest.erase(0, 2);
    // The authority may only name this machine.
    const std::size_t slash = rest.find('/');
    const std::string host = rest.substr(0, slash);
    if (!host.empty() && strcasecmp(host.c_str(), "localhost") != 0) throw notLocal();
    rest = slash == std::string::npos ? std::string() : rest.substr(slash);
  }
  // What is left must be one absolute path: "file:name" has no folder to be
  // relative to, and a path starting with "//" is how another host's share
  // is named.
  if (rest.empty() || rest.front() != '/' || rest.rfind("//", 0) == 0) throw notLocal();
  std::string path = PercentDecoded(rest);
  // An encoded NUL would end the path early for the system: it would open
  // another file than the one judged.
  if (path.find('\0') != std::string::npos) throw notLocal();
  return path;
}

}  // namespace xmlpellor
