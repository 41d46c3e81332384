#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "GuiSupport.h"
#include "support/RealWindow.h"

using namespace xmlpellor;
using namespace xmlpellor::test;

// A stylesheet that writes several files, in the real window: the first
// is shown, its links lead to the others, the list shows each, and no file
// appears outside the run's own folder.
class OutputFilesTest : public QObject, public RealWindow {
  Q_OBJECT

 private:
  void Shows(const char* text) {
    QTRY_VERIFY2_WITH_TIMEOUT(PageText(Page()).contains(QString::fromUtf8(text)),
                              qPrintable(PageText(Page())), kPageTimeoutMs);
  }
  // Every file below `folder`, by its path there.
  static QStringList Below(const QString& folder) {
    QStringList found;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) found << QDir(folder).relativeFilePath(it.next());
    found.sort();
    return found;
  }

 private slots:
  void initTestCase() {
    UseOwnTempFolder();
    QVERIFY(m_data.isValid());
    Write(Data("book.xml"), "<book><ch>One</ch><ch>Two</ch></book>");
    // The output itself is blank; the chapters link on, one in its own
    // encoding, one in a subfolder.
    Write(Data("chunk.xsl"),
          "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform' "
          "xmlns:exsl='http://exslt.org/common' extension-element-prefixes='exsl'>"
          "<xsl:template match='/'>"
          "<exsl:document href='index.html' method='html'><html><body><h1>Index page</h1>"
          "<a id='next' href='ch1.html'>first</a></body></html></exsl:document>"
          "<exsl:document href='ch1.html' method='html' encoding='ISO-8859-1'><html><body>"
          "<p>Chapter <xsl:value-of select='//ch[1]'/>, caf&#233;</p>"
          "<a id='next' href='parts/ch2.html'>next</a></body></html></exsl:document>"
          "<exsl:document href='parts/ch2.html' method='html'><html><body>"
          "<p>Chapter <xsl:value-of select='//ch[2]'/></p>"
          "<a id='next' href='../index.html'>back</a></body></html></exsl:document>"
          "</xsl:template></xsl:stylesheet>");
  }
  void init() { MakeWindow(); }
  void cleanup() {
    CloseWindow();
    // The run's folder goes with the window.
    QCOMPARE(QDir(m_tmp.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList());
  }

  void showsTheFirstFileAndFollowsItsLinks() {
    m_window->Show();
    QVERIFY(QTest::qWaitForWindowActive(&m_window->Widget()));
    Child<QLineEdit>("txtXml")->setText(Data("book.xml"));
    auto* txtXsl = Child<QLineEdit>("txtXsl");
    txtXsl->setText(Data("chunk.xsl"));
    QTest::keyClick(txtXsl, Qt::Key_Return);
    Shows("Index page");

    const auto next = [this] {
      Evaluate(Page(), QStringLiteral("document.getElementById('next').click()"));
    };
    next();
    // Declared and sent in ISO-8859-1, read as such.
    Shows("Chapter One, caf\u00e9");
    next();
    Shows("Chapter Two");
    next();
    Shows("Index page");

    // Ctrl+L lists the three; Enter on one shows it.
    QTest::keyClick(&m_window->Widget(), Qt::Key_L, Qt::ControlModifier);
    auto* list = m_window->Widget().findChild<QListWidget*>(QStringLiteral("outputFiles"));
    QVERIFY(list != nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(list->isVisible(), kPageTimeoutMs);
    QCOMPARE(list->accessibleName(), QStringLiteral("Output files"));
    QCOMPARE(list->count(), 3);
    list->setCurrentRow(2);
    QCOMPARE(list->currentItem()->text(), QStringLiteral("parts/ch2.html"));
    QTest::keyClick(list, Qt::Key_Return);
    Shows("Chapter Two");
    QTest::keyClick(list, Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(!list->isVisible(), kPageTimeoutMs);

    // Nothing beside the job's files; the set only in the run's folder.
    QCOMPARE(Below(m_data.path()), (QStringList{"book.xml", "chunk.xsl"}));
    const QStringList runs =
        QDir(m_tmp.path()).entryList({QStringLiteral("xmlpellor-files-*")}, QDir::Dirs);
    QCOMPARE(runs.size(), 1);
    QCOMPARE(Below(m_tmp.path() + "/" + runs[0]),
             (QStringList{"ch1.html", "index.html", "parts", "parts/ch2.html"}));
    QCOMPARE(m_h->Reports(), 0u);
  }
};

XMLPELLOR_GUI_TEST_MAIN(OutputFilesTest)
#include "OutputFilesTest.moc"
