#include "engine/saxon/SaxonOutput.h"

#include <cctype>

#include "platform/LocalPath.h"
#include "platform/RuntimeError.h"
#include "platform/xml/DomDocument.h"

namespace xmlpellor::saxon {

namespace {

constexpr std::string_view kXhtmlNamespace = "http://www.w3.org/1999/xhtml";

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// The root element's start tag: its qualified name and the text of its
// attributes. Empty when the head holds no element (text output, or one that
// starts past the head).
struct RootTag {
  std::string_view name;
  std::string_view attributes;
};

RootTag FindRoot(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::size_t at = 0;
  while (at < text.size()) {
    if (IsSpace(text[at])) {
      ++at;
      continue;
    }
    if (text[at] != '<') return {};
    // The prolog: declarations, processing instructions, comments and the
    // document type come before the root.
    std::string_view rest = text.substr(at);
    std::string_view end;
    if (rest.substr(0, 4) == "<!--") {
      end = "-->";
    } else if (rest.substr(0, 2) == "<?") {
      end = "?>";
    } else if (rest.substr(0, 2) == "<!") {
      end = ">";
    } else {
      const std::size_t nameEnd = rest.find_first_of(" \t\r\n/>", 1);
      if (nameEnd == std::string_view::npos) return {};
      const std::size_t tagEnd = rest.find('>', nameEnd);
      return {rest.substr(1, nameEnd - 1),
              rest.substr(nameEnd, tagEnd == std::string_view::npos ? std::string_view::npos
                                                                    : tagEnd - nameEnd)};
    }
    const std::size_t close = rest.find(end);
    if (close == std::string_view::npos) return {};
    at += close + end.size();
  }
  return {};
}

// The value of attribute `name` in a start tag's attribute text.
std::string_view Attribute(std::string_view attributes, std::string_view name) {
  for (std::size_t at = attributes.find(name); at != std::string_view::npos;
       at = attributes.find(name, at + 1)) {
    if (at > 0 && !IsSpace(attributes[at - 1])) continue;
    std::size_t i = at + name.size();
    while (i < attributes.size() && IsSpace(attributes[i])) ++i;
    if (i >= attributes.size() || attributes[i] != '=') continue;
    ++i;
    while (i < attributes.size() && IsSpace(attributes[i])) ++i;
    if (i >= attributes.size() || (attributes[i] != '"' && attributes[i] != '\'')) continue;
    const std::size_t close = attributes.find(attributes[i], i + 1);
    if (close == std::string_view::npos) return {};
    return attributes.substr(i + 1, close - i - 1);
  }
  return {};
}

}  // namespace

xml::OutputKind KindOfOutput(std::string_view method, std::string_view head) {
  if (method == "text" || method == "json" || method == "adaptive") return xml::OutputKind::kText;
  const RootTag root = FindRoot(head);
  const std::size_t colon = root.name.find(':');
  const std::string_view local =
      colon == std::string_view::npos ? root.name : root.name.substr(colon + 1);
  if (method != "html" && local == "html") {
    const std::string declaration = colon == std::string_view::npos
                                        ? "xmlns"
                                        : "xmlns:" + std::string(root.name.substr(0, colon));
    if (Attribute(root.attributes, declaration) == kXhtmlNamespace) return xml::OutputKind::kXhtml;
  }
  if (method == "html" || method == "xhtml") return xml::OutputKind::kHtml;
  // No method named: Saxon, as XSLT says, writes HTML for a root named html
  // in no namespace.
  if (method.empty() && colon == std::string_view::npos && EqualsNoCase(local, "html") &&
      Attribute(root.attributes, "xmlns").empty()) {
    return xml::OutputKind::kHtml;
  }
  // No method named and no markup: an xsl:result-document without href
  // wrote the output with a method of its own, which the principal
  // serializer does not know.
  if (method.empty()) {
    std::string_view start = head.substr(head.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0);
    const std::size_t first = start.find_first_not_of(" \t\r\n");
    if (first != std::string_view::npos && start[first] != '<') return xml::OutputKind::kText;
  }
  return xml::OutputKind::kXml;
}

std::string ReportLine(const SaxonReport& report) {
  std::string line;
  if (!report.file.empty()) {
    line += report.file;
    if (report.line > 0) line += ":" + std::to_string(report.line);
    if (report.column > 0) line += ":" + std::to_string(report.column);
    line += ": ";
  }
  if (!report.error) line += "Warning: ";
  if (!report.code.empty()) line += report.code + ": ";
  return line + report.text;
}

std::string PlaceName(const std::string& systemId) {
  if (systemId.rfind("file:", 0) != 0) return systemId;
  try {
    return LocalPathOf(systemId);
  } catch (const RuntimeError&) {
    return systemId;
  }
}

std::string FileUri(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) ||
        std::string_view("/-._~!$&'()*+,;=:@").find(c) != std::string_view::npos) {
      uri += c;
    } else {
      uri += '%';
      uri += kHex[byte >> 4];
      uri += kHex[byte & 0xF];
    }
  }
  return uri;
}

}  // namespace xmlpellor::saxon
