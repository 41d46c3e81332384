// What a transformation may read: the files of its job, the system's XML
// data and the folders the user allowed; nothing else, however it is named.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/Fakes.h"
#include "support/TempDir.h"
#include "transform/Transform.h"

namespace xmlpellor::test {
namespace {

using ::testing::HasSubstr;

constexpr const char* kHead =
    "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>";

struct ReadCase {
  const char* name;
  const char* document;    // "{out}" stands for the folder outside the job
  const char* stylesheet;  // its templates
  bool allowOutside;
  const char* shown;     // part of the page; null: a report
  const char* reported;  // part of the report
};

class ReadPolicyOfAJob : public ::testing::TestWithParam<ReadCase> {};

std::string Fill(std::string text, const std::string& out) {
  for (auto at = text.find("{out}"); at != std::string::npos; at = text.find("{out}")) {
    text.replace(at, 5, out);
  }
  return text;
}

TEST_P(ReadPolicyOfAJob, ReadsOnlyWhatBelongsToIt) {
  const ReadCase& c = GetParam();
  TempDir root;
  const std::string job = root.File("job");
  const std::string out = root.File("out");
  ASSERT_EQ(::mkdir(job.c_str(), 0700), 0);
  ASSERT_EQ(::mkdir(out.c_str(), 0700), 0);
  root.Write("out/secret.xml", "<s>secret</s>");
  root.Write("job/near.xml", "<s>near</s>");
  root.Write("job/lib.xsl", std::string(kHead) + "<xsl:template name='lib'>lib</xsl:template></xsl:stylesheet>");
  ASSERT_EQ(::symlink((out + "/secret.xml").c_str(), (job + "/link.xml").c_str()), 0);
  root.Write("job/d.xml", Fill(c.document, out));
  root.Write("job/s.xsl", std::string(kHead) + Fill(c.stylesheet, out) + "</xsl:stylesheet>");

  ReportHarness h;
  transform::EngineSettings settings;
  if (c.allowOutside) settings.allowRead.push_back(out);
  transform::InProcessEngine engine(settings);
  testing::internal::CaptureStderr();
  const Variant result = transform::CreateHTMLFromXMLXSL(h.errors, h.worker, engine, job + "/d.xml",
                                                         job + "/s.xsl", {});
  testing::internal::GetCapturedStderr();
  if (c.shown != nullptr) {
    EXPECT_EQ(h.Reports(), 0u) << h.box.shown[0].prompt;
    EXPECT_THAT(ToString(result), HasSubstr(c.shown));
  } else {
    ASSERT_EQ(h.Reports(), 1u);
    EXPECT_THAT(h.box.shown[0].prompt, HasSubstr(c.reported));
  }
}

constexpr const char* kPlain = "<r/>";
constexpr const char* kCopyDocument = "<xsl:template match='/'><xsl:value-of select=\"document('";
constexpr const char* kEnd = "')\"/></xsl:template>";

std::string Reads(const std::string& target) { return std::string(kCopyDocument) + target + kEnd; }

const std::string kNear = Reads("near.xml");
const std::string kOut = Reads("{out}/secret.xml");
const std::string kLink = Reads("link.xml");
const std::string kUp = Reads("../out/secret.xml");
const std::string kValue = "<xsl:template match='/'><xsl:value-of select='.'/></xsl:template>";
const std::string kEntity = "<!DOCTYPE r [<!ENTITY e SYSTEM '{out}/secret.xml'>]><r>&e;</r>";

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadPolicyOfAJob,
    ::testing::Values(
        ReadCase{"document_beside", kPlain, kNear.c_str(), false, "near", nullptr},
        ReadCase{"include_beside", kPlain,
                 "<xsl:include href='lib.xsl'/><xsl:template match='/'><xsl:call-template name='lib'/></xsl:template>",
                 false, "lib", nullptr},
        ReadCase{"document_outside", kPlain, kOut.c_str(), false, nullptr,
                 "Refused: the transformation may not read "},
        ReadCase{"symlink_out_of_the_folder", kPlain, kLink.c_str(), false, nullptr,
                 "Refused: the transformation may not read "},
        ReadCase{"dot_dot_out_of_the_folder", kPlain, kUp.c_str(), false, nullptr, "--allow-read"},
        ReadCase{"entity_of_the_document_outside", kEntity.c_str(), kValue.c_str(), false,
                 "Refused: the transformation may not read ", nullptr},
        ReadCase{"allowed_folder", kPlain, kOut.c_str(), true, "secret", nullptr},
        ReadCase{"allowed_folder_by_symlink", kPlain, kLink.c_str(), true, "secret", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace xmlpellor::test
