#include "platform/qt/form/QtMessageBox.h"

#include <QMessageBox>
#include <QString>

namespace xmlpellor {

int QtMessageBox::Show(const std::string& prompt, std::int32_t buttons, const std::string& title,
                       const std::string& /*helpFile*/, std::int32_t /*helpContext*/) {
  QMessageBox box(m_parent);
  box.setWindowTitle(QString::fromStdString(title));
  // The prompt uses CR LF line breaks; Qt wants plain LF.
  QString text = QString::fromStdString(prompt);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  box.setText(text);
  box.setTextFormat(Qt::PlainText);
  // So that the report can be copied into a bug report or a search.
  box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  box.setIcon((buttons & 0x70) == mb::kExclamation ? QMessageBox::Warning : QMessageBox::NoIcon);
  box.setStandardButtons(QMessageBox::Ok);
  box.setWindowModality(Qt::ApplicationModal);
  return box.exec();
}

}  // namespace xmlpellor
