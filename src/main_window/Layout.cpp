#include "main_window/Layout.h"

namespace xmlpellor {

// Placeholder until the layout lands.
void LayOutMainWindow(ErrorHandling&, const IForm&, ITextBox&, ICommandButton&, ITextBox&,
                      ICommandButton&, ICommandButton&, IBrowser&) noexcept {}

}  // namespace xmlpellor
