// A stylesheet that writes several files, through the whole tool minus its
// window: where the files go, what the page is given, saving the set, and
// that nothing outlives the run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

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
    EXPECT_TRUE(tool.wbr.pages.back().reads.Allows(folder + "/parts/ch.html"));
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

// Stylesheet sets from the system's packages that write a file a page, run as
// their users run them: no --allow-read (yelp-xsl imports across its own tree
// under /usr/share), the first page shown, and nothing written beside the job.
struct SystemSetCase {
  const char* name;
  const char* stylesheet;
  std::vector<std::pair<const char*, const char*>> job;  // the document first
  std::vector<std::string> files;                        // among those written
  const char* first;                                     // in the page shown first
  const char* link;                                      // in it too, to another file
};

void PrintTo(const SystemSetCase& c, std::ostream* os) {
  *os << c.stylesheet;
}

class SystemStylesheetSets : public ::testing::TestWithParam<SystemSetCase> {};

TEST_P(SystemStylesheetSets, ShowTheirFirstPageFromTheRunFolder) {
  const SystemSetCase& c = GetParam();
  if (!fs::exists(c.stylesheet)) GTEST_SKIP() << c.stylesheet << " is not installed";
  TempDir job;
  for (const auto& [name, text] : c.job) job.Write(name, text);
  PrivateTmp tmp;
  Tool tool;
  testing::internal::CaptureStderr();
  tool.Apply(job.File(c.job.front().first), c.stylesheet);
  const std::string said = testing::internal::GetCapturedStderr();
  ASSERT_EQ(tool.Reports(), 0u) << tool.LastReport();
  const OutputSet& set = tool.frm.Output()->set;
  EXPECT_THAT(set.files, ::testing::IsSupersetOf(c.files)) << said;
  EXPECT_EQ(tool.wbr.navigations.back(), set.folder + "/index.html");
  EXPECT_THAT(ReadFile(set.folder + "/index.html"), HasSubstr(c.first));
  EXPECT_THAT(ReadFile(set.folder + "/index.html"), HasSubstr(c.link));
  EXPECT_EQ(std::distance(fs::directory_iterator(job.path()), fs::directory_iterator()),
            static_cast<std::ptrdiff_t>(c.job.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Debian, SystemStylesheetSets,
    ::testing::Values(
        SystemSetCase{"docbook_chunks",
                      "/usr/share/xml/docbook/stylesheet/docbook-xsl/html/chunk.xsl",
                      {{"book.xml",
                        "<?xml version='1.0'?>\n"
                        "<book><title>Small Book</title>"
                        "<chapter id='one'><title>First Chapter</title><para>One.</para></chapter>"
                        "<chapter id='two'><title>Second Chapter</title><para>Two.</para>"
                        "</chapter></book>"}},
                      {"index.html", "ch01.html", "ch02.html"},
                      "Small Book",
                      "href=\"ch01.html\""},
        SystemSetCase{"yelp_mallard_pages",
                      "/usr/share/yelp-xsl/xslt/mallard/html/mal2html.xsl",
                      {{"index.page",
                        "<page xmlns='http://projectmallard.org/1.0/' type='guide' id='index'>"
                        "<title>Pellor help</title><p>Hello from the guide.</p>"
                        "<section id='more'><title>More</title>"
                        "<p><link xref='next'>the next page</link></p></section></page>"},
                       {"next.page",
                        "<page xmlns='http://projectmallard.org/1.0/' type='topic' id='next'>"
                        "<title>Next</title><p>Two.</p></page>"}},
                      {"index.html"},
                      "Hello from the guide.",
                      "href=\"next.html\""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace xmlpellor::test
