#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineView>
#include <QtTest>
#include <csignal>
#include <cstdio>
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

QByteArray Contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Without a stop, far longer than any bound below.
constexpr qint64 kLoose = 10000;

}  // namespace

// A long transformation in the real window: the window stays alive, and
// Esc, a close or a termination signal end the run within a loose bound.
class StopTest : public QObject, public RealWindow {
  Q_OBJECT

 private:
  QTemporaryDir m_data;
  QString m_longXml, m_longXsl, m_goodXml, m_goodXsl;

  void Write(const QString& path, const QByteArray& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
  }

  // Presses Apply on the long pair, calls `during` once the run is under
  // way, and returns how long the press took.
  qint64 PressLongApply(const std::function<void()>& during) {
    Child<QLineEdit>("txtXml")->setText(m_longXml);
    Child<QLineEdit>("txtXsl")->setText(m_longXsl);
    QTimer::singleShot(700, &m_window->Widget(), during);
    QElapsedTimer clock;
    clock.start();
    Child<QPushButton>("cmdApplyXsl")->click();
    return clock.elapsed();
  }

 private slots:
  void initTestCase() {
    QVERIFY(m_tmp.isValid() && m_data.isValid());
    qputenv("TMPDIR", m_tmp.path().toLocal8Bit());
    QByteArray items = "<r>";
    for (int i = 0; i < 60000; ++i) items += "<i n=\"" + QByteArray::number(i) + "\"/>";
    items += "</r>";
    m_longXml = m_data.filePath("items.xml");
    Write(m_longXml, items);
    m_longXsl = m_data.filePath("join.xsl");
    Write(m_longXsl,
          "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
          "<xsl:template match=\"/\"><p><xsl:value-of select=\"count(//i[@n = //i/@n])\"/></p>"
          "</xsl:template></xsl:stylesheet>");
    m_goodXml = m_data.filePath("good.xml");
    Write(m_goodXml, "<doc>fine</doc>");
    m_goodXsl = m_data.filePath("good.xsl");
    Write(m_goodXsl,
          "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
          "<xsl:template match=\"/\"><p>Result: <xsl:value-of select=\"doc\"/></p>"
          "</xsl:template></xsl:stylesheet>");
  }

  void init() {
    MakeWindow();
    m_window->Show();
    QVERIFY(QTest::qWaitForWindowExposed(&m_window->Widget()));
  }

  void cleanup() { CloseWindow(); }

  void escStopsTheRunAndTheNextApplyWorks() {
    QWidget& form = m_window->Widget();
    auto* apply = Child<QPushButton>("cmdApplyXsl");
    bool busy = false, inert = false, laidOut = false, progressShown = false;
    auto* progress = Child<QLabel>("progress");
    int applies = 0;
    QObject::connect(apply, &QPushButton::clicked, [&] { ++applies; });
    QElapsedTimer sinceEsc;
    const qint64 took = PressLongApply([&] {
      // Half a second in, the run says that it runs and how to stop it.
      progressShown = progress->isVisible() && progress->text().contains("Esc stops it");
      busy = QApplication::overrideCursor() != nullptr &&
             QApplication::overrideCursor()->shape() == Qt::WaitCursor;
      // The desktop's keys press Apply through click(): nothing may happen.
      apply->click();
      inert = !apply->isEnabled() && !Child<QLineEdit>("txtXml")->isEnabled() &&
              !Child<QPushButton>("cmdBrowseXml")->isEnabled();
      const int width = Child<QWebEngineView>("wbr")->width();
      form.resize(form.width() + 100, form.height());
      QApplication::processEvents();
      laidOut = Child<QWebEngineView>("wbr")->width() > width;
      sinceEsc.start();
      QTest::keyClick(form.windowHandle(), Qt::Key_Escape);
    });
    const qint64 escToEnd = sinceEsc.elapsed();
    QVERIFY(busy);
    QVERIFY(progressShown);
    QVERIFY(!progress->isVisible());
    QVERIFY(inert);
    QVERIFY(laidOut);
    QCOMPARE(applies, 1);
    QVERIFY2(took < kLoose, qPrintable(QString::number(took)));
    QVERIFY(apply->isEnabled());
    QVERIFY(QApplication::overrideCursor() == nullptr);
    const QByteArray written = Contents(TempFile());
    QVERIFY2(written.startsWith("The transformation was stopped after "), written.constData());
    const PageInfo page{PageKind::kHtml, m_longXml.toStdString()};
    QTRY_COMPARE_WITH_TIMEOUT(PageState(Page()), Loaded(QtBrowser::UrlFor(TempFile().toStdString(), page)),
                              kPageTimeoutMs);
    QVERIFY(PageText(Page()).startsWith("The transformation was stopped after "));
    std::printf("Esc to the end of Apply: %lld ms; the stop page reads \"%s\"\n",
                static_cast<long long>(escToEnd), written.constData());

    Child<QLineEdit>("txtXml")->setText(m_goodXml);
    Child<QLineEdit>("txtXsl")->setText(m_goodXsl);
    apply->click();
    QVERIFY(Contents(TempFile()).contains("<p>Result: fine</p>"));
  }

