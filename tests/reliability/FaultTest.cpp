// Faults of the machine around the tool: a temporary folder that cannot be
// written or goes away, an output file that is tampered with between two
// presses, a full disk, a read-only program folder, a missing start page and
// an absurdly long path. Each is reported (or not) as the window's contract
// says, and the tool goes on working once the fault is gone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>

#include "../transform/TestData.h"
#include "Tool.h"
#include "error_handling/ErrorHandling.h"
#include "platform/Application.h"
#include "platform/Worker.h"
#include "support/TempDir.h"
#include "transform/Transform.h"

namespace xmlpellor::test {
namespace {

using ::testing::HasSubstr;
namespace stdfs = std::filesystem;

const std::string kGoodXml = DataPath("parse_errors/good.xml");
const std::string kGoodXsl = DataPath("parse_errors/good.xsl");

// --- the temporary folder -------------------------------------------------

TEST(TempFolder, MissingAtStartIsReportedOnceAndEveryPressReportsAgain) {
  PrivateTmp tmp;
  ::setenv("TMPDIR", (tmp.path() + "/gone").c_str(), 1);
  Tool tool;
  ASSERT_EQ(tool.Reports(), 1u);
  EXPECT_THAT(tool.LastReport(), HasSubstr("No such file or directory"));
  EXPECT_EQ(tool.frm.TempFile(), "");
  const std::size_t navigations = tool.wbr.navigations.size();
  for (int press = 1; press <= 2; ++press) {
    tool.Apply(kGoodXml, kGoodXsl);
    EXPECT_EQ(tool.Reports(), 1u + press);
  }
  EXPECT_EQ(tool.wbr.navigations.size(), navigations) << "the browser keeps its page";
}

TEST(TempFolder, UnwritableAtStartIsReportedOnceAndNothingIsWritten) {
  PrivateTmp tmp;
  ASSERT_EQ(::chmod(tmp.path().c_str(), 0555), 0);
  HandToChild(tmp.path());
  InChildProcess([&] {
    Tool tool;
    ASSERT_EQ(tool.Reports(), 1u);
    EXPECT_THAT(tool.LastReport(), HasSubstr("Permission denied"));
    EXPECT_EQ(tool.frm.TempFile(), "");
    tool.Apply(kGoodXml, kGoodXsl);
    EXPECT_EQ(tool.Reports(), 2u);
    EXPECT_TRUE(tmp.OutputFiles().empty());
  }, true);
}

TEST(TempFolder, RemovedWhileRunningIsReportedAndRecoveredFrom) {
  PrivateTmp tmp;
  Tool tool;
  ASSERT_EQ(tool.Reports(), 0u);
  tool.Apply(kGoodXml, kGoodXsl);
  stdfs::remove_all(tmp.path());

  const std::size_t navigations = tool.wbr.navigations.size();
  tool.Apply(kGoodXml, kGoodXsl);
  // The delete and then the write fail, each with its own report.
  ASSERT_EQ(tool.Reports(), 2u);
  EXPECT_THAT(tool.h.box.shown[0].prompt, HasSubstr("No such file or directory"));
  EXPECT_THAT(tool.h.box.shown[1].prompt, HasSubstr("No such file or directory"));
  EXPECT_EQ(tool.wbr.navigations.size(), navigations) << "the browser keeps its page";

  // Once the folder is back the file is written again under the same name.
  ASSERT_TRUE(stdfs::create_directory(tmp.path()));
  tool.Apply(kGoodXml, kGoodXsl);
  EXPECT_EQ(tool.Reports(), 3u) << "the file to delete is still missing";
  EXPECT_TRUE(tool.Shown(navigations));
  EXPECT_EQ(tool.Output(), "ok");
  EXPECT_TRUE(tool.StillUsable());
}

TEST(TempFolder, MadeReadOnlyWhileRunningStillGetsTheResult) {
  PrivateTmp tmp;
  HandToChild(tmp.path());
  InChildProcess([&] {
    Tool tool;
    ASSERT_EQ(tool.Reports(), 0u);
    ASSERT_EQ(::chmod(tmp.path().c_str(), 0555), 0);
    const std::size_t navigations = tool.wbr.navigations.size();
    tool.Apply(kGoodXml, kGoodXsl);
    // The file cannot go, but it is the program's own and is rewritten.
    ASSERT_EQ(tool.Reports(), 1u);
    EXPECT_THAT(tool.LastReport(), HasSubstr("Permission denied"));
    EXPECT_TRUE(tool.Shown(navigations));
    EXPECT_EQ(tool.Output(), "ok");
    ASSERT_EQ(::chmod(tmp.path().c_str(), 0755), 0);
    EXPECT_TRUE(tool.StillUsable());
  }, true);
}

// --- the output file between two presses ----------------------------------

TEST(OutputFile, DeletedFromOutsideIsReportedOnceAndWrittenAnew) {
  PrivateTmp tmp;
  Tool tool;
  tool.Apply(kGoodXml, kGoodXsl);
  ASSERT_EQ(::unlink(tool.frm.TempFile().c_str()), 0);
  const std::size_t navigations = tool.wbr.navigations.size();
  tool.Apply(kGoodXml, kGoodXsl);
  ASSERT_EQ(tool.Reports(), 1u);
  EXPECT_THAT(tool.LastReport(), HasSubstr("No such file or directory"));
  EXPECT_TRUE(tool.Shown(navigations));
  EXPECT_EQ(tool.Output(), "ok");
  EXPECT_TRUE(tool.StillUsable());
}

TEST(OutputFile, ReplacedByAFolderIsReportedAndTheFolderLeftAlone) {
  PrivateTmp tmp;
  Tool tool;
  tool.Apply(kGoodXml, kGoodXsl);
  const std::string path = tool.frm.TempFile();
  ASSERT_EQ(::unlink(path.c_str()), 0);
  ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
  std::ofstream(path + "/keep.txt") << "someone's file";

  const std::size_t navigations = tool.wbr.navigations.size();
  tool.Apply(kGoodXml, kGoodXsl);
  ASSERT_EQ(tool.Reports(), 2u);  // the delete, then the write
  EXPECT_THAT(tool.h.box.shown[0].prompt, HasSubstr("Is a directory"));
  EXPECT_THAT(tool.h.box.shown[1].prompt, HasSubstr("Is a directory"));
  EXPECT_EQ(tool.wbr.navigations.size(), navigations) << "the browser keeps its page";
  EXPECT_EQ(ReadFile(path + "/keep.txt"), "someone's file");

  stdfs::remove_all(path);
  tool.Apply(kGoodXml, kGoodXsl);
  EXPECT_EQ(tool.Reports(), 3u) << "the file to delete is missing once";
  EXPECT_EQ(tool.Output(), "ok");
  EXPECT_TRUE(tool.StillUsable());
}

TEST(OutputFile, MadeReadOnlyIsReplacedWithoutAReport) {
  PrivateTmp tmp;
  HandToChild(tmp.path());
  InChildProcess([&] {
    Tool tool;
    tool.Apply(kGoodXml, kGoodXsl);
    ASSERT_EQ(::chmod(tool.frm.TempFile().c_str(), 0400), 0);
    // Deleting needs the folder's permission, not the file's; the new file
    // is the program's own again.
    EXPECT_TRUE(tool.StillUsable());
    struct stat info {};
    ASSERT_EQ(::stat(tool.frm.TempFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
  }, true);
}

// --- a full disk -------------------------------------------------------------

// A document and a stylesheet whose result is larger than the file-size
// limit the child sets.
struct BigResult {
  TempDir dir;
  std::string xml, xsl;
  BigResult() {
    std::string doc = "<doc>";
    for (int i = 0; i < 2000; ++i) doc += "<i>" + std::to_string(i) + " ..................................................</i>";
    dir.Write("big.xml", doc + "</doc>");
    dir.Write("text.xsl",
              "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
              "<xsl:output method=\"text\"/><xsl:template match=\"/\"><xsl:value-of select=\"/\"/>"
              "</xsl:template></xsl:stylesheet>");
    xml = dir.File("big.xml");
    xsl = dir.File("text.xsl");
  }
};

constexpr rlim_t kFileSizeLimit = 16 * 1024;

void LimitFileSize(rlim_t bytes) {
  rlimit limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
  limit.rlim_cur = bytes;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
}

TEST(DiskFull, AWriteBeyondTheLimitIsReportedAndTheToolGoesOn) {
  PrivateTmp tmp;
  const BigResult big;
  InChildProcess([&] {
    IgnoreFileSizeLimitSignal();  // as the program does at start-up
    Tool tool;
    LimitFileSize(kFileSizeLimit);
    const std::size_t navigations = tool.wbr.navigations.size();
    tool.Apply(big.xml, big.xsl);
    ASSERT_EQ(tool.Reports(), 1u);
    EXPECT_THAT(tool.LastReport(), HasSubstr("File too large"));
    EXPECT_EQ(tool.wbr.navigations.size(), navigations) << "the browser keeps its page";
    EXPECT_EQ(tmp.OutputFiles().size(), 1u);

    LimitFileSize(RLIM_INFINITY);
    EXPECT_TRUE(tool.StillUsable());
    tool.Apply(big.xml, big.xsl);
    EXPECT_EQ(tool.Reports(), 1u);
    EXPECT_GT(tool.Output().size(), kFileSizeLimit);
  }, false);
}

// Why the program ignores the signal: left at its default, the same write
// ends the whole process, with no report and no log entry.
TEST(DiskFull, WithTheSignalAtItsDefaultTheWriteWouldKillTheProcess) {
  PrivateTmp tmp;
  const BigResult big;
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_DFL);
    Tool tool;
    LimitFileSize(kFileSizeLimit);
    tool.Apply(big.xml, big.xsl);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
}

// --- the program's folder and its start page ------------------------------

// The real application object's log, in a folder of the test's choosing.
class LogIn final : public IApplication {
 public:
  explicit LogIn(std::string folder) : m_folder(std::move(folder)) {}
  std::string Title() const override { return m_real.Title(); }
  std::string Path() const override { return m_folder; }
  std::int32_t LogMode() const override { return m_real.LogMode(); }
  void StartLogging(const std::string& target, std::int32_t mode) override {
    m_real.StartLogging(target, mode);
  }
  void LogEvent(const std::string& text, std::int32_t type) override { m_real.LogEvent(text, type); }

 private:
  Application m_real;
  std::string m_folder;
};

TEST(ProgramFolder, ReadOnlyLosesTheLogButStillShowsTheBox) {
  for (const bool readOnly : {false, true}) {
    SCOPED_TRACE(readOnly ? "read-only" : "writable");
    TempDir folder;
    HandToChild(folder.path());
    ASSERT_EQ(::chmod(folder.path().c_str(), readOnly ? 0555 : 0755), 0);
    InChildProcess([&] {
      LogIn app(folder.path());
      RecordingMessageBox box;
      FixedClock clock;
      ErrorHandling errors(app, box, clock);
      BlockingWorker worker;
      InProcessEngine engine;
      const Variant result = transform::CreateHTMLFromXMLXSL(
          errors, worker, engine, kGoodXml, DataPath("safety/terminate.xsl"), Variant{});
      EXPECT_TRUE(IsEmpty(result));
      ASSERT_EQ(box.shown.size(), 1u);
      EXPECT_THAT(box.shown[0].prompt, HasSubstr("was stopped"));
      const std::string log = folder.File("Yab Xml Pellor.log");
      if (readOnly) {
        EXPECT_FALSE(Exists(log));
      } else {
        EXPECT_THAT(ReadFile(log), HasSubstr("was stopped"));
      }
    }, true);
  }
}

TEST(ProgramFolder, AMissingStartPageIsNoErrorOfTheProgram) {
  PrivateTmp tmp;
  TempDir folder;  // holds no yabxmlpellor.htm
  Tool fresh;  // loaded from the default folder: load again from the empty one
  std::int16_t cancel = 0;
  fresh.frm.Form_Unload(cancel);
  fresh.h.app.path = folder.path();
  fresh.wbr.navigations.clear();
  fresh.frm.Form_Load();
  ASSERT_FALSE(fresh.wbr.navigations.empty());
  EXPECT_EQ(fresh.wbr.navigations.front(), folder.File("yabxmlpellor.htm"));
  EXPECT_EQ(fresh.Reports(), 0u);
  EXPECT_FALSE(fresh.frm.TempFile().empty());
  EXPECT_TRUE(fresh.StillUsable());
}

// --- the path boxes -----------------------------------------------------------

TEST(PathBox, AHundredThousandCharactersGiveTheParseErrorText) {
  PrivateTmp tmp;
  Tool tool;
  const std::string longPath(100000, 'a');
  const std::size_t navigations = tool.wbr.navigations.size();
  tool.Apply(longPath, kGoodXsl);
  EXPECT_EQ(tool.Reports(), 0u);
  EXPECT_TRUE(tool.Shown(navigations));
  EXPECT_EQ(tool.Output(), "Error in line 0 of " + longPath +
                               "<br />The file cannot be opened: File name too long.");

  tool.Apply(kGoodXml, "/" + longPath);
  EXPECT_EQ(tool.Reports(), 0u);
  EXPECT_THAT(tool.Output(), HasSubstr("of /" + longPath + "<br />"));

  // Spaces around a good path are trimmed however many there are.
  const std::string padding(50000, ' ');
  tool.Apply(padding + kGoodXml + padding, padding + kGoodXsl + padding);
  EXPECT_EQ(tool.Reports(), 0u);
  EXPECT_EQ(tool.Output(), "ok");
}

}  // namespace
}  // namespace xmlpellor::test
