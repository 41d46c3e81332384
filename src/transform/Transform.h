#pragma once

#include <string>
#include <vector>

#include "platform/Variant.h"
#include "platform/xml/OutputFormat.h"
#include "platform/xml/ParseError.h"
#include "transform/Job.h"

namespace xmlpellor {

class ErrorHandling;
class IWorker;

namespace transform {
class IEngine;
}

// Turning an XML document and an XSL stylesheet into HTML text. Each function
// carries its own trap: a failure is reported once and the function returns
// the empty value.
namespace transform {

using ParseError = xml::ParseError;
using OutputFormat = xml::OutputFormat;
using OutputKind = xml::OutputKind;

// The output of transforming the document at `strXmlDoc` with the stylesheet
// at `strXslDoc`, or the parse-error text of the first of the two that does
// not load. `astrParamValue` is empty or a StringArray of alternating
// parameter names and values, written into the stylesheet's xsl:param
// elements (the first of each name in document order) before it is applied.
// `format`, when given, receives the kind of the output; the parse-error
// text, the stop text and an empty result are HTML. `engine` runs the loads
// and the transformation, waited for on `worker`; when the user stops them
// the result is the stop text instead, with no report. What the job tells
// as it runs goes to `events`; without it, its messages go to stderr.
// `documents`, when given, receives the files the stylesheet wrote beside
// its output.
// `globals` set global parameters through libxslt, as xsltproc's
// --stringparam and --param do, apart from `astrParamValue`.
Variant CreateHTMLFromXMLXSL(ErrorHandling& errors, IWorker& worker, IEngine& engine,
                             const std::string& strXmlDoc, const std::string& strXslDoc,
                             const Variant& astrParamValue, OutputFormat* format = nullptr,
                             JobEvents* events = nullptr,
                             std::vector<xml::OutputDocument>* documents = nullptr,
                             const std::vector<xml::GlobalParameter>& globals = {}) noexcept;

// "The transformation was stopped after 2.4 s.", shown in place of a result
// the user stopped.
std::string StoppedText(double seconds);

// "Error in line <Line> of <strDoc><br /><reason>", the text shown in place
// of a result when a document does not load. The location and the reason
// are escaped so that they show as written and cannot inject markup.
Variant XMLError(ErrorHandling& errors, const ParseError& parseError,
                 const std::string& strDoc) noexcept;

// Escapes the three characters that would otherwise be read as markup in
// HTML text: &, < and >.
std::string EscapeMarkup(const std::string& text);

}  // namespace transform
}  // namespace xmlpellor
