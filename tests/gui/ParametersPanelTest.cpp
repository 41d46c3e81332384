#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include "GuiSupport.h"
#include "support/RealWindow.h"

using namespace xmlpellor;
using namespace xmlpellor::test;

// The parameters panel in the real window, driven from the keyboard and
// read through what a screen reader is told: values from the command line
// show, a value set there reaches the page, and another stylesheet starts
// afresh.
class ParametersPanelTest : public QObject, public RealWindow {
  Q_OBJECT

 private:
  void Shows(const QString& text) {
    QTRY_VERIFY2_WITH_TIMEOUT(PageText(Page()).contains(text), qPrintable(PageText(Page())),
                              kPageTimeoutMs);
  }
  void Key(const QKeySequence& keys, QWidget* window) {
    QTest::keySequence(window->windowHandle(), keys);
  }
  // The control a screen reader knows by `name`.
  template <class T>
  static T* Named(QWidget* root, const QString& name) {
    for (T* widget : root->findChildren<T*>()) {
      if (widget->accessibleName() == name) return widget;
    }
    return nullptr;
  }
  // "name|default|value" for each row.
  static QStringList Rows(QTreeWidget* list) {
    QStringList rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
      const QTreeWidgetItem* item = list->topLevelItem(i);
      rows << item->text(0) + '|' + item->text(1) + '|' + item->text(2);
    }
    return rows;
  }

 private slots:
  void initTestCase() {
    UseOwnTempFolder();
    QVERIFY(m_data.isValid());
    const QByteArray head =
        "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>";
    Write(Data("d.xml"), "<r><i/><i/></r>");
    Write(Data("imp.xsl"), head + "<xsl:param name='deep' select=\"'default-deep'\"/></xsl:stylesheet>");
    Write(Data("s.xsl"), head +
                             "<xsl:import href='imp.xsl'/><xsl:output method='text'/>"
                             "<xsl:param name='a' select=\"'default-a'\"/>"
                             "<xsl:param name='b'>default-b</xsl:param>"
                             "<xsl:template match='/'>a=<xsl:value-of select='$a'/>;b=<xsl:value-of "
                             "select='$b'/>;deep=<xsl:value-of select='$deep'/></xsl:template>"
                             "</xsl:stylesheet>");
    Write(Data("t.xsl"), head +
                             "<xsl:output method='text'/><xsl:param name='a'>t-default</xsl:param>"
                             "<xsl:template match='/'>t: a=<xsl:value-of select='$a'/>"
                             "</xsl:template></xsl:stylesheet>");
  }
  void init() { MakeWindow(); }
  void cleanup() { CloseWindow(); }

  void setsClearsAndAppliesFromTheKeyboard() {
    m_window->Program().SetParameters({{"a", "from the command line"}});
    auto* txtXsl = ShowAndApply("d.xml", "s.xsl");
    QVERIFY(txtXsl != nullptr);
    Shows("a=from the command line;b=default-b;deep=default-deep");

    // F9 opens it with the focus in the list, the command line's value shown.
    Key(QKeySequence(Qt::Key_F9), &m_window->Widget());
    auto* panel = Named<QWidget>(&m_window->Widget(), "Stylesheet parameters");
    QVERIFY(panel != nullptr);
    QVERIFY(QTest::qWaitForWindowActive(panel));
    auto* list = Named<QTreeWidget>(panel, "Parameters");
    auto* value = Named<QLineEdit>(panel, "Value");
    auto* xpath = Named<QCheckBox>(panel, "XPath expression");
    auto* set = Named<QPushButton>(panel, "Set");
    auto* clear = Named<QPushButton>(panel, "Clear");
    auto* apply = Named<QPushButton>(panel, "Apply");
    QVERIFY(list && value && xpath && set && clear && apply);
    QTRY_COMPARE(QApplication::focusWidget(), list);
    QVERIFY(Named<QLabel>(panel, "Stylesheet")->text().contains(Data("s.xsl")));
    QCOMPARE(Rows(list), (QStringList{"a|'default-a'|from the command line", "b|default-b|",
                                      "deep|'default-deep'|"}));
    for (QWidget* next : {static_cast<QWidget*>(value), static_cast<QWidget*>(xpath),
                          static_cast<QWidget*>(set), static_cast<QWidget*>(clear),
                          static_cast<QWidget*>(apply)}) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget(), next);
      QVERIFY(!next->accessibleDescription().isEmpty());
    }

    // Down to b, a value, and Enter: set and applied.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->currentItem()->text(0), QStringLiteral("b"));
    QTest::keyClick(list, Qt::Key_Tab);
    QTest::keyClicks(value, "typed & <kept>");
    QTest::keyClick(value, Qt::Key_Return);
    Shows("a=from the command line;b=typed & <kept>;deep=default-deep");
    QCOMPARE(Rows(list)[1], QStringLiteral("b|default-b|typed & <kept>"));

    // Back to a, Delete clears it, F5 in the panel applies.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Up);
    QTest::keyClick(list, Qt::Key_Delete);
    Key(QKeySequence(Qt::Key_F5), panel);
    Shows("a=default-a;b=typed & <kept>;deep=default-deep");

    // The imported one as an XPath expression, with the Apply button: what
    // is typed counts without a Set.
    QTest::keyClick(list, Qt::Key_End);
    value->setFocus();
    QTest::keyClicks(value, "count(//i) * 10");
    QTest::keyClick(value, Qt::Key_Tab);
    QTest::keyClick(xpath, Qt::Key_Space);
    QTest::keyClick(panel, Qt::Key_A, Qt::AltModifier);
    Shows("a=default-a;b=typed & <kept>;deep=20");
    QCOMPARE(Rows(list)[2], QStringLiteral("deep|'default-deep'|XPath: count(//i) * 10"));

    // Esc closes it; F9 brings it back with the values kept.
    Key(QKeySequence(Qt::Key_Escape), panel);
    QTRY_VERIFY(!panel->isVisible());
    m_window->Widget().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&m_window->Widget()));
    Key(QKeySequence(Qt::Key_F9), &m_window->Widget());
    QTRY_VERIFY(panel->isVisible());
    QCOMPARE(Rows(list), (QStringList{"a|'default-a'|", "b|default-b|typed & <kept>",
                                      "deep|'default-deep'|XPath: count(//i) * 10"}));

    // Another stylesheet starts again from the command line.
    txtXsl->setText(Data("t.xsl"));
    Child<QPushButton>("cmdApplyXsl")->click();
    Shows("t: a=from the command line");
    QCOMPARE(Rows(list), (QStringList{"a|t-default|from the command line"}));
  }
};

XMLPELLOR_GUI_TEST_MAIN(ParametersPanelTest)
#include "ParametersPanelTest.moc"
