#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace xmlpellor {

// The five values every run-time error carries, in the order the error
// report takes them.
struct ErrorRecord {
  std::int32_t number = 0;
  std::string description;
  std::string source;
  std::string helpFile;
  std::int32_t helpContext = 0;

  friend bool operator==(const ErrorRecord&, const ErrorRecord&) = default;
};

// Error numbers the program raises or tests for. They keep the values
// users of the classic runtime know them by.
namespace err {
inline constexpr std::int32_t kInvalidProcedureCall = 5;  // also: a refused Move
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kOutOfMemory = 7;
inline constexpr std::int32_t kSubscriptOutOfRange = 9;
inline constexpr std::int32_t kTypeMismatch = 13;
inline constexpr std::int32_t kOutOfStringSpace = 14;
inline constexpr std::int32_t kUserInterrupt = 18;  // the user stopped the command
inline constexpr std::int32_t kBadFileNameOrNumber = 52;
inline constexpr std::int32_t kFileNotFound = 53;
inline constexpr std::int32_t kFileAlreadyOpen = 55;
inline constexpr std::int32_t kDeviceIoError = 57;
inline constexpr std::int32_t kFileAlreadyExists = 58;
inline constexpr std::int32_t kDiskFull = 61;
inline constexpr std::int32_t kTooManyFiles = 67;
inline constexpr std::int32_t kPermissionDenied = 70;
inline constexpr std::int32_t kPathFileAccessError = 75;
inline constexpr std::int32_t kPathNotFound = 76;
inline constexpr std::int32_t kObjectVariableNotSet = 91;
inline constexpr std::int32_t kInternalError = 51;
inline constexpr std::int32_t kCancelError = 32755;  // the file dialog's Cancel
}  // namespace err

// The source given to errors the program's own runtime raises.
inline constexpr const char* kRuntimeSource = "XMLPellor";

// The only exception type the program's own code throws.
class RuntimeError : public std::runtime_error {
 public:
  explicit RuntimeError(ErrorRecord record);
  RuntimeError(std::int32_t number, std::string description, std::string source = kRuntimeSource);

  const ErrorRecord& record() const noexcept { return m_record; }
  std::int32_t number() const noexcept { return m_record.number; }

 private:
  ErrorRecord m_record;
};

// Turns an errno value from a file operation into a run-time error whose
// number is the classic one for that kind of failure and whose description
// carries the system's reason and the path.
[[noreturn]] void ThrowFileError(int errnoValue, const std::string& path);

// Maps whatever is being handled in the current catch block to an error
// record. Must only be called from inside a catch block.
ErrorRecord CurrentErrorRecord() noexcept;

}  // namespace xmlpellor
