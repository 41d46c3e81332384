#include "platform/qt/services/QtFileWatcher.h"

#include <QFileInfo>
#include <QStringList>
#include <sys/stat.h>

namespace xmlpellor {

QtFileWatcher::QtFileWatcher() {
  m_settle.setSingleShot(true);
  m_settle.setInterval(kSettleMs);
  connect(&m_settle, &QTimer::timeout, this, [this] { Settled(); });
  // Each notification of a followed file starts the wait afresh, so a burst
  // ends in one look.
  connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, [this] { m_settle.start(); });
  connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this,
          [this](const QString& folder) { FolderChanged(folder); });
}

QtFileWatcher::Stamp QtFileWatcher::StampOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return {static_cast<unsigned long long>(st.st_ino), static_cast<unsigned long long>(st.st_size),
          static_cast<long long>(st.st_ctim.tv_sec), static_cast<long long>(st.st_ctim.tv_nsec)};
}

void QtFileWatcher::Watch(const std::vector<std::string>& paths) {
  m_settle.stop();
  m_files.clear();
  Follow(paths);
}

void QtFileWatcher::Update(const std::vector<std::string>& paths) {
  Follow(paths);
}

void QtFileWatcher::Follow(const std::vector<std::string>& paths) {
  std::map<std::string, Seen> files;
  for (const std::string& path : paths) {
    if (path.empty()) continue;
    const auto known = m_files.find(path);
    if (known != m_files.end()) {
      files.emplace(path, known->second);
    } else {
      const Stamp now = StampOf(path);
      files.emplace(path, Seen{now, now});
    }
  }
  m_files = std::move(files);
  if (!m_watcher.files().isEmpty()) m_watcher.removePaths(m_watcher.files());
  if (!m_watcher.directories().isEmpty()) m_watcher.removePaths(m_watcher.directories());
  Rewatch();
}

// The kernel tells of a folder, not of the name in it that changed: a build
// writing beside the stylesheet would restart the wait on every write and
// hold its save back until the build ends. Only a followed file that looks
// different counts.
void QtFileWatcher::FolderChanged(const QString& folder) {
  bool followed = false;
  for (auto& [path, seen] : m_files) {
    if (QFileInfo(QString::fromStdString(path)).absolutePath() != folder) continue;
    const Stamp now = StampOf(path);
    if (now == seen.lastLook) continue;
    seen.lastLook = now;
    followed = true;
  }
  if (followed) m_settle.start();
}

// The kernel drops a watch whose file goes (deleted, or renamed over), and
// a folder made after the Apply was never watched: every look adds back
// what exists.
void QtFileWatcher::Rewatch() {
  QStringList files, folders;
  for (const auto& [path, seen] : m_files) {
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
  for (auto& [path, seen] : m_files) {
    const Stamp now = StampOf(path);
    seen.lastLook = now;
    // A file that is gone is waited for: applying without it would only
    // show that it cannot be read, halfway through its editor's save.
    if (!now.Exists() || now == seen.told) continue;
    seen.told = now;
    changed = true;
  }
  Rewatch();
  if (changed && m_changed) m_changed();
}

}  // namespace xmlpellor
