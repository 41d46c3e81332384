#include <QAccessible>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineView>
#include <QtTest>
#include <memory>

#include "GuiSupport.h"
#include "support/RealWindow.h"
#include "main_window/QtMainWindow.h"
#include "platform/FileSystem.h"
#include "platform/qt/QtMessageBox.h"
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
  void Key(const QKeySequence& keys) {
    QTest::keySequence(m_window->Widget().windowHandle(), keys);
  }

 private slots:
  void initTestCase() {
    UseOwnTempFolder();
  }

  void init() {
    MakeWindow();
  }

  void cleanup() { CloseWindow(); }

  void aScreenReaderHearsWhatEachControlIs_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("hint");  // placeholder and tooltip of a path box
    QTest::newRow("window") << "frmMain" << "Yab XML Pellor" << "Tries an XSL stylesheet on an XML document" << "";
    QTest::newRow("txtXml") << "txtXml" << "XML document" << "Path of the XML document to transform" << "XML document path";
    QTest::newRow("cmdBrowseXml") << "cmdBrowseXml" << "Browse for the XML document" << "Choose the XML document in a file dialog" << "";
    QTest::newRow("txtXsl") << "txtXsl" << "XSL stylesheet" << "Path of the XSL stylesheet to apply" << "XSL stylesheet path";
    QTest::newRow("cmdBrowseXsl") << "cmdBrowseXsl" << "Browse for the XSL stylesheet" << "Choose the XSL stylesheet in a file dialog" << "";
    QTest::newRow("cmdApplyXsl") << "cmdApplyXsl" << "Apply" << "Transform the document with the stylesheet and show the result (Enter, Alt+A, F5)" << "";
    QTest::newRow("wbr") << "wbr" << "Result" << "The result of the last Apply, or the start page" << "";
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
                              Loaded(QtBrowser::UrlFor(TempFile().toStdString(), page)), kPageTimeoutMs);
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
    const QVariantList r = Evaluate(*View()->page(),
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
    QTRY_COMPARE_WITH_TIMEOUT(Evaluate(*View()->page(), "window.getSelection().toString()").toString(),
                              books, kPageTimeoutMs);
  }

  void startPagePathsWrapOnlyAfterASlash() {
    ShowWindow();
    WaitForStartPage();
    // Squeezed to a column a few names wide, every path has to wrap.
    const QString verdict =
        Evaluate(*View()->page(), R"(
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
