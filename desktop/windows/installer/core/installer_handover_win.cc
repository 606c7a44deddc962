// The Installer's hand-overs to other processes: the elevated copy of the
// installer, the elevated folder-permission utility, the wait for the
// package and the package's own backend, and the per-user tasks after an
// elevated installation. Each blocks the Installer's thread while the other
// process runs.

#include <windows.h>
// After windows.h.
#include <aclapi.h>
#include <sddl.h>

#include <iterator>
#include <optional>
#include <string>

#include "base/base_paths.h"
#include "base/command_line.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/strings/string_util_win.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/common/installer_names.h"
#include "desktop/windows/installer/common/installer_switches.h"
#include "desktop/windows/installer/core/crash_reporter_pid.h"
#include "desktop/windows/installer/core/installer.h"
#include "desktop/windows/installer/core/installer_rights_win.h"
#include "desktop/windows/installer/core/protected_folder_win.h"
#include "desktop/windows/installer/core/protected_package_win.h"
#include "desktop/windows/installer/core/status.h"
#include "desktop/windows/installer/service/installation_info.h"
#include "desktop/windows/installer/service/shell_integration.h"
#include "desktop/windows/installer/service/utils.h"

namespace installer {

namespace {

// One of the two handshake events of the folder-permission utility: local,
// auto-reset, not signalled.
base::win::ScopedHandle CreateHandshakeEvent(const base::FilePath& folder,
                                             const char16_t* base) {
  const std::u16string name = MakeKernelObjectName(folder.value(), base, false);
  return base::win::ScopedHandle(
      CreateEventW(nullptr, FALSE, FALSE, base::as_wcstr(name)));
}

bool GetOwnExecutable(base::FilePath* path) {
  if (base::PathService::Get(base::FILE_EXE, path)) return true;
  LOG(ERROR) << "Failed to obtain installer exe file path";
  return false;
}

// Deletes everything inside |folder|, leaving the folder itself.
void RemoveFolderContents(const base::FilePath& folder) {
  base::FileEnumerator entries(
      folder, false,
      base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  for (base::FilePath entry = entries.Next(); !entry.empty();
       entry = entries.Next()) {
    LOG(INFO) << "Removing what the package backend left: " << entry;
    if (!base::DeleteFileOrDirectory(entry, true))
      LOG(WARNING) << "Could not remove " << entry;
  }
}

}  // namespace

bool Installer::IsUacEnabled() { return GetInstallerRights()->IsUacEnabled(); }

bool Installer::FixEventACL(HANDLE event) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD result =
      GetSecurityInfo(event, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION,
                      nullptr, nullptr, &dacl, nullptr, &descriptor);
  if (result != ERROR_SUCCESS) {
    SetLastError(result);
    PLOG(ERROR) << "FixEventACL: failed to GetSecurityInfo";
    return false;
  }
  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                &administrators)) {
    PLOG(ERROR) << "FixEventACL: failed to AllocateAndInitializeSid";
    LocalFree(descriptor);
    return false;
  }
  EXPLICIT_ACCESSW access = {};
  access.grfAccessPermissions = GENERIC_ALL;
  access.grfAccessMode = GRANT_ACCESS;
  access.grfInheritance = NO_INHERITANCE;
  access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
  access.Trustee.ptstrName = static_cast<LPWSTR>(administrators);
  PACL new_dacl = nullptr;
  bool fixed = false;
  if (SetEntriesInAclW(1, &access, dacl, &new_dacl) != ERROR_SUCCESS) {
    LOG(ERROR) << "FixEventACL: failed to SetEntriesInAcl";
  } else if (SetSecurityInfo(event, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION,
                             nullptr, nullptr, new_dacl,
                             nullptr) != ERROR_SUCCESS) {
    LOG(ERROR) << "FixEventACL: failed to SetSecurityInfo";
  } else {
    fixed = true;
  }
  LocalFree(new_dacl);
  FreeSid(administrators);
  LocalFree(descriptor);
  return fixed;
}

