// The child process of integration_child.h.

#include <objbase.h>
#include <stdio.h>
#include <windows.h>

#include <memory>
#include <optional>

#include "base/at_exit.h"
#include "base/command_line.h"
#include "base/strings/string_number_conversions.h"
#include "base/values.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/service/access_control.h"
#include "desktop/windows/installer/service/installation_info.h"
#include "desktop/windows/installer/service/task_scheduler.h"
#include "desktop/windows/installer/service/test/integration_child.h"
#include "desktop/windows/installer/service/test/scoped_registry_restore.h"
#include "desktop/windows/installer/service/test/security_test_util.h"

namespace {

using namespace installer::test;

constexpr char16_t kAutoupdatePrefix[] = u"Autoupdate ";

std::unique_ptr<installer::TaskScheduler> MakeScheduler(
    const base::CommandLine& command_line) {
  int version = 0;
  base::StringToInt(command_line.GetSwitchValueASCII(kChildTaskVersion),
                    &version);
  std::unique_ptr<installer::TaskScheduler> scheduler =
      installer::TaskScheduler::CreateForWindowsVersion(version);
  return scheduler->Init() ? std::move(scheduler) : nullptr;
}

// The autoupdate task as the installer's finalising step describes it.
installer::ScheduledTaskSpec AutoupdateSpec(
    const base::CommandLine& command_line) {
  base::CommandLine program(command_line.GetSwitchValuePath(kChildInstallFolder)
                                .Append(installer::kLauncherFileName));
  program.AppendSwitch("scheduledautoupdate");
  program.AppendArg("$(Arg0)");
  installer::ScheduledTaskSpec spec(program);
  spec.description = u"Keeps Velna up to date.";
  spec.time_limit_seconds = 3600;
  spec.name_suffix =
      kAutoupdatePrefix + command_line.GetSwitchValueNative(kChildTaskSuffix);
  spec.system_task = command_line.HasSwitch(kChildSystemTask);
  const bool scheduled = installer::BrandingConfig::ScheduleAutoupdateTask();
  spec.schedule_kind =
      scheduled ? installer::kScheduleDaily : installer::kScheduleNoTimeTrigger;
  spec.logon_trigger = scheduled;
  spec.network_only = true;
  return spec;
}

int RegisterTask(const base::CommandLine& command_line) {
  if (command_line.HasSwitch(kChildNoAutoupdateSchedule)) {
    installer::BrandingConfig::OverrideForTesting(
        "schedule_autoupdate_task",
        std::make_unique<base::FundamentalValue>(false));
  }
  // Administrators only deny in this token: a user who is none.
  base::win::ScopedHandle token;
  std::optional<installer::internal::ScopedAccessTokenForTesting> user;
  if (command_line.HasSwitch(kChildNotAdministrator)) {
    token = MakeRestrictedToken({WinBuiltinAdministratorsSid}, false);
    if (!token.IsValid()) return 4;
    user.emplace(token.Get());
  }
  std::unique_ptr<installer::TaskScheduler> scheduler =
      MakeScheduler(command_line);
  if (!scheduler) return 2;
  return scheduler->Register(AutoupdateSpec(command_line)) ? 0 : 3;
}

int UninstallTask(const base::CommandLine& command_line) {
  std::unique_ptr<installer::TaskScheduler> scheduler =
      MakeScheduler(command_line);
  if (!scheduler) return 2;
  scheduler->DeleteStaleTasks();
  scheduler->Delete(kAutoupdatePrefix +
                    command_line.GetSwitchValueNative(kChildTaskSuffix));
  return 0;
}

int ChangeGuardedKey(const base::CommandLine& command_line) {
  const std::u16string path =
      command_line.GetSwitchValueNative(kChildChangeGuardedKey);
  ScopedRegistryRestore guard({{HKEY_CURRENT_USER, path}});
  base::win::RegKey key;
  key.Create(HKEY_CURRENT_USER, path.c_str(), KEY_SET_VALUE);
  key.WriteValue(u"Changed", 1);
  key.DeleteValue(u"Kept");
  key.Close();
  TerminateProcess(GetCurrentProcess(), 9);
  return 9;
}

int Run(const base::CommandLine& command_line) {
  if (command_line.HasSwitch(kChildPrintInstallFolder)) {
    const std::string folder =
        installer::InstallationInfo::GetInstance()->install_folder().AsUTF8();
    fwrite(folder.data(), 1, folder.size(), stdout);
    fflush(stdout);
    return 0;
  }
  if (command_line.HasSwitch(kChildRegisterTask))
    return RegisterTask(command_line);
  if (command_line.HasSwitch(kChildUninstallTask))
    return UninstallTask(command_line);
  if (command_line.HasSwitch(kChildChangeGuardedKey))
    return ChangeGuardedKey(command_line);
  return 1;
}

}  // namespace

int main() {
  base::AtExitManager at_exit;
  base::CommandLine::Init();
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const int exit_code = Run(*base::CommandLine::ForCurrentProcess());
  CoUninitialize();
  return exit_code;
}
