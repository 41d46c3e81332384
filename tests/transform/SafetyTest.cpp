#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "TestData.h"
#include "platform/FileSystem.h"
#include "support/Fakes.h"
#include "support/Listener.h"
#include "support/TempDir.h"
#include "transform/Transform.h"

namespace xmlpellor::test {
namespace {

using ::testing::HasSubstr;
using transform::CreateHTMLFromXMLXSL;

// Stylesheets that fail while compiling or running: each ends in exactly one
// report whose description says why, with libxslt's own words, and nothing
// reaches stderr.
struct FailingStylesheet {
  const char* name;
  const char* xsl;
  std::vector<std::string> described;
};

class FailingTransform : public ::testing::TestWithParam<FailingStylesheet> {};

TEST_P(FailingTransform, IsReportedOnceWithAUsefulDescription) {
  const FailingStylesheet& c = GetParam();
  ReportHarness h;
  testing::internal::CaptureStderr();
  const Variant result =
      CreateHTMLFromXMLXSL(h.errors, h.worker, h.engine, DataPath("safety/any.xml"), DataPath(c.xsl), {});
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(IsEmpty(result));
  ASSERT_EQ(h.Reports(), 1u);
  for (const auto& part : c.described) EXPECT_THAT(h.box.shown[0].prompt, HasSubstr(part));
}

INSTANTIATE_TEST_SUITE_P(
    Stylesheets, FailingTransform,
    ::testing::Values(
        FailingStylesheet{"terminate", "safety/terminate.xsl",
                          {"was stopped", "Stopped on purpose: no input for this report"}},
        FailingStylesheet{"runaway_recursion", "safety/recursion.xsl",
                          {"recurses without end", "recursion.xsl line 8"}},
        FailingStylesheet{"bad_xpath", "safety/bad_xpath.xsl",
                          {"could not be compiled", "bad_xpath.xsl line 3", "count(("}},
        FailingStylesheet{"not_a_stylesheet", "safety/not_a_stylesheet.xsl",
                          {"could not be compiled", "not a stylesheet"}},
        FailingStylesheet{"network_document", "safety/network_document.xsl",
                          {"may not read from the network", "127.0.0.1:9/remote.xml"}},
        FailingStylesheet{"network_include", "safety/network_include.xsl",
                          {"could not be compiled", "may not read from the network"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Safety, ExslDocumentWritesNothing) {
  TempDir dir;
  dir.Write("exsl_document.xsl", ReadFile(DataPath("safety/exsl_document.xsl")));
  ReportHarness h;
  // The file comes back with the output instead of reaching the disk.
  std::vector<xml::OutputDocument> documents;
  const Variant result =
      CreateHTMLFromXMLXSL(h.errors, h.worker, h.engine, DataPath("safety/any.xml"),
                           dir.File("exsl_document.xsl"), {}, nullptr, nullptr, &documents);
  EXPECT_EQ(h.Reports(), 0u);
  EXPECT_THAT(ToString(result), HasSubstr("main output"));
  ASSERT_EQ(documents.size(), 1u);
  EXPECT_EQ(documents[0].path, "written/by-stylesheet.html");
  EXPECT_THAT(documents[0].bytes, HasSubstr("should not exist"));
  EXPECT_FALSE(Exists(dir.File("written")));
  EXPECT_FALSE(Exists(dir.File("written/by-stylesheet.html")));
}

TEST(Safety, ExsltFunctionsAreAvailable) {
  ReportHarness h;
  const Variant result = CreateHTMLFromXMLXSL(h.errors, h.worker, h.engine, DataPath("safety/any.xml"),
                                              DataPath("safety/exsl_node_set.xsl"), {});
  EXPECT_EQ(h.Reports(), 0u);
  EXPECT_EQ(std::get<std::string>(result), "count=2");
}

TEST(Safety, ExternalEntitiesAndDtdsAreNotFetchedOverTheNetwork) {
  Listener listener;
  ASSERT_NE(listener.port(), 0);
  const std::string url = "http://127.0.0.1:" + std::to_string(listener.port());
  TempDir dir;
  dir.Write("entity.xml", "<?xml version=\"1.0\"?>\n<!DOCTYPE doc [\n  <!ENTITY remote SYSTEM \"" +
                              url + "/secret.txt\">\n]>\n<doc>[&remote;]</doc>\n");
  dir.Write("dtd.xml", "<?xml version=\"1.0\"?>\n<!DOCTYPE doc SYSTEM \"" + url +
                           "/doc.dtd\">\n<doc>[text]</doc>\n");
  for (const char* name : {"entity.xml", "dtd.xml"}) {
    ReportHarness h;
    testing::internal::CaptureStderr();
    const Variant result =
        CreateHTMLFromXMLXSL(h.errors, h.worker, h.engine, dir.File(name), DataPath("dtd_invalid/note.xsl"), {});
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(h.Reports(), 0u) << name;
    EXPECT_FALSE(listener.SomebodyConnected()) << name;
  }
}

// The checked-in samples, in case the temporary copies above ever differ.
TEST(Safety, NetworkEntitySamplesLoadWithoutTheirRemoteParts) {
  for (const char* name : {"safety/http_entity.xml", "safety/http_dtd.xml"}) {
    ReportHarness h;
    const Variant result =
        CreateHTMLFromXMLXSL(h.errors, h.worker, h.engine, DataPath(name), DataPath("parse_errors/good.xsl"), {});
    EXPECT_EQ(h.Reports(), 0u);
    EXPECT_EQ(std::get<std::string>(result), "ok") << name;
  }
}

}  // namespace
}  // namespace xmlpellor::test
