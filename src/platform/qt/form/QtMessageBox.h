#pragma once

#include "platform/MessageBox.h"

class QWidget;

namespace xmlpellor {

// The message box as a modal QMessageBox; the help file and context have
// no place in it and are not shown.
class QtMessageBox final : public IMessageBox {
 public:
  explicit QtMessageBox(QWidget* parent = nullptr) : m_parent(parent) {}
  void SetParent(QWidget* parent) { m_parent = parent; }
  int Show(const std::string& prompt, std::int32_t buttons, const std::string& title,
           const std::string& helpFile, std::int32_t helpContext) override;

 private:
  QWidget* m_parent;
};

}  // namespace xmlpellor
