#include "platform/xml/DomDocument.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <system_error>
#include <unordered_map>
#include <utility>

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/uri.h>
#include <libxml/valid.h>
#include <libxml/xpathInternals.h>
#include <libxslt/imports.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xsltutils.h>

#include "platform/LocalPath.h"
#include "platform/RuntimeError.h"
#include "platform/xml/XmlErrorCollector.h"
#include "platform/xml/XmlJob.h"
#include "platform/xml/XmlLibrary.h"

namespace xmlpellor::xml {

namespace {

constexpr std::size_t kOutputReserveLimit = 4 * 1024 * 1024;

const xmlChar* Xml(const std::string& s) {
  return reinterpret_cast<const xmlChar*>(s.c_str());
}

[[noreturn]] void ThrowComponentError(const std::string& what, XmlErrorCollector& collector) {
  std::string description = what;
  const std::string details = collector.Describe();
  if (!details.empty()) description += ":\n" + details;
  throw RuntimeError(kXmlComponentError, description, kXmlComponentSource);
}

[[noreturn]] void ThrowNothing() {
  throw RuntimeError(err::kObjectVariableNotSet, "Object variable or With block variable not set");
}

void Enter(XmlPhase phase) {
  if (auto* job = XmlJobScope::Current()) job->observer.Phase(phase);
}

// Collects the output of the serialiser straight into one string; the
// serialiser writes nothing more after a failed write.
int AppendToString(void* context, const char* data, int length) {
  auto* output = static_cast<std::string*>(context);
  try {
    output->append(data, static_cast<std::size_t>(length));
    return length;
  } catch (...) {
    return -1;
  }
}

// The method xsl:output asked for decides, except that libxslt itself makes
// an HTML document of a result whose root is a plain "html" element.
OutputKind KindOf(const xmlDoc& result, xsltStylesheet* style) {
  if (result.type == XML_HTML_DOCUMENT_NODE) return OutputKind::kHtml;
  const xmlChar* method = nullptr;
  const xmlChar* methodUri = nullptr;
  XSLT_GET_IMPORT_PTR(method, style, method)
  XSLT_GET_IMPORT_PTR(methodUri, style, methodURI)
  const bool plain = methodUri == nullptr;
  if (plain && xmlStrEqual(method, BAD_CAST "text")) return OutputKind::kText;
  const xmlNode* root = xmlDocGetRootElement(&result);
  if (root != nullptr && xmlStrEqual(root->name, BAD_CAST "html") && root->ns != nullptr &&
      xmlStrEqual(root->ns->href, BAD_CAST "http://www.w3.org/1999/xhtml")) {
    return OutputKind::kXhtml;
  }
  if (plain && xmlStrEqual(method, BAD_CAST "xhtml")) return OutputKind::kHtml;
  return OutputKind::kXml;
}

// The parser's reason, except where it names a limit by an option the user
// cannot set: then what the limit is, in plain words.
std::string ReasonFor(const XmlMessage& message) {
  if (message.domain == XML_FROM_PARSER) {
    const std::string& text = message.text;
    if (text.rfind("Excessive depth in document", 0) == 0) {
      return "The document is nested deeper than 2 048 elements";
    }
    if (text.find("too big") != std::string::npos || text == "AttValue length too long" ||
        text.find("entity value too long") != std::string::npos) {
      return "The document holds a text of more than 10 MB";
    }
    if (message.code == XML_ERR_NAME_TOO_LONG) {
      return "The document holds a name of more than 50 000 characters";
    }
  }
  return message.text;
}

// A default longer than this is cut for the list: it is there to be
// recognised, and the list has to fit in one message to the window.
constexpr std::size_t kMaxDefaultText = 120;

std::string DefaultTextOf(const xsltStackElem& elem) {
  std::string text;
  if (elem.select != nullptr) {
    text = reinterpret_cast<const char*>(elem.select);
  } else if (elem.comp != nullptr && elem.comp->inst != nullptr) {
    XmlPtr<xmlChar> content(xmlNodeGetContent(elem.comp->inst));
    if (content) text = reinterpret_cast<const char*>(content.get());
  }
  // One line, whatever the stylesheet's layout of it.
  std::string line;
  for (const char c : text) {
    const bool space = c == ' ' || c == '\n' || c == '\t' || c == '\r';
    if (!space) {
      line += c;
    } else if (!line.empty() && line.back() != ' ') {
      line += ' ';
    }
  }
  if (!line.empty() && line.back() == ' ') line.pop_back();
  if (line.size() > kMaxDefaultText) {
    std::size_t cut = kMaxDefaultText;
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    line = line.substr(0, cut) + "\u2026";
  }
  return line;
}

bool IsGlobalParam(const xsltStackElem& elem) {
  return elem.comp != nullptr && elem.comp->type == XSLT_FUNC_PARAM;
}

// Every global xsl:param in the order of import precedence, the first of
// each name only: the one that wins. Included stylesheets' declarations sit
// in the list of the stylesheet that includes them.
std::vector<DeclaredParameter> DeclaredParameters(xsltStylesheet* style) {
  std::vector<DeclaredParameter> declared;
  std::vector<std::pair<const xmlChar*, const xmlChar*>> seen;
  for (xsltStylesheet* cur = style; cur != nullptr; cur = xsltNextImport(cur)) {
    for (xsltStackElem* elem = cur->variables; elem != nullptr; elem = elem->next) {
      if (!IsGlobalParam(*elem)) continue;
      const bool again = std::any_of(seen.begin(), seen.end(), [&](const auto& name) {
        return xmlStrEqual(name.first, elem->name) && xmlStrEqual(name.second, elem->nameURI);
      });
      if (again) continue;
      seen.emplace_back(elem->name, elem->nameURI);
      std::string name = reinterpret_cast<const char*>(elem->name);
      if (elem->comp->inst != nullptr) {
        XmlPtr<xmlChar> written(xmlGetNoNsProp(elem->comp->inst, BAD_CAST "name"));
        if (written) name = reinterpret_cast<const char*>(written.get());
      }
      declared.push_back({std::move(name), DefaultTextOf(*elem)});
    }
  }
  return declared;
}

// Whether a global xsl:param answers to `name` as libxslt looks a user's
// parameter up: a prefix is bound by the top stylesheet's root element.
bool DeclaresParam(xsltStylesheet* style, const std::string& name) {
  std::string local = name;
  const xmlChar* uri = nullptr;
  const std::size_t colon = name.find(':');
  if (colon != std::string::npos) {
    local = name.substr(colon + 1);
    const std::string prefix = name.substr(0, colon);
    const xmlNs* ns = style->doc == nullptr
                          ? nullptr
                          : xmlSearchNs(style->doc, xmlDocGetRootElement(style->doc), Xml(prefix));
    if (ns == nullptr) return false;
    uri = ns->href;
  }
  for (xsltStylesheet* cur = style; cur != nullptr; cur = xsltNextImport(cur)) {
    for (xsltStackElem* elem = cur->variables; elem != nullptr; elem = elem->next) {
      if (IsGlobalParam(*elem) && xmlStrEqual(elem->name, Xml(local)) &&
          xmlStrEqual(elem->nameURI, uri)) {
        return true;
      }
    }
  }
  return false;
}

// The line of the document being loaded on this thread at which it last
// brought in another file: its external DTD (at the end of the DOCTYPE
// declaration) or an entity; 0 before.
thread_local int tDocumentLine = 0;
thread_local const char* tDocumentPath = nullptr;

// libxml2 reads the external DTD and external entities on inputs or parsers
// of their own, so an error in them carries their line and nothing of the
// document's: the place in the document is noted on the way in.
void NoteDocumentLine(const xmlParserCtxt* parser) {
  if (parser != nullptr && parser->input != nullptr && parser->input->filename != nullptr &&
      tDocumentPath != nullptr && std::strcmp(parser->input->filename, tDocumentPath) == 0) {
    tDocumentLine = parser->input->line;
  }
}

void ReadExternalSubset(void* context, const xmlChar* name, const xmlChar* externalId,
                        const xmlChar* systemId) {
  NoteDocumentLine(static_cast<xmlParserCtxt*>(context));
  xmlSAX2ExternalSubset(context, name, externalId, systemId);
}

xmlEntity* FindEntity(void* context, const xmlChar* name) {
  NoteDocumentLine(static_cast<xmlParserCtxt*>(context));
  return xmlSAX2GetEntity(context, name);
}

// What names one file however it is reached ("a.xsl", "./a.xsl", a link
// to it): its real path, else its URI.
std::string FileIdentity(const std::string& uri) {
  std::string path;
  try {
    path = LocalPathOf(uri);
  } catch (const RuntimeError&) {
    return uri;
  }
  std::error_code error;
  const std::filesystem::path real = std::filesystem::canonical(path, error);
  return error ? uri : real.string();
}

// Follows xsl:include and xsl:import from a stylesheet through the files
// they name, depth first, as libxslt will. libxslt 1.1.35 does not notice
// every way back to a file still being read (an include that imports its
// includer) and then loads without end, so a way back is found here first.
// A file reached twice along different ways (two imports of one library)
// is no cycle.
class InclusionWalk {
 public:
  // The steps of the first cycle from `doc` ("a.xsl includes b.xsl"),
  // ending where it began; empty when there is none.
  std::vector<std::string> CycleFrom(xmlDoc* doc) {
    const std::string uri = doc->URL != nullptr ? reinterpret_cast<const char*>(doc->URL) : "";
    m_path.push_back({FileIdentity(uri), {}});
    Visit(doc);
    return m_cycle;
  }

