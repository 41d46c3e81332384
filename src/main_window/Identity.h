#pragma once

namespace xmlpellor {

// Who the program is.
inline constexpr const char* kProjectName = "XMLPellor";
inline constexpr const char* kApplicationTitle = "Yab Xml Pellor";
inline constexpr const char* kVersion = "1.00.0008";
// The window's caption spells XML in capitals, unlike the title.
inline constexpr const char* kCaption = "Yab XML Pellor";
inline constexpr const char* kStartPage = "yabxmlpellor.htm";

}  // namespace xmlpellor
