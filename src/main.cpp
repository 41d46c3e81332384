#include <QApplication>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "main_window/AllowedFolders.h"
#include "main_window/CommandLine.h"
#include "main_window/QtMainWindow.h"
#include "main_window/QtProgram.h"
#include "platform/FileSystem.h"
#include "platform/qt/services/QtEditor.h"
#include "platform/qt/services/SignalCloser.h"

namespace {

std::string CurrentFolder() {
  std::error_code error;
  const auto folder = std::filesystem::current_path(error);
  return error ? std::string() : folder.string();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace xmlpellor;

  // Before QApplication, which would need a display even for --help.
  const CommandLine command = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc),
                                               CurrentFolder(), HomeFolder());
  switch (command.action) {
    case CommandLine::Action::ShowVersion: std::fputs(VersionText().c_str(), stdout); return 0;
    case CommandLine::Action::ShowHelp: std::fputs(UsageText().c_str(), stdout); return 0;
    case CommandLine::Action::Refuse:
      std::fprintf(stderr, "xmlpellor: %s\n%s", command.error.c_str(),
                   command.usageHelps ? UsageText().c_str() : "");
      return kUsageExitCode;
    case CommandLine::Action::Run: break;
  }

  PrepareProcess(command.verbose);
  QApplication qtApp(argc, argv);
  SetApplicationIdentity();

  transform::EngineSettings engine;
  engine.memoryLimit = command.memoryLimit;
  const AllowedFolders listed = ReadAllowedFoldersFile(AllowedFoldersFile());
  for (const auto& note : listed.notes) std::fprintf(stderr, "xmlpellor: %s\n", note.c_str());
  if (command.verbose) {
    for (const auto& used : listed.used) std::fprintf(stderr, "xmlpellor: %s\n", used.c_str());
  }
  engine.allowRead = listed.folders;
  engine.allowRead.insert(engine.allowRead.end(), command.allowRead.begin(),
                          command.allowRead.end());
  engine.readAdvice = AllowReadAdvice();
  engine.verbose = command.verbose;
  engine.xsltEngine = command.xsltEngine;

  QtProgram program;
  QtMainWindow window(program.errors, program.app, program.fs, engine);
  program.messageBox.SetParent(&window.Widget());
  SignalCloser signalCloser(window.Widget());
  window.SetPaths(command.xml, command.xsl);
  window.SetEditor(QtEditor::FromEnvironment(command.editor));
  window.Program().SetFollowing(command.follow);
  window.Program().SetProfileAfterApply(command.profile);
  window.Program().SetParameters(command.parameters);
  window.Show();
  if (command.ApplyAtStart()) window.PressApplyOnceShown();
  return QApplication::exec();
}
