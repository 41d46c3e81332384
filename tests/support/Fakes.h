#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "error_handling/ErrorHandling.h"
#include "platform/Application.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/Worker.h"
#include "support/InProcessEngine.h"

namespace xmlpellor::test {

// An application object whose directory, title and log live in memory, with
// failures that a test can switch on.
class FakeApplication final : public IApplication {
 public:
  std::string title = "Yab Xml Pellor";
  std::string path = "/opt/pellor";
  bool failPath = false;
  bool failStartLogging = false;
  bool failLogEvent = false;

  std::int32_t logMode = 0;
  std::string logTarget;
  int startCount = 0;
  std::vector<std::string> entries;  // of the current log, since it was last begun
  std::vector<std::string> printed;  // to standard error

  std::string Title() const override { return title; }
  std::string Path() const override;
  std::int32_t LogMode() const override { return logMode; }
  void StartLogging(const std::string& target, std::int32_t mode) override;
  void LogEvent(const std::string& text, std::int32_t eventType) override;
  void PrintError(const std::string& text) noexcept override { printed.push_back(text); }
};

// Records every prompt and answers at once; `onShow` lets a test look at the
// world while the box is "open".
class RecordingMessageBox final : public IMessageBox {
 public:
  struct Shown {
    std::string prompt;
    std::int32_t buttons;
    std::string title;
    std::string helpFile;
    std::int32_t helpContext;
  };
  std::vector<Shown> shown;
  std::function<void()> onShow;
  bool fail = false;

  int Show(const std::string& prompt, std::int32_t buttons, const std::string& title,
           const std::string& helpFile, std::int32_t helpContext) override;
};

class FixedClock final : public IClock {
 public:
  std::tm now{};
  FixedClock();
  std::tm Now() const override { return now; }
};

// The three fakes wired to a real ErrorHandling, the usual set-up of a test
// that needs a trap.
struct ReportHarness {
  FakeApplication app;
  RecordingMessageBox box;
  FixedClock clock;
  ErrorHandling errors{app, box, clock};
  BlockingWorker worker;
  InProcessEngine engine;

  std::size_t Reports() const { return box.shown.size(); }
};

}  // namespace xmlpellor::test
