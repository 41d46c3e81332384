#pragma once

#include <string>

namespace xmlpellor::test {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return m_path; }
  std::string File(const std::string& name) const { return m_path + "/" + name; }
  void Write(const std::string& name, const std::string& content) const;
  std::string Read(const std::string& name) const;

 private:
  std::string m_path;
};

std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);

// Running as root bypasses permission bits, so tests that rely on an
// unwritable directory skip themselves there.
bool PermissionsAreEnforced();

}  // namespace xmlpellor::test
