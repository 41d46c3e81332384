#include "platform/qt/QtFileWatcher.h"

#include <QFileInfo>
#include <QStringList>
#include <sys/stat.h>

namespace xmlpellor {

QtFileWatcher::QtFileWatcher() {
  m_settle.setSingleShot(true);
  m_settle.setInterval(kSettleMs);
  connect(&m_settle, &QTimer::timeout, this, [this] { Settled(); });
  // Each notification starts the wait afresh, so a burst ends in one look.
  const auto restart = [this] { m_settle.start(); };
  connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, restart);
  connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, restart);
}

QtFileWatcher::Stamp QtFileWatcher::StampOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return {static_cast<unsigned long long>(st.st_ino), static_cast<unsigned long long>(st.st_size),
          static_cast<long long>(st.st_ctim.tv_sec), static_cast<long long>(st.st_ctim.tv_nsec)};
}

void QtFileWatcher::Watch(const std::vector<std::string>& paths) {
  m_settle.stop();
  if (!m_watcher.files().isEmpty()) m_watcher.removePaths(m_watcher.files());
  if (!m_watcher.directories().isEmpty()) m_watcher.removePaths(m_watcher.directories());
  m_files.clear();
  for (const std::string& path : paths) {
    if (!path.empty()) m_files.emplace(path, StampOf(path));
  }
  Rewatch();
}

// The kernel drops a watch whose file goes (deleted, or renamed over), and
// a folder made after the Apply was never watched: every look adds back
// what exists.
void QtFileWatcher::Rewatch() {
  QStringList files, folders;
  for (const auto& [path, stamp] : m_files) {
    const QString name = QString::fromStdString(path);
    const QString folder = QFileInfo(name).absolutePath();
    if (QFileInfo::exists(name) && !m_watcher.files().contains(name)) files << name;
    if (QFileInfo::exists(folder) && !m_watcher.directories().contains(folder) &&
        !folders.contains(folder)) {
      folders << folder;
    }
  }
  if (!files.isEmpty()) m_watcher.addPaths(files);
  if (!folders.isEmpty()) m_watcher.addPaths(folders);
}

void QtFileWatcher::Settled() {
  bool changed = false;
  for (auto& [path, stamp] : m_files) {
    const Stamp now = StampOf(path);
    // A file that is gone is waited for: applying without it would only
    // show that it cannot be read, halfway through its editor's save.
    if (!now.Exists() || now == stamp) continue;
    stamp = now;
    changed = true;
  }
  Rewatch();
  if (changed && m_changed) m_changed();
}

}  // namespace xmlpellor
