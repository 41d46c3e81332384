#include "platform/xml/OutputDocuments.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <new>

#include <libxml/xmlIO.h>
#include <libxml/xpath.h>
#include <libxslt/extra.h>
#include <libxslt/imports.h>
#include <libxslt/security.h>
#include <libxslt/templates.h>
#include <libxslt/transform.h>

#include "platform/LocalPath.h"
#include "platform/SizeText.h"
#include "platform/xml/XmlErrorCollector.h"
#include "platform/xml/XmlPtr.h"

namespace xmlpellor::xml {

namespace {

thread_local OutputDocumentCapture* tCapture = nullptr;

// A URL reference that starts with a scheme ("file:", "http:", "c:") names
// no place relative to the output.
bool HasScheme(std::string_view href) {
  if (href.empty() || !std::isalpha(static_cast<unsigned char>(href[0]))) return false;
  for (const char c : href) {
    if (c == ':') return true;
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') {
      return false;
    }
  }
  return false;
}

// One part of a path with its escapes decoded; empty when what it decodes
// to could not be a file name's part.
std::optional<std::string> Decoded(std::string_view part) {
  std::string out = PercentDecoded(part);
  if (out.find('/') != std::string::npos || out.find('\0') != std::string::npos) {
    return std::nullopt;
  }
  return out;
}

std::vector<std::string_view> Split(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t slash = path.find('/', start);
    parts.push_back(path.substr(start, slash - start));
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  return parts;
}

// "10 000": a count, its digits in groups of three.
std::string Grouped(std::uint64_t n) {
  std::string digits = std::to_string(n);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
    digits.insert(static_cast<std::size_t>(at), " ");
  }
  return digits;
}

// The href exactly as libxslt's own instruction reads it, so that a refusal
// names what the stylesheet said.
XmlPtr<xmlChar> HrefOf(xsltTransformContext* context, xmlNode* inst, xsltElemPreComp* comp) {
  const auto* precomputed = reinterpret_cast<xsltStylePreComp*>(comp);
  if (precomputed->filename != nullptr) return XmlPtr<xmlChar>(xmlStrdup(precomputed->filename));
  const auto attribute = [&](const char* name, const xmlChar* ns) {
    return XmlPtr<xmlChar>(xsltEvalAttrValueTemplate(context, inst, BAD_CAST name, ns));
  };
  if (xmlStrEqual(inst->name, BAD_CAST "output")) {
    XmlPtr<xmlChar> href = attribute("file", XSLT_SAXON_NAMESPACE);
    return href ? std::move(href) : attribute("href", XSLT_SAXON_NAMESPACE);
  }
  if (xmlStrEqual(inst->name, BAD_CAST "write")) {
    XmlPtr<xmlChar> select = attribute("select", XSLT_XALAN_NAMESPACE);
    if (select) {
      XmlPtr<xmlXPathCompExpr> compiled(xmlXPathCompile(select.get()));
      return XmlPtr<xmlChar>(xsltEvalXPathString(context, compiled.get()));
    }
    XmlPtr<xmlChar> file = attribute("file", XSLT_XALAN_NAMESPACE);
    return file ? std::move(file) : attribute("href", XSLT_XALAN_NAMESPACE);
  }
  return attribute("href", nullptr);
}

struct Sink {
  OutputDocumentCapture* capture;
  std::size_t index;
};

}  // namespace

std::optional<std::string> ResolveOutputHref(std::string_view href, std::string_view from) {
  if (href.empty() || href.front() == '/' || HasScheme(href)) return std::nullopt;
  std::vector<std::string> parts;
  // The folder of the file being written.
  const std::vector<std::string_view> base = Split(from);
  for (std::size_t i = 0; i + 1 < base.size(); ++i) parts.emplace_back(base[i]);
  // "sub/", "sub/." and ".." name folders, not files.
  bool namesFile = false;
  for (const std::string_view step : Split(href)) {
    const std::optional<std::string> part = Decoded(step);
    if (!part) return std::nullopt;
    namesFile = !part->empty() && *part != "." && *part != "..";
    if (part->empty() || *part == ".") continue;
    if (*part == "..") {
      if (parts.empty()) return std::nullopt;
      parts.pop_back();
      continue;
    }
    parts.push_back(*part);
  }
  if (!namesFile) return std::nullopt;
  std::string path;
  for (const std::string& part : parts) {
    if (!path.empty()) path += '/';
    path += part;
  }
  if (path.size() > kMaxOutputPath) return std::nullopt;
  return path;
}

bool IsOutputPath(std::string_view path) {
  if (path.empty() || path.size() > kMaxOutputPath || path.find('\0') != std::string_view::npos) {
    return false;
  }
  for (const std::string_view part : Split(path)) {
    if (part.empty() || part == "." || part == "..") return false;
  }
  return true;
}

std::string OutputRefusalText(std::string_view href) {
  return "Refused: a stylesheet may not write files outside the folder of its output (" +
         std::string(href) + ")";
}

std::string TooManyFilesText(const OutputDocuments& documents) {
  return "The stylesheet wrote more than " + Grouped(documents.maxFiles) +
         " files, the most one transformation may write";
}

std::string TooManyBytesText(const OutputDocuments& documents) {
  return "The stylesheet wrote more than " + SizeText(documents.maxBytes) +
         " into its files, the most one transformation may write";
}

