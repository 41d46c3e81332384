#pragma once

#include <cstdint>
#include <string>

namespace xmlpellor {

// Buttons-and-icon values of the message box; they combine by addition.
namespace mb {
inline constexpr std::int32_t kOkOnly = 0;
inline constexpr std::int32_t kExclamation = 48;
}  // namespace mb

// A modal message box: returns once the user has closed it.
class IMessageBox {
 public:
  virtual ~IMessageBox() = default;
  virtual int Show(const std::string& prompt, std::int32_t buttons, const std::string& title,
                   const std::string& helpFile, std::int32_t helpContext) = 0;
};

}  // namespace xmlpellor
