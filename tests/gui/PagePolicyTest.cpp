#include <QBuffer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QHostInfo>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>
#include <functional>
#include <memory>

#include "GuiSupport.h"
#include "main_window/QtMainWindow.h"
#include "platform/FileSystem.h"
#include "platform/qt/browser/PageScheme.h"
#include "platform/qt/browser/QtBrowser.h"
#include "support/Fakes.h"

using namespace xmlpellor;
using namespace xmlpellor::test;

namespace {

constexpr char kSecret[] = "TOPSECRET4711";

// Runs a real event loop until `done` holds or the time is up: the engine's
// work is paced by Qt's event loop, which QTest's waits starve.
bool RunUntil(const std::function<bool()>& done, int timeoutMs = kPageTimeoutMs) {
  if (done()) return true;
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  poll.start(5);
  QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
  loop.exec();
  return done();
}

QVariant Run(QWebEnginePage& page, const QString& script) {
  auto result = std::make_shared<std::optional<QVariant>>();
  page.runJavaScript(script, [result](const QVariant& value) { *result = value; });
  RunUntil([&] { return result->has_value(); });
  return result->value_or(QVariant());
}

// Navigates and waits for the page to finish loading; its success.
bool Show(QWebEngineView& view, const std::function<void()>& navigate) {
  std::optional<bool> ok;
  const auto connection =
      QObject::connect(&view, &QWebEngineView::loadFinished, [&ok](bool done) { ok = done; });
  navigate();
  RunUntil([&] { return ok.has_value(); });
  QObject::disconnect(connection);
  return ok.value_or(false);
}

// An HTTP server on loopback that records every request line and answers
// from a fixed table. It takes a bounded number of requests and lives only
// as long as the test object.
class LoopbackServer : public QObject {
 public:
  LoopbackServer() {
    if (!m_server.listen(QHostAddress::LocalHost)) qFatal("no loopback port");
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* socket = m_server.nextPendingConnection()) Serve(socket);
    });
  }
  QString Base() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }
  QStringList requests;

 private:
  void Serve(QTcpSocket* socket) {
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
      const QByteArray head = socket->peek(64 * 1024);
      if (!head.contains("\r\n\r\n")) return;
      socket->readAll();
      const QByteArray path = head.split(' ').value(1);
      if (requests.size() >= 500) {
        socket->abort();
        return;
      }
      // A cookie that came along is part of the record.
      const int cookie = head.indexOf("\r\nCookie: ");
      requests << QString::fromLatin1(path) +
                      (cookie < 0 ? QString() : " cookie=" + QString::fromLatin1(head.mid(cookie + 10).split('\r').value(0)));
      QByteArray type = "text/plain", body, extra;
      if (path == "/set-cookie") extra = "Set-Cookie: kept=" + QByteArray(kSecret) + "; Path=/\r\n";
      if (path == "/cached.png") extra = "Cache-Control: max-age=600\r\n";
      if (path == "/set-cookie" || path == "/cached.png" || path == "/look.png") {
        type = "image/png";
        body = Png(2, 1);
      } else if (path == "/style.css") {
        type = "text/css";
        body = "#remote { color: rgb(1, 2, 3); }";
      } else if (path == "/pic.png") {
        type = "image/png";
        body = Png(7, 1);
      }
      socket->write("HTTP/1.1 200 OK\r\nContent-Type: " + type + "\r\nContent-Length: " +
                    QByteArray::number(body.size()) +
                    "\r\nAccess-Control-Allow-Origin: *\r\n" + extra + "Connection: close\r\n\r\n" + body);
      socket->disconnectFromHost();
    });
  }
  QTcpServer m_server;

 public:
  static QByteArray Png(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
  }
};

}  // namespace

