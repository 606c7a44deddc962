// The child process of mutex_holder.h.

#include <windows.h>

#include "base/command_line.h"
#include "base/strings/string_util_win.h"
#include "desktop/common/autoupdate/updatechecker/test/mutex_holder.h"

namespace {

constexpr DWORD kMaxWaitMs = 60000;

int Run(const base::CommandLine& command_line) {
  using namespace autoupdate::test;
  HANDLE mutex = CreateMutexW(
      nullptr, FALSE,
      base::as_wcstr(command_line.GetSwitchValueNative(kHolderMutex)));
  HANDLE ready = OpenEventW(
      EVENT_MODIFY_STATE, FALSE,
      base::as_wcstr(command_line.GetSwitchValueNative(kHolderReadyEvent)));
  HANDLE release = OpenEventW(
      SYNCHRONIZE, FALSE,
      base::as_wcstr(command_line.GetSwitchValueNative(kHolderReleaseEvent)));
  if (!mutex || !ready || !release) return 2;
  if (WaitForSingleObject(mutex, kMaxWaitMs) == WAIT_TIMEOUT) return 3;
  SetEvent(ready);
  const bool released =
      WaitForSingleObject(release, kMaxWaitMs) == WAIT_OBJECT_0;
  if (!command_line.HasSwitch(kHolderAbandon)) ReleaseMutex(mutex);
  return released ? 0 : 3;
}

}  // namespace

int main() {
  base::CommandLine::Init();
  ExitProcess(static_cast<UINT>(Run(*base::CommandLine::ForCurrentProcess())));
}
