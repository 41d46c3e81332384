#include "platform/qt/services/QtEditor.h"

#include <QDesktopServices>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QUrl>

#include "platform/RuntimeError.h"

namespace xmlpellor {

EditorFacts QtEditor::FromEnvironment(std::string command) {
  return {std::move(command), qEnvironmentVariable("VISUAL").toStdString(),
          qEnvironmentVariable("EDITOR").toStdString()};
}

void QtEditor::Open(const std::string& file, long line) {
  const auto command = EditorCommand(m_facts, file, line);
  if (!command) {
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(file.c_str())))) {
      throw RuntimeError(err::kFileNotFound,
                         "No program opens " + file +
                             ": name your editor with --editor 'COMMAND {file} {line}' or "
                             "in $VISUAL");
    }
    return;
  }
  QStringList arguments;
  for (std::size_t i = 1; i < command->size(); ++i) {
    arguments << QFile::decodeName((*command)[i].c_str());
  }
  const QString program = QFile::decodeName(command->front().c_str());
  // Started without a shell: the file's name is one argument whatever it holds.
  if (!QProcess::startDetached(program, arguments)) {
    if (command->front() == "x-terminal-emulator" && command->size() > 2) {
      throw RuntimeError(err::kFileNotFound,
                         "No terminal (x-terminal-emulator) could be started to run " +
                             (*command)[2] +
                             " in; name a graphical editor with --editor 'COMMAND {file} {line}'");
    }
    throw RuntimeError(err::kFileNotFound, "The editor '" + command->front() +
                                               "' could not be started to open " + file);
  }
}

}  // namespace xmlpellor
