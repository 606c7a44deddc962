#include "desktop/windows/installer/service/test/in_use_child.h"

#include "base/command_line.h"
#include "base/process/launch.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"

namespace installer {
namespace test {

namespace {

constexpr DWORD kStartTimeoutMs = 30000;

base::FilePath BesideTestExecutable(const char16_t* name) {
  wchar_t module_path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, module_path, MAX_PATH);
  return base::FilePath(base::as_u16cstr(module_path)).DirName().Append(name);
}

}  // namespace

base::FilePath GetInUseChildPath() {
  return BesideTestExecutable(u"installer_service_test_child.exe");
}

base::FilePath GetTestModulePath() {
  return BesideTestExecutable(u"installer_service_test_module.dll");
}

InUseChild::InUseChild()
    : event_prefix_(u"Local\\VelnaInUseChild_" +
                    base::UintToString16(GetCurrentProcessId()) + u"_" +
                    base::UintToString16(GetTickCount())) {}

InUseChild::~InUseChild() {
  if (release_event_) SetEvent(release_event_);
  if (process_.IsValid()) {
    int exit_code = 0;
    if (!process_.WaitForExitWithTimeout(kStartTimeoutMs, &exit_code))
      process_.Terminate(1, true);
  }
  if (ready_event_) CloseHandle(ready_event_);
  if (release_event_) CloseHandle(release_event_);
}

bool InUseChild::Start(const base::FilePath& executable,
                       const base::FilePath& module) {
  const std::u16string ready_name = event_prefix_ + u"_ready";
  const std::u16string release_name = event_prefix_ + u"_release";
  ready_event_ = CreateEventW(nullptr, TRUE, FALSE, base::as_wcstr(ready_name));
  release_event_ =
      CreateEventW(nullptr, TRUE, FALSE, base::as_wcstr(release_name));
  if (!ready_event_ || !release_event_) return false;
  base::CommandLine command_line(executable);
  command_line.AppendSwitchNative(kChildLoad, module.value());
  command_line.AppendSwitchNative(kChildReadyEvent, ready_name);
  command_line.AppendSwitchNative(kChildWaitEvent, release_name);
  process_ = base::LaunchProcessFromCommandLine(command_line, {});
  if (!process_.IsValid()) return false;
  HANDLE waits[] = {ready_event_, process_.Handle()};
  return WaitForMultipleObjects(2, waits, FALSE, kStartTimeoutMs) ==
         WAIT_OBJECT_0;
}

}  // namespace test
}  // namespace installer