 private:
  struct Step {
    std::string identity;  // also how the file is named to the user
    std::string how;       // "includes" or "imports" the next step
  };
  // Far more than any real stylesheet nests; each level holds a document.
  static constexpr std::size_t kMaxDepth = 256;

  void Visit(xmlDoc* doc) {
    const xmlNode* root = xmlDocGetRootElement(doc);
    if (root == nullptr) return;
    for (xmlNode* child = root->children; child != nullptr && m_cycle.empty();
         child = child->next) {
      if (child->type != XML_ELEMENT_NODE || child->ns == nullptr ||
          !xmlStrEqual(child->ns->href, BAD_CAST "http://www.w3.org/1999/XSL/Transform")) {
        continue;
      }
      const bool include = xmlStrEqual(child->name, BAD_CAST "include");
      if (!include && !xmlStrEqual(child->name, BAD_CAST "import")) continue;
      XmlPtr<xmlChar> href(xmlGetNoNsProp(child, BAD_CAST "href"));
      if (!href) continue;
      XmlPtr<xmlChar> base(xmlNodeGetBase(doc, child));
      XmlPtr<xmlChar> uri(xmlBuildURI(href.get(), base.get()));
      if (!uri) continue;
      const std::string target = reinterpret_cast<const char*>(uri.get());
      const std::string identity = FileIdentity(target);
      m_path.back().how = include ? "includes" : "imports";
      const auto again = std::find_if(m_path.begin(), m_path.end(),
                                      [&](const Step& s) { return s.identity == identity; });
      if (again != m_path.end()) {
        for (auto step = again; step != m_path.end(); ++step) {
          const auto next = step + 1;
          m_cycle.push_back(step->identity + " " + step->how + " " +
                            (next == m_path.end() ? again->identity : next->identity));
        }
        return;
      }
      if (m_finished.count(identity) != 0 || m_path.size() >= kMaxDepth) continue;
      // A file that does not load is libxslt's to report, in its words.
      XmlPtr<xmlDoc> next(xmlReadFile(target.c_str(), nullptr, ParseOptions(false)));
      if (!next) continue;
      m_path.push_back({identity, {}});
      Visit(next.get());
      m_path.pop_back();
      m_finished.insert(identity);
    }
  }

