#include "files/Files.h"

#include "error_handling/ProcedureTrap.h"
#include "platform/Application.h"
#include "platform/FileSystem.h"

namespace xmlpellor::files {

std::string TempFileName(ErrorHandling& errors, IFileSystem& fs) noexcept {
  return Guarded<std::string>(errors, [&](std::string& result) {
    const std::string directory = fs.TempPath();
    result = fs.CreateUniqueFile(directory, kTempFilePrefix);
  });
}

void DeleteTempFile(ErrorHandling& errors, IFileSystem& fs, const std::string& tempFile) noexcept {
  ProcedureTrap(errors).Run([&] {
    if (!tempFile.empty()) fs.Kill(tempFile);
  });
}

Variant FixPath(ErrorHandling& errors, const IApplication& app,
                const std::string& strFile) noexcept {
  return Guarded<Variant>(errors, [&](Variant& result) {
    const std::string directory = app.Path();
    if (!directory.empty() && directory.back() == '/') {
      result = app.Path() + strFile;
    } else {
      result = app.Path() + "/" + strFile;
    }
  });
}

std::string ExpandHome(std::string_view path, std::string_view home) {
  if (home.empty() || path.empty() || path[0] != '~') return std::string(path);
  if (path.size() == 1) return std::string(home);
  if (path[1] != '/') return std::string(path);
  // A home of "/" must not make "//x".
  while (home.size() > 1 && home.back() == '/') home.remove_suffix(1);
  if (home == "/") home = "";
  return std::string(home) + std::string(path.substr(1));
}

}  // namespace xmlpellor::files
