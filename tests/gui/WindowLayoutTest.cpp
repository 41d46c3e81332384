#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <array>
#include <functional>
#include <memory>

#include "GuiSupport.h"
#include "error_handling/ErrorHandling.h"
#include "main_window/QtMainWindow.h"
#include "platform/Application.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/qt/form/QtMessageBox.h"
#include "support/DialogDriver.h"
#include "support/RowLayoutCheck.h"

using namespace xmlpellor;
using namespace xmlpellor::test;

namespace {

using xmlpellor::test::kPatienceMs;
using xmlpellor::test::WhenDialogOpens;

bool WaitUntilListed(QFileDialog& dialog, const QString& name) {
  return QTest::qWaitFor(
      [&] {
        auto* view = dialog.findChild<QListView*>(QStringLiteral("listView"));
        if (!view || !view->model()) return false;
        const QModelIndex root = view->rootIndex();
        for (int row = 0; row < view->model()->rowCount(root); ++row) {
          const QModelIndex index = view->model()->index(row, 0, root);
          if (index.data().toString() == name && (view->model()->flags(index) & Qt::ItemIsEnabled)) {
            return true;
          }
        }
        return false;
      },
      kPatienceMs);
}

void Touch(const QString& path) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
}

}  // namespace

// The real window with the real error report: a message box that showed up
// would be a real QMessageBox, and a log a real file beside this executable.
// Both are watched for throughout.
class WindowLayoutTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir m_tmp;
  std::unique_ptr<Application> m_app;
  std::unique_ptr<QtMessageBox> m_box;
  std::unique_ptr<SystemClock> m_clock;
  std::unique_ptr<ErrorHandling> m_errors;
  std::unique_ptr<PosixFileSystem> m_fs;
  std::unique_ptr<QtMainWindow> m_window;
  QTimer m_boxWatch;
  QStringList m_boxesSeen;

  QWidget& Form() { return m_window->Widget(); }
  template <class T = QWidget>
  T* Child(const char* name) {
    return Form().findChild<T*>(QString::fromLatin1(name));
  }
  std::array<const QWidget*, kLaidOutControls> Controls() {
    return {Child("txtXml"), Child("cmdBrowseXml"), Child("txtXsl"),
            Child("cmdBrowseXsl"), Child("cmdApplyXsl"), Child("wbr")};
  }
  // The application title names the error log; with the platform in it the
  // offscreen and the X11 run of this test each have a log of their own.
  static QString Title() {
    return QStringLiteral("WindowLayoutTest-") + QGuiApplication::platformName();
  }
  QString LogFile() const {
    return QString::fromStdString(m_app->Path()) + QLatin1Char('/') + Title() +
           QStringLiteral(".log");
  }

  void ShowWindow() {
    m_window->Show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form()));
  }

  // Resizes and waits until the window has the size; the resize event, and
  // with it the layout, has run by then.
  void ResizeInnerArea(QSize size) {
    Form().resize(size);
    QTRY_COMPARE_WITH_TIMEOUT(Form().size(), size, kPatienceMs);
    QCoreApplication::processEvents();
  }

  // Puts every control somewhere no layout would, so a test sees whether
  // the layout ran again.
  void Scatter() {
    for (const char* name : {"txtXml", "cmdBrowseXml", "txtXsl", "cmdBrowseXsl", "cmdApplyXsl", "wbr"}) {
      Child(name)->setGeometry(1, 1, 7, 7);
    }
  }

  void VerifyLaidOut() {
    const QString problems = CheckMainWindowPlaces(Form(), Controls());
    QVERIFY2(problems.isEmpty(),
             qPrintable(QStringLiteral("inner area %1 x %2 px:\n%3")
                            .arg(Form().width()).arg(Form().height()).arg(problems)));
  }

 private slots:
  void initTestCase() {
    QVERIFY(m_tmp.isValid());
    qputenv("TMPDIR", m_tmp.path().toLocal8Bit());
    // Any message box that opens is noted and closed, so a report shows up
    // as a failure rather than a hang.
    connect(&m_boxWatch, &QTimer::timeout, this, [this] {
      for (QWidget* top : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(top);
        if (!box || !box->isVisible()) continue;
        m_boxesSeen << box->text();
        box->reject();
      }
    });
    m_boxWatch.start(10);
  }

  void init() {
    m_app = std::make_unique<Application>(Title().toStdString());
    QFile::remove(LogFile());
    m_box = std::make_unique<QtMessageBox>();
    m_clock = std::make_unique<SystemClock>();
    m_errors = std::make_unique<ErrorHandling>(*m_app, *m_box, *m_clock);
    m_fs = std::make_unique<PosixFileSystem>();
    m_window = std::make_unique<QtMainWindow>(*m_errors, *m_app, *m_fs);
    m_box->SetParent(&Form());
    m_boxesSeen.clear();
  }

  void cleanup() {
    m_window.reset();
    QCoreApplication::processEvents();
    QVERIFY2(m_boxesSeen.isEmpty(), qPrintable(m_boxesSeen.join(QStringLiteral("\n---\n"))));
    QVERIFY2(!QFile::exists(LogFile()), qPrintable(LogFile()));
    QCOMPARE(QDir(m_tmp.path()).entryList({"xml*"}, QDir::Files), QStringList());
  }

  void firstShowLaysOutTheDesignSize() {
    // Before the first show the controls stand where they were designed:
    // the row 120 twips down, the "..." buttons 360 wide.
    QCOMPARE(Child("cmdBrowseXml")->geometry(), QRect(112, 8, 24, 22));
    ShowWindow();
    QCOMPARE(Form().size(), QSize(592, 390));
    VerifyLaidOut();
    // 8880 x 5850 twips exactly: the row and the browser fall on whole pixels.
    QCOMPARE(Child("txtXml")->geometry(), QRect(12, 12, 204, 22));
    QCOMPARE(Child("cmdBrowseXml")->geometry(), QRect(222, 12, 22, 22));
    QCOMPARE(Child("txtXsl")->geometry(), QRect(256, 12, 204, 22));
    QCOMPARE(Child("cmdBrowseXsl")->geometry(), QRect(466, 12, 22, 22));
    QCOMPARE(Child("cmdApplyXsl")->geometry(), QRect(495, 12, 85, 22));  // 7420 / 15 = 494.7
    QCOMPARE(Child("wbr")->geometry(), QRect(12, 40, 568, 338));
  }

  void everySizeIsLaidOutAsComputed_data() {
    QTest::addColumn<QSize>("size");
    QTest::newRow("design") << QSize(592, 390);
    QTest::newRow("wide") << QSize(1400, 900);
    QTest::newRow("odd remainder") << QSize(593, 390);  // 6145 twips for two boxes
    QTest::newRow("fractional pixels") << QSize(601, 391);
    QTest::newRow("boxes zero wide") << QSize(184, 300);  // 2760 twips
    QTest::newRow("browser exactly as high as the margins") << QSize(400, 52);  // 780 twips
  }
  void everySizeIsLaidOutAsComputed() {
    QFETCH(QSize, size);
    ShowWindow();
    // From somewhere else, so every size is an actual change.
    ResizeInnerArea(QSize(700, 500));
    ResizeInnerArea(size);
    VerifyLaidOut();
  }

  void tooNarrowForTheBoxesPlacesTheRestAfterTheXmlBox_data() {
    QTest::addColumn<QSize>("size");
    QTest::newRow("183 px") << QSize(183, 390);
    QTest::newRow("100 px") << QSize(100, 390);
    QTest::newRow("below the browser's margins") << QSize(20, 390);
  }
  void tooNarrowForTheBoxesPlacesTheRestAfterTheXmlBox() {
    QFETCH(QSize, size);
    ShowWindow();
    const QRect txtXml = Child("txtXml")->geometry();
    const QRect wbr = Child("wbr")->geometry();
    ResizeInnerArea(size);
    // txtXml's move is refused and it keeps the place it had; the others
    // follow it, and Apply still goes to the right edge, over the boxes.
    QCOMPARE(Child("txtXml")->geometry(), txtXml);
    const double w = size.width() * 15.0;
    const double boxLeft = txtXml.x() * 15.0, boxWidth = txtXml.width() * 15.0;
    const TwipsRect expected[] = {
        {boxLeft + boxWidth + 90, 180, 330, 330},
        {boxLeft + boxWidth + 90 + 330 + 180, 180, boxWidth, 330},
        {boxLeft + boxWidth + 90 + 330 + 180 + boxWidth + 90, 180, 330, 330},
        {w - 1460, 180, 1280, 330},
    };
    const char* names[] = {"cmdBrowseXml", "txtXsl", "cmdBrowseXsl", "cmdApplyXsl"};
    for (int i = 0; i < 4; ++i) {
      const QString problem = CompareWithinPixels(*Child(names[i]), expected[i]);
      QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("%1: %2").arg(names[i], problem)));
    }
    if (w < 360) {
      QCOMPARE(Child("wbr")->geometry(), wbr);  // refused: a negative width
    } else {
      const QString problem = CompareWithinPixels(*Child("wbr"), {180, 600, w - 360, 5850 - 780});
      QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
    // Wide again, everything is back in its place.
    ResizeInnerArea(QSize(592, 390));
    VerifyLaidOut();
  }

  void tooShortForTheBrowserLeavesItWhereItWas() {
    ShowWindow();
    const QRect wbr = Child("wbr")->geometry();
    ResizeInnerArea(QSize(800, 51));  // 765 twips: the browser would be -15 high
    QCOMPARE(Child("wbr")->geometry(), wbr);
    // The row is laid out all the same.
    const auto places = ExpectedMainWindowPlaces(800 * 15.0, 5850);
    const std::array<const QWidget*, kLaidOutControls> controls = Controls();
    for (int i = 0; i < kLaidOutControls - 1; ++i) {
      const QString problem = CompareWithinPixels(*controls[i], (*places)[i]);
      QVERIFY2(problem.isEmpty(), qPrintable(controls[i]->objectName() + ": " + problem));
    }
    ResizeInnerArea(QSize(800, 400));
    VerifyLaidOut();
  }

  void maximiseAndRestoreLayOutAgain() {
    ShowWindow();
    const QSize normal = Form().size();
    Scatter();
    Form().showMaximized();
    // Whether the size changes is up to the window system; the layout runs
    // on the state change either way.
    QTRY_VERIFY_WITH_TIMEOUT(Form().windowState() & Qt::WindowMaximized, kPatienceMs);
    QTest::qWait(100);
    qInfo("maximised: %d x %d px (normal %d x %d)", Form().width(), Form().height(),
          normal.width(), normal.height());
    VerifyLaidOut();
    Scatter();
    Form().showNormal();
    QTRY_COMPARE_WITH_TIMEOUT(Form().size(), normal, kPatienceMs);
    QTest::qWait(100);
    VerifyLaidOut();
  }

  void minimiseLaysOutWithoutAMessage() {
    ShowWindow();
    Scatter();
    Form().showMinimized();
    QTRY_VERIFY_WITH_TIMEOUT(Form().windowState() & Qt::WindowMinimized, kPatienceMs);
    QTest::qWait(100);
    // Laid out again for whatever size a minimised window reports.
    if (ExpectedMainWindowPlaces(Form().width() * 15.0, Form().height() * 15.0)) VerifyLaidOut();
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    Scatter();
    Form().showNormal();
    QTRY_VERIFY_WITH_TIMEOUT(!(Form().windowState() & Qt::WindowMinimized), kPatienceMs);
    QTest::qWait(100);
    VerifyLaidOut();
    // cleanup() fails the test if a message box was seen or a log written.
  }

  void browseButtonFillsItsBox_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("filters");
    QTest::addColumn<QString>("chosen");
    const QStringList xml{"XML Files (*.xml)", "All Files (*.*)"};
    const QStringList xsl{"XSL Files (*.xsl;*.xslt)", "All Files (*.*)"};
    QTest::newRow("XML") << "cmdBrowseXml" << "txtXml" << "XML File" << xml << "b.xml";
    QTest::newRow("XSL") << "cmdBrowseXsl" << "txtXsl" << "XSL File" << xsl << "b.xsl";
    QTest::newRow("XSL, .xslt") << "cmdBrowseXsl" << "txtXsl" << "XSL File" << xsl << "c.xslt";
    QTest::newRow("XSL, no extension") << "cmdBrowseXsl" << "txtXsl" << "XSL File" << xsl << "README";
  }
  void browseButtonFillsItsBox() {
    QFETCH(QString, button);
    QFETCH(QString, box);
    QFETCH(QString, title);
    QFETCH(QStringList, filters);
    QFETCH(QString, chosen);
    const QString folder = QDir(m_tmp.path()).canonicalPath();
    for (const char* name : {"a.xml", "b.xml", "a.xsl", "b.xsl", "c.xslt", "README"}) {
      Touch(folder + QLatin1Char('/') + QLatin1String(name));
    }
    ShowWindow();
    auto* edit = Child<QLineEdit>(qPrintable(box));
    edit->setText(folder + (box == "txtXml" ? "/a.xml" : "/a.xsl"));

    QString shownTitle, shownFolder;
    QStringList shownFilters;
    WhenDialogOpens([&](QFileDialog& dialog) {
      shownTitle = dialog.windowTitle();
      shownFolder = dialog.directory().absolutePath();
      if (auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
        for (int i = 0; i < combo->count(); ++i) shownFilters << combo->itemText(i);
      }
      if (!chosen.contains(QLatin1Char('.'))) dialog.selectNameFilter(dialog.nameFilters().value(1));
      if (!WaitUntilListed(dialog, chosen)) return;
      auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      if (!name) return;
      // The dialog keeps the list's selection in step with the name box only
      // while the box has the focus, which it can take only once the
      // application counts the dialog as its active window (a moment after
      // the window system does).
      dialog.activateWindow();
      if (!QTest::qWaitFor([&] { return QApplication::activeWindow() == &dialog; }, kPatienceMs)) {
        return;
      }
      name->setFocus(Qt::OtherFocusReason);
      if (!name->hasFocus()) return;
      name->selectAll();
      QTest::keyClicks(name, chosen);
      QTest::keyClick(name, Qt::Key_Return);
    });
    QTest::mouseClick(Child<QPushButton>(qPrintable(button)), Qt::LeftButton);

    QCOMPARE(shownTitle, title);
    QCOMPARE(shownFolder, folder);
    QCOMPARE(shownFilters, filters);
    QCOMPARE(edit->text(), folder + QLatin1Char('/') + chosen);
    // So that Enter applies rather than opening the dialog again.
    // The window's focus, which it has back once it is active again.
    QCOMPARE(edit->window()->focusWidget(), edit);
    for (const char* name : {"a.xml", "b.xml", "a.xsl", "b.xsl", "c.xslt", "README"}) {
      QFile::remove(folder + QLatin1Char('/') + QLatin1String(name));
    }
  }

  void escapeLeavesTheBoxAsItWas_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("text");
    QTest::newRow("XML, a bare name with blanks") << "cmdBrowseXml" << "txtXml" << "  books.xml ";
    QTest::newRow("XSL, empty") << "cmdBrowseXsl" << "txtXsl" << "";
  }
  void escapeLeavesTheBoxAsItWas() {
    QFETCH(QString, button);
    QFETCH(QString, box);
    QFETCH(QString, text);
    ShowWindow();
    auto* edit = Child<QLineEdit>(qPrintable(box));
    edit->setText(text);
    bool escaped = false;
    WhenDialogOpens([&](QFileDialog& dialog) {
      QTest::keyClick(&dialog, Qt::Key_Escape);
      escaped = !dialog.isVisible();
    });
    QTest::mouseClick(Child<QPushButton>(qPrintable(button)), Qt::LeftButton);
    QVERIFY(escaped);
    QCOMPARE(edit->text(), text);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
  }
};

XMLPELLOR_GUI_TEST_MAIN(WindowLayoutTest)
#include "WindowLayoutTest.moc"