  std::vector<Step> m_path;
  std::set<std::string> m_finished;
  std::vector<std::string> m_cycle;
};

std::uint64_t MicrosSince(std::chrono::steady_clock::time_point started) {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                        std::chrono::steady_clock::now() - started)
                                        .count());
}

std::string TextOf(const xmlChar* text) {
  return text != nullptr ? reinterpret_cast<const char*>(text) : std::string();
}

// What libxslt counted of each template of `style` and the modules it
// imports (an included module's templates are its includer's), in the
// order they stand.
std::vector<TemplateProfile> TemplateProfiles(xsltStylesheetPtr style) {
  std::vector<xsltTemplatePtr> all;
  for (xsltStylesheetPtr module = style; module != nullptr; module = xsltNextImport(module)) {
    const std::size_t first = all.size();
    for (xsltTemplatePtr t = module->templates; t != nullptr; t = t->next) all.push_back(t);
    // libxslt puts each template it compiles in front of the ones before.
    std::reverse(all.begin() + static_cast<std::ptrdiff_t>(first), all.end());
  }
  std::unordered_map<xsltTemplatePtr, std::size_t> indexOf;
  for (std::size_t i = 0; i < all.size(); ++i) indexOf.emplace(all[i], i);
  std::vector<TemplateProfile> profiles;
  std::vector<std::vector<CallerCount>> callers(all.size());
  profiles.reserve(all.size());
  for (std::size_t i = 0; i < all.size(); ++i) {
    const xsltTemplatePtr t = all[i];
    TemplateProfile profile;
    profile.match = TextOf(t->match);
    profile.name = TextOf(t->name);
    profile.mode = TextOf(t->mode);
    if (t->elem != nullptr) {
      profile.line = xmlGetLineNo(t->elem);
      if (t->elem->doc != nullptr) {
        profile.file = TextOf(t->elem->doc->URL);
        try {
          profile.file = LocalPathOf(profile.file);
        } catch (const RuntimeError&) {
        }
      }
    }
    profile.calls = static_cast<std::uint64_t>(std::max(t->nbCalls, 0));
    // In libxslt's ticks (XSLT_TIMESTAMP_TICS_PER_SEC a second), and
    // without the templates it called: libxslt takes their time off.
    profile.selfMicros = static_cast<std::uint64_t>(t->time) * 1000000u /
                         static_cast<std::uint64_t>(XSLT_TIMESTAMP_TICS_PER_SEC);
    // templCalledTab holds, despite its name, the templates that called
    // this one, with templCountTab how often each did.
    for (int k = 0; k < t->templNr; ++k) {
      const auto caller = indexOf.find(t->templCalledTab[k]);
      if (caller == indexOf.end()) continue;
      callers[i].push_back(
          {caller->second, static_cast<std::uint64_t>(std::max(t->templCountTab[k], 0))});
    }
    profiles.push_back(std::move(profile));
  }
  AddCalleeTimes(profiles, callers);
  return profiles;
}

}  // namespace

