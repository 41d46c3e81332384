#include "transform/Engine.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>

#include <variant>

#include "platform/Process.h"
#include "platform/RuntimeError.h"
#include "platform/SizeText.h"
#include "platform/TerminalText.h"
#include "platform/Worker.h"
#include "platform/xml/DomDocument.h"
#include "platform/ReadPolicy.h"

namespace xmlpellor::transform {

namespace {

// Calls the overload of `Ts` that takes the value std::visit hands on.
template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
// The fuzzing build's clang does not deduce an aggregate's arguments itself.
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

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

void PrintedMessages::Message(const std::string& line) {
  std::fprintf(stderr, "%s\n", TerminalText(line).c_str());
  std::fflush(stderr);
}

ReadPolicy JobReadPolicy(const std::string& xml, const std::string& xsl,
                         const EngineSettings& settings) {
  return ReadPolicy::ForJob(xml, xsl, settings.allowRead, settings.readAdvice);
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

ReadPolicy HelperEngine::PolicyFor(const std::string& xml, const std::string& xsl) const {
  return JobReadPolicy(xml, xsl, m_settings);
}

void HelperEngine::Hear(wire::EngineMessage message, IHelperProcess& helper, JobEvents& events,
                        const JobRequest& request, Attempt& attempt) const {
  std::visit(
      Overloaded{
          [&](wire::Confined& confined) {
            if (m_settings.verbose) {
              std::fprintf(stderr, "xmlpellor: %s\n", TerminalText(confined.description).c_str());
            }
          },
          [&](wire::Phase& phase) { events.Phase(phase.phase); },
          [&](wire::Reading& reading) { events.Reading(reading.path); },
          [&](wire::Progress& progress) { events.Progress(progress.done, progress.total); },
          [&](wire::Message& said) { events.Message(said.line); },
          [&](wire::Parameters& parameters) { events.Parameters(parameters.declared); },
          [&](wire::OverLimit&) { attempt.overLimit = true; },
          [&](wire::Document& document) {
            // The same rules as in the engine: a helper that breaks them is
            // not to be trusted with the user's disk.
            std::uint64_t total = document.size;
            for (const auto& [path, size] : attempt.documents) total += size;
            if (!xml::IsOutputPath(document.path) ||
                attempt.documents.size() >= request.maxDocuments ||
                document.size > request.maxDocumentBytes || total > request.maxDocumentBytes) {
              throw RuntimeError(err::kInternalError,
                                 "The XSLT engine named a file it may not write: " + document.path);
            }
            attempt.documents.emplace_back(std::move(document.path), document.size);
          },
          [&](wire::Output& output) {
            JobResult& result = attempt.result.emplace();
            result.profile = std::move(attempt.profile);
            result.kind = output.kind;
            result.encoding = std::move(output.encoding);
            result.origins = std::move(attempt.origins);
            if (attempt.documents.empty()) {
              result.output = helper.Output(output.size);
              return;
            }
            std::uint64_t total = output.size;
            for (const auto& [path, size] : attempt.documents) total += size;
            std::string all = helper.Output(total);
            std::uint64_t at = output.size;
            for (auto& [path, size] : attempt.documents) {
              result.documents.push_back({std::move(path), all.substr(at, size)});
              at += size;
            }
            all.resize(output.size);
            all.shrink_to_fit();
            result.output = std::move(all);
          },
          [&](wire::NotLoaded& notLoaded) {
            JobResult& result = attempt.result.emplace();
            result.notLoaded = std::move(notLoaded.error);
            result.notLoadedLocation = std::move(notLoaded.location);
          },
          [&](wire::Failed& failed) { attempt.failure = std::move(failed.record); },
          [&](wire::ProfileTimes& times) {
            if (request.instrument != wire::Instrument::kProfile) {
              throw RuntimeError(err::kInternalError, "The XSLT engine sent a profile unasked");
            }
            attempt.profile = std::move(times.times);
          },
          [&](wire::ProfileTemplate& profile) {
            // A profile takes no more of the window's memory than a large
            // stylesheet's would: an engine gone wrong cannot fill it.
            constexpr std::uint64_t kMaxProfileBytes = std::uint64_t{64} << 20;
            const xml::TemplateProfile& t = profile.profile;
            attempt.profileBytes +=
                sizeof t + t.match.size() + t.name.size() + t.mode.size() + t.file.size();
            if (!attempt.profile) {
              throw RuntimeError(err::kInternalError,
                                 "The XSLT engine sent a template's profile out of place");
            }
            if (attempt.profileBytes > kMaxProfileBytes) {
              throw RuntimeError(
                  err::kInternalError,
                  "The XSLT engine sent a profile larger than " + SizeText(kMaxProfileBytes));
            }
            attempt.profile->templates.push_back(std::move(profile.profile));
          },
          [&](wire::OriginPiece& piece) {
            if (request.instrument != wire::Instrument::kOrigin) {
              throw RuntimeError(err::kInternalError,
                                 "The XSLT engine told where its output came from unasked");
            }
            wire::AppendOrigins(attempt.origins, std::move(piece));
          },
      },
      message);
}

JobResult HelperEngine::Run(const JobRequest& request, JobEvents& events) {
  const std::string message = wire::EncodeRequest({request, m_memoryLimit});
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
        Hear(wire::Decode(received), *helper, events, request, attempt);
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
