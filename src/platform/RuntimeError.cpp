#include "platform/RuntimeError.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <new>

namespace xmlpellor {

RuntimeError::RuntimeError(ErrorRecord record)
    : std::runtime_error(record.description), m_record(std::move(record)) {}

RuntimeError::RuntimeError(std::int32_t number, std::string description, std::string source)
    : RuntimeError(ErrorRecord{number, std::move(description), std::move(source), {}, 0}) {}

namespace {

std::int32_t FileErrorNumber(int errnoValue) {
  switch (errnoValue) {
    case ENOENT: return err::kFileNotFound;
    case ENOTDIR: return err::kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY: return err::kPermissionDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return err::kDiskFull;
    case EMFILE:
    case ENFILE: return err::kTooManyFiles;
    case EIO: return err::kDeviceIoError;
    case ENAMETOOLONG: return err::kBadFileNameOrNumber;
    case ENOMEM: return err::kOutOfMemory;
    default: return err::kPathFileAccessError;
  }
}

}  // namespace

void ThrowFileError(int errnoValue, const std::string& path) {
  throw RuntimeError(FileErrorNumber(errnoValue),
                     std::string(std::strerror(errnoValue)) + ": " + path);
}

ErrorRecord CurrentErrorRecord() noexcept {
  try {
    throw;
  } catch (const RuntimeError& e) {
    return e.record();
  } catch (const std::bad_alloc&) {
    return {err::kOutOfMemory, "Out of memory", kRuntimeSource, {}, 0};
  } catch (const std::length_error& e) {
    return {err::kOutOfStringSpace,
            std::string("Out of string space: ") + e.what(),
            kRuntimeSource,
            {},
            0};
  } catch (const std::out_of_range& e) {
    return {err::kSubscriptOutOfRange,
            std::string("Subscript out of range: ") + e.what(),
            kRuntimeSource,
            {},
            0};
  } catch (const std::exception& e) {
    return {err::kInternalError, std::string("Internal error: ") + e.what(), kRuntimeSource, {}, 0};
  } catch (...) {
    return {err::kInternalError, "Internal error: unknown exception", kRuntimeSource, {}, 0};
  }
}

}  // namespace xmlpellor
