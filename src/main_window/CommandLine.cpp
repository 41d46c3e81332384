#include "main_window/CommandLine.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "files/Files.h"
#include "main_window/Identity.h"
#include "main_window/AllowedFolders.h"
#include "platform/Editor.h"
#include "transform/EngineChoice.h"

namespace xmlpellor {
namespace {

// Options QGuiApplication, QApplication and the xcb platform take from argv
// themselves. They are skipped here, not refused, so that the usual Qt ways
// of starting a program (-platform offscreen, -style fusion) keep working.
constexpr std::array kQtOptionsWithValue{
    "platform",     "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
    "qwindowicon",  "qwindowtitle",       "session",       "style",  "stylesheet",
    "display",      "geometry",           "name",          "title",  "visual",
    "qmljsdebugger"};
constexpr std::array kQtFlags{"reverse", "widgetcount", "nograb", "dograb", "sync"};

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  return std::equal(suffix.begin(), suffix.end(), text.end() - static_cast<long>(suffix.size()),
                    [](char a, char b) {
                      return std::tolower(static_cast<unsigned char>(a)) ==
                             std::tolower(static_cast<unsigned char>(b));
                    });
}

bool IsStylesheetName(std::string_view path) {
  return EndsWithNoCase(path, ".xsl") || EndsWithNoCase(path, ".xslt");
}

std::string Absolute(std::string_view argument, std::string_view currentFolder,
                     std::string_view home) {
  std::string path = files::ExpandHome(argument, home);
  if (path.empty() || path.front() == '/' || currentFolder.empty()) return path;
  std::string_view rest = path;
  while (rest.size() > 2 && rest.substr(0, 2) == "./") rest.remove_prefix(2);
  std::string folder(currentFolder);
  if (folder.back() != '/') folder += '/';
  return folder + std::string(rest);
}

// "-style", "--style" and "-style=fusion" all name Qt's option "style".
// Returns whether `argument` was one of Qt's and how many arguments it takes.
bool IsQtOption(std::string_view argument, int& taken) {
  std::string_view name = argument.substr(argument.rfind("--", 0) == 0 ? 2 : 1);
  const std::size_t equals = name.find('=');
  const bool inlineValue = equals != std::string_view::npos;
  if (inlineValue) name = name.substr(0, equals);
  if (std::find(kQtOptionsWithValue.begin(), kQtOptionsWithValue.end(), name) !=
      kQtOptionsWithValue.end()) {
    taken = inlineValue ? 1 : 2;
    return true;
  }
  if (!inlineValue && std::find(kQtFlags.begin(), kQtFlags.end(), name) != kQtFlags.end()) {
    taken = 1;
    return true;
  }
  return false;
}

CommandLine Refused(std::string error) {
  CommandLine refused;
  refused.action = CommandLine::Action::Refuse;
  refused.error = std::move(error);
  return refused;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                             std::string_view currentFolder, std::string_view home) {
  CommandLine result;
  std::vector<std::string> files;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      files.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "--help" || argument == "-h") {
      // The first of --help and --version wins, whatever follows.
      if (result.action == CommandLine::Action::Run) result.action = CommandLine::Action::ShowHelp;
    } else if (argument == "--version") {
      if (result.action == CommandLine::Action::Run) {
        result.action = CommandLine::Action::ShowVersion;
      }
    } else if (argument == "--verbose") {
      result.verbose = true;
    } else if (argument.rfind("--memory-limit", 0) == 0 || argument.rfind("--allow-read", 0) == 0) {
      const bool memory = argument.rfind("--memory-limit", 0) == 0;
      const std::size_t nameLength = memory ? 14 : 12;
      std::string value;
      if (argument.size() > nameLength && argument[nameLength] == '=') {
        value = argument.substr(nameLength + 1);
      } else if (argument.size() == nameLength && i + 1 < arguments.size()) {
        value = arguments[++i];
      } else if (argument.size() == nameLength) {
        return Refused("option '" + argument + "' needs a value");
      } else {
        return Refused("unknown option '" + argument + "'");
      }
      if (memory) {
        result.memoryLimit = ParseSize(value);
        if (result.memoryLimit == 0) {
          return Refused("'" + value + "' is not a size: give bytes, or a number with K, M or G");
        }
      } else {
        if (value.empty()) return Refused("option '--allow-read' needs a folder");
        std::string folder = Absolute(value, currentFolder, home);
        // Found out now, not at the first refusal, which would advise the
        // very option that was given.
        if (std::string problem = AllowedFolderProblem(folder); !problem.empty()) {
          CommandLine refused = Refused("--allow-read: " + problem);
          refused.usageHelps = false;
          return refused;
        }
        result.allowRead.push_back(std::move(folder));
      }
    } else if (argument.rfind("--xslt-engine", 0) == 0 &&
               (argument.size() == 13 || argument[13] == '=')) {
      std::string value;
      if (argument.size() > 13) {
        value = argument.substr(14);
      } else if (i + 1 < arguments.size()) {
        value = arguments[++i];
      } else {
        return Refused("option '--xslt-engine' needs a value");
      }
      const auto engine = transform::ParseXsltEngine(value);
      if (!engine) {
        return Refused("--xslt-engine: '" + value + "' is none of auto, libxslt, saxon");
      }
      result.xsltEngine = *engine;
    } else if (argument.rfind("--editor", 0) == 0 && (argument.size() == 8 || argument[8] == '=')) {
      if (argument.size() > 8) {
        result.editor = argument.substr(9);
      } else if (i + 1 < arguments.size()) {
        result.editor = arguments[++i];
      } else {
        return Refused("option '--editor' needs a command");
      }
      // Found out now, not at the first click on a line.
      const auto words = SplitCommand(result.editor);
      if (!words || words->empty()) {
        return Refused("--editor: '" + result.editor + "' is no command (is a quote left open?)");
      }
    } else if (argument == "--profile") {
      result.profile = true;
    } else if (argument == "--no-follow") {
      result.follow = false;
    } else if (argument == "--stringparam" || argument == "--param") {
      const bool xpath = argument == "--param";
      if (i + 2 >= arguments.size()) {
        return Refused("option '" + argument + "' needs a name and " +
                       (xpath ? "an XPath expression" : "a value"));
      }
      if (arguments[i + 1].empty()) return Refused("option '" + argument + "' needs a name");
      result.parameters.push_back({arguments[i + 1], arguments[i + 2], xpath});
      i += 2;
    } else if (argument == "--webEngineArgs") {
      // The rest belongs to Chromium.
      break;
    } else if (int taken = 0; IsQtOption(argument, taken)) {
      if (i + static_cast<std::size_t>(taken) > arguments.size()) {
        return Refused("option '" + argument + "' needs a value");
      }
      i += static_cast<std::size_t>(taken) - 1;
    } else {
      return Refused("unknown option '" + argument + "'");
    }
  }
  if (result.action != CommandLine::Action::Run) return result;
  if (files.size() > 2) {
    return Refused("too many files: name at most a document and a stylesheet");
  }

  // A stylesheet goes to its box wherever it stands; otherwise the order
  // is document, stylesheet.
  if (files.size() == 2 && IsStylesheetName(files[0]) && !IsStylesheetName(files[1])) {
    std::swap(files[0], files[1]);
  }
  if (files.size() == 1 && IsStylesheetName(files[0])) {
    result.xsl = Absolute(files[0], currentFolder, home);
  } else {
    if (!files.empty()) result.xml = Absolute(files[0], currentFolder, home);
    if (files.size() == 2) result.xsl = Absolute(files[1], currentFolder, home);
  }
  return result;
}

