#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/xml/OutputDocuments.h"
#include "platform/xml/OutputFormat.h"
#include "platform/xml/Origins.h"
#include "platform/xml/ParseError.h"
#include "platform/xml/Profile.h"
#include "platform/xml/StylesheetParameter.h"
#include "platform/xml/XmlPtr.h"

namespace xmlpellor::xml {

// The number a failure inside the XML parser or XSLT processor carries
// (the component's general failure code, as a signed value), and its source.
inline constexpr std::int32_t kXmlComponentError = static_cast<std::int32_t>(0x80004005u);
inline constexpr const char* kXmlComponentSource = "libxslt";

// The deepest element nesting a document or stylesheet may have.
inline constexpr unsigned kMaxDocumentDepth = 2048;

// Template nesting beyond this ends the transformation with an error rather
// than exhausting the stack. libxslt counts about two steps per level of the
// source, so an identity copy of the deepest document fits.
inline constexpr int kMaxTemplateDepth = 5000;
inline constexpr int kMaxTemplateVars = 15000;

class DOMDocument;

// A node of a DOMDocument, valid while that document lives and keeps the
// node. The default node is Nothing: using it is run-time error 91.
class DOMNode {
 public:
  DOMNode() = default;

  bool IsNothing() const noexcept { return m_node == nullptr; }
  // Replaces the node's whole content by one text node holding `value`.
  void text(const std::string& value);

 private:
  friend class DOMDocument;
  explicit DOMNode(xmlNode* node) noexcept : m_node(node) {}
  xmlNode* m_node = nullptr;
};

// A parsed XML document over libxml2/libxslt, with the members the
// transformation uses. Loading never touches the network, expands entities
// only within libxml2's amplification limits and never validates unless
// asked to.
class DOMDocument {
 public:
  DOMDocument();
  DOMDocument(const DOMDocument&) = delete;
  DOMDocument& operator=(const DOMDocument&) = delete;

  // Loading is always synchronous; the setting is kept for callers that set it.
  void async(bool value) noexcept { m_async = value; }
  void validateOnParse(bool value) noexcept { m_validateOnParse = value; }
  // Short text is stored inside its node: less memory and faster loading for
  // a document that is only read. libxslt rewrites the text of a stylesheet
  // in place and must not get such nodes.
  void compactText(bool value) noexcept { m_compactText = value; }

  // Reads and parses the document at `location`: a path (absolute or
  // relative to the working directory) or a file: URL. False when it did not
  // load; parseError() then says why.
  bool load(const std::string& location);
  const ParseError& parseError() const noexcept { return m_parseError; }

  // "SelectionLanguage" (only "XPath") and "SelectionNamespaces" (a list of
  // xmlns:prefix="uri" declarations that later selections use).
  void setProperty(const std::string& name, const std::string& value);

  // The first node in document order that the XPath 1.0 expression selects,
  // or Nothing.
  DOMNode selectSingleNode(const std::string& query);
  DOMNode documentElement() const noexcept;
  // The first element in document order named `localName` in the namespace
  // `namespaceUri` whose `attribute` is exactly `value`, or Nothing. The
  // value is data, compared as it is, never read as a query.
  DOMNode firstElementWithAttribute(const std::string& namespaceUri, const std::string& localName,
                                    const std::string& attribute, const std::string& value) const;

  // Applies the stylesheet that `stylesheet` belongs to to this document and
  // returns the output as xsltproc would write it: its bytes in the encoding
  // xsl:output names. `format`, when given, receives what kind of output it
  // is and that encoding. `globals` set the stylesheet's global parameters
  // as xsltproc's --stringparam and --param do; a name that no global
  // xsl:param of the stylesheet or its includes and imports declares is
  // left out, with a warning among the transformation's messages. With
  // `documents`, the files the stylesheet writes beside its output go there
  // (see OutputDocumentCapture); without, a stylesheet that writes one fails.
  // With `profile`, libxslt counts and times each template as xsltproc's
  // --profile has it, and the compile time is measured too; the rest of
  // `profile` is the caller's. With `origins`, each element of the output
  // carries kOriginAttribute and the table says where it came from (see
  // OriginRecorder).
  std::string transformNode(const DOMNode& stylesheet, OutputFormat* format = nullptr,
                            const std::vector<GlobalParameter>& globals = {},
                            OutputDocuments* documents = nullptr,
                            TransformProfile* profile = nullptr,
                            OriginTable* origins = nullptr) const&;
  // The same for a document that is not used afterwards: its tree is freed
  // once the transformation is done, before the output is built, so the
  // output takes the place of the source in memory. The document is then
  // empty, as before a load.
  std::string transformNode(const DOMNode& stylesheet, OutputFormat* format = nullptr,
                            const std::vector<GlobalParameter>& globals = {},
                            OutputDocuments* documents = nullptr,
                            TransformProfile* profile = nullptr, OriginTable* origins = nullptr) &&;

 private:
  void Fail(std::int64_t line, std::string reason);
  std::string Transform(const DOMNode& stylesheet, XmlPtr<xmlDoc>* consumed, OutputFormat* format,
                        const std::vector<GlobalParameter>& globals, OutputDocuments* documents,
                        TransformProfile* profile, OriginTable* origins) const;

  bool m_async = true;
  bool m_validateOnParse = true;
  bool m_compactText = false;
  XmlPtr<xmlDoc> m_doc;
  std::size_t m_fileSize = 0;  // of the file the document was loaded from
  ParseError m_parseError;
  std::vector<std::pair<std::string, std::string>> m_selectionNamespaces;
};

// Parses a SelectionNamespaces value into (prefix, uri) pairs. Throws a
// RuntimeError when it is not a list of xmlns:prefix="uri" declarations.
std::vector<std::pair<std::string, std::string>> ParseNamespaceDeclarations(
    const std::string& value);

// `value` as an XPath expression that yields exactly that string: quoted,
// or, when it holds both kinds of quote, a concat() of quoted pieces.
std::string XPathStringLiteral(const std::string& value);

}  // namespace xmlpellor::xml
