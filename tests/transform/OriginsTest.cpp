#include <gtest/gtest.h>

#include <string>

#include "TestData.h"
#include "platform/Channel.h"
#include "platform/ReadPolicy.h"
#include "platform/RuntimeError.h"
#include "platform/xml/DomDocument.h"
#include "platform/xml/Origins.h"
#include "platform/xml/XmlJob.h"
#include "support/OriginChecks.h"
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

class OriginOf : public ::testing::TestWithParam<OriginCase> {
 protected:
  static void SetUpTestSuite() { output = new std::string(Transform(&table)); }
  static void TearDownTestSuite() { delete output; }
  static inline xml::OriginTable table;
  static inline std::string* output = nullptr;
};

TEST_P(OriginOf, NamesTemplateInstructionAndSource) {
  ExpectOrigin(GetParam(), *output, table, "orders.xsl", "orders.xml");
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
  EXPECT_EQ(Unmarked(marked), plain);
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
