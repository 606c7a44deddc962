#include "base/strings/string_util_win.h"
#include "base/test/child_process_win.h"
#include "base/test/test_child_process.h"

namespace base {
namespace test {

FilePath GetTestChildProcessPath() {
  return FilePath(GetTestExecutableFolder() + u"test_child_process.exe");
}

}  // namespace test
}  // namespace base