OutputDocumentCapture::OutputDocumentCapture(OutputDocuments& documents) noexcept
    : m_documents(documents),
      m_outer(tCapture),
      m_savedOpen(xmlOutputBufferCreateFilenameDefault(&OutputDocumentCapture::Open)) {
  tCapture = this;
}

OutputDocumentCapture::~OutputDocumentCapture() {
  tCapture = m_outer;
  xmlOutputBufferCreateFilenameDefault(m_savedOpen);
}

void OutputDocumentCapture::Route(xsltStylesheet* style) noexcept {
  for (xsltStylesheet* s = style; s != nullptr; s = xsltNextImport(s)) {
    for (xsltElemPreComp* comp = s->preComps; comp != nullptr; comp = comp->next) {
      if (comp->func == &xsltDocumentElem) comp->func = &OutputDocumentCapture::WriteDocument;
    }
  }
}

void OutputDocumentCapture::WriteDocument(xsltTransformContext* context, xmlNode* node,
                                          xmlNode* inst, xsltElemPreComp* comp) {
  if (context == nullptr || node == nullptr || inst == nullptr || comp == nullptr) return;
  OutputDocumentCapture* capture = tCapture;
  if (capture == nullptr) {
    // Outside a capture the security preferences refuse the write.
    xsltDocumentElem(context, node, inst, comp);
    return;
  }
  try {
    capture->Write(context, node, inst, comp);
  } catch (...) {
    // Out of memory: nothing of C++ may unwind through libxslt.
    context->state = XSLT_STATE_STOPPED;
  }
}

void OutputDocumentCapture::Stop(xsltTransformContext* context, std::string message) {
  if (auto* collector = XmlErrorCollector::Current()) collector->RecordRefusal(std::move(message));
  context->state = XSLT_STATE_STOPPED;
}

void OutputDocumentCapture::Write(xsltTransformContext* context, xmlNode* node, xmlNode* inst,
                                  xsltElemPreComp* comp) {
  if (!m_overflow.empty()) {
    context->state = XSLT_STATE_STOPPED;
    return;
  }
  const XmlPtr<xmlChar> href = HrefOf(context, inst, comp);
  if (!href) {
    // libxslt says what is missing itself, and writes nothing.
    xsltDocumentElem(context, node, inst, comp);
    return;
  }
  const std::string hrefText(reinterpret_cast<const char*>(href.get()));
  const std::optional<std::string> path =
      ResolveOutputHref(hrefText, m_writing.empty() ? std::string_view() : m_writing.back());
  if (!path) return Stop(context, OutputRefusalText(hrefText));
  const bool known = std::any_of(m_documents.files.begin(), m_documents.files.end(),
                                 [&](const OutputDocument& d) { return d.path == *path; });
  if (!known && m_documents.files.size() >= m_documents.maxFiles) {
    m_overflow = TooManyFilesText(m_documents);
    context->state = XSLT_STATE_STOPPED;
    return;
  }
  m_writing.push_back(*path);
  // Without security preferences libxslt neither refuses the write nor
  // creates folders for it (which the engine's process may not do); the
  // bytes come to Open below instead of to a file.
  void* security = context->sec;
  context->sec = nullptr;
  xsltDocumentElem(context, node, inst, comp);
  context->sec = security;
  m_writing.pop_back();
}

xmlOutputBuffer* OutputDocumentCapture::Open(const char* uri, xmlCharEncodingHandler* encoder,
                                             int /*compression*/) {
  OutputDocumentCapture* capture = tCapture;
  if (capture == nullptr || capture->m_writing.empty()) {
    // Only the document instructions above write while a capture is on.
    if (auto* collector = XmlErrorCollector::Current()) {
      collector->RecordRefusal(std::string("Refused: a stylesheet may not write files (") +
                               (uri != nullptr ? uri : "") + ")");
    }
    if (encoder != nullptr) xmlCharEncCloseFunc(encoder);
    return nullptr;
  }
  try {
    const std::string& path = capture->m_writing.back();
    auto& files = capture->m_documents.files;
    auto it = std::find_if(files.begin(), files.end(),
                           [&](const OutputDocument& d) { return d.path == path; });
    if (it == files.end()) {
      files.push_back({path, {}});
      it = files.end() - 1;
    } else {
      capture->m_bytes -= it->bytes.size();
      it->bytes.clear();
    }
    auto sink = std::make_unique<Sink>(Sink{capture, static_cast<std::size_t>(it - files.begin())});
    xmlOutputBuffer* out = xmlOutputBufferCreateIO(
        &OutputDocumentCapture::Append, &OutputDocumentCapture::Close, sink.get(), encoder);
    if (out != nullptr) sink.release();  // the buffer's close frees it
    return out;
  } catch (...) {
    if (encoder != nullptr) xmlCharEncCloseFunc(encoder);
    return nullptr;
  }
}

int OutputDocumentCapture::Append(void* sink, const char* data, int length) {
  auto* to = static_cast<Sink*>(sink);
  OutputDocumentCapture& capture = *to->capture;
  const auto size = static_cast<std::uint64_t>(length);
  if (capture.m_bytes + size > capture.m_documents.maxBytes) {
    capture.m_overflow = TooManyBytesText(capture.m_documents);
    return -1;
  }
  try {
    capture.m_documents.files[to->index].bytes.append(data, size);
  } catch (...) {
    return -1;
  }
  capture.m_bytes += size;
  return length;
}

int OutputDocumentCapture::Close(void* sink) {
  delete static_cast<Sink*>(sink);
  return 0;
}

}  // namespace xmlpellor::xml
