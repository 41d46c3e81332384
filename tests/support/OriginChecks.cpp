#include "support/OriginChecks.h"

#include <gtest/gtest.h>

#include <libxml/HTMLparser.h>
#include <libxml/xpath.h>

#include "platform/xml/XmlPtr.h"

namespace xmlpellor::test {

namespace {

std::string FileName(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

}  // namespace

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

void ExpectOrigin(const OriginCase& c, const std::string& output, const xml::OriginTable& table,
                  const std::string& stylesheet, const std::string& document) {
  xml::XmlPtr<xmlDoc> page(htmlReadMemory(output.data(), static_cast<int>(output.size()), "",
                                          "UTF-8", HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING));
  ASSERT_TRUE(page);
  xml::XmlPtr<xmlXPathContext> context(xmlXPathNewContext(page.get()));
  xml::XmlPtr<xmlXPathObject> found(xmlXPathEvalExpression(
      BAD_CAST(std::string("string(") + c.element + "/@" + xml::kOriginAttribute + ")").c_str(),
      context.get()));
  ASSERT_TRUE(found);
  const std::string id = reinterpret_cast<const char*>(found->stringval);
  ASSERT_FALSE(id.empty()) << c.element << " carries no origin in " << output;
  const std::uint64_t element = std::stoull(id);
  ASSERT_LT(element, table.origins.size());
  EXPECT_EQ(table.origins[element].element, element);

  const xml::Origin* origin = nullptr;
  for (const xml::Origin& entry : table.origins) {
    if (entry.element == element && entry.part == c.part &&
        (c.part == xml::OriginPart::kElement || entry.label == c.label)) {
      origin = &entry;
    }
  }
  ASSERT_NE(origin, nullptr) << c.element << " " << c.label;
  ASSERT_NE(origin->instruction, xml::kNoOrigin);
  ASSERT_NE(origin->source, xml::kNoOrigin);
  const auto& instruction = table.instructions.at(static_cast<std::size_t>(origin->instruction));
  const auto& source = table.sources.at(static_cast<std::size_t>(origin->source));
  EXPECT_EQ(instruction.name, c.instruction);
  EXPECT_EQ(instruction.line, c.instructionLine);
  EXPECT_EQ(FileName(instruction.file), stylesheet);
  EXPECT_EQ(source.path, c.source);
  EXPECT_EQ(source.line, c.sourceLine);
  EXPECT_EQ(FileName(source.file), document);
  if (*c.templ == '\0') {
    EXPECT_EQ(origin->templ, xml::kNoOrigin);
    return;
  }
  ASSERT_NE(origin->templ, xml::kNoOrigin);
  const auto& templ = table.templates.at(static_cast<std::size_t>(origin->templ));
  EXPECT_EQ(Named(templ), c.templ);
  EXPECT_EQ(templ.line, c.templLine);
  EXPECT_EQ(templ.file, instruction.file);
}

std::string Unmarked(std::string marked, std::size_t* marks) {
  const std::string start = std::string(" ") + xml::kOriginAttribute + "=\"";
  std::size_t count = 0;
  for (std::size_t at = marked.find(start); at != std::string::npos; at = marked.find(start, at)) {
    std::size_t end = at + start.size();
    while (end < marked.size() && marked[end] >= '0' && marked[end] <= '9') ++end;
    if (end == at + start.size() || end >= marked.size() || marked[end] != '"') break;
    marked.erase(at, end + 1 - at);
    ++count;
  }
  if (marks != nullptr) *marks = count;
  return marked;
}

}  // namespace xmlpellor::test
