#pragma once

#include <functional>

class QFileDialog;

namespace xmlpellor::test {

// How long the GUI tests wait for a dialog or what it lists.
inline constexpr int kPatienceMs = 5000;

// Runs `drive` on the file dialog as soon as it is open, then closes the
// dialog if `drive` left it open, so a failing test cannot hang in exec().
// Call it before whatever opens the dialog.
void WhenDialogOpens(std::function<void(QFileDialog&)> drive);

}  // namespace xmlpellor::test
