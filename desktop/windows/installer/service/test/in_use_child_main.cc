// The child process of in_use_child.h.

#include <windows.h>

#include "base/command_line.h"
#include "base/strings/string_util_win.h"
#include "desktop/windows/installer/service/test/in_use_child.h"

namespace {

constexpr DWORD kMaxWaitMs = 60000;

int Run(const base::CommandLine& command_line) {
  using namespace installer::test;
  const std::u16string module = command_line.GetSwitchValueNative(kChildLoad);
  if (!LoadLibraryW(base::as_wcstr(module))) return 2;
  HANDLE ready = OpenEventW(
      EVENT_MODIFY_STATE, FALSE,
      base::as_wcstr(command_line.GetSwitchValueNative(kChildReadyEvent)));
  HANDLE release = OpenEventW(
      SYNCHRONIZE, FALSE,
      base::as_wcstr(command_line.GetSwitchValueNative(kChildWaitEvent)));
  if (!ready || !release || !SetEvent(ready)) return 4;
  return WaitForSingleObject(release, kMaxWaitMs) == WAIT_OBJECT_0 ? 0 : 3;
}

}  // namespace

int main() {
  base::CommandLine::Init();
  ExitProcess(static_cast<UINT>(Run(*base::CommandLine::ForCurrentProcess())));
}
