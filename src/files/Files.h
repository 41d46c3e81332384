#pragma once

#include <string>
#include <string_view>

#include "platform/Variant.h"

namespace xmlpellor {

class ErrorHandling;
class IApplication;
class IFileSystem;

// The window's temporary output file and the paths beside the executable.
// Each function carries its own trap: a failure is reported once and the
// function returns its empty result.
namespace files {

inline constexpr const char* kTempFilePrefix = "xml";

// Has the system create a new, empty file in its temporary directory whose
// name begins with "xml" and returns its full path; "" after a failure.
std::string TempFileName(ErrorHandling& errors, IFileSystem& fs) noexcept;

// Deletes the file named by `tempFile` unless the name is empty.
void DeleteTempFile(ErrorHandling& errors, IFileSystem& fs, const std::string& tempFile) noexcept;

// The full path of `strFile` in the executable's directory, joined by
// exactly one '/'; the empty value after a failure.
Variant FixPath(ErrorHandling& errors, const IApplication& app,
                const std::string& strFile) noexcept;

// `path` with a leading "~" or "~/" read as the home folder `home`, as a
// shell reads it; any other path, and every path while `home` is empty,
// comes back unchanged. "~user" is not expanded.
std::string ExpandHome(std::string_view path, std::string_view home);

}  // namespace files
}  // namespace xmlpellor
