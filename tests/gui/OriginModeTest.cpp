#include <QAccessible>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include "GuiSupport.h"
#include "platform/qt/page_tools/QtOriginMode.h"
#include "platform/qt/page_tools/QtOriginPanel.h"
#include "support/RealWindow.h"

using namespace xmlpellor;
using namespace xmlpellor::test;

// "Where did this come from?" in the real window: elements made by known
// templates are clicked in the marked page, the panel is read as a screen
// reader reads it, and leaving brings the plain page back untouched.
class OriginModeTest : public QObject, public RealWindow {
  Q_OBJECT

 private:
  QtOriginPanel* Panel() { return m_window->Origins().Panel(); }
  void Key(const QKeySequence& keys) {
    QTest::keySequence(m_window->Widget().windowHandle(), keys);
  }
  QByteArray PlainOutput() {
    QFile file(TempFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
  }
  // The point of the view where the element of a query shows, in the view's
  // pixels at its zoom.
  QPoint Where(const char* element) {
    const QVariantList centre =
        Evaluate(Page(), QStringLiteral("(() => { const r = document.querySelector('%1')"
                                        ".getBoundingClientRect();"
                                        "return [r.left + r.width / 2, r.top + r.height / 2]; })()")
                             .arg(QString::fromLatin1(element)))
            .toList();
    if (centre.size() != 2) return {};
    const qreal zoom = View()->zoomFactor();
    return QPointF(centre[0].toDouble() * zoom, centre[1].toDouble() * zoom).toPoint();
  }
  // Right-clicks there and picks "Where did this come from?" in the menu.
  bool WhereFromMenu(QPoint point) {
    RightClickPage(point);
    QMenu* menu = nullptr;
    const auto open = [&] {
      for (QMenu* each : View()->findChildren<QMenu*>("pageMenu")) {
        if (each->isVisible()) menu = each;
      }
      return menu != nullptr;
    };
    if (!QTest::qWaitFor(open, kPageTimeoutMs)) return false;
    for (QAction* action : menu->actions()) {
      if (action->text() != "Where did this come from?") continue;
      QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
      return true;
    }
    return false;
  }
  bool Marked() {
    return Evaluate(Page(), QStringLiteral("!!document.querySelector('[data-xmlpellor-origin]')"))
        .toBool();
  }

 private slots:
  void initTestCase() {
    UseOwnTempFolder();
    QVERIFY(m_data.isValid());
    for (const char* name : {"orders.xml", "orders.xsl"}) {
      QFile data(qEnvironmentVariable("XMLPELLOR_TEST_DATA") + "/origins/" + name);
      QVERIFY(data.open(QIODevice::ReadOnly));
      Write(Data(name), data.readAll());
    }
  }
  void init() { MakeWindow(); }
  void cleanup() { CloseWindow(); }

  void clickedElementsNameTheirTemplatesAndLeavingRestoresThePlainPage() {
    QVERIFY(ShowAndApply("orders.xml", "orders.xsl"));
    QTRY_VERIFY_WITH_TIMEOUT(PageText(Page()).contains("Cheese"), kPageTimeoutMs);
    const QByteArray plain = PlainOutput();
    QVERIFY(!plain.contains("data-xmlpellor-origin"));

    Key(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    QVERIFY(m_window->Origins().Active());
    QVERIFY(Panel() != nullptr && Panel()->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(Marked(), kPageTimeoutMs);

    struct Pick {
      const char* element;  // a query of the page
      const char* templ;
      const char* templPlace;
      const char* instruction;
      const char* instructionPlace;
      const char* source;
      const char* sourcePlace;
    };
    const Pick picks[] = {
        // Two calls deep in the named template that calls itself.
        {"order:first-of-type b:nth-of-type(2)", "name=\"stars\"", "orders.xsl:29", "<b>",
         "orders.xsl:32", "/orders/order[1]", "orders.xml:3"},
        {"div.order:nth-of-type(1) p:nth-of-type(2)", "match=\"item\" priority=\"2\"",
         "orders.xsl:17", "xsl:element", "orders.xsl:18", "/orders/order[1]/item[2]",
         "orders.xml:5"},
        {"order:nth-of-type(2)", "match=\"order\" mode=\"summary\"", "orders.xsl:22", "xsl:copy",
         "orders.xsl:23", "/orders/order[2]", "orders.xml:7"},
    };
    for (const Pick& pick : picks) {
      // Clicked as the page would deliver a click; until the picker is in
      // place, again.
      const QString click = QStringLiteral(
                                "document.querySelector('%1').dispatchEvent("
                                "new MouseEvent('click', {bubbles: true, cancelable: true}))")
                                .arg(QString::fromLatin1(pick.element));
      QTRY_VERIFY2_WITH_TIMEOUT((Evaluate(Page(), click), PanelText("originSource") == pick.source),
                                pick.element, kPageTimeoutMs);
      QCOMPARE(PanelText("originTemplate"), QString::fromUtf8(pick.templ));
      QCOMPARE(PanelText("originTemplatePlace", QAccessible::Name),
               QString::fromUtf8(pick.templPlace));
      QCOMPARE(PanelText("originInstruction"), QString::fromUtf8(pick.instruction));
      QCOMPARE(PanelText("originInstructionPlace", QAccessible::Name),
               QString::fromUtf8(pick.instructionPlace));
      QCOMPARE(PanelText("originSourcePlace", QAccessible::Name),
               QString::fromUtf8(pick.sourcePlace));
      // The whole path of the file, for the editor and the screen reader.
      QVERIFY(
          PanelText("originTemplatePlace", QAccessible::Description).contains(Data("orders.xsl")));
    }

    // The source window shows the plain output while the page is marked.
    Key(QKeySequence(Qt::CTRL | Qt::Key_U));
    QPlainTextEdit* source = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT(
        (source = m_window->Widget().findChild<QPlainTextEdit*>()) != nullptr &&
            source->isVisible(),
        kPageTimeoutMs);
    QCOMPARE(source->toPlainText().toUtf8(), plain);
    source->close();

    // The same key leaves; the plain page and its bytes are back.
    m_window->Widget().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&m_window->Widget()));
    Key(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    QVERIFY(!m_window->Origins().Active());
    QVERIFY(!Panel()->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!Marked() && PageText(Page()).contains("Cheese"), kPageTimeoutMs);
    QVERIFY(m_window->Program().OriginsFile().empty());
    QCOMPARE(PlainOutput(), plain);

    // From the page's menu the right-clicked element shows at once, no click
    // needed; zoomed, where the view's pixels are not the page's.
    for (int step = 0; step < 3; ++step) Key(QKeySequence(Qt::CTRL | Qt::Key_Equal));
    QCOMPARE(View()->zoomFactor(), 1.5);
    const QPoint cheese = Where("#order-2 p");
    QVERIFY(!cheese.isNull());
    QVERIFY(WhereFromMenu(cheese));
    QVERIFY(m_window->Origins().Active());
    QTRY_VERIFY2_WITH_TIMEOUT(PanelText("originSource") == "/orders/order[2]/item",
                              qPrintable(PanelText("originSource")), kPageTimeoutMs);
    QCOMPARE(PanelText("originTemplate"), "match=\"item\" priority=\"2\"");
    QCOMPARE(PanelText("originTemplatePlace", QAccessible::Name), "orders.xsl:17");
    // In the mode, the menu shows the element it was opened on and stays.
    QVERIFY(WhereFromMenu(Where("order:nth-of-type(2) b")));
    QTRY_VERIFY2_WITH_TIMEOUT(PanelText("originSource") == "/orders/order[2]",
                              qPrintable(PanelText("originSource")), kPageTimeoutMs);
    QCOMPARE(PanelText("originTemplate"), "name=\"stars\"");
    QVERIFY(m_window->Origins().Active());
    Key(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    QVERIFY(!m_window->Origins().Active());
  }

  void anAttributeAndATextNameTheirOwnInstructions() {
    QVERIFY(ShowAndApply("orders.xml", "orders.xsl"));
    QTRY_VERIFY_WITH_TIMEOUT(PageText(Page()).contains("Cheese"), kPageTimeoutMs);
    m_window->Origins().Enter();
    QTRY_VERIFY_WITH_TIMEOUT(Marked(), kPageTimeoutMs);
    QTRY_VERIFY2_WITH_TIMEOUT(
        (Evaluate(Page(), QStringLiteral("document.querySelector('#order-2 p').dispatchEvent("
                                         "new MouseEvent('click', {bubbles: true}))")),
         PanelText("originSource") == "/orders/order[2]/item"),
        qPrintable(PanelText("originStatus", QAccessible::Name) + "|" + PanelText("originSource") +
                   "|" + PageState(Page())),
        kPageTimeoutMs);
    auto* parts = Panel()->findChild<QTreeWidget*>("originParts");
    QCOMPARE(parts->topLevelItemCount(), 1);
    QCOMPARE(parts->topLevelItem(0)->text(0), QString::fromUtf8("text \u201cCheese\u201d"));
    QCOMPARE(parts->topLevelItem(0)->text(1), "xsl:value-of");
    QCOMPARE(parts->topLevelItem(0)->text(2), "orders.xsl:19");

    QTRY_VERIFY_WITH_TIMEOUT(
        (Evaluate(Page(), QStringLiteral("document.querySelector('#order-2').dispatchEvent("
                                         "new MouseEvent('click', {bubbles: true}))")),
         PanelText("originSource") == "/orders/order[2]"),
        kPageTimeoutMs);
    QStringList rows;
    for (int i = 0; i < parts->topLevelItemCount(); ++i) {
      rows << parts->topLevelItem(i)->text(0) + '|' + parts->topLevelItem(i)->text(1) + '|' +
                  parts->topLevelItem(i)->text(2);
    }
    QCOMPARE(rows, QStringList({"attribute class|<div>|orders.xsl:11",
                                "attribute id|xsl:attribute|orders.xsl:12"}));
    // Esc in the panel leaves too.
    QTest::keyClick(Panel(), Qt::Key_Escape);
    QVERIFY(!m_window->Origins().Active());
    QTRY_VERIFY_WITH_TIMEOUT(!Marked(), kPageTimeoutMs);
  }
};

XMLPELLOR_GUI_TEST_MAIN(OriginModeTest)
#include "OriginModeTest.moc"
