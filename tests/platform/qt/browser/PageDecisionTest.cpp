#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <climits>
#include <fstream>
#include <memory>
#include <sstream>

#include "platform/qt/browser/PagePolicy.h"
#include "platform/qt/browser/PageRegistry.h"

using namespace xmlpellor;

namespace {

// What a job of these folders could read, as the window hands it to the page.
ReadPolicy Readable(std::initializer_list<QString> folders) {
  std::vector<std::string> places;
  for (const QString& folder : folders) places.push_back(QFile::encodeName(folder).toStdString());
  return ReadPolicy(places);
}

// A job's folders on disk: the document's ("doc") and the stylesheet's
// ("styles"), with names in them that lead to "away", a folder outside.
class JobTree {
 public:
  JobTree() {
    for (const char* folder : {"doc", "doc/sub", "styles", "away", "tmp"})
      QDir(Root()).mkpath(folder);
    for (const char* name : {"doc/logo.png", "doc/style.css", "doc/face.ttf", "doc/clip.webm",
                             "doc/code.js", "doc/data.json", "doc/page.html", "doc/notes.txt",
                             "doc/sub/deep.html", "styles/notes.html", "away/out.html",
                             "away/pic.png", "away/far.css", "away/font.woff", "tmp/result.tmp"}) {
      Write(name, "some bytes");
    }
    Write("doc/empty.png", "");
    Link("../away/out.html", "doc/link-out.html");
    Link("../away/pic.png", "doc/linked.png");
    Link("../away/far.css", "doc/linked.css");
    Link("../away", "doc/linkdir");
    registry.SetReadPolicy(Readable({Path("doc"), Path("styles")}));
    registry.AddPage(Result(), {Path("tmp/result.tmp"), PageKind::kHtml});
  }
  QString Root() const { return m_dir.path(); }
  QString Path(const QString& name) const { return m_dir.filePath(name); }
  // Where the program shows its result: on the document folder's host.
  QUrl Result() const { return PageRegistry::PageUrl(Path("doc"), QStringLiteral("result.tmp")); }
  // {doc} {styles} {away} {tmp}: the folders' paths; {own}: our scheme on
  // the result's host.
  QUrl Expand(QString url) const {
    url.replace("{own}", QString::fromLatin1(kPageScheme) + "://" + Result().host());
    for (const char* folder : {"doc", "styles", "away", "tmp"}) {
      url.replace(QString("{%1}").arg(folder), Path(folder));
    }
    return QUrl(url);
  }

  PageRegistry registry;

