#pragma once

namespace xmlpellor {

class ErrorHandling;
class IBrowser;
class ICommandButton;
class IForm;
class ITextBox;

// The resize procedure's layout: one row of path boxes and buttons along the
// top, the browser filling the rest. Carries its own trap: a refused move
// (error 5) is skipped and the next step runs; any other error is reported
// and ends the layout.
void LayOutMainWindow(ErrorHandling& errors, const IForm& form, ITextBox& txtXml,
                      ICommandButton& cmdBrowseXml, ITextBox& txtXsl, ICommandButton& cmdBrowseXsl,
                      ICommandButton& cmdApplyXsl, IBrowser& wbr) noexcept;

}  // namespace xmlpellor
