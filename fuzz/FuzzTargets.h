#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace xmlpellor::fuzz {

// One input through the document load and, when it does not parse, the
// parse-error text. Returns what went wrong when an invariant breaks (a
// report where none belongs, a parse-error text whose reason could inject
// markup), else "".
std::string LoadOne(const std::uint8_t* data, std::size_t size);

// One input through the whole transformation. The first byte picks the
// role: the document for one of a few fixed stylesheets, or the stylesheet
// for a fixed document. Returns what went wrong when a call ends in more
// than one report, or in neither a text nor a report (or both), else "".
std::string TransformOne(const std::uint8_t* data, std::size_t size);

}  // namespace xmlpellor::fuzz
