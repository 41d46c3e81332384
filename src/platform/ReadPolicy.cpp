#include "platform/ReadPolicy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/LocalPath.h"
#include "platform/RuntimeError.h"

namespace xmlpellor {

namespace {

std::string Canonical(const std::string& path) {
  char buffer[PATH_MAX];
  if (path.empty() || ::realpath(path.c_str(), buffer) == nullptr) return {};
  return buffer;
}

// The path with its links and ".." resolved; for a path that does not exist,
// its nearest folder that does, resolved, with the rest appended.
std::string Resolved(const std::string& path) {
  if (path.empty()) return path;
  if (std::string canonical = Canonical(path); !canonical.empty()) return canonical;
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return Resolved(".") + "/" + path;
  if (slash == 0) return path;
  const std::string rest = path.substr(slash + 1);
  if (rest == "..") return {};  // beyond a folder that does not exist: judged as nowhere
  const std::string folder = Resolved(path.substr(0, slash));
  return folder.empty() ? folder : folder + "/" + rest;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool Below(std::string_view path, std::string_view folder, std::string_view& rest) {
  if (path.empty() || path.front() != '/') return false;
  if (folder == "/") {
    rest = path.substr(1);
    return true;
  }
  if (path.size() <= folder.size() + 1 || path.compare(0, folder.size(), folder) != 0 ||
      path[folder.size()] != '/') {
    return false;
  }
  rest = path.substr(folder.size() + 1);
  return true;
}

// The first name in `rest` that starts with a dot, as its offset; npos when none.
std::size_t FirstHidden(std::string_view rest) {
  for (std::size_t start = 0; start < rest.size();) {
    if (rest[start] == '.') return start;
    const std::size_t slash = rest.find('/', start);
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  return std::string_view::npos;
}

// True for the home folder and the folders that hold it.
bool HoldsHome(const std::string& folder, const std::string& home) {
  if (folder == "/") return true;
  std::string_view rest;
  return !home.empty() && (folder == home || Below(home, folder, rest));
}

OpenedFile Failed(int error) {
  OpenedFile failed;
  failed.outcome = OpenedFile::Outcome::kFailed;
  failed.reason = std::strerror(error);
  return failed;
}

OpenedFile Refusal(std::string text, bool allowingHelps) {
  OpenedFile refused;
  refused.outcome = OpenedFile::Outcome::kRefused;
  refused.reason = std::move(text);
  refused.allowingHelps = allowingHelps;
  return refused;
}

constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW;
constexpr int kNotAFile = -1;

// `canonical` opened from "/" one name at a time, no link followed: what is
// opened is exactly what was judged, or nothing. O_PATH descriptors need no
// read access to the folders on the way, which the kernel's rules may deny.
// The file's type is looked at before it is opened: opening a device or a
// pipe can block or have effects of its own. `error` is 0, an errno or
// kNotAFile.
FileDescriptor OpenWithoutLinks(const std::string& canonical, struct stat& info, int& error) {
  const auto fail = [&](int why) {
    error = why;
    return FileDescriptor();
  };
  FileDescriptor folder(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!folder) return fail(errno);
  std::size_t start = 1;
  for (std::size_t slash = canonical.find('/', start); slash != std::string::npos;
       slash = canonical.find('/', start)) {
    const std::string name = canonical.substr(start, slash - start);
    FileDescriptor next(
        ::openat(folder.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next) return fail(errno);
    folder = std::move(next);
    start = slash + 1;
  }
  const std::string name = canonical.substr(start);
  if (name.empty()) return fail(kNotAFile);
  if (::fstatat(folder.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return fail(errno);
  if (S_ISLNK(info.st_mode)) return fail(ELOOP);
  if (!S_ISREG(info.st_mode)) return fail(kNotAFile);
  FileDescriptor file(::openat(folder.get(), name.c_str(), kReadFlags));
  if (!file || ::fstat(file.get(), &info) != 0) return fail(errno);
  if (!S_ISREG(info.st_mode)) return fail(kNotAFile);
  error = 0;
  return file;
}

OpenedFile Opened(FileDescriptor file, const struct stat& info) {
  OpenedFile opened;
  opened.outcome = OpenedFile::Outcome::kOpened;
  opened.fd = std::move(file);
  opened.size = static_cast<std::uint64_t>(info.st_size);
  return opened;
}

OpenedFile Missing() {
  OpenedFile missing;
  missing.outcome = OpenedFile::Outcome::kMissing;
  return missing;
}

std::string Head(const std::string& named) {
  return "Refused: the transformation may not read " + named;
}

}  // namespace

bool LiesInside(std::string_view path, std::string_view place, bool placeIsFolder) noexcept {
  if (!placeIsFolder || path == place) return path == place && !path.empty();
  std::string_view rest;
  return Below(path, place, rest) && FirstHidden(rest) == std::string_view::npos;
}

ReadPolicy::ReadPolicy(const std::vector<std::string>& places) {
  for (const auto& place : places) Add(place);
}

void ReadPolicy::Add(const std::string& place) {
  std::string resolved = Canonical(place);
  struct stat info {};
  if (resolved.empty() || ::stat(resolved.c_str(), &info) != 0) return;
  for (const auto& kept : m_places) {
    if (kept.path == resolved) return;
  }
  m_places.push_back({std::move(resolved), S_ISDIR(info.st_mode)});
}

ReadPolicy ReadPolicy::OfPlaces(std::vector<ReadPlace> places, std::string advice) {
  ReadPolicy policy;
  policy.m_places = std::move(places);
  policy.m_advice = std::move(advice);
  return policy;
}

ReadPolicy ReadPolicy::Including(const std::string& place) const {
  ReadPolicy wider = *this;
  wider.Add(place);
  return wider;
}

ReadPolicy ReadPolicy::Unrestricted() {
  ReadPolicy policy;
  policy.m_unrestricted = true;
  return policy;
}

const std::vector<std::string>& ReadPolicy::SystemFolders() {
  // /usr/share as a whole: stylesheet sets such as yelp-xsl import across
  // their own tree there. Debian's DocBook links its entity files to
  // /etc/sgml, and /etc/sgml/catalog to /var/lib/sgml-base.
  static const std::vector<std::string> folders{"/usr/share", "/etc/xml", "/etc/sgml",
                                                "/var/lib/sgml-base"};
  return folders;
}

ReadPolicy ReadPolicy::ForJob(const std::string& document, const std::string& stylesheet,
                              const std::vector<std::string>& allowed, std::string advice) {
  const std::string home = Canonical(HomeFolder());
  std::vector<std::string> places;
  for (const std::string* named : {&document, &stylesheet}) {
    std::string path;
    try {
      path = LocalPathOf(*named);
    } catch (const RuntimeError&) {
      continue;  // not a local file: it gives no folder
    }
    if (path.empty()) continue;
    places.push_back(path);
    const std::string resolved = Resolved(path);
    for (const std::string& folder : {FolderOf(path), resolved.empty() ? "" : FolderOf(resolved)}) {
      if (!folder.empty() && !HoldsHome(Canonical(folder), home)) places.push_back(folder);
    }
  }
  places.insert(places.end(), SystemFolders().begin(), SystemFolders().end());
  places.insert(places.end(), allowed.begin(), allowed.end());
  ReadPolicy policy(places);
  policy.m_advice = std::move(advice);
  return policy;
}

bool ReadPolicy::Contains(std::string_view canonicalPath) const noexcept {
  if (m_unrestricted) return true;
  for (const auto& place : m_places) {
    if (LiesInside(canonicalPath, place.path, place.folder)) return true;
  }
  return false;
}

bool ReadPolicy::Allows(const std::string& path) const {
  return m_unrestricted || Contains(Resolved(path));
}

OpenedFile ReadPolicy::Open(const std::string& named) const {
  if (named.empty() || named.find('\0') != std::string::npos) return Failed(ENOENT);
  struct stat info {};
  if (m_unrestricted) {
    FileDescriptor file(::open(named.c_str(), kReadFlags & ~O_NOFOLLOW));
    if (!file || ::fstat(file.get(), &info) != 0)
      return errno == ENOENT ? Missing() : Failed(errno);
    if (!S_ISREG(info.st_mode)) return Refusal(Head(named) + ", which is not a file", false);
    return Opened(std::move(file), info);
  }
  // A link flipped between the check and the open makes the open fail, not
  // stray; another look decides on the link's new target.
  constexpr int kAttempts = 4;
  int error = 0;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const std::string canonical = Canonical(named);
    if (canonical.empty()) {
      error = errno;
      const std::string judged = Resolved(named);
      // Through a folder that does not exist and back up: the system could
      // not open it either.
      if (judged.empty()) return Missing();
      if (!Contains(judged)) return Refused(named, judged);
      if (error == ENOENT || error == ENOTDIR) return Missing();
      return Failed(error);
    }
    if (!Contains(canonical)) return Refused(named, canonical);
    FileDescriptor file = OpenWithoutLinks(canonical, info, error);
    if (file) return Opened(std::move(file), info);
    if (error != ELOOP && error != ENOTDIR && error != ENOENT) break;
  }
  switch (error) {
    case kNotAFile: return Refusal(Head(named) + ", which is not a file", false);
    case EACCES:
    case EPERM:
      // The kernel's own rules, or the file's permissions.
      return Refusal(Head(named) + " (" + std::strerror(error) + ")", false);
    case ELOOP:
    case ENOTDIR:
    case ENOENT: return Refusal(Head(named) + ", which kept changing while it was opened", false);
    default: return Failed(error);
  }
}

OpenedFile ReadPolicy::Refused(const std::string& named, const std::string& canonical) const {
  bool allowingHelps = false;
  std::string text = Explain(named, canonical, allowingHelps);
  return Refusal(std::move(text), allowingHelps);
}

std::string ReadPolicy::RefusalText(const std::string& named, const std::string& canonical) const {
  bool allowingHelps = false;
  return Explain(named, canonical, allowingHelps);
}

std::string ReadPolicy::Explain(const std::string& named, const std::string& canonical,
                                bool& allowingHelps) const {
  allowingHelps = false;
  std::string shown = named;
  if (!canonical.empty()) {
    std::error_code error;
    const auto plain = std::filesystem::absolute(named, error).lexically_normal();
    if (error || plain.string() != canonical) shown += " (a link to " + canonical + ")";
  }
  if (canonical.empty()) return Head(shown) + ", which is not a file";
  for (const auto& place : m_places) {
    std::string_view rest;
    if (!place.folder || !Below(canonical, place.path, rest)) continue;
    const std::size_t hidden = FirstHidden(rest);
    if (hidden == std::string_view::npos) continue;
    const std::size_t end = rest.find('/', hidden);
    if (end == std::string_view::npos) {
      return Head(shown) +
             ": its name starts with a dot, and hidden files are read only as the document or "
             "the stylesheet itself";
    }
    allowingHelps = true;
    const std::string folder = canonical.substr(0, canonical.size() - rest.size() + end);
    return Head(shown) + ", which lies in the hidden folder " + folder +
           ": hidden folders are read only when the document or the stylesheet lies in one, or "
           "when allowed by name";
  }
  allowingHelps = true;
  return Head(shown) + ", which lies outside the folders of its document and stylesheet";
}

}  // namespace xmlpellor
