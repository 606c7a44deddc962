#include <accctrl.h>

#include <functional>
#include <string>
#include <utility>

#include "base/base_paths.h"
#include "base/base_paths_win.h"
#include "base/bind.h"
#include "base/command_line.h"
#include "base/feature_list.h"
#include "base/features/command_line_feature_reader.h"
#include "base/features/list_feature_reader.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/files/open_without_links_win.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/path_service.h"
#include "base/strings/string_split.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/time/time.h"
#include "base/values.h"
#include "desktop/windows/installer/common/installer_experiments.h"
#include "desktop/windows/installer/common/installer_switches.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/core/install_path_lengths.h"
#include "desktop/windows/installer/core/installer.h"
#include "desktop/windows/installer/core/installer_callbacks.h"
#include "desktop/windows/installer/core/installer_rights_win.h"
#include "desktop/windows/installer/core/installer_step_count.h"
#include "desktop/windows/installer/core/profile_deletion_guard.h"
#include "desktop/windows/installer/core/protected_folder_win.h"
#include "desktop/windows/installer/core/protected_package_win.h"
#include "desktop/windows/installer/core/status.h"
#include "desktop/windows/installer/package_fetcher/archive_item_path.h"
#include "desktop/windows/installer/service/access_control.h"
#include "desktop/windows/installer/service/folder_security_win.h"
#include "desktop/windows/installer/service/install_log.h"
#include "desktop/windows/installer/service/installation_info.h"
#include "desktop/windows/installer/service/installer_prefs_store.h"
#include "desktop/windows/installer/service/own_registry_rows_win.h"
#include "desktop/windows/installer/service/registry_entry_tables_win.h"
#include "desktop/windows/installer/service/transactions/create_folder_operation.h"
#include "desktop/windows/installer/service/transactions/delete_file_operation.h"
#include "desktop/windows/installer/service/transactions/file_operation_helpers.h"
#include "desktop/windows/installer/service/transactions/remake_empty_folder_operation.h"
#include "desktop/windows/installer/service/utils.h"
#include "desktop/windows/installer/service/xml_document_win.h"

