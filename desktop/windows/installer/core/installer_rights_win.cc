#include "desktop/windows/installer/core/installer_rights_win.h"

#include <windows.h>
// After windows.h.
#include <shellapi.h>

#include "base/strings/string_util_win.h"
#include "base/win/registry.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/common/installer_switches.h"
#include "desktop/windows/installer/service/access_control.h"
#include "desktop/windows/installer/service/utils.h"

namespace installer {

namespace {

constexpr char16_t kSystemPoliciesKey[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr char16_t kEnableLuaValue[] = u"EnableLUA";

class RealInstallerRights : public InstallerRights {
 public:
  bool IsUserAdministrator(bool consider_linked_token) override {
    return installer::IsUserAdministrator(consider_linked_token);
  }

  bool IsElevated() override { return IsProcessElevated(); }

  bool IsUacEnabled() override {
    if (IsUserAdministrator(true)) return true;
    if (base::win::GetWindowsVersion() < base::win::kVersionVista) return true;
    base::win::RegKey key;
    DWORD enabled = 1;
    // Only a policy that says so in so many words turns elevation off.
    if (key.Open(HKEY_LOCAL_MACHINE, kSystemPoliciesKey, KEY_READ) !=
            ERROR_SUCCESS ||
        key.ReadValueDW(kEnableLuaValue, &enabled) != ERROR_SUCCESS) {
      return true;
    }
    return enabled != 0;
  }

  bool CanAccessFolder(const base::FilePath& folder) override {
    return CanCurrentUserAccess(folder.value(), SE_FILE_OBJECT,
                                GetInstallFolderAccessMask());
  }

  bool GrantFolderAccess(const base::FilePath& folder, uint32_t access,
                         uint32_t option,
                         std::unique_ptr<SavedSecurity>* saved) override {
    return GrantCurrentUserAccess(folder.value(), SE_FILE_OBJECT, access,
                                  option, saved);
  }

  base::Process LaunchElevated(const base::FilePath& program,
                               const std::u16string& parameters) override {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = L"runas";
    info.lpFile = base::as_wcstr(program.value());
    info.lpParameters = base::as_wcstr(parameters);
    info.nShow = SW_SHOW;
    if (!ShellExecuteExW(&info)) return base::Process();
    // A program the shell hands to another running process gives no
    // handle: nothing to wait for, so no elevated run either.
    if (!info.hProcess) {
      SetLastError(ERROR_INVALID_HANDLE);
      return base::Process();
    }
    return base::Process(info.hProcess);
  }
};

InstallerRights* g_rights_for_testing = nullptr;

}  // namespace

base::LinkRule LinkRuleForRun(bool all_users,
                              const base::CommandLine& command_line) {
  if (all_users || command_line.HasSwitch(switches::kParentPid) ||
      GetInstallerRights()->IsElevated()) {
    return base::LinkRule::kRefuseOnTheWay;
  }
  return base::LinkRule::kFollowOnTheWay;
}

uint32_t GetInstallFolderAccessMask() {
  return FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE;
}

InstallerRights* GetInstallerRights() {
  return g_rights_for_testing ? g_rights_for_testing
                              : internal::GetRealInstallerRights();
}

namespace internal {

InstallerRights* GetRealInstallerRights() {
  static RealInstallerRights real_rights;
  return &real_rights;
}

void SetInstallerRightsForTesting(InstallerRights* rights) {
  g_rights_for_testing = rights;
}

}  // namespace internal

}  // namespace installer
