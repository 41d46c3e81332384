// The XSLT engine's own process, for real: what a fault of the libraries, a
// memory bomb, a read outside the job and a stop in each phase come to. The
// figures printed are for reading; nothing here asserts a time.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "../transform/TestData.h"
#include "Tool.h"
#include "platform/RuntimeError.h"
#include "platform/Worker.h"

namespace xmlpellor::test {
namespace {

using ::testing::HasSubstr;
using Clock = std::chrono::steady_clock;

constexpr const char* kHead =
    "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform' "
    "xmlns:exsl='http://exslt.org/common' extension-element-prefixes='exsl'>";

struct EngineCase {
  const char* name;
  const char* stylesheet;  // whole; "{outside}" stands for a file outside the job
  std::uint64_t memoryLimit;
  bool allowOutside;
  const char* reported;  // a part of the report; null: none, and `shown` is the page
  const char* shown;
};

class Engine : public ::testing::TestWithParam<EngineCase> {};

TEST_P(Engine, EndsAsItShouldAndTheNextApplyWorks) {
  const EngineCase& c = GetParam();
#ifdef XMLPELLOR_UNDER_ASAN
  if (c.memoryLimit != 0) GTEST_SKIP() << "no memory limit under AddressSanitizer";
#endif
  TempDir job;
  TempDir outside;
  outside.Write("secret.xml", "<s>secret</s>");
  std::string xsl = c.stylesheet;
  if (const auto at = xsl.find("{outside}"); at != std::string::npos) {
    xsl.replace(at, 9, outside.File("secret.xml"));
  }
  job.Write("doc.xml", "<r/>");
  job.Write("s.xsl", xsl);
  PrivateTmp tmp;
  transform::EngineSettings settings;
  settings.memoryLimit = c.memoryLimit;
  if (c.allowOutside) settings.allowRead.push_back(outside.path());
  Tool tool(settings);

  const auto start = Clock::now();
  testing::internal::CaptureStderr();
  tool.Apply(job.File("doc.xml"), job.File("s.xsl"));
  testing::internal::GetCapturedStderr();
  const std::chrono::duration<double, std::milli> took = Clock::now() - start;
  std::printf("%s: %.0f ms from Apply to its end\n", c.name, took.count());

  if (c.reported != nullptr) {
    ASSERT_EQ(tool.Reports(), 1u);
    std::string expected = c.reported;
#ifdef XMLPELLOR_UNDER_ASAN
    // The sanitizer ends a crashed engine in its own way.
    if (expected.rfind("The XSLT engine", 0) == 0) expected = "The XSLT engine";
#endif
    EXPECT_THAT(tool.LastReport(), HasSubstr(expected));
  } else {
    EXPECT_EQ(tool.Reports(), 0u) << tool.LastReport();
    EXPECT_THAT(tool.Output(), HasSubstr(c.shown));
  }
  EXPECT_TRUE(tool.StillUsable());
  EXPECT_EQ(tmp.OutputFiles().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Engine,
    ::testing::Values(
        // libxslt 1.1.35 reads the document node as an element here.
        EngineCase{"crash",
                   "<html xsl:version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform' "
                   "xmlns:func='http://exslt.org/functions' xsl:extension-element-prefixes='func'>"
                   "<func:result select='1'/></html>",
                   0, false,
                   "The XSLT engine crashed (segmentation fault) while running this stylesheet.",
                   nullptr},
        // Doubles a tree forty times.
        EngineCase{"memory_bomb",
                   "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                   "<xsl:template match='/'><xsl:call-template name='d'><xsl:with-param name='n' select='0'/>"
                   "<xsl:with-param name='t'><a>xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx</a></xsl:with-param></xsl:call-template></xsl:template>"
                   "<xsl:template name='d'><xsl:param name='n'/><xsl:param name='t'/><xsl:choose>"
                   "<xsl:when test='$n &lt; 40'><xsl:call-template name='d'><xsl:with-param name='n' select='$n+1'/>"
                   "<xsl:with-param name='t'><xsl:copy-of select='$t'/><xsl:copy-of select='$t'/></xsl:with-param>"
                   "</xsl:call-template></xsl:when><xsl:otherwise>done</xsl:otherwise></xsl:choose></xsl:template>"
                   "</xsl:stylesheet>",
                   std::uint64_t{96} << 20, false,
                   "The transformation needed more than 96 MB of memory, the limit for one transformation",
                   nullptr},
        EngineCase{"document_outside_the_job",
                   "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                   "<xsl:template match='/'><xsl:value-of select=\"document('{outside}')\"/></xsl:template>"
                   "</xsl:stylesheet>",
                   0, false, "Refused: the transformation may not read", nullptr},
        EngineCase{"document_in_an_allowed_folder",
                   "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                   "<xsl:template match='/'><xsl:value-of select=\"document('{outside}')\"/></xsl:template>"
                   "</xsl:stylesheet>",
                   0, true, nullptr, "secret"}),
    [](const auto& info) { return std::string(info.param.name); });

// The files a stylesheet writes beside its output, through the engine's own
// process: where each href lands, what is refused and the limits.
struct WrittenCase {
  const char* name;
  std::string body;  // of the template for '/'; "{outside}" is a folder outside the job
  std::vector<std::pair<std::string, std::string>> written;  // path, a part of its bytes
  const char* failure;                                       // a part of the error; null: none
  std::uint64_t maxDocuments = xml::kDefaultMaxOutputDocuments;
  std::uint64_t maxDocumentBytes = xml::kDefaultMaxOutputBytes;
};

class WrittenFiles : public ::testing::TestWithParam<WrittenCase> {};

std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    names.push_back(entry.path().lexically_relative(folder).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST_P(WrittenFiles, ComeBackWithTheOutputAndNothingReachesTheDisk) {
  const WrittenCase& c = GetParam();
  TempDir job;
  TempDir outside;
  std::string body = c.body;
  for (auto at = body.find("{outside}"); at != std::string::npos; at = body.find("{outside}")) {
    body.replace(at, 9, outside.path());
  }
  job.Write("doc.xml", "<r><i>1</i><i>2</i><i>3</i><i>4</i><i>5</i></r>");
  job.Write("s.xsl", std::string(kHead) + "<xsl:template match='/'>" + body +
                         "<main/></xsl:template></xsl:stylesheet>");
  PosixProcessLauncher launcher;
  transform::HelperEngine engine(launcher, EngineProgram(), {});
  BlockingWorker worker;
  transform::PrintedMessages events;
  transform::JobRequest request{job.File("doc.xml"), job.File("s.xsl"), {}, false,
                                engine.PolicyFor(job.File("doc.xml"), job.File("s.xsl"))};
  request.maxDocuments = c.maxDocuments;
  request.maxDocumentBytes = c.maxDocumentBytes;
  transform::JobResult result;
  testing::internal::CaptureStderr();
  try {
    worker.Run([&] { result = engine.Run(request, events); });
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(c.failure, nullptr) << "the job succeeded";
  } catch (const RuntimeError& e) {
    testing::internal::GetCapturedStderr();
    ASSERT_NE(c.failure, nullptr) << e.what();
    EXPECT_THAT(e.what(), HasSubstr(c.failure));
  }
  if (c.failure == nullptr) {
    EXPECT_THAT(result.output, HasSubstr("<main"));
    ASSERT_EQ(result.documents.size(), c.written.size());
    for (std::size_t i = 0; i < c.written.size(); ++i) {
      EXPECT_EQ(result.documents[i].path, c.written[i].first);
      EXPECT_THAT(result.documents[i].bytes, HasSubstr(c.written[i].second)) << c.written[i].first;
    }
  }
  EXPECT_EQ(Listing(job.path()), (std::vector<std::string>{"doc.xml", "s.xsl"}));
  EXPECT_TRUE(Listing(outside.path()).empty());
}

const std::string kFiveFiles =
    "<xsl:for-each select='//i'><exsl:document href='f{.}.html'><p/></exsl:document></xsl:for-each>";

INSTANTIATE_TEST_SUITE_P(
    Rows, WrittenFiles,
    ::testing::Values(
        WrittenCase{"relative", "<exsl:document href='a.html'><p>A</p></exsl:document>",
                    {{"a.html", "<p>A</p>"}}, nullptr},
        WrittenCase{"subfolder", "<exsl:document href='parts/b.html'><p>B</p></exsl:document>",
                    {{"parts/b.html", "<p>B</p>"}}, nullptr},
        // The inner one is done first, and resolves beside the outer one.
        WrittenCase{"nested",
                    "<exsl:document href='parts/one.html'><p>1</p>"
                    "<exsl:document href='two.html'><p>2</p></exsl:document></exsl:document>",
                    {{"parts/two.html", "<p>2</p>"}, {"parts/one.html", "<p>1</p>"}}, nullptr},
        WrittenCase{"written_twice",
                    "<exsl:document href='a.html'><p>old</p></exsl:document>"
                    "<exsl:document href='b.html'><p>B</p></exsl:document>"
                    "<exsl:document href='a.html'><p>new</p></exsl:document>",
                    {{"a.html", "new"}, {"b.html", "B"}}, nullptr},
        // The bytes are as the instruction asked, for the set to be saved.
        WrittenCase{"own_encoding",
                    "<exsl:document href='l.html' method='html' encoding='ISO-8859-1'>"
                    "<p>caf&#233;</p></exsl:document>",
                    {{"l.html", "caf\xE9"}}, nullptr},
        WrittenCase{"dot_dot", "<exsl:document href='../x.html'><p/></exsl:document>", {},
                    "may not write files outside the folder of its output (../x.html)"},
        WrittenCase{"absolute", "<exsl:document href='{outside}/x.html'><p/></exsl:document>", {},
                    "may not write files outside the folder of its output (/"},
        WrittenCase{"file_url", "<exsl:document href='file://{outside}/x.html'><p/></exsl:document>",
                    {}, "may not write files outside the folder of its output (file://"},
        WrittenCase{"http_url",
                    "<exsl:document href='http://127.0.0.1:9/x.html'><p/></exsl:document>", {},
                    "(http://127.0.0.1:9/x.html)"},
        WrittenCase{"too_many_files", kFiveFiles, {}, "wrote more than 3 files", 3},
        WrittenCase{"too_many_bytes", kFiveFiles, {}, "more than 100 bytes into its files",
                    xml::kDefaultMaxOutputDocuments, 100}),
    [](const auto& info) { return std::string(info.param.name); });

// Stops the job a little after it has entered `phase`, from another thread,
// as Esc does.
class StopIn final : public transform::JobEvents {
 public:
  StopIn(transform::JobPhase phase, StopToken& token) : m_phase(phase), m_token(token) {}
  ~StopIn() override {
    if (m_stopper.joinable()) m_stopper.join();
  }
  void Phase(transform::JobPhase phase) override {
    if (phase != m_phase || m_stopper.joinable()) return;
    m_stopper = std::thread([this] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      stopped = Clock::now();
      m_token.RequestStop();
    });
  }
  Clock::time_point stopped{};

 private:
  transform::JobPhase m_phase;
  StopToken& m_token;
  std::thread m_stopper;
};

struct StopCase {
  const char* name;
  transform::JobPhase phase;
  long items;            // in the document
  const char* body;      // of the stylesheet
  int templates;         // extra templates, to make compiling long
};

class StopPhaseOfTheEngine : public ::testing::TestWithParam<StopCase> {};

TEST_P(StopPhaseOfTheEngine, EndsTheProcessAtOnce) {
  const StopCase& c = GetParam();
  TempDir dir;
  {
    std::ofstream xml(dir.File("doc.xml"));
    xml << "<r>";
    for (long i = 0; i < c.items; ++i) xml << "<i n=\"" << i << "\">item " << i << "</i>\n";
    xml << "</r>";
    std::ofstream xsl(dir.File("s.xsl"));
    xsl << kHead << c.body;
    for (int i = 0; i < c.templates; ++i) {
      xsl << "<xsl:template name='t" << i << "'><p><xsl:value-of select='count(//i[@n=" << i
          << "])'/></p></xsl:template>\n";
    }
    xsl << "</xsl:stylesheet>";
  }
  PosixProcessLauncher launcher;
  transform::HelperEngine engine(launcher, EngineProgram(), {});
  BlockingWorker worker;
  StopIn events(c.phase, worker.Token());
  transform::JobRequest request{dir.File("doc.xml"), dir.File("s.xsl"), {}, false,
                                engine.PolicyFor(dir.File("doc.xml"), dir.File("s.xsl"))};
  try {
    worker.Run([&] { engine.Run(request, events); });
    FAIL() << "the job ran to its end";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kUserInterrupt) << e.what();
  }
  const std::chrono::duration<double, std::milli> latency = Clock::now() - events.stopped;
  std::printf("stop while %s: %.1f ms from the stop to the end of the job\n", c.name, latency.count());
}

INSTANTIATE_TEST_SUITE_P(
    Slow, StopPhaseOfTheEngine,
    ::testing::Values(
        StopCase{"reading", transform::JobPhase::kReadingDocument, 3000000,
                 "<xsl:template match='/'><xsl:value-of select='count(//i)'/></xsl:template>", 0},
        StopCase{"compiling", transform::JobPhase::kCompiling, 1,
                 "<xsl:template match='/'>x</xsl:template>", 150000},
        StopCase{"one_xpath_expression", transform::JobPhase::kTransforming, 60000,
                 "<xsl:template match='/'><xsl:value-of select='count(//i[@n = //i/@n])'/></xsl:template>", 0},
        StopCase{"template_loop", transform::JobPhase::kTransforming, 60000,
                 "<xsl:variable name='all' select='//i'/><xsl:template match='/'><xsl:for-each select='$all'>"
                 "<xsl:for-each select='$all'><xsl:if test='false()'><x/></xsl:if></xsl:for-each>"
                 "</xsl:for-each></xsl:template>", 0},
        StopCase{"writing", transform::JobPhase::kWriting, 200000,
                 "<xsl:output indent='yes'/><xsl:template match='/'><o><xsl:for-each select='//i'>"
                 "<xsl:copy-of select='.'/><xsl:copy-of select='.'/></xsl:for-each></o></xsl:template>", 0}),
    [](const auto& info) { return std::string(info.param.name); });

// The window starts the next engine from the thread of the job before,
// which ends right after; the engine must not go with that thread.
// Counts the engines started, so that one replaced unseen is seen here.
struct CountingLauncher final : IProcessLauncher {
  PosixProcessLauncher real;
  std::atomic<int> starts{0};
  std::unique_ptr<IHelperProcess> Start(const HelperCommand& command) override {
    ++starts;
    return real.Start(command);
  }
};

TEST(PreparedEngine, OutlivesTheThreadThatStartedIt) {
  CountingLauncher launcher;
  transform::HelperEngine engine(launcher, EngineProgram(), {});
  const transform::JobRequest request{
      DataPath("parse_errors/good.xml"), DataPath("parse_errors/good.xsl"), {}, false,
      engine.PolicyFor(DataPath("parse_errors/good.xml"), DataPath("parse_errors/good.xsl"))};
  for (int round = 0; round < 5; ++round) {
    // Long enough for the engine to be up and waiting before the thread ends.
    std::thread([&engine] {
      engine.Prepare();
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }).join();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    transform::JobEvents quiet;
    BlockingWorker worker;
    transform::JobResult result;
    worker.Run([&] { result = engine.Run(request, quiet); });
    EXPECT_EQ(result.output, "ok") << "round " << round;
  }
  // One for each job, each prepared by the thread of the job before (the
  // first by the thread above), and the one waiting for the next.
  EXPECT_EQ(launcher.starts.load(), 6) << "a prepared engine died and was replaced";
}

// Says on a pipe once the engine's job is transforming.
class TellsWhenTransforming final : public transform::JobEvents {
 public:
  explicit TellsWhenTransforming(int fd) : m_fd(fd) {}
  void Phase(transform::JobPhase phase) override {
    if (phase != transform::JobPhase::kTransforming) return;
    [[maybe_unused]] const ssize_t n = ::write(m_fd, "t", 1);
  }

