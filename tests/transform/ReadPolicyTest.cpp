// What a transformation may read: the files of its job, the system's XML
// data and the folders the user allowed; nothing else, however it is named.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <libxml/catalog.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/ReadPolicy.h"
#include "platform/xml/DomDocument.h"
#include "support/Fakes.h"
#include "support/TempDir.h"
#include "transform/Transform.h"
#include "wire/JobWire.h"

namespace xmlpellor::test {
namespace {

using ::testing::HasSubstr;

// What the window tells every job's policy to say with a refusal.
constexpr const char* kAdvice = "To allow a folder, start xmlpellor with --allow-read=FOLDER";

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
  root.Write("job/lib.xsl",
             std::string(kHead) + "<xsl:template name='lib'>lib</xsl:template></xsl:stylesheet>");
  ASSERT_EQ(::symlink((out + "/secret.xml").c_str(), (job + "/link.xml").c_str()), 0);
  root.Write("job/d.xml", Fill(c.document, out));
  root.Write("job/s.xsl", std::string(kHead) + Fill(c.stylesheet, out) + "</xsl:stylesheet>");

  ReportHarness h;
  transform::EngineSettings settings;
  if (c.allowOutside) settings.allowRead.push_back(out);
  settings.readAdvice = kAdvice;
  InProcessEngine engine(settings);
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

std::string Reads(const std::string& target) {
  return std::string(kCopyDocument) + target + kEnd;
}

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
                 "<xsl:include href='lib.xsl'/><xsl:template match='/'><xsl:call-template "
                 "name='lib'/></xsl:template>",
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

// The test every reader of the policy shares.
struct InsideCase {
  const char* name;
  const char* path;
  const char* place;
  bool folder;
  bool inside;
};

class LiesInsideAPlace : public ::testing::TestWithParam<InsideCase> {};

TEST_P(LiesInsideAPlace, ByNameAndHiddenNames) {
  const InsideCase& c = GetParam();
  EXPECT_EQ(LiesInside(c.path, c.place, c.folder), c.inside);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LiesInsideAPlace,
    ::testing::Values(InsideCase{"below", "/a/b/c.xml", "/a", true, true},
                      InsideCase{"same_prefix_other_folder", "/a/bc.xml", "/a/b", true, false},
                      InsideCase{"above", "/a", "/a/b", true, false},
                      InsideCase{"hidden_folder_below", "/a/.ssh/id", "/a", true, false},
                      InsideCase{"hidden_file_below", "/a/b/.env", "/a", true, false},
                      InsideCase{"dots_inside_a_name", "/a/b.d/c..x", "/a", true, true},
                      InsideCase{"hidden_place_itself", "/a/.cache/p/x.xml", "/a/.cache/p", true,
                                 true},
                      InsideCase{"root_place", "/etc/x", "/", true, true},
                      InsideCase{"root_place_hidden", "/.x/y", "/", true, false},
                      InsideCase{"file_place_itself", "/h/.d.xml", "/h/.d.xml", false, true},
                      InsideCase{"file_place_other", "/h/e.xml", "/h/d.xml", false, false},
                      InsideCase{"relative_never", "a/b", "/", true, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Reads are denied unless a policy names them: whatever was left without
// one reads nothing, and an open policy never reaches the engine's process.
struct UnnamedCase {
  const char* name;
  // True when the document was read (or the request would carry a policy
  // that reads it).
  bool (*reads)(const std::string& document, const std::string& stylesheet);
};

class WithoutAPolicy : public ::testing::TestWithParam<UnnamedCase> {};

TEST_P(WithoutAPolicy, NothingIsRead) {
  TempDir dir;
  dir.Write("d.xml", "<r>mine</r>");
  dir.Write("s.xsl", std::string(kHead) + "</xsl:stylesheet>");
  EXPECT_FALSE(GetParam().reads(dir.File("d.xml"), dir.File("s.xsl")));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WithoutAPolicy,
    ::testing::Values(
        UnnamedCase{"request_that_names_none",
                    [](const std::string& d, const std::string& s) {
                      transform::JobRequest request;
                      request.xml = d;
                      request.xsl = s;
                      InProcessEngine engine;
                      transform::JobEvents quiet;
                      return !engine.Run(request, quiet).notLoaded;
                    }},
        UnnamedCase{"load_outside_any_job",
                    [](const std::string& d, const std::string&) {
                      xml::DOMDocument doc;
                      return doc.load(d);
                    }},
        UnnamedCase{"open_policy_to_the_engine",
                    [](const std::string& d, const std::string& s) {
                      try {
                        wire::EncodeRequest({{d, s, {}, false, ReadPolicy::Unrestricted()}});
                        return true;
                      } catch (const RuntimeError&) {
                        return false;
                      }
                    }},
        UnnamedCase{"relative_place_from_the_window",
                    [](const std::string& d, const std::string& s) {
                      const ReadPolicy relative = ReadPolicy::OfPlaces({{"d.xml", false}}, {});
                      try {
                        return wire::DecodeRequest(
                                   wire::EncodeRequest({{d, s, {}, false, relative}}))
                            .job.reads.Allows(d);
                      } catch (const RuntimeError&) {
                        return false;
                      }
                    }}),
    [](const auto& info) { return std::string(info.param.name); });

// A job run by the in-process engine, as the window runs it but in this
// process: its page, or its one report.
struct Ran {
  std::string page;
  std::string report;
  std::size_t reports = 0;
};

Ran RunJob(const std::string& xml, const std::string& xsl,
           const std::vector<std::string>& allowed = {}) {
  ReportHarness h;
  transform::EngineSettings settings;
  settings.allowRead = allowed;
  settings.readAdvice = kAdvice;
  InProcessEngine engine(settings);
  testing::internal::CaptureStderr();
  const Variant result = transform::CreateHTMLFromXMLXSL(h.errors, h.worker, engine, xml, xsl, {});
  testing::internal::GetCapturedStderr();
  Ran ran;
  ran.page = ToString(result);
  ran.reports = h.Reports();
  if (ran.reports > 0) ran.report = h.box.shown[0].prompt;
  return ran;
}

void Put(const std::string& path, const std::string& content) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

std::string Replaced(std::string text, const std::string& key, const std::string& value) {
  for (auto at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size())) {
    text.replace(at, key.size(), value);
  }
  return text;
}

// Sets an environment variable for its lifetime.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : m_name(name) {
    const char* old = std::getenv(name);
    m_had = old != nullptr;
    if (m_had) m_old = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (m_had) {
      ::setenv(m_name, m_old.c_str(), 1);
    } else {
      ::unsetenv(m_name);
    }
  }

 private:
  const char* m_name;
  std::string m_old;
  bool m_had = false;
};

// Hidden names and the home folder. Every case lives in a home folder of its
// own: HOME points into the test's folder.
struct HomeCase {
  const char* name;
  const char* document;    // below the home folder
  const char* stylesheet;  // below the home folder
  const char* reads;       // document() of it, from the stylesheet; "" for the document's text
  const char* allowed;     // below the home folder, or ""
  const char* shown;       // part of the page; null: a report
  const char* reported;    // part of the report
};

class HiddenFilesAndTheHomeFolder : public ::testing::TestWithParam<HomeCase> {};

TEST_P(HiddenFilesAndTheHomeFolder, StayPrivate) {
  const HomeCase& c = GetParam();
  TempDir root;
  const std::string home = root.File("home");
  const ScopedEnv env("HOME", home);
  for (const char* file :
       {"doc.xml:<s>doc</s>", ".ssh/id.xml:<s>key</s>", "Documents/taxes.xml:<s>taxes</s>",
        "Downloads/near.xml:<s>near</s>", "Downloads/.env.xml:<s>env</s>",
        "Downloads/.git/config.xml:<s>git</s>", ".cache/proj/doc.xml:<s>cached</s>",
        ".cache/proj/near.xml:<s>near</s>", ".cache/proj/sub/.x.xml:<s>deeper</s>"}) {
    const std::string entry = file;
    const std::size_t colon = entry.find(':');
    Put(home + "/" + entry.substr(0, colon), entry.substr(colon + 1));
  }
  const std::string body =
      *c.reads == '\0' ? std::string("<xsl:value-of select='.'/>")
                       : "<xsl:value-of select=\"document('" + std::string(c.reads) + "')\"/>";
  Put(home + "/" + c.stylesheet,
      std::string(kHead) + "<xsl:template match='/'>" + body + "</xsl:template></xsl:stylesheet>");
  std::vector<std::string> allowed;
  if (*c.allowed != '\0') allowed.push_back(home + "/" + c.allowed);

  const Ran ran = RunJob(home + "/" + c.document, home + "/" + c.stylesheet, allowed);
  if (c.shown != nullptr) {
    EXPECT_EQ(ran.reports, 0u) << ran.report;
    EXPECT_THAT(ran.page, HasSubstr(c.shown));
  } else {
    ASSERT_EQ(ran.reports, 1u) << ran.page;
    EXPECT_THAT(ran.report, HasSubstr(c.reported));
  }
}

constexpr const char* kReport = "Downloads/report.xsl";
constexpr const char* kRefused = "Refused: the transformation may not read ";

INSTANTIATE_TEST_SUITE_P(
    Cases, HiddenFilesAndTheHomeFolder,
    ::testing::Values(
        HomeCase{"beside_the_stylesheet", "doc.xml", kReport, "near.xml", "", "near", nullptr},
        HomeCase{"document_in_the_home_folder", "doc.xml", kReport, "", "", "doc", nullptr},
        HomeCase{"key_by_way_of_a_document_in_the_home_folder", "doc.xml", kReport,
                 "../.ssh/id.xml", "", nullptr, kRefused},
        HomeCase{"home_files_by_way_of_a_document_in_the_home_folder", "doc.xml", kReport,
                 "../Documents/taxes.xml", "", nullptr, "outside the folders"},
        HomeCase{"home_folder_allowed_by_name", "doc.xml", kReport, "../Documents/taxes.xml", ".",
                 "taxes", nullptr},
        HomeCase{"key_in_a_home_folder_allowed_by_name", "doc.xml", kReport, "../.ssh/id.xml", ".",
                 nullptr, "lies in the hidden folder"},
        HomeCase{"hidden_folder_beside_the_stylesheet", "doc.xml", kReport, ".git/config.xml", "",
                 nullptr, "lies in the hidden folder"},
        HomeCase{"hidden_folder_allowed_by_name", "doc.xml", kReport, ".git/config.xml",
                 "Downloads/.git", "git", nullptr},
        HomeCase{"hidden_file_beside_the_stylesheet", "doc.xml", kReport, ".env.xml", "", nullptr,
                 "its name starts with a dot"},
        HomeCase{"hidden_document_itself", "Downloads/.env.xml", kReport, "", "", "env", nullptr},
        HomeCase{"job_inside_a_hidden_folder", ".cache/proj/doc.xml", ".cache/proj/s.xsl",
                 "near.xml", "", "near", nullptr},
        HomeCase{"hidden_below_a_hidden_job_folder", ".cache/proj/doc.xml", ".cache/proj/s.xsl",
                 "sub/.x.xml", "", nullptr, "its name starts with a dot"}),
    [](const auto& info) { return std::string(info.param.name); });

// file: URLs of every form an entity may use. {job} and {out} stand for the
// job's folder and one outside it.
struct UrlCase {
  const char* name;
  const char* url;
  const char* shown;  // part of the page
};

class FileUrlOfAnEntity : public ::testing::TestWithParam<UrlCase> {};

TEST_P(FileUrlOfAnEntity, IsReadOnlyAsTheFileItNames) {
  const UrlCase& c = GetParam();
  TempDir root;
  const std::string job = root.File("job");
  const std::string out = root.File("out");
  Put(job + "/near.txt", "near");
  Put(job + "/a b.txt", "spaced");
  Put(out + "/secret.txt", "secret");
  const std::string url = Replaced(Replaced(c.url, "{job}", job), "{out}", out);
  Put(job + "/d.xml", "<!DOCTYPE r [<!ENTITY e SYSTEM '" + url + "'>]>\n<r>\n[&e;]</r>");
  Put(job + "/s.xsl", std::string(kHead) + kValue + "</xsl:stylesheet>");

  const Ran ran = RunJob(job + "/d.xml", job + "/s.xsl");
  EXPECT_EQ(ran.reports, 0u) << ran.report;
  EXPECT_THAT(ran.page, HasSubstr(c.shown));
  // A refusal names the document's line that referred to the file.
  if (c.shown[0] != '[') {
    EXPECT_THAT(ran.page, HasSubstr("line 3 of"));
  }
  EXPECT_THAT(ran.page, ::testing::Not(HasSubstr("secret]")));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileUrlOfAnEntity,
    ::testing::Values(
        UrlCase{"three_slashes", "file://{job}/near.txt", "[near]"},
        UrlCase{"localhost", "file://localhost{job}/near.txt", "[near]"},
        UrlCase{"one_slash", "file:{job}/near.txt", "[near]"},
        UrlCase{"percent_encoded", "file://{job}/a%20b.txt", "[spaced]"},
        UrlCase{"outside", "file://{out}/secret.txt", kRefused},
        UrlCase{"other_host", "file://root{out}/secret.txt", "names no local file"},
        UrlCase{"one_slash_then_a_host", "file:/{out}/secret.txt", "names no local file"},
        UrlCase{"share_path", "file:///{out}/secret.txt", "names no local file"},
        UrlCase{"encoded_dot_dot", "file://{job}/%2e%2e/out/secret.txt", kRefused},
        UrlCase{"encoded_nul", "file://{job}/near.txt%00.xml", "names no local file"}),
    [](const auto& info) { return std::string(info.param.name); });

// A catalog may send a name anywhere; what it sends to is judged like any
// other file. The catalog is the test's own, through XML_CATALOG_FILES.
struct CatalogCase {
  const char* name;
  const char* rewriteTo;  // where http://example.org/ent/ goes
  const char* entity;     // the entity's system identifier
  const char* shown;      // part of the page
};

class CatalogRewrite : public ::testing::TestWithParam<CatalogCase> {};

// libxml2 reads the catalog list once; it is made to read it again here,
// before and after.
class ScopedCatalog {
 public:
  explicit ScopedCatalog(const std::string& file) : m_env("XML_CATALOG_FILES", file) {
    xmlCatalogCleanup();
  }
  ~ScopedCatalog() { xmlCatalogCleanup(); }