ElevationResult Installer::RunElevated() {
  LOG(INFO) << "Running the installer elevated.";
  if (!IsUacEnabled()) {
    LOG(ERROR) << "Cannot elevate with UAC disabled";
    return ElevationResult::kRefused;
  }
  const std::optional<base::FilePath>& package_folder =
      settings_->process_switches().wait_for_package;
  base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
  settings_->AppendToCommandLine(&command_line, true);
  command_line.AppendSwitchASCII(switches::kParentPid,
                                 std::to_string(GetCurrentProcessId()));
  if (package_folder)
    command_line.AppendSwitchPath(switches::kWaitForPackage, *package_folder);
  // The front end reads the elevated copy's log by the name it knows.
  const std::optional<std::u16string>& log_name =
      settings_->process_switches().log_name;
  if (log_name && IsInstallerLogFileName(*log_name)) {
    command_line.AppendSwitchNative(switches::kInstallerLogName,
                                    GetElevatedBackendLogFileName(*log_name));
  }
  // The elevated copy reports its crashes to this tree's reporter instead of
  // starting one of its own, elevated, that would write in the user's
  // temporary folder.
  command_line.AppendSwitchASCII(switches::kCrashReporterPid,
                                 FormatCrashReporterPid());
  base::FilePath program;
  if (!GetOwnExecutable(&program)) return ElevationResult::kSetUpError;

  observers_.Notify(&InstallerObserver::OnStartingNewMainProcess, false);
  base::Process process = GetInstallerRights()->LaunchElevated(
      program, command_line.GetArgumentsString());
  if (!process.IsValid()) {
    PLOG(ERROR) << "Failed to run the elevated process";
    return ElevationResult::kRefused;
  }
  const DWORD wait = WaitForSingleObject(process.Handle(), INFINITE);
  const DWORD wait_error = GetLastError();
  observers_.Notify(&InstallerObserver::OnReturnedToPreviousMainProcess);
  if (wait == WAIT_FAILED) {
    SetLastError(wait_error);
    PLOG(ERROR) << "Failed wait for the elevated installer";
    return ElevationResult::kProcessFailed;
  }
  if (wait != WAIT_OBJECT_0) {
    LOG(ERROR) << "Unexpected result when waiting for the elevated installer";
    return ElevationResult::kProcessFailed;
  }
  DWORD exit_code = 1;
  if (!GetExitCodeProcess(process.Handle(), &exit_code) || exit_code != 0)
    return ElevationResult::kProcessFailed;
  // The elevated copy installed; this user's own part follows, through the
  // package's backend when there is a package to wait for. That hand-over
  // reports the run's outcome itself.
  if (package_folder)
    WaitForPackage(true);
  else
    RunPostElevationTasks();
  return ElevationResult::kSucceeded;
}

