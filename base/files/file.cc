#include "base/files/file.h"

#include "base/metrics/sparse_histogram.h"

namespace base {

namespace {

// The Windows error codes that have a portable meaning.
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorTooManyOpenFiles = 4;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorOutOfMemory = 14;
constexpr uint32_t kErrorNotReady = 21;
constexpr uint32_t kErrorSectorNotFound = 27;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorHandleDiskFull = 39;
constexpr uint32_t kErrorDevNotExist = 55;
constexpr uint32_t kErrorFileExists = 80;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorDiskResourcesExhausted = 314;
constexpr uint32_t kErrorIoDevice = 1117;
constexpr uint32_t kErrorUserMappedFile = 1224;
constexpr uint32_t kErrorFileCorrupt = 1392;
constexpr uint32_t kErrorDiskCorrupt = 1393;

}  // namespace

// static
File::Error File::OSErrorToFileError(uint32_t error_code) {
  switch (error_code) {
    case kErrorSharingViolation:
      return FILE_ERROR_IN_USE;
    case kErrorFileExists:
      return FILE_ERROR_EXISTS;
    case kErrorFileNotFound:
    case kErrorPathNotFound:
      return FILE_ERROR_NOT_FOUND;
    case kErrorAccessDenied:
      return FILE_ERROR_ACCESS_DENIED;
    case kErrorTooManyOpenFiles:
      return FILE_ERROR_TOO_MANY_OPENED;
    case kErrorNotEnoughMemory:
    case kErrorOutOfMemory:
      return FILE_ERROR_NO_MEMORY;
    case kErrorHandleDiskFull:
    case kErrorDiskFull:
    case kErrorDiskResourcesExhausted:
      return FILE_ERROR_NO_SPACE;
    case kErrorUserMappedFile:
      return FILE_ERROR_INVALID_OPERATION;
    case kErrorNotReady:
    case kErrorSectorNotFound:
    case kErrorDevNotExist:
    case kErrorIoDevice:
    case kErrorFileCorrupt:
    case kErrorDiskCorrupt:
      return FILE_ERROR_IO;
    default:
      // Counted so that codes worth a mapping show up.
      if (HistogramBase* histogram = SparseHistogram::FactoryGet(
              "PlatformFile.UnknownErrors.Windows", 0))
        histogram->Add(static_cast<HistogramBase::Sample>(error_code));
      return FILE_ERROR_FAILED;
  }
}

}  // namespace base
