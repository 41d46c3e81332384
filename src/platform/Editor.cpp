#include "platform/Editor.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <utility>

#include "platform/LocalPath.h"

namespace xmlpellor {
namespace {

// How an editor known to take a line is told it.
enum class LineStyle {
  kPlus,      // +LINE FILE
  kGoto,      // -g FILE:LINE
  kLineFlag,  // -l LINE FILE
};

struct KnownEditor {
  std::string_view program;
  LineStyle style;
  bool terminal;  // runs in a terminal unless its arguments say otherwise
};

constexpr std::array kKnownEditors{
    KnownEditor{"vim", LineStyle::kPlus, true},
    KnownEditor{"nvim", LineStyle::kPlus, true},
    KnownEditor{"vi", LineStyle::kPlus, true},
    KnownEditor{"nano", LineStyle::kPlus, true},
    KnownEditor{"gvim", LineStyle::kPlus, false},
    KnownEditor{"emacs", LineStyle::kPlus, false},
    KnownEditor{"emacsclient", LineStyle::kPlus, false},
    KnownEditor{"code", LineStyle::kGoto, false},
    KnownEditor{"kate", LineStyle::kLineFlag, false},
    KnownEditor{"gedit", LineStyle::kPlus, false},
};

// Emacs runs in the terminal only when asked to.
constexpr std::array kTerminalFlags{"-nw", "--no-window-system", "-t", "--tty"};

std::string_view BaseName(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::optional<std::vector<std::string>> FromTemplate(const std::string& command,
                                                     const std::string& file, long line) {
  auto words = SplitCommand(command);
  if (!words || words->empty()) return std::nullopt;
  const std::string lineText = std::to_string(line);
  bool namesFile = false;
  for (std::string& word : *words) {
    // Substituted in one pass each, so a file named "{line}" stays its name.
    if (word.find("{file}") != std::string::npos) namesFile = true;
    std::string built;
    for (std::size_t i = 0; i < word.size();) {
      if (word.compare(i, 6, "{file}") == 0) {
        built += file;
        i += 6;
      } else if (word.compare(i, 6, "{line}") == 0) {
        built += lineText;
        i += 6;
      } else {
        built += word[i++];
      }
    }
    word = std::move(built);
  }
  if (!namesFile) words->push_back(file);
  return words;
}

std::optional<std::vector<std::string>> FromVariable(const std::string& variable,
                                                     const std::string& file, long line) {
  auto words = SplitCommand(variable);
  if (!words || words->empty()) return std::nullopt;
  const std::string_view program = BaseName(words->front());
  const auto known = std::find_if(kKnownEditors.begin(), kKnownEditors.end(),
                                  [&](const KnownEditor& e) { return e.program == program; });
  if (known == kKnownEditors.end()) return std::nullopt;
  bool terminal = known->terminal;
  for (const std::string& word : *words) {
    if (std::find(kTerminalFlags.begin(), kTerminalFlags.end(), word) != kTerminalFlags.end()) {
      terminal = true;
    }
  }
  const std::string lineText = std::to_string(line);
  switch (known->style) {
    case LineStyle::kPlus: words->insert(words->end(), {"+" + lineText, file}); break;
    case LineStyle::kGoto: words->insert(words->end(), {"-g", file + ":" + lineText}); break;
    case LineStyle::kLineFlag: words->insert(words->end(), {"-l", lineText, file}); break;
  }
  if (terminal) words->insert(words->begin(), {"x-terminal-emulator", "-e"});
  return words;
}

}  // namespace

std::optional<std::vector<std::string>> SplitCommand(std::string_view command) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (std::size_t i = 0; i < command.size(); ++i) {
    const char c = command[i];
    if (quote == '\'') {
      if (c == '\'') {
        quote = 0;
      } else {
        word += c;
      }
    } else if (quote == '"') {
      if (c == '"') {
        quote = 0;
      } else if (c == '\\' && i + 1 < command.size() &&
                 std::string_view("\"\\$`").find(command[i + 1]) != std::string_view::npos) {
        word += command[++i];
      } else {
        word += c;
      }
    } else if (c == ' ' || c == '\t' || c == '\n') {
      if (inWord) words.push_back(std::exchange(word, std::string()));
      inWord = false;
    } else {
      inWord = true;
      if (c == '\'' || c == '"') {
        quote = c;
      } else if (c == '\\' && i + 1 < command.size()) {
        word += command[++i];
      } else {
        word += c;
      }
    }
  }
  if (quote != 0) return std::nullopt;
  if (inWord) words.push_back(std::move(word));
  return words;
}

std::optional<std::vector<std::string>> EditorCommand(const EditorFacts& facts,
                                                      const std::string& file, long line) {
  // Editors count lines from 1; a place without a line is the file's start.
  line = std::max(line, 1L);
  if (!facts.command.empty()) return FromTemplate(facts.command, file, line);
  for (const std::string* variable : {&facts.visual, &facts.editor}) {
    if (auto command = FromVariable(*variable, file, line)) return command;
  }
  return std::nullopt;
}

std::string LineLink(const std::string& file, long line) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string link = std::string(kLineLinkScheme) + ":";
  for (const char c : file) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) != 0 || std::string_view("/-._~").find(c) != std::string_view::npos) {
      link += c;
    } else {
      link += '%';
      link += kHex[byte >> 4];
      link += kHex[byte & 15];
    }
  }
  return link + "?line=" + std::to_string(line);
}

bool ParseLineLink(std::string_view url, std::string& file, long& line) {
  const std::string prefix = std::string(kLineLinkScheme) + ":";
  if (url.substr(0, prefix.size()) != std::string_view(prefix)) return false;
  url.remove_prefix(prefix.size());
  const std::size_t query = url.rfind("?line=");
  if (query == std::string_view::npos || query == 0) return false;
  const std::string_view number = url.substr(query + 6);
  long value = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error != std::errc() || end != number.data() + number.size() || value < 0) return false;
  std::string decoded = PercentDecoded(url.substr(0, query));
  // A NUL would cut the name short wherever it goes next.
  if (decoded.find('\0') != std::string::npos || decoded.front() != '/') return false;
  file = std::move(decoded);
  line = value;
  return true;
}

}  // namespace xmlpellor
