#pragma once

#include <string>

#include "platform/Variant.h"

namespace xmlpellor {

class ErrorHandling;

// Turning an XML document and an XSL stylesheet into HTML text. Each function
// carries its own trap: a failure is reported once and the function returns
// the empty value.
namespace transform {

// The output of transforming the document at `strXmlDoc` with the stylesheet
// at `strXslDoc`, or the parse-error text of the first of the two that does
// not load. `astrParamValue` is empty or a StringArray of alternating
// parameter names and values.
Variant CreateHTMLFromXMLXSL(ErrorHandling& errors, const std::string& strXmlDoc,
                             const std::string& strXslDoc, const Variant& astrParamValue) noexcept;

}  // namespace transform
}  // namespace xmlpellor
