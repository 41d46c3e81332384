#include "support/Fakes.h"

#include "platform/RuntimeError.h"

namespace xmlpellor::test {

std::string FakeApplication::Path() const {
  if (failPath) throw RuntimeError(err::kInternalError, "no executable path");
  return path;
}

void FakeApplication::StartLogging(const std::string& target, std::int32_t mode) {
  if (failStartLogging) throw RuntimeError(err::kPermissionDenied, "Permission denied: " + target);
  logTarget = target;
  logMode = mode;
  ++startCount;
  if (mode & logmode::kOverwrite) entries.clear();
}

void FakeApplication::LogEvent(const std::string& text, std::int32_t /*eventType*/) {
  if (failLogEvent) throw RuntimeError(err::kDiskFull, "No space left on device");
  if (!logTarget.empty()) entries.push_back(text);
}

int RecordingMessageBox::Show(const std::string& prompt, std::int32_t buttons,
                              const std::string& title, const std::string& helpFile,
                              std::int32_t helpContext) {
  if (fail) throw RuntimeError(err::kInternalError, "no display");
  shown.push_back({prompt, buttons, title, helpFile, helpContext});
  if (onShow) onShow();
  return 1;
}

FixedClock::FixedClock() {
  now.tm_year = 2026 - 1900;
  now.tm_mon = 11;
  now.tm_mday = 6;
  now.tm_hour = 9;
  now.tm_min = 41;
  now.tm_sec = 7;
}

}  // namespace xmlpellor::test
