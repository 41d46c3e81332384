// On a kernel without Landlock the loader's read policy is the engine's only
// wall around the user's files. ctest runs these under
// tests/support/without_landlock, which makes the engine's kernel look like
// such a kernel; each URL that names a file outside the job by a trick of
// its form must still be refused by name, and the secret never shown.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <linux/landlock.h>

#include "Tool.h"
#include "support/TempDir.h"

namespace xmlpellor::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kSecret = "s3cret-of-another-folder";
constexpr const char* kRefused = "Refused: the transformation may not read ";

struct UrlCase {
  const char* name;
  const char* systemId;  // of the document's entity; {out} is a folder outside the job
  const char* shown;     // part of the page
  const char* needs;     // a file that must exist for the case to mean anything, or null
};

void PrintTo(const UrlCase& c, std::ostream* os) {
  *os << c.systemId;
}

class WithoutLandlock : public ::testing::TestWithParam<UrlCase> {};

TEST_P(WithoutLandlock, TheLoaderAloneRefusesWhatLiesOutsideTheJob) {
  const UrlCase& c = GetParam();
  errno = 0;
  if (::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION) >= 0 ||
      errno != ENOSYS) {
    GTEST_SKIP() << "the kernel has Landlock: ctest runs this under tests/support/without_landlock";
  }
  if (c.needs != nullptr && ::access(c.needs, R_OK) != 0)
    GTEST_SKIP() << c.needs << " is not installed";
  TempDir job, out;
  out.Write("secret.txt", kSecret);
  job.Write("near.txt", "near");
  std::string id = c.systemId;
  if (const auto at = id.find("{out}"); at != std::string::npos) id.replace(at, 5, out.path());
  job.Write("d.xml", "<!DOCTYPE r [<!ENTITY e SYSTEM '" + id + "'>]><r>[&e;]</r>");
  job.Write("s.xsl",
            "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
            "<xsl:output method='text'/><xsl:template match='/'><xsl:value-of select='r'/>"
            "</xsl:template></xsl:stylesheet>");
  PrivateTmp tmp;
  transform::EngineSettings settings;
  settings.verbose = true;
  Tool tool(settings);

  testing::internal::CaptureStderr();
  tool.Apply(job.File("d.xml"), job.File("s.xsl"));
  const std::string printed = testing::internal::GetCapturedStderr();

  EXPECT_THAT(printed, HasSubstr("xmlpellor: confinement: no new privileges, seccomp filter, "
                                 "capabilities dropped, no Landlock"));
  EXPECT_EQ(tool.Reports(), 0u) << tool.LastReport();
  EXPECT_THAT(tool.Output(), HasSubstr(c.shown));
  EXPECT_THAT(tool.Output(), Not(HasSubstr(kSecret)));
  EXPECT_THAT(printed, Not(HasSubstr(kSecret)));
  std::printf("%s\n", tool.Output().c_str());
}

INSTANTIATE_TEST_SUITE_P(Cases, WithoutLandlock,
                         ::testing::Values(
                             // The twin: a file beside the document is the user's own.
                             UrlCase{"beside_the_document", "near.txt", "[near]", nullptr},
                             UrlCase{"plain_path", "{out}/secret.txt", kRefused, nullptr},
                             // libxml2 would open the path after the host.
                             UrlCase{"host_part", "file://root{out}/secret.txt", kRefused, nullptr},
                             UrlCase{"one_slash_then_an_absolute_path", "file:/{out}/secret.txt",
                                     kRefused, nullptr},
                             // Debian's catalog rewrites this prefix to docbook-xsl's folder,
                             // from which the ../ lead back to the root.
                             UrlCase{"rewritten_by_the_system_catalog",
                                     "http://cdn.docbook.org/release/xsl-nons/current/"
                                     "../../../../../../../../../../../..{out}/secret.txt",
                                     kRefused, "/etc/xml/docbook-xsl.xml"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace xmlpellor::test
