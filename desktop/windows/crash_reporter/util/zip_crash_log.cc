#include "desktop/windows/crash_reporter/util/zip_crash_log.h"

#include <stdio.h>
#include <zlib.h>

#include <memory>
#include <string>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "minizip/zip.h"

#if defined(_WIN32)
#include "minizip/iowin32.h"
#endif

namespace crash_reporter {

namespace {

constexpr size_t kCopyChunkSize = 1024 * 1024;

// The minizip default opens narrow (ANSI) names on Windows; the wide Win32
// functions take any path.
zipFile OpenZipForWriting(const base::FilePath& zip_path) {
#if defined(_WIN32)
  zlib_filefunc64_def functions;
  fill_win32_filefunc64W(&functions);
  return zipOpen2_64(zip_path.value().c_str(), APPEND_STATUS_CREATE, nullptr,
                     &functions);
#else
  const std::string native = zip_path.NormalizePathSeparatorsTo(u'/').AsUTF8();
  return zipOpen64(native.c_str(), APPEND_STATUS_CREATE);
#endif
}

// Copies the whole log into the open entry; false when nothing or not
// everything was copied.
bool CopyLogIntoEntry(const base::FilePath& log_path, zipFile zip) {
  FILE* log = base::OpenFile(log_path, "rb");
  if (!log) {
    LOG(ERROR) << "Cannot open the crash log " << log_path;
    return false;
  }
  auto buffer = std::make_unique<char[]>(kCopyChunkSize);
  size_t total = 0;
  bool copied = true;
  size_t read;
  while ((read = fread(buffer.get(), 1, kCopyChunkSize, log)) > 0) {
    if (zipWriteInFileInZip(zip, buffer.get(), static_cast<unsigned>(read)) !=
        ZIP_OK) {
      copied = false;
      break;
    }
    total += read;
  }
  if (ferror(log)) copied = false;
  fclose(log);
  if (total == 0) LOG(ERROR) << "The crash log is empty: " << log_path;
  return copied && total > 0;
}

}  // namespace

bool ZipCrashLog(const base::FilePath& log_path,
                 const base::FilePath& zip_path) {
  zipFile zip = OpenZipForWriting(zip_path);
  if (!zip) {
    LOG(ERROR) << "Cannot create the zip " << zip_path;
    return false;
  }
  bool zipped =
      zipOpenNewFileInZip(zip, kCrashLogEntryName, nullptr, nullptr, 0, nullptr,
                          0, nullptr, Z_DEFLATED, 9) == ZIP_OK &&
      CopyLogIntoEntry(log_path, zip);
  zipped = zipCloseFileInZip(zip) == ZIP_OK && zipped;
  zipped = zipClose(zip, nullptr) == ZIP_OK && zipped;
  if (!zipped) base::DeleteFileOrDirectory(zip_path, false);
  return zipped;
}

}  // namespace crash_reporter
