#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

#include "main_window/Browse.h"
#include "platform/RuntimeError.h"
#include "platform/qt/form/QtCommonDialog.h"
#include "support/DialogDriver.h"
#include "support/Fakes.h"
#include "support/WindowFakes.h"

using xmlpellor::QtCommonDialog;
using xmlpellor::RuntimeError;

namespace {

constexpr const char* kXmlFilter = "XML Files (*.xml)|*.xml|All Files (*.*)|*.*";
using xmlpellor::test::kPatienceMs;
using xmlpellor::test::WhenDialogOpens;

// The names the dialog's file list shows as choosable in its current folder.
// The list fills in the background, so callers wait for what they expect.
QStringList ListedFiles(QFileDialog& dialog) {
  QStringList names;
  auto* view = dialog.findChild<QListView*>(QStringLiteral("listView"));
  if (!view || !view->model()) return names;
  const QAbstractItemModel& model = *view->model();
  const QModelIndex root = view->rootIndex();
  for (int row = 0; row < model.rowCount(root); ++row) {
    const QModelIndex index = model.index(row, 0, root);
    if (model.flags(index) & Qt::ItemIsEnabled) names << index.data().toString();
  }
  return names;
}

bool WaitUntilListed(QFileDialog& dialog, const QString& name) {
  return QTest::qWaitFor([&] { return ListedFiles(dialog).contains(name); }, kPatienceMs);
}

// Types over whatever the name box holds, as a user would once the folder
// has been listed, and presses Enter.
void TypeNameAndOpen(QFileDialog& dialog, const QString& name) {
  auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  if (!edit) return;
  WaitUntilListed(dialog, name);
  // The dialog keeps the list's selection in step with the name box only
  // while the box has the focus, as it has for a user.
  dialog.activateWindow();
  if (!QTest::qWaitForWindowActive(&dialog)) return;
  edit->setFocus(Qt::OtherFocusReason);
  edit->selectAll();
  QTest::keyClicks(edit, name);
  QTest::keyClick(edit, Qt::Key_Return);
}

void Touch(const QString& path) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
}

// ShowOpen's outcome: the error number it raised, 0 for none.
std::int32_t ShowOpen(QtCommonDialog& cdl) {
  try {
    cdl.ShowOpen();
    return 0;
  } catch (const RuntimeError& e) {
    return e.number();
  }
}

}  // namespace

class QtCommonDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_folder = QDir(m_dir->path()).canonicalPath();
  }

  void namedFileIsChosenWithItsFullPath() {
    Touch(m_folder + "/a.xml");
    Touch(m_folder + "/b.xml");
    QtCommonDialog cdl;
    cdl.SetFileName((m_folder + "/a.xml").toStdString());
    cdl.SetDialogTitle("XML File");
    cdl.SetFilter(kXmlFilter);
    cdl.SetFlags(xmlpellor::cdl::kHideReadOnly);

    QString title;
    QStringList filterTexts;
    WhenDialogOpens([&](QFileDialog& dialog) {
      title = dialog.windowTitle();
      if (auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
        for (int i = 0; i < combo->count(); ++i) filterTexts << combo->itemText(i);
      }
      TypeNameAndOpen(dialog, QStringLiteral("b.xml"));
    });
    QCOMPARE(ShowOpen(cdl), 0);
    QCOMPARE(QString::fromStdString(cdl.FileName()), m_folder + "/b.xml");
    QCOMPARE(title, QStringLiteral("XML File"));
    QCOMPARE(filterTexts, (QStringList{"XML Files (*.xml)", "All Files (*.*)"}));
  }

  void cancelRaisesTheCancelErrorAndKeepsTheName_data() {
    QTest::addColumn<bool>("escape");
    QTest::newRow("Escape") << true;
    QTest::newRow("Cancel button") << false;
  }

  void cancelRaisesTheCancelErrorAndKeepsTheName() {
    QFETCH(bool, escape);
    Touch(m_folder + "/a.xml");
    QtCommonDialog cdl;
    const std::string before = (m_folder + "/a.xml").toStdString();
    cdl.SetFileName(before);
    cdl.SetFilter(kXmlFilter);

    bool closedByUser = false;
    WhenDialogOpens([&](QFileDialog& dialog) {
      if (escape) {
        QTest::keyClick(&dialog, Qt::Key_Escape);
      } else if (auto* buttons = dialog.findChild<QDialogButtonBox*>()) {
        if (auto* cancel = buttons->button(QDialogButtonBox::Cancel)) cancel->click();
      }
      closedByUser = !dialog.isVisible();
    });
    QCOMPARE(ShowOpen(cdl), xmlpellor::err::kCancelError);
    QVERIFY(closedByUser);
    QCOMPARE(cdl.FileName(), before);
  }

  void allFilesListsAFileWithoutExtension() {
    Touch(m_folder + "/a.xml");
    Touch(m_folder + "/README");
    QtCommonDialog cdl;
    cdl.SetFileName(m_folder.toStdString());
    cdl.SetFilter(kXmlFilter);

    bool xmlListed = false, readmeUnderXml = true, readmeUnderAll = false;
    WhenDialogOpens([&](QFileDialog& dialog) {
      xmlListed = WaitUntilListed(dialog, QStringLiteral("a.xml"));
      readmeUnderXml = ListedFiles(dialog).contains(QStringLiteral("README"));
      dialog.selectNameFilter(dialog.nameFilters().value(1));
      readmeUnderAll = WaitUntilListed(dialog, QStringLiteral("README"));
      TypeNameAndOpen(dialog, QStringLiteral("README"));
    });
    QCOMPARE(ShowOpen(cdl), 0);
    QVERIFY(xmlListed);
    QVERIFY(!readmeUnderXml);
    QVERIFY(readmeUnderAll);
    QCOMPARE(QString::fromStdString(cdl.FileName()), m_folder + "/README");
  }

  void presetPathStartsInItsFolderWithTheFileSelected() {
    Touch(m_folder + "/a.xml");
    Touch(m_folder + "/b.xml");
    QtCommonDialog cdl;
    cdl.SetFileName((m_folder + "/b.xml").toStdString());
    cdl.SetFilter(kXmlFilter);

    QString folder;
    QStringList selected;
    QStringList highlighted;
    WhenDialogOpens([&](QFileDialog& dialog) {
      folder = dialog.directory().absolutePath();
      selected = dialog.selectedFiles();
      WaitUntilListed(dialog, QStringLiteral("b.xml"));
      auto* view = dialog.findChild<QListView*>(QStringLiteral("listView"));
      if (view && view->selectionModel()) {
        for (const QModelIndex& index : view->selectionModel()->selectedRows()) {
          highlighted << index.data().toString();
        }
      }
      QTest::keyClick(dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit")),
                      Qt::Key_Return);
    });
    QCOMPARE(ShowOpen(cdl), 0);
    QCOMPARE(folder, m_folder);
    QCOMPARE(selected, QStringList{m_folder + "/b.xml"});
    QCOMPARE(highlighted, QStringList{"b.xml"});
    QCOMPARE(QString::fromStdString(cdl.FileName()), m_folder + "/b.xml");
  }

  void bareNameStartsInTheCurrentFolderThenWhereTheLastChoiceWasMade() {
    QTemporaryDir other;
    QVERIFY(other.isValid());
    const QString otherFolder = QDir(other.path()).canonicalPath();
    Touch(otherFolder + "/c.xml");
    const QString previousCurrent = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_folder));

    QtCommonDialog cdl;
    cdl.SetFilter(kXmlFilter);
    QString firstFolder, typedName, secondFolder;

    cdl.SetFileName("not-there.xml");
    WhenDialogOpens([&](QFileDialog& dialog) {
      firstFolder = dialog.directory().absolutePath();
      if (auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
        typedName = edit->text();
      }
      dialog.setDirectory(otherFolder);
      TypeNameAndOpen(dialog, QStringLiteral("c.xml"));
    });
    const auto first = ShowOpen(cdl);
    const QString firstChoice = QString::fromStdString(cdl.FileName());

    cdl.SetFileName("");
    WhenDialogOpens([&](QFileDialog& dialog) { secondFolder = dialog.directory().absolutePath(); });
    const auto second = ShowOpen(cdl);
    QDir::setCurrent(previousCurrent);

    QCOMPARE(first, 0);
    QCOMPARE(firstFolder, m_folder);
    QCOMPARE(typedName, QStringLiteral("not-there.xml"));
    QCOMPARE(firstChoice, otherFolder + "/c.xml");
    QCOMPARE(second, xmlpellor::err::kCancelError);
    QCOMPARE(secondFolder, otherFolder);
  }

  // The browse procedure over the real dialog: Escape keeps the box and says
  // nothing, a choice fills the box with the full path.
  void browsingFillsTheBoxOnlyOnAChoice() {
    Touch(m_folder + "/doc.xml");
    xmlpellor::test::ReportHarness h;
    xmlpellor::test::FakeTextBox txtXml;
    txtXml.text = " " + m_folder.toStdString() + " ";
    QtCommonDialog cdl;

    WhenDialogOpens([](QFileDialog& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); });
    xmlpellor::BrowseForFile(h.errors, cdl, txtXml, xmlpellor::kXmlDialogTitle,
                             xmlpellor::kXmlFilter);
    QCOMPARE(txtXml.text, " " + m_folder.toStdString() + " ");
    QCOMPARE(h.Reports(), std::size_t{0});

    WhenDialogOpens([](QFileDialog& dialog) { TypeNameAndOpen(dialog, QStringLiteral("doc.xml")); });
    xmlpellor::BrowseForFile(h.errors, cdl, txtXml, xmlpellor::kXmlDialogTitle,
                             xmlpellor::kXmlFilter);
    QCOMPARE(QString::fromStdString(txtXml.text), m_folder + "/doc.xml");
    QCOMPARE(h.Reports(), std::size_t{0});
  }

  void nameFilters_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("xml") << kXmlFilter
                         << QStringList{"XML Files (*.xml) (*.xml)", "All Files (*.*) (*)"};
    QTest::newRow("several patterns") << "Logs|*.txt; *.log"
                                      << QStringList{"Logs (*.txt *.log)"};
    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("description without pattern") << "Odd|*.a|Dangling"
                                                  << QStringList{"Odd (*.a)"};
  }

  void nameFilters() {
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    QCOMPARE(QtCommonDialog::NameFilters(filter.toStdString()), expected);
  }

 private:
  std::unique_ptr<QTemporaryDir> m_dir;
  QString m_folder;
};

QTEST_MAIN(QtCommonDialogTest)
#include "QtCommonDialogTest.moc"
