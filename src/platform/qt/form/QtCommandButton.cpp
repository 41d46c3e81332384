#include "platform/qt/form/QtCommandButton.h"

#include <QPushButton>

namespace xmlpellor {

QtCommandButton::QtCommandButton(QPushButton& button) : QtControl(button) {
  // Outside a QDialog a push button ignores Enter unless it is auto-default;
  // with it, Enter presses the button that has the focus, as on the classic
  // runtime.
  button.setAutoDefault(true);
}

}  // namespace xmlpellor
