#pragma once

#include <cstdint>
#include <string>

namespace xmlpellor {

// Logging modes of the application object; they combine by addition.
namespace logmode {
inline constexpr std::int32_t kLogToFile = 2;
inline constexpr std::int32_t kOverwrite = 16;
}  // namespace logmode

// The application object: identity, where the executable lives, and the
// small event log the error report writes to.
class IApplication {
 public:
  virtual ~IApplication() = default;

  virtual std::string Title() const = 0;
  // The executable's directory. Ends in '/' only when it is the root.
  virtual std::string Path() const = 0;

  virtual std::int32_t LogMode() const = 0;
  // From now on, entries go to `target`; with kOverwrite the file is begun anew.
  // Throws RuntimeError when the file cannot be opened.
  virtual void StartLogging(const std::string& target, std::int32_t mode) = 0;
  // Throws RuntimeError when the entry cannot be written.
  virtual void LogEvent(const std::string& text, std::int32_t eventType) = 0;
  // Writes the text to standard error, for a user who started the program
  // from a terminal. Never throws.
  virtual void PrintError(const std::string& text) noexcept;
};

// The real application object of this process.
class Application final : public IApplication {
 public:
  explicit Application(std::string title = "Yab Xml Pellor");

  std::string Title() const override { return m_title; }
  std::string Path() const override;
  std::int32_t LogMode() const override { return m_logMode; }
  void StartLogging(const std::string& target, std::int32_t mode) override;
  void LogEvent(const std::string& text, std::int32_t eventType) override;

  // The directory part of an executable's full path, by the same rule as
  // Path(): no trailing '/' except for the root itself.
  static std::string DirectoryOf(const std::string& exePath);

 private:
  std::string m_title;
  std::int32_t m_logMode = 0;
  std::string m_logTarget;
};

}  // namespace xmlpellor
