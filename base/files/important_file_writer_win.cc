#include <windows.h>

#include "base/files/file.h"
#include "base/files/important_file_writer.h"
#include "base/files/system_path_win.h"

namespace base {
namespace internal {

TempFileWriteResult WriteTempFile(const FilePath& temp_path, StringPiece data,
                                  uint32_t* system_error) {
  File file(temp_path, File::FLAG_OPEN | File::FLAG_WRITE);
  if (!file.IsValid()) {
    *system_error = ::GetLastError();
    return TempFileWriteResult::kOpenFailed;
  }
  // WriteFile on a disk file writes everything or fails; a short count is
  // a failure all the same.
  const int size = static_cast<int>(data.size());
  const int written = file.Write(0, data.data(), size);
  if (written != size) {
    *system_error = written < 0 ? ::GetLastError() : ERROR_HANDLE_DISK_FULL;
    return TempFileWriteResult::kWriteFailed;
  }
  if (!file.Flush()) {
    *system_error = ::GetLastError();
    return TempFileWriteResult::kFlushFailed;
  }
  return TempFileWriteResult::kOk;
}

bool RenameOverTarget(const FilePath& temp_path, const FilePath& path,
                      uint32_t* system_error) {
  // Not ReplaceFileW: it moves the old file aside before the new one is in
  // place, and a process killed in between leaves no file at all.
  if (::MoveFileExW(SystemPathArg(temp_path), SystemPathArg(path),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  *system_error = ::GetLastError();
  return false;
}

}  // namespace internal
}  // namespace base
