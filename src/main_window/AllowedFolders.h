#pragma once

#include <string>
#include <vector>

namespace xmlpellor {

// Where the user lists folders every start allows, one a line:
// $XDG_CONFIG_HOME/xmlpellor/allow-read, by default under ~/.config.
std::string AllowedFoldersFile();

// What that file lists: lines trimmed, blank lines and lines starting with
// '#' skipped, "~" for the home folder. A line that is not an absolute path
// to a folder is left out with a note saying why; `used` says which line
// gave each folder.
struct AllowedFolders {
  std::vector<std::string> folders;
  std::vector<std::string> used;
  std::vector<std::string> notes;
};
AllowedFolders ReadAllowedFoldersFile(const std::string& path);

// Why `folder` (absolute) cannot be an allowed folder, or "" when it can.
std::string AllowedFolderProblem(const std::string& folder);

// How to let a refused folder through, as a refusal of the engine says it:
// the command line's option and the settings file.
std::string AllowReadAdvice();

}  // namespace xmlpellor