namespace installer {

// The step lists of the three operations. Each list is unconditional: the
// conditions are inside the steps.
class DefaultStepFactory : public InstallerStepFactory {
 public:
  std::vector<base::Closure> BuildSteps(
      Installer* installer, InstallationOperation operation) override {
    auto step = [installer](void (Installer::*method)()) {
      return BindMemberFunction(method, installer);
    };
    auto copy_step = [installer](void (Installer::*method)(uint32_t)) {
      return BindMemberFunctionWithUint(method, installer, 0);
    };
    switch (operation) {
      case kOperationInstalling:
        return {copy_step(&Installer::StepCopyFiles),
                copy_step(&Installer::StepCopyRootFiles),
                step(&Installer::StepInstallLauncher),
                step(&Installer::StepSetUpRegistry),
                step(&Installer::StepInstallShortcuts),
                step(&Installer::StepWriteInstallerPrefs),
                step(&Installer::StepFinalize)};
      case kOperationUpgrading:
        return {step(&Installer::StepRemoveInstalledFiles),
                copy_step(&Installer::StepCopyFiles),
                step(&Installer::StepRemoveOldRootFiles),
                copy_step(&Installer::StepCopyRootFiles),
                step(&Installer::StepInstallLauncher),
                step(&Installer::StepCleanUpRegistry),
                step(&Installer::StepSetUpRegistry),
                step(&Installer::StepUpdateShortcuts),
                step(&Installer::StepWriteInstallerPrefs),
                step(&Installer::StepPreservePreviousStatus),
                step(&Installer::StepFinalize)};
      case kOperationUninstalling:
        return {step(&Installer::StepCleanUpRegistry),
                step(&Installer::StepRemoveShortcuts),
                step(&Installer::StepFinalizeUninstall),
                step(&Installer::StepRemoveInstalledFiles),
                step(&Installer::StepCleanUpFilesAfterUninstall)};
      case kOperationUnknown:
        break;
    }
    NOTREACHED();
    return {};
  }
};

namespace {

InstallerStepFactory* g_step_factory_for_testing = nullptr;

InstallerStepFactory* GetStepFactory() {
  return g_step_factory_for_testing
             ? g_step_factory_for_testing
             : internal::GetDefaultInstallerStepFactory();
}

base::Location NamedLocation(const char* name) {
  return base::Location(name, __FILE__, __LINE__, nullptr);
}

// The lines of |path| (see Run: "\r" and "\n" both separate, untrimmed,
// empty lines dropped). False when the file cannot be read.
bool ReadLines(const base::FilePath& path, std::vector<std::string>* lines) {
  std::string text;
  if (!base::FileUtil::ReadFileToString(path, &text)) return false;
  *lines = base::SplitString(text, "\r\n", base::SplitWhitespace::kKeep,
                             base::SplitFilter::kNonEmpty);
  return true;
}

// The first line of |lines| that is not a safe relative path, or null.
const std::string* FindUnsafeLine(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    if (!internal::IsSafeRelativeFileListLine(line)) return &line;
  }
  return nullptr;
}

bool CanWriteFolder(const base::FilePath& folder) {
  return GetInstallerRights()->CanAccessFolder(folder);
}

// The Program Files folder that holds |folder|; empty when none does.
// Program Files passes its own access list on to what is made in it.
base::FilePath ProgramFilesHolding(const base::FilePath& folder) {
  for (int key : {base::DIR_PROGRAM_FILES, base::DIR_PROGRAM_FILES_X86,
                  base::DIR_PROGRAM_FILES_NATIVE}) {
    base::FilePath program_files;
    if (base::PathService::Get(key, &program_files) &&
        IsStrictlyInside(folder, program_files)) {
      return program_files;
    }
  }
  return base::FilePath();
}

// Whether |folder|, or the nearest folder above it that exists, is what its
// path names, through no link.
bool IsReachedWithoutLinks(const base::FilePath& folder) {
  base::FilePath existing = folder.StripTrailingSeparators();
  while (!base::PathExists(existing) && existing.DirName() != existing)
    existing = existing.DirName();
  const HANDLE opened = base::OpenWithoutLinks(
      existing.value(), FILE_READ_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
  if (opened == INVALID_HANDLE_VALUE)
    return ::GetLastError() != ERROR_CANT_ACCESS_FILE;
  ::CloseHandle(opened);
  return true;
}

}  // namespace

namespace internal {

void SetInstallerStepFactoryForTesting(InstallerStepFactory* factory) {
  g_step_factory_for_testing = factory;
}

InstallerStepFactory* GetDefaultInstallerStepFactory() {
  static DefaultStepFactory default_factory;
  return &default_factory;
}

bool IsSafeRelativeFileListLine(const std::string& line) {
  // The same rule as the archive's item names: the lines name files of
  // that archive.
  return IsSafeRelativePathUtf8(line);
}

}  // namespace internal

Installer::Installer()
    : owner_runner_(base::MessageLoop::current()->task_runner()) {}

Installer::~Installer() {
  if (running_) Cancel();
  package_ready_watcher_.StopWatching();
  interrupted_watcher_.StopWatching();
}

Status* Installer::status() const {
  return settings_ ? settings_->GetStatus() : nullptr;
}

void Installer::Start(Settings* settings) {
  CHECK(!settings_);
  CHECK(!settings->IsStatusPending());
  LOG(INFO) << "Beginning installation";
  settings->set_initialized(false);
  settings_ = settings;
  succeeded_ = false;
  owner_runner_->PostTask(
      NamedLocation("Run"),
      base::Bind(&Installer::Run, weak_factory_.GetWeakPtr()));
}

void Installer::Fail(uint32_t string_id, const std::u16string& text,
                     const std::string& detail) {
  LOG(ERROR) << ReportError(string_id, text, detail);
}

void Installer::Run() {
  running_ = true;
  if (!CheckOperation() || !CheckRecordedRegistry() || !FindOwnDirectory())
    return;
  const ProcessSwitches& process = settings_->process_switches();
  if (process.post_elevated_install_tasks) {
    LOG(INFO) << "Post elevation installation tasks only";
    RunPostElevationTasks();
    ReportSuccess();
    return;
  }
  // Before any change: a new installation's files must fit the folder.
  if (settings_->operation() == kOperationInstalling &&
      !CheckPackagePathLengths()) {
    return;
  }
  if (!WatchForInterruption()) return;
  TakeParentPid();
  install_folder_existed_ = base::PathExists(status()->install_folder);

  const bool is_admin = GetInstallerRights()->IsUserAdministrator(false);
  VLOG(1) << "is_elevated_admin: " << is_admin;
  if (!PrepareInstallFolder(is_admin)) return;
  // A deletion left to the system's next start, or to the clean-up batch
  // file, goes by the path, to whatever it leads to then: an elevated run
  // leaves none where others may change a folder on the way, whatever the
  // installation's record says of it.
  open_to_others_ =
      GetInstallerRights()->IsElevated() && OthersMayChangeInstallation();
  SetDeleteAtRestartAllowed(!open_to_others_);
  // The inspection found no launcher for the shortcuts to lead to: they
  // are taken for the installation's only now.
  if (PutLauncherBack()) {
    status()->InspectShortcuts();
    VLOG(1) << "With the launcher back, desktop_shortcut_exists: "
            << status()->desktop_shortcut_exists
            << ", start_menu_shortcut_exists: "
            << status()->start_menu_shortcut_exists;
  }
  observers_.Notify(&InstallerObserver::OnStarted);
  if (process.wait_for_package) {
    VLOG(2) << "Need to wait for package";
    WaitForPackage(false);
    return;
  }

  StartInstallLog();
  if (settings_->operation() == kOperationUninstalling) {
    if (!MarkRecordInProgress() || !RemoveBrowserUnlessRunning()) return;
  } else {
    // As early as possible: the service may have to start first.
    WarmUpTaskService();
    if (!UseProtectedPackage(is_admin) || !ReadFileLists() ||
        !CreateInstallationSubfolder()) {
      return;
    }
    ChooseMoveOrCopy();
  }
  ApplyExperimentStates();
  BuildAndScheduleSteps();
}

bool Installer::CheckOperation() {
  const InstallationOperation operation = settings_->operation();
  if (operation != kOperationUpgrading && !status()->tamsel_installation &&
      settings_->autoupdate()) {
    Fail(kIdsInstallError, u"", "Settings operation invalid for autoupdate");
    return false;
  }
  if (operation == kOperationUnknown) {
    Fail(kIdsLocationRefused, u"", "Settings operation invalid");
    return false;
  }
  return true;
}

bool Installer::CheckRecordedRegistry() {
  const Status& current = *status();
  if (!current.existing_installation || current.tamsel_installation)
    return true;
  const std::string foreign =
      OwnRegistryRows::ForInstallation(current.install_folder,
                                       current.install_log.path)
          .FindForeign(current.install_log);
  if (foreign.empty()) return true;
  LOG(ERROR) << RefusedRecordText(
      InstallLogPathInFolder(current.install_folder), foreign);
  Fail(settings_->operation() == kOperationUninstalling ? kIdsUninstallError
                                                        : kIdsInstallError,
       u"", kRefusedRecordReason);
  return false;
}

bool Installer::FindOwnDirectory() {
  if (base::PathService::Get(base::DIR_EXE, &own_directory_)) return true;
  Fail(kIdsInstallError, u"", "Failed getting our own path");
  return false;
}

bool Installer::WatchForInterruption() {
  // The front end creates the event and sets it to stop this backend.
  const std::u16string event_name = MakeKernelObjectName(
      status()->install_folder.value(), kInstallationInterruptedEvent, true);
  VLOG(1) << "Event name for interrupted installation: " << event_name;
  interrupted_event_.Set(
      OpenEventW(SYNCHRONIZE, FALSE, base::as_wcstr(event_name)));
  if (!interrupted_event_.IsValid()) {
    Fail(kIdsInstallError, u"",
         "Failed to open a handle to the installation interrupted event");
    return false;
  }
  if (!interrupted_watcher_.StartWatchingOnce(interrupted_event_.Get(), this)) {
    Fail(kIdsInstallError, u"",
         "Failed to watch the installation interrupted event");
    return false;
  }
  return true;
}

void Installer::TakeParentPid() {
  const ProcessSwitches& process = settings_->process_switches();
  if (!process.parent_pid) return;
  unsigned pid = 0;
  if (!process.GetParentPid(&pid)) {
    LOG(WARNING) << "Ignoring an invalid parent pid";
    return;
  }
  permission_process_id_ = pid;
  VLOG(1) << "Second installer pid: " << permission_process_id_;
}

bool Installer::PrepareInstallFolder(bool is_admin) {
  // A copy: TakeAllUsersFolder may inspect the folder again.
  const base::FilePath install_folder = status()->install_folder;
  if (settings_->all_users() && settings_->silent() && !is_admin) {
    Fail(kIdsInstallError, u"",
         "Installation requires elevation, but cannot elevate when silent");
    return false;
  }
  // Known for certain only now that the installation was inspected.
  base::SetLinkRule(
      LinkRuleForRun(settings_->all_users(), settings_->command_line()));
  // Every file operation refuses a path that leads through a link where the
  // rule says so: one on the way to the folder is said at once, before any
  // change.
  if (!IsReachedWithoutLinks(install_folder)) {
    LOG(ERROR) << "A link on the way to " << install_folder
               << " leads elsewhere";
    Fail(kIdsLocationRefused, install_folder.value(),
         "A link on the way to the installation folder leads elsewhere");
    return false;
  }
  // Before any change: for all users, a folder is taken only when nobody
  // else can have filled it.
  if (settings_->operation() != kOperationUninstalling &&
      settings_->all_users() && is_admin && !TakeAllUsersFolder()) {
    return false;
  }
  bool has_write = true;
  if (!CreateNewFolderWhereWritable(is_admin, &has_write)) return false;
  SaveLastInstallPath();
  if (has_write && !CanWriteFolder(install_folder)) has_write = false;
  if (settings_->operation() == kOperationInstalling && !has_write &&
      settings_->single_profile() && status()->single_profile != 1) {
    Fail(kIdsInsufficientPrivileges, u"",
         "Single profile installations are only allowed to locations where "
         "the user has write access");
    return false;
  }
  if (settings_->all_users() && !is_admin) {
    VLOG(1) << "All users is set but we have no admin privs -> elevate";
    HandleElevatedResult(RunElevated());
    return false;
  }
  if (!settings_->all_users()) GrantSingleProfileFolderForGood(is_admin);
  LOG(INFO) << "Write privileges for install folder: " << has_write;
  if (!has_write && !ObtainWriteAccess(is_admin)) return false;
  if (!RunOperation(CreateInstallFolderOperation())) {
    Fail(kIdsFolderNotCreated, install_folder.value(),
         "Could not create installation folder");
    return false;
  }
  if (settings_->all_users()) GrantSingleProfileFolderForGood(is_admin);
  return true;
}

bool Installer::CreateNewFolderWhereWritable(bool is_admin, bool* has_write) {
  const Status& current = *status();
  const base::FilePath& install_folder = current.install_folder;
  // A folder that does not exist yet: the inspection knows whether its
  // nearest existing ancestor takes a new folder.
  if (current.valid_parent_folder == install_folder ||
      (settings_->all_users() && !is_admin)) {
    return true;
  }
  VLOG(2) << "Using write permissions from the status";
  *has_write = current.has_write_access;
  if (*has_write && !RunOperation(CreateInstallFolderOperation())) {
    Fail(kIdsFolderNotCreated, install_folder.value(),
         "Could not create installation folder");
    return false;
  }
  return true;
}

std::unique_ptr<Operation> Installer::CreateInstallFolderOperation() const {
  const base::FilePath& folder = status()->install_folder;
  // The system runs the launcher of an installation for every user: its
  // folder is never there with a list that lets others put files in it.
  if (settings_->operation() == kOperationUninstalling ||
      !settings_->all_users() || !ProgramFilesHolding(folder).empty()) {
    return std::make_unique<CreateFolderOperation>(folder);
  }
  return std::make_unique<CreateFolderOperation>(folder,
                                                 kProtectedFolderSecurity);
}

void Installer::SaveLastInstallPath() {
  // Not fatal: only the next installer's suggestion is lost.
  if (settings_->operation() == kOperationUninstalling ||
      settings_->copy_only() || settings_->autoupdate()) {
    return;
  }
  VLOG(1) << "Saving last installation path.";
  std::unique_ptr<Operation> last_path;
  RegistryEntry(kSetLastInstallPathRegOp, this)
      .Apply(HKEY_CURRENT_USER, &last_path);
  if (!last_path)
    LOG(ERROR) << "Could not convert kSetLastInstallPathRegOp";
  else if (!RunOperation(std::move(last_path)))
    LOG(WARNING) << "Could not write last installation path";
}

void Installer::GrantSingleProfileFolderForGood(bool is_admin) {
  if (settings_->operation() != kOperationInstalling || !is_admin ||
      !settings_->single_profile() || status()->single_profile == 1) {
    return;
  }
  // The system runs the launcher of an installation for every user: its
  // user keeps the profile's folder only, where nothing runs elevated.
  base::FilePath folder = status()->install_folder;
  if (settings_->all_users()) {
    folder = folder.Append(kSingleProfileFolderName);
    if (!base::DirectoryExists(folder) &&
        !RunOperation(std::make_unique<CreateFolderOperation>(folder))) {
      LOG(WARNING) << "Could not create the profile folder " << folder;
      return;
    }
  }
  // The previous access list is not kept: the grant stays.
  std::unique_ptr<SavedSecurity> discarded;
  if (!GetInstallerRights()->GrantFolderAccess(folder, GENERIC_ALL, kKeepGrant,
                                               &discarded)) {
    LOG(WARNING) << "Could not grant permanent access to " << folder;
  }
}

bool Installer::ObtainWriteAccess(bool is_admin) {
  const base::FilePath& install_folder = status()->install_folder;
  InstallerRights* const rights = GetInstallerRights();
  if (rights->GrantFolderAccess(install_folder, GetInstallFolderAccessMask(),
                                kKeepPreviousAccess, &saved_folder_security_)) {
    return true;
  }
  if (is_admin) {
    Fail(kIdsInsufficientPrivileges, u"",
         "Could not obtain write permissions to installation folder");
    return false;
  }
  if (rights->IsUserAdministrator(true)) {
    VLOG(1) << "Running elevated because of folder privileges";
    HandleElevatedResult(RunElevated());
    return false;
  }
  LOG(INFO) << "Need temporary write permissions from administrative user";
  return HandleFolderPermissionResult(
      RequestFolderPermission(install_folder, settings_->single_profile()));
}

bool Installer::HandleFolderPermissionResult(ElevationResult result) {
  switch (result) {
    case ElevationResult::kSucceeded:
      VLOG(2) << "Temporary write permission obtained";
      if (CanWriteFolder(status()->install_folder)) return true;
      Fail(kIdsInsufficientPrivileges, u"",
           "No write access to installation folder after attempting to get "
           "it via elevated process");
      return false;
    case ElevationResult::kRefused:
      Fail(kIdsNoAdministratorPrivileges, u"",
           "Failed to elevate the process to give us write permissions to "
           "installation folder");
      return false;
    case ElevationResult::kProcessFailed:
      Fail(kIdsInstallError, u"",
           "The process for giving us write permission to the installer "
           "folder didn't complete successfully");
      return false;
    case ElevationResult::kSetUpError:
      break;
  }
  Fail(kIdsInstallError, u"",
       "Error when setting up the process to give us write permissions to "
       "installation folder");
  return false;
}

void Installer::StartInstallLog() {
  const Status& current = *status();
  const bool upgrading = settings_->operation() == kOperationUpgrading;
  install_log_.copy_only = settings_->copy_only();
  install_log_.all_users = settings_->all_users();
  install_log_.path = current.install_folder.value();
  install_log_.created_parents = upgrading
                                     ? current.install_log.created_parents
                                     : settings_->created_parent_folders();
  install_log_.version = VersionInfo::GetProductVersion();
  // An update keeps the installation's identity.
  if (upgrading && !current.install_log.app_id.empty()) {
    install_log_.app_id = current.install_log.app_id;
  } else {
    install_log_.app_id = std::to_string(base::Time::Now().ToTimeT());
    VLOG(1) << "AppId for new installation: " << install_log_.app_id;
  }
}

void Installer::ChooseMoveOrCopy() {
  // Each file is then made once: the package folder goes when the front
  // end ends, and a rollback moves the files back for a retry.
  move_package_files_ =
      internal::IsOnSameVolume(own_directory_, status()->install_folder);
  moved_files_securities_ =
      settings_->all_users()
          ? std::make_shared<FileSecurity::FolderSecurities>()
          : nullptr;
  VLOG(1) << "Moving the package's files: " << move_package_files_;
}

bool Installer::RemoveBrowserUnlessRunning() {
  // The browser of an installation in use cannot be removed.
  const Status& current = *status();
  const std::u16string executable =
      base::UTF8ToUTF16(GetBrowserExecutableName());
  const base::FilePath path =
      current.install_folder.Append(current.install_log.subfolder)
          .Append(executable);
  if (RunOperation(std::make_unique<DeleteFileOperation>(path, true, true)))
    return true;
  // The deletion refuses a path through a link: that is no program in use.
  const HANDLE entry = base::OpenEntryWithoutLinks(
      path.value(), FILE_READ_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  if (entry == INVALID_HANDLE_VALUE &&
      ::GetLastError() == ERROR_CANT_ACCESS_FILE) {
    Fail(kIdsLocationRefused, path.value(),
         "A link on the way to " + base::UTF16ToUTF8(executable) +
             " leads elsewhere");
    return false;
  }
  if (entry != INVALID_HANDLE_VALUE) ::CloseHandle(entry);
  Fail(kIdsBrowserRunning, u"",
       "Can't uninstall when " + base::UTF16ToUTF8(executable) + " is in use");
  return false;
}

void Installer::ApplyExperimentStates() {
  if (settings_->operation() == kOperationUpgrading) ApplyStoredExperiments();
  const Status& current = *status();
  const bool previous_test_state =
      current.experiments &&
      current.experiments->IsEnabled(kInstallerExperimentTest);
  if (previous_test_state !=
      base::FeatureList::GetInstance()->IsEnabled(kInstallerExperimentTest)) {
    LOG(INFO) << "Changing the status of the test experiment.";
  }
}

void Installer::BuildAndScheduleSteps() {
  const InstallationOperation operation = settings_->operation();
  steps_ = GetStepFactory()->BuildSteps(this, operation);
  CHECK(!steps_.empty());
  observers_.Notify(&InstallerObserver::OnTotalSteps,
                    CountTotalSteps(steps_.size(), files_list_.size(),
                                    root_files_list_.size(),
                                    operation == kOperationUninstalling));
  cursor_ = 0;
  ScheduleNextStep();
}

bool Installer::UseProtectedPackage(bool elevated) {
  // A package backend started from such a copy has one already.
  if (!elevated || IsInProtectedFolder(own_directory_)) return true;
  protected_package_ = ProtectedPackage::Copy(own_directory_);
  if (!protected_package_) {
    Fail(kIdsInstallError, u"",
         "Could not copy the package to a protected folder");
    return false;
  }
  std::string refusal;
  if (!protected_package_->Verify(&refusal)) {
    Fail(kIdsInstallError, u"", refusal);
    return false;
  }
  own_directory_ = protected_package_->folder();
  return true;
}

namespace {

// What a visit of VisitFoldersBelow asks next.
enum class FolderVisit { kEnter, kSkipBelow, kStop };

// Visits every folder below the install folder |folder| (but the single
// profile's, its user's for good: nothing runs from it), parents first,
// entering those |visit| answers kEnter for. False when it answered kStop,
// or when a folder it entered (the install folder too) could not be listed,
// which may hold anything: |*unlisted| is then that folder.
bool VisitFoldersBelow(
    const base::FilePath& folder,
    const std::function<FolderVisit(const base::FilePath&)>& visit,
    base::FilePath* unlisted) {
  std::vector<base::FilePath> pending = {folder};
  while (!pending.empty()) {
    const base::FilePath parent = pending.back();
    pending.pop_back();
    base::FileEnumerator folders(parent, false,
                                 base::FileEnumerator::DIRECTORIES);
    for (base::FilePath below = folders.Next(); !below.empty();
         below = folders.Next()) {
      if (parent == folder &&
          base::FilePath::CompareIgnoreCase(below.BaseName().value(),
                                            kSingleProfileFolderName) == 0) {
        continue;
      }
      switch (visit(below)) {
        case FolderVisit::kEnter:
          pending.push_back(below);
          break;
        case FolderVisit::kSkipBelow:
          break;
        case FolderVisit::kStop:
          return false;
      }
    }
    if (folders.failed()) {
      LOG(ERROR) << "Cannot list the folders in " << parent;
      *unlisted = parent;
      return false;
    }
  }
  return true;
}

}  // namespace

bool Installer::TakeAllUsersFolder() {
  // A copy: a folder made anew is inspected again, with a new status.
  const base::FilePath folder = status()->install_folder;
  // Program Files passes its list on only to what is made in it new: what
  // is there already is judged as anywhere else, below Program Files.
  const base::FilePath program_files = ProgramFilesHolding(folder);
  // Whoever could move a folder above away could put their own in its
  // place, where the system's task and the machine's entries point.
  const base::FilePath movable = FindParentOthersMayMove(folder, program_files);
  if (!movable.empty()) {
    LOG(ERROR) << "Other users may move " << movable
               << " away: not installing for all users below it";
    Fail(kIdsLocationRefused, movable.value(),
         "Other users may move a folder above the installation folder");
    return false;
  }
  // One not made yet is made with the protected list.
  if (!base::PathExists(folder)) return true;
  bool remade = false;
  if (!TakeFolderForAllUsers(folder, &remade)) return false;
  // A folder an older installer protected in place keeps the folders its
  // users made in it before: each is judged alike, parents first. A link,
  // whose list reads as nobody's, is refused; so is a folder that cannot
  // be listed.
  auto take = [&](const base::FilePath& below) {
    bool below_remade = false;
    if (!TakeFolderForAllUsers(below, &below_remade)) return FolderVisit::kStop;
    remade |= below_remade;
    return below_remade ? FolderVisit::kSkipBelow : FolderVisit::kEnter;
  };
  base::FilePath unlisted;
  const bool taken = remade || VisitFoldersBelow(folder, take, &unlisted);
  if (!unlisted.empty()) {
    Fail(kIdsLocationRefused, unlisted.value(),
         "A folder in the installation folder cannot be listed");
  }
  if (!taken) return false;
  if (!remade) return true;
  // Nothing read there before it was taken decides this run.
  const bool upgrading = settings_->operation() == kOperationUpgrading;
  settings_->InspectFolderAgain();
  return !upgrading || settings_->operation() == kOperationUpgrading ||
         CheckPackagePathLengths();
}

bool Installer::TakeFolderForAllUsers(const base::FilePath& folder,
                                      bool* remade) {
  // Whatever its files say: anyone who could change the folder could have
  // written them, left programs beside the launcher, or kept a handle that
  // a new list would not take back. Only an empty one, which nobody holds,
  // is made anew; a link (whose list is read as nobody's) is never taken.
  if (!LetsOthersChange(GetFolderSecurity()->Read(folder))) return true;
  LOG(INFO) << "Other users may change " << folder;
  if (RunOperation(std::make_unique<RemakeEmptyFolderOperation>(
          folder, kProtectedFolderSecurity))) {
    *remade = true;
    return true;
  }
  LOG(ERROR) << "Other users may change " << folder
             << ": not installing for all users in it";
  Fail(kIdsLocationRefused, folder.value(),
       folder == status()->install_folder
           ? "Other users may change the installation folder"
           : "Other users may change a folder in the installation folder");
  return false;
}

bool Installer::OthersMayChangeInstallation() const {
  const base::FilePath& folder = status()->install_folder;
  const base::FilePath program_files = ProgramFilesHolding(folder);
  if (!FindParentOthersMayMove(folder, program_files).empty()) return true;
  // Only a folder this run made in Program Files, which holds nothing of
  // anyone else's yet, takes its list on trust.
  if (!program_files.empty() && !install_folder_existed_) return false;
  if (LetsOthersChange(GetFolderSecurity()->Read(folder))) return true;
  // Below a folder an older installer protected in place, a folder its
  // users made before (a version's, "old_status") is theirs still. A link
  // leads where nobody judged; a folder that cannot be listed may hold
  // either.
  auto judge = [](const base::FilePath& below) {
    if (!base::IsLink(below) &&
        !LetsOthersChange(GetFolderSecurity()->Read(below))) {
      return FolderVisit::kEnter;
    }
    LOG(INFO) << "Other users may change " << below;
    return FolderVisit::kStop;
  };
  base::FilePath unlisted;
  return !VisitFoldersBelow(folder, judge, &unlisted);
}

bool Installer::ReadFileLists() {
  VLOG(1) << "Reading files list";
  if (!ReadLines(own_directory_.Append(kFilesListFileName), &files_list_)) {
    Fail(kIdsInstallError, u"", "Could not read files list");
    return false;
  }
  if (files_list_.empty()) {
    Fail(kIdsInstallError, u"", "No files in files list");
    return false;
  }
  if (ReadLines(own_directory_.Append(kRootFilesListFileName),
                &root_files_list_)) {
    LOG(INFO) << "Read root files list";
  }
  // The lists come with the package: a line may only name a file inside
  // it, and the copies may only land inside the install folder.
  if (const std::string* line = FindUnsafeLine(files_list_)) {
    Fail(kIdsInstallError, u"", "Invalid line in files list: " + *line);
    return false;
  }
  if (const std::string* line = FindUnsafeLine(root_files_list_)) {
    Fail(kIdsInstallError, u"", "Invalid line in root files list: " + *line);
    return false;
  }
  return true;
}

bool Installer::CheckPackagePathLengths() {
  // A first backend runs without the package: the package's own backend
  // checks.
  std::vector<std::string> files;
  std::vector<std::string> root_files;
  if (!ReadLines(own_directory_.Append(kFilesListFileName), &files))
    return true;
  ReadLines(own_directory_.Append(kRootFilesListFileName), &root_files);
  const std::string problem = FindPackagePathLengthProblem(
      settings_->GetStatus()->install_folder.value(),
      base::UTF8ToUTF16(VersionInfo::GetProductVersion()), files, root_files);
  if (problem.empty()) return true;
  Fail(kIdsLocationRefused, u"", problem);
  return false;
}

bool Installer::CreateInstallationSubfolder() {
  const base::FilePath& install_folder = settings_->GetStatus()->install_folder;
  const std::u16string version =
      base::UTF8ToUTF16(VersionInfo::GetProductVersion());
  std::u16string candidate = version;
  for (unsigned n = 0; base::PathExists(install_folder.Append(candidate));
       ++n) {
    candidate = version + u"_" + base::UTF8ToUTF16(std::to_string(n));
  }
  VLOG(1) << "Installation subfolder" << candidate;
  install_log_.subfolder = candidate;
  // This run is recorded before the first change in the folder. A new
  // installation's record takes the status file's place at once; an
  // update's goes beside the previous installation's record (kept in
  // "old_status" first, where a later run finds it), which stays in place
  // until the new version's files are.
  const bool upgrading = settings_->operation() == kOperationUpgrading;
  if (upgrading && !PreservePreviousStatus()) {
    Fail(kIdsInstallError, u"",
         "Could not preserve the previous installation status");
    return false;
  }
  // Over a former engine's status file the record is there already.
  const bool recorded =
      install_log_in_progress_ ||
      (upgrading ? WriteWorkRecord() : WriteInstallLogInProgress());
  if (!recorded) {
    Fail(kIdsInstallError, u"", "Failed saving the installation status");
    return false;
  }
  // A first install ended while it wrote its first record left only the
  // record's temporary file, and no record by which a run could know it.
  if (!upgrading) RemoveFirstRecordsLeftovers();
  if (!RunOperation(std::make_unique<CreateFolderOperation>(
          install_folder.Append(candidate)))) {
    Fail(kIdsFolderNotCreated, candidate,
         "Creating installation subfolder failed");
    return false;
  }
  return true;
}

void Installer::ApplyStoredExperiments() {
  // Read without a store that moves an unreadable file aside: the
  // installation is still in use until this update has replaced it.
  std::unique_ptr<base::DictionaryValue> prefs = ReadJsonDictionaryFile(
      settings_->GetStatus()->install_folder.Append(kInstallerPrefsFileName));
  const base::ListValue* states = nullptr;
  if (!prefs || !prefs->GetList(kInstallerExperimentsPref, &states)) return;
  base::FeatureList* features = base::FeatureList::GetInstance();
  features->ReadOverrides(base::ListFeatureReader(*states));
  // The command line's overrides come last and win.
  features->ReadOverrides(
      base::CommandLineFeatureReader(settings_->command_line()));
}

void Installer::HandleElevatedResult(ElevationResult result) {
  switch (result) {
    case ElevationResult::kSucceeded:
      VLOG(2) << "Succeeded elevated run";
      // After a package hand-over (or while waiting for the package) the
      // package's backend decides: one outcome, never a second report.
      if (!waiting_for_package_) ReportSuccess();
      return;
    case ElevationResult::kRefused:
      return Fail(kIdsNoAdministratorPrivileges, u"",
                  "Elevated installation failed.");
    case ElevationResult::kProcessFailed:
      return Fail(kIdsInstallError, u"",
                  "Installer process did not complete successfully.");
    case ElevationResult::kSetUpError:
      break;
  }
  Fail(kIdsInstallError, u"", "Error when setting up the installer process");
}

void Installer::ScheduleNextStep() {
  CHECK_LT(cursor_, steps_.size());
  if (install_log_in_progress_ && !WriteInstallLogInProgress()) {
    return Fail(kIdsInstallError, u"", "Failed saving the installation status");
  }
  PostStepTask(NamedLocation("ScheduleNextStep"), steps_[cursor_]);
  observers_.Notify(&InstallerObserver::OnStep);
  ++cursor_;
}

void Installer::PostStepTask(const base::Location& from_here,
                             const base::Closure& task) {
  owner_runner_->PostTask(
      from_here,
      base::Bind(&Installer::RunStepTask, weak_factory_.GetWeakPtr(), task));
}

void Installer::RunStepTask(const base::Closure& step) {
  // Queued before the run was cancelled: it must not touch the settings
  // (forgotten) or the machine (already rolled back).
  if (!running_) {
    VLOG(1) << "Skipping a step of an installation that has ended";
    return;
  }
  // The watcher reports the interrupt through the thread pool, which on a
  // busy machine may come after steps already queued: an interrupt that was
  // signalled before this step began stops the run here.
  if (interrupted_event_.IsValid() &&
      WaitForSingleObject(interrupted_event_.Get(), 0) == WAIT_OBJECT_0) {
    interrupted_watcher_.StopWatching();
    OnObjectSignaled(interrupted_event_.Get());
    return;
  }
  step.Run();
}

bool Installer::RunOperation(std::unique_ptr<Operation> operation) {
  return Transaction::RunOperation(&transaction_, std::move(operation));
}

std::string Installer::ReportError(uint32_t string_id,
                                   const std::u16string& text,
                                   const std::string& detail) {
  if (!running_) {
    LOG(WARNING) << "Not reporting an error after the installation ended";
    return detail;
  }
  observers_.Notify(&InstallerObserver::OnError, string_id, text, detail);
  Cancel();
  return detail;
}

void Installer::ReportSuccess() {
  if (!running_) {
    LOG(WARNING) << "Not reporting success after the installation ended";
    return;
  }
  LOG(INFO) << "Installation succeeded";
  succeeded_ = true;
  observers_.Notify(&InstallerObserver::OnSuccess);
  // What the run removed goes now, before its record stops saying that the
  // changes it lists may be made in part only.
  Transaction::Commit(&transaction_);
  if (install_log_in_progress_) {
    XmlDocument document;
    if (!WriteInstallLog(&document, install_log_,
                         status()->install_folder.Append(kInstallLogFileName)))
      LOG(ERROR) << "Could not mark the installation status complete";
  }
  if (finish_uninstall_) FinishUninstall();
  Finish();
}

void Installer::Cancel() {
  // After Finish the outcome stands: a late interrupt must not roll back a
  // successful run (the transaction only commits when destroyed).
  if (!running_) {
    VLOG(1) << "Nothing to cancel: the installation has ended";
    return;
  }
  LOG(INFO) << "Installation cancelled";
  held_folders_.reset();
  Transaction::Rollback(&transaction_);
  Finish();
  observers_.Notify(&InstallerObserver::OnInstallerTerminated, false);
}

void Installer::Finish() {
  held_folders_.reset();
  // A cancelled run's copy of the package stops and goes.
  package_copy_.reset();
  if (saved_folder_security_ && !RestoreSavedSecurity(&saved_folder_security_))
    LOG(WARNING) << "Could not restore the install folder's access list";
  if (undo_permission_event_.IsValid()) SetEvent(undo_permission_event_.Get());
  settings_ = nullptr;
  uninstall_command_.clear();
  running_ = false;
}

void Installer::OnObjectSignaled(HANDLE object) {
  if (object == interrupted_event_.Get()) {
    LOG(INFO) << "Installation was interrupted";
    Cancel();
    return;
  }
  HandOverToPackageBackend();
}

}  // namespace installer
