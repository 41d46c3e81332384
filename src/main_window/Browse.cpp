#include "main_window/Browse.h"

#include "error_handling/ProcedureTrap.h"
#include "platform/RuntimeError.h"
#include "platform/Window.h"

namespace xmlpellor {

void BrowseForFile(ErrorHandling& errors, ICommonDialog& cdl, ITextBox& box,
                   const std::string& title, const std::string& filter) noexcept {
  ProcedureTrap(errors, PassOver::SilentlyOn(err::kCancelError)).Run([&] {
    // The dialog is shared by both buttons, so every property it shows is
    // set anew here; the box's text goes in as it stands, blanks and all.
    cdl.SetFileName(box.Text());
    cdl.SetDialogTitle(title);
    cdl.SetFilter(filter);
    cdl.SetFlags(cdl::kHideReadOnly);
    cdl.ShowOpen();
    // Only reached on a choice: Cancel and every failure end above and leave
    // the box as it was.
    box.SetText(cdl.FileName());
    box.SetFocus();
  });
}

}  // namespace xmlpellor
