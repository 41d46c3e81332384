#include "platform/FileSystem.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <ftw.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/RuntimeError.h"

namespace xmlpellor {

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = other.release();
  }
  return *this;
}

FileDescriptor::~FileDescriptor() {
  if (m_fd >= 0) ::close(m_fd);
}

int FileDescriptor::release() noexcept {
  const int fd = m_fd;
  m_fd = -1;
  return fd;
}

void FileDescriptor::Close(const std::string& path) {
  // close() may be where a delayed write error (a full disk on NFS, say)
  // first shows; it must not pass for success.
  if (::close(release()) != 0 && errno != EINTR) ThrowFileError(errno, path);
}

void IgnoreFileSizeLimitSignal() noexcept {
  std::signal(SIGXFSZ, SIG_IGN);
}

std::string HomeFolder() {
  const char* env = std::getenv("HOME");
  if (env != nullptr && *env != '\0') return env;
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  if (size <= 0) size = 16384;
  std::vector<char> buffer(static_cast<std::size_t>(size));
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr || found->pw_dir == nullptr) {
    return {};
  }
  return found->pw_dir;
}

void WriteAll(int fd, std::string_view data, const std::string& path) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowFileError(errno, path);
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
}

void CopyFileBytes(const std::string& from, const std::string& to) {
  FileDescriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in) ThrowFileError(errno, from);
  // Not truncated on opening: were both names the same file, that would
  // empty the very bytes about to be copied.
  FileDescriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
  if (!out) ThrowFileError(errno, to);
  struct stat source {}, target {};
  if (::fstat(in.get(), &source) != 0) ThrowFileError(errno, from);
  if (::fstat(out.get(), &target) != 0) ThrowFileError(errno, to);
  if (source.st_dev == target.st_dev && source.st_ino == target.st_ino) return;
  if (::ftruncate(out.get(), 0) != 0) ThrowFileError(errno, to);
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    const ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowFileError(errno, from);
    }
    if (n == 0) break;
    WriteAll(out.get(), std::string_view(buffer.data(), static_cast<std::size_t>(n)), to);
  }
  out.Close(to);
}

namespace {

// Opens `relative` below `folder` one part at a time, so that no
// part can be a link that leads elsewhere.
FileDescriptor OpenBelow(const std::string& folder, const std::string& relative, int flags,
                         mode_t fileMode, bool makeFolders, mode_t folderMode) {
  FileDescriptor at(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!at) ThrowFileError(errno, folder);
  std::size_t start = 0;
  for (std::size_t slash = relative.find('/'); slash != std::string::npos;
       slash = relative.find('/', start)) {
    const std::string part = relative.substr(start, slash - start);
    if (makeFolders && ::mkdirat(at.get(), part.c_str(), folderMode) != 0 && errno != EEXIST) {
      ThrowFileError(errno, folder + "/" + relative.substr(0, slash));
    }
    FileDescriptor next(
        ::openat(at.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next) ThrowFileError(errno, folder + "/" + relative.substr(0, slash));
    at = std::move(next);
    start = slash + 1;
  }
  const std::string name = relative.substr(start);
  FileDescriptor file(::openat(at.get(), name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, fileMode));
  if (!file) ThrowFileError(errno, folder + "/" + relative);
  return file;
}

int RemoveEntry(const char* path, const struct stat*, int, FTW*) {
  return ::remove(path) == 0 ? 0 : errno;
}

}  // namespace

std::string CreatePrivateFolder(const std::string& directory, const std::string& prefix) {
  std::string path = directory;
  if (!path.empty() && path.back() != '/') path += '/';
  path += prefix + "XXXXXX";
  // mkdtemp makes the folder with mode 0700 under a name nobody had.
  if (::mkdtemp(path.data()) == nullptr) ThrowFileError(errno, directory);
  return path;
}

void WriteFileBelow(const std::string& folder, const std::string& relative, std::string_view bytes,
                    bool privately) {
  const int flags = O_WRONLY | O_CREAT | (privately ? O_TRUNC : O_EXCL);
  FileDescriptor file =
      OpenBelow(folder, relative, flags, privately ? 0600 : 0666, true, privately ? 0700 : 0777);
  const std::string path = folder + "/" + relative;
  WriteAll(file.get(), bytes, path);
  file.Close(path);
}

std::string ReadFileBelow(const std::string& folder, const std::string& relative) {
  FileDescriptor file = OpenBelow(folder, relative, O_RDONLY, 0, false, 0);
  std::string bytes;
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    const ssize_t n = ::read(file.get(), buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowFileError(errno, folder + "/" + relative);
    }
    if (n == 0) break;
    bytes.append(buffer.data(), static_cast<std::size_t>(n));
  }
  return bytes;
}

void RemoveFolder(const std::string& folder) {
  if (folder.empty()) throw RuntimeError(err::kBadFileNameOrNumber, "Bad file name or number");
  // FTW_PHYS: a link is removed as a link; FTW_DEPTH: contents first.
  const int failed = ::nftw(folder.c_str(), &RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
  if (failed != 0) ThrowFileError(failed > 0 ? failed : errno, folder);
}

bool IFileSystem::Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

std::string PosixFileSystem::TempPath() {
  const char* env = std::getenv("TMPDIR");
  std::string dir = (env != nullptr && *env != '\0') ? env : "/tmp";
  if (dir.back() != '/') dir += '/';
  return dir;
}

std::string PosixFileSystem::CreateUniqueFile(const std::string& directory,
                                              const std::string& prefix) {
  std::string path = directory;
  if (!path.empty() && path.back() != '/') path += '/';
  path += prefix + "XXXXXX.tmp";
  // mkostemps creates the file with O_EXCL and mode 0600: a name that exists
  // already, or a symbolic link planted under it, is never reused.
  FileDescriptor fd(::mkostemps(path.data(), 4, O_CLOEXEC));
  if (!fd) ThrowFileError(errno, directory);
  fd.Close(path);
  return path;
}

void PosixFileSystem::Kill(const std::string& path) {
  if (path.empty()) throw RuntimeError(err::kBadFileNameOrNumber, "Bad file name or number");
  if (::unlink(path.c_str()) != 0) ThrowFileError(errno, path);
}

void PosixFileSystem::WriteText(const std::string& path, std::string_view text) {
  if (path.empty()) throw RuntimeError(err::kBadFileNameOrNumber, "Bad file name or number");
  // O_NOFOLLOW: the name lies in a shared directory and was just deleted, so
  // someone else could have planted a link under it in the meantime.
  FileDescriptor fd(
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd) ThrowFileError(errno, path);
  // A write that fails halfway (a full disk) must not leave the half behind
  // in a shared temporary folder, filling it for everyone: the file goes
  // back to empty, under the same name.
  try {
    WriteAll(fd.get(), text, path);
  } catch (const RuntimeError&) {
    (void)::ftruncate(fd.get(), 0);
    throw;
  }
  try {
    fd.Close(path);
  } catch (const RuntimeError&) {
    const FileDescriptor again(::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW));
    throw;
  }
}

}  // namespace xmlpellor
