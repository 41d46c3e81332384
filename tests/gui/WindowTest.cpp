#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextDocumentFragment>
#include <QWebEngineView>
#include <QtTest>
#include <csignal>
#include <memory>

#include "GuiSupport.h"
#include "support/RealWindow.h"
#include "main_window/QtMainWindow.h"
#include "platform/FileSystem.h"
#include "platform/qt/form/QtForm.h"
#include "platform/qt/services/SignalCloser.h"
#include "support/Fakes.h"

using namespace xmlpellor;
using namespace xmlpellor::test;

namespace {

QString DataFile(const char* name) {
  return QString::fromLocal8Bit(qgetenv("XMLPELLOR_TEST_DATA")) + QStringLiteral("/window/") +
         QString::fromLatin1(name);
}

QByteArray Contents(const std::string& path) {
  QFile file(QString::fromStdString(path));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The text a reader sees in an HTML text, with white space run together.
QString VisibleText(const QByteArray& html) {
  return QTextDocumentFragment::fromHtml(QString::fromUtf8(html)).toPlainText().simplified();
}

}  // namespace

// The whole window on real Qt widgets and files, with the error report
// recorded instead of shown and the temporary files kept in a folder of the
// test's own.
class WindowTest : public QObject, public RealWindow {
  Q_OBJECT

 private:
  void ShowWindow() {
    m_window->Show();
    QVERIFY(QTest::qWaitForWindowActive(&m_window->Widget()));
  }

 private slots:
  void initTestCase() {
    UseOwnTempFolder();
  }

  void init() {
    MakeWindow();
  }

  void cleanup() { CloseWindow(); }

  void isCreatedWithItsControlsInOrder() {
    QWidget& form = m_window->Widget();
    QCOMPARE(form.windowTitle(), QStringLiteral("Yab XML Pellor"));
    QCOMPARE(form.size(), QSize(592, 390));
    QVERIFY(form.windowIcon().availableSizes().contains(QSize(16, 16)));
    QStringList names;
    for (QObject* child : form.children()) {
      if (child->isWidgetType()) names << child->objectName();
    }
    // The strip of a run's messages comes after the design's controls.
    QCOMPARE(names, (QStringList{"cmdApplyXsl", "cmdBrowseXsl", "cmdBrowseXml", "txtXsl", "txtXml", "wbr", "messages"}));
    QCOMPARE(Child<QPushButton>("cmdApplyXsl")->text(), QStringLiteral("&Apply"));
    QCOMPARE(Child<QPushButton>("cmdBrowseXml")->text(), QStringLiteral("..."));
    QCOMPARE(Child<QPushButton>("cmdBrowseXsl")->text(), QStringLiteral("..."));
    QCOMPARE(Child<QLineEdit>("txtXml")->text(), QString());
    QCOMPARE(Child<QLineEdit>("txtXsl")->text(), QString());
  }

  void startsWithTheStartPageAndAnEmptyTemporaryFile() {
    ShowWindow();
    QVERIFY(QFileInfo(TempFile()).fileName().startsWith("xml"));
    QCOMPARE(QFileInfo(TempFile()).size(), 0);
    const QUrl start = QtBrowser::UrlFor(m_h->app.path + "/yabxmlpellor.htm");
    QTRY_COMPARE_WITH_TIMEOUT(PageState(Page()), Loaded(start), kPageTimeoutMs);
    // The start page spells out where the examples are.
    const QString text = PageText(Page());
    QVERIFY(text.contains("Yab XML Pellor"));
    const QString books = QString::fromStdString(m_h->app.path) + "/examples/books.xml";
    QVERIFY2(text.contains(books) && QFileInfo::exists(books), qPrintable(books));
  }

  void focusStartsInTheXmlBoxAndTabFollowsTheRow() {
    ShowWindow();
    QCOMPARE(QApplication::focusWidget(), Child<QLineEdit>("txtXml"));
    // The view takes the focus through an inner widget once it shows a page.
    QTRY_COMPARE_WITH_TIMEOUT(PageState(Page()).section('|', 1, 1), QStringLiteral("complete"), kPageTimeoutMs);
    QWidget* wbr = Child<QWebEngineView>("wbr");
    const QList<QWidget*> expected = {Child<QWidget>("cmdBrowseXml"), Child<QWidget>("txtXsl"),
                                      Child<QWidget>("cmdBrowseXsl"), Child<QWidget>("cmdApplyXsl"), wbr};
    for (QWidget* next : expected) {
      QTest::keyClick(m_window->Widget().windowHandle(), Qt::Key_Tab);
      QWidget* focus = QApplication::focusWidget();
      QVERIFY2(focus == next || next->isAncestorOf(focus),
               qPrintable(QStringLiteral("focus on %1, expected %2")
                              .arg(focus ? focus->objectName() : "nothing", next->objectName())));
    }
  }

