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
#include "wire/JobWire.h"

namespace xmlpellor::test {
namespace {

using ::testing::HasSubstr;
using wire::Tag;
using wire::Writer;

class Heard final : public transform::JobEvents {
 public:
  std::vector<std::string> said;
  void Phase(transform::JobPhase phase) override { said.push_back("phase " + std::to_string(int(phase))); }
  void Message(const std::string& line) override { said.push_back("message " + line); }
  void Reading(const std::string& path) override { said.push_back("reading " + path); }
  void Parameters(const std::vector<xml::DeclaredParameter>& declared) override {
    for (const auto& p : declared) said.push_back("parameter " + p.name + "=" + p.defaultText);
  }
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
    const transform::JobResult result = engine.Run({"/d/a.xml", "/d/s.xsl", {}, false, {}}, heard);
    ASSERT_NE(c.result, nullptr) << "no error";
    EXPECT_EQ(result.output, c.result);
  } catch (const RuntimeError& e) {
    ASSERT_NE(c.reported, nullptr) << e.what();
    EXPECT_THAT(e.record().description, HasSubstr(c.reported));
  }
  // The next job's process is started as soon as this one has ended.
  EXPECT_EQ(launcher.starts, 2);
}

// What every engine says first, once it has the job.
std::string Confined() { return Writer(Tag::kConfined).Text("confinement: test").Bytes(); }

std::string Failed() {
  return wire::Encode(wire::Failed{{err::kObjectVariableNotSet, "Object variable not set", "XMLPellor", {}, 0}});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HelperEnding,
    ::testing::Values(
        EndingCase{"output", {Writer(Tag::kOutput).Number(0).Number(5).Text("UTF-8").Bytes()}, {}, "hello", nullptr},
        EndingCase{"its_error", {Failed()}, {}, nullptr, "Object variable not set"},
        EndingCase{"crash", {Confined()}, {0, SIGSEGV}, nullptr,
                   "The XSLT engine crashed (segmentation fault) while running this stylesheet."},
        EndingCase{"abort", {Confined()}, {0, SIGABRT}, nullptr, "crashed (aborted)"},
        // Out of memory is said only when the kernel's killer struck meanwhile.
        EndingCase{"killed_by_the_system", {Confined()}, {0, SIGKILL, false, true}, nullptr,
                   "ended by the system (killed) while running this stylesheet, most likely because "
                   "the machine ran out of memory"},
        EndingCase{"killed_by_another_process", {Confined()}, {0, SIGKILL}, nullptr,
                   "was killed by another process while running"},
        // The limit tells a memory bomb from a fault, however the process ends.
        EndingCase{"over_the_limit", {Writer(Tag::kOverLimit).Bytes()}, {0, SIGABRT}, nullptr,
                   "needed more than 1 MB of memory, the limit for one transformation"},
        EndingCase{"no_answer", {Confined()}, {3, 0}, nullptr, "ended without a result (exit status 3)"},
        EndingCase{"garbled", {"\x07\x01"}, {}, nullptr, "cannot be read"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HelperEngine, SendsTheJobWithItsFoldersAndLimitAndPassesOnWhatTheHelperSays) {
  FakeProcessLauncher launcher;
  launcher.script.messages = {Writer(Tag::kPhase).Number(2).Bytes(),
                              Writer(Tag::kReading).Text("/d/inc.xsl").Bytes(),
                              Writer(Tag::kMessage).Text("hi").Bytes(),
                              wire::Encode(wire::Parameters{{{"a", "'x'"}, {"b", ""}}}),
                              Writer(Tag::kOutput).Number(0).Number(0).Text("UTF-8").Bytes()};
  transform::HelperEngine engine(launcher, "engine", {std::uint64_t{1} << 30, {"/opt/data"}, false});
  engine.Prepare();
  engine.Prepare();  // one is ready already
  Heard heard;
  const std::vector<xml::GlobalParameter> globals{{"g", "it's \"", false}, {"x", "1 + 1", true}};
  const ReadPolicy reads = engine.PolicyFor("/d/a.xml", "/d/s.xsl");
  engine.Run({"/d/a.xml", "/d/s.xsl", {"p", "v"}, false, reads, globals}, heard);
  EXPECT_EQ(heard.said, (std::vector<std::string>{"phase 2", "reading /d/inc.xsl", "message hi",
                                                  "parameter a='x'", "parameter b="}));
  ASSERT_EQ(launcher.records[0].sent.size(), 1u);
  const auto sent = wire::DecodeRequest(launcher.records[0].sent[0]);
  EXPECT_EQ(sent.memoryLimit, std::uint64_t{1} << 30);
  EXPECT_EQ(sent.job.params, (std::vector<std::string>{"p", "v"}));
  EXPECT_EQ(sent.job.globals, globals);
  // The policy crosses as the window built it, the allowed folder and the
  // system's among its places.
  EXPECT_EQ(sent.job.reads, reads);
  EXPECT_THAT(reads.Places(), ::testing::Contains(ReadPlace{"/usr/share", true}));
  EXPECT_EQ(launcher.starts, 2);
}

struct ProfileCase {
  const char* name;
  wire::Instrument instrument;
  std::vector<std::string> messages;  // before the output
  const char* reported;               // nullptr: the profile arrives whole
};

class HelperProfile : public ::testing::TestWithParam<ProfileCase> {};

TEST_P(HelperProfile, ArrivesOnlyAsAsked) {
  const ProfileCase& c = GetParam();
  FakeProcessLauncher launcher;
  launcher.script.messages = c.messages;
  launcher.script.messages.push_back(Writer(Tag::kOutput).Number(0).Number(0).Text("UTF-8").Bytes());
  transform::HelperEngine engine(launcher, "engine", {});
  transform::JobRequest request{"/d/a.xml", "/d/s.xsl", {}, false, engine.PolicyFor("/d/a.xml", "/d/s.xsl")};
  request.instrument = c.instrument;
  Heard heard;
  try {
    const transform::JobResult result = engine.Run(request, heard);
    ASSERT_EQ(c.reported, nullptr) << "no error";
    EXPECT_EQ(wire::DecodeRequest(launcher.records[0].sent[0]).job.instrument, c.instrument);
    ASSERT_TRUE(result.profile.has_value());
    EXPECT_EQ(result.profile->compileMicros, 3u);
    ASSERT_EQ(result.profile->templates.size(), 1u);
    const xml::TemplateProfile& t = result.profile->templates[0];
    EXPECT_EQ(std::tie(t.match, t.name, t.mode, t.file, t.line, t.calls, t.selfMicros, t.totalMicros),
              std::make_tuple(std::string("item"), std::string(""), std::string("m"),
                              std::string("/d/s.xsl"), 12L, std::uint64_t{22}, std::uint64_t{5},
                              std::uint64_t{9}));
  } catch (const RuntimeError& e) {
    ASSERT_NE(c.reported, nullptr) << e.what();
    EXPECT_THAT(e.record().description, HasSubstr(c.reported));
  }
}

const std::string kTimes = wire::Encode(wire::ProfileTimes{{1, 2, 3, 4, {}}});
const std::string kTemplate =
    wire::Encode(wire::ProfileTemplate{{"item", "", "m", "/d/s.xsl", 12, 22, 5, 9}});

INSTANTIATE_TEST_SUITE_P(
    Cases, HelperProfile,
    ::testing::Values(
        ProfileCase{"asked", wire::Instrument::kProfile, {kTimes, kTemplate}, nullptr},
        ProfileCase{"unasked", wire::Instrument::kNone, {kTimes, kTemplate}, "unasked"},
        ProfileCase{"template_first", wire::Instrument::kProfile, {kTemplate, kTimes}, "out of place"}),
    [](const auto& info) { return std::string(info.param.name); });

// A prepared engine that died before its job, found so when the job takes it
// or when it ends without a word, is replaced once, unseen by the user.
struct DeadEngineCase {
  const char* name;
  FakeHelperProcess::Script first;
};

class PreparedEngineThatDied : public ::testing::TestWithParam<DeadEngineCase> {};

TEST_P(PreparedEngineThatDied, IsReplacedOnceAndTheJobRuns) {
  FakeProcessLauncher launcher;
  launcher.firstScripts = {GetParam().first};
  launcher.script.messages = {Confined(), Writer(Tag::kOutput).Number(0).Number(5).Text("UTF-8").Bytes()};
  launcher.script.output = "hello";
  transform::HelperEngine engine(launcher, "engine", {});
  engine.Prepare();
  Heard heard;
  EXPECT_EQ(engine.Run({"/d/a.xml", "/d/s.xsl", {}, false, {}}, heard).output, "hello");
  // The dead one, its replacement, and the next job's.
  EXPECT_EQ(launcher.starts, 3);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PreparedEngineThatDied,
    ::testing::Values(DeadEngineCase{"found_dead_when_taken", {{}, {0, SIGKILL}, "", nullptr, true}},
                      DeadEngineCase{"dies_before_a_word", {{}, {0, SIGKILL}, "", nullptr, false}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HelperEngine, GivesTheEngineAnEnvironmentOfItsOwn) {
  ::setenv("XMLPELLOR_TEST_TOKEN", "secret", 1);
  ::setenv("TZ", "Europe/Paris", 1);
  FakeProcessLauncher launcher;
  transform::HelperEngine engine(launcher, "engine", {});
  engine.Prepare();
  ::unsetenv("XMLPELLOR_TEST_TOKEN");
  ::unsetenv("TZ");
  const auto& environment = launcher.command.environment;
  EXPECT_THAT(environment, ::testing::Contains("TZ=Europe/Paris"));
  for (const std::string& variable : environment) {
    EXPECT_THAT(variable, ::testing::Not(HasSubstr("secret")));
    EXPECT_THAT(variable, ::testing::Not(::testing::StartsWith("HOME=")));
  }
}

// A stylesheet such as docbook-xsl declares about a thousand parameters;
// those that do not fit in one message are left out, not the message.
TEST(HelperEngine, AListOfParametersTooLongForOneMessageIsCut) {
  const std::vector<xml::DeclaredParameter> many(5000, {std::string(20, 'n'), std::string(40, 'd')});
  const std::string message = wire::Encode(wire::Parameters{many});
  EXPECT_LE(message.size(), kMaxChannelMessage);
  const auto heard = std::get<wire::Parameters>(wire::Decode(message)).declared;
  EXPECT_GT(heard.size(), 500u);
  EXPECT_LT(heard.size(), many.size());
  EXPECT_EQ(heard.front(), many.front());
}

TEST(HelperEngine, AStopKillsTheHelperAndEndsTheJobAsTheUsersChoice) {
  FakeProcessLauncher launcher;
  BlockingWorker worker;
  launcher.script.onFirstReceive = [&] { worker.Token().RequestStop(); };
  launcher.script.messages = {Writer(Tag::kOutput).Number(0).Number(0).Text("UTF-8").Bytes()};
  transform::HelperEngine engine(launcher, "engine", {});
  Heard heard;
  try {
    worker.Run([&] { engine.Run({"/d/a.xml", "/d/s.xsl", {}, false, {}}, heard); });
    FAIL() << "not stopped";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kUserInterrupt);
  }
  EXPECT_TRUE(launcher.records[0].killed);
  EXPECT_FALSE(launcher.records[1].killed);
}

}  // namespace
}  // namespace xmlpellor::test
