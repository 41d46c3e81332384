#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "transform/Transform.h"

namespace xmlpellor {

class ErrorHandling;
class ICommonDialog;
class IFileSystem;

inline constexpr const char* kSaveOutputTitle = "Save Output As";
inline constexpr const char* kSaveOutputFilesTitle = "Save Output Files Into Folder";
// The run's own folder for the files a stylesheet wrote lies beside the
// temporary output file.
inline constexpr const char* kRunFolderPrefix = "xmlpellor-files-";

// The files of an Apply whose stylesheet wrote some beside its output, in a
// folder of the run's own.
struct OutputSet {
  std::string folder;
  // Relative to the folder, in the order written; the output itself among
  // them, under `mainFile`, unless it was blank.
  std::vector<std::string> files;
  std::string mainFile;
};

// What the last Apply wrote to the temporary output file.
struct AppliedOutput {
  transform::OutputKind kind = transform::OutputKind::kHtml;
  std::string document;            // the XML document as the Apply read it
  std::string encoding = "UTF-8";  // of the file's bytes
  std::string engine = {};         // that made it: "libxslt", "Saxon-HE"
  OutputSet set = {};              // empty unless the stylesheet wrote files
};

// The name the output takes beside the files the stylesheet wrote:
// "index.html" (by its kind, as SuggestedOutputName), else the document's
// own name, else that name with "-output", whichever the stylesheet left
// free.
std::string MainOutputName(const std::vector<std::string>& written, const AppliedOutput& output);

// The file a page shows first of `files`: `mainFile` when there is one,
// else an index at the top, else the first one written.
std::size_t FirstShownFile(const std::vector<std::string>& files, const std::string& mainFile);

// True when the text holds nothing but white space: output of a stylesheet
// whose files are all it makes.
bool IsBlank(std::string_view text);

// The name a saved copy of the output is offered under: the document's
// name, in its folder, with the extension a browser opens that kind of
// output by ("orders.xml" gives "orders.html", "orders.txt", "orders.xml").
// A document named by a file: URL counts by its path.
std::string SuggestedOutputName(const AppliedOutput& output);

// The save dialog's filter for a kind of output, every file as the second
// choice.
std::string OutputFilter(transform::OutputKind kind);

// Lets the user save a copy of the output file, byte for byte, under a name
// of their choosing; when the stylesheet wrote files, the whole set, as
// they lie in the run's folder, into a folder of their choosing that holds
// none of them yet. Carries its own trap: Cancel ends it silently, any
// other error is reported.
void SaveOutputAs(ErrorHandling& errors, ICommonDialog& cdl, IFileSystem& fs,
                  const std::string& outputFile, const AppliedOutput& output) noexcept;

}  // namespace xmlpellor