ElevationResult Installer::RequestFolderPermission(const base::FilePath& folder,
                                                   bool permanent) {
  LOG(INFO) << "Run an elevated process in order to "
            << (permanent ? "permanently" : "temporarily")
            << " give permissions on the"
            << "install folder to this process";
  if (!IsUacEnabled()) {
    LOG(ERROR) << "Cannot elevate with UAC disabled";
    return ElevationResult::kRefused;
  }
  // Domain-qualified: a bare name could resolve to a local account of the
  // same name instead of this user.
  std::u16string user;
  if (!GetCurrentUserNameEx(&user, NameSamCompatible)) {
    LOG(ERROR) << "Failed to obtain user name";
    return ElevationResult::kSetUpError;
  }
  VLOG(1) << "User name is" << user;

  const ProcessSwitches& own = settings_->process_switches();
  base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
  command_line.AppendSwitchPath(switches::kSetFolderPermission, folder);
  command_line.AppendSwitchNative(switches::kPermissionsForUser, user);
  if (permanent) command_line.AppendSwitch(switches::kPermanentPermissions);
  if (settings_->operation() == kOperationUninstalling)
    command_line.AppendSwitch(switches::kRunUninstallBat);
  command_line.AppendSwitchASCII(switches::kCrashReporterPid,
                                 FormatCrashReporterPid());
  if (own.wait_for_package)
    command_line.AppendSwitchPath(switches::kWaitForPackage,
                                  *own.wait_for_package);
  if (own.initial_pid)
    command_line.AppendSwitchNative(switches::kInitialPid, *own.initial_pid);
  // The grant must not outlive this process either: the utility takes it
  // back when the front end or this backend ends without the Undo event.
  command_line.AppendSwitchASCII(switches::kParentPid,
                                 std::to_string(GetCurrentProcessId()));
  base::FilePath program;
  if (!GetOwnExecutable(&program)) return ElevationResult::kSetUpError;

  base::win::ScopedHandle granted =
      CreateHandshakeEvent(folder, kGiveInstallPermissionEvent);
  base::win::ScopedHandle undo;
  if (granted.IsValid())
    undo = CreateHandshakeEvent(folder, kGiveInstallPermissionUndoEvent);
  if (!granted.IsValid() || !undo.IsValid()) {
    PLOG(ERROR) << "Failed to create event for communicating with "
                << "the elevated process";
    return ElevationResult::kSetUpError;
  }
  if (base::win::GetWindowsVersion() < base::win::kVersionVista &&
      (!FixEventACL(granted.Get()) || !FixEventACL(undo.Get()))) {
    return ElevationResult::kSetUpError;
  }

  base::Process process = GetInstallerRights()->LaunchElevated(
      program, command_line.GetArgumentsString());
  if (!process.IsValid()) {
    PLOG(ERROR) << "Failed to run the elevated process";
    return ElevationResult::kRefused;
  }
  // The event first: a utility that granted and has already ended (a
  // permanent grant) has still granted.
  const HANDLE handles[] = {granted.Get(), process.Handle()};
  const DWORD wait = WaitForMultipleObjects(
      static_cast<DWORD>(std::size(handles)), handles, FALSE, INFINITE);
  if (wait != WAIT_OBJECT_0) {
    PLOG(ERROR) << "Failed to run the elevated process";
    return ElevationResult::kProcessFailed;
  }
  undo_permission_event_ = std::move(undo);
  permission_process_id_ = process.Pid();
  return ElevationResult::kSucceeded;
}

void Installer::RunPostElevationTasks() {
  VLOG(1) << "Running post elevation installation tasks.";
  if (settings_->operation() == kOperationUninstalling) return;
  if (!settings_->copy_only()) RegisterForCurrentUser();
  // The elevated copy changed the machine; the user's own profile is ours.
  FinalizeSuccessfulInstallation();
}

void Installer::RegisterForCurrentUser() {
  // Windows 10 lets only the user choose the default browser: a silent run,
  // or an installation that already handles the web, leaves it alone.
  if (base::win::GetWindowsVersion() >= base::win::kVersionWin10 &&
      (settings_->silent() || status()->is_http_handler)) {
    return;
  }
  InstallationInfo installation(status()->install_folder);
  VLOG(1) << "Ensuring Velna is registered for the current user.";
  if (settings_->default_browser()) {
    LOG(INFO) << "Making Velna the default browser for the current user.";
    SavePreviousDefaultBrowser(&installation, false);
    RegisterBrowserAssociations(&installation, false);
  } else {
    LOG(INFO) << "Setting up file handlers for the current user.";
    RegisterProgIdEntries(&installation, false);
  }
}

void Installer::WaitForPackage(bool post_elevated) {
  LOG(INFO) << "Need to wait for actual package";
  post_elevation_ = post_elevated;
  waiting_for_package_ = true;
  const std::u16string name = MakeKernelObjectName(
      status()->install_folder.value(), kPackageReadyEvent, true);
  VLOG(1) << "Event name for package_ready: " << name;
  package_ready_event_.Set(
      OpenEventW(SYNCHRONIZE, FALSE, base::as_wcstr(name)));
  if (!package_ready_event_.IsValid()) {
    return Fail(kIdsInstallError, u"",
                "Failed to open a handle to the package ready event");
  }
  if (WaitForSingleObject(package_ready_event_.Get(), 0) == WAIT_OBJECT_0) {
    OnObjectSignaled(package_ready_event_.Get());
    return;
  }
  if (!package_ready_watcher_.StartWatchingOnce(package_ready_event_.Get(),
                                                this)) {
    Fail(kIdsInstallError, u"", "Failed to watch the package ready event");
    return;
  }
  // An elevated backend runs the package from a protected copy: what the
  // unpack has finished is copied while the rest is unpacked. Without a
  // copy now, the hand-over makes it whole. A package that an elevated
  // front end unpacks into its protected folder needs none.
  const base::FilePath package_folder =
      settings_->process_switches().wait_for_package.value_or(base::FilePath());
  if (GetInstallerRights()->IsUserAdministrator(false) &&
      !IsInProtectedFolder(package_folder)) {
    package_copy_ = ProtectedPackage::StartCopy(package_folder);
  }
}

