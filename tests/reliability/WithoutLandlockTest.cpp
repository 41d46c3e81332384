// The loader's read policy is the engine's first wall around the user's
// files, and on a kernel without Landlock its only one. Each URL that names a
// file outside the job by a trick of its form must be refused by name, and
// the secret never shown. reliability_tests runs the table with every layer
// on; ctest runs it once more under tests/support/without_landlock, which
// makes the engine's kernel look like a kernel without Landlock.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
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
  const char* systemId;        // of the document's entity; {out} is a folder outside the job
  const char* shown;           // part of the page
  const char* needs;           // a file that must exist for the case to mean anything, or null
  const char* leak = kSecret;  // what must appear nowhere
};

void PrintTo(const UrlCase& c, std::ostream* os) {
  *os << c.systemId;
}

class OutsideTheJob : public ::testing::TestWithParam<UrlCase> {};

TEST_P(OutsideTheJob, IsRefusedByTheLoaderWithOrWithoutLandlock) {
  const UrlCase& c = GetParam();
  errno = 0;
  const bool landlock =
      ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION) >= 0 ||
      errno != ENOSYS;
  if (c.needs != nullptr && ::access(c.needs, R_OK) != 0)
    GTEST_SKIP() << c.needs << " is not installed";
  TempDir job, out;
  out.Write("secret.txt", kSecret);
  job.Write("near.txt", "near");
  job.Write(".env", kSecret);
  std::filesystem::create_directory(job.File(".ssh"));
  job.Write(".ssh/id", kSecret);
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
                                 "capabilities dropped, " +
                                 std::string(landlock ? "Landlock ABI" : "no Landlock")));
  EXPECT_EQ(tool.Reports(), 0u) << tool.LastReport();
  EXPECT_THAT(tool.Output(), HasSubstr(c.shown));
  EXPECT_THAT(tool.Output(), Not(HasSubstr(c.leak)));
  EXPECT_THAT(printed, Not(HasSubstr(c.leak)));
  std::printf("%s\n", tool.Output().c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutsideTheJob,
    ::testing::Values(
        // The twin: a file beside the document is the user's own.
        UrlCase{"beside_the_document", "near.txt", "[near]", nullptr},
        UrlCase{"plain_path", "{out}/secret.txt", kRefused, nullptr},
        // libxml2 would open the path after the host.
        UrlCase{"host_part", "file://root{out}/secret.txt", kRefused, nullptr},
        UrlCase{"one_slash_then_an_absolute_path", "file:/{out}/secret.txt", kRefused, nullptr},
        // Debian's catalog rewrites this prefix to docbook-xsl's folder,
        // from which the ../ lead back to the root.
        UrlCase{"rewritten_by_the_system_catalog",
                "http://cdn.docbook.org/release/xsl-nons/current/"
                "../../../../../../../../../../../..{out}/secret.txt",
                kRefused, "/etc/xml/docbook-xsl.xml"},
        // A folder the job may read does not lend its hidden files: a
        // document in the home folder would lend ~/.ssh.
        UrlCase{"hidden_file_beside_the_document", ".env", kRefused, nullptr},
        UrlCase{"hidden_folder_beside_the_document", ".ssh/id", kRefused, nullptr},
        // The engine's own connections and memory map.
        UrlCase{"own_proc_entry", "/proc/self/maps", kRefused, nullptr, "[stack]"},
        UrlCase{"own_proc_entry_by_a_host_part", "file://proc/self/net/tcp", kRefused, nullptr,
                "local_address"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace xmlpellor::test
