#include <QWidget>
#include <QtTest>

#include <cmath>
#include <functional>

#include "main_window/Layout.h"
#include "support/Fakes.h"
#include "support/RowLayoutCheck.h"
#include "support/WindowFakes.h"

using xmlpellor::test::CheckMainWindowPlaces;
using xmlpellor::test::ExpectedMainWindowPlaces;
using xmlpellor::test::kLaidOutControls;

// The check the window's GUI tests lean on, tried on plain widgets placed by
// hand the way a window system that keeps whole pixels would place them.
class RowLayoutCheckTest : public QObject {
  Q_OBJECT

 private slots:
  void designSizeGivesTheKnownPlaces() {
    const auto places = ExpectedMainWindowPlaces(8880, 5850);
    QVERIFY(places.has_value());
    const double expected[kLaidOutControls][4] = {{180, 180, 3065, 330},  {3335, 180, 330, 330},
                                                  {3845, 180, 3065, 330}, {7000, 180, 330, 330},
                                                  {7420, 180, 1280, 330}, {180, 600, 8520, 5070}};
    for (int i = 0; i < kLaidOutControls; ++i) {
      const auto& p = (*places)[i];
      QCOMPARE((std::array{p.left, p.top, p.width, p.height}),
               (std::array{expected[i][0], expected[i][1], expected[i][2], expected[i][3]}));
    }
    QVERIFY(ExpectedMainWindowPlaces(2749, 5850).has_value());  // boxes 0 wide, still placed
    QVERIFY(ExpectedMainWindowPlaces(2750, 780).has_value());
    QVERIFY(!ExpectedMainWindowPlaces(2748, 5850).has_value());
    QVERIFY(!ExpectedMainWindowPlaces(8880, 779).has_value());
  }

  void acceptsPixelRoundingAndNamesAControlOutOfPlace() {
    QWidget inner;
    inner.resize(592, 390);
    std::array<QWidget*, kLaidOutControls> controls{};
    std::array<const QWidget*, kLaidOutControls> view{};
    const QRect pixels[kLaidOutControls] = {{12, 12, 204, 22},  {222, 12, 22, 22},
                                            {256, 12, 204, 22}, {466, 12, 22, 22},
                                            {495, 12, 85, 22},  {12, 40, 568, 338}};
    for (int i = 0; i < kLaidOutControls; ++i) {
      controls[i] = new QWidget(&inner);
      controls[i]->setGeometry(pixels[i]);
      view[i] = controls[i];
    }
    QCOMPARE(CheckMainWindowPlaces(inner, view), QString());

    controls[3]->move(468, 12);
    const QString problems = CheckMainWindowPlaces(inner, view);
    QVERIFY2(problems.startsWith(QStringLiteral("cmdBrowseXsl:")), qPrintable(problems));
    QCOMPARE(problems.count(QLatin1Char('\n')), 0);

    inner.resize(150, 390);
    QVERIFY(CheckMainWindowPlaces(inner, view).contains(QStringLiteral("too small")));
  }

  // The tolerances hold for the program's own layout on a window system
  // that keeps whole pixels, at every inner width in whole pixels.
  void programLayoutStaysWithinTheTolerance_data() {
    QTest::addColumn<bool>("roundToNearest");
    QTest::addColumn<double>("tolerancePx");
    QTest::newRow("nearest pixel") << true << xmlpellor::test::kNearestPixelTolerance;
    QTest::newRow("pixel below") << false << xmlpellor::test::kTruncatedPixelTolerance;
  }

  void programLayoutStaysWithinTheTolerance() {
    QFETCH(bool, roundToNearest);
    QFETCH(double, tolerancePx);
    using namespace xmlpellor;
    using namespace xmlpellor::test;
    const std::function<float(float)> pixels = [roundToNearest](float v) {
      return (roundToNearest ? std::round(v / kTwipsPerPixel) : std::floor(v / kTwipsPerPixel)) *
             kTwipsPerPixel;
    };
    for (int widthPx = 184; widthPx < 2000; ++widthPx) {
      ReportHarness h;
      FakeForm form;
      form.scaleWidth = widthPx * kTwipsPerPixel;
      form.scaleHeight = 390 * kTwipsPerPixel;
      FakeTextBox txtXml, txtXsl;
      FakeButton cmdBrowseXml, cmdBrowseXsl, cmdApplyXsl;
      FakeBrowser wbr;
      FakeControlBase* all[kLaidOutControls] = {&txtXml,       &cmdBrowseXml, &txtXsl,
                                                &cmdBrowseXsl, &cmdApplyXsl,  &wbr};
      for (auto* c : all) c->adjust = pixels;
      LayOutMainWindow(h.errors, form, txtXml, cmdBrowseXml, txtXsl, cmdBrowseXsl, cmdApplyXsl,
                       wbr);

      const auto places = ExpectedMainWindowPlaces(form.scaleWidth, form.scaleHeight);
      QVERIFY(places.has_value());
      for (int i = 0; i < kLaidOutControls; ++i) {
        const auto& want = (*places)[i];
        const double got[4] = {all[i]->left, all[i]->top, all[i]->width, all[i]->height};
        const double wanted[4] = {want.left, want.top, want.width, want.height};
        for (int k = 0; k < 4; ++k) {
          QVERIFY2(std::fabs(got[k] - wanted[k]) <= tolerancePx * kTwipsPerPixel,
                   qPrintable(QStringLiteral("%1 px wide, control %2").arg(widthPx).arg(i)));
        }
      }
    }
  }
};

QTEST_MAIN(RowLayoutCheckTest)
#include "RowLayoutCheckTest.moc"
