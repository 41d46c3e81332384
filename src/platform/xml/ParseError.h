#pragma once

#include <cstdint>
#include <string>

namespace xmlpellor::xml {

// What a document that did not load says about why: the line the parser
// stopped at (0 when the file could not be read at all) and its reason.
struct ParseError {
  std::int64_t Line = 0;
  std::string reason;

  friend bool operator==(const ParseError&, const ParseError&) = default;
};

}  // namespace xmlpellor::xml
