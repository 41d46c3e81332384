#include <algorithm>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "main_window/frmMain.h"
#include "platform/FileSystem.h"
#include "platform/RuntimeError.h"
#include "support/Fakes.h"
#include "support/FakeWindow.h"
#include "support/TempDir.h"
#include "transform/Transform.h"

namespace xmlpellor::test {
namespace {

// File services that keep a journal shared with the browser, so a test sees
// the order of deletes, writes and navigations, with failures to switch on.
class RecordingFileSystem final : public IFileSystem {
 public:
  explicit RecordingFileSystem(std::vector<std::string>& journal) : m_journal(journal) {}

  bool failCreate = false;
  bool failKill = false;
  bool failWrite = false;
  int created = 0;

  std::string TempPath() override { return "/tmp/"; }
  std::string CreateUniqueFile(const std::string& directory, const std::string& prefix) override {
    m_journal.push_back("create " + directory + prefix);
    if (failCreate) throw RuntimeError(err::kPathNotFound, "Path not found");
    return directory + prefix + std::to_string(++created) + ".tmp";
  }
  void Kill(const std::string& path) override {
    m_journal.push_back("kill " + path);
    if (failKill) throw RuntimeError(err::kFileNotFound, "File not found");
  }
  void WriteText(const std::string& path, std::string_view text) override {
    m_journal.push_back("write " + path + " [" + std::string(text) + "]");
    if (failWrite || path.empty()) throw RuntimeError(err::kBadFileNameOrNumber, "Bad file name or number");
  }
  std::string HomePath() override { return "/home/ann"; }

 private:
  std::vector<std::string>& m_journal;
};

struct Window : FakeWindowControls {
  ReportHarness h;
  std::vector<std::string> journal;
  RecordingFileSystem fs{journal};
  FakeFileWatcher watcher;
  FakeProgress progress;
  FakeRunMessages messages;
  FakeEditor editor;
  frmMain frm{{h.errors, h.app, fs, h.worker, h.engine, watcher, progress, messages, &editor},
              Controls()};

