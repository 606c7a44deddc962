#include <windows.h>

#include "base/strings/string_util_win.h"
#include "base/test/test_child_process.h"

namespace base {
namespace test {

FilePath GetTestChildProcessPath() {
  wchar_t module_path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, module_path, MAX_PATH);
  return FilePath(as_u16cstr(module_path))
      .DirName()
      .Append(u"test_child_process.exe");
}

}  // namespace test
}  // namespace base
