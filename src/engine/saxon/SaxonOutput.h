#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/xml/OutputFormat.h"

namespace xmlpellor::saxon {

// The page kind of an output Saxon serialised with `method` (as the
// stylesheet's xsl:output named it; "" when it named none), judged as the
// libxslt engine judges its own: text for text and the methods that make no
// markup (json, adaptive), XHTML for an html element in the XHTML namespace,
// HTML for the html method or a plain html root, XML otherwise. `head` is the
// output's beginning, where its root element starts.
xml::OutputKind KindOfOutput(std::string_view method, std::string_view head);

// An error or warning of Saxon's: its code (XTSE0010), text and place.
struct SaxonReport {
  bool error = true;
  std::string code;
  std::string text;
  std::string file;  // a path where the place is a local file, else as Saxon named it
  int line = 0;      // 0: not known
  int column = 0;
};

// "file:line:column: XTSE0010: text", the shape the libxslt engine's
// messages have, "Warning: " before a warning's text.
std::string ReportLine(const SaxonReport& report);

// The path of a file: URI Saxon names a place by; anything else unchanged.
std::string PlaceName(const std::string& systemId);

// "file:///a%20b/c.xml" for "/a b/c.xml": the URI the job's files go to
// Saxon under, so relative references resolve against them.
std::string FileUri(const std::string& path);

}  // namespace xmlpellor::saxon
