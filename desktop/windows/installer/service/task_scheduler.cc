#include "desktop/windows/installer/service/task_scheduler.h"

#include <windows.h>
// After windows.h.
#include <aclapi.h>

#include <vector>

#include "base/files/file_util.h"
#include "base/strings/string_util_win.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/service/task_scheduler_v1.h"
#include "desktop/windows/installer/service/task_scheduler_v2.h"

namespace installer {

TaskScheduler::~TaskScheduler() = default;

// static
std::unique_ptr<TaskScheduler> TaskScheduler::Create() {
  return CreateForWindowsVersion(base::win::GetWindowsVersion());
}

// static
std::unique_ptr<TaskScheduler> TaskScheduler::CreateForWindowsVersion(
    int version) {
  if (version >= base::win::kVersionVista)
    return std::make_unique<TaskSchedulerV2>();
  return std::make_unique<TaskSchedulerV1>();
}

bool TaskProgramExists(const std::u16string& path) {
  std::u16string program = path;
  if (!program.empty() && program[0] == u'"') {
    const size_t end = program.find(u'"', 1);
    program = program.substr(1, end == std::u16string::npos ? end : end - 1);
  }
  const DWORD size =
      ExpandEnvironmentStringsW(base::as_wcstr(program), nullptr, 0);
  if (size == 0) return true;
  std::vector<wchar_t> expanded(size);
  const DWORD written =
      ExpandEnvironmentStringsW(base::as_wcstr(program), expanded.data(), size);
  if (written == 0 || written > size) return true;
  const base::FilePath file(base::as_u16cstr(expanded.data()));
  // A variable the installer does not know may be known where the task
  // runs; a relative path depends on where it runs.
  if (file.value().find(u'%') != std::u16string::npos || !file.IsAbsolute())
    return true;
  return base::PathExists(file);
}

base::Time TimeFromLocalSystemTime(const SYSTEMTIME& fields) {
  base::Time::Exploded exploded = {};
  exploded.year = fields.wYear;
  exploded.month = fields.wMonth;
  exploded.day_of_month = fields.wDay;
  exploded.hour = fields.wHour;
  exploded.minute = fields.wMinute;
  exploded.second = fields.wSecond;
  base::Time time;
  return base::Time::FromExploded(exploded, &time) ? time : base::Time();
}

void GrantAuthenticatedUsersReadExecute(const base::FilePath& file) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  std::u16string name = file.value();
  if (GetNamedSecurityInfoW(base::as_wcstr(name), SE_FILE_OBJECT,
                            DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                            nullptr, &descriptor) != ERROR_SUCCESS) {
    return;
  }
  BYTE sid[SECURITY_MAX_SID_SIZE] = {};
  DWORD sid_size = sizeof(sid);
  if (CreateWellKnownSid(WinAuthenticatedUserSid, nullptr, sid, &sid_size)) {
    EXPLICIT_ACCESSW access = {};
    access.grfAccessPermissions = GENERIC_READ | GENERIC_EXECUTE;
    access.grfAccessMode = GRANT_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = reinterpret_cast<LPWSTR>(sid);
    PACL new_dacl = nullptr;
    if (SetEntriesInAclW(1, &access, dacl, &new_dacl) == ERROR_SUCCESS) {
      SetNamedSecurityInfoW(base::as_writable_wcstr(name), SE_FILE_OBJECT,
                            DACL_SECURITY_INFORMATION, nullptr, nullptr,
                            new_dacl, nullptr);
      LocalFree(new_dacl);
    }
  }
  LocalFree(descriptor);
}

}  // namespace installer
