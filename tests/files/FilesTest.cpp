#include <gtest/gtest.h>

#include <sys/stat.h>

#include "files/Files.h"
#include "platform/FileSystem.h"
#include "support/Fakes.h"
#include "support/TempDir.h"

namespace xmlpellor::test {
namespace {

// The real file services, with the temporary directory pointed elsewhere.
class RedirectedTempFileSystem final : public IFileSystem {
 public:
  explicit RedirectedTempFileSystem(std::string dir) : m_dir(std::move(dir)) {}
  std::string TempPath() override { return m_dir; }
  std::string CreateUniqueFile(const std::string& d, const std::string& p) override { return m_real.CreateUniqueFile(d, p); }
  void Kill(const std::string& path) override { m_real.Kill(path); }
  void WriteText(const std::string& path, std::string_view text) override { m_real.WriteText(path, text); }

 private:
  std::string m_dir;
  PosixFileSystem m_real;
};

TEST(TempFile, CreatesOneEmptyXmlFileAndDeletesIt) {
  ReportHarness h;
  TempDir dir;
  RedirectedTempFileSystem fs(dir.path() + "/");
  const std::string path = files::TempFileName(h.errors, fs);
  ASSERT_EQ(path.rfind(dir.path() + "/xml", 0), 0u) << path;
  EXPECT_TRUE(Exists(path));
  EXPECT_EQ(ReadFile(path), "");

  files::DeleteTempFile(h.errors, fs, path);
  EXPECT_FALSE(Exists(path));
  EXPECT_EQ(h.Reports(), 0u);
}

TEST(TempFile, UnusableTemporaryDirectoryGivesOneReportAndEmptyPath) {
  ReportHarness h;
  TempDir dir;
  RedirectedTempFileSystem fs(dir.File("removed") + "/");
  EXPECT_EQ(files::TempFileName(h.errors, fs), "");
  ASSERT_EQ(h.Reports(), 1u);
  EXPECT_NE(h.box.shown[0].prompt.find("No such file or directory"), std::string::npos);

  if (PermissionsAreEnforced()) {
    ::chmod(dir.path().c_str(), 0500);
    RedirectedTempFileSystem readOnly(dir.path() + "/");
    EXPECT_EQ(files::TempFileName(h.errors, readOnly), "");
    EXPECT_EQ(h.Reports(), 2u);
  }
}

TEST(TempFile, DeletingAMissingFileIsReportedOnceEmptyNameIsIgnored) {
  ReportHarness h;
  TempDir dir;
  PosixFileSystem fs;
  files::DeleteTempFile(h.errors, fs, "");
  EXPECT_EQ(h.Reports(), 0u);
  files::DeleteTempFile(h.errors, fs, dir.File("xmlgone.tmp"));
  ASSERT_EQ(h.Reports(), 1u);
  EXPECT_NE(h.box.shown[0].prompt.find("Run-time error '53'"), std::string::npos);
}

TEST(FixPath, JoinsWithExactlyOneSlash) {
  ReportHarness h;
  h.app.path = "/opt/tools/viewer";
  EXPECT_EQ(files::FixPath(h.errors, h.app, "yabxmlpellor.htm"), Variant(std::string("/opt/tools/viewer/yabxmlpellor.htm")));
  EXPECT_EQ(files::FixPath(h.errors, h.app, ""), Variant(std::string("/opt/tools/viewer/")));
  h.app.path = "/";
  EXPECT_EQ(files::FixPath(h.errors, h.app, "yabxmlpellor.htm"), Variant(std::string("/yabxmlpellor.htm")));
  h.app.path = "//server/share/tools";
  EXPECT_EQ(files::FixPath(h.errors, h.app, " a.htm"), Variant(std::string("//server/share/tools/ a.htm")));
  EXPECT_EQ(h.Reports(), 0u);
}

TEST(FixPath, FailureIsReportedAndGivesTheEmptyValue) {
  ReportHarness h;
  h.app.failPath = true;
  EXPECT_TRUE(IsEmpty(files::FixPath(h.errors, h.app, "yabxmlpellor.htm")));
  EXPECT_EQ(h.Reports(), 1u);
}

struct HomeCase {
  const char* path;
  const char* home;
  const char* expected;
};

class ExpandedHome : public ::testing::TestWithParam<HomeCase> {};

TEST_P(ExpandedHome, ReadsALeadingTildeAsAShellDoes) {
  const HomeCase& c = GetParam();
  EXPECT_EQ(files::ExpandHome(c.path, c.home), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExpandedHome,
    ::testing::Values(HomeCase{"~/work/doc.xml", "/home/ann", "/home/ann/work/doc.xml"},
                      HomeCase{"~", "/home/ann", "/home/ann"},
                      HomeCase{"~/x.xml", "/", "/x.xml"},
                      HomeCase{"~bob/x.xml", "/home/ann", "~bob/x.xml"},
                      HomeCase{"/data/~/x.xml", "/home/ann", "/data/~/x.xml"},
                      HomeCase{"~/x.xml", "", "~/x.xml"}));

}  // namespace
}  // namespace xmlpellor::test
