#include "platform/xml/Origins.h"

#include <cctype>
#include <map>
#include <unordered_map>
#include <new>
#include <utility>

#include <libxml/globals.h>

#include "platform/LocalPath.h"
#include "platform/RuntimeError.h"

namespace xmlpellor::xml {

namespace {

constexpr const char* kXsltNamespace = "http://www.w3.org/1999/XSL/Transform";
// Enough of a text to know it again in the page.
constexpr std::size_t kLabelBytes = 60;

thread_local OriginRecorder* tRecorder = nullptr;

std::string Text(const xmlChar* text) {
  return text != nullptr ? reinterpret_cast<const char*>(text) : std::string();
}

std::string Attribute(xmlNode* element, const char* name) {
  XmlPtr<xmlChar> value(xmlGetNoNsProp(element, BAD_CAST name));
  return Text(value.get());
}

// The file a node was read from, as a path where it is a file: URL, so the
// window can hand it to an editor.
std::string FileOf(const xmlNode* node) {
  if (node == nullptr || node->doc == nullptr || node->doc->URL == nullptr) return {};
  const std::string url = Text(node->doc->URL);
  try {
    return LocalPathOf(url);
  } catch (const RuntimeError&) {
    return url;
  }
}

std::int64_t LineOf(const xmlNode* node) {
  if (node == nullptr || node->type == XML_NAMESPACE_DECL) return 0;
  const long line = xmlGetLineNo(node);
  return line > 0 ? line : 0;
}

bool IsXslt(const xmlNode* node) {
  return node->type == XML_ELEMENT_NODE && node->ns != nullptr &&
         xmlStrEqual(node->ns->href, BAD_CAST kXsltNamespace);
}

std::string QualifiedName(const xmlNode* node) {
  std::string name;
  if (node->ns != nullptr && node->ns->prefix != nullptr) name = Text(node->ns->prefix) + ":";
  return name + Text(node->name);
}

std::string LabelOf(const xmlChar* content) {
  return content != nullptr ? OriginLabel(reinterpret_cast<const char*>(content)) : std::string();
}

}  // namespace

// Cut at a character's edge.
std::string OriginLabel(std::string_view text) {
  std::string label;
  bool space = false;
  for (const char* c = text.data(); c != text.data() + text.size(); ++c) {
    if (std::isspace(static_cast<unsigned char>(*c))) {
      space = !label.empty();
      continue;
    }
    if (space) label += ' ';
    space = false;
    label += *c;
    if (label.size() >= kLabelBytes) {
      while (!label.empty() && (static_cast<unsigned char>(label.back()) & 0xC0) == 0x80) {
        label.pop_back();
      }
      if (!label.empty() && (static_cast<unsigned char>(label.back()) & 0x80) != 0) {
        label.pop_back();
      }
      return label + "\u2026";
    }
  }
  return label;
}

// Gives each template, instruction and source node one entry, however many
// result nodes name it.
class OriginRecorder::Indexer {
 public:
  explicit Indexer(OriginTable& table) : m_table(table) {}

  Origin OriginOf(const Made* made, OriginPart part, std::string label, bool builtIn = false) {
    Origin origin;
    origin.part = part;
    origin.label = std::move(label);
    if (made == nullptr) return origin;
    origin.templ = Template(made->templ);
    origin.instruction = Instruction(made->instruction, builtIn);
    origin.source = Source(made->source);
    return origin;
  }

 private:
  std::int64_t Template(xsltTemplate* templ) {
    if (templ == nullptr || templ->elem == nullptr) return kNoOrigin;
    const auto [at, added] = m_templates.try_emplace(templ, m_table.templates.size());
    if (!added) return at->second;
    OriginTemplate& entry = m_table.templates.emplace_back();
    // As written: the compiled mode has lost its prefix, and a priority
    // not given is one libxslt works out.
    entry.match = Attribute(templ->elem, "match");
    entry.name = Attribute(templ->elem, "name");
    entry.mode = Attribute(templ->elem, "mode");
    entry.priority = Attribute(templ->elem, "priority");
    entry.file = FileOf(templ->elem);
    entry.line = LineOf(templ->elem);
    return at->second;
  }

