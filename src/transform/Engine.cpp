#include "transform/Engine.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "platform/Process.h"
#include "platform/RuntimeError.h"
#include "platform/TerminalText.h"
#include "platform/Worker.h"
#include "platform/xml/DomDocument.h"
#include "platform/xml/ReadPolicy.h"
#include "transform/JobWire.h"

namespace xmlpellor::transform {

namespace {

std::vector<std::string> FoldersOf(const std::string& xml, const std::string& xsl,
                                   const EngineSettings& settings) {
  return xml::ReadPolicy::ForJob(xml, xsl, settings.allowRead).Folders();
}

RuntimeError EngineError(const std::string& description) {
  return RuntimeError(xml::kXmlComponentError, description, xml::kXmlComponentSource);
}

// The engine's whole environment, made on purpose: the window's carries the
// user's tokens and display, and a job has no use for them.
std::vector<std::string> EngineEnvironment() {
  std::vector<std::string> environment{"PATH=/usr/bin:/bin"};
  for (const char* name : {// Where libxml2 finds the system's XML and SGML catalogs, when the
                           // user points it elsewhere.
                           "XML_CATALOG_FILES", "SGML_CATALOG_FILES",
                           // The date and time functions answer in the user's time zone.
                           "TZ",
                           // How a sanitizer build reports a fault of the engine.
                           "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
    if (const char* value = std::getenv(name))
      environment.push_back(std::string(name) + "=" + value);
  }
  return environment;
}

// Why an engine ended without a result, in the words of the report.
RuntimeError EndingError(const ExitStatus& status) {
  if (status.signal == SIGKILL && status.outOfMemoryKill) {
    return EngineError(
        "The XSLT engine was ended by the system (killed) while running this stylesheet, "
        "most likely because the machine ran out of memory");
  }
  if (status.killedHere) {
    return EngineError("The XSLT engine was ended by the window while running this stylesheet");
  }
  if (status.signal == SIGKILL) {
    return EngineError(
        "The XSLT engine was killed by another process while running this stylesheet");
  }
  if (status.signal != 0) {
    return EngineError("The XSLT engine crashed (" + SignalDescription(status.signal) +
                       ") while running this stylesheet.");
  }
  return EngineError("The XSLT engine ended without a result (exit status " +
                     std::to_string(status.code) + ")");
}

}  // namespace

std::uint64_t DefaultMemoryLimit() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return std::uint64_t{4} << 30;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) / 2;
}

