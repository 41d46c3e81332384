#include "transform/Transform.h"

#include <chrono>
#include <cstdio>
#include <limits>
#include <optional>
#include <utility>

#include "error_handling/ProcedureTrap.h"
#include "platform/RuntimeError.h"
#include "platform/Worker.h"
#include "platform/xml/DomDocument.h"

namespace xmlpellor::transform {

namespace {

constexpr const char* kXsltNamespaceDeclaration =
    "xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"";

// Writes each name/value pair into the first xsl:param of that name.
void SetParameters(xml::DOMDocument& xslDoc, const Variant& astrParamValue) {
  const auto* params = std::get_if<StringArray>(&astrParamValue);
  if (params == nullptr) throw RuntimeError(err::kTypeMismatch, "Type mismatch");
  const int upper = params->UBound();
  const int lower = params->lowerBound;
  xml::DOMNode param;
  for (int i = lower; i <= upper; i += 2) {
    param = xslDoc.selectSingleNode("/descendant::xsl:param[@name='" + params->At(i) + "']");
    param.text(params->At(i + 1));
  }
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

Variant CreateHTMLFromXMLXSL(ErrorHandling& errors, IWorker& worker, const std::string& strXmlDoc,
                             const std::string& strXslDoc, const Variant& astrParamValue,
                             OutputFormat* format) noexcept {
  if (format != nullptr) *format = {};
  return Guarded<Variant>(errors, [&](Variant& result) {
    const auto started = std::chrono::steady_clock::now();
    // Only the library work runs on the worker; the parse-error text and
    // any report are made here, on the caller's thread.
    std::optional<std::pair<ParseError, std::string>> notLoaded;
    std::string output;
    OutputFormat madeFormat;
    try {
      worker.Run([&] {
        xml::DOMDocument xmlDoc;
        xmlDoc.async(false);
        xmlDoc.validateOnParse(false);
        xmlDoc.compactText(true);
        if (!xmlDoc.load(strXmlDoc)) {
          notLoaded.emplace(xmlDoc.parseError(), strXmlDoc);
          return;
        }

        xml::DOMDocument xslDoc;
        xslDoc.async(false);
        xslDoc.validateOnParse(false);
        if (!xslDoc.load(strXslDoc)) {
          notLoaded.emplace(xslDoc.parseError(), strXslDoc);
          return;
        }
        xslDoc.setProperty("SelectionLanguage", "XPath");
        xslDoc.setProperty("SelectionNamespaces", kXsltNamespaceDeclaration);
        if (!IsEmpty(astrParamValue)) SetParameters(xslDoc, astrParamValue);

        output = std::move(xmlDoc).transformNode(xslDoc.documentElement(), &madeFormat);
      });
    } catch (const RuntimeError& e) {
      // Stopping is the user's choice, not a failure to report.
      if (e.number() != err::kUserInterrupt) throw;
      const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
      result = StoppedText(took.count());
      return;
    }
    if (notLoaded) {
      result = XMLError(errors, notLoaded->first, notLoaded->second);
    } else {
      result = std::move(output);
      if (format != nullptr) *format = madeFormat;
    }
  });
}

}  // namespace xmlpellor::transform