 private:
  int m_fd;
};

// A window killed outright (no handler runs) takes both its engines with it:
// the one running a job and the one waiting for the next.
TEST(PreparedEngine, GoesWithAWindowKilledWhileOneRunsAndOneWaits) {
  TempDir dir;
  {
    std::ofstream xml(dir.File("doc.xml"));
    xml << "<r>";
    for (int i = 0; i < 60000; ++i) xml << "<i n=\"" << i << "\"/>";
    xml << "</r>";
  }
  dir.Write("s.xsl", std::string(kHead) +
                         "<xsl:variable name='all' select='//i'/><xsl:template match='/'>"
                         "<xsl:for-each select='$all'><xsl:for-each select='$all'>"
                         "<xsl:if test='false()'><x/></xsl:if></xsl:for-each></xsl:for-each>"
                         "</xsl:template></xsl:stylesheet>");
  // Orphaned engines come to this process, so their end can be seen.
  ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  std::fflush(nullptr);
  const pid_t window = ::fork();
  ASSERT_GE(window, 0);
  if (window == 0) {
    ::close(ready[0]);
    PosixProcessLauncher launcher;
    transform::HelperEngine engine(launcher, EngineProgram(), {});
    int transforming[2];
    if (::pipe(transforming) != 0) ::_exit(1);
    TellsWhenTransforming events(transforming[1]);
    const transform::JobRequest request{dir.File("doc.xml"),
                                        dir.File("s.xsl"),
                                        {},
                                        false,
                                        engine.PolicyFor(dir.File("doc.xml"), dir.File("s.xsl"))};
    std::thread job([&] {
      BlockingWorker worker;
      try {
        worker.Run([&] { engine.Run(request, events); });
      } catch (...) {
      }
    });
    char said = 0;
    if (::read(transforming[0], &said, 1) != 1) ::_exit(1);
    // The job has its engine; this one waits for the next job.
    engine.Prepare();
    [[maybe_unused]] const ssize_t n = ::write(ready[1], "r", 1);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char said = 0;
  ASSERT_EQ(::read(ready[0], &said, 1), 1) << "the job never started transforming";
  ::close(ready[0]);
  std::vector<pid_t> engines;
  const auto asked = Clock::now();
  while (engines.size() < 2 && Clock::now() - asked < std::chrono::seconds(30)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    engines = ChildrenOf(window);
  }
  ::kill(window, SIGKILL);
  ::waitpid(window, nullptr, 0);
  const auto killed = Clock::now();
  ASSERT_EQ(engines.size(), 2u) << "the window had " << engines.size() << " engines";
  for (const pid_t engine : engines) {
    int status = 0;
    while (::waitpid(engine, &status, WNOHANG) == 0 && Clock::now() - killed < std::chrono::seconds(30)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const std::chrono::duration<double, std::milli> took = Clock::now() - killed;
    std::printf("engine %d gone %.0f ms after its window was killed\n", engine, took.count());
    EXPECT_EQ(::kill(engine, 0), -1) << "engine " << engine << " outlived its window";
  }
  ::prctl(PR_SET_CHILD_SUBREAPER, 0);
}

}  // namespace
}  // namespace xmlpellor::test
