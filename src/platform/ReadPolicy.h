#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"

namespace xmlpellor {

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

// One place a policy lets be read: a folder, with what lies below it, or a
// single file. Its path is absolute, its links and ".." resolved.
struct ReadPlace {
  std::string path;
  bool folder = false;

  bool operator==(const ReadPlace&) const = default;
};

// The files a transformation may read: those in the folders of its document
// and stylesheet, the system's XML data (catalogs, DocBook and the like),
// and folders the user allowed. A stylesheet or document from elsewhere
// must not be able to carry any other file of the user's into the page.
//
// One value for each job, built once by the side that starts it: the
// loader, the kernel's rules of the process that runs the job and the page
// that shows its result all judge by it, with LiesInside.
class ReadPolicy {
 public:
  // Reads nothing.
  ReadPolicy() = default;
  // Only what lies in `places`, folders or single files; each is taken with
  // its links resolved, and one that does not exist is left out.
  explicit ReadPolicy(const std::vector<std::string>& places);
  // Exactly `places`, resolved already by the side that built the policy:
  // how the policy crosses to another process unchanged. `advice` says
  // how the user lets a refused folder through.
  static ReadPolicy OfPlaces(std::vector<ReadPlace> places, std::string advice);
  // Everything, as named. Only for tests and fuzzing, where no user's files
  // are at stake, and only where they ask for it by name: it is no policy's
  // default and never crosses to another process.
  static ReadPolicy Unrestricted();

  // The places of the job that reads `document` with `stylesheet`: the two
  // files themselves, the folder of each as named and as its links resolve,
  // the system's XML folders and `allowed`. A folder that is the home folder
  // or holds it gives only the file: a document saved straight into the home
  // folder must not open all of it to its stylesheet.
  static ReadPolicy ForJob(const std::string& document, const std::string& stylesheet,
                           const std::vector<std::string>& allowed, std::string advice = {});
  // Where the system's XML and SGML packages keep their data, catalogs and
  // the targets of the links they ship.
  static const std::vector<std::string>& SystemFolders();

  // This policy with `place` (a folder or file, resolved here) added.
  ReadPolicy Including(const std::string& place) const;

  bool RestrictsReads() const noexcept { return !m_unrestricted; }
  // True when `canonicalPath` (links and ".." resolved) lies in one of the
  // places; see LiesInside.
  bool Contains(std::string_view canonicalPath) const noexcept;
  // The same for any path: resolved first; one that does not exist is judged
  // by its folder.
  bool Allows(const std::string& path) const;
  // The places, as another process and the kernel's rules get them.
  const std::vector<ReadPlace>& Places() const noexcept { return m_places; }
  // How to let a refused folder through, as the window tells it; said once
  // after the first refusal it helps with, however many there are.
  const std::string& Advice() const noexcept { return m_advice; }

  // Opens `path` for reading when the policy allows what it leads to. The
  // decision is made on the resolved path, and that path is then opened one
  // name at a time without following any link, so a link changed between
  // the two cannot lead the open anywhere else.
  OpenedFile Open(const std::string& path) const;

  // "Refused: ..." for `named`, which resolves to `canonical`.
  std::string RefusalText(const std::string& named, const std::string& canonical) const;

  bool operator==(const ReadPolicy&) const = default;

 private:
  void Add(const std::string& place);
  OpenedFile Refused(const std::string& named, const std::string& canonical) const;
  std::string Explain(const std::string& named, const std::string& canonical,
                      bool& allowingHelps) const;

  std::vector<ReadPlace> m_places;
  std::string m_advice;
  bool m_unrestricted = false;
};

}  // namespace xmlpellor
