#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/xml/XmlPtr.h"

namespace xmlpellor::xml {

// Where the parts of a result came from: which instruction of which
// template wrote them, while the template processed which source node.
// Texts are as the stylesheet wrote them; an empty one was not given.
struct OriginTemplate {
  std::string match;
  std::string name;
  std::string mode;
  std::string priority;
  std::string file;
  std::int64_t line = 0;
};

struct OriginInstruction {
  // "xsl:element", "xsl:copy-of", "<li>" for a literal result element,
  // "text" for text written as it stands.
  std::string name;
  std::string file;
  std::int64_t line = 0;
};

struct OriginSource {
  std::string path;  // as /orders/order[3]/item[2]
  std::string file;  // of the document the node belongs to
  std::int64_t line = 0;
};

enum class OriginPart : std::uint8_t { kElement = 0, kAttribute = 1, kText = 2 };

inline constexpr std::int64_t kNoOrigin = -1;

// One element of the result, or an attribute or a text of one.
struct Origin {
  // The entry of the element this part belongs to; an element's own.
  std::uint64_t element = 0;
  OriginPart part = OriginPart::kElement;
  // The attribute's name, or the start of the text.
  std::string label;
  // Indexes into the table's lists, or kNoOrigin where nothing of the
  // stylesheet was running (a built-in template rule has no template).
  std::int64_t templ = kNoOrigin;
  std::int64_t instruction = kNoOrigin;
  std::int64_t source = kNoOrigin;
};

struct OriginTable {
  std::vector<OriginTemplate> templates;
  std::vector<OriginInstruction> instructions;
  std::vector<OriginSource> sources;
  std::vector<Origin> origins;

  bool Empty() const noexcept { return origins.empty(); }
};

// A place to open in an editor; no line is 0.
struct OriginPlace {
  std::string file;
  std::int64_t line = 0;
};

// What the window says of one element of the result.
struct OriginView {
  struct Part {
    std::string what;  // "attribute id", "text “Bread”"
    std::string instruction;
    OriginPlace place;
  };
  std::string templ;  // match="order" mode="summary", or why there is none
  OriginPlace templPlace;
  std::string instruction;
  OriginPlace instructionPlace;
  std::string source;
  OriginPlace sourcePlace;
  std::vector<Part> parts;
};

// The element at `element` of `table`, as the window says it; false when
// the table has no element there.
bool ViewOrigin(const OriginTable& table, std::uint64_t element, OriginView& view);

// A text as a part's label: its start, its runs of white space made single
// spaces; empty when it is only white space.
std::string OriginLabel(std::string_view text);

// The attribute each element of the marked result carries: the index of
// its entry in the table's origins.
inline constexpr const char* kOriginAttribute = "data-xmlpellor-origin";

// Notes, for one transformation on the calling thread, which instruction
// was running when each node came into being. libxml2 tells of every node
// it makes through one per-thread hook; libxslt keeps the running
// instruction, its template and the source node in the context. Nothing is
// hooked unless a recorder lives, so an ordinary run pays nothing.
class OriginRecorder {
 public:
  explicit OriginRecorder(xsltTransformContext& context);
  ~OriginRecorder();
  OriginRecorder(const OriginRecorder&) = delete;
  OriginRecorder& operator=(const OriginRecorder&) = delete;

  // Stops recording, gives every element of `result` the origin attribute,
  // and describes in `table` where it, its attributes and its text came
  // from. Call it while the source documents still live.
  void Mark(xmlDoc& result, OriginTable& table);

 private:
  struct Made {
    xmlNode* instruction = nullptr;
    xsltTemplate* templ = nullptr;
    xmlNode* source = nullptr;
  };
  // Every node the run makes goes in here, so it is an open table of its
  // own: a node-based map spends more than the transformation itself.
  class MadeTable {
   public:
    Made& operator[](const void* node);
    const Made* Find(const void* node) const;

   private:
    std::size_t Slot(const void* node) const;
    void Grow();
    std::vector<std::pair<const void*, Made>> m_slots;
    std::size_t m_used = 0;
  };
  class Indexer;

  static void NodeMade(xmlNode* node);
  void Stop() noexcept;

  xsltTransformContext& m_context;
  // Addresses are reused once a temporary tree is freed; the last node made
  // at an address is the one a result node there is.
  MadeTable m_made;
  bool m_recording = true;
  xmlRegisterNodeFunc m_previous = nullptr;
};

}  // namespace xmlpellor::xml
