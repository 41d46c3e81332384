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

}  // namespace xmlpellor::files
