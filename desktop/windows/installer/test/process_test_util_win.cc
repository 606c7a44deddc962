#include "desktop/windows/installer/test/process_test_util_win.h"

#include <windows.h>
// After windows.h.
#include <tlhelp32.h>

#include "base/strings/string_util_win.h"
#include "base/win/scoped_handle.h"

namespace installer {
namespace test {

base::Process FindChildProcess(uint32_t parent_pid,
                               const base::FilePath& program) {
  base::win::ScopedHandle snapshot(
      CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.IsValid()) return base::Process();
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
       more = Process32NextW(snapshot.Get(), &entry)) {
    if (entry.th32ParentProcessID != parent_pid) continue;
    HANDLE process = OpenProcess(
        SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE,
        FALSE, entry.th32ProcessID);
    if (!process) continue;
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (QueryFullProcessImageNameW(process, 0, path, &size) &&
        base::FilePath::CompareIgnoreCase(base::as_u16cstr(path),
                                          program.value()) == 0) {
      return base::Process(process);
    }
    CloseHandle(process);
  }
  return base::Process();
}

}  // namespace test
}  // namespace installer