 private:
  void Write(const QString& name, const QByteArray& bytes) {
    QFile file(Path(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  void Link(const QString& target, const QString& name) {
    ASSERT_EQ(
        ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(Path(name)).constData()),
        0);
  }
  QTemporaryDir m_dir;
};

using Kind = PageDecision::Kind;

struct Row {
  const char* name;
  const char* url;
  PageLoad load;
  bool fromWeb;  // the first party is a web page, not ours
  Kind kind;
  PageServed served = PageServed::kFile;
};

std::ostream& operator<<(std::ostream& out, const Row& row) {
  return out << row.name;
}

class PageDecisionTest : public testing::TestWithParam<Row> {
 protected:
  static void SetUpTestSuite() { s_tree = std::make_unique<JobTree>(); }
  static void TearDownTestSuite() { s_tree.reset(); }
  static std::unique_ptr<JobTree> s_tree;
};
std::unique_ptr<JobTree> PageDecisionTest::s_tree;

// Every row goes through the real gathering of facts (the disk, the job's
// read policy, the name service for literals and /etc/hosts) and Judge.
TEST_P(PageDecisionTest, DecidesByWhatTheTargetIs) {
  const Row& row = GetParam();
  const QUrl url = s_tree->Expand(QString::fromUtf8(row.url));
  const QUrl firstParty = row.fromWeb ? QUrl("https://example.org/page.html") : s_tree->Result();
  const PageDecision decision = Judge(s_tree->registry.FactsOf(url, row.load, firstParty));
  ASSERT_EQ(decision.kind, row.kind) << url.toString().toStdString();
  if (row.kind == Kind::kBlock) return;
  EXPECT_EQ(decision.served, row.served);
  if (row.kind == Kind::kRedirect) {
    // Always to our scheme, at the same path, never to a file: URL.
    EXPECT_EQ(decision.target.scheme(), QString::fromLatin1(kPageScheme));
    EXPECT_EQ(decision.target.path(), QDir::cleanPath(url.path()))
        << decision.target.toString().toStdString();
  }
  EXPECT_EQ(decision.permits,
            row.kind == Kind::kAllow && url.scheme() == QLatin1String(kPageScheme));
}

constexpr Row kLocal[] = {
    // Where the page itself may go.
    {"nav_the_result", "{own}{doc}/result.tmp", PageLoad::kMainFrame, false, Kind::kAllow,
     PageServed::kPage},
    {"nav_beside_own_scheme", "{own}{doc}/page.html", PageLoad::kMainFrame, false, Kind::kAllow},
    {"nav_beside_file", "file://{doc}/page.html", PageLoad::kMainFrame, false, Kind::kRedirect},
    {"nav_subfolder", "file://{doc}/sub/deep.html", PageLoad::kMainFrame, false, Kind::kRedirect},
    {"nav_stylesheets_folder", "file://{styles}/notes.html", PageLoad::kMainFrame, false,
     Kind::kRedirect},
    {"nav_outside_file", "file://{away}/out.html", PageLoad::kMainFrame, false, Kind::kBlock},
    {"nav_outside_own_scheme", "{own}{away}/out.html", PageLoad::kMainFrame, false, Kind::kBlock},
    {"nav_dot_segments_out", "file://{doc}/sub/../../away/out.html", PageLoad::kMainFrame, false,
     Kind::kBlock},
    {"nav_symlink_out", "file://{doc}/link-out.html", PageLoad::kMainFrame, false, Kind::kBlock},
    {"nav_symlinked_folder_out", "file://{doc}/linkdir/out.html", PageLoad::kMainFrame, false,
     Kind::kBlock},
    {"nav_result_file_itself", "file://{tmp}/result.tmp", PageLoad::kMainFrame, false,
     Kind::kBlock},
    {"nav_file_of_another_host", "file://elsewhere{doc}/page.html", PageLoad::kMainFrame, false,
     Kind::kBlock},
    // Pictures, stylesheets and fonts: inside only, and named as such.
    {"image_inside", "{own}{doc}/logo.png", PageLoad::kImage, false, Kind::kAllow,
     PageServed::kPicture},
    {"image_inside_file", "file://{doc}/logo.png", PageLoad::kImage, false, Kind::kRedirect,
     PageServed::kPicture},
    {"image_outside_file", "file://{away}/pic.png", PageLoad::kImage, false, Kind::kBlock},
    {"image_outside_own_scheme", "{own}{away}/pic.png", PageLoad::kImage, false, Kind::kBlock},
    {"image_symlink_out", "{own}{doc}/linked.png", PageLoad::kImage, false, Kind::kBlock},
    {"image_dot_segments_out", "file://{doc}/../away/pic.png", PageLoad::kImage, false,
     Kind::kBlock},
    {"image_empty", "{own}{doc}/empty.png", PageLoad::kImage, false, Kind::kBlock},
    {"image_named_as_text", "{own}{doc}/notes.txt", PageLoad::kImage, false, Kind::kBlock},
    {"image_for_a_web_page", "file://{doc}/logo.png", PageLoad::kImage, true, Kind::kBlock},
    {"stylesheet_inside", "{own}{doc}/style.css", PageLoad::kStylesheet, false, Kind::kAllow,
     PageServed::kPicture},
    {"stylesheet_outside_file", "file://{away}/far.css", PageLoad::kStylesheet, false,
     Kind::kBlock},
    {"stylesheet_symlink_out", "{own}{doc}/linked.css", PageLoad::kStylesheet, false, Kind::kBlock},
    {"stylesheet_named_as_text", "{own}{doc}/notes.txt", PageLoad::kStylesheet, false,
     Kind::kBlock},
    {"font_inside", "{own}{doc}/face.ttf", PageLoad::kFont, false, Kind::kAllow},
    {"font_inside_file", "file://{doc}/face.ttf", PageLoad::kFont, false, Kind::kRedirect},
    {"font_outside", "file://{away}/font.woff", PageLoad::kFont, false, Kind::kBlock},
    // Nothing else reaches a local file, inside or not.
    {"media_inside", "{own}{doc}/clip.webm", PageLoad::kMedia, false, Kind::kBlock},
    {"media_outside", "file://{away}/pic.png", PageLoad::kMedia, false, Kind::kBlock},
    {"script_inside", "{own}{doc}/code.js", PageLoad::kScript, false, Kind::kBlock},
    {"xhr_inside", "{own}{doc}/data.json", PageLoad::kXhr, false, Kind::kBlock},
    {"xhr_inside_file", "file://{doc}/data.json", PageLoad::kXhr, false, Kind::kBlock},
    {"frame_inside", "{own}{doc}/page.html", PageLoad::kSubFrame, false, Kind::kBlock},
    {"worker_inside", "{own}{doc}/code.js", PageLoad::kWorker, false, Kind::kBlock},
    {"object_inside", "{own}{doc}/page.html", PageLoad::kObject, false, Kind::kBlock},
    {"image_as_frame", "{own}{doc}/logo.png", PageLoad::kSubFrame, false, Kind::kBlock},
};
INSTANTIATE_TEST_SUITE_P(LocalFiles, PageDecisionTest, testing::ValuesIn(kLocal),
                         [](const auto& info) { return std::string(info.param.name); });

// By address, never by spelling; every one of these is an address literal or
// a name this machine answers itself, so no lookup leaves it.
constexpr Row kNetwork[] = {
    {"ws_loopback", "ws://127.0.0.1:9/", PageLoad::kWebSocket, false, Kind::kBlock},
    {"ws_loopback_elsewhere_in_8", "ws://127.1.2.3:9/", PageLoad::kWebSocket, false, Kind::kBlock},
    {"ws_localhost", "ws://localhost:9/", PageLoad::kWebSocket, false, Kind::kBlock},
    {"ws_localhost_dot", "ws://localhost.:9/", PageLoad::kWebSocket, false, Kind::kBlock},
    {"ws_localhost_capitals", "wss://LOCALHOST:9/", PageLoad::kWebSocket, false, Kind::kBlock},
    {"ws_sub_localhost", "ws://db.localhost:9/", PageLoad::kWebSocket, false, Kind::kBlock},
    {"ws_ipv6_loopback", "ws://[::1]:9/", PageLoad::kWebSocket, false, Kind::kBlock},
    {"ws_ipv4_mapped_loopback", "ws://[::ffff:127.0.0.1]:9/", PageLoad::kWebSocket, false,
     Kind::kBlock},
    {"ws_unspecified", "ws://0.0.0.0:9/", PageLoad::kWebSocket, false, Kind::kBlock},
    {"ws_unspecified_v6", "ws://[::]:9/", PageLoad::kWebSocket, false, Kind::kBlock},
    {"ws_private_10", "ws://10.1.2.3/", PageLoad::kWebSocket, false, Kind::kBlock},
    {"ws_private_172_16", "ws://172.16.0.1/", PageLoad::kWebSocket, false, Kind::kBlock},
    {"ws_private_172_31", "ws://172.31.255.254/", PageLoad::kWebSocket, false, Kind::kBlock},
    {"ws_private_192_168", "ws://192.168.1.1/", PageLoad::kWebSocket, false, Kind::kBlock},
    {"ws_link_local", "ws://169.254.169.254/", PageLoad::kWebSocket, false, Kind::kBlock},
    {"ws_unique_local_v6", "ws://[fd12::1]/", PageLoad::kWebSocket, false, Kind::kBlock},
    {"ws_link_local_v6", "ws://[fe80::1]/", PageLoad::kWebSocket, false, Kind::kBlock},
    {"ws_public", "wss://93.184.216.34/", PageLoad::kWebSocket, false, Kind::kAllow},
    {"ws_just_past_172_16_12", "ws://172.32.0.1/", PageLoad::kWebSocket, false, Kind::kAllow},
    {"ws_public_v6", "wss://[2606:2800:220:1::1]/", PageLoad::kWebSocket, false, Kind::kAllow},
    {"xhr_to_loopback", "http://127.0.0.1:9/api", PageLoad::kXhr, false, Kind::kBlock},
    {"xhr_to_private", "https://192.168.0.10/api", PageLoad::kXhr, false, Kind::kBlock},
    {"beacon_to_localhost", "http://localhost:9/log", PageLoad::kPing, false, Kind::kBlock},
    {"xhr_to_public", "https://93.184.216.34/api", PageLoad::kXhr, false, Kind::kAllow},
    // A page opened from disk shows pictures and styles of a server here.
    {"image_from_loopback", "http://127.0.0.1:9/pic.png", PageLoad::kImage, false, Kind::kAllow},
    {"stylesheet_from_web", "https://example.org/s.css", PageLoad::kStylesheet, false,
     Kind::kAllow},
    {"link_to_web", "https://example.org/", PageLoad::kMainFrame, false, Kind::kAllow},
    {"data_image", "data:image/png;base64,AAAA", PageLoad::kImage, false, Kind::kAllow},
};
INSTANTIATE_TEST_SUITE_P(Network, PageDecisionTest, testing::ValuesIn(kNetwork),
                         [](const auto& info) { return std::string(info.param.name); });

// The host's own name, by the lookup the program makes: only where
// /etc/hosts names it, so that the test asks no name server.
TEST_F(PageDecisionTest, AWebSocketToTheHostsOwnNameIsRefused) {
  char name[HOST_NAME_MAX + 1] = {};
  ASSERT_EQ(::gethostname(name, sizeof name - 1), 0);
  std::ifstream hosts("/etc/hosts");
  std::string line;
  bool listed = false;
  while (std::getline(hosts, line) && !listed) {
    std::istringstream words(line.substr(0, line.find('#')));
    std::string word;
    words >> word;  // the address
    while (words >> word) listed = listed || word == name;
  }
  if (!listed) GTEST_SKIP() << name << " is not in /etc/hosts";
  for (const char* spelling : {"ws://%1:9/", "wss://%1/"}) {
    const QUrl url(QString::fromLatin1(spelling).arg(QString::fromLatin1(name).toUpper()));
    EXPECT_EQ(Judge(s_tree->registry.FactsOf(url, PageLoad::kWebSocket, s_tree->Result())).kind,
              Kind::kBlock)
        << spelling;
  }
}

// What a name server answers, taken as given: a name is judged by where it
// leads.
struct Resolved {
  const char* name;
  QList<QHostAddress> addresses;
  QList<QHostAddress> own;
  Kind kind;
};
std::ostream& operator<<(std::ostream& out, const Resolved& row) {
  return out << row.name;
}
class ResolvedNameTest : public testing::TestWithParam<Resolved> {};

TEST_P(ResolvedNameTest, JudgesTheAddressesANameLeadsTo) {
  PageFacts facts;
  facts.url = QUrl("wss://reports.example.com/feed");
  facts.load = PageLoad::kWebSocket;
  facts.addresses = GetParam().addresses;
  facts.ownAddresses = GetParam().own;
  EXPECT_EQ(Judge(facts).kind, GetParam().kind);
  facts.url = QUrl("https://reports.example.com/api");
  facts.load = PageLoad::kXhr;
  EXPECT_EQ(Judge(facts).kind, GetParam().kind);
}

const QHostAddress kPublic(QStringLiteral("203.0.113.7"));
INSTANTIATE_TEST_SUITE_P(
    Names, ResolvedNameTest,
    testing::Values(
        Resolved{"public", {kPublic}, {}, Kind::kAllow},
        Resolved{"unresolved", {}, {}, Kind::kBlock},
        Resolved{"to_loopback", {QHostAddress("127.0.0.1")}, {}, Kind::kBlock},
        Resolved{"to_a_private_network", {QHostAddress("10.9.8.7")}, {}, Kind::kBlock},
        Resolved{"public_and_private", {kPublic, QHostAddress("192.168.4.4")}, {}, Kind::kBlock},
        Resolved{"to_this_machines_public_address", {kPublic}, {kPublic}, Kind::kBlock},
        Resolved{"mapped_to_this_machine",
                 {QHostAddress("::ffff:203.0.113.7")},
                 {kPublic},
                 Kind::kBlock},
        Resolved{"own_link_local_with_scope", {QHostAddress("fe80::5%eth0")}, {}, Kind::kBlock}),
    [](const auto& info) { return std::string(info.param.name); });

// The handler's answer to what the interceptor let through.
struct AnswerRow {
  const char* name;
  PageServed served;
  bool origin;
  bool registered;
  PageAnswer answer;
};
std::ostream& operator<<(std::ostream& out, const AnswerRow& row) {
  return out << row.name;
}
class HandlerAnswerTest : public testing::TestWithParam<AnswerRow> {};
TEST_P(HandlerAnswerTest, RefusesAPictureInCorsMode) {
  const AnswerRow& row = GetParam();
  EXPECT_EQ(Answer(row.served, row.origin, row.registered), row.answer);
}
INSTANTIATE_TEST_SUITE_P(
    Answers, HandlerAnswerTest,
    testing::Values(
        AnswerRow{"crossorigin_picture", PageServed::kPicture, true, false, PageAnswer::kRefuse},
        AnswerRow{"plain_picture", PageServed::kPicture, false, false, PageAnswer::kToFile},
        // Fonts always come in cors mode, from the page's own origin.
        AnswerRow{"font", PageServed::kFile, true, false, PageAnswer::kFile},
        AnswerRow{"the_result", PageServed::kPage, false, true, PageAnswer::kPage},
        AnswerRow{"a_file_gone_to", PageServed::kPage, false, false, PageAnswer::kFile}),
    [](const auto& info) { return std::string(info.param.name); });

// What the handler serves a page as: the charset as a plain token only,
// and the program's own output cut at the limit as text unless it is HTML.
struct ServedRow {
  const char* name;
  PageKind kind;
  QByteArray charset;
  bool cut;
  QByteArray type;
};
std::ostream& operator<<(std::ostream& out, const ServedRow& row) {
  return out << row.name;
}
class ServedTypeTest : public testing::TestWithParam<ServedRow> {};
TEST_P(ServedTypeTest, NamesTheTypeAndAPlainCharset) {
  const ServedRow& row = GetParam();
  EXPECT_EQ(ContentTypeOf(row.kind, row.charset, row.cut), row.type);
}
INSTANTIATE_TEST_SUITE_P(
    Types, ServedTypeTest,
    testing::Values(ServedRow{"html", PageKind::kHtml, "UTF-8", false, "text/html; charset=UTF-8"},
                    ServedRow{"cut_html_stays_html", PageKind::kHtml, "ISO-8859-1", true,
                              "text/html; charset=ISO-8859-1"},
                    ServedRow{"cut_xml_is_text", PageKind::kXml, "UTF-8", true,
                              "text/plain; charset=UTF-8"},
                    ServedRow{"charset_with_a_parameter", PageKind::kXhtml, "utf-8; x=y", false,
                              "application/xhtml+xml; charset=UTF-8"},
                    ServedRow{"charset_ending_the_header", PageKind::kHtml,
                              "utf-8\r\nSet-Cookie: a=b", false, "text/html; charset=UTF-8"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ServedFile, ANameThatSaysNothingIsTextAndPagesOfOursKeepNoCookies) {
  EXPECT_EQ(FileContentType("application/octet-stream"), "text/plain");
  EXPECT_EQ(FileContentType("text/css"), "text/css");
  EXPECT_FALSE(KeepsCookies(PageRegistry::PageUrl("/doc", "result.tmp")));
  EXPECT_FALSE(KeepsCookies(QUrl::fromLocalFile("/doc/page.html")));
  EXPECT_TRUE(KeepsCookies(QUrl("https://example.org/")));
}

// What the handler opens for a file it serves: judged on what it opens, so
// a link that leads out of the job's folders, or what is no file, is not
// read however the request was judged before.
struct OpenRow {
  const char* name;
  const char* path;
  OpenedFile::Outcome outcome;
};
std::ostream& operator<<(std::ostream& out, const OpenRow& row) {
  return out << row.name;
}
class ServedOpenTest : public testing::TestWithParam<OpenRow> {};
TEST_P(ServedOpenTest, OpensOnlyWhatThePolicyLetsBeRead) {
  JobTree tree;
  EXPECT_EQ(tree.registry.Open(tree.Path(GetParam().path)).outcome, GetParam().outcome);
}
INSTANTIATE_TEST_SUITE_P(
    Files, ServedOpenTest,
    testing::Values(OpenRow{"inside", "doc/page.html", OpenedFile::Outcome::kOpened},
                    OpenRow{"link_out_of_the_folders", "doc/link-out.html",
                            OpenedFile::Outcome::kRefused},
                    OpenRow{"a_folder", "doc/sub", OpenedFile::Outcome::kRefused},
                    OpenRow{"outside", "away/out.html", OpenedFile::Outcome::kRefused},
                    OpenRow{"missing", "doc/gone.html", OpenedFile::Outcome::kMissing}),
    [](const auto& info) { return std::string(info.param.name); });

// The way back from our handler to a picture's file: URL takes one pass,
// once, for that one path.
TEST(PagePass, LetsOneRequestForItsPathThrough) {
  JobTree tree;
  const QUrl result = tree.Result();
  auto withPass = [&](const QString& name, const QString& pass) {
    QUrl url = QUrl::fromLocalFile(tree.Path(name));
    url.setQuery(QString::fromLatin1(kPassKey) + "=" + pass);
    return url;
  };
  const QString logo = tree.Path("doc/logo.png");
  const QString pass = tree.registry.IssuePass(logo);
  // Another path with this pass: back to our handler, and the pass stays.
  EXPECT_EQ(
      tree.registry.Decide(withPass("doc/style.css", pass), PageLoad::kStylesheet, result).kind,
      Kind::kRedirect);
  EXPECT_EQ(tree.registry.Decide(withPass("doc/logo.png", "0123"), PageLoad::kImage, result).kind,
            Kind::kRedirect);
  const PageDecision first =
      tree.registry.Decide(withPass("doc/logo.png", pass), PageLoad::kImage, result);
  EXPECT_EQ(first.kind, Kind::kAllow);
  EXPECT_TRUE(first.usesPass);
  EXPECT_EQ(tree.registry.Decide(withPass("doc/logo.png", pass), PageLoad::kImage, result).kind,
            Kind::kRedirect);
  // Our handler answers what was let through, once.
  const QUrl own = tree.Expand("{own}{doc}/logo.png");
  ASSERT_EQ(tree.registry.Decide(own, PageLoad::kImage, result).kind, Kind::kAllow);
  PageServed served = PageServed::kFile;
  EXPECT_TRUE(tree.registry.TakePermit(own, served));
  EXPECT_EQ(served, PageServed::kPicture);
  EXPECT_FALSE(tree.registry.TakePermit(own, served));
}

TEST(PageFolders, NothingIsReadableBeforeAJobNamesItsFolders) {
  JobTree tree;
  PageRegistry fresh;
  const QUrl page = QUrl::fromLocalFile(tree.Path("doc/page.html"));
  EXPECT_EQ(fresh.Decide(page, PageLoad::kMainFrame, QUrl()).kind, Kind::kBlock);
  fresh.SetReadPolicy(Readable({tree.Path("doc")}));
  EXPECT_EQ(fresh.Decide(page, PageLoad::kMainFrame, QUrl()).kind, Kind::kRedirect);
  fresh.SetReadPolicy(Readable({tree.Path("styles")}));
  EXPECT_EQ(fresh.Decide(page, PageLoad::kMainFrame, QUrl()).kind, Kind::kBlock);
}

}  // namespace
