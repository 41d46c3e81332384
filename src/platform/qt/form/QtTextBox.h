#pragma once

#include "platform/qt/form/QtControl.h"

class QLineEdit;

namespace xmlpellor {

// A path box: a single-line QLineEdit without QLineEdit's default length
// limit of 32767 characters.
class QtTextBox final : public QtControl<ITextBox> {
 public:
  explicit QtTextBox(QLineEdit& edit);
  std::string Text() const override;
  void SetText(const std::string& text) override;
  void SetFocus() override;

 private:
  QLineEdit& m_edit;
};

}  // namespace xmlpellor
