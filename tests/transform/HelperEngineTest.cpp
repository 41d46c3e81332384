// The window's side of the XSLT engine's process, with a process that plays
// back what a test tells it: how each way a helper can end is told to the
// user, and how the next helper is always ready.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>

#include "platform/RuntimeError.h"
#include "platform/Worker.h"
#include "support/ProcessFakes.h"
#include "transform/Engine.h"
#include "transform/JobWire.h"

namespace xmlpellor::test {
namespace {

using ::testing::HasSubstr;
using transform::wire::Tag;
using transform::wire::Writer;

class Heard final : public transform::JobEvents {
 public:
  std::vector<std::string> said;
  void Phase(transform::JobPhase phase) override { said.push_back("phase " + std::to_string(int(phase))); }
  void Message(const std::string& line) override { said.push_back("message " + line); }
  void Reading(const std::string& path) override { said.push_back("reading " + path); }
};

struct EndingCase {
  const char* name;
  std::vector<std::string> messages;
  ExitStatus ending;
  const char* result;    // the output, when the job ran to its end
  const char* reported;  // a part of the error's description otherwise
};

class HelperEnding : public ::testing::TestWithParam<EndingCase> {};

TEST_P(HelperEnding, IsToldAsItShouldBe) {
  const EndingCase& c = GetParam();
  FakeProcessLauncher launcher;
  launcher.script = {c.messages, c.ending, "hello world", nullptr};
  transform::HelperEngine engine(launcher, "engine", {std::uint64_t{1} << 20, {}, false});
  Heard heard;
  try {
    const transform::JobResult result = engine.Run({"/d/a.xml", "/d/s.xsl", {}, false, false, {}}, heard);
    ASSERT_NE(c.result, nullptr) << "no error";
    EXPECT_EQ(result.output, c.result);
  } catch (const RuntimeError& e) {
    ASSERT_NE(c.reported, nullptr) << e.what();
    EXPECT_THAT(e.record().description, HasSubstr(c.reported));
  }
  // The next job's process is started as soon as this one has ended.
  EXPECT_EQ(launcher.starts, 2);
}

std::string Failed() {
  return transform::wire::EncodeError({err::kObjectVariableNotSet, "Object variable not set", "XMLPellor", {}, 0});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HelperEnding,
    ::testing::Values(
        EndingCase{"output", {Writer(Tag::kOutput).Number(0).Number(5).Text("UTF-8").Bytes()}, {}, "hello", nullptr},
        EndingCase{"its_error", {Failed()}, {}, nullptr, "Object variable not set"},
        EndingCase{"crash", {}, {0, SIGSEGV}, nullptr,
                   "The XSLT engine crashed (segmentation fault) while running this stylesheet."},
        EndingCase{"abort", {}, {0, SIGABRT}, nullptr, "crashed (aborted)"},
        EndingCase{"killed_by_the_system", {}, {0, SIGKILL}, nullptr, "ended by the system (killed)"},
        // The limit tells a memory bomb from a fault, however the process ends.
        EndingCase{"over_the_limit", {Writer(Tag::kOverLimit).Bytes()}, {0, SIGABRT}, nullptr,
                   "needed more than 1 MB of memory, the limit for one transformation"},
        EndingCase{"no_answer", {}, {3, 0}, nullptr, "ended without a result (exit status 3)"},
        EndingCase{"garbled", {"\x07\x01"}, {}, nullptr, "cannot be read"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HelperEngine, SendsTheJobWithItsFoldersAndLimitAndPassesOnWhatTheHelperSays) {
  FakeProcessLauncher launcher;
  launcher.script.messages = {Writer(Tag::kPhase).Number(2).Bytes(),
                              Writer(Tag::kReading).Text("/d/inc.xsl").Bytes(),
                              Writer(Tag::kMessage).Text("hi").Bytes(),
                              Writer(Tag::kOutput).Number(0).Number(0).Text("UTF-8").Bytes()};
  transform::HelperEngine engine(launcher, "engine", {std::uint64_t{1} << 30, {"/opt/data"}, false});
  engine.Prepare();
  engine.Prepare();  // one is ready already
  Heard heard;
  engine.Run({"/d/a.xml", "/d/s.xsl", {"p", "v"}, false, false, {}}, heard);
  EXPECT_EQ(heard.said, (std::vector<std::string>{"phase 2", "reading /d/inc.xsl", "message hi"}));
  ASSERT_EQ(launcher.records[0].sent.size(), 1u);
  const auto sent = transform::wire::DecodeRequest(launcher.records[0].sent[0]);
  EXPECT_EQ(sent.memoryLimit, std::uint64_t{1} << 30);
  EXPECT_TRUE(sent.job.restrictReads);
  EXPECT_EQ(sent.job.params, (std::vector<std::string>{"p", "v"}));
  EXPECT_EQ(sent.job.readableFolders, engine.ReadableFolders("/d/a.xml", "/d/s.xsl"));
  EXPECT_EQ(launcher.starts, 2);
}

TEST(HelperEngine, AStopKillsTheHelperAndEndsTheJobAsTheUsersChoice) {
  FakeProcessLauncher launcher;
  BlockingWorker worker;
  launcher.script.onFirstReceive = [&] { worker.Token().RequestStop(); };
  launcher.script.messages = {Writer(Tag::kOutput).Number(0).Number(0).Text("UTF-8").Bytes()};
  transform::HelperEngine engine(launcher, "engine", {});
  Heard heard;
  try {
    worker.Run([&] { engine.Run({"/d/a.xml", "/d/s.xsl", {}, false, false, {}}, heard); });
    FAIL() << "not stopped";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kUserInterrupt);
  }
  EXPECT_TRUE(launcher.records[0].killed);
  EXPECT_FALSE(launcher.records[1].killed);
}

}  // namespace
}  // namespace xmlpellor::test
