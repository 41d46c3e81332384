#include <QAccessible>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <unistd.h>

#include "GuiSupport.h"
#include "platform/qt/page_tools/QtOriginMode.h"
#include "platform/qt/page_tools/QtOriginPanel.h"
#include "support/RealWindow.h"

using namespace xmlpellor;
using namespace xmlpellor::test;

namespace {

QByteArray Xsl3(const QByteArray& body) {
  return "<xsl:stylesheet version='3.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform' "
         "expand-text='yes'>" +
         body + "</xsl:stylesheet>";
}

QByteArray Contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Why the window cannot run a 3.0 stylesheet here, or nullptr.
const char* NoSaxon() {
#ifdef XMLPELLOR_NO_SAXON_PROCESS
  return "this build leaves the Saxon engine's process out (a sanitizer build, or no JDK)";
#else
  if (::access("/usr/share/java/Saxon-HE.jar", R_OK) != 0 || ::access("/usr/bin/java", X_OK) != 0)
    return "Saxon-HE or Java is not installed (libsaxonhe-java, default-jre-headless)";
  return nullptr;
#endif
}

}  // namespace

// An XSLT 3.0 stylesheet in the real window, in the Saxon engine's process:
// applied from the keyboard, followed on a save, and stopped with Esc.
class SaxonWindowTest : public QObject, public RealWindow {
  Q_OBJECT

 private slots:
  void initTestCase() {
    if (const char* why = NoSaxon()) QSKIP(why);
    UseOwnTempFolder();
    QVERIFY(m_data.isValid());
    Write(Data("d.xml"), "<d><i>a</i><i>b</i><i>c</i></d>");
  }
  void init() { MakeWindow(); }
  void cleanup() { CloseWindow(); }

  void appliesFollowsAndStops() {
    Write(Data("s.xsl"), Xsl3("<xsl:template match='/'><html><body><p>{count(//i)} items, "
                              "{upper-case(string-join(//i, '+'))}</p></body></html>"
                              "</xsl:template>"));
    auto* txtXsl = ShowAndApply("d.xml", "s.xsl");
    QVERIFY(txtXsl != nullptr);
    // A text value template shows its value, not its braces.
    QTRY_VERIFY2_WITH_TIMEOUT(PageText(Page()).contains("3 items, A+B+C"),
                              qPrintable(PageText(Page())), kPageTimeoutMs);
    QVERIFY(!PageText(Page()).contains('{'));
    // Where an element came from, told by this engine as libxslt tells it.
    QtOriginMode& origins = m_window->Origins();
    origins.Enter();
    QVERIFY(origins.Active());
    QTRY_VERIFY2_WITH_TIMEOUT(
        (Evaluate(Page(),
                  QStringLiteral("document.querySelector('p[data-xmlpellor-origin]')."
                                 "dispatchEvent(new MouseEvent('click', {bubbles: true}))")),
         PanelText("originInstruction") == "<p>"),
        qPrintable(PanelText("originStatus", QAccessible::Name) + "|" + PageState(Page())),
        kPageTimeoutMs);
    QCOMPARE(PanelText("originTemplate"), "match=\"/\"");
    QCOMPARE(PanelText("originInstructionPlace", QAccessible::Name), "s.xsl:1");
    QCOMPARE(PanelText("originSource"), "/");
    auto* parts = origins.Panel()->findChild<QTreeWidget*>("originParts");
    QCOMPARE(parts->topLevelItemCount(), 1);
    QCOMPARE(parts->topLevelItem(0)->text(0), QString::fromUtf8("text \u201c3 items, A+B+C\u201d"));
    QCOMPARE(parts->topLevelItem(0)->text(1), "text");
    origins.Leave();
    QVERIFY(!origins.Panel()->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(PageText(Page()).contains("3 items, A+B+C"), kPageTimeoutMs);

    // Saved: applied again on its own, in the same engine.
    Write(Data("s.xsl"), Xsl3("<xsl:template match='/'><html><body><p>saved: "
                              "{reverse(//i) => string-join('')}</p></body></html>"
                              "</xsl:template>"));
    QTRY_VERIFY2_WITH_TIMEOUT(PageText(Page()).contains("saved: cba"), qPrintable(PageText(Page())),
                              kPageTimeoutMs);
    QCOMPARE(m_h->Reports(), 0u);

    // A job that would run for minutes, stopped with Esc once it is under
    // way: the stop's page, and no box.
    Write(Data("long.xsl"), Xsl3("<xsl:template match='/'><p>{count((1 to 2000000000)"
                                 "[. mod 7 = count(//*) + 99])}</p></xsl:template>"));
    txtXsl->setText(Data("long.xsl"));
    QWidget& form = m_window->Widget();
    QTimer::singleShot(2000, &form,
                       [&form] { QTest::keyClick(form.windowHandle(), Qt::Key_Escape); });
    Child<QPushButton>("cmdApplyXsl")->click();
    const QByteArray written = Contents(TempFile());
    QVERIFY2(written.startsWith("The transformation was stopped after "), written.constData());
    QTRY_VERIFY2_WITH_TIMEOUT(PageText(Page()).startsWith("The transformation was stopped after "),
                              qPrintable(PageText(Page())), kPageTimeoutMs);
    QCOMPARE(m_h->Reports(), 0u);
  }
};

XMLPELLOR_GUI_TEST_MAIN(SaxonWindowTest)
#include "SaxonWindowTest.moc"
