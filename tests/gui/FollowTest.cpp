#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>

#include "GuiSupport.h"
#include "support/RealWindow.h"

using namespace xmlpellor;
using namespace xmlpellor::test;

// The edit-save-look loop in the real window: saves of every kind apply
// again on their own, a broken save shows in the page without a box, and the
// page keeps its place throughout.
class FollowTest : public QObject, public RealWindow {
  Q_OBJECT

 private:
  // A page tall enough to scroll, with an in-page link to its end.
  static QByteArray Stylesheet(const QByteArray& heading) {
    return "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
           "<xsl:param name='who'>nobody</xsl:param>"
           "<xsl:template match='/'><html><body><h1>" +
           heading +
           " <xsl:value-of select='$who'/></h1><a id='jump' href='#end'>end</a>"
           "<xsl:for-each select='//i'><p style='height: 40px'><xsl:value-of select='.'/></p>"
           "</xsl:for-each><p id='end'>end</p></body></html></xsl:template></xsl:stylesheet>";
  }
  double ScrollY() { return Evaluate(Page(), QStringLiteral("window.scrollY")).toDouble(); }
  // Waits until the page shows `text` and has come back at `y`.
  void Shows(const QString& text, double y) {
    QTRY_VERIFY2_WITH_TIMEOUT(PageText(Page()).contains(text), qPrintable(PageText(Page())),
                              kPageTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(ScrollY(), y, kPageTimeoutMs);
  }

 private slots:
  void initTestCase() {
    UseOwnTempFolder();
    QVERIFY(m_data.isValid());
    QByteArray items = "<d>";
    for (int i = 0; i < 100; ++i) items += "<i>item " + QByteArray::number(i) + "</i>";
    Write(Data("d.xml"), items + "</d>");
  }
  void init() { MakeWindow(); }
  void cleanup() { CloseWindow(); }

  void savesApplyAgainInPlace() {
    Write(Data("s.xsl"), Stylesheet("first"));
    m_window->Program().SetParameters({{"who", "Ann & Bob"}});
    auto* txtXsl = ShowAndApply("d.xml", "s.xsl");
    QVERIFY(txtXsl != nullptr);
    Shows("first Ann & Bob", 0);

    Evaluate(Page(), QStringLiteral("window.scrollTo(0, 600)"));
    QTRY_COMPARE_WITH_TIMEOUT(Page().scrollPosition().y(), 600.0, kPageTimeoutMs);
    Write(Data("s.xsl"), Stylesheet("written in place"));
    Shows("written in place Ann & Bob", 600);

    // Written beside it, then renamed over it, as many editors save.
    Write(Data("s.xsl.new"), Stylesheet("renamed over"));
    QCOMPARE(std::rename(qPrintable(Data("s.xsl.new")), qPrintable(Data("s.xsl"))), 0);
    Shows("renamed over", 600);

    // A long error page opens at its top, where its reason is, not where
    // the result was left: the engine would bring the same location back
    // there.
    Write(Data("s.xsl"),
          "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
          "<xsl:param name='who'/><xsl:template match='/'><xsl:for-each select='//i'>"
          "<xsl:message><xsl:value-of select='.'/></xsl:message></xsl:for-each>"
          "<xsl:message terminate='yes'>stopped here</xsl:message></xsl:template>"
          "</xsl:stylesheet>");
    QTRY_VERIFY_WITH_TIMEOUT(PageText(Page()).contains("item 99"), kPageTimeoutMs);
    QVERIFY(PageText(Page()).indexOf("stopped here") < PageText(Page()).indexOf("item 0"));
    // Waited for as the window sees it: a script run at each poll starves
    // the engine of the time it needs to report the move.
    QTRY_COMPARE_WITH_TIMEOUT(Page().scrollPosition().y(), 0.0, kPageTimeoutMs);
    QCOMPARE(Evaluate(Page(), QStringLiteral("window.scrollY")).toDouble(), 0.0);

    // A broken save: the error in the page, in the log, and no box.
    Write(Data("s.xsl"),
          "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/"
          "Transform'><xsl:param name='who'/><xsl:template match='/'>"
          "<xsl:value-of select='(('/></xsl:template></xsl:stylesheet>");
    QTRY_VERIFY_WITH_TIMEOUT(PageText(Page()).contains("could not be compiled"), kPageTimeoutMs);
    QVERIFY(PageText(Page()).contains("Run-time error"));
    QVERIFY2(PageText(Page()).contains(Data("s.xsl")), qPrintable(PageText(Page())));
    QCOMPARE(m_h->Reports(), 0u);
    QCOMPARE(m_h->app.entries.size(), std::size_t{2});  // the stop above, and this
    QCOMPARE(QApplication::focusWidget(), txtXsl);

    // Mended: back at the place the result was left, not at the error's top.
    Write(Data("s.xsl"), Stylesheet("mended"));
    Shows("mended", 600);

    // After an in-page link, the place the link led to.
    Evaluate(Page(), QStringLiteral("document.getElementById('jump').click()"));
    QTRY_VERIFY_WITH_TIMEOUT(Page().scrollPosition().y() > 600.0, kPageTimeoutMs);
    const double linked = Page().scrollPosition().y();
    Write(Data("s.xsl"), Stylesheet("after the link"));
    Shows("after the link", linked);

    // A file the run read, named by the run.
    Write(Data("extra.ent"), "one");
    m_window->Program().FollowFiles({Data("extra.ent").toStdString()});
    QSignalSpy loads(&Page(), &QWebEnginePage::loadFinished);
    Write(Data("extra.ent"), "two");
    QTRY_VERIFY_WITH_TIMEOUT(loads.count() >= 1, kPageTimeoutMs);
    QCOMPARE(m_h->Reports(), 0u);
  }
};

XMLPELLOR_GUI_TEST_MAIN(FollowTest)
#include "FollowTest.moc"
