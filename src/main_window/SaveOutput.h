#pragma once

#include <string>

#include "transform/Transform.h"

namespace xmlpellor {

class ErrorHandling;
class ICommonDialog;
class IFileSystem;

inline constexpr const char* kSaveOutputTitle = "Save Output As";

// What the last Apply wrote to the temporary output file.
struct AppliedOutput {
  transform::OutputKind kind = transform::OutputKind::kHtml;
  std::string document;  // the XML document as the Apply read it
  std::string encoding = "UTF-8";  // of the file's bytes
  std::string engine = {};          // that made it: "libxslt", "Saxon-HE"
};

// The name a saved copy of the output is offered under: the document's
// name, in its folder, with the extension a browser opens that kind of
// output by ("orders.xml" gives "orders.html", "orders.txt", "orders.xml").
// A document named by a file: URL counts by its path.
std::string SuggestedOutputName(const AppliedOutput& output);

// The save dialog's filter for a kind of output, every file as the second
// choice.
std::string OutputFilter(transform::OutputKind kind);

// Lets the user save a copy of the output file, byte for byte, under a name
// of their choosing. Carries its own trap: Cancel ends it silently, any
// other error is reported.
void SaveOutputAs(ErrorHandling& errors, ICommonDialog& cdl, IFileSystem& fs,
                  const std::string& outputFile, const AppliedOutput& output) noexcept;

}  // namespace xmlpellor