 private:
  ScopedEnv m_env;
};

TEST_P(CatalogRewrite, LeadsOnlyWhereTheJobMayRead) {
  const CatalogCase& c = GetParam();
  TempDir root;
  const std::string job = root.File("job");
  const std::string out = root.File("out");
  Put(job + "/near.txt", "near");
  Put(out + "/secret.txt", "secret");
  const auto fill = [&](const std::string& text) {
    return Replaced(Replaced(Replaced(text, "{job}", job), "{out}", out), "{root}", root.path());
  };
  Put(root.File("catalog.xml"),
      fill("<catalog xmlns='urn:oasis:names:tc:entity:xmlns:xml:catalog'>"
           "<rewriteSystem systemIdStartString='http://example.org/ent/' rewritePrefix='" +
           std::string(c.rewriteTo) + "'/></catalog>"));
  // A document's own catalog, which must not count.
  Put(root.File("own.xml"), fill("<catalog xmlns='urn:oasis:names:tc:entity:xmlns:xml:catalog'>"
                                 "<rewriteSystem systemIdStartString='http://example.org/own/' "
                                 "rewritePrefix='file://{out}/'/></catalog>"));
  Put(job + "/d.xml", fill("<?oasis-xml-catalog catalog='file://{root}/own.xml'?>"
                           "<!DOCTYPE r [<!ENTITY e SYSTEM '" +
                           std::string(c.entity) + "'>]><r>[&e;]</r>"));
  Put(job + "/s.xsl", std::string(kHead) + kValue + "</xsl:stylesheet>");
  const ScopedCatalog catalog(root.File("catalog.xml"));

  const Ran ran = RunJob(job + "/d.xml", job + "/s.xsl");
  EXPECT_EQ(ran.reports, 0u) << ran.report;
  EXPECT_THAT(ran.page, HasSubstr(c.shown));
  EXPECT_THAT(ran.page, ::testing::Not(HasSubstr("secret]")));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CatalogRewrite,
    ::testing::Values(CatalogCase{"into_the_job", "file://{job}/",
                                  "http://example.org/ent/near.txt", "[near]"},
                      CatalogCase{"out_of_the_job", "file://{out}/",
                                  "http://example.org/ent/secret.txt", kRefused},
                      CatalogCase{"into_the_job_then_up", "file://{job}/sub/",
                                  "http://example.org/ent/../../out/secret.txt", "[]"},
                      CatalogCase{"documents_own_catalog", "file://{job}/",
                                  "http://example.org/own/secret.txt", "[]"}),
    [](const auto& info) { return std::string(info.param.name); });

// A link swapped between a file of the job and one outside it, as fast as a
// thread can, while jobs read it: each read gets the job's file or a
// refusal, never the other.
TEST(LinkFlip, NeverLeadsTheOpenOutOfTheJob) {
  TempDir root;
  const std::string job = root.File("job");
  const std::string out = root.File("out");
  Put(job + "/near.xml", "<s>near</s>");
  Put(out + "/secret.xml", "<s>secret</s>");
  Put(job + "/d.xml", "<r/>");
  Put(job + "/s.xsl", std::string(kHead) + kNear.substr(0, kNear.find("near.xml")) + "flip.xml" +
                          kEnd + "</xsl:stylesheet>");
  const std::string link = job + "/flip.xml";
  const std::string spare = job + "/flip.tmp";
  ASSERT_EQ(::symlink((job + "/near.xml").c_str(), link.c_str()), 0);

  std::atomic<bool> done{false};
  std::thread flipper([&] {
    for (bool outside = true; !done; outside = !outside) {
      ::unlink(spare.c_str());
      const std::string target = outside ? out + "/secret.xml" : job + "/near.xml";
      if (::symlink(target.c_str(), spare.c_str()) == 0) ::rename(spare.c_str(), link.c_str());
    }
  });
  int leaks = 0, near = 0;
  for (int run = 0; run < 300; ++run) {
    const Ran ran = RunJob(job + "/d.xml", job + "/s.xsl");
    leaks += ran.page.find("secret") != std::string::npos ? 1 : 0;
    near += ran.page.find("near") != std::string::npos ? 1 : 0;
  }
  done = true;
  flipper.join();
  EXPECT_EQ(leaks, 0);
  RecordProperty("near", near);
}

// The advice on allowing a folder is said once, however many files were refused.
TEST(Refusals, GiveTheAdviceOnceAndNameEachFile) {
  TempDir root;
  const std::string job = root.File("job");
  const std::string out = root.File("out");
  std::string reads;
  for (const char* name : {"a", "b", "c", "d"}) {
    Put(out + "/" + name + ".xml", "<s/>");
    reads += "<xsl:copy-of select=\"document('" + out + "/" + name + ".xml')\"/>";
  }
  Put(job + "/d.xml", "<r/>");
  Put(job + "/s.xsl",
      std::string(kHead) + "<xsl:template match='/'>" + reads + "</xsl:template></xsl:stylesheet>");

  const Ran ran = RunJob(job + "/d.xml", job + "/s.xsl");
  ASSERT_EQ(ran.reports, 1u);
  EXPECT_THAT(ran.report, HasSubstr(out + "/d.xml"));
  const auto advice = ran.report.find("--allow-read=FOLDER");
  ASSERT_NE(advice, std::string::npos);
  EXPECT_EQ(ran.report.find("--allow-read=FOLDER", advice + 1), std::string::npos) << ran.report;
}

// What the system's XML packages install must work as it comes: DocBook 4.5
// links its entity files into /etc/sgml, yelp-xsl imports across its own
// tree, and Debian's catalog for docbook-xsl must not become a way out.
TEST(SystemPackages, DocBookDtdThroughItsLinkIntoEtcSgml) {
  const std::string dtd = "/usr/share/xml/docbook/schema/dtd/4.5/dbgenent.mod";
  if (::access(dtd.c_str(), R_OK) != 0) GTEST_SKIP() << "docbook-xml is not installed";
  TempDir root;
  Put(root.File("d.xml"),
      "<!DOCTYPE article PUBLIC \"-//OASIS//DTD DocBook XML V4.5//EN\" "
      "\"http://www.oasis-open.org/docbook/xml/4.5/docbookx.dtd\">"
      "<article><title>T</title><para>a&mdash;b</para></article>");
  Put(root.File("s.xsl"), std::string(kHead) + kValue + "</xsl:stylesheet>");
  const Ran ran = RunJob(root.File("d.xml"), root.File("s.xsl"));
  EXPECT_EQ(ran.reports, 0u) << ran.report;
  EXPECT_THAT(ran.page, HasSubstr("Ta\xE2\x80\x94"
                                  "b"));
}

TEST(SystemPackages, YelpImportsAcrossItsOwnTree) {
  const std::string xsl = "/usr/share/yelp-xsl/xslt/mallard/html/mal2html.xsl";
  if (::access(xsl.c_str(), R_OK) != 0) GTEST_SKIP() << "yelp-xsl is not installed";
  TempDir root;
  Put(root.File("index.page"),
      "<page xmlns='http://projectmallard.org/1.0/' type='guide' id='index'>"
      "<title>Pellor help</title><p>Hello</p></page>");
  // mal2html writes each page with exsl:document; a preview shows it instead.
  Put(root.File("preview.xsl"),
      std::string(kHead) + "<xsl:import href='" + xsl +
          "'/><xsl:template name='html.output'><xsl:param name='node' select='.'/>"
          "<xsl:call-template name='html.page'><xsl:with-param name='node' select='$node'/>"
          "</xsl:call-template></xsl:template></xsl:stylesheet>");
  const Ran ran = RunJob(root.File("index.page"), root.File("preview.xsl"));
  EXPECT_EQ(ran.reports, 0u) << ran.report.substr(0, 2000);
  EXPECT_THAT(ran.page, HasSubstr("Pellor help"));
}

TEST(SystemPackages, DebiansDocBookCatalogLeadsNowhereElse) {
  if (::access("/etc/xml/docbook-xsl.xml", R_OK) != 0)
    GTEST_SKIP() << "docbook-xsl is not installed";
  TempDir root;
  Put(root.File("job/d.xml"), "");
  Put(root.File("out/token.txt"), "token");
  const std::string up = "../../../../../../../../../../../..";
  Put(root.File("job/d.xml"),
      "<!DOCTYPE r [<!ENTITY e SYSTEM 'http://cdn.docbook.org/release/xsl-nons/current/" + up +
          root.File("out/token.txt") + "'>]><r>[&e;]</r>");
  Put(root.File("job/s.xsl"), std::string(kHead) + kValue + "</xsl:stylesheet>");
  const Ran ran = RunJob(root.File("job/d.xml"), root.File("job/s.xsl"));
  EXPECT_THAT(ran.page, ::testing::Not(HasSubstr("token]")));
}

}  // namespace
}  // namespace xmlpellor::test
