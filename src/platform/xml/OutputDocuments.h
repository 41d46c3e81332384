#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <libxslt/xsltInternals.h>

namespace xmlpellor::xml {

// A file a stylesheet wrote beside its output (exsl:document, xsl:document,
// saxon:output, redirect:write).
struct OutputDocument {
  // Relative to the folder of the main output, parts separated by '/'.
  std::string path;
  // As the instruction's own output settings (method, encoding) made them.
  std::string bytes;
};

inline constexpr std::uint64_t kDefaultMaxOutputDocuments = 10000;
inline constexpr std::uint64_t kDefaultMaxOutputBytes = std::uint64_t{1} << 30;
// Longer paths than this are refused; the window gets each one in a channel
// message of its own.
inline constexpr std::size_t kMaxOutputPath = 4096;

// The files one transformation wrote, and how many and how much it may.
struct OutputDocuments {
  std::uint64_t maxFiles = kDefaultMaxOutputDocuments;
  std::uint64_t maxBytes = kDefaultMaxOutputBytes;
  // In the order each was first written; a file written again keeps its
  // place and takes the new bytes, as on a disk.
  std::vector<OutputDocument> files;
};

// Where a file named `href` lands, relative to the folder of the main
// output, when it is written while the file `from` is being written ("" for
// the main output, which lies in that folder): the href resolved as a
// relative URL reference against `from`, its %XX escapes decoded as a file
// name. Empty when it would land anywhere else: an absolute path, a URL
// with a scheme (file:, http:), a ".." above the folder, a folder's name.
std::optional<std::string> ResolveOutputHref(std::string_view href, std::string_view from);

// True for a path ResolveOutputHref can give: what the window checks again
// of every path the engine's process names.
bool IsOutputPath(std::string_view path);

// "Refused: a stylesheet may not write files outside the folder of its
// output (../x.html)".
std::string OutputRefusalText(std::string_view href);
// Why a transformation was stopped at `documents`' limits, in the same words
// whichever engine ran it.
std::string TooManyFilesText(const OutputDocuments& documents);
std::string TooManyBytesText(const OutputDocuments& documents);

// For its lifetime, the files the transformations on this thread write go
// into `documents` instead of the file system; a stylesheet may write only
// below its output's folder, within the limits. Without one, the security
// preferences refuse every such write.
class OutputDocumentCapture {
 public:
  explicit OutputDocumentCapture(OutputDocuments& documents) noexcept;
  ~OutputDocumentCapture();
  OutputDocumentCapture(const OutputDocumentCapture&) = delete;
  OutputDocumentCapture& operator=(const OutputDocumentCapture&) = delete;

  // Has the compiled stylesheet's document instructions (its imports'
  // too) write here.
  static void Route(xsltStylesheet* style) noexcept;
  // The limit the run went past, in words; empty when none.
  const std::string& Overflow() const noexcept { return m_overflow; }

  // Entry points handed to libxslt and libxml2.
  static void WriteDocument(xsltTransformContext* context, xmlNode* node, xmlNode* inst,
                            xsltElemPreComp* comp);
  static xmlOutputBuffer* Open(const char* uri, xmlCharEncodingHandler* encoder, int compression);
  static int Append(void* sink, const char* data, int length);
  static int Close(void* sink);

 private:
  void Write(xsltTransformContext* context, xmlNode* node, xmlNode* inst, xsltElemPreComp* comp);
  void Stop(xsltTransformContext* context, std::string message);

  OutputDocuments& m_documents;
  std::uint64_t m_bytes = 0;
  // The files being written, innermost last: a nested instruction's href
  // resolves against the file around it.
  std::vector<std::string> m_writing;
  std::string m_overflow;
  OutputDocumentCapture* m_outer;
  xmlOutputBufferCreateFilenameFunc m_savedOpen;
};

}  // namespace xmlpellor::xml