  // libxslt 1.1.35 crashes on this (CVE-2025-11731); only its process goes.
  void aCrashOfTheEngineIsReportedAndTheNextApplyWorks() {
    const QString crash = m_data.filePath("crash.xsl");
    Write(crash,
          "<html xsl:version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform' "
          "xmlns:func='http://exslt.org/functions' xsl:extension-element-prefixes='func'>"
          "<func:result select='1'/></html>");
    Child<QLineEdit>("txtXml")->setText(m_goodXml);
    Child<QLineEdit>("txtXsl")->setText(crash);
    QElapsedTimer clock;
    qint64 toBox = -1;
    m_h->box.onShow = [&] { toBox = clock.elapsed(); };
    clock.start();
    Child<QPushButton>("cmdApplyXsl")->click();
    QCOMPARE(m_h->Reports(), 1u);
    QVERIFY2(m_h->box.shown[0].prompt.find("The XSLT engine crashed") != std::string::npos,
             m_h->box.shown[0].prompt.c_str());
    std::printf("crash to the box: %lld ms\n", static_cast<long long>(toBox));
    m_h->box.shown.clear();

    Child<QLineEdit>("txtXsl")->setText(m_goodXsl);
    Child<QPushButton>("cmdApplyXsl")->click();
    QCOMPARE(m_h->Reports(), 0u);
    QVERIFY(Contents(TempFile()).contains("<p>Result: fine</p>"));
  }

  void aCloseOrSignalDuringARunStopsItAndClosesOnce_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("close") << 0;
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
  }
  void aCloseOrSignalDuringARunStopsItAndClosesOnce() {
    QFETCH(int, signal);
    SignalCloser closer(m_window->Widget());
    const QString tempFile = TempFile();
    auto* form = static_cast<QtForm*>(&m_window->Widget());
    bool stillOpen = false;
    QElapsedTimer sinceClose;
    const qint64 took = PressLongApply([&] {
      sinceClose.start();
      if (signal == 0) {
        m_window->Widget().close();
      } else {
        ::raise(signal);
      }
      QApplication::processEvents();
      // Not yet: the Apply command below this event has not finished.
      stillOpen = !form->Unloaded() && m_window->Widget().isVisible();
    });
    QVERIFY(stillOpen);
    QVERIFY2(took < kLoose, qPrintable(QString::number(took)));
    QTRY_VERIFY_WITH_TIMEOUT(form->Unloaded(), kLoose);
    std::printf("%s during a run to the unload: %lld ms\n", signal == 0 ? "close" : "signal",
                static_cast<long long>(sinceClose.elapsed()));
    QVERIFY(!m_window->Widget().isVisible());
    QVERIFY(!QFileInfo::exists(tempFile));
  }
};

XMLPELLOR_GUI_TEST_MAIN(StopTest)
#include "StopTest.moc"
