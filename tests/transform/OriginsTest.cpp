#include <gtest/gtest.h>

#include <string>

#include <libxml/HTMLparser.h>

#include "TestData.h"
#include "platform/Channel.h"
#include "platform/ReadPolicy.h"
#include "platform/RuntimeError.h"
#include "platform/xml/DomDocument.h"
#include "platform/xml/Origins.h"
#include "platform/xml/XmlJob.h"
#include "wire/JobWire.h"

namespace xmlpellor::test {
namespace {

using xml::OriginPart;

struct OpenReads {
  xml::XmlJobObserver observer;
  const ReadPolicy anything = ReadPolicy::Unrestricted();
  const xml::XmlJobScope scope{anything, observer};
};

std::string Transform(xml::OriginTable* origins) {
  OpenReads reads;
  xml::DOMDocument xmlDoc;
  xml::DOMDocument xslDoc;
  EXPECT_TRUE(xmlDoc.load(DataPath("origins/orders.xml")));
  EXPECT_TRUE(xslDoc.load(DataPath("origins/orders.xsl")));
  return xmlDoc.transformNode(xslDoc.documentElement(), nullptr, {}, nullptr, nullptr, origins);
}

// The template as the panel would name it: only what the stylesheet gave.
std::string Named(const xml::OriginTemplate& templ) {
  std::string text;
  for (const auto& [key, value] : {std::pair{"match", &templ.match},
                                   {"name", &templ.name},
                                   {"mode", &templ.mode},
                                   {"priority", &templ.priority}}) {
    if (!value->empty()) text += std::string(text.empty() ? "" : " ") + key + "=" + *value;
  }
  return text;
}

struct OriginCase {
  const char* element;  // XPath into the output, read as HTML
  OriginPart part;
  const char* label;  // of the attribute or text part
  const char* templ;
  long templLine;
  const char* instruction;
  long instructionLine;
  const char* source;
  long sourceLine;
};

class OriginOf : public ::testing::TestWithParam<OriginCase> {
 protected:
  static void SetUpTestSuite() { output = new std::string(Transform(&table)); }
  static void TearDownTestSuite() { delete output; }
  static inline xml::OriginTable table;
  static inline std::string* output = nullptr;
};

TEST_P(OriginOf, NamesTemplateInstructionAndSource) {
  const OriginCase& c = GetParam();
  xml::XmlPtr<xmlDoc> page(htmlReadMemory(output->data(), static_cast<int>(output->size()), "",
                                          "UTF-8", HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING));
  ASSERT_TRUE(page);
  xml::XmlPtr<xmlXPathContext> context(xmlXPathNewContext(page.get()));
  xml::XmlPtr<xmlXPathObject> found(xmlXPathEvalExpression(
      BAD_CAST(std::string("string(") + c.element + "/@" + xml::kOriginAttribute + ")").c_str(),
      context.get()));
  ASSERT_TRUE(found);
  const std::string id = reinterpret_cast<const char*>(found->stringval);
  ASSERT_FALSE(id.empty()) << c.element << " carries no origin in " << *output;
  const std::size_t element = std::stoul(id);
  ASSERT_LT(element, table.origins.size());

  const xml::Origin* origin = nullptr;
  for (const xml::Origin& entry : table.origins) {
    if (entry.element == element && entry.part == c.part &&
        (c.part == OriginPart::kElement || entry.label == c.label)) {
      origin = &entry;
    }
  }
  ASSERT_NE(origin, nullptr) << c.element << " " << c.label;
  ASSERT_NE(origin->templ, xml::kNoOrigin);
  ASSERT_NE(origin->instruction, xml::kNoOrigin);
  ASSERT_NE(origin->source, xml::kNoOrigin);
  const auto& templ = table.templates.at(static_cast<std::size_t>(origin->templ));
  const auto& instruction = table.instructions.at(static_cast<std::size_t>(origin->instruction));
  const auto& source = table.sources.at(static_cast<std::size_t>(origin->source));
  EXPECT_EQ(Named(templ), c.templ);
  EXPECT_EQ(templ.line, c.templLine);
  EXPECT_EQ(instruction.name, c.instruction);
  EXPECT_EQ(instruction.line, c.instructionLine);
  EXPECT_EQ(source.path, c.source);
  EXPECT_EQ(source.line, c.sourceLine);
  // Paths the window can open, whatever form the documents were named in.
  EXPECT_EQ(templ.file.substr(templ.file.rfind('/') + 1), "orders.xsl");
  EXPECT_EQ(instruction.file, templ.file);
  EXPECT_EQ(source.file.substr(source.file.rfind('/') + 1), "orders.xml");
}

INSTANTIATE_TEST_SUITE_P(
    Orders, OriginOf,
    ::testing::Values(
        // A literal result element of the root's template.
        OriginCase{"//body", OriginPart::kElement, "", "match=/", 4, "<body>", 5, "/", 0},
        OriginCase{"//div[@id='order-2']", OriginPart::kElement, "", "match=order", 10, "<div>", 11,
                   "/orders/order[2]", 7},
        OriginCase{"//div[@id='order-2']", OriginPart::kAttribute, "id", "match=order", 10,
                   "xsl:attribute", 12, "/orders/order[2]", 7},
        OriginCase{"//div[@id='order-2']", OriginPart::kAttribute, "class", "match=order", 10,
                   "<div>", 11, "/orders/order[2]", 7},
        OriginCase{"//p[.='Bread']", OriginPart::kElement, "", "match=item priority=2", 17,
                   "xsl:element", 18, "/orders/order[1]/item[2]", 5},
        OriginCase{"//p[.='Bread']", OriginPart::kText, "Bread", "match=item priority=2", 17,
                   "xsl:value-of", 19, "/orders/order[1]/item[2]", 5},
        // The only item of its order: no position, as XPath writes it.
        OriginCase{"//p[.='Cheese']", OriginPart::kElement, "", "match=item priority=2", 17,
                   "xsl:element", 18, "/orders/order[2]/item", 8},
        OriginCase{"//note", OriginPart::kElement, "", "match=order", 10, "xsl:copy-of", 14,
                   "/orders/order[2]", 7},
        OriginCase{"(//order)[2]", OriginPart::kElement, "", "match=order mode=summary", 22,
                   "xsl:copy", 23, "/orders/order[2]", 7},
        // Made two calls deep in the template that calls itself.
        OriginCase{"(//order)[1]/b[2]", OriginPart::kElement, "", "name=stars", 29, "<b>", 32,
                   "/orders/order[1]", 3}));

TEST(OriginMarks, AreTheOnlyDifferenceFromThePlainOutput) {
  xml::OriginTable table;
  const std::string marked = Transform(&table);
  const std::string plain = Transform(nullptr);
  EXPECT_EQ(plain.find(xml::kOriginAttribute), std::string::npos);
  // Each mark is ` ATTRIBUTE="DIGITS"`; a mark of another shape stays and fails.
  std::string unmarked = marked;
  const std::string start = std::string(" ") + xml::kOriginAttribute + "=\"";
  for (std::size_t at = unmarked.find(start); at != std::string::npos;
       at = unmarked.find(start, at)) {
    std::size_t end = at + start.size();
    while (end < unmarked.size() && unmarked[end] >= '0' && unmarked[end] <= '9') ++end;
    if (end == at + start.size() || end >= unmarked.size() || unmarked[end] != '"') break;
    unmarked.erase(at, end + 1 - at);
  }
  EXPECT_EQ(unmarked, plain);
}

TEST(OriginWire, CarriesATableThatTakesManyMessages) {
  xml::OriginTable sent;
  sent.templates.push_back({"order", "", "summary", "2", "/s/orders.xsl", 22});
  sent.instructions.push_back({"xsl:copy", "/s/orders.xsl", 23});
  for (int i = 0; i < 20000; ++i) {
    sent.sources.push_back({"/orders/order[" + std::to_string(i) + "]", "/d/orders.xml", i});
    sent.origins.push_back({static_cast<std::uint64_t>(i), OriginPart::kElement, "", 0, 0, i});
  }
  sent.origins.push_back({3, OriginPart::kText, "Bread", xml::kNoOrigin, 0, 2});
  const std::vector<std::string> messages = wire::EncodeOrigins(sent);
  ASSERT_GT(messages.size(), 2u);
  xml::OriginTable heard;
  for (const std::string& message : messages) {
    ASSERT_LE(message.size(), kMaxChannelMessage);
    wire::AppendOrigins(heard, std::get<wire::OriginPiece>(wire::Decode(message)));
  }
  ASSERT_EQ(heard.origins.size(), sent.origins.size());
  EXPECT_EQ(heard.sources.back().path, sent.sources.back().path);
  EXPECT_EQ(heard.templates.front().mode, "summary");
  const xml::Origin& text = heard.origins.back();
  EXPECT_EQ(text.element, 3u);
  EXPECT_EQ(text.part, OriginPart::kText);
  EXPECT_EQ(text.label, "Bread");
  EXPECT_EQ(text.templ, xml::kNoOrigin);
  EXPECT_EQ(text.source, 2);
}

TEST(OriginWire, RefusesAnEntryThatNamesWhatTheTableLacks) {
  xml::OriginTable sent;
  sent.origins.push_back({0, OriginPart::kElement, "", xml::kNoOrigin, xml::kNoOrigin, 5});
  xml::OriginTable heard;
  EXPECT_THROW(wire::AppendOrigins(heard, std::get<wire::OriginPiece>(
                                              wire::Decode(wire::EncodeOrigins(sent).at(0)))),
               RuntimeError);
}

}  // namespace
}  // namespace xmlpellor::test
