#include "desktop/windows/installer/core/folder_permission_win.h"

#include <windows.h>
// After windows.h.
#include <aclapi.h>

#include <iterator>
#include <set>
#include <vector>

#include "base/base_paths.h"
#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/files/open_without_links_win.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/common/installer_switches.h"
#include "desktop/windows/installer/core/protected_package_win.h"
#include "desktop/windows/installer/core/uninstall_batch.h"
#include "desktop/windows/installer/core/uninstall_batch_win.h"
#include "desktop/windows/installer/service/access_control.h"
#include "desktop/windows/installer/service/install_log.h"
#include "desktop/windows/installer/service/installation_info.h"
#include "desktop/windows/installer/service/name_utils.h"

namespace installer {

namespace {

class DaclFolderAccessEditor : public FolderAccessEditor {
 public:
  bool GrantFullAccess(const base::FilePath& folder, const std::u16string& user,
                       std::unique_ptr<SavedSecurity>* previous) override {
    // Elevated, on a folder the user named: never on what a link there
    // leads to. Held, so that the name stays this folder's meanwhile.
    base::win::ScopedHandle held(base::OpenWithoutLinks(
        folder.value(), FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING));
    if (!held.IsValid()) return false;
    PACL old_dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::u16string name = folder.value();
    if (GetNamedSecurityInfoW(base::as_writable_wcstr(name), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              &old_dacl, nullptr,
                              &descriptor) != ERROR_SUCCESS) {
      return false;
    }
    auto saved = std::make_unique<SavedSecurity>(name, SE_FILE_OBJECT, old_dacl,
                                                 descriptor);
    std::u16string trustee = user;
    EXPLICIT_ACCESSW access = {};
    access.grfAccessPermissions = GENERIC_ALL;
    access.grfAccessMode = GRANT_ACCESS;
    access.grfInheritance = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
    access.Trustee.ptstrName = base::as_writable_wcstr(trustee);
    PACL new_dacl = nullptr;
    if (SetEntriesInAclW(1, &access, old_dacl, &new_dacl) != ERROR_SUCCESS)
      return false;
    const DWORD result = SetNamedSecurityInfoW(
        base::as_writable_wcstr(name), SE_FILE_OBJECT,
        DACL_SECURITY_INFORMATION, nullptr, nullptr, new_dacl, nullptr);
    LocalFree(new_dacl);
    if (result != ERROR_SUCCESS) return false;
    *previous = std::move(saved);
    return true;
  }