void Installer::HandOverToPackageBackend() {
  // A cancelled run has let its settings go; the package is no longer its.
  if (!running_) {
    VLOG(1) << "Not handing over: the installation has ended";
    return;
  }
  LOG(INFO) << "Package is ready";
  base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
  settings_->AppendToCommandLine(&command_line, false);
  // Only a backend started with "wait-for-package" waits for the package.
  const base::FilePath package_folder =
      settings_->process_switches().wait_for_package.value_or(base::FilePath());
  command_line.SetProgram(package_folder.Append(kPackageInstallerName));
  // The front end reads the package backend's log by the name it knows.
  const std::optional<std::u16string>& log_name =
      settings_->process_switches().log_name;
  if (log_name && IsInstallerLogFileName(*log_name)) {
    command_line.AppendSwitchNative(switches::kInstallerLogName,
                                    GetPackageBackendLogFileName(*log_name));
  }
  // An elevated backend runs nothing from the user's temporary folder: the
  // package's installer starts from a copy nobody else can change (or from
  // the package itself when it lies in a protected folder), and only when
  // its programs are signed as a downloaded installer must be. The copy
  // goes when that installer has ended.
  std::unique_ptr<ProtectedPackage> package;
  if (GetInstallerRights()->IsUserAdministrator(false)) {
    package = std::move(package_copy_);
    if (package) {
      if (!package->FinishCopy()) package.reset();
    } else {
      package = ProtectedPackage::InPlace(package_folder);
      if (!package) package = ProtectedPackage::Copy(package_folder);
    }
    if (!package) {
      return Fail(kIdsInstallError, u"",
                  "Could not copy the package to a protected folder");
    }
    std::string refusal;
    if (!package->Verify(&refusal)) return Fail(kIdsInstallError, u"", refusal);
    command_line.SetProgram(package->installer());
  }
  if (post_elevation_)
    command_line.AppendSwitch(switches::kPostElevatedInstallTasks);
  command_line.AppendSwitchASCII(switches::kCrashReporterPid,
                                 FormatCrashReporterPid());
  // With a copy, the front end may remove its package while the package's
  // backend installs.
  observers_.Notify(&InstallerObserver::OnStartingNewMainProcess,
                    package && package->copied());
  // The run stays open while the package's backend works: the folder's
  // saved access list and the permission utility's Undo belong to that
  // installation and are released by the report below, after it has ended.
  LOG(INFO) << "Running installer from the package with command line: "
            << command_line.GetCommandLineString();
  const base::FilePath install_folder = status()->install_folder;
  base::LaunchOptions options;
  options.wait = true;
  base::Process process =
      base::LaunchProcessFromCommandLine(command_line, options);
  observers_.Notify(&InstallerObserver::OnReturnedToPreviousMainProcess);
  if (!process.IsValid()) {
    return Fail(kIdsInstallError, u"",
                "Failed to start installer process from the package folder.");
  }
  int exit_code = 1;
  if (process.WaitForExitWithTimeout(0, &exit_code) && exit_code == 0) {
    ReportSuccess();
    return;
  }
  // A package backend that was ended from outside, or crashed, undid
  // nothing: in a folder this backend made, all there is came from that
  // installation, and its record there lists what it registered outside.
  // The folder this backend made and the last install path it wrote go
  // with the failed installation.
  if (!install_folder_existed_) {
    RemoveRegistrationOf(install_folder);
    RemoveFolderContents(install_folder);
  }
  Fail(kIdsInstallError, u"",
       "Installer process did not complete successfully.");
}

}  // namespace installer
