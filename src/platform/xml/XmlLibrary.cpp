#include "platform/xml/XmlLibrary.h"

#include <memory>
#include <mutex>
#include <new>
#include <string>

#include <libexslt/exslt.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlIO.h>
#include <libxslt/security.h>
#include <libxslt/xslt.h>

#include "platform/Worker.h"
#include "platform/xml/DomDocument.h"
#include "platform/xml/XmlErrorCollector.h"

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

// The read of one input (the document, an included stylesheet, a document()
// or an external entity), made to fail once the running job is stopped.
struct StoppableRead {
  xmlInputReadCallback read;
  xmlInputCloseCallback close;
  void* context;
  StopToken* token;
};

int ReadUnlessStopped(void* self, char* buffer, int length) {
  auto* input = static_cast<StoppableRead*>(self);
  if (input->token->StopRequested()) return -1;
  return input->read(input->context, buffer, length);
}

int CloseStoppableRead(void* self) {
  const std::unique_ptr<StoppableRead> input(static_cast<StoppableRead*>(self));
  return input->close != nullptr ? input->close(input->context) : 0;
}

// Every input libxml2 and libxslt open comes through here, so a stop ends
// the read of any of them at its next chunk.
xmlParserInputPtr LoadStoppably(const char* url, const char* id, xmlParserCtxtPtr parser) {
  xmlParserInputPtr input = xmlNoNetExternalEntityLoader(url, id, parser);
  StopToken* token = StopToken::Current();
  if (input == nullptr || token == nullptr || input->buf == nullptr ||
      input->buf->readcallback == nullptr) {
    return input;
  }
  auto* wrapped = new (std::nothrow) StoppableRead{
      input->buf->readcallback, input->buf->closecallback, input->buf->context, token};
  if (wrapped != nullptr) {
    input->buf->readcallback = &ReadUnlessStopped;
    input->buf->closecallback = &CloseStoppableRead;
    input->buf->context = wrapped;  // freed by the buffer's close
  }
  return input;
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
    xmlInitParser();
    xsltInit();
    exsltRegisterAll();
    // Whatever options a caller forgets, no entity or DTD comes over the network.
    xmlSetExternalEntityLoader(LoadStoppably);
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

}  // namespace xmlpellor::xml
