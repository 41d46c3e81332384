#pragma once

#include <functional>
#include <string>
#include <vector>

namespace xmlpellor {

// Tells when files are saved. Every way an editor saves counts: writing in
// place, writing a new file and renaming it over the old one, deleting and
// writing anew. A file that vanishes counts once it is back. A burst of
// changes (an editor's several writes of one save) is told once, when it
// has settled; changes of other files nearby never hold it back.
class IFileWatcher {
 public:
  virtual ~IFileWatcher() = default;
  // Watches these files from now on, instead of those watched before; an
  // empty list stops watching. A file need not exist yet.
  virtual void Watch(const std::vector<std::string>& paths) = 0;
  // The same, except that a file watched already keeps the state it was
  // last seen in: a save made meanwhile (while a box was open, say) is still
  // told.
  virtual void Update(const std::vector<std::string>& paths) = 0;
  // Called on the caller's thread, from its event loop.
  virtual void OnChanged(std::function<void()> changed) = 0;
};

}  // namespace xmlpellor
