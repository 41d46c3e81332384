#include <QAccessible>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineView>
#include <QToolButton>
#include <QtTest>
#include <memory>

#include "GuiSupport.h"
#include "support/RealWindow.h"
#include "main_window/QtMainWindow.h"
#include "platform/FileSystem.h"
#include "platform/qt/browser/PageScheme.h"
#include "platform/qt/form/QtMessageBox.h"
#include "platform/qt/page_tools/QtSourceWindow.h"
#include "support/DialogDriver.h"
#include "support/Fakes.h"

using namespace xmlpellor;
using namespace xmlpellor::test;

namespace {

QString DataFile(const char* name) {
  return QString::fromLocal8Bit(qgetenv("XMLPELLOR_TEST_DATA")) + QStringLiteral("/window/") +
         QString::fromLatin1(name);
}

QByteArray Contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Overwrite(const QString& path, const QByteArray& text) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(text);
}

}  // namespace

// What a Linux desktop user meets beyond the window's design: what a screen
// reader says, the keys, the start page's paths, the message box.
class DesktopTest : public QObject, public RealWindow {
  Q_OBJECT

 private:
  void ShowWindow() {
    m_window->Show();
    QVERIFY(QTest::qWaitForWindowActive(&m_window->Widget()));
  }
  void WaitForStartPage() {
    const QUrl start = QtBrowser::UrlFor(m_h->app.path + "/yabxmlpellor.htm");
    QTRY_COMPARE_WITH_TIMEOUT(PageState(*View()->page()), Loaded(start), kPageTimeoutMs);
  }
  void Key(const QKeySequence& keys, QWidget* window = nullptr) {
    QTest::keySequence((window ? window : &m_window->Widget())->windowHandle(), keys);
  }
  // A window system hands the activation back when a window or dialog
  // closes; offscreen does not.
  void Reactivate() {
    m_window->Widget().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&m_window->Widget()));
  }
  void WaitForResult() {
    const PageInfo page{PageKind::kHtml, DataFile("hello.xml").toStdString()};
    QTRY_COMPARE_WITH_TIMEOUT(PageState(*View()->page()),
                              Loaded(QtBrowser::UrlFor(TempFile().toStdString(), page)),
                              kPageTimeoutMs);
  }

 private slots:
  void initTestCase() { UseOwnTempFolder(); }

  void init() { MakeWindow(); }

  void cleanup() { CloseWindow(); }

  void aScreenReaderHearsWhatEachControlIs_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("hint");  // placeholder and tooltip of a path box
    QTest::newRow("window") << "frmMain"
                            << "Yab XML Pellor"
                            << "Tries an XSL stylesheet on an XML document"
                            << "";
    QTest::newRow("txtXml") << "txtXml"
                            << "XML document"
                            << "Path of the XML document to transform"
                            << "XML document path";
    QTest::newRow("cmdBrowseXml") << "cmdBrowseXml"
                                  << "Browse for the XML document"
                                  << "Choose the XML document in a file dialog"
                                  << "";
    QTest::newRow("txtXsl") << "txtXsl"
                            << "XSL stylesheet"
                            << "Path of the XSL stylesheet to apply"
                            << "XSL stylesheet path";
    QTest::newRow("cmdBrowseXsl") << "cmdBrowseXsl"
                                  << "Browse for the XSL stylesheet"
                                  << "Choose the XSL stylesheet in a file dialog"
                                  << "";
    QTest::newRow("cmdApplyXsl")
        << "cmdApplyXsl"
        << "Apply"
        << "Transform the document with the stylesheet and show the result (Enter, Alt+A, F5)"
        << "";
    QTest::newRow("wbr") << "wbr"
                         << "Result"
                         << "The result of the last Apply, or the start page"
                         << "";
    QTest::newRow("findText")
        << "findText"
        << "Find in page"
        << "Text to find in the page (Enter: next, Shift+Enter: previous, Esc: close)"
        << "Find in page";
    QTest::newRow("findNext") << "findNext"
                              << "Next match"
                              << "Go to the next match (Enter)"
                              << "";
    QTest::newRow("findClose") << "findClose"
                               << "Close the find bar"
                               << "Close the find bar and clear its highlights (Esc)"
                               << "";
  }
  void aScreenReaderHearsWhatEachControlIs() {
    QFETCH(QString, control);
    QFETCH(QString, name);
    QFETCH(QString, description);
    QFETCH(QString, hint);
    QWidget* widget = control == "frmMain" ? &m_window->Widget() : Child(qPrintable(control));
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    QVERIFY(accessible != nullptr);
    QCOMPARE(accessible->text(QAccessible::Name), name);
    QCOMPARE(accessible->text(QAccessible::Description), description);
    if (auto* box = qobject_cast<QLineEdit*>(widget)) {
      QCOMPARE(box->placeholderText(), hint);
      QCOMPARE(box->toolTip(), hint);
    }
  }

  void keysApplyAgainAsApplyDoes_data() {
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<bool>("inPage");
    QTest::newRow("F5 in a path box") << QKeySequence(Qt::Key_F5) << false;
    QTest::newRow("Ctrl+R in a path box") << QKeySequence(Qt::CTRL | Qt::Key_R) << false;
    // The page must not take them for its own reload of the old output.
    QTest::newRow("F5 in the page") << QKeySequence(Qt::Key_F5) << true;
    QTest::newRow("Ctrl+R in the page") << QKeySequence(Qt::CTRL | Qt::Key_R) << true;
  }
  void keysApplyAgainAsApplyDoes() {
    QFETCH(QKeySequence, keys);
    QFETCH(bool, inPage);
    ShowWindow();
    WaitForStartPage();
    Child<QLineEdit>("txtXml")->setText(DataFile("hello.xml"));
    Child<QLineEdit>("txtXsl")->setText(DataFile("hello.xsl"));
    if (inPage) {
      View()->setFocus();
      QTRY_VERIFY(View()->hasFocus() || View()->isAncestorOf(QApplication::focusWidget()));
    }
    // Apply is what rewrites the marker with a fresh result.
    Overwrite(TempFile(), "not yet written by Apply");
    Key(keys);
    QTRY_VERIFY_WITH_TIMEOUT(Contents(TempFile()) != "not yet written by Apply", kPageTimeoutMs);
    QVERIFY(Contents(TempFile()).contains(" ok</p>"));
    // Shown beside the document.
    const PageInfo page{PageKind::kHtml, DataFile("hello.xml").toStdString()};
    QTRY_COMPARE_WITH_TIMEOUT(PageState(*View()->page()),
                              Loaded(QtBrowser::UrlFor(TempFile().toStdString(), page)),
                              kPageTimeoutMs);
  }

  void keysCloseTheWindowThroughTheUnload_data() {
    QTest::addColumn<QKeySequence>("keys");
    QTest::newRow("Ctrl+Q") << QKeySequence(Qt::CTRL | Qt::Key_Q);
    QTest::newRow("Ctrl+W") << QKeySequence(Qt::CTRL | Qt::Key_W);
  }
  void keysCloseTheWindowThroughTheUnload() {
    QFETCH(QKeySequence, keys);
    ShowWindow();
    const QString tempFile = TempFile();
    QVERIFY(QFileInfo::exists(tempFile));
    Key(keys);
    QTRY_VERIFY(!m_window->Widget().isVisible());
    QVERIFY(!QFileInfo::exists(tempFile));
  }

  void aTripleClickOnAStartPagePathTakesThePathAlone() {
    ShowWindow();
    WaitForStartPage();
    const QString books = QString::fromStdString(m_h->app.path) + "/examples/books.xml";
    const QVariantList r =
        Evaluate(*View()->page(),
                 "var r = document.querySelector('code.path').getBoundingClientRect();"
                 "[r.left, r.top, r.width, r.height]")
            .toList();
    QCOMPARE(r.size(), 4);
    const QPointF point(r[0].toDouble() + 10, r[1].toDouble() + r[3].toDouble() / 2);
    QWidget* target = View()->focusProxy();
    QVERIFY(target != nullptr);
    // Three presses close together in time make a triple-click; QTest
    // spaces its clicks apart precisely to avoid that.
    ulong time = 1000;
    for (int click = 0; click < 3; ++click) {
      for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, point, target->mapToGlobal(point), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                          Qt::NoModifier);
        event.setTimestamp(time += 20);
        QCoreApplication::sendEvent(target, &event);
      }
    }
    QTRY_COMPARE_WITH_TIMEOUT(
        Evaluate(*View()->page(), "window.getSelection().toString()").toString(), books,
        kPageTimeoutMs);
  }

  void startPagePathsWrapOnlyAfterASlash() {
    ShowWindow();
    WaitForStartPage();
    // Squeezed to a column a few names wide, every path has to wrap.
    const QString verdict = Evaluate(*View()->page(), R"(
          document.body.style.width = '140px';
          var wraps = 0, bad = [];
          document.querySelectorAll('code.path').forEach(function (code) {
            var walker = document.createTreeWalker(code, NodeFilter.SHOW_TEXT);
            var previous = null;
            for (var node = walker.nextNode(); node; node = walker.nextNode()) {
              for (var i = 0; i < node.length; ++i) {
                var range = document.createRange();
                range.setStart(node, i);
                range.setEnd(node, i + 1);
                var rect = range.getClientRects()[0];
                if (!rect) continue;
                if (previous && rect.top > previous.top + 1) {
                  ++wraps;
                  if (previous.c !== '/' && previous.c !== ' ') bad.push(code.textContent + ' after ' + previous.c);
                }
                previous = {top: rect.top, c: node.data[i]};
              }
            }
          });
          wraps + '|' + bad.join('; ');
        )")
                                .toString();
    QVERIFY2(verdict.section('|', 0, 0).toInt() > 0, qPrintable(verdict));
    QVERIFY2(verdict.section('|', 1).isEmpty(), qPrintable(verdict));
  }

  // A screen reader's list of windows holds the window, not the engine's
  // hidden stand-ins.
  void onlyRealWindowsAreInTheAccessibilityTree() {
    ShowWindow();
    WaitForStartPage();
    QAccessibleInterface* application = QAccessible::queryAccessibleInterface(qApp);
    QVERIFY(application != nullptr);
    QStringList names;
    for (int i = 0; i < application->childCount(); ++i)
      names << application->child(i)->text(QAccessible::Name);
    QCOMPARE(names, QStringList{"Yab XML Pellor"});
  }

  // The result page's tools, driven by their keys in one window: zoom kept
  // across an Apply, find without losing the Apply keys, the source, saving
  // it, the developer tools and the context menu.
  void thePageWorksAsABrowserTab() {
    ShowWindow();
    WaitForStartPage();
    Child<QLineEdit>("txtXml")->setText(DataFile("hello.xml"));
    Child<QLineEdit>("txtXsl")->setText(DataFile("hello.xsl"));
    Key(QKeySequence(Qt::Key_F5));
    WaitForResult();
    const QByteArray output = Contents(TempFile());
    QVERIFY(output.contains(" ok</p>"));

    Key(QKeySequence(Qt::CTRL | Qt::Key_Plus));
    Key(QKeySequence(Qt::CTRL | Qt::Key_Plus));
    Key(QKeySequence(Qt::CTRL | Qt::Key_Minus));
    QCOMPARE(View()->zoomFactor(), 1.1);
    Key(QKeySequence(Qt::CTRL | Qt::Key_Plus));

    // Find: Enter goes to the next match; F5 still applies from the box.
    Key(QKeySequence(Qt::CTRL | Qt::Key_F));
    QLineEdit* find = Child<QLineEdit>("findText");
    QVERIFY(find->isVisible() && find->hasFocus());
    QTest::keyClicks(find, "ok");
    QLabel* matches = Child<QLabel>("findMatches");
    QTRY_COMPARE_WITH_TIMEOUT(matches->text(), QStringLiteral("1 of 1"), kPageTimeoutMs);
    matches->clear();
    QTest::keyClick(find, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(matches->text(), QStringLiteral("1 of 1"), kPageTimeoutMs);
    Overwrite(TempFile(), "not yet written by Apply");
    Key(QKeySequence(Qt::Key_F5));
    QTRY_COMPARE_WITH_TIMEOUT(Contents(TempFile()), output, kPageTimeoutMs);
    WaitForResult();
    QTest::keyClick(find, Qt::Key_Escape);
    QVERIFY(!Child<QWidget>("findBar")->isVisible());

    // The zoom outlived the Apply, in the page itself too.
    QCOMPARE(View()->zoomFactor(), 1.25);
    QTRY_COMPARE_WITH_TIMEOUT(Evaluate(*View()->page(), "window.devicePixelRatio").toDouble(), 1.25,
                              kPageTimeoutMs);

    // The source: the bytes as written, a line number each; Esc and Ctrl+U
    // leave. A path box keeps its text: its own Ctrl+U would clear it.
    QLineEdit* txtXml = Child<QLineEdit>("txtXml");
    for (const QKeySequence& leave :
         {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_U)}) {
      txtXml->setFocus();
      txtXml->end(false);
      Key(QKeySequence(Qt::CTRL | Qt::Key_U));
      QCOMPARE(txtXml->text(), DataFile("hello.xml"));
      auto* source = Child<QtSourceWindow>("source");
      QVERIFY(source != nullptr && source->isVisible());
      QCOMPARE(source->toPlainText().toUtf8(), output);
      QCOMPARE(source->blockCount(), output.count('\n') + (output.endsWith('\n') ? 1 : 0));
      QVERIFY(source->LineNumberWidth() > source->fontMetrics().horizontalAdvance("9"));
      QVERIFY(QTest::qWaitForWindowExposed(source));
      Key(leave, source);
      QTRY_VERIFY(!source->isVisible());
      Reactivate();
    }

    // Saved beside the document under its name, byte for byte where chosen.
    const QString saved = m_tmp.filePath("saved.html");
    QString offered;
    WhenDialogOpens([&](QFileDialog& dialog) {
      offered = dialog.selectedFiles().value(0);
      auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      name->setText(saved);
      QTest::keyClick(name, Qt::Key_Return);
    });
    Key(QKeySequence(Qt::CTRL | Qt::Key_S));
    Reactivate();
    QCOMPARE(offered, DataFile("hello.html"));
    QCOMPARE(Contents(saved), output);
    QVERIFY(QFile::remove(saved));

    // The developer tools come up for the page in a window of their own.
    Key(QKeySequence(Qt::Key_F12));
    auto* tools = Child<QWidget>("devTools");
    QVERIFY(tools != nullptr && tools->isWindow() && tools->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(Child<QWebEngineView>("devToolsView")->url().scheme() == "devtools",
                             kPageTimeoutMs);
    QCOMPARE(View()->page()->devToolsPage(), Child<QWebEngineView>("devToolsView")->page());
    Key(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_I), tools);
    QTRY_VERIFY(!tools->isVisible());

    // The context menu offers what works here, and no Back or Forward.
    RightClickPage();
    QMenu* menu = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((menu = View()->findChild<QMenu*>("pageMenu")) != nullptr,
                             kPageTimeoutMs);
    QStringList items;
    for (QAction* action : menu->actions()) {
      items << action->text() +
                   (action->shortcut().isEmpty() ? "" : " " + action->shortcut().toString());
    }
    QCOMPARE(items,
             (QStringList{"Apply F5", "Copy Ctrl+C", "Select all Ctrl+A", "", "View source Ctrl+U",
                          "Save output as\u2026 Ctrl+S", "Output files\u2026 Ctrl+L", "",
                          "Where did this come from? Ctrl+Shift+C", "Profile this transformation",
                          "Inspect Ctrl+Shift+I"}));
    menu->close();

    // Output in the encoding the stylesheet names: those bytes in the file,
    // the page and the source window reading them in it.
    Overwrite(m_tmp.filePath("w.xml"),
              "<w>Gr\xC3\xB6\xC3\x9F"
              "e \xCE\x9E</w>");
    Overwrite(
        m_tmp.filePath("w.xsl"),
        "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
        "<xsl:output method='html' encoding='ISO-8859-1'/><xsl:template match='/'>"
        "<html><head><title>w</title></head><body><p><xsl:value-of select='w'/></p></body></html>"
        "</xsl:template>"
        "</xsl:stylesheet>");
    Child<QLineEdit>("txtXml")->setText(m_tmp.filePath("w.xml"));
    Child<QLineEdit>("txtXsl")->setText(m_tmp.filePath("w.xsl"));
    Reactivate();
    Key(QKeySequence(Qt::Key_F5));
    const QString words = QStringLiteral("Gr\u00F6\u00DFe \u039E");
    QTRY_VERIFY2_WITH_TIMEOUT(PageText(*View()->page()).contains(words),
                              qPrintable(PageText(*View()->page()) + Contents(TempFile())),
                              kPageTimeoutMs);
    QVERIFY(Contents(TempFile())
                .contains("Gr\xF6\xDF"
                          "e &#926;"));
    Key(QKeySequence(Qt::CTRL | Qt::Key_U));
    auto* source = Child<QtSourceWindow>("source");
    QVERIFY(source->toPlainText().contains(QStringLiteral("Gr\u00F6\u00DFe &#926;")));
    QVERIFY(source->toPlainText().contains(QStringLiteral("charset=ISO-8859-1")));
    Key(QKeySequence(Qt::Key_Escape), source);
    QTRY_VERIFY(!source->isVisible());
  }

  // A run that talks and writes more than a page takes, in one window: its
  // messages in the strip, readable by a screen reader; the page cut with a
  // notice while the file keeps it whole; find in the source window; the
  // strip gone with the next run that says nothing.
  void whatARunSaysAndWritesStaysInView() {
    constexpr qint64 kLimit = 16 * 1024;
    QByteArray items = "<d>";
    for (int i = 1; i <= 1600; ++i) items += "<i>line " + QByteArray::number(i) + "</i>";
    Overwrite(m_tmp.filePath("items.xml"), items + "<i>needle</i></d>");
    Overwrite(m_tmp.filePath("talk.xsl"),
              "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
              "<xsl:template match='/'><xsl:message>counting</xsl:message>"
              "<xsl:message><xsl:value-of select='count(//i)'/> items</xsl:message>"
              "<xsl:message>done &amp; dusted</xsl:message><html><body><p>needle at the top</p>"
              "<xsl:for-each select='//i'><p><xsl:value-of select='.'/></p></xsl:for-each>"
              "</body></html></xsl:template></xsl:stylesheet>");
    DefaultPageRegistry().SetReadLimit(kLimit);
    ShowWindow();
    WaitForStartPage();
    auto* strip = Child<QWidget>("messages");
    QVERIFY(strip != nullptr && !strip->isVisible());
    Child<QLineEdit>("txtXml")->setText(m_tmp.filePath("items.xml"));
    Child<QLineEdit>("txtXsl")->setText(m_tmp.filePath("talk.xsl"));
    Key(QKeySequence(Qt::Key_F5));

    auto* toggle = Child<QToolButton>("messagesToggle");
    QTRY_COMPARE_WITH_TIMEOUT(toggle->text(), QStringLiteral("3 messages"), kPageTimeoutMs);
    QVERIFY(strip->isVisible());
    QCOMPARE(strip->geometry().top(), View()->geometry().bottom() + 1);
    QAccessibleInterface* list =
        QAccessible::queryAccessibleInterface(Child<QListWidget>("messageList"));
    QVERIFY(list != nullptr);
    QCOMPARE(list->text(QAccessible::Name), QStringLiteral("Messages"));
    QStringList heard;
    for (int i = 0; i < list->childCount(); ++i) heard << list->child(i)->text(QAccessible::Name);
    QCOMPARE(heard, (QStringList{"counting", "1601 items", "done & dusted"}));
    const int closed = strip->height();
    toggle->click();
    QTRY_VERIFY(strip->height() > closed);

    QTRY_VERIFY_WITH_TIMEOUT(PageText(Page()).contains("needle at the top"), kPageTimeoutMs);
    const QString text = PageText(Page());
    DefaultPageRegistry().SetReadLimit(PageRegistry::kDefaultReadLimit);
    QVERIFY2(text.trimmed().endsWith(QString::fromLatin1(OutputLimitNotice(kLimit)).trimmed()),
             qPrintable(text.right(200)));
    QVERIFY(!text.contains("line 1600"));
    QVERIFY(Contents(TempFile()).contains("<p>line 1600</p>"));
    QVERIFY(Contents(TempFile()).contains("<p>needle</p>"));

    // Find in the source: Ctrl+F, then F3 and Shift+F3 from the text.
    Key(QKeySequence(Qt::CTRL | Qt::Key_U));
    auto* source = Child<QtSourceWindow>("source");
    QVERIFY(source != nullptr && QTest::qWaitForWindowExposed(source));
    Key(QKeySequence(Qt::CTRL | Qt::Key_F), source);
    auto* find = source->findChild<QLineEdit*>("findText");
    QVERIFY(find != nullptr && find->isVisible());
    QCOMPARE(find->accessibleName(), QStringLiteral("Find in source"));
    QTest::keyClicks(find, "needle");
    auto* matches = source->findChild<QLabel*>("findMatches");
    QCOMPARE(matches->text(), QStringLiteral("1 of 2"));
    QCOMPARE(source->textCursor().selectedText(), QStringLiteral("needle"));
    const int first = source->textCursor().blockNumber();
    source->setFocus();
    Key(QKeySequence(Qt::Key_F3), source);
    QCOMPARE(matches->text(), QStringLiteral("2 of 2"));
    QVERIFY(source->textCursor().blockNumber() > first);
    Key(QKeySequence(Qt::SHIFT | Qt::Key_F3), source);
    QCOMPARE(matches->text(), QStringLiteral("1 of 2"));
    QCOMPARE(source->textCursor().blockNumber(), first);
    // Esc closes the bar first, then the window.
    Key(QKeySequence(Qt::Key_Escape), source);
    QVERIFY(!find->isVisible() && source->isVisible());
    Key(QKeySequence(Qt::Key_Escape), source);
    QTRY_VERIFY(!source->isVisible());
    Reactivate();

    // A run that says nothing takes the strip away, and the page its room.
    Child<QLineEdit>("txtXml")->setText(DataFile("hello.xml"));
    Child<QLineEdit>("txtXsl")->setText(DataFile("hello.xsl"));
    Key(QKeySequence(Qt::Key_F5));
    WaitForResult();
    QTRY_VERIFY(!strip->isVisible());
    QCOMPARE(View()->geometry().bottom(), strip->geometry().bottom());
  }

  void theMessageBoxTextCanBeSelected() {
    QtMessageBox box;
    Qt::TextInteractionFlags flags;
    QString text;
    QTimer::singleShot(0, [&] {
      auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (shown == nullptr) return;
      if (auto* label = shown->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        flags = label->textInteractionFlags();
        text = label->text();
      }
      shown->accept();
    });
    box.Show("[src]\r\nRun-time error '53':\r\n\r\nFile not found", 48, "Yab Xml Pellor", "", 0);
    QCOMPARE(text, QStringLiteral("[src]\nRun-time error '53':\n\nFile not found"));
    QVERIFY(flags.testFlag(Qt::TextSelectableByMouse));
    QVERIFY(flags.testFlag(Qt::TextSelectableByKeyboard));
  }
};

XMLPELLOR_GUI_TEST_MAIN(DesktopTest)
#include "DesktopTest.moc"
