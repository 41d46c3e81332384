#include <QAccessible>
#include <QAccessibleTableInterface>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QTableView>
#include <QtTest>

#include "GuiSupport.h"
#include "platform/qt/services/QtEditor.h"
#include "support/RealWindow.h"

using namespace xmlpellor;
using namespace xmlpellor::test;

// Where the time went and the jump to the line, in the real window: the
// profile from the page's menu, read and sorted as a screen reader's user
// would, its rows and an error page's place opened in the editor.
class ProfileWindowTest : public QObject, public RealWindow {
  Q_OBJECT

 private:
  void Key(const QKeySequence& keys, QWidget* window) {
    QTest::keySequence(window->windowHandle(), keys);
  }
  void Shows(const QString& text) {
    QTRY_VERIFY2_WITH_TIMEOUT(PageText(Page()).contains(text), qPrintable(PageText(Page())),
                              kPageTimeoutMs);
  }
  // Right-clicks the page; `menu` is the menu that opens.
  void OpenPageMenu(QMenu*& menu) {
    RightClickPage();
    QTRY_VERIFY_WITH_TIMEOUT(
        (menu = View()->findChild<QMenu*>("pageMenu")) != nullptr && menu->isVisible(),
        kPageTimeoutMs);
  }
  // The table's cells as the accessibility tree gives them, a row a line
  // "template|mode|calls".
  static QStringList Heard(QTableView* table) {
    // Qt keeps a view's cells in step with its model only while a bridge to
    // a screen reader is active, and offscreen has none: the table is read
    // afresh, as a bridge that has just connected reads it.
    if (QAccessibleInterface* old = QAccessible::queryAccessibleInterface(table)) {
      QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(old));
    }
    QAccessibleInterface* view = QAccessible::queryAccessibleInterface(table);
    QAccessibleTableInterface* cells = view != nullptr ? view->tableInterface() : nullptr;
    if (cells == nullptr) return {"no table"};
    QStringList rows;
    for (int r = 0; r < cells->rowCount(); ++r) {
      const auto cell = [&](int c) {
        QAccessibleInterface* at = cells->cellAt(r, c);
        return at != nullptr ? at->text(QAccessible::Name) : QStringLiteral("?");
      };
      rows << cell(0) + '|' + cell(1) + '|' + cell(3);
    }
    return rows;
  }
  QString Recorded() {
    QFile file(m_data.filePath("editor-args"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
  }

 private slots:
  void initTestCase() {
    UseOwnTempFolder();
    QVERIFY(m_data.isValid());
    const QString from = qEnvironmentVariable("XMLPELLOR_TEST_DATA") + "/profile/";
    for (const char* name : {"orders.xml", "report.xsl", "parts.xsl"}) {
      QVERIFY(QFile::copy(from + name, Data(name)));
    }
    // An editor that writes down what it was given, an argument a line.
    Write(Data("editor.sh"),
          "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/editor-args\"\n");
    QVERIFY(QFile::setPermissions(Data("editor.sh"), QFile::ReadOwner | QFile::ExeOwner));
    Write(Data("broken.xsl"),
          "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>\n"
          "<xsl:template match='/'>\n<xsl:value-of select='1 &lt; (('/>\n</xsl:template>\n"
          "</xsl:stylesheet>\n");
  }
  void init() { MakeWindow(); }
  void cleanup() { CloseWindow(); }

  void profilesSortsAndOpensLinesFromTheKeyboard() {
    m_window->SetEditor({"'" + Data("editor.sh").toStdString() + "' --line={line} {file}", "", ""});
    QVERIFY(ShowAndApply("orders.xml", "report.xsl") != nullptr);
    Shows("Order 3");

    // The menu is in the accessibility tree while it is open.
    QMenu* menu = nullptr;
    OpenPageMenu(menu);
    QVERIFY(menu != nullptr);
    QAccessibleInterface* application = QAccessible::queryAccessibleInterface(qApp);
    QStringList windows;
    for (int i = 0; i < application->childCount(); ++i) {
      windows << application->child(i)->text(QAccessible::Name);
    }
    QVERIFY2(windows.contains("Page"), qPrintable(windows.join(", ")));
    QAction* profile = nullptr;
    for (QAction* action : menu->actions()) {
      if (action->text() == "Profile this transformation") profile = action;
    }
    QVERIFY(profile != nullptr && profile->isEnabled());
    profile->trigger();
    menu->close();

    auto* window = Child<QWidget>("profile");
    QTRY_VERIFY_WITH_TIMEOUT(window != nullptr && window->isVisible(), kPageTimeoutMs);
    auto* table = Child<QTableView>("profileTable");
    QVERIFY(QTest::qWaitForWindowActive(window));
    QTRY_VERIFY(table->hasFocus());
    QCOMPARE(QAccessible::queryAccessibleInterface(table)->text(QAccessible::Name),
             QStringLiteral("Templates"));
    // Each template with the count xsltproc --profile gives it.
    QStringList heard = Heard(table);
    QStringList expected{"match=\"/\"||1",         "match=\"order\"||3", "name=\"title\"||3",
                         "match=\"item\"||6",      "name=\"stars\"||22", "match=\"item\"|summary|6",
                         "match=\"order\"|never|0"};
    heard.sort();
    expected.sort();
    QCOMPARE(heard, expected);
    QVERIFY(Child<QWidget>("profileSummary")->property("text").toString().contains("compiling"));

    // Sorted by calls, fewest first, without the mouse: Alt+S to the
    // "Sort by" box, C for Calls, Alt+D to turn Descending off.
    Key(QKeySequence(Qt::ALT | Qt::Key_S), window);
    QTRY_VERIFY(Child<QComboBox>("profileSortBy")->hasFocus());
    QTest::keyClick(Child<QComboBox>("profileSortBy"), Qt::Key_C);
    Key(QKeySequence(Qt::ALT | Qt::Key_D), window);
    QCOMPARE(table->horizontalHeader()->sortIndicatorSection(), 3);
    // A button's key clicks it the way a mouse would, a moment later.
    QTRY_COMPARE(table->horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);
    heard = Heard(table);
    QCOMPARE(heard.first(), QStringLiteral("match=\"order\"|never|0"));
    QCOMPARE(heard.last(), QStringLiteral("name=\"stars\"||22"));

    // Enter on the first row opens that template in the editor.
    table->setFocus();
    table->setCurrentIndex(table->model()->index(0, 0));
    QTest::keyClick(table, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(Recorded(), "--line=31\n" + Data("report.xsl") + "\n",
                              kPageTimeoutMs);
    Key(QKeySequence(Qt::Key_Escape), window);
    QTRY_VERIFY(!window->isVisible());

    // An error page's place is a link: activated, the stylesheet opens at
    // its line and the page stays.
    QVERIFY(QFile::remove(m_data.filePath("editor-args")));
    m_window->Widget().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&m_window->Widget()));
    auto* txtXsl = Child<QLineEdit>("txtXsl");
    txtXsl->setText(Data("broken.xsl"));
    txtXsl->setFocus();
    QTest::keyClick(txtXsl, Qt::Key_Return);
    Shows("could not be compiled");
    const QUrl errorPage = View()->url();
    // Focused and activated with Enter, as a keyboard's user follows a link.
    QCOMPARE(Evaluate(Page(),
                      "document.querySelector('a').focus(); "
                      "document.activeElement.getAttribute('href')")
                 .toString()
                 .section(':', 0, 0),
             QStringLiteral("xmlpellor-line"));
    View()->focusProxy()->setFocus();
    QTest::keyClick(View()->focusProxy(), Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(Recorded(), "--line=3\n" + Data("broken.xsl") + "\n", kPageTimeoutMs);
    QCOMPARE(View()->url(), errorPage);
    // The Apply's own box was the error's one report; the link added none.
    QCOMPARE(m_h->Reports(), 1u);
    m_h->box.shown.clear();
  }
};

XMLPELLOR_GUI_TEST_MAIN(ProfileWindowTest)
#include "ProfileWindowTest.moc"
