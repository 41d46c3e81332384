#pragma once

#include <cstddef>
#include <string>

#include "platform/xml/Origins.h"

namespace xmlpellor::test {

// One element of a marked result, or an attribute or a text of one, and
// where either engine must say it came from.
struct OriginCase {
  const char* element;  // XPath into the output, read as HTML
  xml::OriginPart part;
  const char* label;  // of the attribute or text part
  const char* templ;  // as Named gives it; "" where a built-in rule ran
  long templLine;
  const char* instruction;
  long instructionLine;
  const char* source;
  long sourceLine;
};

// The template as the panel would name it: only what the stylesheet gave.
std::string Named(const xml::OriginTemplate& templ);

// Checks `c` against the marked `output` and its `table`; the places must
// name the files `stylesheet` and `document`, whatever form they came in.
void ExpectOrigin(const OriginCase& c, const std::string& output, const xml::OriginTable& table,
                  const std::string& stylesheet, const std::string& document);

// `marked` without its marks, each ` ATTRIBUTE="DIGITS"`; a mark of another
// shape stays, so that a comparison with the plain output fails.
std::string Unmarked(std::string marked, std::size_t* marks = nullptr);

}  // namespace xmlpellor::test