std::string XPathStringLiteral(const std::string& value) {
  if (value.find('\'') == std::string::npos) return "'" + value + "'";
  if (value.find('"') == std::string::npos) return '"' + value + '"';
  // XPath 1.0 has no escape inside a literal: each apostrophe goes in a
  // literal of its own between double quotes.
  std::string expression = "concat(";
  std::size_t start = 0;
  for (std::size_t quote = value.find('\''); quote != std::string::npos;
       quote = value.find('\'', start)) {
    expression += "'" + value.substr(start, quote - start) + "', \"'\", ";
    start = quote + 1;
  }
  return expression + "'" + value.substr(start) + "')";
}

std::vector<std::pair<std::string, std::string>> ParseNamespaceDeclarations(
    const std::string& value) {
  std::vector<std::pair<std::string, std::string>> result;
  auto bad = [&]() -> RuntimeError {
    return RuntimeError(kXmlComponentError,
                        "SelectionNamespaces: not a list of namespace "
                        "declarations of the form xmlns:prefix=\"uri\": " +
                            value,
                        kXmlComponentSource);
  };
  std::size_t i = 0;
  auto skipSpace = [&] {
    while (i < value.size() && std::isspace(static_cast<unsigned char>(value[i]))) ++i;
  };
  skipSpace();
  while (i < value.size()) {
    if (value.compare(i, 6, "xmlns:") != 0) throw bad();
    i += 6;
    const std::size_t nameStart = i;
    while (i < value.size() && value[i] != '=' &&
           !std::isspace(static_cast<unsigned char>(value[i])))
      ++i;
    std::string prefix = value.substr(nameStart, i - nameStart);
    if (prefix.empty() || xmlValidateNCName(Xml(prefix), 0) != 0) throw bad();
    skipSpace();
    if (i >= value.size() || value[i] != '=') throw bad();
    ++i;
    skipSpace();
    if (i >= value.size() || (value[i] != '"' && value[i] != '\'')) throw bad();
    const char quote = value[i++];
    const std::size_t end = value.find(quote, i);
    if (end == std::string::npos) throw bad();
    result.emplace_back(std::move(prefix), value.substr(i, end - i));
    i = end + 1;
    if (i < value.size() && !std::isspace(static_cast<unsigned char>(value[i]))) throw bad();
    skipSpace();
  }
  return result;
}

