// The Apply command's pipeline without a window: transform a document with a
// stylesheet and write the text to a file in one write, as the window does.
//
//   xmlpellor_pipeline [--time] OUT.html DOC.xml STYLE.xsl [NAME VALUE]...
//
// With --time it prints "pipeline_ms=<ms>" on stderr: the time from the call
// of the transformation to the closed output file, without process start-up.
// Exits 1 when the transformation reported an error.

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

#include "error_handling/ErrorHandling.h"
#include "platform/Application.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/RuntimeError.h"
#include "platform/Worker.h"
#include "transform/Transform.h"

namespace {

using namespace xmlpellor;

// A measurement run keeps no error log; reports go to stderr.
class NoLogApplication final : public IApplication {
 public:
  std::string Title() const override { return "Yab Xml Pellor"; }
  std::string Path() const override { return "."; }
  std::int32_t LogMode() const override { return 0; }
  void StartLogging(const std::string&, std::int32_t) override {}
  void LogEvent(const std::string&, std::int32_t) override {}
};

class StderrMessageBox final : public IMessageBox {
 public:
  int reports = 0;
  int Show(const std::string& prompt, std::int32_t, const std::string& title, const std::string&,
           std::int32_t) override {
    ++reports;
    std::fprintf(stderr, "%s: %s\n", title.c_str(), prompt.c_str());
    return 1;
  }
};

}  // namespace

int main(int argc, char** argv) {
  const bool timing = argc > 1 && std::string_view(argv[1]) == "--time";
  if (timing) {
    --argc;
    ++argv;
  }
  if (argc < 4 || (argc - 4) % 2 != 0) {
    std::fprintf(stderr, "usage: %s OUT DOC.xml STYLE.xsl [NAME VALUE]...\n", argv[0]);
    return 2;
  }
  NoLogApplication app;
  StderrMessageBox box;
  SystemClock clock;
  ErrorHandling errors(app, box, clock);
  BlockingWorker worker;

  Variant params;
  if (argc > 4) {
    StringArray array;
    for (int i = 4; i < argc; ++i) array.items.emplace_back(argv[i]);
    params = std::move(array);
  }
  const auto start = std::chrono::steady_clock::now();
  const Variant result = transform::CreateHTMLFromXMLXSL(errors, worker, argv[2], argv[3], params);
  // Write the text where it lies: a copy of a large output costs as much as
  // the serialisation itself.
  const auto* text = std::get_if<std::string>(&result);
  try {
    PosixFileSystem().WriteText(argv[1], text ? std::string_view(*text) : std::string_view());
  } catch (const RuntimeError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  if (timing) {
    const std::chrono::duration<double, std::milli> elapsed =
        std::chrono::steady_clock::now() - start;
    std::fprintf(stderr, "pipeline_ms=%.3f\n", elapsed.count());
  }
  return box.reports == 0 ? 0 : 1;
}
