#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "platform/RuntimeError.h"

namespace xmlpellor {

class IApplication;
class IClock;
class IMessageBox;

inline constexpr std::int32_t kEventTypeError = 1;
inline constexpr std::int32_t kErrorLogMode = 18;  // log to file + overwrite at start

// The one place that tells the user, and the error log, about a run-time
// error no procedure expected. Nothing ever raises out of it: each of its
// steps that fails is skipped and the next one runs.
class ErrorHandling {
 public:
  // While one lives, the reports made are kept for the caller (to show them
  // in place of a result, say), and a quiet one writes them to the log
  // without the box: for work the user did not start, which must not take
  // the focus from another program. Scopes nest; the innermost one counts.
  class Scope {
   public:
    enum class Mode { kBox, kQuiet };
    Scope(ErrorHandling& errors, Mode mode) noexcept;
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

    const std::vector<ErrorRecord>& Reported() const noexcept { return m_reported; }

   private:
    friend class ErrorHandling;
    ErrorHandling& m_errors;
    Mode m_mode;
    Scope* m_outer;
    std::vector<ErrorRecord> m_reported;
  };

  ErrorHandling(IApplication& app, IMessageBox& messageBox, const IClock& clock);

  void ReportError(std::int32_t lngNumber, std::string strDescription, std::string strSource,
                   std::string strHelpFile, std::int32_t lngHelpContext) noexcept;
  void WriteLog(std::string strMessage, std::int32_t lngEventType) noexcept;
  void StartLog() noexcept;
  std::string AppPath() noexcept;

  // The texts the report is built from, exposed for their own tests.
  static std::string Prompt(std::int32_t number, const std::string& description,
                            const std::string& source);
  static std::string LogEntry(const std::string& title, const std::tm& when, std::int32_t number,
                              const std::string& description, const std::string& source);

 private:
  IApplication& m_app;
  IMessageBox& m_messageBox;
  const IClock& m_clock;
  Scope* m_scope = nullptr;
};

}  // namespace xmlpellor
