// Times the window as the program builds it (not a test; run it by hand on
// an X server, e.g. `xvfb-run -a build/measure_window`, or offscreen):
//   painted_ms     process start to the window's first paint
//   window_ms      process start to the window shown on the screen, as a
//                  poll of the event loop sees it (after whatever work was
//                  queued behind the paint)
//   start_page_ms  process start to the start page loaded in it
//   <example>      press of Apply to the result page loaded, for the first
//                  press and the later ones, with the examples beside the
//                  executable
//   save <example> the stylesheet written anew, as an editor saves it, to
//                  the result the window applied on its own loaded
//   large          press of Apply to a page of about 5 MB written, to its
//                  first contentful paint and to the page loaded
//   file: large    the same page from its file: URL, in a view of the same
//                  size of a profile without the program's handler, and
//   bare scheme large  through a scheme handler that only replies with the
//                  page in one buffer: load to first contentful paint and to
//                  the page loaded
//   saxon          the same for an XSLT 3.0 stylesheet, small and large,
//                  with the engine started ahead as typing does it, and the
//                  resident memory of a Saxon engine waiting for its job
//   origins <example>  entering "Where did this come from?" after an Apply
//                  to the marked page loaded (the job run again, marked)
// All in milliseconds.
#include <QApplication>
#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSize>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>
#include <QWindow>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <unistd.h>
#include <vector>

#include "main_window/QtMainWindow.h"
#include "main_window/QtProgram.h"
#include "platform/qt/page_tools/QtOriginMode.h"

using namespace xmlpellor;

namespace {

// Milliseconds since this process began, from the kernel's own record.
double SinceProcessStart() {
  std::ifstream stat("/proc/self/stat");
  std::string field;
  for (int i = 0; i < 22 && stat >> field; ++i) {
  }
  const double startSeconds = std::stod(field) / static_cast<double>(::sysconf(_SC_CLK_TCK));
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  return (static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9 - startSeconds) *
         1000.0;
}

// Runs the event loop until `done` holds or the time runs out. A real event
// loop, not QTest::qWaitFor: the engine's work is paced by Qt's event loop,
// and qWaitFor's sleeps between rounds stretch every page load to seconds.
bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (done()) loop.quit();
  });
  poll.start(1);
  QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
  if (!done()) loop.exec();
  return done();
}

// A document and a stylesheet whose output is an indented HTML table of
// about `bytes` bytes.
bool WriteLargePair(const QString& folder, int bytes) {
  QFile xml(folder + QStringLiteral("/large.xml"));
  QFile xsl(folder + QStringLiteral("/large.xsl"));
  if (!xml.open(QIODevice::WriteOnly) || !xsl.open(QIODevice::WriteOnly)) return false;
  xml.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rows>\n");
  // Each row comes out as about 95 bytes of HTML.
  for (int i = 0; i < bytes / 95; ++i) {
    xml.write(QStringLiteral("<row id=\"%1\"><name>Name number %1</name><city>Città %2</city>"
                             "<amount>%3.25</amount></row>\n")
                  .arg(i)
                  .arg(i % 97)
                  .arg(i * 7 % 10000)
                  .toUtf8());
  }
  xml.write("</rows>\n");
  xsl.write(R"xsl(<?xml version="1.0" encoding="UTF-8"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" indent="yes"/>
  <xsl:template match="/">
    <html><head><title>Rows</title></head><body><table>
      <xsl:for-each select="rows/row">
        <tr id="r{@id}"><td><xsl:value-of select="name"/></td><td><xsl:value-of select="city"/></td>
        <td align="right"><xsl:value-of select="format-number(amount, '#,##0.00')"/></td></tr>
      </xsl:for-each>
    </table></body></html>
  </xsl:template>
</xsl:stylesheet>
)xsl");
  return xml.error() == QFile::NoError && xsl.error() == QFile::NoError;
}

