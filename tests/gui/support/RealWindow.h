#pragma once

#include <QAccessible>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QWebEngineView>
#include <QtTest>
#include <memory>

#include "main_window/QtMainWindow.h"
#include "platform/FileSystem.h"
#include "platform/qt/page_tools/QtOriginMode.h"
#include "platform/qt/page_tools/QtOriginPanel.h"
#include "support/Fakes.h"

namespace xmlpellor::test {

// The whole window on real Qt widgets and files, made anew for each test
// function, with the error report recorded instead of shown and the
// temporary files kept in a folder of the test's own. A test class derives
// from it and calls the three steps from its initTestCase, init and cleanup.
class RealWindow {
 protected:
  QTemporaryDir m_tmp;
  std::unique_ptr<ReportHarness> m_h;
  std::unique_ptr<PosixFileSystem> m_fs;
  std::unique_ptr<QtMainWindow> m_window;

  void UseOwnTempFolder() {
    QVERIFY(m_tmp.isValid());
    qputenv("TMPDIR", m_tmp.path().toLocal8Bit());
  }
  void MakeWindow() {
    m_h = std::make_unique<ReportHarness>();
    m_h->app.path = qgetenv("XMLPELLOR_BUILD_DIR").toStdString();
    m_fs = std::make_unique<PosixFileSystem>();
    m_window = std::make_unique<QtMainWindow>(m_h->errors, m_h->app, *m_fs);
  }
  // Closing reports nothing and leaves no output file behind.
  void CloseWindow() {
    m_window.reset();
    QCOMPARE(m_h->Reports(), 0u);
    QCOMPARE(QDir(m_tmp.path()).entryList({"xml*"}, QDir::Files), QStringList());
  }

  template <class T = QWidget>
  T* Child(const char* name) {
    return m_window->Widget().findChild<T*>(QString::fromLatin1(name));
  }
  QWebEngineView* View() { return Child<QWebEngineView>("wbr"); }
  // A right click on the page, as the mouse gives it: the page's menu opens.
  void RightClickPage(QPoint point = QPoint(20, 20)) {
    QWidget* target = View()->focusProxy();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
      QMouseEvent event(type, point, target->mapToGlobal(point), Qt::RightButton,
                        type == QEvent::MouseButtonPress ? Qt::RightButton : Qt::NoButton,
                        Qt::NoModifier);
      QCoreApplication::sendEvent(target, &event);
    }
  }
  QWebEnginePage& Page() { return *View()->page(); }
  // What a screen reader hears of a control of the origin panel: a field's
  // value, a place's name.
  QString PanelText(const char* name, QAccessible::Text what = QAccessible::Value) {
    QtOriginPanel* panel = m_window->Origins().Panel();
    QAccessibleInterface* accessible =
        panel != nullptr ? QAccessible::queryAccessibleInterface(
                               panel->findChild<QWidget*>(QString::fromLatin1(name)))
                         : nullptr;
    return accessible != nullptr ? accessible->text(what) : QString();
  }
  QString TempFile() { return QString::fromStdString(m_window->Program().TempFile()); }

  // Shows the window, types the test's two files into the boxes and presses
  // Enter in the stylesheet's, as a user does; gives that box.
  QLineEdit* ShowAndApply(const char* xml, const char* xsl) {
    m_window->Show();
    if (!QTest::qWaitForWindowActive(&m_window->Widget())) return nullptr;
    auto* txtXsl = Child<QLineEdit>("txtXsl");
    Child<QLineEdit>("txtXml")->setText(Data(xml));
    txtXsl->setText(Data(xsl));
    txtXsl->setFocus();
    QTest::keyClick(txtXsl, Qt::Key_Return);
    return txtXsl;
  }

  // The test's own documents and stylesheets, apart from the temporary files.
  QTemporaryDir m_data;
  QString Data(const char* name) { return m_data.filePath(QString::fromLatin1(name)); }
  static void Write(const QString& path, const QByteArray& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
  }
};

}  // namespace xmlpellor::test