// What a result page may load and what it may not read, on the real engine
// with the program's scheme, handler and interceptor.
class PagePolicyTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir m_documents;  // the XML document's folder
  QTemporaryDir m_temp;       // where the result file is written
  QTemporaryDir m_elsewhere;  // a picture named by an absolute file: URL
  QTemporaryDir m_styles;     // the stylesheet's folder
  std::unique_ptr<LoopbackServer> m_server;

  QString Write(const QTemporaryDir& dir, const QString& name, const QByteArray& content) {
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) qFatal("cannot write test file");
    file.write(content);
    return file.fileName();
  }
  QString FileUrl(const QString& path) { return QUrl::fromLocalFile(path).toString(); }

  // Shows `html` as a result of the document in m_documents.
  bool ShowResult(QWebEngineView& view, QtBrowser& browser, const QByteArray& html) {
    return ShowResultOf(m_documents, view, browser, html);
  }
  // Shows `html` as a result of a document in `folder`.
  bool ShowResultOf(const QTemporaryDir& folder, QWebEngineView& view, QtBrowser& browser,
                    const QByteArray& html) {
    const std::string page = Write(m_temp, "xmlR3sult.tmp", html).toStdString();
    const std::string document = folder.filePath("doc.xml").toStdString();
    return Show(view, [&] {
      browser.Navigate(page, {PageKind::kHtml, document, {},
                              ReadPolicy({folder.path().toStdString(), m_styles.path().toStdString()})});
    });
  }
  QString Text(QWebEngineView& view) {
    return Run(*view.page(), "document.body ? document.body.innerText : ''").toString();
  }

 private slots:
  void initTestCase() {
    // The window's temporary files go where the test cleans up.
    qputenv("TMPDIR", m_temp.path().toLocal8Bit());
    m_server = std::make_unique<LoopbackServer>();
    Write(m_documents, "doc.xml", "<doc/>");
    Write(m_documents, "report.css", "#relative { color: rgb(4, 5, 6); }");
    Write(m_documents, "logo.png", LoopbackServer::Png(3, 1));
    Write(m_documents, "secret.txt", QByteArray(kSecret) + " is the key");
    // In a rule, not a comment: the rules a script reads back keep no comments.
    Write(m_documents, "secret.css", QByteArray("#secret::after { content: '") + kSecret + "'; }");
    Write(m_documents, "secret.xml", QByteArray("<s>") + kSecret + "</s>");
    Write(m_elsewhere, "abs.png", LoopbackServer::Png(5, 1));
    Write(m_elsewhere, "far.css", QByteArray("#far { color: red; } #far::after { content: '") + kSecret + "'; }");
    Write(m_elsewhere, "out.html", QByteArray("<p>OUT ") + kSecret + "</p>");
    Write(m_documents, "secret.webm", kSecret);
    Write(m_documents, "secret.woff", kSecret);
    QDir(m_documents.path()).mkdir("sub");
    Write(m_documents, "sub/deep.html", "<p>IN deep</p>");
    Write(m_styles, "notes.html", "<p>IN notes</p>");
    // Names in the document's folder that lead out of it.
    QFile::link(m_elsewhere.filePath("abs.png"), m_documents.filePath("linked.png"));
    QFile::link(m_elsewhere.filePath("far.css"), m_documents.filePath("linked.css"));
    QFile::link(m_elsewhere.filePath("out.html"), m_documents.filePath("link-out.html"));
    QFile::link(m_elsewhere.path(), m_documents.filePath("linkdir"));
  }

  void loadsWhatAPageOpenedFromDiskWould() {
    QWebEngineView view;
    QtBrowser browser(view);
    const QByteArray html = "<html><head>"
                            "<link rel='stylesheet' href='" + m_server->Base().toUtf8() + "/style.css'>"
                            "<link rel='stylesheet' href='report.css'></head><body>"
                            "<p id='remote'>r</p><p id='relative'>l</p>"
                            "<img id='web' src='" + m_server->Base().toUtf8() + "/pic.png'>"
                            "<img id='file' src='" + FileUrl(m_documents.filePath("logo.png")).toUtf8() + "'>"
                            "<img id='outside' src='" + FileUrl(m_elsewhere.filePath("abs.png")).toUtf8() + "'>"
                            "<img id='beside' src='logo.png'><img id='linked' src='linked.png'>"
                            "<link rel='stylesheet' href='linked.css'><p id='far'>f</p>"
                            "<link rel='stylesheet' href='" + FileUrl(m_elsewhere.filePath("far.css")).toUtf8() + "'>"
                            "<style>@font-face { font-family: beside; src: url(face.ttf); }</style>"
                            "<script>document.fonts.load('12px beside').then(f => window.fonts = f.length,"
                            " () => window.fonts = -1);</script>"
                            "</body></html>";
    QFile::remove(m_documents.filePath("face.ttf"));
    QVERIFY(QFile::copy(QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf"),
                        m_documents.filePath("face.ttf")));
    QVERIFY(ShowResult(view, browser, html));
    QVERIFY(RunUntil([&] {
      return Run(*view.page(), "Array.from(document.images).every(i => i.complete)"
                               " && typeof window.fonts == 'number'").toBool();
    }));
    const QString check =
        "[getComputedStyle(document.getElementById('remote')).color,"
        " getComputedStyle(document.getElementById('relative')).color,"
        " getComputedStyle(document.getElementById('far')).color,"
        " document.getElementById('web').naturalWidth, document.getElementById('file').naturalWidth,"
        " document.getElementById('beside').naturalWidth, document.getElementById('linked').naturalWidth,"
        " document.getElementById('outside').naturalWidth, window.fonts].join('|')";
    // Nothing from outside the job's folders: not the stylesheet named by
    // file: or through a symlink (#far keeps its colour), nor the pictures
    // (no size to read back).
    QCOMPARE(Run(*view.page(), check).toString(),
             QStringLiteral("rgb(1, 2, 3)|rgb(4, 5, 6)|rgb(0, 0, 0)|7|3|3|0|0|1"));
    QVERIFY2(m_server->requests.contains("/style.css") && m_server->requests.contains("/pic.png"),
             qPrintable(m_server->requests.join(' ')));
  }

  void followsLinksBesideTheDocumentAndToTheWeb() {
    QWebEngineView view;
    QtBrowser browser(view);
    Write(m_documents, "detail.html", "<p id='d'>detail</p>");
    QVERIFY(ShowResult(view, browser, "<a id='a' href='detail.html'>more</a>"));
    QVERIFY(Show(view, [&] { Run(*view.page(), "document.getElementById('a').click()"); }));
    QCOMPARE(Run(*view.page(), "document.getElementById('d').textContent").toString(),
             QStringLiteral("detail"));
    QVERIFY(ShowResult(view, browser, "<a id='a' href='" + m_server->Base().toUtf8() + "/web.html'>web</a>"));
    QVERIFY(Show(view, [&] { Run(*view.page(), "document.getElementById('a').click()"); }));
    QCOMPARE(view.url().toString(), m_server->Base() + "/web.html");
  }

  // Where a link or a script may take the page: the job's folders only,
  // whatever the name says.
  void navigatesOnlyInsideTheJobsFolders_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("shows");  // empty: refused
    const QString out = QFileInfo(m_elsewhere.path()).fileName();
    QTest::newRow("a subfolder") << "sub/deep.html" << "IN deep";
    QTest::newRow("the stylesheet's folder, file:") << FileUrl(m_styles.filePath("notes.html")) << "IN notes";
    QTest::newRow("another folder, file:") << FileUrl(m_elsewhere.filePath("out.html")) << "";
    QTest::newRow("another folder, own scheme")
        << "xmlpellor://' + location.host + '" + m_elsewhere.filePath("out.html") << "";
    QTest::newRow("dot segments out") << "../" + out + "/out.html" << "";
    QTest::newRow("a symlink out") << "link-out.html" << "";
    QTest::newRow("a symlinked folder out") << "linkdir/out.html" << "";
    QTest::newRow("the result's own file") << FileUrl(m_temp.filePath("xmlR3sult.tmp")) << "";
  }
  void navigatesOnlyInsideTheJobsFolders() {
    QFETCH(QString, target);
    QFETCH(QString, shows);
    QWebEngineView view;
    QtBrowser browser(view);
    QVERIFY(ShowResult(view, browser, "<p>RESULT</p>"));
    const bool loaded = Show(view, [&] { Run(*view.page(), "location.href = '" + target + "'"); });
    const QString text = Text(view);
    if (!shows.isEmpty()) {
      QVERIFY(loaded);
      QCOMPARE(text.trimmed(), shows);
    } else {
      QVERIFY2(!text.contains(kSecret) && !text.contains("RESULT") && !text.contains("OUT"), qPrintable(text));
    }
  }

  // A huge local file (here 3 GB, nearly all of it a hole) is shown up to
  // the limit and then says so.
  void aLongLocalFileEndsInANotice() {
    constexpr qint64 kLimit = 64 * 1024;
    QFile big(m_documents.filePath("big.txt"));
    QVERIFY(big.open(QIODevice::WriteOnly | QIODevice::Truncate));
    for (int i = 0; i < 4000; ++i) big.write("a line of text that goes on\n");
    QVERIFY(big.resize(qint64{3} << 30));
    big.close();
    DefaultPageRegistry().SetReadLimit(kLimit);
    QWebEngineView view;
    QtBrowser browser(view);
    QVERIFY(ShowResult(view, browser, "<p>RESULT</p>"));
    QVERIFY(Show(view, [&] { Run(*view.page(), "location.href = 'big.txt'"); }));
    const QString text = Text(view);
    DefaultPageRegistry().SetReadLimit(PageRegistry::kDefaultReadLimit);
    QFile::remove(big.fileName());
    QVERIFY2(text.trimmed().endsWith(QString::fromLatin1(ReadLimitNotice(kLimit)).trimmed()), qPrintable(text.right(200)));
    QVERIFY2(text.size() < 2 * kLimit, qPrintable(QString::number(text.size())));
  }

  // What a page of one folder stores, a page of another never reads. Each
  // store may refuse (the engine keeps no web storage for our scheme), and
  // says nothing then.
  void storageStaysWithItsFolder() {
    const QByteArray server = m_server->Base().toUtf8();
    const QByteArray store =
        "<img src='" + server + "/set-cookie'><img src='" + server + "/cached.png'><script>"
        "try { localStorage.setItem('k', '" + kSecret + "'); } catch (e) {}"
        "try { sessionStorage.setItem('k', '" + kSecret + "'); } catch (e) {}"
        "document.cookie = 'k=" + kSecret + "'; var done = () => window.seen = 'stored';"
        "try { var r = indexedDB.open('db'); r.onupgradeneeded = () => r.result.createObjectStore('s');"
        " r.onerror = done; r.onsuccess = () => { var t = r.result.transaction('s', 'readwrite');"
        " t.objectStore('s').put('" + kSecret + "', 'k'); t.oncomplete = done; t.onerror = done; };"
        "} catch (e) { done(); }</script>";
    const QByteArray look =
        "<img src='" + server + "/look.png'><img src='" + server + "/cached.png'><script>"
        "var found = [document.cookie]; try { found.push(localStorage.getItem('k')); } catch (e) {}"
        "try { found.push(sessionStorage.getItem('k')); } catch (e) {}"
        "var done = () => window.seen = found.join('|');"
        "try { var r = indexedDB.open('db'); r.onerror = done; r.onsuccess = () => { var d = r.result;"
        " if (!d.objectStoreNames.contains('s')) return done();"
        " var g = d.transaction('s').objectStore('s').get('k'); g.onerror = done;"
        " g.onsuccess = () => { found.push(g.result); done(); }; }; } catch (e) { done(); }</script>";
    auto seen = [&](QWebEngineView& view) {
      RunUntil([&] { return Run(*view.page(), "typeof window.seen").toString() == "string"; });
      return Run(*view.page(), "window.seen").toString();
    };
    QWebEngineView view;
    QtBrowser browser(view);
    m_server->requests.clear();
    QVERIFY(ShowResultOf(m_documents, view, browser, store));
    QCOMPARE(seen(view), QStringLiteral("stored"));
    QVERIFY(ShowResultOf(m_elsewhere, view, browser, look));
    const QString other = seen(view);
    QVERIFY2(!other.contains(kSecret), qPrintable(other));
    RunUntil([&] { return !m_server->requests.filter("/look.png").isEmpty(); }, 2000);
    for (const QString& request : m_server->requests) QVERIFY2(!request.contains(kSecret), qPrintable(request));
    // Nor is the cache shared: the second folder asked the server anew.
    QVERIFY2(m_server->requests.filter("/cached.png").size() >= 2, qPrintable(m_server->requests.join(' ')));
  }

  // Through the whole window: the transformation's output method decides.
  void eachOutputShowsAsItsKind_data() {
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("contentType");
    QTest::addColumn<QString>("check");
    QTest::addColumn<QString>("expected");
    const QString markup = "document.querySelector('b') ? 'element' : 'text'";
    QTest::newRow("html") << "<xsl:output method='html'/>" << "<html><body><b>bold</b></body></html>"
                          << "text/html" << markup << "element";
    QTest::newRow("text") << "<xsl:output method='text'/>" << "<xsl:text>&lt;b&gt;not bold&lt;/b&gt;</xsl:text>"
                          << "text/plain" << "document.body.innerText.trim()" << "<b>not bold</b>";
    // The engine's XML view shows the markup itself as the page's text.
    const QString shows = "document.body.innerText.includes('%1')";
    QTest::newRow("xml") << "<xsl:output method='xml'/>" << "<report><item>one</item></report>"
                         << "application/xml" << shows.arg("<item>one</item>") << "true";
    QTest::newRow("xhtml") << "<xsl:output method='xml'/>"
                           << "<html xmlns='http://www.w3.org/1999/xhtml'><body><b>x</b></body></html>"
                           << "application/xhtml+xml" << markup << "element";
    QTest::newRow("xml with a stale charset")
        << "<xsl:output method='xml'/>"
        << "<html><head><meta http-equiv='Content-Type' content='text/html; charset=ISO-8859-1'/></head>"
           "<body><p>G\u00f6del</p></body></html>"
        << "application/xml" << shows.arg("<p>G\u00f6del</p>") << "true";
    QTest::newRow("html with a stale charset")
        << "<xsl:output method='html'/>"
        << "<html><head><meta charset='ISO-8859-1'/></head><body><p>G\u00f6del</p></body></html>"
        << "text/html" << "document.body.innerText.trim()" << QString::fromUtf8("G\u00f6del");
  }
  void eachOutputShowsAsItsKind() {
    QFETCH(QString, output);
    QFETCH(QString, result);
    QFETCH(QString, contentType);
    QFETCH(QString, check);
    QFETCH(QString, expected);
    ReportHarness h;
    h.app.path = qgetenv("XMLPELLOR_BUILD_DIR").toStdString();
    PosixFileSystem fs;
    QtMainWindow window(h.errors, h.app, fs);
    auto* view = window.Widget().findChild<QWebEngineView*>(QStringLiteral("wbr"));
    QVERIFY(Show(*view, [&] { window.Show(); }));
    const QString xsl = Write(m_documents, "kind.xsl",
                              ("<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>" +
                               output + "<xsl:template match='/'>" + result + "</xsl:template></xsl:stylesheet>")
                                  .toUtf8());
    window.Widget().findChild<QLineEdit*>(QStringLiteral("txtXml"))->setText(m_documents.filePath("doc.xml"));
    window.Widget().findChild<QLineEdit*>(QStringLiteral("txtXsl"))->setText(xsl);
    QVERIFY(Show(*view, [&] { window.Widget().findChild<QPushButton*>(QStringLiteral("cmdApplyXsl"))->click(); }));
    QCOMPARE(h.Reports(), 0u);
    QCOMPARE(Run(*view->page(), "document.contentType").toString(), contentType);
    QCOMPARE(Run(*view->page(), check).toString(), expected);
  }

  void aPageScriptCannotReadALocalFile_data() {
    QTest::addColumn<QString>("attempt");
    // FILE is the secret's file: URL, PATH its path, DIR its folder. Each
    // attempt ends in report(whatever it got).
    const QString syncXhr = "var x = new XMLHttpRequest(); x.open('GET', %1, false); x.send();"
                            " report(x.status + ' ' + x.responseText);";
    const QString asyncXhr = "var x = new XMLHttpRequest(); x.onload = () => report(x.responseText);"
                             " x.onerror = () => report('error'); x.open('GET', %1); x.send();";
    const QString fetchText = "fetch(%1).then(r => r.text()).then(report, e => report('error ' + e));";
    const QString frame = "var f = document.createElement('iframe'); f.onload = () => {"
                          " try { report(f.contentDocument.documentElement.outerHTML); }"
                          " catch (e) { report('threw ' + e); } }; f.src = %1; document.body.appendChild(f);";
    const QString script = "window.onerror = m => report(m); var s = document.createElement('script');"
                           " s.onload = () => report('ran'); s.onerror = () => report('error');"
                           " s.src = %1; document.body.appendChild(s);";
    const QString worker = "var w = new Worker(URL.createObjectURL(new Blob([\"try { var x = new XMLHttpRequest();"
                           " x.open('GET', '\" + %1 + \"', false); x.send(); postMessage(x.responseText); }"
                           " catch (e) { postMessage('threw ' + e); }\"]))); w.onmessage = e => report(e.data);"
                           " w.onerror = e => report('error ' + e.message);";
    // A picture's pixels are no secret text; a read of them reports the
    // secret so that the one check below catches it.
    const QString pixels = "var i = new Image(); i.onerror = () => report('error'); i.onload = () => {"
                           " var c = document.createElement('canvas'); var g = c.getContext('2d'); g.drawImage(i, 0, 0);"
                           " try { report('pixels ' + g.getImageData(0, 0, 1, 1).data.join(',') + ' %2'); }"
                           " catch (e) { report('threw ' + e); } }; i.src = %1;";
    const QString own = "'xmlpellor://page' + PATH";
    QTest::newRow("sync XHR, file:") << syncXhr.arg("FILE");
    QTest::newRow("async XHR, file:") << asyncXhr.arg("FILE");
    QTest::newRow("sync XHR, own scheme") << syncXhr.arg(own);
    QTest::newRow("async XHR, own scheme") << asyncXhr.arg(own);
    QTest::newRow("sync XHR, relative") << syncXhr.arg("'secret.txt'");
    QTest::newRow("async XHR, relative") << asyncXhr.arg("'secret.txt'");
    QTest::newRow("sync XHR, own scheme, another host") << syncXhr.arg("'xmlpellor://file' + PATH");
    QTest::newRow("sync XHR, own scheme in capitals") << syncXhr.arg("'XMLPELLOR://PAGE' + PATH");
    QTest::newRow("sync XHR, own scheme without host") << syncXhr.arg("'xmlpellor:' + PATH");
    QTest::newRow("sync XHR, own scheme percent-encoded")
        << syncXhr.arg("'xmlpellor://page' + DIR + '/%73ecret.txt'");
    QTest::newRow("sync XHR, dot segments") << syncXhr.arg("'xmlpellor://page' + DIR + '/x/../secret.txt'");
    QTest::newRow("sync XHR, file://localhost") << syncXhr.arg("'file://localhost' + PATH");
    QTest::newRow("XHR responseXML, relative XML")
        << "var x = new XMLHttpRequest(); x.open('GET', 'secret.xml', false); x.send();"
           " report(x.responseXML ? x.responseXML.documentElement.textContent : 'none');";
    QTest::newRow("fetch, file:") << fetchText.arg("FILE");
    QTest::newRow("fetch, own scheme") << fetchText.arg(own);
    QTest::newRow("fetch, relative") << fetchText.arg("'secret.txt'");
    QTest::newRow("fetch, no-cors, relative")
        << "fetch('secret.txt', {mode: 'no-cors'}).then(r => r.text()).then(report, e => report('error ' + e));";
    QTest::newRow("frame document, file:") << frame.arg("FILE");
    QTest::newRow("frame document, relative") << frame.arg("'secret.txt'");
    QTest::newRow("frame document, own scheme") << frame.arg(own);
    QTest::newRow("object document, relative")
        << "var o = document.createElement('object'); o.data = 'secret.txt'; o.onload = () => {"
           " try { report(o.contentDocument.documentElement.outerHTML); } catch (e) { report('threw ' + e); } };"
           " o.onerror = () => report('error'); document.body.appendChild(o);";
    QTest::newRow("script src, file:, window.onerror") << script.arg("FILE");
    QTest::newRow("script src, relative, window.onerror") << script.arg("'secret.txt'");
    QTest::newRow("blob: worker, XHR to file:") << worker.arg("FILE");
    QTest::newRow("blob: worker, XHR to own scheme") << worker.arg(own);
    QTest::newRow("worker script, relative")
        << "var w = new Worker('secret.txt'); w.onerror = e => report('error ' + e.message);"
           " w.onmessage = e => report(e.data);";
    QTest::newRow("stylesheet rules, relative CSS")
        << "var l = document.createElement('link'); l.rel = 'stylesheet'; l.href = 'secret.css';"
           " l.onload = () => { try { report(Array.from(l.sheet.cssRules).map(r => r.cssText).join()); }"
           " catch (e) { report('threw ' + e); } }; l.onerror = () => report('error');"
           " document.head.appendChild(l);";
    QTest::newRow("stylesheet link to a text file")
        << "var l = document.createElement('link'); l.rel = 'stylesheet'; l.href = 'secret.txt';"
           " l.onload = () => { try { report(Array.from(l.sheet.cssRules).map(r => r.cssText).join()); }"
           " catch (e) { report('threw ' + e); } }; l.onerror = () => report('error');"
           " document.head.appendChild(l);";
    QTest::newRow("canvas pixels, relative picture") << pixels.arg("'logo.png'", kSecret);
    QTest::newRow("canvas pixels, file: picture") << pixels.arg("ABS", kSecret);
    // A crossorigin request must not make a local file another origin may
    // read, however the file is named.
    const QString corsPixels = "var i = new Image(); i.crossOrigin = 'anonymous'; i.onerror = () => report('error');"
                               " i.onload = () => { var c = document.createElement('canvas');"
                               " c.getContext('2d').drawImage(i, 0, 0);"
                               " try { report('read ' + c.toDataURL().length + ' %2'); }"
                               " catch (e) { report('threw ' + e); } }; i.src = %1;";
    const QString corsRules = "var l = document.createElement('link'); l.rel = 'stylesheet'; l.crossOrigin = 'anonymous';"
                              " l.href = %1; l.onload = () => { try {"
                              " report(Array.from(l.sheet.cssRules).map(r => r.cssText).join()); }"
                              " catch (e) { report('threw ' + e); } }; l.onerror = () => report('error');"
                              " document.head.appendChild(l);";
    const QString base = "document.head.insertAdjacentHTML('afterbegin', \"<base href='file://\" + DIR + \"/'>\"); ";
    const QString ownHost = "'xmlpellor://' + location.host + DIR + '/%1'";
    QTest::newRow("crossorigin canvas, relative picture") << corsPixels.arg("'logo.png'", kSecret);
    QTest::newRow("crossorigin canvas, file: picture") << corsPixels.arg("ABS", kSecret);
    QTest::newRow("crossorigin canvas, own scheme") << corsPixels.arg(ownHost.arg("logo.png"), kSecret);
    QTest::newRow("crossorigin canvas, base href") << base + corsPixels.arg("'logo.png'", kSecret);
    QTest::newRow("crossorigin canvas, symlink") << corsPixels.arg("'linked.png'", kSecret);
    QTest::newRow("crossorigin rules, relative") << corsRules.arg("'secret.css'");
    QTest::newRow("crossorigin rules, file:") << corsRules.arg("'file://' + DIR + '/secret.css'");
    QTest::newRow("crossorigin rules, own scheme") << corsRules.arg(ownHost.arg("secret.css"));
    QTest::newRow("crossorigin rules, base href") << base + corsRules.arg("'secret.css'");
    QTest::newRow("crossorigin rules, symlink") << corsRules.arg("'linked.css'");
    QTest::newRow("crossorigin video on a canvas")
        << "var v = document.createElement('video'); v.crossOrigin = 'anonymous'; v.onerror = () => report('error');"
           " v.onloadeddata = () => { var c = document.createElement('canvas'); c.getContext('2d').drawImage(v, 0, 0);"
           " try { report('read ' + c.toDataURL().length); } catch (e) { report('threw ' + e); } };"
           " v.src = 'secret.webm'; document.body.appendChild(v);";
    QTest::newRow("crossorigin font preload, then fetch")
        << "var l = document.createElement('link'); l.rel = 'preload'; l.as = 'font'; l.crossOrigin = 'anonymous';"
           " l.href = 'secret.woff'; l.onerror = () => report('error'); l.onload = () =>"
           " fetch('secret.woff').then(r => r.text()).then(report, e => report('error ' + e));"
           " document.head.appendChild(l);";
    // A service on this machine answers a WebSocket with no CORS between;
    // the server's record shows whether the handshake arrived.
    QTest::newRow("WebSocket to loopback")
        << "var w = new WebSocket(SERVER.replace('http', 'ws') + '/socket'); w.onopen = () => report('open');"
           " w.onerror = () => report('error'); w.onclose = () => report('closed');";
    // The same service by other names for this machine.
    const QString socket = "var w = new WebSocket(%1); w.onopen = () => report('open');"
                           " w.onerror = () => report('error'); w.onclose = () => report('closed');";
    QTest::newRow("WebSocket to localhost.")
        << socket.arg("SERVER.replace('http://127.0.0.1', 'ws://localhost.') + '/socket'");
    QTest::newRow("WebSocket to [::ffff:127.0.0.1]")
        << socket.arg("SERVER.replace('http://127.0.0.1', 'ws://[::ffff:127.0.0.1]') + '/socket'");
    // Only a name /etc/hosts gives: the test asks no name server.
    const QString host = QHostInfo::localHostName();
    QFile hosts("/etc/hosts");
    if (hosts.open(QIODevice::ReadOnly) &&
        QString::fromLocal8Bit(hosts.readAll()).split(QRegularExpression("\\s+")).contains(host)) {
      QTest::newRow("WebSocket to the host's own name")
          << socket.arg("SERVER.replace('http://127.0.0.1', 'ws://" + host + "') + '/socket'");
    }
    QTest::newRow("fetch POST to loopback")
        << "fetch(SERVER + '/post', {method: 'POST', mode: 'no-cors', body: 'x'})"
           ".then(() => report('sent'), e => report('error ' + e));";
    QTest::newRow("EventSource, relative")
        << "var e = new EventSource('secret.txt'); e.onmessage = m => report(m.data);"
           " e.onerror = () => { e.close(); report('error'); };";
    QTest::newRow("XSLT document(), file:")
        << "var x = new DOMParser().parseFromString(\"<xsl:stylesheet version='1.0'"
           " xmlns:xsl='http://www.w3.org/1999/XSL/Transform'><xsl:template match='/'><r><xsl:value-of"
           " select=\\\"document('\" + FILE + \"')\\\"/></r></xsl:template></xsl:stylesheet>\", 'text/xml');"
           " var p = new XSLTProcessor(); p.importStylesheet(x);"
           " var out = p.transformToDocument(new DOMParser().parseFromString('<a/>', 'text/xml'));"
           " report(out ? out.documentElement.textContent : 'none');";
  }
  void aPageScriptCannotReadALocalFile() {
    QFETCH(QString, attempt);
    const QString secret = m_documents.filePath("secret.txt");
    auto quoted = [](const QString& s) { return "'" + QString(s).replace("'", "\\'") + "'"; };
    const QString html =
        "<html><body><script>"
        "var FILE = " + quoted(FileUrl(secret)) + ", PATH = " + quoted(secret) +
        ", DIR = " + quoted(m_documents.path()) +
        ", ABS = " + quoted(FileUrl(m_elsewhere.filePath("abs.png"))) +
        ", SERVER = " + quoted(m_server->Base()) + ";"
        "var reported = false; function report(v) { if (reported) return; reported = true;"
        " window.result = String(v); new Image().src = " + quoted(m_server->Base()) +
        " + '/report?' + encodeURIComponent(String(v).slice(0, 300)); }"
        "setTimeout(() => report('no answer'), 4000);"
        "try { " + attempt + " } catch (e) { report('threw ' + e); }"
        "</script></body></html>";
    QWebEngineView view;
    QtBrowser browser(view);
    m_server->requests.clear();
    QVERIFY(ShowResult(view, browser, html.toUtf8()));
    QVERIFY(RunUntil([&] { return Run(*view.page(), "typeof window.result").toString() == "string"; }));
    const QString result = Run(*view.page(), "window.result").toString();
    QVERIFY2(!result.contains(kSecret), qPrintable(result));
    qInfo("%s", qPrintable(result.left(200)));
    // Let a beacon sent late arrive before the server's record is read.
    RunUntil([&] { return !m_server->requests.isEmpty(); }, 2000);
    for (const QString& request : m_server->requests) {
      QVERIFY2(request.startsWith("/report?") && !request.contains(kSecret), qPrintable(request));
    }
  }
};

XMLPELLOR_GUI_TEST_MAIN(PagePolicyTest)
#include "PagePolicyTest.moc"
