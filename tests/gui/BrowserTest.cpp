#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QWebEngineHistory>
#include <QWebEngineView>
#include <QtTest>

#include "GuiSupport.h"
#include "platform/RuntimeError.h"
#include "platform/qt/browser/QtBrowser.h"
#include "platform/qt/form/QtCommandButton.h"
#include "platform/qt/form/QtForm.h"
#include "platform/qt/form/QtTextBox.h"

using namespace xmlpellor;
using namespace xmlpellor::test;

// The Qt stand-ins of the window runtime and the browser, one at a time.
class BrowserTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir m_dir;

  std::string Write(const QString& name, const QByteArray& content) {
    QFile file(m_dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) qFatal("cannot write test file");
    file.write(content);
    return file.fileName().toStdString();
  }

 private slots:
  void showsATemporaryFileAsHtml_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("system temporary name") << "xmlA1b2C3.tmp";
    QTest::newRow("no extension") << "result";
    QTest::newRow("text extension") << "result.txt";
    QTest::newRow("spaces, hash, percent") << "my result #1 100%.tmp";
    QTest::newRow("not ASCII") << QString::fromUtf8("Ergebnis-\xC3\xBC.tmp");
  }
  void showsATemporaryFileAsHtml() {
    QFETCH(QString, name);
    QWebEngineView view;
    QtBrowser browser(view);
    const std::string path = Write(name, "<p>caf\xC3\xA9 <b>bold</b></p>");
    browser.Navigate(path);
    QTRY_COMPARE_WITH_TIMEOUT(PageState(*view.page()), Loaded(QtBrowser::UrlFor(path)), kPageTimeoutMs);
    QCOMPARE(Evaluate(*view.page(), "document.querySelector('b') ? 'element' : 'text'").toString(),
             QStringLiteral("element"));
    // No charset in the page: its UTF-8 bytes still read right.
    QCOMPARE(PageText(*view.page()), QString::fromUtf8("caf\xC3\xA9 bold"));
  }

  void readsTheSamePathAnewOnEveryNavigation() {
    QWebEngineView view;
    QtBrowser browser(view);
    const std::string path = Write("xmlSame.tmp", "<p>first</p>");
    browser.Navigate(path);
    QTRY_COMPARE_WITH_TIMEOUT(PageText(*view.page()), QStringLiteral("first"), kPageTimeoutMs);
    Write("xmlSame.tmp", "<p>second</p>");
    browser.Navigate(path);
    QTRY_COMPARE_WITH_TIMEOUT(PageText(*view.page()), QStringLiteral("second"), kPageTimeoutMs);
  }

  void showsAResultOverFiveMegabytesWhole() {
    QWebEngineView view;
    QtBrowser browser(view);
    const int size = 6 * 1024 * 1024;
    const std::string path = Write("xmlBig.tmp", "<pre id='all'>" + QByteArray(size, 'x') +
                                                     "</pre><p id='end'>end</p>");
    browser.Navigate(path);
    QTRY_COMPARE_WITH_TIMEOUT(PageState(*view.page()), Loaded(QtBrowser::UrlFor(path)), kPageTimeoutMs);
    QCOMPARE(Evaluate(*view.page(), "document.getElementById('all').textContent.length").toInt(), size);
    QCOMPARE(Evaluate(*view.page(), "document.getElementById('end').textContent").toString(),
             QStringLiteral("end"));
  }

  void theLastPageNamedBeforeTheWindowPaintsShowsOnceItHas() {
    QWidget window;
    window.resize(400, 300);
    auto* view = new QWebEngineView(&window);
    QtBrowser browser(*view, QtBrowser::EngineStart::kAfterFirstPaint);
    int started = 0;
    browser.OnStarted([&] { ++started; });
    const std::string early = Write("xmlEarly.tmp", "<p>early</p>");
    const std::string last = Write("xmlLast.tmp", "<p>last</p>");
    browser.Navigate(early);
    browser.Navigate(last);
    QCoreApplication::processEvents();
    QVERIFY(!browser.EngineStarted());
    window.show();
    QVERIFY(!view->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(browser.EngineStarted(), kPageTimeoutMs);
    QVERIFY(view->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(PageState(*view->page()), Loaded(QtBrowser::UrlFor(last)), kPageTimeoutMs);
    QCOMPARE(PageText(*view->page()), QStringLiteral("last"));
    QCOMPARE(view->history()->count(), 1);
    QCOMPARE(started, 1);
  }

  void aMissingFileFailsInTheEngineNotInTheProgram() {
    QWebEngineView view;
    QtBrowser browser(view);
    QSignalSpy finished(&view, &QWebEngineView::loadFinished);
    for (const std::string& path : {m_dir.filePath("missing.tmp").toStdString(), std::string(),
                                    m_dir.path().toStdString()}) {
      finished.clear();
      browser.Navigate(path);  // returns at once, raises nothing
      QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, kPageTimeoutMs);
      QCOMPARE(finished.at(0).at(0).toBool(), false);
    }
  }

  void moveWorksInTwipsAndReadsBackWholePixels_data() {
    QTest::addColumn<QList<float>>("move");
    QTest::addColumn<QList<float>>("readBack");
    QTest::newRow("whole pixels") << QList<float>{300, 660, 7935, 4755} << QList<float>{300, 660, 7935, 4755};
    QTest::newRow("rounded to pixels") << QList<float>{180, 180, 3065, 330} << QList<float>{180, 180, 3060, 330};
    QTest::newRow("half a pixel up") << QList<float>{0, 0, 22.5f, 8} << QList<float>{0, 0, 30, 15};
    QTest::newRow("nothing wide") << QList<float>{-30, -15, 0, 0} << QList<float>{-30, -15, 0, 0};
  }
  void moveWorksInTwipsAndReadsBackWholePixels() {
    QFETCH(QList<float>, move);
    QFETCH(QList<float>, readBack);
    QWidget parent;
    auto* edit = new QLineEdit(&parent);
    auto* button = new QPushButton(&parent);
    auto* view = new QWebEngineView(&parent);
    QtTextBox box(*edit);
    QtCommandButton command(*button);
    QtBrowser browser(*view);
    for (IControl* control : std::initializer_list<IControl*>{&box, &command, &browser}) {
      control->Move(move[0], move[1], move[2], move[3]);
      QCOMPARE((QList<float>{control->Left(), control->Top(), control->Width(), control->Height()}),
               readBack);
    }
  }

  void aNegativeSizeIsRefusedWithError5AndTheControlStays() {
    QWidget parent;
    auto* edit = new QLineEdit(&parent);
    auto* view = new QWebEngineView(&parent);
    QtTextBox box(*edit);
    QtBrowser browser(*view);
    for (IControl* control : std::initializer_list<IControl*>{&box, &browser}) {
      control->Move(150, 150, 1500, 300);
      for (const auto& [w, h] : {std::pair{-15.0f, 300.0f}, std::pair{1500.0f, -1.0f}}) {
        try {
          control->Move(0, 0, w, h);
          QFAIL("a negative size was taken");
        } catch (const RuntimeError& e) {
          QCOMPARE(e.number(), err::kInvalidProcedureCall);
        }
        QCOMPARE((QList<float>{control->Left(), control->Top(), control->Width(), control->Height()}),
                 (QList<float>{150, 150, 1500, 300}));
      }
    }
  }

  void aTextBoxHasNoLengthLimit() {
    QLineEdit edit;
    QtTextBox box(edit);
    const std::string longPath = "/" + std::string(100000, 'p') + ".xml";
    box.SetText(longPath);
    QCOMPARE(box.Text(), longPath);
  }

  void theFormLoadsBeforeItsFirstResizeAndUnloadsOnce() {
    QtForm form;
    form.resize(592, 390);
    QStringList events;
    std::int16_t cancelWith = 1;
    form.SetEvents({.load = [&] { events << "load"; },
                    .resize = [&] { events << "resize"; },
                    .unload = [&](std::int16_t& cancel) { events << "unload"; cancel = cancelWith; }});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(events.mid(0, 2), (QStringList{"load", "resize"}));
    QCOMPARE(form.ScaleWidth(), 8880.0f);
    QCOMPARE(form.ScaleHeight(), 5850.0f);

    events.clear();
    form.resize(600, 400);
    QTRY_COMPARE(events, QStringList{"resize"});
    QCOMPARE(form.ScaleWidth(), 9000.0f);

    events.clear();
    QVERIFY(!form.close());  // a non-zero Cancel keeps it open
    QVERIFY(form.isVisible());
    cancelWith = 0;
    QVERIFY(form.close());
    QVERIFY(form.close());
    QCOMPARE(events, (QStringList{"unload", "unload"}));
    QVERIFY(form.Unloaded());
  }
};

XMLPELLOR_GUI_TEST_MAIN(BrowserTest)
#include "BrowserTest.moc"
