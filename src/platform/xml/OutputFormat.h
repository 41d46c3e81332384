#pragma once

#include <string>

namespace xmlpellor::xml {

// What a transformation's output is, as a browser would take a saved file of
// it: an HTML page, an XHTML page in XML syntax, other XML, or plain text.
enum class OutputKind { kHtml, kXhtml, kXml, kText };

struct OutputFormat {
  OutputKind kind = OutputKind::kHtml;
  // The character encoding the output's bytes are in: what xsl:output asked
  // for, when libxml2 can write it, else UTF-8.
  std::string encoding = "UTF-8";
  // Set, in one line, when the text is the program's account of why there
  // is no output: a document that did not load, a stop.
  std::string notice;
  // For a document that did not load: which, and the line it stopped at.
  std::string notLoadedFile;
  long notLoadedLine = 0;
};

}  // namespace xmlpellor::xml