void DOMNode::text(const std::string& value) {
  if (m_node == nullptr) ThrowNothing();
  XmlErrorCollector collector;
  // The value is text, not markup: it goes in as one text node, never
  // through libxml2's entity parsing of xmlNodeSetContent.
  XmlPtr<xmlNode> node(xmlNewDocTextLen(m_node->doc, Xml(value), static_cast<int>(value.size())));
  if (!node) ThrowComponentError("The text of a node could not be set", collector);
  while (xmlNode* child = m_node->children) {
    xmlUnlinkNode(child);
    XmlPtr<xmlNode> gone(child);
  }
  if (xmlAddChild(m_node, node.get()) == nullptr) {
    ThrowComponentError("The text of a node could not be set", collector);
  }
  node.release();  // the element owns its new child now
}

DOMDocument::DOMDocument() {
  EnsureXmlLibraryInitialised();
}

void DOMDocument::Fail(std::int64_t line, std::string reason) {
  m_doc.reset();
  m_parseError = {line, std::move(reason)};
}

bool DOMDocument::load(const std::string& location) {
  m_doc.reset();
  m_fileSize = 0;
  m_parseError = {};
  if (location.empty()) {
    Fail(0, "No document location was given.");
    return false;
  }
  std::string path;
  try {
    path = LocalPathOf(location);
  } catch (const RuntimeError& e) {
    Fail(0, e.what());
    return false;
  }
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || ::access(path.c_str(), R_OK) != 0) {
    Fail(0, "The file cannot be opened: " + std::string(std::strerror(errno)) + ".");
    return false;
  }
  if (S_ISDIR(info.st_mode)) {
    Fail(0, "The location names a folder, not a file.");
    return false;
  }

  XmlErrorCollector collector;
  XmlPtr<xmlParserCtxt> parser(xmlNewParserCtxt());
  if (!parser) ThrowComponentError("The XML parser could not be created", collector);
  tDocumentLine = 0;
  tDocumentPath = path.c_str();
  if (parser->sax != nullptr && parser->sax->externalSubset == xmlSAX2ExternalSubset) {
    parser->sax->externalSubset = &ReadExternalSubset;
  }
  if (parser->sax != nullptr && parser->sax->getEntity == xmlSAX2GetEntity) {
    parser->sax->getEntity = &FindEntity;
  }
  const int options = ParseOptions(false) | (m_compactText ? XML_PARSE_COMPACT : 0);
  XmlPtr<xmlDoc> doc(xmlCtxtReadFile(parser.get(), path.c_str(), nullptr, options));
  tDocumentPath = nullptr;
  // libxml2 builds a tree for a document that uses an undeclared prefix (or
  // binds one to no namespace) and only reports it; XSLT has no meaning for
  // such a document, so it is refused like any other that is not well-formed.
  // A file the read policy refused (an entity, the DTD) leaves a tree
  // without its content; the refusal is the reason the document failed.
  const bool wellFormed = doc && parser->wellFormed && parser->nsWellFormed && !collector.Refused();
  if (wellFormed && m_validateOnParse && (doc->intSubset || doc->extSubset)) {
    XmlPtr<xmlValidCtxt> valid(xmlNewValidCtxt());
    if (!valid) ThrowComponentError("The validator could not be created", collector);
    if (xmlValidateDocument(valid.get(), doc.get()) != 1) doc.reset();
  }
  if (!doc || !wellFormed) {
    const XmlMessage* first = collector.FirstError();
    if (first == nullptr) {
      Fail(0, "The document could not be parsed.");
    } else {
      std::string reason = ReasonFor(*first);
      if (first->column > 0) reason += " (column " + std::to_string(first->column) + ")";
      if (!first->file.empty() && FileIdentity(first->file) != FileIdentity(path)) {
        // In the DTD or an entity's file: the document's line is the one
        // that brought it in, and that file's own place is said beside it.
        reason = "In " + first->file + ", line " + std::to_string(first->line) + ": " + reason;
        Fail(tDocumentLine, std::move(reason));
      } else {
        // A refusal is said by the entity's own parser, which has no line
        // yet: the document's line is the one that referred to the file.
        Fail(first->line > 0 ? first->line : tDocumentLine, std::move(reason));
      }
    }
    return false;
  }
  m_doc = std::move(doc);
  m_fileSize = static_cast<std::size_t>(info.st_size);
  return true;
}

