// A stylesheet that writes several files, through the whole tool minus its
// window: where the files go, what the page is given, saving the set, and
// that nothing outlives the run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "Tool.h"

namespace xmlpellor::test {
namespace {

using ::testing::HasSubstr;
namespace fs = std::filesystem;

constexpr const char* kHead =
    "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform' "
    "xmlns:exsl='http://exslt.org/common' extension-element-prefixes='exsl'>"
    "<xsl:template match='/'>";
constexpr const char* kTail = "</xsl:template></xsl:stylesheet>";

std::string Page(const char* href, const char* text) {
  return std::string("<exsl:document href='") + href + "'><html><body><p>" + text +
         "</p></body></html></exsl:document>";
}

// The run folders in the temporary folder.
std::vector<std::string> RunFolders(const PrivateTmp& tmp) {
  std::vector<std::string> found;
  for (const auto& entry : fs::directory_iterator(tmp.path())) {
    if (entry.path().filename().string().rfind(kRunFolderPrefix, 0) == 0) {
      found.push_back(entry.path().string());
    }
  }
  return found;
}

struct SetCase {
  const char* name;
  std::string body;  // of the template for '/'
  std::vector<std::string> files;
  std::string shown;
  bool asWritten;  // shown as the stylesheet wrote it, not as the output
};

class OutputSetOfAnApply : public ::testing::TestWithParam<SetCase> {};

TEST_P(OutputSetOfAnApply, ShowsTheRightFileAmongThem) {
  const SetCase& c = GetParam();
  TempDir job;
  job.Write("orders.xml", "<r/>");
  job.Write("s.xsl", kHead + c.body + kTail);
  PrivateTmp tmp;
  Tool tool;
  tool.Apply(job.File("orders.xml"), job.File("s.xsl"));
  ASSERT_EQ(tool.Reports(), 0u) << tool.LastReport();
  ASSERT_TRUE(tool.frm.Output());
  const OutputSet& set = tool.frm.Output()->set;
  EXPECT_EQ(set.files, c.files);
  ASSERT_EQ(RunFolders(tmp), std::vector<std::string>{set.folder});
  EXPECT_EQ(tool.wbr.navigations.back(), set.folder + "/" + c.shown);
  EXPECT_EQ(tool.wbr.pages.back().asWritten, c.asWritten);
  EXPECT_EQ(tool.frm.ShownFile(), set.folder + "/" + c.shown);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, OutputSetOfAnApply,
    ::testing::Values(SetCase{"blank_output_shows_the_index",
                              Page("a.html", "A") + Page("index.html", "I"),
                              {"a.html", "index.html"},
                              "index.html",
                              true},
                      SetCase{"without_an_index_the_first_written",
                              Page("b.html", "B") + Page("a.html", "A"),
                              {"b.html", "a.html"},
                              "b.html",
                              true},
                      SetCase{"output_with_content_comes_first_as_the_index",
                              Page("a.html", "A") + "<html><body>main</body></html>",
                              {"index.html", "a.html"},
                              "index.html",
                              false},
                      SetCase{"output_gives_way_to_an_index_of_the_stylesheets",
                              Page("index.html", "I") + "<html><body>main</body></html>",
                              {"orders.html", "index.html"},
                              "orders.html",
                              false},
                      SetCase{"subfolders",
                              Page("parts/one.html", "1") + Page("parts/two.html", "2"),
                              {"parts/one.html", "parts/two.html"},
                              "parts/one.html",
                              true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OutputSet, LivesInAPrivateFolderUntilTheNextApplyAndIsSavedWhole) {
  TempDir job;
  job.Write("orders.xml", "<r/>");
  job.Write("s.xsl",
            kHead + Page("index.html", "Index") + Page("parts/ch.html", "Chapter") + kTail);
  TempDir saved;
  PrivateTmp tmp;
  std::string folder;
  {
    Tool tool;
    tool.Apply(job.File("orders.xml"), job.File("s.xsl"));
    ASSERT_EQ(tool.Reports(), 0u) << tool.LastReport();
    folder = tool.frm.Output()->set.folder;
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_THAT(ReadFile(folder + "/parts/ch.html"), HasSubstr("Chapter"));
    // The page may go among the files.
    EXPECT_THAT(tool.wbr.pages.back().readableFolders, ::testing::Contains(folder));
    // Nothing beside the job's own files.
    EXPECT_EQ(std::distance(fs::directory_iterator(job.path()), fs::directory_iterator()), 2);

    // Ctrl+S: the whole set into a folder of the user's choice, once.
    tool.cdl.chosen = saved.path();
    SaveOutputAs(tool.h.errors, tool.cdl, tool.fs, tool.frm.TempFile(), *tool.frm.Output());
    EXPECT_EQ(tool.Reports(), 0u) << tool.LastReport();
    ASSERT_FALSE(tool.cdl.shown.empty());
    EXPECT_TRUE(tool.cdl.shown.back().folder);
    EXPECT_EQ(ReadFile(saved.File("parts/ch.html")), ReadFile(folder + "/parts/ch.html"));
    EXPECT_EQ(ReadFile(saved.File("index.html")), ReadFile(folder + "/index.html"));
    // A second save would replace them: refused, naming one.
    saved.Write("index.html", "mine");
    SaveOutputAs(tool.h.errors, tool.cdl, tool.fs, tool.frm.TempFile(), *tool.frm.Output());
    ASSERT_EQ(tool.Reports(), 1u);
    EXPECT_THAT(tool.LastReport(), HasSubstr("already holds index.html"));
    EXPECT_EQ(saved.Read("index.html"), "mine");

    // A plain Apply after it takes the folder away.
    EXPECT_TRUE(tool.StillUsable());
    EXPECT_FALSE(fs::exists(folder));
    tool.Apply(job.File("orders.xml"), job.File("s.xsl"));
    folder = tool.frm.Output()->set.folder;
    EXPECT_TRUE(fs::exists(folder));
  }
  // So does closing the window.
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_TRUE(RunFolders(tmp).empty());
}

// docbook-xsl's chunker on a small book, as a user of it would run it.
TEST(OutputSet, DocBookChunksShowTheirIndex) {
  const std::string chunk = "/usr/share/xml/docbook/stylesheet/docbook-xsl/html/chunk.xsl";
  if (!fs::exists(chunk)) GTEST_SKIP() << "docbook-xsl is not installed";
  TempDir job;
  job.Write("book.xml",
            "<?xml version='1.0'?>\n"
            "<book><title>Small Book</title>"
            "<chapter id='one'><title>First Chapter</title><para>One.</para></chapter>"
            "<chapter id='two'><title>Second Chapter</title><para>Two.</para></chapter>"
            "</book>");
  PrivateTmp tmp;
  Tool tool;
  testing::internal::CaptureStderr();
  tool.Apply(job.File("book.xml"), chunk);
  const std::string said = testing::internal::GetCapturedStderr();
  ASSERT_EQ(tool.Reports(), 0u) << tool.LastReport();
  const OutputSet& set = tool.frm.Output()->set;
  EXPECT_THAT(set.files, ::testing::IsSupersetOf({"index.html", "ch01.html", "ch02.html"})) << said;
  EXPECT_EQ(tool.wbr.navigations.back(), set.folder + "/index.html");
  EXPECT_THAT(ReadFile(set.folder + "/index.html"), HasSubstr("Small Book"));
  EXPECT_THAT(ReadFile(set.folder + "/index.html"), HasSubstr("href=\"ch01.html\""));
  EXPECT_EQ(std::distance(fs::directory_iterator(job.path()), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace xmlpellor::test