  void applyShowsTheResultFile_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Enter in the XML box") << "txtXml";
    QTest::newRow("Enter in the XSL box") << "txtXsl";
    QTest::newRow("Alt+A") << "alt+a";
    QTest::newRow("click") << "click";
  }
  void applyShowsTheResultFile() {
    QFETCH(QString, how);
    ShowWindow();
    const QString tempFile = TempFile();
    Child<QLineEdit>("txtXml")->setText(" " + DataFile("hello.xml") + "  ");
    Child<QLineEdit>("txtXsl")->setText(DataFile("hello.xsl"));
    // Put a marker in the file: only a new write takes it away.
    {
      QFile marker(tempFile);
      QVERIFY(marker.open(QIODevice::WriteOnly));
      marker.write("not yet written by Apply");
    }
    if (how == "alt+a") {
      // Through the window, as the window system delivers it: shortcuts are
      // matched there, not in the widget.
      QTest::keyClick(m_window->Widget().windowHandle(), Qt::Key_A, Qt::AltModifier);
    } else if (how == "click") {
      QTest::mouseClick(Child<QPushButton>("cmdApplyXsl"), Qt::LeftButton);
    } else {
      Child<QLineEdit>(qPrintable(how))->setFocus();
      QTest::keyClick(Child<QLineEdit>(qPrintable(how)), Qt::Key_Return);
    }
    // The access key presses the button the way a click does, a moment later.
    QTRY_VERIFY_WITH_TIMEOUT(Contents(tempFile.toStdString()) != "not yet written by Apply",
                             kPageTimeoutMs);
    const QByteArray written = Contents(tempFile.toStdString());
    QCOMPARE(TempFile(), tempFile);  // the same file for every Apply of the run
    // Shown beside the document, so that its relative references resolve there.
    const PageInfo page{PageKind::kHtml, DataFile("hello.xml").toStdString()};
    QTRY_COMPARE_WITH_TIMEOUT(PageState(Page()), Loaded(QtBrowser::UrlFor(tempFile.toStdString(), page)),
                              kPageTimeoutMs);
    QCOMPARE(PageText(Page()).simplified(), VisibleText(written));
  }

  void aDocumentThatDoesNotParseShowsTheParserText() {
    ShowWindow();
    Child<QLineEdit>("txtXml")->setText(DataFile("broken.xml"));
    Child<QLineEdit>("txtXsl")->setText(DataFile("hello.xsl"));
    QTest::keyClick(Child<QLineEdit>("txtXml"), Qt::Key_Return);
    const QByteArray written = Contents(TempFile().toStdString());
    QVERIFY(written.startsWith("Error in line "));
    const PageInfo page{PageKind::kHtml, DataFile("broken.xml").toStdString()};
    QTRY_COMPARE_WITH_TIMEOUT(PageState(Page()), Loaded(QtBrowser::UrlFor(TempFile().toStdString(), page)),
                              kPageTimeoutMs);
    const QString text = PageText(Page());
    QVERIFY2(text.startsWith("Error in line ") && text.contains(DataFile("broken.xml")), qPrintable(text));
  }

  void closingDeletesTheTemporaryFile() {
    ShowWindow();
    const QString tempFile = TempFile();
    QTest::keyClick(Child<QLineEdit>("txtXml"), Qt::Key_Return);
    QVERIFY(QFileInfo::exists(tempFile));
    QVERIFY(m_window->Widget().close());
    QVERIFY(!QFileInfo::exists(tempFile));
  }

  void aTerminationSignalClosesTheWindowTheSameWay() {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
      init();
      SignalCloser closer(m_window->Widget());
      ShowWindow();
      const QString tempFile = TempFile();
      QVERIFY(QFileInfo::exists(tempFile));
      ::raise(signal);
      QTRY_VERIFY_WITH_TIMEOUT(!m_window->Widget().isVisible(), kPageTimeoutMs);
      QVERIFY(!QFileInfo::exists(tempFile));
    }
  }
};

XMLPELLOR_GUI_TEST_MAIN(WindowTest)
#include "WindowTest.moc"