  std::int64_t Instruction(xmlNode* instruction, bool builtIn) {
    if (instruction == nullptr) return kNoOrigin;
    const auto [at, added] =
        m_instructions.try_emplace({instruction, builtIn}, m_table.instructions.size());
    if (!added) return at->second;
    OriginInstruction& entry = m_table.instructions.emplace_back();
    if (IsXslt(instruction)) {
      entry.name = "xsl:" + Text(instruction->name);
      if (builtIn) entry.name += ", by the built-in template rule";
    } else if (instruction->type == XML_ELEMENT_NODE) {
      entry.name = "<" + QualifiedName(instruction) + ">";
    } else {
      entry.name = "text";
    }
    entry.file = FileOf(instruction);
    entry.line = LineOf(instruction);
    return at->second;
  }

  std::int64_t Source(xmlNode* node) {
    if (node == nullptr) return kNoOrigin;
    const auto [at, added] = m_sources.try_emplace(node, m_table.sources.size());
    if (!added) return at->second;
    OriginSource& entry = m_table.sources.emplace_back();
    if (node->type == XML_NAMESPACE_DECL) {
      entry.path = "a namespace node";
      return at->second;
    }
    if (IsDocument(node)) {
      entry.path = "/";
      entry.file = Text(reinterpret_cast<xmlDoc*>(node)->URL);
    } else {
      entry.path = PathOf(node);
      entry.file = FileOf(node);
      entry.line = LineOf(node);
    }
    try {
      if (!entry.file.empty()) entry.file = LocalPathOf(entry.file);
    } catch (const RuntimeError&) {
    }
    return at->second;
  }

  static bool IsDocument(const xmlNode* node) {
    return node->type == XML_DOCUMENT_NODE || node->type == XML_HTML_DOCUMENT_NODE;
  }

  // The path xmlGetNodePath gives, as /orders/order[2]/item, without its
  // walk over all the siblings for each node: that makes a table of many
  // rows take minutes. Each parent's children are counted once, and each
  // element's own path is kept for its children.
  std::string PathOf(xmlNode* node) {
    xmlNode* parent = node->parent;
    const bool top = parent == nullptr || IsDocument(parent);
    if (node->type == XML_ATTRIBUTE_NODE) {
      return (top ? std::string() : ElementPath(parent)) + "/@" + QualifiedName(node);
    }
    if (node->type == XML_ELEMENT_NODE) return ElementPath(node);
    return (top ? std::string() : ElementPath(parent)) + "/" + StepName(node) + Position(node);
  }

  std::string ElementPath(xmlNode* element) {
    const auto found = m_paths.find(element);
    if (found != m_paths.end()) return found->second;
    xmlNode* parent = element->parent;
    const bool top = parent == nullptr || IsDocument(parent);
    std::string path =
        (top ? std::string() : ElementPath(parent)) + "/" + StepName(element) + Position(element);
    m_paths.emplace(element, path);
    return path;
  }

  static std::string StepName(const xmlNode* node) {
    switch (node->type) {
      case XML_ELEMENT_NODE: return QualifiedName(node);
      case XML_TEXT_NODE:
      case XML_CDATA_SECTION_NODE: return "text()";
      case XML_COMMENT_NODE: return "comment()";
      case XML_PI_NODE: return "processing-instruction('" + Text(node->name) + "')";
      default: return "node()";
    }
  }

  // "[n]" among the siblings of the same step, or nothing for the only one.
  std::string Position(xmlNode* node) {
    if (node->parent == nullptr) return {};
    if (m_positions.find(node) == m_positions.end()) {
      std::unordered_map<std::string, std::uint32_t> counts;
      std::vector<std::pair<xmlNode*, std::string>> steps;
      for (xmlNode* child = node->parent->children; child != nullptr; child = child->next) {
        std::string step = StepName(child);
        m_positions[child].first = ++counts[step];
        steps.emplace_back(child, std::move(step));
      }
      for (const auto& [child, step] : steps) m_positions[child].second = counts[step];
    }
    const auto [index, count] = m_positions[node];
    return count > 1 ? "[" + std::to_string(index) + "]" : std::string();
  }

