#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"

namespace xmlpellor::xml {

// True when `path` (absolute, its links and ".." already resolved) is `place`
// or, for a folder, lies below it with no hidden name (one starting with
// ".") past it. A file place holds only itself. This is the one test of
// "inside" that the loader, the page and the kernel's rules share.
bool LiesInside(std::string_view path, std::string_view place, bool placeIsFolder) noexcept;

// A file a job opened, or why it did not.
struct OpenedFile {
  enum class Outcome { kOpened, kRefused, kMissing, kFailed };
  Outcome outcome = Outcome::kFailed;
  FileDescriptor fd;
  std::uint64_t size = 0;
  // kRefused: the whole "Refused: ..." sentence; kFailed: the system's reason.
  std::string reason;
  // kRefused: allowing a folder would let it through.
  bool allowingHelps = false;
};

// The files a transformation may read: those in the folders of its document
// and stylesheet, the system's XML data (catalogs, DocBook and the like),
// and folders the user allowed. A stylesheet or document from elsewhere
// must not be able to carry any other file of the user's into the page.
class ReadPolicy {
 public:
  // Reads nothing.
  ReadPolicy() = default;
  // Only what lies in `places`, folders or single files; each is taken with
  // its links resolved, and one that does not exist is left out.
  explicit ReadPolicy(const std::vector<std::string>& places);
  // Everything, as named. For tests and fuzzing, where no user's files are at
  // stake; a job of the window never gets it.
  static ReadPolicy Unrestricted();

  // The places of the job that reads `document` with `stylesheet`: the two
  // files themselves, the folder of each as named and as its links resolve,
  // the system's XML folders and `allowed`. A folder that is the home folder
  // or holds it gives only the file: a document saved straight into the home
  // folder must not open all of it to its stylesheet.
  static ReadPolicy ForJob(const std::string& document, const std::string& stylesheet,
                           const std::vector<std::string>& allowed);
  // Where the system's XML and SGML packages keep their data, catalogs and
  // the targets of the links they ship.
  static const std::vector<std::string>& SystemFolders();

  bool RestrictsReads() const noexcept { return !m_unrestricted; }
  // True when `canonicalPath` (links and ".." resolved) lies in one of the
  // places; see LiesInside.
  bool Contains(std::string_view canonicalPath) const noexcept;
  // The same for any path: resolved first; one that does not exist is judged
  // by its folder.
  bool Allows(const std::string& path) const;
  // The places with their links resolved, folders and files, as the engine's
  // process and the kernel's rules get them.
  const std::vector<std::string>& Folders() const noexcept { return m_paths; }

  // Opens `path` for reading when the policy allows what it leads to. The
  // decision is made on the resolved path, and that path is then opened one
  // name at a time without following any link, so a link changed between
  // the two cannot lead the open anywhere else.
  OpenedFile Open(const std::string& path) const;

  // "Refused: ..." for `named`, which resolves to `canonical`.
  std::string RefusalText(const std::string& named, const std::string& canonical) const;
  // How to let a refused folder through, said once however many were refused.
  static std::string Advice();

 private:
  struct Place {
    std::string path;
    bool folder;
  };
  OpenedFile Refused(const std::string& named, const std::string& canonical) const;
  std::string Explain(const std::string& named, const std::string& canonical,
                      bool& allowingHelps) const;

  std::vector<Place> m_places;
  std::vector<std::string> m_paths;
  bool m_unrestricted = false;
};

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

}  // namespace xmlpellor::xml
