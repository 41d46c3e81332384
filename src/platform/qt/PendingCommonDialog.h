#pragma once

#include <cstdint>
#include <string>

#include "platform/RuntimeError.h"
#include "platform/Window.h"

namespace xmlpellor {

// TEMPORARY: stands in for the Qt open-file dialog until it joins; it keeps
// what it is set to and answers every ShowOpen as a Cancel, so the "..."
// buttons leave their boxes as they are. Replace with QtCommonDialog.
class PendingCommonDialog final : public ICommonDialog {
 public:
  std::string FileName() const override { return m_fileName; }
  void SetFileName(const std::string& fileName) override { m_fileName = fileName; }
  void SetDialogTitle(const std::string&) override {}
  void SetFilter(const std::string&) override {}
  void SetFlags(std::int32_t) override {}
  void ShowOpen() override { throw RuntimeError(err::kCancelError, "Cancel was selected."); }

 private:
  std::string m_fileName;
};

}  // namespace xmlpellor
