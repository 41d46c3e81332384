// The Apply command's pipeline without a window, as the XSLT engine's
// process runs it: confine the process to the job, transform a document with
// a stylesheet, and write the text to a file in one write.
//
//   xmlpellor_pipeline [--time] [--profile] OUT.html DOC.xml STYLE.xsl [NAME VALUE]...
//
// With --time it prints "pipeline_ms=<ms>" on stderr: the time from the
// start of the job to the closed output file, without process start-up.
// With --profile the job runs as "Profile this transformation" runs it, for
// measuring what profiling costs beside xsltproc --profile.
// Exits 1 when the transformation reported an error.

#include <fcntl.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/RuntimeError.h"
#include "platform/Worker.h"
#include "platform/ReadPolicy.h"
#include "platform/xml/XmlLibrary.h"
#include "engine/Job.h"
#include "transform/Engine.h"

int main(int argc, char** argv) {
  using namespace xmlpellor;
  const bool timing = argc > 1 && std::string_view(argv[1]) == "--time";
  if (timing) {
    --argc;
    ++argv;
  }
  const bool profiled = argc > 1 && std::string_view(argv[1]) == "--profile";
  if (profiled) {
    --argc;
    ++argv;
  }
  if (argc < 4 || (argc - 4) % 2 != 0) {
    std::fprintf(stderr, "usage: %s OUT DOC.xml STYLE.xsl [NAME VALUE]...\n", argv[0]);
    return 2;
  }
  try {
    // Opened first: the confined process may write only what it was given.
    FileDescriptor out(::open(argv[1], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!out) ThrowFileError(errno, argv[1]);

    transform::JobRequest request;
    request.xml = argv[2];
    request.xsl = argv[3];
    for (int i = 4; i < argc; ++i) request.params.emplace_back(argv[i]);
    request.reads = ReadPolicy::ForJob(request.xml, request.xsl, {});
    if (profiled) request.instrument = wire::Instrument::kProfile;
    xml::EnsureXmlLibraryInitialised();
    engine::ConfineForJob(request, DefaultMemoryLimit());

    const auto start = std::chrono::steady_clock::now();
    transform::PrintedMessages messages;
    transform::JobResult result;
    BlockingWorker().Run([&] { result = engine::RunJob(request, messages); });
    if (result.notLoaded) {
      std::fprintf(stderr, "%s: line %lld: %s\n", result.notLoadedLocation.c_str(),
                   static_cast<long long>(result.notLoaded->Line),
                   result.notLoaded->reason.c_str());
    }
    // Written where it lies: a copy of a large output costs as much as the
    // serialisation itself.
    WriteAll(out.get(), result.output, argv[1]);
    out.Close(argv[1]);
    if (timing) {
      const std::chrono::duration<double, std::milli> elapsed =
          std::chrono::steady_clock::now() - start;
      std::fprintf(stderr, "pipeline_ms=%.3f\n", elapsed.count());
    }
  } catch (const RuntimeError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
