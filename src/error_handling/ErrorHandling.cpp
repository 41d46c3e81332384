#include "error_handling/ErrorHandling.h"

#include <cstdio>

#include "platform/Application.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"

namespace xmlpellor {

namespace {

constexpr const char* kCrLf = "\r\n";

// Runs one step of the module; a step that fails is abandoned and the
// caller goes on with the next.
template <class Step>
void Skippable(Step&& step) noexcept {
  try {
    step();
  } catch (...) {
  }
}

std::string FormatOccurred(const std::tm& t) {
  char buffer[80];
  std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d %02d:%02d:%02d", t.tm_mon + 1, t.tm_mday,
                t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
  return buffer;
}

}  // namespace

ErrorHandling::Scope::Scope(ErrorHandling& errors, Mode mode) noexcept
    : m_errors(errors), m_mode(mode), m_outer(errors.m_scope) {
  m_errors.m_scope = this;
}

ErrorHandling::Scope::~Scope() {
  m_errors.m_scope = m_outer;
}

ErrorHandling::ErrorHandling(IApplication& app, IMessageBox& messageBox, const IClock& clock)
    : m_app(app), m_messageBox(messageBox), m_clock(clock) {}

std::string ErrorHandling::Prompt(std::int32_t number, const std::string& description,
                                  const std::string& source) {
  return "[" + source + "]" + kCrLf + "Run-time error '" + std::to_string(number) + "':" + kCrLf +
         kCrLf + description;
}

std::string ErrorHandling::LogEntry(const std::string& title, const std::tm& when,
                                    std::int32_t number, const std::string& description,
                                    const std::string& source) {
  std::string text = kCrLf;
  text += "  Unexpected Runtime Error";
  text += kCrLf;
  text += "  Application: " + title + kCrLf;
  text += "  Occurred: " + FormatOccurred(when) + kCrLf;
  text += "  Number: " + std::to_string(number) + kCrLf;
  text += "  Description: " + description + kCrLf;
  text += "  Source: " + source + kCrLf;
  return text;
}

void ErrorHandling::ReportError(std::int32_t lngNumber, std::string strDescription,
                                std::string strSource, std::string strHelpFile,
                                std::int32_t lngHelpContext) noexcept {
  Skippable([&] {
    if (m_scope != nullptr) {
      m_scope->m_reported.push_back(
          {lngNumber, strDescription, strSource, strHelpFile, lngHelpContext});
    }
  });
  Skippable([&] {
    if (m_scope != nullptr && m_scope->m_mode == Scope::Mode::kQuiet) return;
    m_messageBox.Show(Prompt(lngNumber, strDescription, strSource), mb::kOkOnly + mb::kExclamation,
                      m_app.Title(), strHelpFile, lngHelpContext);
  });
  // The clock is read only now, after the box has been closed.
  std::string entry;
  Skippable([&] {
    entry = LogEntry(m_app.Title(), m_clock.Now(), lngNumber, strDescription, strSource);
  });
  Skippable([&] { WriteLog(std::move(entry), kEventTypeError); });
}

void ErrorHandling::WriteLog(std::string strMessage, std::int32_t lngEventType) noexcept {
  Skippable([&] {
    if (m_app.LogMode() != kErrorLogMode) StartLog();
  });
  Skippable([&] { m_app.LogEvent(strMessage, lngEventType); });
}

void ErrorHandling::StartLog() noexcept {
  std::string target;
  Skippable([&] { target = AppPath() + m_app.Title() + ".log"; });
  Skippable([&] { m_app.StartLogging(target, kErrorLogMode); });
}

std::string ErrorHandling::AppPath() noexcept {
  std::string path;
  Skippable([&] { path = m_app.Path(); });
  Skippable([&] {
    if (path.empty() || path.back() != '/') path += '/';
  });
  return path;
}

}  // namespace xmlpellor
