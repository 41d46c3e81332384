#include "platform/xml/ReadPolicy.h"

#include <climits>
#include <cstdlib>
#include <fstream>

#include "platform/FileSystem.h"
#include "platform/RuntimeError.h"
#include "platform/xml/DomDocument.h"

namespace xmlpellor::xml {

namespace {

// The path with its links and ".." resolved; for a path that does not exist,
// its nearest folder that does, resolved, with the rest appended.
std::string Resolved(const std::string& path) {
  if (path.empty()) return path;
  char buffer[PATH_MAX];
  if (::realpath(path.c_str(), buffer) != nullptr) return buffer;
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return Resolved(".") + "/" + path;
  if (slash == 0) return path;
  const std::string rest = path.substr(slash + 1);
  if (rest == "..") return {};  // beyond a folder that does not exist: judged as nowhere
  return Resolved(path.substr(0, slash)) + "/" + rest;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool Within(const std::string& path, const std::string& folder) {
  if (folder == "/") return !path.empty() && path.front() == '/';
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
         path[folder.size()] == '/';
}

}  // namespace

ReadPolicy::ReadPolicy(const std::vector<std::string>& folders) : m_restricted(true) {
  for (const auto& folder : folders) {
    char buffer[PATH_MAX];
    if (folder.empty() || ::realpath(folder.c_str(), buffer) == nullptr) continue;
    std::string resolved = buffer;
    bool known = false;
    for (const auto& kept : m_folders) known = known || kept == resolved;
    if (!known) m_folders.push_back(std::move(resolved));
  }
}

const std::vector<std::string>& ReadPolicy::SystemFolders() {
  static const std::vector<std::string> folders{"/usr/share/xml", "/usr/share/sgml", "/etc/xml"};
  return folders;
}

ReadPolicy ReadPolicy::ForJob(const std::string& document, const std::string& stylesheet,
                              const std::vector<std::string>& allowed) {
  std::vector<std::string> folders;
  for (const std::string* named : {&document, &stylesheet}) {
    std::string path;
    try {
      path = LocalPathOf(*named);
    } catch (const RuntimeError&) {
      continue;  // not a local file: it gives no folder
    }
    if (path.empty()) continue;
    folders.push_back(FolderOf(path));
    folders.push_back(FolderOf(Resolved(path)));
  }
  folders.insert(folders.end(), SystemFolders().begin(), SystemFolders().end());
  folders.insert(folders.end(), allowed.begin(), allowed.end());
  return ReadPolicy(folders);
}

bool ReadPolicy::Allows(const std::string& path) const {
  if (!m_restricted) return true;
  const std::string resolved = Resolved(path);
  for (const auto& folder : m_folders) {
    if (Within(resolved, folder)) return true;
  }
  return false;
}

std::string ReadPolicy::RefusalText(const std::string& path) {
  return "Refused: the transformation may not read " + path +
         ", which lies outside the folders of its document and stylesheet. To allow its folder, "
         "start xmlpellor with --allow-read=FOLDER or add the folder to " +
         AllowedFoldersFile() + " (one folder a line)";
}

std::string AllowedFoldersFile() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const std::string base =
      config != nullptr && *config == '/' ? std::string(config) : HomeFolder() + "/.config";
  return base + "/xmlpellor/allow-read";
}

std::vector<std::string> ReadAllowedFoldersFile(const std::string& path) {
  std::vector<std::string> folders;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty() || line.front() == '#') continue;
    if (line.rfind("~/", 0) == 0) line = HomeFolder() + line.substr(1);
    folders.push_back(line);
  }
  return folders;
}

}  // namespace xmlpellor::xml
