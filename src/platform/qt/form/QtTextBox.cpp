#include "platform/qt/form/QtTextBox.h"

#include <QLineEdit>
#include <limits>

namespace xmlpellor {

QtTextBox::QtTextBox(QLineEdit& edit) : QtControl(edit), m_edit(edit) {
  m_edit.setMaxLength(std::numeric_limits<int>::max());
}

std::string QtTextBox::Text() const {
  return m_edit.text().toStdString();
}

void QtTextBox::SetText(const std::string& text) {
  m_edit.setText(QString::fromStdString(text));
}

void QtTextBox::SetFocus() {
  m_edit.setFocus(Qt::OtherFocusReason);
}

}  // namespace xmlpellor