// An XSLT 3.0 stylesheet of the grouping, text value templates and maps
// kind over the large pair's rows: small or large as its document is.
bool WriteSaxonStylesheet(const QString& path) {
  QFile xsl(path);
  if (!xsl.open(QIODevice::WriteOnly)) return false;
  xsl.write(R"xsl(<?xml version="1.0" encoding="UTF-8"?>
<xsl:stylesheet version="3.0" expand-text="yes" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:xs="http://www.w3.org/2001/XMLSchema"
    xmlns:map="http://www.w3.org/2005/xpath-functions/map" exclude-result-prefixes="#all">
  <xsl:output method="html" indent="yes"/>
  <xsl:template match="/">
    <xsl:variable name="totals" as="map(*)"
        select="map:merge(for $r in rows/row return map{string($r/city): xs:decimal($r/amount)},
                          map{'duplicates': 'combine'})"/>
    <html><head><title>Rows by city</title></head><body>
      <xsl:for-each-group select="rows/row" group-by="city">
        <h2>{current-grouping-key()}: {count(current-group())} rows,
            {format-number(sum($totals(current-grouping-key())), '#,##0.00')}</h2>
        <table><xsl:for-each select="current-group()">
          <tr id="r{@id}"><td>{name}</td><td align="right">{format-number(amount, '#,##0.00')}</td></tr>
        </xsl:for-each></table>
      </xsl:for-each-group>
    </body></html>
  </xsl:template>
</xsl:stylesheet>
)xsl");
  return xsl.error() == QFile::NoError;
}

// Kilobytes resident in this process's children named `name` (as the
// kernel shortens it), summed.
long ChildrenResidentKb(const std::string& name) {
  long total = 0;
  const QString self = QString::number(::getpid());
  for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    std::ifstream status(("/proc/" + pid + "/status").toStdString());
    std::string line;
    bool named = false;
    bool ours = false;
    long rss = 0;
    while (std::getline(status, line)) {
      if (line.rfind("Name:", 0) == 0) named = line.find(name.substr(0, 15)) != std::string::npos;
      if (line.rfind("PPid:", 0) == 0)
        ours = line.substr(5).find(self.toStdString()) != std::string::npos;
      if (line.rfind("VmRSS:", 0) == 0) rss = std::stol(line.substr(6));
    }
    if (named && ours) total += rss;
  }
  return total;
}

// Notes when the window first paints.
class PaintWatcher final : public QObject {
 public:
  explicit PaintWatcher(QWidget& window) : m_window(window) { window.installEventFilter(this); }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &m_window && event->type() == QEvent::Paint && m_paintedMs < 0) {
      m_paintedMs = SinceProcessStart();
    }
    return false;
  }
  double PaintedMs() const { return m_paintedMs; }

 private:
  QWidget& m_window;
  double m_paintedMs = -1;
};

// Milliseconds from `since` (since the epoch) to the first contentful paint
// of the page loaded in `page`, which the engine records with a time stamp
// while it still parses a large page; negative when it has none.
double FirstPaintSince(QWebEnginePage& page, double since) {
  // Shared: an answer that comes after the wait gave up must land somewhere.
  auto paintedAt = std::make_shared<std::optional<double>>();
  page.runJavaScript(QStringLiteral("(performance.getEntriesByName('first-contentful-paint')[0] || "
                                    "{startTime: NaN}).startTime + performance.timeOrigin"),
                     [paintedAt](const QVariant& value) { *paintedAt = value.toDouble(); });
  RunUntil([&] { return paintedAt->has_value(); }, 10000);
  const double at = paintedAt->value_or(std::nan(""));
  return std::isnan(at) ? -1 : at - since;
}

// A scheme of the engine's bare minimum: one buffer per request, with no
// policy, interceptor or page registry, flagged as the program's scheme is.
constexpr char kBareScheme[] = "measure";

class BareSchemeHandler final : public QWebEngineUrlSchemeHandler {
 public:
  explicit BareSchemeHandler(QByteArray page) : m_page(std::move(page)) {}
  void requestStarted(QWebEngineUrlRequestJob* job) override {
    auto* buffer = new QBuffer;
    buffer->setData(m_page);
    buffer->open(QIODevice::ReadOnly);
    QObject::connect(job, &QObject::destroyed, buffer, &QObject::deleteLater);
    job->reply("text/html; charset=UTF-8", buffer);
  }

 private:
  QByteArray m_page;
};