  OriginTable& m_table;
  std::unordered_map<const xmlNode*, std::string> m_paths;
  // Of each child of a parent counted: its place among the same steps, and
  // how many there are.
  std::unordered_map<const xmlNode*, std::pair<std::uint32_t, std::uint32_t>> m_positions;
  std::unordered_map<const void*, std::int64_t> m_templates;
  std::map<std::pair<const void*, bool>, std::int64_t> m_instructions;
  std::unordered_map<const void*, std::int64_t> m_sources;
};

std::size_t OriginRecorder::MadeTable::Slot(const void* node) const {
  // Fibonacci hashing of the address without its alignment bits.
  const auto key = reinterpret_cast<std::uintptr_t>(node) >> 4;
  return static_cast<std::size_t>(key * 0x9E3779B97F4A7C15ull) & (m_slots.size() - 1);
}

void OriginRecorder::MadeTable::Grow() {
  std::vector<std::pair<const void*, Made>> old(m_slots.empty() ? 1024 : 2 * m_slots.size());
  old.swap(m_slots);
  for (const auto& [node, made] : old) {
    if (node == nullptr) continue;
    std::size_t at = Slot(node);
    while (m_slots[at].first != nullptr) at = (at + 1) & (m_slots.size() - 1);
    m_slots[at] = {node, made};
  }
}

OriginRecorder::Made& OriginRecorder::MadeTable::operator[](const void* node) {
  if (2 * (m_used + 1) > m_slots.size()) Grow();
  std::size_t at = Slot(node);
  while (m_slots[at].first != nullptr && m_slots[at].first != node) {
    at = (at + 1) & (m_slots.size() - 1);
  }
  if (m_slots[at].first == nullptr) {
    m_slots[at].first = node;
    ++m_used;
  }
  return m_slots[at].second;
}

const OriginRecorder::Made* OriginRecorder::MadeTable::Find(const void* node) const {
  if (m_slots.empty()) return nullptr;
  for (std::size_t at = Slot(node);; at = (at + 1) & (m_slots.size() - 1)) {
    if (m_slots[at].first == node) return &m_slots[at].second;
    if (m_slots[at].first == nullptr) return nullptr;
  }
}

OriginRecorder::OriginRecorder(xsltTransformContext& context) : m_context(context) {
  tRecorder = this;
  // xmlRegisterNodeDefault sets the hook of the thread that first set up
  // libxml2, and the switch that makes libxml2 look for hooks at all; this
  // thread's own hook is set through its slot.
  xmlRegisterNodeDefault(xmlRegisterNodeDefault(nullptr));
  xmlRegisterNodeFunc* hook = __xmlRegisterNodeDefaultValue();
  m_previous = std::exchange(*hook, &OriginRecorder::NodeMade);
}

OriginRecorder::~OriginRecorder() {
  Stop();
}

void OriginRecorder::Stop() noexcept {
  if (!m_recording) return;
  m_recording = false;
  *__xmlRegisterNodeDefaultValue() = m_previous;
  tRecorder = nullptr;
}

void OriginRecorder::NodeMade(xmlNode* node) {
  OriginRecorder* recorder = tRecorder;
  if (recorder == nullptr) return;
  switch (node->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE:
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE: break;
    default: return;
  }
  const xsltTransformContext& context = recorder->m_context;
  try {
    recorder->m_made[node] = {context.inst, context.templ, context.node};
  } catch (const std::bad_alloc&) {
    // Called from inside libxml2, which must not see an exception: what is
    // already known is kept, and nodes from here on have no origin.
    recorder->Stop();
  }
}

void OriginRecorder::Mark(xmlDoc& result, OriginTable& table) {
  Stop();
  Indexer indexer(table);
  const auto made = [this](const void* node) { return m_made.Find(node); };
  // Depth first in document order, without recursion: a result may be as
  // deep as its source.
  xmlNode* node = result.children;
  while (node != nullptr) {
    if (node->type == XML_ELEMENT_NODE) {
      const std::uint64_t element = table.origins.size();
      table.origins.push_back(indexer.OriginOf(made(node), OriginPart::kElement, {}));
      table.origins.back().element = element;
      for (xmlAttr* attribute = node->properties; attribute != nullptr;
           attribute = attribute->next) {
        if (xmlStrEqual(attribute->name, BAD_CAST kOriginAttribute)) continue;
        std::string name = Text(attribute->name);
        if (attribute->ns != nullptr && attribute->ns->prefix != nullptr) {
          name = Text(attribute->ns->prefix) + ":" + name;
        }
        table.origins.push_back(indexer.OriginOf(made(attribute), OriginPart::kAttribute, name));
        table.origins.back().element = element;
      }
      for (xmlNode* child = node->children; child != nullptr; child = child->next) {
        if (child->type != XML_TEXT_NODE && child->type != XML_CDATA_SECTION_NODE) continue;
        std::string label = LabelOf(child->content);
        if (label.empty()) continue;
        const Made* maker = made(child);
        // Text no template matched is copied by the built-in rule, while
        // the xsl:apply-templates that selected it is the instruction.
        const bool builtIn = maker != nullptr && maker->instruction != nullptr &&
                             IsXslt(maker->instruction) &&
                             xmlStrEqual(maker->instruction->name, BAD_CAST "apply-templates");
        table.origins.push_back(
            indexer.OriginOf(maker, OriginPart::kText, std::move(label), builtIn));
        table.origins.back().element = element;
      }
      xmlSetProp(node, BAD_CAST kOriginAttribute, BAD_CAST std::to_string(element).c_str());
      if (node->children != nullptr) {
        node = node->children;
        continue;
      }
    }
    while (node != nullptr && node->next == nullptr) {
      node = node->parent;
      if (node != nullptr && node->type != XML_ELEMENT_NODE) node = nullptr;
    }
    if (node != nullptr) node = node->next;
  }
}

namespace {

template <class Entry>
const Entry* At(const std::vector<Entry>& list, std::int64_t index) {
  if (index < 0 || static_cast<std::uint64_t>(index) >= list.size()) return nullptr;
  return &list[static_cast<std::size_t>(index)];
}

std::string NameOf(const OriginTemplate* templ) {
  // Text copied by the built-in rules runs with no template of the
  // stylesheet's own.
  if (templ == nullptr) return "none: a built-in template rule";
  std::string text;
  for (const auto& [key, value] : {std::pair{"match", &templ->match},
                                   {"name", &templ->name},
                                   {"mode", &templ->mode},
                                   {"priority", &templ->priority}}) {
    if (value->empty()) continue;
    if (!text.empty()) text += ' ';
    text += std::string(key) + "=\"" + *value + "\"";
  }
  return text;
}

}  // namespace

bool ViewOrigin(const OriginTable& table, std::uint64_t element, OriginView& view) {
  if (element >= table.origins.size()) return false;
  const Origin& own = table.origins[element];
  if (own.part != OriginPart::kElement) return false;
  view = {};
  const OriginTemplate* templ = At(table.templates, own.templ);
  view.templ = NameOf(templ);
  if (templ != nullptr) view.templPlace = {templ->file, templ->line};
  if (const OriginInstruction* made = At(table.instructions, own.instruction)) {
    view.instruction = made->name;
    view.instructionPlace = {made->file, made->line};
  } else {
    view.instruction = "unknown";
  }
  if (const OriginSource* source = At(table.sources, own.source)) {
    view.source = source->path;
    view.sourcePlace = {source->file, source->line};
  } else {
    view.source = "none";
  }
  // The parts follow their element, but a text after a child element of
  // its own comes after that child's entries where the result was written
  // as it was made.
  for (std::size_t i = static_cast<std::size_t>(element) + 1; i < table.origins.size(); ++i) {
    const Origin& part = table.origins[i];
    if (part.part == OriginPart::kElement || part.element != element) continue;
    OriginView::Part& shown = view.parts.emplace_back();
    shown.what = part.part == OriginPart::kAttribute ? "attribute " + part.label
                                                     : "text \u201c" + part.label + "\u201d";
    if (const OriginInstruction* made = At(table.instructions, part.instruction)) {
      shown.instruction = made->name;
      shown.place = {made->file, made->line};
    } else {
      shown.instruction = "unknown";
    }
  }
  return true;
}

}  // namespace xmlpellor::xml
