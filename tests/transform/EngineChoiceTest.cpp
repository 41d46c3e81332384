// Which engine a stylesheet runs in: the version its root declares, read
// alone and under the job's read policy, and what --xslt-engine overrides.
#include <gtest/gtest.h>

#include <string>

#include "platform/ReadPolicy.h"
#include "support/ProcessFakes.h"
#include "support/TempDir.h"
#include "transform/EngineChoice.h"

namespace xmlpellor::test {
namespace {

using transform::XsltEngine;

struct VersionCase {
  const char* name;
  const char* version;
  XsltEngine choice;
  XsltEngine runs;
};

class EngineForVersion : public ::testing::TestWithParam<VersionCase> {};

TEST_P(EngineForVersion, IsSaxonFromTwoOnUnlessNamed) {
  const VersionCase& c = GetParam();
  EXPECT_EQ(transform::EngineFor(c.choice, c.version), c.runs);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EngineForVersion,
    ::testing::Values(
        VersionCase{"one", "1.0", XsltEngine::kAuto, XsltEngine::kLibxslt},
        VersionCase{"two", "2.0", XsltEngine::kAuto, XsltEngine::kSaxon},
        VersionCase{"three", "3.0", XsltEngine::kAuto, XsltEngine::kSaxon},
        VersionCase{"three_spaced", " 3.0 ", XsltEngine::kAuto, XsltEngine::kSaxon},
        VersionCase{"plain_two", "2", XsltEngine::kAuto, XsltEngine::kSaxon},
        VersionCase{"four", "4.0", XsltEngine::kAuto, XsltEngine::kSaxon},
        VersionCase{"one_point_one", "1.1", XsltEngine::kAuto, XsltEngine::kLibxslt},
        VersionCase{"none", "", XsltEngine::kAuto, XsltEngine::kLibxslt},
        VersionCase{"no_number", "two", XsltEngine::kAuto, XsltEngine::kLibxslt},
        VersionCase{"number_and_words", "3.0 beta", XsltEngine::kAuto, XsltEngine::kLibxslt},
        VersionCase{"forced_libxslt", "3.0", XsltEngine::kLibxslt, XsltEngine::kLibxslt},
        VersionCase{"forced_saxon", "1.0", XsltEngine::kSaxon, XsltEngine::kSaxon}),
    [](const auto& info) { return std::string(info.param.name); });

struct RootCase {
  const char* name;
  const char* text;
  const char* version;
};

class DeclaredVersion : public ::testing::TestWithParam<RootCase> {};

TEST_P(DeclaredVersion, ComesFromTheRootAlone) {
  const RootCase& c = GetParam();
  TempDir dir;
  dir.Write("s.xsl", c.text);
  const ReadPolicy policy({dir.path()});
  EXPECT_EQ(transform::DeclaredXsltVersion(dir.File("s.xsl"), policy), c.version);
}

#define XSLNS "xmlns:xsl='http://www.w3.org/1999/XSL/Transform'"
INSTANTIATE_TEST_SUITE_P(
    Cases, DeclaredVersion,
    ::testing::Values(
        RootCase{"stylesheet", "<xsl:stylesheet version='3.0' " XSLNS "/>", "3.0"},
        RootCase{"transform", "<xsl:transform version='2.0' " XSLNS "/>", "2.0"},
        RootCase{"package", "<xsl:package version='3.0' " XSLNS "/>", "3.0"},
        RootCase{"other_prefix",
                 "<t:stylesheet version='2.0' xmlns:t='http://www.w3.org/1999/XSL/Transform'/>",
                 "2.0"},
        RootCase{"after_prolog",
                 "<?xml version='1.0'?>\n<!-- a note -->\n<!DOCTYPE x [<!ENTITY e 'x'>]>\n"
                 "<xsl:stylesheet version='3.0' " XSLNS "/>",
                 "3.0"},
        RootCase{"simplified", "<html xsl:version='2.0' " XSLNS "><p/></html>", "2.0"},
        RootCase{"simplified_plain_version_is_not_xslt", "<html version='3.0'/>", ""},
        RootCase{"xslt_one", "<xsl:stylesheet version='1.0' " XSLNS "/>", "1.0"},
        RootCase{"no_version", "<xsl:stylesheet " XSLNS "/>", ""},
        RootCase{"wrong_namespace", "<xsl:stylesheet version='3.0' xmlns:xsl='urn:other'/>", ""},
        // Only the root's start tag counts: the rest need not even be well-formed.
        RootCase{"broken_after_root", "<xsl:stylesheet version='3.0' " XSLNS "><a></b>", "3.0"},
        RootCase{"not_xml", "version='3.0'", ""}, RootCase{"empty", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DeclaredVersion, IsNotReadWhereThePolicyRefuses) {
  TempDir job, outside;
  outside.Write("s.xsl", "<xsl:stylesheet version='3.0' " XSLNS "/>");
  EXPECT_EQ(transform::DeclaredXsltVersion(outside.File("s.xsl"), ReadPolicy({job.path()})),
            "");
  EXPECT_EQ(transform::DeclaredXsltVersion(outside.File("missing.xsl"),
                                           ReadPolicy({outside.path()})),
            "");
}

struct WaitingSaxonCase {
  const char* name;
  const char* next;  // the stylesheet the box names next; null: a file not there
  bool ended;
};

class WaitingSaxon : public ::testing::TestWithParam<WaitingSaxonCase> {};

// The Saxon engine started for a 3.0 stylesheet is ended once the box names
// one for libxslt, and kept while it names nothing that can be read.
TEST_P(WaitingSaxon, IsEndedOnlyWhenTheBoxNamesAStylesheetForLibxslt) {
  const WaitingSaxonCase& c = GetParam();
  TempDir job;
  job.Write("three.xsl", "<xsl:stylesheet version='3.0' " XSLNS "/>");
  if (c.next != nullptr) job.Write("next.xsl", c.next);
  FakeProcessLauncher launcher;
  // Any program that exists stands for the Saxon engine; the launcher is a fake.
  transform::ChoosingEngine engine(launcher, "xmlpellor-engine", "/bin/true", {});
  engine.Prepare(job.File("three.xsl"));
  ASSERT_EQ(launcher.starts, 1);
  ASSERT_EQ(launcher.command.program, "/bin/true");
  engine.Prepare(job.File("next.xsl"));
  EXPECT_EQ(launcher.records[0].killed, c.ended);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WaitingSaxon,
    ::testing::Values(
        WaitingSaxonCase{"one_point_oh", "<xsl:stylesheet version='1.0' " XSLNS "/>", true},
        WaitingSaxonCase{"no_version", "<html/>", true},
        WaitingSaxonCase{"another_for_saxon", "<xsl:stylesheet version='2.0' " XSLNS "/>", false},
        WaitingSaxonCase{"not_there", nullptr, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace xmlpellor::test
