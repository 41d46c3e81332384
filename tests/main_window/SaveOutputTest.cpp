#include <gtest/gtest.h>

#include <ostream>

#include "main_window/SaveOutput.h"
#include "platform/FileSystem.h"
#include "support/Fakes.h"
#include "support/WindowFakes.h"

namespace xmlpellor::test {
namespace {

using Kind = transform::OutputKind;

struct NameCase {
  const char* name;
  std::string document;
  Kind kind;
  std::string offered;
};
void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }

class SuggestedName : public ::testing::TestWithParam<NameCase> {};

TEST_P(SuggestedName, IsTheDocumentsNameWithTheOutputsExtension) {
  const NameCase& c = GetParam();
  EXPECT_EQ(SuggestedOutputName({c.kind, c.document}), c.offered);
}

INSTANTIATE_TEST_SUITE_P(
    SaveOutput, SuggestedName,
    ::testing::Values(
        NameCase{"Html", "/data/orders.xml", Kind::kHtml, "/data/orders.html"},
        NameCase{"Text", "/data/orders.xml", Kind::kText, "/data/orders.txt"},
        NameCase{"Xml", "/data/orders.xml", Kind::kXml, "/data/orders.xml"},
        NameCase{"Xhtml", "/data/orders.xml", Kind::kXhtml, "/data/orders.xhtml"},
        NameCase{"OnlyTheLastExtension", "/data/v1.2/orders.2024.xml", Kind::kHtml,
                 "/data/v1.2/orders.2024.html"},
        NameCase{"DotInTheFolderOnly", "/data.d/orders", Kind::kText, "/data.d/orders.txt"},
        NameCase{"HiddenFile", "/data/.orders", Kind::kHtml, "/data/.orders.html"},
        NameCase{"RelativeName", "orders.xml", Kind::kHtml, "orders.html"},
        NameCase{"FileUrl", "file:///data/my%20orders.xml", Kind::kHtml, "/data/my orders.html"},
        NameCase{"FileUrlOfLocalhost", "FILE://localhost/data/orders.xml", Kind::kXml,
                 "/data/orders.xml"},
        NameCase{"BrokenEscapeKept", "file:/data/100%.xml", Kind::kText, "/data/100%.txt"},
        NameCase{"NoDocument", "", Kind::kHtml, "output.html"},
        NameCase{"FolderOnly", "/data/", Kind::kHtml, "/data/output.html"}),
    [](const auto& info) { return std::string(info.param.name); });

// Records copies; the rest of the file services are never used here.
class CopyingFileSystem final : public IFileSystem {
 public:
  std::vector<std::string> copies;
  std::string TempPath() override { return "/tmp/"; }
  std::string CreateUniqueFile(const std::string&, const std::string&) override { return {}; }
  void Kill(const std::string&) override {}
  void WriteText(const std::string&, std::string_view) override {}
  void CopyFile(const std::string& from, const std::string& to) override {
    copies.push_back(from + " -> " + to);
  }
};

struct AnswerCase {
  const char* name;
  FakeCommonDialog::Answer answer;
  std::vector<std::string> copies;
  std::size_t reports;
};
void PrintTo(const AnswerCase& c, std::ostream* os) { *os << c.name; }

class SaveAnswer : public ::testing::TestWithParam<AnswerCase> {};

// The dialog offers the derived name, asks before replacing a file, and
// only a choice copies the output file there.
TEST_P(SaveAnswer, CopiesTheOutputFileOnlyWhereChosen) {
  const AnswerCase& c = GetParam();
  ReportHarness h;
  FakeCommonDialog cdl;
  CopyingFileSystem fs;
  cdl.answer = c.answer;
  cdl.chosen = "/home/ann/kept.html";
  SaveOutputAs(h.errors, cdl, fs, "/tmp/xml1.tmp", {Kind::kHtml, "/data/orders.xml"});

  ASSERT_EQ(cdl.shown.size(), 1u);
  EXPECT_TRUE(cdl.shown[0].save);
  EXPECT_EQ(cdl.shown[0].fileName, "/data/orders.html");
  EXPECT_EQ(cdl.shown[0].title, "Save Output As");
  EXPECT_EQ(cdl.shown[0].filter, "HTML Files (*.html)|*.html|All Files (*.*)|*.*");
  EXPECT_EQ(cdl.shown[0].flags, cdl::kOverwritePrompt | cdl::kHideReadOnly);
  EXPECT_EQ(fs.copies, c.copies);
  EXPECT_EQ(h.Reports(), c.reports);
}

INSTANTIATE_TEST_SUITE_P(
    SaveOutput, SaveAnswer,
    ::testing::Values(AnswerCase{"Choice", FakeCommonDialog::Answer::Choose,
                                 {"/tmp/xml1.tmp -> /home/ann/kept.html"}, 0},
                      AnswerCase{"Cancel", FakeCommonDialog::Answer::Cancel, {}, 0},
                      AnswerCase{"Failure", FakeCommonDialog::Answer::Fail, {}, 1}),
    [](const auto& info) { return std::string(info.param.name); });

struct MainNameCase {
  const char* name;
  std::vector<std::string> written;
  Kind kind;
  std::string expected;
};

class MainOutputNameAmongFiles : public ::testing::TestWithParam<MainNameCase> {};

// The output never takes the place of a file, or of a folder, the
// stylesheet wrote.
TEST_P(MainOutputNameAmongFiles, IsOneTheStylesheetLeftFree) {
  const MainNameCase& c = GetParam();
  EXPECT_EQ(MainOutputName(c.written, {c.kind, "/data/orders.xml"}), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    SaveOutput, MainOutputNameAmongFiles,
    ::testing::Values(
        MainNameCase{"IndexByKind", {"index.html"}, Kind::kXml, "index.xml"},
        MainNameCase{"BothTaken", {"index.html", "orders.html"}, Kind::kHtml, "orders-output.html"},
        MainNameCase{"FolderOfThatName", {"index.html/a.html"}, Kind::kHtml, "orders.html"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace xmlpellor::test
