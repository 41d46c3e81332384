#include "platform/qt/QtCommonDialog.h"

#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "platform/RuntimeError.h"

namespace xmlpellor {
namespace {

// The common dialog's patterns: ';'-separated, where "*.*" means every file.
// Qt's "*.*" wants a dot in the name, so it would hide "README"; "*" does not.
QString QtPatterns(const QString& patterns) {
  QStringList out;
  for (const QString& part : patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
    const QString pattern = part.trimmed();
    if (pattern.isEmpty()) continue;
    out << (pattern == QLatin1String("*.*") ? QStringLiteral("*") : pattern);
  }
  return out.join(QLatin1Char(' '));
}

// Where the dialog starts and which name it offers: an existing file is
// shown selected in its folder; a name in an existing folder starts there
// with the name typed in; anything else (a bare name, an empty box) starts
// where the last choice was made, or in the current folder before that.
// Blanks around the text are ignored for this, as the Apply command ignores
// them when it reads the box.
struct StartPoint {
  QString folder;
  QString name;
};

StartPoint StartFrom(const std::string& fileName, const QString& lastFolder) {
  StartPoint start;
  const QString preset = QString::fromStdString(fileName).trimmed();
  if (!preset.isEmpty()) {
    const QFileInfo info(preset);
    if (info.isDir()) {
      start.folder = info.absoluteFilePath();
    } else {
      start.name = info.fileName();
      if (preset.contains(QLatin1Char('/')) && QFileInfo(info.absolutePath()).isDir()) {
        start.folder = info.absolutePath();
      } else if (info.isFile()) {
        start.folder = info.absolutePath();
      }
    }
  }
  if (start.folder.isEmpty())
    start.folder = lastFolder.isEmpty() ? QDir::currentPath() : lastFolder;
  return start;
}

}  // namespace

QStringList QtCommonDialog::NameFilters(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
  QStringList filters;
  // A description without its pattern (an odd last part) names nothing.
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString patterns = QtPatterns(parts[i + 1]);
    if (patterns.isEmpty()) continue;
    // Qt takes the patterns from the last parenthesis, so the description
    // may keep its own "(*.*)"; HideNameFilterDetails then shows exactly
    // the description.
    filters << QStringLiteral("%1 (%2)").arg(parts[i].trimmed(), patterns);
  }
  return filters;
}

void QtCommonDialog::Show(Mode mode) {
  const StartPoint start = StartFrom(m_fileName, m_lastFolder);

  QFileDialog dialog(m_parent, QString::fromStdString(m_title), start.folder);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  if (mode == Mode::kSave) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, (m_flags & cdl::kOverwritePrompt) == 0);
    dialog.setDefaultSuffix(QFileInfo(start.name).suffix());
  } else if (mode == Mode::kFolder) {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
  }
  dialog.setWindowModality(Qt::ApplicationModal);
  const QStringList filters = NameFilters(m_filter);
  if (!filters.isEmpty()) dialog.setNameFilters(filters);
  if (!start.name.isEmpty() && mode != Mode::kFolder) dialog.selectFile(start.name);

  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    throw RuntimeError(err::kCancelError, "Cancel was selected.");
  }
  const QString chosen = dialog.selectedFiles().constFirst();
  m_fileName = QDir::toNativeSeparators(QFileInfo(chosen).absoluteFilePath()).toStdString();
  m_lastFolder = QFileInfo(chosen).absolutePath();
}

}  // namespace xmlpellor
