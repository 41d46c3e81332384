#include "transform/Transform.h"

#include <chrono>
#include <cstdio>
#include <limits>
#include <utility>

#include "error_handling/ProcedureTrap.h"
#include "platform/RuntimeError.h"
#include "platform/Worker.h"
#include "transform/Engine.h"

namespace xmlpellor::transform {

namespace {

JobRequest RequestFor(const std::string& strXmlDoc, const std::string& strXslDoc,
                      const Variant& astrParamValue) {
  JobRequest request;
  request.xml = strXmlDoc;
  request.xsl = strXslDoc;
  if (IsEmpty(astrParamValue)) return request;
  const auto* params = std::get_if<StringArray>(&astrParamValue);
  if (params == nullptr) {
    request.paramsNotArray = true;
  } else {
    request.params = params->items;
  }
  return request;
}

}  // namespace

std::string EscapeMarkup(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c; break;
    }
  }
  return out;
}

Variant XMLError(ErrorHandling& errors, const ParseError& parseError,
                 const std::string& strDoc) noexcept {
  return Guarded<Variant>(errors, [&](Variant& result) {
    const std::int64_t line = parseError.Line;
    if (line < std::numeric_limits<std::int32_t>::min() ||
        line > std::numeric_limits<std::int32_t>::max()) {
      throw RuntimeError(err::kOverflow, "Overflow");
    }
    result = "Error in line " + std::to_string(static_cast<std::int32_t>(line)) + " of " +
             EscapeMarkup(strDoc) + "<br />" + EscapeMarkup(parseError.reason);
  });
}

std::string StoppedText(double seconds) {
  char figure[32];
  std::snprintf(figure, sizeof figure, "%.1f", seconds);
  return std::string("The transformation was stopped after ") + figure + " s.";
}

Variant CreateHTMLFromXMLXSL(ErrorHandling& errors, IWorker& worker, IEngine& engine,
                             const std::string& strXmlDoc, const std::string& strXslDoc,
                             const Variant& astrParamValue, OutputFormat* format, JobEvents* events,
                             std::vector<xml::OutputDocument>* documents,
                             const std::vector<xml::GlobalParameter>& globals,
                             const ReadPolicy* reads) noexcept {
  if (format != nullptr) *format = {};
  if (documents != nullptr) documents->clear();
  return Guarded<Variant>(errors, [&](Variant& result) {
    const auto started = std::chrono::steady_clock::now();
    JobRequest request = RequestFor(strXmlDoc, strXslDoc, astrParamValue);
    request.globals = globals;
    request.reads = reads != nullptr ? *reads : engine.PolicyFor(strXmlDoc, strXslDoc);
    PrintedMessages printed;
    JobResult done;
    try {
      worker.Run([&] { done = engine.Run(request, events != nullptr ? *events : printed); });
    } catch (const RuntimeError& e) {
      // Stopping is the user's choice, not a failure to report.
      if (e.number() != err::kUserInterrupt) throw;
      const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
      result = StoppedText(took.count());
      if (format != nullptr) format->notice = std::get<std::string>(result);
      return;
    }
    // The parse-error text and any report are made here, on the caller's
    // thread.
    if (done.notLoaded) {
      result = XMLError(errors, *done.notLoaded, done.notLoadedLocation);
      if (format != nullptr) {
        format->notice = done.notLoadedLocation;
        format->notLoadedFile = done.notLoadedLocation;
        format->notLoadedLine = static_cast<long>(done.notLoaded->Line);
        if (done.notLoaded->Line > 0) format->notice += ":" + std::to_string(done.notLoaded->Line);
        format->notice += ": " + done.notLoaded->reason;
      }
    } else {
      result = std::move(done.output);
      if (format != nullptr) {
        format->kind = done.kind;
        format->encoding = done.encoding;
      }
      if (documents != nullptr) *documents = std::move(done.documents);
    }
  });
}

}  // namespace xmlpellor::transform
