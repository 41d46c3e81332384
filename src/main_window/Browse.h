#pragma once

#include <string>

namespace xmlpellor {

class ErrorHandling;
class ICommonDialog;
class ITextBox;

inline constexpr const char* kXmlDialogTitle = "XML File";
inline constexpr const char* kXmlFilter = "XML Files (*.xml)|*.xml|All Files (*.*)|*.*";
inline constexpr const char* kXslDialogTitle = "XSL File";
inline constexpr const char* kXslFilter =
    "XSL Files (*.xsl;*.xslt)|*.xsl;*.xslt|All Files (*.*)|*.*";

// Lets the user pick a file for `box` with the open-file dialog. Carries its
// own trap: Cancel ends it silently, any other error is reported; either way
// the box keeps its text. After a choice the focus goes to the box, so
// that Enter applies.
void BrowseForFile(ErrorHandling& errors, ICommonDialog& cdl, ITextBox& box,
                   const std::string& title, const std::string& filter) noexcept;

}  // namespace xmlpellor
