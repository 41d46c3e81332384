#pragma once

#include <string>
#include <vector>

namespace xmlpellor::xml {

// The files a transformation may read: those in the folders of its document
// and stylesheet, the system's XML data (catalogs, DocBook and the like),
// and folders the user allowed. A stylesheet or document from elsewhere
// must not be able to carry any other file of the user's into the page.
class ReadPolicy {
 public:
  // Everything is readable.
  ReadPolicy() = default;
  // Only what lies in `folders`; each is taken with its links resolved, and
  // one that does not exist is left out.
  explicit ReadPolicy(const std::vector<std::string>& folders);

  // The folders of the job that reads `document` with `stylesheet`: the
  // folder of each as named and as its links resolve, the system's XML
  // folders and `allowed`.
  static ReadPolicy ForJob(const std::string& document, const std::string& stylesheet,
                           const std::vector<std::string>& allowed);
  static const std::vector<std::string>& SystemFolders();

  bool RestrictsReads() const noexcept { return m_restricted; }
  // True when `path`, with its links and ".." resolved, lies in one of the
  // folders. A path that does not exist is judged by its folder.
  bool Allows(const std::string& path) const;
  const std::vector<std::string>& Folders() const noexcept { return m_folders; }

  // Why `path` was refused and how to allow its folder.
  static std::string RefusalText(const std::string& path);

 private:
  std::vector<std::string> m_folders;
  bool m_restricted = false;
};

// Where the user lists folders every start allows, one a line:
// $XDG_CONFIG_HOME/xmlpellor/allow-read, by default under ~/.config.
std::string AllowedFoldersFile();
// The folders that file lists (blank lines and lines starting with '#'
// skipped, "~/" for the home folder); none when it does not exist.
std::vector<std::string> ReadAllowedFoldersFile(const std::string& path);

}  // namespace xmlpellor::xml