std::uint64_t ParseSize(std::string_view text) {
  std::uint64_t value = 0;
  std::size_t i = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value > (UINT64_MAX - 9) / 10) return 0;
    value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
  }
  if (i == 0) return 0;
  int shift = 0;
  if (i + 1 == text.size()) {
    switch (std::toupper(static_cast<unsigned char>(text[i]))) {
      case 'K': shift = 10; break;
      case 'M': shift = 20; break;
      case 'G': shift = 30; break;
      default: return 0;
    }
  } else if (i != text.size()) {
    return 0;
  }
  if (value > (UINT64_MAX >> shift)) return 0;
  return value << shift;
}

std::string UsageText() {
  return "Usage: xmlpellor [OPTION]... [DOCUMENT [STYLESHEET]]\n"
         "Try an XSL stylesheet on an XML document and see the result at once.\n"
         "\n"
         "DOCUMENT and STYLESHEET fill the window's two path boxes; given both, the\n"
         "window applies the stylesheet as soon as it has opened. A file whose name\n"
         "ends in .xsl or .xslt goes to the stylesheet box wherever it stands.\n"
         "A path beginning with ~/ starts in your home folder.\n"
         "\n"
         "Options:\n"
         "  -h, --help                 show this help and exit\n"
         "      --version              show the program's name and version and exit\n"
         "      --stringparam NAME VALUE\n"
         "                             give the stylesheet's global parameter NAME the\n"
         "                             text VALUE on every Apply; may be repeated\n"
         "      --param NAME XPATH     give the global parameter NAME the value of the\n"
         "                             XPath expression XPATH; may be repeated\n"
         "      --no-follow            do not apply again when a file the last Apply\n"
         "                             read is saved\n"
         "      --memory-limit=SIZE    memory one transformation may use: bytes, or a\n"
         "                             number with K, M or G (default: half of the\n"
         "                             machine's memory)\n"
         "      --allow-read=FOLDER    let transformations read files in FOLDER too;\n"
         "                             FOLDER must exist; may be repeated\n"
         "      --xslt-engine=ENGINE   run stylesheets in ENGINE: auto (the default:\n"
         "                             Saxon-HE for those that declare version 2.0 or\n"
         "                             later, libxslt for the others), libxslt or saxon\n"
         "      --editor=COMMAND       open a file:line the window shows with COMMAND,\n"
         "                             in which {file} and {line} stand for them, e.g.\n"
         "                             --editor='kate -l {line} {file}'; run without a\n"
         "                             shell. Without it: $VISUAL, then $EDITOR, when it\n"
         "                             is vim, nvim, vi, nano, emacs, code, kate or\n"
         "                             gedit (terminal editors in x-terminal-emulator),\n"
         "                             else the desktop's program for the file\n"
         "      --profile              after each Apply, print on standard error how\n"
         "                             often each template ran and how long it took\n"
         "      --verbose              also print the web engine's own diagnostics and\n"
         "                             the confinement of the XSLT engine's process\n"
         "      --                     the arguments that follow are files, even if\n"
         "                             they begin with -\n"
         "Qt's own options, such as -platform and -style, are passed on to Qt.\n"
         "\n"
         "After an Apply the window follows the document, the stylesheet and the\n"
         "files they read: saving one of them applies again.\n"
         "F9 in the window lists the stylesheet's parameters to set or clear.\n"
         "\n"
         "A transformation reads only files in the folders of its document and\n"
         "stylesheet and below them, the system's XML data (/usr/share, /etc/xml,\n"
         "/etc/sgml) and the allowed folders: those named with --allow-read and\n"
         "those listed one a line, absolute, in ~/.config/xmlpellor/allow-read.\n"
         "Hidden files and folders (names starting with a dot) below those folders\n"
         "stay private, unless the document or stylesheet lies in one or an allowed\n"
         "folder names one. A document or stylesheet saved straight into the home\n"
         "folder opens only itself, not the home folder.\n"
         "\n"
         "XSLT 2.0 and 3.0 run in Saxon-HE on Java, which needs the packages\n"
         "libsaxonhe-java and default-jre-headless; XSLT 1.0 runs in libxslt.\n"
         "\n"
         "The messages of a stylesheet (xsl:message) and the warnings of a\n"
         "transformation go to standard error, one line each, as they come.\n"
         "Exit status: 0 when the window was closed, 2 for a wrong command line.\n";
}

std::string VersionText() {
  return std::string("xmlpellor (") + kCaption + ") " + kVersion + "\n";
}

}  // namespace xmlpellor
