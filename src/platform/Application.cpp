#include "platform/Application.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "platform/FileSystem.h"
#include "platform/RuntimeError.h"

namespace xmlpellor {

void IApplication::PrintError(const std::string& text) noexcept {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

Application::Application(std::string title) : m_title(std::move(title)) {}

std::string Application::DirectoryOf(const std::string& exePath) {
  const auto slash = exePath.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return exePath.substr(0, slash);
}

std::string Application::Path() const {
  // /proc/self/exe names the executable wherever the tool was started from.
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n < 0) ThrowFileError(errno, "/proc/self/exe");
  return DirectoryOf(std::string(buffer, static_cast<std::size_t>(n)));
}

void Application::StartLogging(const std::string& target, std::int32_t mode) {
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW;
  if (mode & logmode::kOverwrite) flags |= O_TRUNC;
  FileDescriptor fd(::open(target.c_str(), flags, 0644));
  if (!fd) ThrowFileError(errno, target);
  m_logTarget = target;
  m_logMode = mode;
}

void Application::LogEvent(const std::string& text, std::int32_t eventType) {
  if (m_logTarget.empty()) return;  // logging was never started: entries go nowhere
  static_cast<void>(eventType);     // the entry text already says what it is
  FileDescriptor fd(
      ::open(m_logTarget.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0644));
  if (!fd) ThrowFileError(errno, m_logTarget);
  WriteAll(fd.get(), text + "\r\n", m_logTarget);
}

}  // namespace xmlpellor
