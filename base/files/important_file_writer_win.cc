#include <windows.h>

#include <string>

#include "base/files/file_util.h"
#include "base/files/important_file_writer.h"
#include "base/files/open_without_links_win.h"
#include "base/win/scoped_handle.h"

namespace base {
namespace internal {

namespace {

// Writes |data| into the new file |file| from its start and flushes it.
TempFileWriteResult WriteTempFile(HANDLE file, StringPiece data,
                                  uint32_t* system_error) {
  // WriteFile on a disk file writes everything or fails; a short count is
  // a failure all the same.
  DWORD written = 0;
  if (!::WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written,
                   nullptr) ||
      written != data.size()) {
    *system_error = written != data.size() && ::GetLastError() == ERROR_SUCCESS
                        ? ERROR_HANDLE_DISK_FULL
                        : ::GetLastError();
    return TempFileWriteResult::kWriteFailed;
  }
  if (!::FlushFileBuffers(file)) {
    *system_error = ::GetLastError();
    return TempFileWriteResult::kFlushFailed;
  }
  return TempFileWriteResult::kOk;
}

}  // namespace

TempFileWriteResult WriteThroughTempFile(const FilePath& path, StringPiece data,
                                         FilePath* temp_path,
                                         uint32_t* system_error) {
  std::u16string temp_name;
  // Named after the file it becomes, so that what a killed writer leaves
  // can be told from anyone else's "<hex>.tmp".
  const HANDLE made = CreateTemporaryFileWithoutLinks(
      path.DirName().value(), &temp_name, TemporaryFilePrefixFor(path));
  if (made == INVALID_HANDLE_VALUE) {
    *system_error = ::GetLastError();
    return TempFileWriteResult::kCreateFailed;
  }
  win::ScopedHandle file(made);
  *temp_path = FilePath(temp_name);
  TempFileWriteResult result = WriteTempFile(file.Get(), data, system_error);
  if (result == TempFileWriteResult::kOk) {
    RunBeforeRenameHook(*temp_path, path);
    // Not ReplaceFileW: it moves the old file aside before the new one is in
    // place, and a process killed in between leaves no file at all. A link
    // at |path| is replaced itself, never followed.
    if (RenameOpened(file.Get(), path.value(), true)) return result;
    *system_error = ::GetLastError();
    result = TempFileWriteResult::kRenameFailed;
  }
  DeleteOpened(file.Get());
  return result;
}

}  // namespace internal
}  // namespace base
