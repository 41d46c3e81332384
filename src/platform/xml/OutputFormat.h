#pragma once

namespace xmlpellor::xml {

// What a transformation's output is, as a browser would take a saved file of
// it: an HTML page, an XHTML page in XML syntax, other XML, or plain text.
enum class OutputKind { kHtml, kXhtml, kXml, kText };

struct OutputFormat {
  OutputKind kind = OutputKind::kHtml;
};

}  // namespace xmlpellor::xml