// The page at `file` loaded as a browser would, from its file: URL, and
// through the bare scheme, in a view of `size` of a profile of its own (the
// window's profile serves every local page through the program's
// handler). Prints what each load took, as the large Apply's row does.
bool MeasureOutsideProgram(const QString& file, QSize size) {
  QFile page(file);
  if (!page.open(QIODevice::ReadOnly)) return false;
  QWebEngineProfile plain;  // off the record
  BareSchemeHandler bare(page.readAll());
  plain.installUrlSchemeHandler(kBareScheme, &bare);
  QWebEngineView view;
  view.setPage(new QWebEnginePage(&plain, &view));  // deleted before the profile
  view.settings()->setDefaultTextEncoding(QStringLiteral("utf-8"));
  view.resize(size);
  view.show();
  bool loaded = false;
  QObject::connect(&view, &QWebEngineView::loadFinished, [&loaded] { loaded = true; });
  // A small file first: file: pages get a page process of their own, and
  // its start is not the large page's.
  const QString small = QFileInfo(file).path() + QStringLiteral("/small.html");
  QFile smallFile(small);
  if (!smallFile.open(QIODevice::WriteOnly) || smallFile.write("<p>small</p>") < 0) return false;
  smallFile.close();
  view.load(QUrl::fromLocalFile(small));
  if (!RunUntil([&] { return loaded; }, 60000)) return false;
  QUrl bareUrl;
  bareUrl.setScheme(QString::fromLatin1(kBareScheme));
  bareUrl.setHost(QStringLiteral("page"));
  bareUrl.setPath(QStringLiteral("/large.html"));
  const std::pair<const char*, QUrl> loads[] = {{"file:", QUrl::fromLocalFile(file)},
                                                {"bare scheme", bareUrl},
                                                {"file:", QUrl::fromLocalFile(file)},
                                                {"bare scheme", bareUrl}};
  for (const auto& [name, url] : loads) {
    loaded = false;
    QElapsedTimer timer;
    timer.start();
    const double started = static_cast<double>(QDateTime::currentMSecsSinceEpoch());
    view.load(url);
    if (!RunUntil([&] { return loaded; }, 120000)) return false;
    const double loadedMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    std::printf("%s large first_paint_ms %.0f loaded_ms %.1f\n", name,
                FirstPaintSince(*view.page(), started), loadedMs);
    loaded = false;
    view.load(QUrl::fromLocalFile(small));
    if (!RunUntil([&] { return loaded; }, 60000)) return false;
  }
  return true;
}

class Measurer {
 public:
  Measurer(QtMainWindow& window, QWebEngineView& view) : m_window(window), m_view(view) {
    QObject::connect(&view, &QWebEngineView::loadFinished, [this] { m_loaded = true; });
  }

  bool Loaded() const { return m_loaded; }
  // Of the last Apply: milliseconds until the result was written and asked
  // for, before the engine took it in.
  double Written() const { return m_written; }

  // Milliseconds from the press of Apply to the page loaded (and, when asked
  // for, to its first contentful paint, which the engine records with a time
  // stamp while it still parses a large page); negative when it did not come.
  // `settleMs`: how long the boxes stand filled in before the press, as
  // after typing, for the engine the stylesheet needs to be started ahead.
  double Apply(const QString& xml, const QString& xsl, double* paintedMs = nullptr,
               int settleMs = 0) {
    m_window.Widget().findChild<QLineEdit*>(QStringLiteral("txtXml"))->setText(xml);
    m_window.Widget().findChild<QLineEdit*>(QStringLiteral("txtXsl"))->setText(xsl);
    if (settleMs > 0) RunUntil([] { return false; }, settleMs);
    m_loaded = false;
    QElapsedTimer timer;
    timer.start();
    const double pressed = static_cast<double>(QDateTime::currentMSecsSinceEpoch());
    m_window.Widget().findChild<QPushButton*>(QStringLiteral("cmdApplyXsl"))->click();
    m_written = Ms(timer);
    if (!RunUntil([&] { return m_loaded; }, 60000)) return -1;
    const double loadedMs = Ms(timer);
    if (paintedMs != nullptr) *paintedMs = FirstPaintSince(*m_view.page(), pressed);
    return loadedMs;
  }

  // Milliseconds from entering the origin mode to its page loaded; the mode
  // is left again, and the plain page waited for.
  double Origins() {
    m_loaded = false;
    QElapsedTimer timer;
    timer.start();
    m_window.Origins().Enter();
    if (!RunUntil([&] { return m_loaded; }, 60000)) return -1;
    const double ms = Ms(timer);
    m_loaded = false;
    m_window.Origins().Leave();
    if (!RunUntil([&] { return m_loaded; }, 60000)) return -1;
    return ms;
  }