void DOMDocument::setProperty(const std::string& name, const std::string& value) {
  if (name == "SelectionLanguage") {
    if (value != "XPath") {
      throw RuntimeError(kXmlComponentError,
                         "SelectionLanguage: only XPath is supported, not " + value,
                         kXmlComponentSource);
    }
  } else if (name == "SelectionNamespaces") {
    m_selectionNamespaces = ParseNamespaceDeclarations(value);
  } else {
    throw RuntimeError(kXmlComponentError, "Unknown document property: " + name,
                       kXmlComponentSource);
  }
}

DOMNode DOMDocument::selectSingleNode(const std::string& query) {
  if (!m_doc) ThrowNothing();
  XmlErrorCollector collector;
  XmlPtr<xmlXPathContext> context(xmlXPathNewContext(m_doc.get()));
  if (!context) ThrowComponentError("The XPath evaluator could not be created", collector);
  for (const auto& [prefix, uri] : m_selectionNamespaces) {
    if (xmlXPathRegisterNs(context.get(), Xml(prefix), Xml(uri)) != 0) {
      ThrowComponentError("The namespace prefix " + prefix + " could not be bound", collector);
    }
  }
  XmlPtr<xmlXPathObject> found(xmlXPathEvalExpression(Xml(query), context.get()));
  if (!found)
    ThrowComponentError("The query " + query + " is not a valid XPath expression", collector);
  if (found->type != XPATH_NODESET) {
    ThrowComponentError("The query " + query + " does not select nodes", collector);
  }
  if (xmlXPathNodeSetIsEmpty(found->nodesetval)) return DOMNode();
  xmlNode* first = found->nodesetval->nodeTab[0];
  // A namespace node in a result is a copy the result owns and frees with
  // it; only nodes of the document itself may be handed out.
  if (first->type == XML_NAMESPACE_DECL) {
    throw RuntimeError(kXmlComponentError,
                       "The query " + query + " selects a namespace node, which cannot be changed",
                       kXmlComponentSource);
  }
  return DOMNode(first);
}

DOMNode DOMDocument::firstElementWithAttribute(const std::string& namespaceUri,
                                               const std::string& localName,
                                               const std::string& attribute,
                                               const std::string& value) const {
  if (!m_doc) ThrowNothing();
  // Depth first in document order, without recursion: a stylesheet may be
  // nested deeply.
  xmlNode* node = xmlDocGetRootElement(m_doc.get());
  while (node != nullptr) {
    if (node->type == XML_ELEMENT_NODE && node->ns != nullptr &&
        xmlStrEqual(node->ns->href, Xml(namespaceUri)) && xmlStrEqual(node->name, Xml(localName))) {
      XmlPtr<xmlChar> found(xmlGetNoNsProp(node, Xml(attribute)));
      if (found && xmlStrEqual(found.get(), Xml(value))) return DOMNode(node);
    }
    if (node->children != nullptr && node->type == XML_ELEMENT_NODE) {
      node = node->children;
      continue;
    }
    while (node != nullptr && node->next == nullptr) {
      node = node->parent;
      if (node != nullptr && node->type != XML_ELEMENT_NODE) node = nullptr;
    }
    if (node != nullptr) node = node->next;
  }
  return DOMNode();
}

