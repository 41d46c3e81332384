#pragma once

#include "platform/qt/form/QtControl.h"

class QPushButton;

namespace xmlpellor {

// A command button over a QPushButton; its click reaches the program through
// the button's clicked signal, which the window wires up.
class QtCommandButton final : public QtControl<ICommandButton> {
 public:
  explicit QtCommandButton(QPushButton& button);
};

}  // namespace xmlpellor
