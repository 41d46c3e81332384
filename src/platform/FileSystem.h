#pragma once

#include <string>
#include <string_view>

namespace xmlpellor {

// Owns one POSIX file descriptor.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) noexcept : m_fd(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : m_fd(other.release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor();

  int get() const noexcept { return m_fd; }
  int release() noexcept;
  explicit operator bool() const noexcept { return m_fd >= 0; }
  // Closes now and reports a failed close (a late write error) as a
  // RuntimeError naming `path`.
  void Close(const std::string& path);

 private:
  int m_fd = -1;
};

// A write past the process's file-size limit (RLIMIT_FSIZE) raises SIGXFSZ,
// which by default ends the process on the spot, result and log unwritten.
// Ignored, the write fails with EFBIG instead and is reported like a full
// disk. Called once at start-up.
void IgnoreFileSizeLimitSignal() noexcept;

// The user's home folder: $HOME, else the one the user database names;
// "" when neither says.
std::string HomeFolder();

// Writes every byte, retrying short writes; a failure is a RuntimeError.
void WriteAll(int fd, std::string_view data, const std::string& path);

// Copies the bytes of `from` into `to`, which is created (with the usual
// permissions, not the private ones of a temporary file) or emptied first.
// Copying a file onto itself leaves it as it is.
void CopyFileBytes(const std::string& from, const std::string& to);

// Creates a new, empty folder in `directory` whose name begins with
// `prefix`, open to its owner only, and returns its full path.
std::string CreatePrivateFolder(const std::string& directory, const std::string& prefix);

// Writes `bytes` into the file `relative` below `folder` ('/'-separated
// parts, none of them "." or ".."), creating the folders on the way. When
// `privately`, they and the file are for the owner only; otherwise the file
// must not exist yet. No symbolic link on the way is followed.
void WriteFileBelow(const std::string& folder, const std::string& relative, std::string_view bytes,
                    bool privately);

// The bytes of the file `relative` below `folder`, no link followed.
std::string ReadFileBelow(const std::string& folder, const std::string& relative);

// Deletes `folder` and everything in it; links inside go, their targets stay.
void RemoveFolder(const std::string& folder);

// The runtime's file services the program relies on: the temporary
// directory, new uniquely named files in it, deletion, and the one-shot
// output of a text.
class IFileSystem {
 public:
  virtual ~IFileSystem() = default;

  // The temporary directory, ending in '/'.
  virtual std::string TempPath() = 0;
  // Creates a new, empty file in `directory` whose name begins with
  // `prefix`, readable by its owner only, and returns its full path.
  virtual std::string CreateUniqueFile(const std::string& directory, const std::string& prefix) = 0;
  // Deletes one file; a missing file or one that cannot go is an error.
  virtual void Kill(const std::string& path) = 0;
  // Opens `path` for output (created, or emptied), writes `text` in one
  // write, and closes it. A write that fails leaves the file empty.
  virtual void WriteText(const std::string& path, std::string_view text) = 0;
  // The folder a path beginning with "~/" starts in. The process's own
  // unless a stand-in says otherwise.
  virtual std::string HomePath() { return HomeFolder(); }
  // Copies a file byte for byte (see CopyFileBytes).
  virtual void CopyFile(const std::string& from, const std::string& to) {
    CopyFileBytes(from, to);
  }
  // The folders of a run that wrote several files (see the functions above).
  virtual std::string CreateFolder(const std::string& directory, const std::string& prefix) {
    return CreatePrivateFolder(directory, prefix);
  }
  virtual void WriteBelow(const std::string& folder, const std::string& relative,
                          std::string_view bytes, bool privately) {
    WriteFileBelow(folder, relative, bytes, privately);
  }
  virtual std::string ReadBelow(const std::string& folder, const std::string& relative) {
    return ReadFileBelow(folder, relative);
  }
  virtual void RemoveTree(const std::string& folder) { RemoveFolder(folder); }
  // True when something (a file, a folder, a link) has that name.
  virtual bool Exists(const std::string& path);
};

class PosixFileSystem final : public IFileSystem {
 public:
  std::string TempPath() override;
  std::string CreateUniqueFile(const std::string& directory, const std::string& prefix) override;
  void Kill(const std::string& path) override;
  void WriteText(const std::string& path, std::string_view text) override;
};

}  // namespace xmlpellor