  // Milliseconds from `path` written anew with `text` to the page the
  // window applied on its own loaded; negative when none came.
  double Save(const QString& path, const QByteArray& text) {
    m_loaded = false;
    QElapsedTimer timer;
    timer.start();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size()) {
      return -1;
    }
    file.close();
    if (!RunUntil([&] { return m_loaded; }, 60000)) return -1;
    return Ms(timer);
  }

 private:
  static double Ms(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
  }

  QtMainWindow& m_window;
  QWebEngineView& m_view;
  bool m_loaded = false;
  double m_written = 0;
};

}  // namespace

int main(int argc, char** argv) {
  PrepareProcess();
  QWebEngineUrlScheme bare(kBareScheme);
  bare.setSyntax(QWebEngineUrlScheme::Syntax::Host);
  bare.setFlags(QWebEngineUrlScheme::LocalScheme | QWebEngineUrlScheme::LocalAccessAllowed);
  QWebEngineUrlScheme::registerScheme(bare);
  // A line at a time: what was measured stays when a later step hangs.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  QApplication qtApp(argc, argv);
  SetApplicationIdentity();
  const double appMs = SinceProcessStart();

  QtProgram program;
  QtMainWindow window(program.errors, program.app, program.fs);
  const double constructedMs = SinceProcessStart();
  auto* view = window.Widget().findChild<QWebEngineView*>(QStringLiteral("wbr"));
  Measurer measurer(window, *view);
  PaintWatcher painted(window.Widget());

  window.Show();
  if (!RunUntil([&] { return window.Widget().windowHandle()->isExposed(); }, 60000)) {
    std::fprintf(stderr, "the window was not shown\n");
    return 1;
  }
  const double shownMs = SinceProcessStart();
  if (!RunUntil([&] { return measurer.Loaded(); }, 60000)) {
    std::fprintf(stderr, "start page did not load\n");
    return 1;
  }
  const double startPageMs = SinceProcessStart();
  std::printf(
      "startup: qapplication_ms %.0f window_built_ms %.0f painted_ms %.0f window_ms %.0f "
      "start_page_ms %.0f\n",
      appMs, constructedMs, painted.PaintedMs(), shownMs, startPageMs);

  const QString examples =
      QString::fromStdString(program.app.Path()) + QStringLiteral("/examples/");
  struct Example {
    const char* name;
    const char* xml;
    const char* xsl;
  };
  const Example pairs[] = {{"books", "books.xml", "books.xsl"},
                           {"sales", "sales.xml", "sales.xsl"},
                           {"broken", "broken.xml", "books.xsl"}};
  for (const Example& example : pairs) {
    std::printf("apply %-6s ms", example.name);
    for (int press = 0; press < 4; ++press) {
      const double ms = measurer.Apply(examples + QString::fromLatin1(example.xml),
                                       examples + QString::fromLatin1(example.xsl));
      if (ms < 0) {
        std::fprintf(stderr, "\nthe result of %s did not load\n", example.name);
        return 1;
      }
      std::printf(" %.1f", ms);
      if (press == 0) std::printf(" (written %.1f)", measurer.Written());
    }
    std::printf("\n");
  }

  for (const Example& example : pairs) {
    if (std::string(example.name) == "broken") continue;
    std::printf("origins %-6s ms", example.name);
    if (measurer.Apply(examples + QString::fromLatin1(example.xml),
                       examples + QString::fromLatin1(example.xsl)) < 0) {
      return 1;
    }
    for (int press = 0; press < 4; ++press) {
      const double ms = measurer.Origins();
      if (ms < 0) {
        std::fprintf(stderr, "\nthe marked page of %s did not load\n", example.name);
        return 1;
      }
      std::printf(" %.1f", ms);
    }
    std::printf("\n");
  }

  // Copies, so that the examples themselves are never written.
  QTemporaryDir saved;
  for (const Example& example : pairs) {
    const QString xml = saved.filePath(QString::fromLatin1(example.xml));
    const QString xsl = saved.filePath(QString::fromLatin1(example.xsl));
    QFile::remove(xml);
    QFile::remove(xsl);
    QFile source(examples + QString::fromLatin1(example.xsl));
    if (!QFile::copy(examples + QString::fromLatin1(example.xml), xml) ||
        !QFile::copy(source.fileName(), xsl) || !source.open(QIODevice::ReadOnly) ||
        measurer.Apply(xml, xsl) < 0) {
      std::fprintf(stderr, "the copy of %s could not be applied\n", example.name);
      return 1;
    }
    const QByteArray text = source.readAll();
    std::printf("save %-6s ms", example.name);
    for (int save = 0; save < 4; ++save) {
      const double ms = measurer.Save(xsl, text);
      if (ms < 0) {
        std::fprintf(stderr, "\nno page came after a save of %s\n", example.name);
        return 1;
      }
      std::printf(" %.1f", ms);
    }
    std::printf("\n");
  }

  QTemporaryDir folder;
  if (!folder.isValid() || !WriteLargePair(folder.path(), 5 * 1000 * 1000)) {
    std::fprintf(stderr, "the large pair could not be written\n");
    return 1;
  }
  const QString largeXml = folder.path() + QStringLiteral("/large.xml");
  const QString largeXsl = folder.path() + QStringLiteral("/large.xsl");
  for (int press = 0; press < 2; ++press) {
    double paintedMs = 0;
    const double loadedMs = measurer.Apply(largeXml, largeXsl, &paintedMs);
    if (loadedMs < 0) {
      std::fprintf(stderr, "the large result did not load\n");
      return 1;
    }
    const qint64 size = QFileInfo(QString::fromStdString(window.Program().TempFile())).size();
    std::printf("apply large (%.1f MB) written_ms %.1f first_paint_ms %.0f loaded_ms %.1f\n",
                static_cast<double>(size) / 1e6, measurer.Written(), paintedMs, loadedMs);
  }
  // A copy: the next Apply deletes the result.
  const QString largeHtml = folder.path() + QStringLiteral("/large.html");
  if (!QFile::copy(QString::fromStdString(window.Program().TempFile()), largeHtml) ||
      !MeasureOutsideProgram(largeHtml, view->size())) {
    std::fprintf(stderr, "the large result did not load outside the program\n");
    return 1;
  }
  std::printf("origins large loaded_ms %.1f\n", measurer.Origins());

  // The second engine, when this build has it: a small 3.0 job (30 rows),
  // then the large one, each pressed after the boxes have settled.
  const QString smallXml = folder.path() + QStringLiteral("/small.xml");
  const QString saxonXsl = folder.path() + QStringLiteral("/rows3.xsl");
  QFile::copy(largeXml, smallXml + QStringLiteral(".all"));
  {
    QFile all(smallXml + QStringLiteral(".all"));
    QFile small(smallXml);
    if (!all.open(QIODevice::ReadOnly) || !small.open(QIODevice::WriteOnly) ||
        !WriteSaxonStylesheet(saxonXsl)) {
      std::fprintf(stderr, "the 3.0 pair could not be written\n");
      return 1;
    }
    for (int line = 0; line < 32; ++line) small.write(all.readLine());
    small.write("</rows>\n");
  }
  if (QFileInfo::exists(QString::fromStdString(program.app.Path()) +
                        QStringLiteral("/xmlpellor-saxon-engine"))) {
    std::printf("apply saxon small ms");
    for (int press = 0; press < 4; ++press) {
      const double ms = measurer.Apply(smallXml, saxonXsl, nullptr, 3000);
      if (ms < 0) {
        std::fprintf(stderr, "\nthe 3.0 result did not load\n");
        return 1;
      }
      std::printf(" %.1f", ms);
    }
    RunUntil([] { return false; }, 3000);
    std::printf("\nsaxon engine waiting: rss_kb %ld\n",
                ChildrenResidentKb("xmlpellor-saxon-engine"));
    for (int press = 0; press < 2; ++press) {
      double paintedMs = 0;
      const double loadedMs = measurer.Apply(largeXml, saxonXsl, &paintedMs, 3000);
      if (loadedMs < 0) {
        std::fprintf(stderr, "the large 3.0 result did not load\n");
        return 1;
      }
      std::printf("apply saxon large written_ms %.1f first_paint_ms %.0f loaded_ms %.1f\n",
                  measurer.Written(), paintedMs, loadedMs);
    }
  }
  window.Widget().close();
  return 0;
}
