#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/FileWatcher.h"

namespace xmlpellor {

// IFileWatcher over the kernel's notifications (QFileSystemWatcher). A save
// by rename leaves the watch on a file that is gone, so each file's folder is
// watched too, and a file is judged changed by what it is on disk (its
// inode, size and time of change) rather than by which notification came.
class QtFileWatcher final : public QObject, public IFileWatcher {
 public:
  // An editor's writes of one save come within a few milliseconds.
  static constexpr int kSettleMs = 50;

  QtFileWatcher();
  void Watch(const std::vector<std::string>& paths) override;
  void Update(const std::vector<std::string>& paths) override;
  void OnChanged(std::function<void()> changed) override { m_changed = std::move(changed); }

 private:
  // What a file is on disk; all zero while it does not exist.
  struct Stamp {
    unsigned long long inode = 0, size = 0;
    long long seconds = 0, nanoseconds = 0;
    bool Exists() const noexcept { return inode != 0; }
    friend bool operator==(const Stamp&, const Stamp&) = default;
  };
  struct Seen {
    Stamp told;      // when the watch began, or the change was last told
    Stamp lastLook;  // at the last notification of its folder
  };
  static Stamp StampOf(const std::string& path);

  void Follow(const std::vector<std::string>& paths);
  void FolderChanged(const QString& folder);
  void Settled();
  void Rewatch();

  QFileSystemWatcher m_watcher;
  QTimer m_settle;
  std::map<std::string, Seen> m_files;
  std::function<void()> m_changed;
};

}  // namespace xmlpellor