std::string SizeText(std::uint64_t bytes) {
  const char* units[] = {"bytes", "kB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes);
  int unit = 0;
  while (value >= 1024 && unit < 4) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  if (unit == 0 || value >= 10 || value == static_cast<double>(static_cast<std::uint64_t>(value))) {
    std::snprintf(text, sizeof text, "%.0f %s", value, units[unit]);
  } else {
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
  }
  return text;
}

InProcessEngine InProcessEngine::ReadingAnything() {
  InProcessEngine engine;
  engine.m_readsAnything = true;
  return engine;
}

JobResult InProcessEngine::Run(const JobRequest& request, JobEvents& events) {
  JobRequest confined = request;
  confined.restrictReads = !m_readsAnything;
  confined.readableFolders = ReadableFolders(request.xml, request.xsl);
  return RunJob(confined, events);
}

std::vector<std::string> InProcessEngine::ReadableFolders(const std::string& xml,
                                                          const std::string& xsl) const {
  return FoldersOf(xml, xsl, m_settings);
}

HelperEngine::HelperEngine(IProcessLauncher& launcher, std::string helperProgram,
                           EngineSettings settings, std::vector<std::string> arguments)
    : m_launcher(launcher),
      m_program(std::move(helperProgram)),
      m_arguments(std::move(arguments)),
      m_settings(std::move(settings)),
      m_memoryLimit(m_settings.memoryLimit != 0 ? m_settings.memoryLimit : DefaultMemoryLimit()) {}

HelperEngine::~HelperEngine() = default;

void HelperEngine::Prepare() {
  std::lock_guard lock(m_mutex);
  std::erase_if(m_dying, [](const auto& dying) { return dying->Ended(); });
  if (!m_prepared) m_prepared = m_launcher.Start(Command());
}

void HelperEngine::Release() noexcept {
  std::lock_guard lock(m_mutex);
  if (!m_prepared) return;
  m_prepared->Kill();
  try {
    m_dying.push_back(std::move(m_prepared));
  } catch (...) {
    m_prepared.reset();  // reaped here after all
  }
}

HelperCommand HelperEngine::Command() const {
  return {m_program, m_arguments, EngineEnvironment()};
}

std::unique_ptr<IHelperProcess> HelperEngine::TakePrepared() {
  {
    std::lock_guard lock(m_mutex);
    // One that died waiting, for whatever reason, is no fault of the job.
    if (m_prepared && !m_prepared->Ended()) return std::move(m_prepared);
    m_prepared.reset();
  }
  return m_launcher.Start(Command());
}

std::vector<std::string> HelperEngine::ReadableFolders(const std::string& xml,
                                                       const std::string& xsl) const {
  return FoldersOf(xml, xsl, m_settings);
}

void HelperEngine::Hear(const std::string& message, IHelperProcess& helper, JobEvents& events,
                        const JobRequest& request, Attempt& attempt) const {
  std::optional<JobResult>& result = attempt.result;
  std::vector<DocumentSize>& documents = attempt.documents;
  wire::Reader reader(message);
  switch (reader.tag()) {
    case wire::Tag::kConfined:
      if (m_settings.verbose) {
        std::fprintf(stderr, "xmlpellor: %s\n", TerminalText(reader.Text()).c_str());
      }
      break;
    case wire::Tag::kPhase: events.Phase(static_cast<JobPhase>(reader.Number())); break;
    case wire::Tag::kReading: events.Reading(reader.Text()); break;
    case wire::Tag::kProgress: {
      const std::uint64_t done = reader.Number();
      events.Progress(done, reader.Number());
      break;
    }
    case wire::Tag::kMessage: events.Message(reader.Text()); break;
    case wire::Tag::kParameters: events.Parameters(wire::DecodeParameters(reader)); break;
    case wire::Tag::kOverLimit: attempt.overLimit = true; break;
    case wire::Tag::kOutput: {
      result.emplace();
      const std::uint64_t kind = reader.Number();
      if (kind > static_cast<std::uint64_t>(xml::OutputKind::kText)) {
        throw RuntimeError(err::kInternalError, "The XSLT engine named no known kind of output");
      }
      result->kind = static_cast<xml::OutputKind>(kind);
      const std::uint64_t size = reader.Number();
      result->encoding = reader.Text();
      if (documents.empty()) {
        result->output = helper.Output(size);
        break;
      }
      std::uint64_t total = size;
      for (const auto& [path, bytes] : documents) total += bytes;
      std::string all = helper.Output(total);
      std::uint64_t at = size;
      for (auto& [path, bytes] : documents) {
        result->documents.push_back({std::move(path), all.substr(at, bytes)});
        at += bytes;
      }
      all.resize(size);
      all.shrink_to_fit();
      result->output = std::move(all);
      break;
    }
    case wire::Tag::kDocument: {
      // The same rules as in the engine: a helper that breaks them is not
      // to be trusted with the user's disk.
      std::string path = reader.Text();
      const std::uint64_t size = reader.Number();
      std::uint64_t total = size;
      for (const auto& document : documents) total += document.second;
      if (!xml::IsOutputPath(path) || documents.size() >= request.maxDocuments ||
          size > request.maxDocumentBytes || total > request.maxDocumentBytes) {
        throw RuntimeError(err::kInternalError,
                           "The XSLT engine named a file it may not write: " + path);
      }
      documents.emplace_back(std::move(path), size);
      break;
    }
    case wire::Tag::kNotLoaded: {
      result.emplace();
      const auto line = static_cast<std::int64_t>(reader.Number());
      std::string reason = reader.Text();
      result->notLoaded = xml::ParseError{line, std::move(reason)};
      result->notLoadedLocation = reader.Text();
      break;
    }
    case wire::Tag::kFailed: attempt.failure = wire::DecodeError(reader); break;
    default: break;
  }
}

JobResult HelperEngine::Run(const JobRequest& request, JobEvents& events) {
  wire::EngineRequest engineRequest{request, m_memoryLimit};
  engineRequest.job.restrictReads = true;
  engineRequest.job.readableFolders = ReadableFolders(request.xml, request.xsl);
  const std::string message = wire::EncodeRequest(engineRequest);
  if (message.size() > kMaxChannelMessage) {
    throw EngineError("The stylesheet parameters are too long: together they may take " +
                      SizeText(kMaxChannelMessage - 4096));
  }

  StopToken* token = StopToken::Current();
  Attempt attempt = RunOnce(message, request, events, token);
  // An engine that ended before it said a word never had the job: it died
  // waiting, and one fresh engine takes the job instead, unseen.
  if (!attempt.heard && !attempt.stopped) attempt = RunOnce(message, request, events, token);

  // The next job's process starts while the window shows this one's result.
  try {
    Prepare();
  } catch (const RuntimeError&) {
    // The next job tries again and reports what keeps it from starting.
  }

  if (attempt.stopped) {
    throw RuntimeError(err::kUserInterrupt, "User interrupt occurred");
  }
  if (attempt.overLimit) {
    throw EngineError("The transformation needed more than " + SizeText(m_memoryLimit) +
                      " of memory, the limit for one transformation (--memory-limit sets it)");
  }
  if (attempt.failure) throw RuntimeError(*attempt.failure);
  if (attempt.result) return std::move(*attempt.result);
  throw EndingError(attempt.status);
}

HelperEngine::Attempt HelperEngine::RunOnce(const std::string& message, const JobRequest& request,
                                            JobEvents& events, StopToken* token) {
  Attempt attempt;
  std::unique_ptr<IHelperProcess> helper = TakePrepared();
  {
    // A stop ends the process wherever it is, the compile step included.
    const StopToken::Hook hook(token, [&helper] { helper->Kill(); });
    helper->Send(message);
    std::string received;
    while (helper->Receive(received)) {
      attempt.heard = true;
      try {
        Hear(received, *helper, events, request, attempt);
      } catch (const RuntimeError& e) {
        // A helper that says what cannot be read is not to be trusted further.
        attempt.failure = e.record();
        helper->Kill();
        break;
      }
    }
  }
  attempt.stopped = token != nullptr && token->StopRequested();
  if (attempt.stopped) {
    std::lock_guard lock(m_mutex);
    m_dying.push_back(std::move(helper));
  } else {
    attempt.status = helper->Wait();
  }
  return attempt;
}

}  // namespace xmlpellor::transform
