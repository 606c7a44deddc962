#include <windows.h>

#include <limits>

#include "base/logging.h"
#include "base/strings/string_util_win.h"
#include "desktop/windows/crash_reporter/util/file/file_io.h"

namespace crash_reporter {

FileHandle InvalidFileHandle() { return INVALID_HANDLE_VALUE; }

bool IsValidFileHandle(FileHandle file) {
  return file != INVALID_HANDLE_VALUE && file != nullptr;
}

FileHandle OpenFileForRead(const base::FilePath& path) {
  HANDLE file = ::CreateFileW(base::as_wcstr(path.value()), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    PLOG(ERROR) << "CreateFile " << path.value();
  return file;
}

FileOperationResult ReadFromFile(FileHandle file, void* buffer, size_t size) {
  CHECK(size <= std::numeric_limits<DWORD>::max());
  const bool is_pipe = ::GetFileType(file) == FILE_TYPE_PIPE;
  char* const bytes = static_cast<char*>(buffer);
  size_t total = 0;
  while (total < size) {
    DWORD read = 0;
    if (!::ReadFile(file, bytes + total, static_cast<DWORD>(size - total),
                    &read, nullptr)) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_BROKEN_PIPE) break;
      if (error != ERROR_MORE_DATA) return -1;
      // A message longer than the room left: its first part arrived.
    } else if (read == 0 && !is_pipe) {
      break;
    }
    total += read;
  }
  return static_cast<FileOperationResult>(total);
}

bool CloseFileLogged(FileHandle file) {
  if (::CloseHandle(file)) return true;
  PLOG(ERROR) << "CloseHandle";
  return false;
}

void CloseFileChecked(FileHandle file) { CHECK(CloseFileLogged(file)); }

}  // namespace crash_reporter
