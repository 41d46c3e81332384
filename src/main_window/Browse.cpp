#include "main_window/Browse.h"

namespace xmlpellor {

// Placeholder until the file picking lands.
void BrowseForFile(ErrorHandling&, ICommonDialog&, ITextBox&, const std::string&,
                   const std::string&) noexcept {}

}  // namespace xmlpellor