  bool Restore(std::unique_ptr<SavedSecurity>* previous) override {
    return RestoreSavedSecurity(previous);
  }
};

base::win::ScopedHandle OpenFolderEvent(const std::u16string& base,
                                        const base::FilePath& folder,
                                        bool global, DWORD access) {
  const std::u16string name =
      MakeKernelObjectName(folder.value(), base, global);
  return base::win::ScopedHandle(
      OpenEventW(access, FALSE, base::as_wcstr(name)));
}

// The process named by switch |name|, opened to wait for it. Invalid when
// the switch is missing, and, with |ignore_invalid|, when its value is not a
// process id. Otherwise a number that does not parse, or a process that
// cannot be opened (it has ended), gives an already signalled handle, so
// that a wait on it ends at once.
base::win::ScopedHandle OpenProcessToWatch(
    const base::CommandLine& command_line, const char* name,
    bool ignore_invalid) {
  if (!command_line.HasSwitch(name)) return base::win::ScopedHandle();
  unsigned pid = 0;
  HANDLE process = nullptr;
  const bool valid = base::WideStringToUintDigitsOnly(
                         command_line.GetSwitchValueNative(name), &pid) &&
                     pid != 0;
  if (!valid && ignore_invalid) return base::win::ScopedHandle();
  if (valid) process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (!process) process = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  return base::win::ScopedHandle(process);
}

// Waits without time-out for the package or the end of the installation,
// then runs the package's own installer in the granting form: from a copy
// that only administrators may change, and only when it is signed as a
// downloaded installer must be (this process is elevated; the package lies
// in the user's temporary folder).
void WaitForPackageAndGrant(const base::CommandLine& command_line,
                            const base::FilePath& folder) {
  if (!command_line.HasSwitch(switches::kInitialPid)) return;
  base::win::ScopedHandle ready =
      OpenFolderEvent(kPackageReadyEvent, folder, true, SYNCHRONIZE);
  base::win::ScopedHandle interrupted =
      OpenFolderEvent(kInstallationInterruptedEvent, folder, true, SYNCHRONIZE);
  if (!ready.IsValid() || !interrupted.IsValid()) return;
  unsigned pid = 0;
  if (!base::WideStringToUintDigitsOnly(
          command_line.GetSwitchValueNative(switches::kInitialPid), &pid)) {
    return;
  }
  base::win::ScopedHandle initial(OpenProcess(SYNCHRONIZE, FALSE, pid));
  const HANDLE handles[] = {ready.Get(), interrupted.Get(), initial.Get()};
  if (WaitForMultipleObjects(static_cast<DWORD>(std::size(handles)), handles,
                             FALSE, INFINITE) != WAIT_OBJECT_0) {
    return;
  }
  std::unique_ptr<ProtectedPackage> package =
      ProtectedPackage::Copy(base::FilePath(
          command_line.GetSwitchValueNative(switches::kWaitForPackage)));
  if (!package || !package->Verify(nullptr)) return;
  base::CommandLine package_installer(package->installer());
  // The processes it serves travel on too, so that the granting form can
  // take its grant back when they end.
  static constexpr const char* kPassedOn[] = {
      switches::kCrashReporterPid,   switches::kSetFolderPermission,
      switches::kPermissionsForUser, switches::kPermanentPermissions,
      switches::kInitialPid,         switches::kParentPid};
  package_installer.CopySwitchesFrom(command_line, kPassedOn,
                                     std::size(kPassedOn));
  base::LaunchOptions options;
  options.wait = true;
  base::LaunchProcessFromCommandLine(package_installer, options);
}

// True when a temporary grant ended with the backend's Undo event, the end
// of the installation it was made for.
bool GrantAccess(const base::CommandLine& command_line,
                 const base::FilePath& folder,
                 const FolderPermissionOptions& options,
                 FolderAccessEditor* editor) {
  base::win::ScopedHandle granted = OpenFolderEvent(
      kGiveInstallPermissionEvent, folder, false, EVENT_ALL_ACCESS);
  base::win::ScopedHandle undo = OpenFolderEvent(
      kGiveInstallPermissionUndoEvent, folder, false, EVENT_ALL_ACCESS);
  if (!granted.IsValid() || !undo.IsValid()) return false;
  if (!base::DirectoryExists(folder) &&
      !base::FileUtil::CreateDirectory(folder))
    return false;
  std::unique_ptr<SavedSecurity> previous;
  if (!editor->GrantFullAccess(
          folder,
          command_line.GetSwitchValueNative(switches::kPermissionsForUser),
          &previous)) {
    return false;
  }
  if (command_line.HasSwitch(switches::kPermanentPermissions)) {
    SetEvent(granted.Get());
    return false;
  }
  bool undone = false;
  if (SetEvent(granted.Get())) {
    // The backend signals Undo at its end; if it, or the front end, dies
    // first, nobody will, and the grant must not outlive them.
    base::win::ScopedHandle initial =
        OpenProcessToWatch(command_line, switches::kInitialPid, false);
    base::win::ScopedHandle parent =
        OpenProcessToWatch(command_line, switches::kParentPid, true);
    std::vector<HANDLE> handles = {undo.Get()};
    if (initial.IsValid()) handles.push_back(initial.Get());
    if (parent.IsValid()) handles.push_back(parent.Get());
    if (WaitForMultipleObjects(static_cast<DWORD>(handles.size()),
                               handles.data(), FALSE,
                               INFINITE) == WAIT_OBJECT_0) {
      Sleep(static_cast<DWORD>(options.undo_delay.InMilliseconds()));
      undone = true;
    }
  }
  return editor->Restore(&previous) && undone;
}

const FolderPermissionOptions* g_options_for_testing = nullptr;

// The uninstaller's programs that its uninstallation could not remove from
// |install_folder| while they ran: its launcher and, when this process runs
// from a version's folder there, this program. Only those still there, each
// a plain file reached through no link.
std::vector<base::FilePath> LeftPrograms(const base::FilePath& install_folder) {
  std::vector<base::FilePath> candidates = {
      install_folder.Append(kLauncherFileName)};
  base::FilePath own;
  if (base::PathService::Get(base::FILE_EXE, &own) &&
      base::FilePath::CompareIgnoreCase(
          own.DirName().DirName().StripTrailingSeparators().value(),
          install_folder.StripTrailingSeparators().value()) == 0) {
    candidates.push_back(own);
  }
  std::vector<base::FilePath> left;
  for (const base::FilePath& path : candidates) {
    // Elevated, in a folder a user could change until the grant ended.
    base::win::ScopedHandle file(base::OpenWithoutLinks(
        path.value(), FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING));
    FILE_STANDARD_INFO info = {};
    if (file.IsValid() &&
        GetFileInformationByHandleEx(file.Get(), FileStandardInfo, &info,
                                     sizeof(info)) &&
        !info.Directory) {
      left.push_back(path);
    }
  }
  return left;
}

// Removes |folder| when it is empty, through a handle that refuses a link
// on its path; says so when it stays.
void RemoveEmptyFolder(const base::FilePath& folder) {
  if (!base::DeleteEmptyFolderWithoutLinks(folder.value()))
    PLOG(WARNING) << "Leaving the folder " << folder;
}

}  // namespace

std::unique_ptr<FolderAccessEditor> CreateFolderAccessEditor() {
  return std::make_unique<DaclFolderAccessEditor>();
}

bool RunSetFolderPermission(const base::CommandLine& command_line,
                            const FolderPermissionOptions& options) {
  if (!command_line.HasSwitch(switches::kPermissionsForUser)) return false;
  const base::FilePath folder =
      command_line.GetSwitchValuePath(switches::kSetFolderPermission);
  if (command_line.HasSwitch(switches::kWaitForPackage)) {
    WaitForPackageAndGrant(command_line, folder);
    return false;
  }
  std::unique_ptr<FolderAccessEditor> real_editor;
  FolderAccessEditor* editor = options.editor;
  if (!editor) {
    real_editor = CreateFolderAccessEditor();
    editor = real_editor.get();
  }
  return GrantAccess(command_line, folder, options, editor);
}

bool RunUninstallBatch(const base::CommandLine& command_line) {
  UninstallBatchPlan plan;
  plan.process_ids.push_back(GetCurrentProcessId());
  for (const char* name : {switches::kInitialPid, switches::kParentPid,
                           switches::kCrashReporterPid}) {
    unsigned pid = 0;
    if (base::WideStringToUintDigitsOnly(
            command_line.GetSwitchValueNative(name), &pid)) {
      plan.process_ids.push_back(pid);
    }
  }
  const base::FilePath install_folder =
      command_line.GetSwitchValuePath(switches::kSetFolderPermission);
  // An uninstallation that removed its record leaves only what was in use:
  // the programs it ran from, which this process knows by itself. They go
  // into the batch file's own folder first, and their emptied folders go
  // here, through handles: the version folder was made under the grant, and
  // its user may change the folder once this process ends, so the batch
  // file gets no path there.
  std::vector<base::FilePath> programs;
  std::set<base::FilePath> folders;
  if (!base::PathExists(install_folder.Append(kInstallLogFileName))) {
    programs = LeftPrograms(install_folder);
    for (const base::FilePath& program : programs)
      CollectLeftoverFolders(program, install_folder, &folders);
  }
  const base::FilePath batch =
      WriteUninstallBatch(std::move(plan), true, nullptr, programs);
  if (batch.empty()) return false;
  if (MoveIntoUninstallBatchFolder(batch, programs)) {
    for (auto it = folders.rbegin(); it != folders.rend(); ++it)
      RemoveEmptyFolder(*it);
    RemoveEmptyFolder(install_folder);
  }
  return LaunchUninstallBatch(batch);
}

const FolderPermissionOptions& GetFolderPermissionOptions() {
  static const FolderPermissionOptions defaults;
  return g_options_for_testing ? *g_options_for_testing : defaults;
}

namespace internal {

void SetFolderPermissionOptionsForTesting(
    const FolderPermissionOptions* options) {
  g_options_for_testing = options;
}

}  // namespace internal

}  // namespace installer
