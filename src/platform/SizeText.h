#pragma once

#include <cstdint>
#include <string>

namespace xmlpellor {

// "512 MB", "1.5 GB", "100 bytes": a size as a user reads it, in units of
// 1024. A whole number of a unit, and a figure of 10 or more, shows without
// a decimal. The one way the program shows a size.
std::string SizeText(std::uint64_t bytes);

// "1.2 of 3.4 MB": how far `part` is through `whole`, both in the unit of
// `whole` (kB at least) with one decimal, so that the figure grows steadily.
std::string SizeOfText(std::uint64_t part, std::uint64_t whole);

}  // namespace xmlpellor
