#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cstdio>

#include "platform/qt/services/QtFileWatcher.h"

using namespace xmlpellor;

// The real watcher under a build that writes beside the stylesheet every
// 20 ms: a save of the stylesheet is told while that goes on, the build's
// own writes never are.
class FileWatcherTest : public QObject {
  Q_OBJECT

 private:
  static constexpr int kChurnMs = 20;
  static constexpr int kChurnForMs = 15000;  // far beyond any deadline below

  static void Write(const QString& path, const QByteArray& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
  }

 private slots:
  void aSaveIsToldWhileANeighbourChurns_data() {
    QTest::addColumn<QString>("save");
    QTest::addColumn<bool>("told");
    QTest::newRow("written in place") << "in place" << true;
    QTest::newRow("renamed over") << "rename" << true;
    QTest::newRow("only the neighbour") << "none" << false;
  }
  void aSaveIsToldWhileANeighbourChurns() {
    QFETCH(QString, save);
    QFETCH(bool, told);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString xsl = dir.filePath("s.xsl");
    Write(xsl, "first");
    QtFileWatcher watcher;
    int changes = 0;
    bool churning = true, toldWhileChurning = false;
    QEventLoop loop;
    watcher.OnChanged([&] {
      ++changes;
      toldWhileChurning = churning;
      loop.quit();
    });
    watcher.Watch({xsl.toStdString()});

    QTimer churn;
    int written = 0;
    // A build makes its files anew, which the folder's watch sees.
    QObject::connect(&churn, &QTimer::timeout, [&] {
      Write(dir.filePath("build.out.new"), QByteArray::number(++written));
      std::rename(qPrintable(dir.filePath("build.out.new")), qPrintable(dir.filePath("build.out")));
    });
    churn.start(kChurnMs);
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(300, &churn, [&] {
      if (save == "in place") Write(xsl, "second");
      if (save == "rename") {
        Write(xsl + ".new", "second");
        QCOMPARE(std::rename(qPrintable(xsl + ".new"), qPrintable(xsl)), 0);
      }
    });
    // Without a save, a while of churn is the whole test.
    QTimer::singleShot(told ? kChurnForMs : 1500, &loop, &QEventLoop::quit);
    QTimer::singleShot(kChurnForMs, &churn, [&] { churning = false, churn.stop(); });
    loop.exec();
    QVERIFY(written > 0);
    QCOMPARE(changes, told ? 1 : 0);
    if (told) QVERIFY2(toldWhileChurning, "the save was held back until the neighbour went quiet");
  }
};

QTEST_GUILESS_MAIN(FileWatcherTest)
#include "FileWatcherTest.moc"
