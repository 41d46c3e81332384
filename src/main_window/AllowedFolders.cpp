#include "main_window/AllowedFolders.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/FileSystem.h"

namespace xmlpellor {

std::string AllowReadAdvice() {
  return "To allow a folder, start xmlpellor with --allow-read=FOLDER or add the folder to " +
         AllowedFoldersFile() + " (one folder a line)";
}

std::string AllowedFoldersFile() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const std::string base =
      config != nullptr && *config == '/' ? std::string(config) : HomeFolder() + "/.config";
  return base + "/xmlpellor/allow-read";
}

std::string AllowedFolderProblem(const std::string& folder) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) {
    return folder + (errno == ENOENT ? std::string(" does not exist")
                                     : std::string(": ") + std::strerror(errno));
  }
  if (!S_ISDIR(info.st_mode)) return folder + " is a file, not a folder";
  return {};
}

AllowedFolders ReadAllowedFoldersFile(const std::string& path) {
  AllowedFolders result;
  std::ifstream in(path);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const char* blanks = " \t\r";
    const std::size_t first = line.find_first_not_of(blanks);
    if (first == std::string::npos || line[first] == '#') continue;
    std::string folder = line.substr(first, line.find_last_not_of(blanks) + 1 - first);
    if (folder == "~" || folder.rfind("~/", 0) == 0) folder = HomeFolder() + folder.substr(1);
    const std::string where = path + ", line " + std::to_string(number) + ": ";
    // A relative line would name a different folder for every folder the
    // window is started from.
    if (folder.front() != '/') {
      result.notes.push_back(where + "\"" + folder +
                             "\" is not an absolute folder (start it with / or ~/); ignored");
      continue;
    }
    if (std::string problem = AllowedFolderProblem(folder); !problem.empty()) {
      result.notes.push_back(where + problem + "; ignored");
      continue;
    }
    result.used.push_back(where + "allows " + folder);
    result.folders.push_back(std::move(folder));
  }
  return result;
}

}  // namespace xmlpellor
