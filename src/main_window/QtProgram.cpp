#include "main_window/QtProgram.h"

#include <QApplication>
#include <QIcon>
#include <QLoggingCategory>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "main_window/QtMainWindow.h"
#include "platform/qt/browser/QtBrowser.h"

namespace xmlpellor {
namespace {

// Qt and the web engine keep the session's sockets and locks in the
// runtime folder. A start without one (from cron, su or a bare terminal)
// would print Qt's complaint on every start and fall back to a name under
// /tmp that another user may already hold; the window makes its own
// instead, private, and removes it when the process ends.
class RuntimeFolder {
 public:
  RuntimeFolder() = default;
  RuntimeFolder(const RuntimeFolder&) = delete;
  RuntimeFolder& operator=(const RuntimeFolder&) = delete;
  ~RuntimeFolder() {
    std::error_code ignored;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
  }

  void MakeIfUnset() {
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") || !m_path.empty()) return;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/xmlpellor-runtime-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    // mkdtemp makes it 0700, as Qt wants it; failing, Qt says what it does.
    if (::mkdtemp(name.data()) == nullptr) return;
    m_path = name.data();
    qputenv("XDG_RUNTIME_DIR", QByteArray(m_path.c_str()));
  }

 private:
  std::string m_path;
};

QtMessageHandler g_nextHandler = nullptr;

// As root the launcher turned the engine's sandbox off on purpose; the
// engine's note of it on every start is news only to --verbose.
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message == QLatin1String("Sandboxing disabled by user.")) return;
  if (g_nextHandler != nullptr) {
    g_nextHandler(type, context, message);
  } else {
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
  }
}

}  // namespace

void PrepareProcess(bool verbose) {
  IgnoreFileSizeLimitSignal();
  QtBrowser::RegisterScheme();
  static RuntimeFolder runtime;
  runtime.MakeIfUnset();
  if (!verbose) {
    g_nextHandler = qInstallMessageHandler(QuietHandler);
    // QT_LOGGING_RULES overrides rules set here, so a user can still ask
    // for any of these categories.
    QLoggingCategory::setFilterRules(
        QStringLiteral("js=false\n"
                       "qt.webenginecontext=false\n"));
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS")) {
      qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--log-level=3");
    }
  }
  // The engine's sandbox refuses to run as root; everyone else keeps it.
  if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  }
}

void SetApplicationIdentity() {
  QApplication::setApplicationName(QString::fromLatin1(kProjectName));
  QApplication::setApplicationVersion(QString::fromLatin1(kVersion));
  QApplication::setWindowIcon(QtMainWindow::Icon());
}

}  // namespace xmlpellor