  Window() {
    h.app.path = "/opt/pellor";
    wbr.onNavigate = [this](const std::string& url) { journal.push_back("navigate " + url); };
  }
  // What the transformation gives for these paths, whatever it is built to do.
  std::string Transformed(const std::string& xml, const std::string& xsl) {
    return ToString(transform::CreateHTMLFromXMLXSL(h.errors, h.worker, h.engine, xml, xsl, Variant{}));
  }
};

TEST(FormLoad, ShowsTheStartPageThenObtainsTheTemporaryFile) {
  Window w;
  w.frm.Form_Load();
  EXPECT_EQ(w.journal, (std::vector<std::string>{"navigate /opt/pellor/yabxmlpellor.htm",
                                                  "create /tmp/xml"}));
  EXPECT_EQ(w.frm.TempFile(), "/tmp/xml1.tmp");
  EXPECT_EQ(w.h.Reports(), 0u);
}

TEST(FormLoad, AFailureLeavesTheTemporaryFileUnsetAfterOneReport) {
  struct Case {
    const char* name;
    void (*arrange)(Window&);
    std::vector<std::string> journal;
  };
  const Case cases[] = {
      {"browser refuses", [](Window& w) { w.wbr.onNavigate = [](const std::string&) { throw RuntimeError(438, "Object doesn't support this property or method"); }; },
       {}},
      {"no temporary file", [](Window& w) { w.fs.failCreate = true; },
       {"navigate /opt/pellor/yabxmlpellor.htm", "create /tmp/xml"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Window w;
    c.arrange(w);
    w.frm.Form_Load();
    EXPECT_EQ(w.frm.TempFile(), "");
    EXPECT_EQ(w.h.Reports(), 1u);
    EXPECT_EQ(w.journal, c.journal);
  }
}

TEST(FormLoad, AnUnknownExecutableFolderStillNavigatesWithTheEmptyPath) {
  Window w;
  w.h.app.failPath = true;
  w.frm.Form_Load();
  ASSERT_EQ(w.wbr.navigations.size(), 1u);
  EXPECT_EQ(w.wbr.navigations[0], "");
  EXPECT_EQ(w.frm.TempFile(), "/tmp/xml1.tmp");
  EXPECT_EQ(w.h.Reports(), 1u);
}

TEST(Apply, DeletesTransformsWritesAndNavigatesInThatOrder) {
  Window w;
  w.frm.Form_Load();
  w.journal.clear();
  w.txtXml.text = "  /data/a b.xml ";
  w.txtXsl.text = "/data/s.xsl";
  w.frm.cmdApplyXsl_Click();
  const std::string text = w.Transformed("/data/a b.xml", "/data/s.xsl");
  EXPECT_EQ(w.journal, (std::vector<std::string>{"kill /tmp/xml1.tmp",
                                                  "write /tmp/xml1.tmp [" + text + "]",
                                                  "navigate /tmp/xml1.tmp"}));
  EXPECT_EQ(w.h.Reports(), 0u);

  // A second press reuses the same path.
  w.journal.clear();
  w.frm.cmdApplyXsl_Click();
  EXPECT_EQ(w.journal.front(), "kill /tmp/xml1.tmp");
  EXPECT_EQ(w.journal.back(), "navigate /tmp/xml1.tmp");
}

TEST(Apply, ReadsATildeInEitherBoxAsTheHomeFolder) {
  Window w;
  w.frm.Form_Load();
  w.journal.clear();
  w.txtXml.text = " ~/in/a.xml";
  w.txtXsl.text = "~/s.xsl";
  w.frm.cmdApplyXsl_Click();
  ASSERT_EQ(w.journal.size(), 3u);
  EXPECT_EQ(w.journal[1], "write /tmp/xml1.tmp [" + w.Transformed("/home/ann/in/a.xml", "/home/ann/s.xsl") + "]");
  // The page may go only where the job may read; folders that do not exist
  // are no place to go.
  EXPECT_EQ(w.wbr.pages.back().reads, w.h.engine.PolicyFor("/home/ann/in/a.xml", "/home/ann/s.xsl"));
}

TEST(Apply, TrimsOnlyTheSpaceCharacter) {
  struct Case {
    const char* in;
    const char* out;
  } const cases[] = {
      {"", ""},
      {"   ", ""},
      {"a.xml", "a.xml"},
      {"  a.xml  ", "a.xml"},
      {" my file.xml ", "my file.xml"},
      {"\ta.xml", "\ta.xml"},
      {"a.xml\n", "a.xml\n"},
      {" \t a.xml \t ", "\t a.xml \t"},
      {"\xC2\xA0" "a.xml", "\xC2\xA0" "a.xml"},  // a no-break space stays
  };
  for (const auto& c : cases) EXPECT_EQ(TrimSpaces(c.in), c.out) << '"' << c.in << '"';
}

TEST(Apply, AFailingWriteIsReportedOnceAndTheBrowserKeepsItsPage) {
  Window w;
  w.frm.Form_Load();
  w.wbr.navigations.clear();
  w.fs.failWrite = true;
  w.frm.cmdApplyXsl_Click();
  EXPECT_EQ(w.h.Reports(), 1u);
  EXPECT_TRUE(w.wbr.navigations.empty());
}

TEST(Apply, WithoutATemporaryFileEveryPressReports) {
  Window w;
  w.fs.failCreate = true;
  w.frm.Form_Load();
  ASSERT_EQ(w.h.Reports(), 1u);
  w.wbr.navigations.clear();
  w.journal.clear();
  for (int press = 1; press <= 3; ++press) {
    w.frm.cmdApplyXsl_Click();
    EXPECT_EQ(w.h.Reports(), 1u + press);
  }
  EXPECT_TRUE(w.wbr.navigations.empty());
  for (const std::string& entry : w.journal) EXPECT_NE(entry.rfind("kill", 0), 0u) << entry;
}

TEST(Apply, AFileDeletedFromOutsideIsReportedAndTheResultStillShown) {
  Window w;
  w.frm.Form_Load();
  w.wbr.navigations.clear();
  w.fs.failKill = true;
  w.frm.cmdApplyXsl_Click();
  EXPECT_EQ(w.h.Reports(), 1u);
  EXPECT_EQ(w.wbr.navigations, std::vector<std::string>{"/tmp/xml1.tmp"});
}

TEST(FormUnload, DeletesTheFileAndNeverCancels) {
  Window w;
  w.frm.Form_Load();
  w.journal.clear();
  std::int16_t cancel = 0;
  w.frm.Form_Unload(cancel);
  EXPECT_EQ(cancel, 0);
  EXPECT_EQ(w.journal, std::vector<std::string>{"kill /tmp/xml1.tmp"});
  EXPECT_EQ(w.h.Reports(), 0u);
}

TEST(FormUnload, WithoutAFileDeletesNothingAndReportsNothing) {
  Window w;
  std::int16_t cancel = 0;
  w.frm.Form_Unload(cancel);
  EXPECT_EQ(cancel, 0);
  EXPECT_TRUE(w.journal.empty());
  EXPECT_EQ(w.h.Reports(), 0u);
}

TEST(FormUnload, AFileThatWillNotGoIsReportedAndTheWindowStillCloses) {
  Window w;
  w.frm.Form_Load();
  w.fs.failKill = true;
  std::int16_t cancel = 0;
  w.frm.Form_Unload(cancel);
  EXPECT_EQ(cancel, 0);
  EXPECT_EQ(w.h.Reports(), 1u);
}

// The files of a stylesheet's edit-save loop, written for real, since the
// transformation reads them.
struct Loop : Window {
  TempDir dir;
  Loop() {
    dir.Write("d.xml", "<d>day</d>");
    Save("<xsl:template match='/'><p>fine</p></xsl:template>");
    txtXml.text = dir.File("d.xml");
    txtXsl.text = dir.File("s.xsl");
    frm.Form_Load();
    journal.clear();
    // As the window wires it.
    watcher.OnChanged([this] { frm.FollowedFileSaved(); });
  }
  void Save(const std::string& body) {
    dir.Write("s.xsl", "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>" + body +
                           "</xsl:stylesheet>");
  }
  // What the last Apply wrote.
  std::string Shown() const {
    for (auto it = journal.rbegin(); it != journal.rend(); ++it) {
      if (it->rfind("write ", 0) == 0) return it->substr(it->find('['));
    }
    return {};
  }
};

constexpr const char* kBroken = "<xsl:template match='/'><xsl:value-of select='1 &lt; (('/></xsl:template>";

TEST(Follow, WatchesWhatTheLastApplyReadUntilABoxChanges) {
  struct Case {
    const char* name;
    void (*act)(Loop&);
    bool xml, xsl;
    std::vector<std::string> read;
  };
  const Case cases[] = {
      {"after a failing Apply", [](Loop& l) { l.Save(kBroken); l.frm.cmdApplyXsl_Click(); }, true, true, {}},
      {"with the files the run read", [](Loop& l) { l.frm.cmdApplyXsl_Click(); l.frm.FollowFiles({"/i.xsl", "/d.dtd"}); },
       true, true, {"/i.xsl", "/d.dtd"}},
      {"not after a box changed", [](Loop& l) { l.frm.cmdApplyXsl_Click(); l.frm.txtXml_Change(); }, false, false, {}},
      {"never when turned off", [](Loop& l) { l.frm.SetFollowing(false); l.frm.cmdApplyXsl_Click(); l.frm.FollowFiles({"/i.xsl"}); },
       false, false, {}},
      {"nothing of an empty box", [](Loop& l) { l.txtXml.text = "  "; l.frm.cmdApplyXsl_Click(); }, false, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Loop l;
    c.act(l);
    std::vector<std::string> expected;
    if (c.xml) expected.push_back(l.dir.File("d.xml"));
    if (c.xsl) expected.push_back(l.dir.File("s.xsl"));
    expected.insert(expected.end(), c.read.begin(), c.read.end());
    EXPECT_EQ(l.watcher.watched, expected);
  }
}

TEST(Follow, AFailureShowsInThePageAndOnlyTheUsersApplyGetsTheBox) {
  for (const bool bySave : {false, true}) {
    SCOPED_TRACE(bySave ? "by a save" : "by the button");
    Loop l;
    l.Save(kBroken);
    bySave ? l.frm.FollowedFileSaved() : l.frm.cmdApplyXsl_Click();
    EXPECT_EQ(l.h.Reports(), bySave ? 0u : 1u);
    EXPECT_EQ(l.h.app.entries.size(), 1u);  // the log keeps it either way
    EXPECT_EQ(l.h.app.printed.size(), 1u);
    const std::string page = l.Shown();
    EXPECT_NE(page.find("Run-time error '"), std::string::npos) << page;
    EXPECT_NE(page.find("s.xsl"), std::string::npos) << page;
    EXPECT_NE(page.find("1 &lt; (("), std::string::npos) << "not escaped: " << page;
    EXPECT_EQ(l.wbr.pages.back().scrollKey, "");

    // Mended and saved: the result replaces the error, and keeps its place.
    l.Save("<xsl:template match='/'><p>mended</p></xsl:template>");
    l.frm.FollowedFileSaved();
    EXPECT_NE(l.Shown().find("mended"), std::string::npos);
    EXPECT_EQ(l.wbr.pages.back().scrollKey, l.dir.File("d.xml") + "\n" + l.dir.File("s.xsl"));
  }
}

// Runs a hook before its first job, so a test can act while an Apply runs.
class HookedWorker final : public IWorker {
 public:
  std::function<void()> before;
  void Run(const std::function<void()>& job) override {
    if (before) std::exchange(before, nullptr)();
    m_inner.Run(job);
  }
  StopToken& Token() noexcept override { return m_inner.Token(); }

 private:
  BlockingWorker m_inner;
};

TEST(Follow, SavesDuringAnApplyApplyOnceMoreAfterIt) {
  Loop l;
  HookedWorker worker;
  frmMain frm{{l.h.errors, l.h.app, l.fs, worker, l.h.engine, l.watcher, l.progress, l.messages},
              l.Controls()};
  frm.Form_Load();
  worker.before = [&] { frm.FollowedFileSaved(), frm.FollowedFileSaved(); };
  frm.cmdApplyXsl_Click();
  std::vector<std::string> runs = l.progress.shown;
  std::erase_if(runs, [](const std::string& step) { return step != "begin" && step != "end"; });
  EXPECT_EQ(runs, (std::vector<std::string>{"begin", "end", "begin", "end"}));
  EXPECT_NE(std::find(l.progress.shown.begin(), l.progress.shown.end(), "Compiling the stylesheet 0/0"),
            l.progress.shown.end());
}

// Nothing a save or a run says may go unseen: what the stylesheet said is in
// the window for every run, a save while the box is open is applied once
// it closes, and a page that cannot be written says so without a box.
TEST(Loop, NothingIsLostOrHidden) {
  struct Case {
    const char* name;
    const char* body;                                // the stylesheet at the Apply
    void (*during)(Loop&);                           // while the box is open, if one opens
    void (*arrange)(Loop&);                          // before the Apply
    bool bySave;
    std::vector<std::string> lines;                  // the window shows of the run
    std::size_t boxes;
    const char* shown;                               // in the page written last
    bool notice;                                     // that the result was not written
  };
  const char* const twoMessages =
      "<xsl:template match='/'><xsl:message>one</xsl:message><xsl:message>two &amp; more</xsl:message>"
      "<p>said</p></xsl:template>";
  const Case cases[] = {
      {"a successful run's messages", twoMessages, nullptr, nullptr, false, {"one", "two & more"}, 0, "said", false},
      {"messages of a run that then fails",
       "<xsl:template match='/'><xsl:message>before</xsl:message><xsl:message terminate='yes'>end</xsl:message>"
       "</xsl:template>",
       nullptr, nullptr, true, {"before", "end"}, 0, "before", false},
      {"a save while the first Apply's box is open", kBroken,
       [](Loop& l) {
         l.Save("<xsl:template match='/'><xsl:message>mended</xsl:message><p>mended</p></xsl:template>");
         l.watcher.Saved(l.dir.File("s.xsl"));
       },
       nullptr, false, {"mended"}, 1, "mended", false},
      {"a followed save that cannot write its page", twoMessages, nullptr,
       [](Loop& l) { l.frm.cmdApplyXsl_Click(), l.fs.failWrite = true; }, true, {"one", "two & more"}, 0, "said", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Loop l;
    l.Save(c.body);
    if (c.during) l.h.box.onShow = [&l, &c] { std::exchange(l.h.box.onShow, nullptr), c.during(l); };
    if (c.arrange) c.arrange(l);
    const std::size_t navigations = l.wbr.navigations.size();
    const int clears = l.messages.clears;
    c.bySave ? l.frm.FollowedFileSaved() : l.frm.cmdApplyXsl_Click();
    EXPECT_GT(l.messages.clears, clears) << "cleared at each Apply";
    EXPECT_EQ(l.messages.lines, c.lines);
    EXPECT_EQ(l.h.Reports(), c.boxes);
    EXPECT_NE(l.Shown().find(c.shown), std::string::npos) << l.Shown();
    if (c.notice) {
      ASSERT_EQ(l.messages.notices.size(), 1u);
      EXPECT_NE(l.messages.notices[0].find("Bad file name or number"), std::string::npos) << l.messages.notices[0];
      EXPECT_EQ(l.wbr.navigations.size(), navigations) << "the last page stays";
      EXPECT_NE(l.h.app.printed.back().find("could not be shown: Bad file name"), std::string::npos);
    } else {
      EXPECT_TRUE(l.messages.notices.empty());
    }
  }
}

// What the page of a failed Apply says, in order, what it must not say
// twice, and the one line the terminal gets. "{dir}" is the folder of the
// two files.
struct PageCase {
  const char* name;
  std::string xsl;                   // the stylesheet's top-level content
  std::vector<std::string> inOrder;  // on the page, one after the other
  std::vector<std::string> once;     // on the page exactly once
  std::vector<std::string> boxHas;   // in the box's text
  std::string printed;               // begins the line on stderr
};

std::string Many(int count) {
  return "<xsl:template match='/'><xsl:call-template name='m'/></xsl:template>"
         "<xsl:template name='m'><xsl:param name='i' select='1'/>"
         "<xsl:message>m<xsl:value-of select='$i'/></xsl:message>"
         "<xsl:if test='$i &lt; " +
         std::to_string(count) +
         "'><xsl:call-template name='m'>"
         "<xsl:with-param name='i' select='$i + 1'/></xsl:call-template></xsl:if>"
         "<xsl:if test='$i = " +
         std::to_string(count) +
         "'>"
         "<xsl:message terminate='yes'>the end</xsl:message></xsl:if></xsl:template>";
}

void Replace(std::string& text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

TEST(ErrorPage, SaysTheReasonThenWhereThenTheMessagesAndTheNumberLast) {
  const PageCase cases[] = {
      {"compile error",
       kBroken,
       {"<h1", "could not be compiled</h1>", "could not compile select expression '1 &lt; (('",
        "File <code>{dir}/s.xsl</code>, line 1", "Messages of this run", "Invalid expression",
        "<small>[libxslt] Run-time error '-2147467259'</small>"},
       {"could not compile select expression"},
       {"[libxslt]", "Run-time error '-2147467259':", "could not compile select expression"},
       "xmlpellor: {dir}/s.xsl:1: The stylesheet could not be compiled: xsl:value-of"},
      {"run-time error",
       "<xsl:template match='/'><xsl:message>before</xsl:message>\n"
       "<xsl:value-of select='no-such-function()'/></xsl:template>",
       {"The transformation was stopped</h1>", "<b>XPath evaluation returned no result.</b>",
        "File <code>{dir}/s.xsl</code>, line 2", "Messages of this run", "before",
        "function no-such-function not found", "Run-time error '"},
       {"before", "XPath evaluation returned no result.", "line 2"},
       {},
       "xmlpellor: {dir}/s.xsl:2: The transformation was stopped: XPath evaluation"},
      {"terminating message after many",
       Many(300),
       {"The transformation was stopped</h1>", "<b>the end</b>", "Messages of this run", "m1\n",
        "m100\n", "(101 more messages)", "m300\n", "Run-time error '"},
       {"the end", "m300\n"},
       {"m1\n", "m6\n(289 more messages)\nm296\n", "m300\nthe end"},
       "xmlpellor: The transformation was stopped: the end"},
      {"a long message",
       "<xsl:template match='/'><xsl:message terminate='yes'>" + std::string(200000, 'x') +
           ":1: x</xsl:message></xsl:template>",
       {"The transformation was stopped</h1>", "<b>xxxx", "Run-time error '"},
       {":1: x</b>"},
       {},
       "xmlpellor: The transformation was stopped: xxxx"},
      {"include cycle",
       "<xsl:include href='s.xsl'/><xsl:template match='/'/>",
       {"go round in a circle</h1>", "{dir}/s.xsl includes {dir}/s.xsl", "Run-time error '"},
       {"includes"},
       {"{dir}/s.xsl includes {dir}/s.xsl"},
       "xmlpellor: The stylesheet could not be compiled: its xsl:include"},
  };
  for (const PageCase& c : cases) {
    SCOPED_TRACE(c.name);
    Loop l;
    const std::string dir = std::filesystem::canonical(l.dir.path()).string();
    l.Save(c.xsl);
    l.frm.cmdApplyXsl_Click();
    const std::string page = l.Shown();
    auto expand = [&](std::string text) {
      Replace(text, "{dir}", dir);
      return text;
    };
    std::size_t at = 0;
    for (const std::string& piece : c.inOrder) {
      const std::size_t found = page.find(expand(piece), at);
      ASSERT_NE(found, std::string::npos)
          << "\"" << expand(piece) << "\" after " << at << " in " << page;
      at = found + 1;
    }
    for (const std::string& piece : c.once) {
      const std::size_t first = page.find(piece);
      EXPECT_NE(first, std::string::npos) << piece;
      EXPECT_EQ(page.find(piece, first + 1), std::string::npos)
          << "twice: " << piece << " in " << page;
    }
    ASSERT_EQ(l.h.Reports(), 1u);
    for (const std::string& piece : c.boxHas) {
      std::string box = l.h.box.shown[0].prompt;
      Replace(box, "\r\n", "\n");
      EXPECT_NE(box.find(expand(piece)), std::string::npos) << expand(piece) << " in " << box;
    }
    ASSERT_EQ(l.h.app.printed.size(), 1u);
    const std::string& printed = l.h.app.printed[0];
    EXPECT_EQ(printed.rfind(expand(c.printed), 0), 0u) << printed;
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
  }
}

// The error's place is a link the window opens in the editor; nothing else
// a page links to opens anything, and an editor that fails is said in the
// strip, once a click, never in a box.
TEST(ErrorPage, OpensOnlyItsOwnPlaceInTheEditor) {
  struct Case {
    const char* name;
    bool failingEditor;
    bool applyAgain;         // a result replaced the error page
    const char* file;        // below the test's folder; "/..." as it is
    long line;
    std::vector<std::string> opened;
    std::size_t notices;
  };
  const Case cases[] = {
      {"the error's place", false, false, "s.xsl", 1, {"{dir}/s.xsl:1"}, 0},
      {"another line", false, false, "s.xsl", 2, {}, 0},
      {"another file", false, false, "/etc/passwd", 1, {}, 0},
      {"after a result", false, true, "s.xsl", 1, {}, 0},
      {"an editor that fails", true, false, "s.xsl", 1, {"{dir}/s.xsl:1", "{dir}/s.xsl:1"}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Loop l;
    const std::string dir = std::filesystem::canonical(l.dir.path()).string();
    l.editor.fail = c.failingEditor;
    l.Save(kBroken);
    l.frm.cmdApplyXsl_Click();
    EXPECT_NE(l.Shown().find(LineLink(dir + "/s.xsl", 1)), std::string::npos) << l.Shown();
    if (c.applyAgain) {
      l.Save("<xsl:template match='/'><p>fine</p></xsl:template>");
      l.frm.cmdApplyXsl_Click();
    }
    const std::size_t reports = l.h.Reports();
    const std::string file = c.file[0] == '/' ? c.file : dir + "/" + c.file;
    l.frm.PageLineLinkActivated(file, c.line);
    if (c.failingEditor) l.frm.PageLineLinkActivated(file, c.line);
    std::vector<std::string> expected;
    for (std::string opened : c.opened) {
      Replace(opened, "{dir}", dir);
      expected.push_back(opened);
    }
    EXPECT_EQ(l.editor.opened, expected);
    EXPECT_EQ(l.messages.notices.size(), c.notices);
    EXPECT_EQ(l.h.Reports(), reports);
  }
}

TEST(ErrorPage, ADocumentThatDoesNotLoadOpensAtItsLine) {
  Loop l;
  l.dir.Write("d.xml", "<d>\n<e></d>");
  l.frm.cmdApplyXsl_Click();
  const std::string dir = std::filesystem::canonical(l.dir.path()).string();
  EXPECT_EQ(l.Shown().rfind("[Error in line 2 of ", 0), 0u) << l.Shown();
  EXPECT_NE(l.Shown().find(LineLink(dir + "/d.xml", 2)), std::string::npos) << l.Shown();
  l.frm.PageLineLinkActivated(dir + "/d.xml", 2);
  EXPECT_EQ(l.editor.opened, std::vector<std::string>{dir + "/d.xml:2"});
}

TEST(Profile, AfterEachApplyGoesToStderrWithTheCounts) {
  Loop l;
  l.Save("<xsl:template match='/'><xsl:apply-templates select='d'/></xsl:template>"
         "<xsl:template match='d'><xsl:message>said once</xsl:message><p/></xsl:template>");
  l.frm.SetProfileAfterApply(true);
  std::vector<ProfileReport> reports;
  l.frm.OnProfiled([&](const ProfileReport& report) { reports.push_back(report); });
  l.frm.cmdApplyXsl_Click();
  ASSERT_EQ(reports.size(), 1u);
  ASSERT_TRUE(reports[0].profile.has_value()) << reports[0].problem;
  ASSERT_EQ(reports[0].profile->templates.size(), 2u);
  EXPECT_EQ(reports[0].profile->templates[1].match, "d");
  EXPECT_EQ(reports[0].profile->templates[1].calls, 1u);
  // The profiled run says nothing the Apply had said already.
  EXPECT_EQ(l.messages.lines, std::vector<std::string>{"said once"});
  ASSERT_EQ(l.h.app.printed.size(), 1u);
  EXPECT_NE(l.h.app.printed[0].find("profile of " + l.dir.File("s.xsl") + " (libxslt)"),
            std::string::npos)
      << l.h.app.printed[0];
  EXPECT_NE(l.h.app.printed[0].find("match=\"d\""), std::string::npos) << l.h.app.printed[0];
  // A failed Apply has nothing to profile.
  l.Save(kBroken);
  l.frm.cmdApplyXsl_Click();
  EXPECT_EQ(reports.size(), 1u);
}

TEST(ErrorPage, StopsAndDocumentsThatDoNotLoadAreSaidOnStderrInOneLine) {
  Loop l;
  // A name that would colour the terminal.
  l.dir.Write("d\x1b[31m.xml", "<d>\n<e></d>");
  l.txtXml.text = l.dir.File("d\x1b[31m.xml");
  l.frm.cmdApplyXsl_Click();
  ASSERT_EQ(l.h.app.printed.size(), 1u);
  const std::string& printed = l.h.app.printed[0];
  EXPECT_EQ(printed.rfind("xmlpellor: " + l.dir.File("d^[[31m.xml") + ":2: ", 0), 0u) << printed;
  EXPECT_EQ(printed.find('\x1b'), std::string::npos) << printed;
  EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
}

}  // namespace
}  // namespace xmlpellor::test