DOMNode DOMDocument::documentElement() const noexcept {
  return DOMNode(m_doc ? xmlDocGetRootElement(m_doc.get()) : nullptr);
}

std::string DOMDocument::transformNode(const DOMNode& stylesheet, OutputFormat* format,
                                       const std::vector<GlobalParameter>& globals,
                                       OutputDocuments* documents, TransformProfile* profile,
                                       OriginTable* origins) const& {
  return Transform(stylesheet, nullptr, format, globals, documents, profile, origins);
}

std::string DOMDocument::transformNode(const DOMNode& stylesheet, OutputFormat* format,
                                       const std::vector<GlobalParameter>& globals,
                                       OutputDocuments* documents, TransformProfile* profile,
                                       OriginTable* origins) && {
  return Transform(stylesheet, &m_doc, format, globals, documents, profile, origins);
}

std::string DOMDocument::Transform(const DOMNode& stylesheet, XmlPtr<xmlDoc>* consumed,
                                   OutputFormat* format,
                                   const std::vector<GlobalParameter>& globals,
                                   OutputDocuments* documents, TransformProfile* profile,
                                   OriginTable* origins) const {
  if (!m_doc || stylesheet.IsNothing() || stylesheet.m_node->doc == nullptr) ThrowNothing();
  XmlErrorCollector collector;
  // Without the security settings (their allocation failed at start-up) a
  // stylesheet could write files and reach the network: refuse instead.
  if (xsltGetDefaultSecurityPrefs() == nullptr) {
    ThrowComponentError("The stylesheet safety settings are missing", collector);
  }

  // Compiling a stylesheet rewrites its tree and binds it to the compiled
  // form, so libxslt gets a copy and the caller's document stays as it is.
  if (auto* job = XmlJobScope::Current()) collector.StreamTo(&job->observer);
  Enter(XmlPhase::kCompiling);
  const auto compileStarted = std::chrono::steady_clock::now();
  std::vector<std::string> cycle;
  {
    // What the walk reads is read again by libxslt, which tells of it.
    XmlErrorCollector quiet;
    cycle = InclusionWalk().CycleFrom(stylesheet.m_node->doc);
  }
  if (!cycle.empty()) {
    std::string description =
        "The stylesheet could not be compiled: its xsl:include and xsl:import elements go round "
        "in a circle:";
    for (const std::string& step : cycle) description += "\n" + step;
    throw RuntimeError(kXmlComponentError, description, kXmlComponentSource);
  }
  XmlPtr<xmlDoc> copy(xmlCopyDoc(stylesheet.m_node->doc, 1));
  if (!copy) ThrowComponentError("The stylesheet could not be copied", collector);
  XmlPtr<xsltStylesheet> style(xsltParseStylesheetDoc(copy.get()));
  if (style) copy.release();  // the compiled stylesheet owns the copy now
  if (!style) ThrowComponentError("The stylesheet could not be compiled", collector);
  if (style->errors != 0) ThrowComponentError("The stylesheet could not be compiled", collector);
  if (profile != nullptr) profile->compileMicros = MicrosSince(compileStarted);

  if (auto* job = XmlJobScope::Current()) job->observer.Parameters(DeclaredParameters(style.get()));
  // libxslt evaluates these where the transformation starts, with the
  // document as the context, exactly as xsltproc hands them over. It keeps
  // a name nobody declares without a word, so that is said here.
  std::vector<std::string> userParamText;
  userParamText.reserve(2 * globals.size());
  for (const GlobalParameter& global : globals) {
    if (!DeclaresParam(style.get(), global.name)) {
      collector.Warn("The stylesheet declares no global parameter '" + global.name +
                     "'; its value is ignored");
      continue;
    }
    userParamText.push_back(global.name);
    userParamText.push_back(global.xpath ? global.value : XPathStringLiteral(global.value));
  }
  std::vector<const char*> userParams;
  for (const std::string& text : userParamText) userParams.push_back(text.c_str());
  userParams.push_back(nullptr);

  XmlPtr<xsltTransformContext> context(xsltNewTransformContext(style.get(), m_doc.get()));
  if (!context) ThrowComponentError("The transformation could not be started", collector);
  collector.Attach(context.get());
  xsltSetCtxtSecurityPrefs(xsltGetDefaultSecurityPrefs(), context.get());
  xsltSetCtxtParseOptions(context.get(), ParseOptions(false));
  context->maxTemplateDepth = kMaxTemplateDepth;
  context->maxTemplateVars = kMaxTemplateVars;
  // Set on the context itself, not through xsltApplyStylesheetUser's file:
  // libxslt would print its own table there.
  if (profile != nullptr) context->profile = 1;
  const auto transformStarted = std::chrono::steady_clock::now();

  Enter(XmlPhase::kTransforming);
  std::optional<OutputDocumentCapture> capture;
  if (documents != nullptr) {
    capture.emplace(*documents);
    OutputDocumentCapture::Route(style.get());
  }
  std::optional<OriginRecorder> recorder;
  if (origins != nullptr) recorder.emplace(*context);
  XmlPtr<xmlDoc> result(xsltApplyStylesheetUser(style.get(), m_doc.get(),
                                                userParamText.empty() ? nullptr : userParams.data(),
                                                nullptr, nullptr, context.get()));
  if (capture && !capture->Overflow().empty()) ThrowComponentError(capture->Overflow(), collector);
  capture.reset();
  if (context->state == XSLT_STATE_STOPPED) {
    if (collector.Contains("infinite template recursion")) {
      ThrowComponentError("The transformation was stopped: templates called each other more than " +
                              std::to_string(kMaxTemplateDepth) +
                              " levels deep, so the stylesheet most likely recurses without end",
                          collector);
    }
    ThrowComponentError("The transformation was stopped", collector);
  }
  if (!result || context->state != XSLT_STATE_OK || collector.Refused()) {
    ThrowComponentError("The transformation failed", collector);
  }
  if (profile != nullptr) {
    profile->transformMicros = MicrosSince(transformStarted);
    profile->templates = TemplateProfiles(style.get());
  }
  if (recorder) recorder->Mark(*result, *origins);
  // Keys, variables and the like go before the output is built.
  context.reset();
  // The result shares no memory with the source (libxslt copies what it
  // takes from it), so a source nobody needs any more can go too.
  if (consumed != nullptr) consumed->reset();

  Enter(XmlPhase::kWriting);
  std::string text;
  // Room for an output about as large as its source, but no more than a
  // block the allocator can carve from memory the freed trees left behind:
  // a larger block is freshly mapped, and each of its pages costs a fault
  // when first written. Past that the string grows by doubling; measured
  // on large outputs, that costs no more time and less memory.
  try {
    text.reserve(std::min<std::size_t>(2 * m_fileSize, kOutputReserveLimit));
  } catch (const std::exception&) {
  }
  // The bytes xsltproc writes for the same job: the encoding xsl:output
  // names (the importing stylesheet's over an imported one's), characters
  // it cannot hold as references; UTF-8 when libxml2 knows no such encoding.
  const xmlChar* declared = nullptr;
  XSLT_GET_IMPORT_PTR(declared, style.get(), encoding)
  xmlCharEncodingHandler* encoder =
      declared != nullptr ? xmlFindCharEncodingHandler(reinterpret_cast<const char*>(declared))
                          : nullptr;
  if (encoder != nullptr && xmlStrEqual(BAD_CAST encoder->name, BAD_CAST "UTF-8")) {
    encoder = nullptr;
  }
  const std::string encoding = encoder != nullptr ? encoder->name : "UTF-8";
  // The buffer closes the encoder with itself.
  XmlPtr<xmlOutputBuffer> out(xmlOutputBufferCreateIO(&AppendToString, nullptr, &text, encoder));
  if (!out) ThrowComponentError("The output could not be written", collector);
  // An empty result is no bytes at all, as xsltproc writes it.
  const int written =
      result->children == nullptr ? 0 : xsltSaveResultTo(out.get(), result.get(), style.get());
  const int closed = xmlOutputBufferClose(out.release());
  if (written < 0 || closed < 0) ThrowComponentError("The output could not be written", collector);
  if (format != nullptr) {
    format->kind = KindOf(*result, style.get());
    format->encoding = encoding;
  }
  return text;
}

}  // namespace xmlpellor::xml
