#include "platform/xml/XmlLibrary.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include <libexslt/exslt.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlmemory.h>
#include <libxslt/security.h>
#include <libxslt/xslt.h>

#include "platform/RuntimeError.h"
#include "platform/xml/DomDocument.h"
#include "platform/xml/ReadPolicy.h"
#include "platform/xml/XmlErrorCollector.h"
#include "platform/xml/XmlJob.h"

namespace xmlpellor::xml {

namespace {

// Every refusal is recorded with the collector of the running operation, so
// the transformation fails with a message instead of quietly producing less
// than the stylesheet asked for.
template <xsltSecurityOption Option>
int Refuse(xsltSecurityPrefsPtr, xsltTransformContextPtr context, const char* value) {
  const std::string what = value ? value : "";
  std::string message;
  switch (Option) {
    case XSLT_SECPREF_WRITE_FILE:
      message = "Refused: a stylesheet may not write files (" + what + ")";
      break;
    case XSLT_SECPREF_CREATE_DIRECTORY:
      message = "Refused: a stylesheet may not create folders (" + what + ")";
      break;
    case XSLT_SECPREF_READ_NETWORK:
      message = "Refused: a stylesheet may not read from the network (" + what + ")";
      break;
    default: message = "Refused: a stylesheet may not write to the network (" + what + ")"; break;
  }
  if (auto* collector = XmlErrorCollector::Current()) collector->RecordRefusal(message);
  if (context != nullptr) context->state = XSLT_STATE_STOPPED;
  return 0;
}

thread_local XmlJobScope* tJob = nullptr;

XmlAllocationFailed gOnAllocationFailure = nullptr;

void* WatchedMalloc(std::size_t size) {
  void* p = std::malloc(size);
  if (p == nullptr && size != 0 && gOnAllocationFailure != nullptr) gOnAllocationFailure();
  return p;
}

void* WatchedRealloc(void* old, std::size_t size) {
  void* p = std::realloc(old, size);
  if (p == nullptr && size != 0 && gOnAllocationFailure != nullptr) gOnAllocationFailure();
  return p;
}

char* WatchedStrdup(const char* text) {
  char* p = ::strdup(text);
  if (p == nullptr && gOnAllocationFailure != nullptr) gOnAllocationFailure();
  return p;
}

// The read of one input in a job, counted, so the window can show how far
// a large document has got.
struct CountedRead {
  xmlInputReadCallback read;
  xmlInputCloseCallback close;
  void* context;
  XmlJobObserver* observer;
  std::uint64_t total;
  std::uint64_t done = 0;
  std::uint64_t told = 0;
};

int ReadCounted(void* self, char* buffer, int length) {
  auto* input = static_cast<CountedRead*>(self);
  const int n = input->read(input->context, buffer, length);
  if (n > 0) {
    input->done += static_cast<std::uint64_t>(n);
    constexpr std::uint64_t kEvery = 1 << 20;
    if (input->done - input->told >= kEvery) {
      input->told = input->done;
      input->observer->Progress(input->done, input->total);
    }
  }
  return n;
}

int CloseCounted(void* self) {
  const std::unique_ptr<CountedRead> input(static_cast<CountedRead*>(self));
  return input->close != nullptr ? input->close(input->context) : 0;
}

void Count(xmlParserInputPtr input, const std::string& path, XmlJobObserver& observer) {
  if (input == nullptr || input->buf == nullptr || input->buf->readcallback == nullptr) return;
  struct stat info {};
  const std::uint64_t total =
      ::stat(path.c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
  auto* counted = new (std::nothrow) CountedRead{input->buf->readcallback, input->buf->closecallback,
                                                 input->buf->context, &observer, total};
  if (counted == nullptr) return;
  input->buf->readcallback = &ReadCounted;
  input->buf->closecallback = &CloseCounted;
  input->buf->context = counted;  // freed by the buffer's close
}

// Every input libxml2 and libxslt open comes through here: the document,
// the stylesheet, includes and imports, document(), DTDs and entities. In a
// job, each local file is checked against the job's read policy first.
xmlParserInputPtr LoadInJob(const char* url, const char* id, xmlParserCtxtPtr parser) {
  XmlJobScope* job = tJob;
  if (job != nullptr && url != nullptr) {
    std::string path;
    try {
      path = LocalPathOf(url);
    } catch (const RuntimeError&) {
      // Not a local file: the loader below refuses the network itself.
    }
    if (!path.empty() && !job->policy.Allows(path)) {
      if (auto* collector = XmlErrorCollector::Current()) {
        const int line = parser != nullptr && parser->input != nullptr ? parser->input->line : 0;
        collector->RecordRefusal(ReadPolicy::RefusalText(path), line);
      }
      return nullptr;
    }
    if (!path.empty()) {
      job->observer.Reading(path);
      xmlParserInputPtr input = xmlNoNetExternalEntityLoader(url, id, parser);
      Count(input, path, job->observer);
      return input;
    }
  }
  return xmlNoNetExternalEntityLoader(url, id, parser);
}

}  // namespace

int ParseOptions(bool validate) noexcept {
  int options =
      XML_PARSE_NOENT | XML_PARSE_DTDLOAD | XML_PARSE_DTDATTR | XML_PARSE_NOCDATA | XML_PARSE_NONET;
  if (validate) options |= XML_PARSE_DTDVALID;
  return options;
}

void EnsureXmlLibraryInitialised() noexcept {
  static std::once_flag once;
  std::call_once(once, [] {
    if (gOnAllocationFailure != nullptr) {
      xmlMemSetup(std::free, WatchedMalloc, WatchedRealloc, WatchedStrdup);
    }
    xmlInitParser();
    xsltInit();
    exsltRegisterAll();
    // Whatever options a caller forgets, no entity or DTD comes over the network.
    xmlSetExternalEntityLoader(LoadInJob);
    // Deeper than libxml2's default of 256, without its huge option, which
    // would also switch off the limits on entity expansion. The parser
    // refuses a document only once it is one level deeper than this value.
    xmlParserMaxDepth = kMaxDocumentDepth - 1;

    // Lives as long as the process; libxslt keeps a pointer to it.
    xsltSecurityPrefsPtr prefs = xsltNewSecurityPrefs();
    if (prefs == nullptr) return;
    xsltSetSecurityPrefs(prefs, XSLT_SECPREF_WRITE_FILE, Refuse<XSLT_SECPREF_WRITE_FILE>);
    xsltSetSecurityPrefs(prefs, XSLT_SECPREF_CREATE_DIRECTORY,
                         Refuse<XSLT_SECPREF_CREATE_DIRECTORY>);
    xsltSetSecurityPrefs(prefs, XSLT_SECPREF_READ_NETWORK, Refuse<XSLT_SECPREF_READ_NETWORK>);
    xsltSetSecurityPrefs(prefs, XSLT_SECPREF_WRITE_NETWORK, Refuse<XSLT_SECPREF_WRITE_NETWORK>);
    // The default covers xsl:include and xsl:import while a stylesheet compiles.
    xsltSetDefaultSecurityPrefs(prefs);
  });
}

void WatchAllocations(XmlAllocationFailed onFailure) noexcept {
  gOnAllocationFailure = onFailure;
}

XmlJobScope::XmlJobScope(const ReadPolicy& policy, XmlJobObserver& observer) noexcept
    : policy(policy), observer(observer), m_outer(tJob) {
  tJob = this;
}

XmlJobScope::~XmlJobScope() {
  tJob = m_outer;
}

XmlJobScope* XmlJobScope::Current() noexcept {
  return tJob;
}

}  // namespace xmlpellor::xml
