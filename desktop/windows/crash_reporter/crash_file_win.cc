#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "base/files/open_without_links_win.h"
#include "desktop/windows/crash_reporter/crash_file.h"

namespace crash_reporter {

FILE* OpenCrashFile(const base::FilePath& path, CrashFileMode mode, bool text) {
  const DWORD disposition = mode == CrashFileMode::kCreate    ? CREATE_NEW
                            : mode == CrashFileMode::kReplace ? CREATE_ALWAYS
                                                              : OPEN_EXISTING;
  // DELETE, so that a failed file is removed through this very handle.
  const HANDLE file = base::OpenWithoutLinks(
      path.value(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, disposition);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  const bool append = mode == CrashFileMode::kAppend;
  const int descriptor =
      _open_osfhandle(reinterpret_cast<intptr_t>(file),
                      (text ? _O_TEXT : _O_BINARY) | (append ? _O_APPEND : 0));
  if (descriptor < 0) {
    ::CloseHandle(file);
    return nullptr;
  }
  const char* stdio_mode = append ? (text ? "a" : "ab") : (text ? "w" : "wb");
  FILE* stream = _fdopen(descriptor, stdio_mode);
  if (!stream) _close(descriptor);
  return stream;
}

bool CloseCrashFile(FILE* stream, const base::FilePath& /*path*/, bool keep) {
  if (!keep) {
    base::DeleteOpened(
        reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))));
  }
  return fclose(stream) == 0 && keep;
}

}  // namespace crash_reporter
