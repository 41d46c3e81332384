#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/xml/StylesheetParameter.h"
#include "transform/Engine.h"

namespace xmlpellor {

// What the command line asks for. Read before the QApplication exists, so
// that --help and --version work without a display.
struct CommandLine {
  enum class Action { Run, ShowVersion, ShowHelp, Refuse };

  Action action = Action::Run;
  // Absolute paths for the two boxes; empty when not named.
  std::string xml;
  std::string xsl;
  // Give the web engine's own diagnostics back to the terminal.
  bool verbose = false;
  // Memory one transformation may use, in bytes; 0: the default.
  std::uint64_t memoryLimit = 0;
  // Folders every transformation may read besides its own (absolute).
  std::vector<std::string> allowRead;
  // False when the error is about a value, not the usage: it is said alone.
  bool usageHelps = true;
  // Apply again whenever a file the last Apply read is saved.
  bool follow = true;
  // The engine every stylesheet runs in; kAuto: by the version it declares.
  transform::XsltEngine xsltEngine = transform::XsltEngine::kAuto;
  // --stringparam and --param, in the order given, for every Apply.
  std::vector<xml::GlobalParameter> parameters;
  // --editor: the command that opens a file at a line ({file}, {line}).
  std::string editor;
  // --profile: after each Apply, how long each template took, on stderr.
  bool profile = false;
  // One line saying what was wrong, for Action::Refuse.
  std::string error;

  // Both files were named: the window applies them once it has loaded.
  bool ApplyAtStart() const noexcept { return !xml.empty() && !xsl.empty(); }
};

// `arguments` without the program's name. Relative paths are taken from
// `currentFolder`, and "~/" stands for `home`. Qt's own options (-platform,
// -style, ...) and whatever follows --webEngineArgs are left to Qt, which
// reads them from argv itself.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                             std::string_view currentFolder, std::string_view home);

// "512M", "2G", "1048576": a size in bytes with an optional K, M or G
// suffix (powers of 1024). 0 when it is not such a size.
std::uint64_t ParseSize(std::string_view text);

// "Usage: ..." and the options, ending in a line break.
std::string UsageText();
// The program's name and version on one line.
std::string VersionText();

// The exit status for a command line that was refused, as other command-line
// tools give it.
inline constexpr int kUsageExitCode = 2;

}  // namespace xmlpellor
