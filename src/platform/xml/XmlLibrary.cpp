#include "platform/xml/XmlLibrary.h"

#include <strings.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include <libexslt/exslt.h>
#include <libxml/catalog.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/uri.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlmemory.h>
#include <libxslt/security.h>
#include <libxslt/xslt.h>

#include "platform/LocalPath.h"
#include "platform/RuntimeError.h"
#include "platform/xml/DomDocument.h"
#include "platform/ReadPolicy.h"
#include "platform/xml/XmlErrorCollector.h"
#include "platform/xml/XmlJob.h"
#include "platform/xml/XmlPtr.h"

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

void Count(xmlParserInputPtr input, std::uint64_t total, XmlJobObserver& observer) {
  if (input == nullptr || input->buf == nullptr || input->buf->readcallback == nullptr) return;
  auto* counted = new (std::nothrow) CountedRead{
      input->buf->readcallback, input->buf->closecallback, input->buf->context, &observer, total};
  if (counted == nullptr) return;
  input->buf->readcallback = &ReadCounted;
  input->buf->closecallback = &CloseCounted;
  input->buf->context = counted;  // freed by the buffer's close
}

bool IsNetworkUrl(const std::string& url) {
  for (const char* scheme : {"http://", "https://", "ftp://"}) {
    if (strncasecmp(url.c_str(), scheme, std::strlen(scheme)) == 0) return true;
  }
  return false;
}

bool ExistsLocally(const std::string& url) {
  std::string path;
  try {
    path = LocalPathOf(url);
  } catch (const RuntimeError&) {
    return false;
  }
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

// An input over the descriptor the policy opened, named as libxml2 names
// one it opened itself, so that relative references inside it resolve the
// same way.
xmlParserInputPtr InputOver(OpenedFile& opened, const std::string& resource,
                            xmlParserCtxtPtr parser) {
  xmlParserInputBufferPtr buffer =
      xmlParserInputBufferCreateFd(opened.fd.get(), XML_CHAR_ENCODING_NONE);
  if (buffer == nullptr) return nullptr;
  (void)opened.fd.release();  // the buffer closes it now
  xmlParserInputPtr input = xmlNewIOInputStream(parser, buffer, XML_CHAR_ENCODING_NONE);
  if (input == nullptr) {
    xmlFreeParserInputBuffer(buffer);
    return nullptr;
  }
  // The input frees both with itself.
  input->filename =
      reinterpret_cast<char*>(xmlCanonicPath(reinterpret_cast<const xmlChar*>(resource.c_str())));
  input->directory = xmlParserGetDirectory(resource.c_str());
  if (parser->directory == nullptr && input->directory != nullptr) {
    parser->directory =
        reinterpret_cast<char*>(xmlStrdup(reinterpret_cast<const xmlChar*>(input->directory)));
  }
  return input;
}

// Every input libxml2 and libxslt open comes through here: the document,
// the stylesheet, includes and imports, document(), DTDs and entities. The
// name is resolved through the catalogs first, then the job's read policy
// opens what that leads to, or refuses it; nothing is opened by name after
// the decision. Outside a job nothing is read: a caller that forgot its
// scope must not read anything it likes.
xmlParserInputPtr LoadInJob(const char* url, const char* id, xmlParserCtxtPtr parser) {
  static const ReadPolicy nothing;
  if (parser == nullptr) return nullptr;
  XmlJobScope* job = tJob;
  const ReadPolicy& policy = job != nullptr ? job->policy : nothing;
  XmlErrorCollector* collector = XmlErrorCollector::Current();
  const int line = parser->input != nullptr ? parser->input->line : 0;
  const auto failed = [&](const std::string& resource,
                          const std::string& why) -> xmlParserInputPtr {
    if (collector != nullptr) {
      collector->RecordLoadFailure(XML_IO_LOAD_ERROR, parser->validate != 0,
                                   "failed to load external entity \"" + resource + "\"" + why,
                                   line);
    }
    return nullptr;
  };
  const auto refused = [&](std::string text, bool allowingHelps) -> xmlParserInputPtr {
    if (collector != nullptr) {
      collector->RecordRefusal(std::move(text), line,
                               allowingHelps ? policy.Advice() : std::string());
    }
    return nullptr;
  };

  const std::string resource = ThroughCatalogs(url, id);
  if (resource.empty()) return failed("(none)", {});
  std::string path;
  try {
    path = LocalPathOf(resource);
  } catch (const RuntimeError&) {
    if (IsNetworkUrl(resource)) {
      if (collector != nullptr) {
        collector->RecordLoadFailure(XML_IO_NETWORK_ATTEMPT, true,
                                     "Attempt to load network entity " + resource, line);
      }
      return nullptr;
    }
    return refused(
        "Refused: the transformation may not read " + resource + ", which names no local file",
        false);
  }
  OpenedFile opened = policy.Open(path);
  switch (opened.outcome) {
    case OpenedFile::Outcome::kRefused: return refused(opened.reason, opened.allowingHelps);
    case OpenedFile::Outcome::kMissing: return failed(resource, {});
    case OpenedFile::Outcome::kFailed: return failed(resource, ": " + opened.reason);
    case OpenedFile::Outcome::kOpened: break;
  }
  if (job != nullptr) job->observer.Reading(path);
  xmlParserInputPtr input = InputOver(opened, resource, parser);
  if (job != nullptr) Count(input, opened.size, job->observer);
  return input;
}

}  // namespace

// A file that exists is read as named, anything else by its public and
// system identifiers, then as a URI. The result is judged and opened like
// any other name; a catalog may point anywhere.
std::string ThroughCatalogs(const char* url, const char* id) {
  std::string resource = url != nullptr ? url : "";
  if (!resource.empty() && ExistsLocally(resource)) return resource;
  const XmlPtr<xmlChar> found(xmlCatalogResolve(reinterpret_cast<const xmlChar*>(id),
                                                reinterpret_cast<const xmlChar*>(url)));
  if (found) resource = reinterpret_cast<const char*>(found.get());
  if (!resource.empty() && !ExistsLocally(resource)) {
    const XmlPtr<xmlChar> uri(
        xmlCatalogResolveURI(reinterpret_cast<const xmlChar*>(resource.c_str())));
    if (uri) resource = reinterpret_cast<const char*>(uri.get());
  }
  return resource;
}

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
    // A document may name catalogs of its own (the oasis-xml-catalog
    // instruction), which libxml2 would read by itself, past the loader.
    xmlCatalogSetDefaults(XML_CATA_ALLOW_GLOBAL);
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
