// The steps of the Installer: copying the files, the launcher, the registry,
// the shortcuts, finalising, the installer preferences, the previous status
// and the clean-up after an uninstallation. Each runs as one task of the
// owner thread and ends with ScheduleNextStep(), ReportSuccess() (the last
// step of a list) or ReportError(); every change goes through the run's
// transaction so that an error or a cancellation undoes it.

#include <windows.h>
// After windows.h.
#include <limits.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/base_paths.h"
#include "base/base_paths_win.h"
#include "base/bind.h"
#include "base/command_line.h"
#include "base/feature_list.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/files/open_without_links_win.h"
#include "base/files/system_path_win.h"
#include "base/json/json_reader.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/synchronization/waitable_event.h"
#include "base/time/time.h"
#include "base/values.h"
#include "base/win/registry.h"
#include "base/win/scoped_handle.h"
#include "base/win/shortcut.h"
#include "base/win/windows_version.h"
#include "components/prefs/json_pref_store.h"
#include "components/prefs/prefs_task_pool.h"
#include "desktop/common/autoupdate/updatechecker/globalstorage_win.h"
#include "desktop/windows/crash_reporter/crash_client_win.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/common/installer_experiments.h"
#include "desktop/windows/installer/common/installer_switches.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/core/desktop_user_start_win.h"
#include "desktop/windows/installer/core/folder_permission_win.h"
#include "desktop/windows/installer/core/install_path_lengths.h"
#include "desktop/windows/installer/core/installer.h"
#include "desktop/windows/installer/core/installer_callbacks.h"
#include "desktop/windows/installer/core/installer_rights_win.h"
#include "desktop/windows/installer/core/pref_default_overrides_fetcher.h"
#include "desktop/windows/installer/core/preserve_file_operation_win.h"
#include "desktop/windows/installer/core/process_helpers_win.h"
#include "desktop/windows/installer/core/profile_deletion_guard.h"
#include "desktop/windows/installer/core/status.h"
#include "desktop/windows/installer/core/uninstall_batch.h"
#include "desktop/windows/installer/core/uninstall_batch_win.h"
#include "desktop/windows/installer/core/uninstall_commands.h"
#include "desktop/windows/installer/service/install_log.h"
#include "desktop/windows/installer/service/installation_info.h"
#include "desktop/windows/installer/service/installer_prefs_store.h"
#include "desktop/windows/installer/service/own_registry_rows_win.h"
#include "desktop/windows/installer/service/registry_entry_tables_win.h"
#include "desktop/windows/installer/service/scheduled_task_spec.h"
#include "desktop/windows/installer/service/shell_integration.h"
#include "desktop/windows/installer/service/shell_platform.h"
#include "desktop/windows/installer/service/task_scheduler.h"
#include "desktop/windows/installer/service/transactions/change_reg_value_operation.h"
#include "desktop/windows/installer/service/transactions/copy_file_operation.h"
#include "desktop/windows/installer/service/transactions/create_folder_operation.h"
#include "desktop/windows/installer/service/transactions/delete_file_operation.h"
#include "desktop/windows/installer/service/transactions/move_file_operation.h"
#include "desktop/windows/installer/service/transactions/unpin_taskbar_operation.h"
#include "desktop/windows/installer/service/utils.h"
#include "desktop/windows/installer/service/xml_document_win.h"
#include "desktop/windows/rc_l10n_handler/rc_l10n_handler.h"

namespace installer {

namespace {

// Files of the install folder beside the ones other headers name.
constexpr char16_t kOldStatusPattern[] = u"*.xml.*";
constexpr char16_t kOldExtension[] = u".old";
// In the profile, and their sources in the installation's "resources".
constexpr char16_t kPreferencesFileName[] = u"Preferences";
constexpr char16_t kResourcesFolderName[] = u"resources";
constexpr char16_t kCustomPartnerContentFileName[] =
    u"custom_partner_content.json";
constexpr char16_t kTrackingUserAgentFileName[] = u"tracking_user_agent.json";

// Keys of the profile's preference files beside kAppLocalePref.
constexpr char kStatsCollectionPref[] = "statistics.collection_enabled";
constexpr char kCustomContentUpdatedPref[] = "custom_partner_content.updated";

// The scheduled task's program switch, its name prefix and its limit.
constexpr char kScheduledAutoupdateSwitch[] = "scheduledautoupdate";
constexpr char kScheduledTaskArgument[] = "$(Arg0)";
constexpr char16_t kAutoupdateTaskPrefix[] = u"Autoupdate ";
constexpr uint32_t kTaskTimeLimitSeconds = 3600;
// A new installation starts the browser maximized.
constexpr char kStartMaximizedSwitch[] = "start-maximized";

// The system browser that an uninstallation hands the web back to.
constexpr char16_t kSystemBrowserInstallInfoKey[] =
    u"SOFTWARE\\Clients\\StartMenuInternet\\IEXPLORE.EXE\\InstallInfo";
constexpr char16_t kReinstallCommandValue[] = u"ReinstallCommand";
constexpr char16_t kStartMenuInternetKey[] =
    u"Software\\Clients\\StartMenuInternet";
constexpr char kUuidKey[] = "UUID";

// An uninstall key that is still taken after this many candidates fails the
// step instead of looking on for ever.
constexpr int kMaxUninstallKeySuffixes = 1000;

base::Location NamedLocation(const char* name) {
  return base::Location(name, __FILE__, __LINE__, nullptr);
}

// --- Seams.

internal::TaskSchedulerFactory g_task_scheduler_factory = nullptr;
TaskbarPins* g_taskbar_pins = nullptr;
internal::UninstallBatchLauncher g_batch_launcher = nullptr;
internal::ProfileDeleter g_profile_deleter = nullptr;
internal::SameVolumeCheck g_same_volume_check = nullptr;

// The serial number of the volume that holds the existing |folder|.
bool GetVolumeSerialNumber(const base::FilePath& folder, DWORD* serial) {
  base::win::ScopedHandle handle(
      CreateFileW(base::as_wcstr(folder.value()), FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!handle.IsValid() || !GetFileInformationByHandle(handle.Get(), &info))
    return false;
  *serial = info.dwVolumeSerialNumber;
  return true;
}

bool LaunchBatch(const base::FilePath& batch) {
  return g_batch_launcher ? g_batch_launcher(batch)
                          : LaunchUninstallBatch(batch);
}

bool DeleteProfileFolder(const base::FilePath& folder) {
  return g_profile_deleter ? g_profile_deleter(folder)
                           : base::DeleteFileOrDirectory(folder, true);
}

// --- Small helpers.

// |base| \ |subfolder| \ |entry| for an entry of an install log, which is a
// file its user may have changed: false for a part that would leave
// |base|.
bool InstallLogEntryPath(const base::FilePath& base,
                         const std::u16string& subfolder,
                         const std::u16string& entry, base::FilePath* out) {
  const std::string entry_text = base::UTF16ToUTF8(entry);
  if (!internal::IsSafeRelativeFileListLine(entry_text) ||
      (!subfolder.empty() &&
       !internal::IsSafeRelativeFileListLine(base::UTF16ToUTF8(subfolder)))) {
    LOG(WARNING) << "Ignoring an install log entry outside the install "
                    "folder: "
                 << entry_text;
    return false;
  }
  *out = (subfolder.empty() ? base : base.Append(subfolder)).Append(entry);
  return true;
}

// For each of |paths|, in order, whether it is the last of them in its
// folder (a path listed again counts where it is first listed, as only
// that listing deletes it). Their commits run in their order, so only the
// last one's finds the folder emptied of them: only it need try to remove
// the folders above it, and the others look up no folder.
std::vector<bool> LastInTheirFolders(const std::vector<base::FilePath>& paths) {
  struct IgnoringCase {
    bool operator()(const base::FilePath& a, const base::FilePath& b) const {
      return base::FilePath::CompareIgnoreCase(a.value(), b.value()) < 0;
    }
  };
  std::set<base::FilePath, IgnoringCase> listed;
  std::map<base::FilePath, size_t, IgnoringCase> last;
  for (size_t i = 0; i < paths.size(); ++i) {
    if (listed.insert(paths[i]).second) last[paths[i].DirName()] = i;
  }
  std::vector<bool> result(paths.size(), false);
  for (const auto& [folder, index] : last) result[index] = true;
  return result;
}

std::unique_ptr<Operation> DeleteOperation(
    const base::FilePath& path, bool check_in_use, bool remove_empty_parents,
    std::weak_ptr<HeldFolders> held_folders = {}) {
  return std::make_unique<DeleteFileOperation>(
      path, check_in_use, remove_empty_parents, std::move(held_folders));
}

// Writes what |store| holds now and waits until the write is on disk, so
// that the next reader of the file (a later step, a rollback) finds it.
void WritePrefsNow(prefs::JsonPrefStore* store, const base::FilePath& path) {
  store->CommitPendingWrite();
  base::ScopedRefPtr<base::SequencedTaskRunner> runner =
      prefs::JsonPrefStore::GetTaskRunnerForFile(
          path, prefs::PrefsTaskPool::GetInstance()->pool());
  base::WaitableEvent done(base::WaitableEvent::ResetPolicy::kManual,
                           base::WaitableEvent::InitialState::kNotSignaled);
  if (runner->PostTask(CURRENT_LOCATION,
                       base::Bind(&base::WaitableEvent::Signal, &done))) {
    done.Wait();
  }
}

// The shell learns that the browser registration and the associations
// changed.
void NotifyAssociationsChanged() {
  SendNotifyMessageW(
      HWND_BROADCAST, WM_SETTINGCHANGE, 0,
      reinterpret_cast<LPARAM>(base::as_wcstr(kStartMenuInternetKey)));
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

// How the registry step's log lines name a row's value: "value <name
// template>", or "default value".
std::string RowValueText(const RegistryEntryTemplate& row) {
  return row.value_name ? "value " + base::UTF16ToUTF8(row.value_name)
                        : std::string("default value");
}

// Deletes every file of a list, each as a sub-operation: all or nothing
// unless |failed| is given, which then receives each file that stays.
// Kept in the run's transaction, so a later rollback brings every file
// back. The files below |root| are reached through its held folders, let
// go before anything may remove a folder.
class DeleteFilesOperation : public Operation {
 public:
  DeleteFilesOperation(std::vector<base::FilePath> paths,
                       std::vector<base::FilePath>* failed,
                       const base::FilePath& root)
      : paths_(std::move(paths)), failed_(failed), root_(root) {}

  bool Execute(Transaction* sub) override {
    auto held = std::make_shared<HeldFolders>();
    held->Add(root_);
    const std::vector<bool> last = LastInTheirFolders(paths_);
    for (size_t i = 0; i < paths_.size(); ++i) {
      const base::FilePath& path = paths_[i];
      if (Transaction::RunOperation(
              sub, DeleteOperation(path, true, last[i], held))) {
        continue;
      }
      if (!failed_) return false;
      // Left to a batch file that goes by the path: never one that leads
      // elsewhere.
      if (base::IsLink(path)) {
        LOG(WARNING) << "Leaving " << path
                     << ": a link on its path leads elsewhere";
        continue;
      }
      failed_->push_back(path);
    }
    return true;
  }
  // The sub-operations undo the deletions.
  void Rollback() override {}

 private:
  const std::vector<base::FilePath> paths_;
  std::vector<base::FilePath>* const failed_;
  const base::FilePath root_;
};

// Removes, when the transaction commits, those of its folders that are
// empty by then, the deepest first: what a run that was ended part-way
// made in the folders it copied into but never filled. Nothing to undo.
class RemoveEmptyFoldersOperation : public Operation {
 public:
  explicit RemoveEmptyFoldersOperation(std::set<base::FilePath> folders)
      : folders_(std::move(folders)) {}
  ~RemoveEmptyFoldersOperation() override {
    // A parent sorts before its subfolders.
    for (auto it = folders_.rbegin(); it != folders_.rend(); ++it)
      base::DeleteEmptyFolderWithoutLinks(it->value());
  }

  bool Execute(Transaction* sub) override { return true; }
  void Rollback() override {}

 private:
  const std::set<base::FilePath> folders_;
};

// The folders between each of |paths| and |install_folder|.
std::set<base::FilePath> FoldersBelow(const std::vector<base::FilePath>& paths,
                                      const base::FilePath& install_folder) {
  std::set<base::FilePath> folders;
  for (const base::FilePath& path : paths)
    CollectLeftoverFolders(path, install_folder, &folders);
  return folders;
}

// |paths| followed by the aside copies of each that a run ended before its
// commit left (see DeleteFileOperation::FindAsideCopies).
std::vector<base::FilePath> WithAsideCopies(
    const std::vector<base::FilePath>& paths) {
  std::vector<base::FilePath> all = paths;
  for (const base::FilePath& path : paths) {
    for (base::FilePath& copy : DeleteFileOperation::FindAsideCopies(path))
      all.push_back(std::move(copy));
  }
  return all;
}

// The product's shortcuts in |folder| that lead into |install_folder|,
// other than |keep|: the plain or versioned name (also an aside copy of
// one) whose target lies inside the install folder. Strays of a run that
// ended before it recorded them.
std::vector<base::FilePath> FindStrayShortcuts(
    const base::FilePath& folder, const base::FilePath& install_folder,
    const std::vector<std::u16string>& keep) {
  std::vector<base::FilePath> strays;
  const std::u16string prefix =
      base::UTF8ToUTF16(VersionInfo::GetInstallFolderName());
  base::FileEnumerator entries(folder, false, base::FileEnumerator::FILES,
                               prefix + u"*.lnk*");
  for (base::FilePath entry = entries.Next(); !entry.empty();
       entry = entries.Next()) {
    const std::u16string name = entry.BaseName().value();
    std::u16string original = name;
    DeleteFileOperation::IsAsideCopyName(name, &original);
    if (!base::EndsWith16(original, u".lnk",
                          base::CompareCase::INSENSITIVE_ASCII)) {
      continue;
    }
    bool kept = false;
    for (const std::u16string& path : keep) {
      kept |= base::FilePath::CompareIgnoreCase(path, entry.value()) == 0;
    }
    base::FilePath target;
    if (!kept && base::win::ResolveShortcut(entry, &target) &&
        IsStrictlyInside(target, install_folder)) {
      strays.push_back(entry);
    }
  }
  return strays;
}

// Whether |name| is that of a record kept in "old_status":
// "installation_status.xml.<number>".
bool IsKeptRecordName(const std::u16string& name) {
  const std::u16string prefix = std::u16string(kInstallLogFileName) + u".";
  return name.size() > prefix.size() &&
         base::StartsWith16(name, prefix,
                            base::CompareCase::INSENSITIVE_ASCII) &&
         std::all_of(name.begin() + prefix.size(), name.end(),
                     [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

// Whether |name| is that of a file the installer writes or copies into the
// install folder or "old_status": the status files, the preferences, the
// launcher and the other files it puts beside it, and |root_files|.
bool IsOwnFileName(const std::u16string& name,
                   const std::vector<std::u16string>& root_files) {
  const std::u16string fixed[] = {
      kInstallLogFileName,
      kInstallerPrefsFileName,
      kLauncherFileName,
      kServerTrackingDataFileName,
      base::ASCIIToUTF16(kPrefDefaultOverridesFileName),
      base::UTF8ToUTF16(GetBrowserExecutableName())};
  auto same = [&name](const std::u16string& other) {
    return base::FilePath::CompareIgnoreCase(name, other) == 0;
  };
  return IsKeptRecordName(name) ||
         std::any_of(std::begin(fixed), std::end(fixed), same) ||
         std::any_of(root_files.begin(), root_files.end(), same);
}

// The files of |folder| (not below it) that the installer's writers and
// copies name while they write, and leave when their process is ended
// part-way: "<file>.<hex>.tmp" of a file it puts there (IsOwnFileName), and
// the aside copy of one that a run ended before its commit left while it
// removed it. A bare "<hex>.tmp" may be anyone's: it stays.
std::vector<base::FilePath> FindWriterTemporaryFiles(
    const base::FilePath& folder,
    const std::vector<std::u16string>& root_files) {
  std::vector<base::FilePath> files;
  base::FileEnumerator entries(folder, false, base::FileEnumerator::FILES,
                               u"*.tmp*");
  for (base::FilePath entry = entries.Next(); !entry.empty();
       entry = entries.Next()) {
    const std::u16string name = entry.BaseName().value();
    std::u16string temporary;
    if (!DeleteFileOperation::IsAsideCopyName(name, &temporary))
      temporary = name;
    std::u16string target;
    if (base::IsTemporaryFileNameOf(temporary, &target) &&
        IsOwnFileName(target, root_files)) {
      files.push_back(entry);
    }
  }
  return files;
}

// How many names the log gives of what stays.
constexpr size_t kMaxStayingNamesLogged = 20;

// Says which entries keep |install_folder| from going once the clean-up
// batch file has removed |leftovers|: any file other than those, and any
// empty folder none of them lies in.
void LogWhatStays(const base::FilePath& install_folder,
                  const std::vector<base::FilePath>& leftovers) {
  std::vector<std::string> staying;
  base::FileEnumerator entries(
      install_folder, true,
      base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  for (base::FilePath entry = entries.Next(); !entry.empty();
       entry = entries.Next()) {
    const bool folder =
        (entries.GetInfo().dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    bool expected = false;
    for (const base::FilePath& leftover : leftovers) {
      expected |= folder ? IsStrictlyInside(leftover, entry)
                         : base::FilePath::CompareIgnoreCase(
                               leftover.value(), entry.value()) == 0;
    }
    if (expected ||
        (folder && !base::FileEnumerator(entry, false,
                                         base::FileEnumerator::FILES |
                                             base::FileEnumerator::DIRECTORIES)
                        .Next()
                        .empty())) {
      continue;
    }
    base::FilePath relative;
    install_folder.AppendRelativePath(entry, &relative);
    staying.push_back(relative.AsUTF8());
  }
  if (staying.empty()) return;
  std::string names;
  for (size_t i = 0; i < staying.size() && i < kMaxStayingNamesLogged; ++i)
    names += (i ? ", " : "") + staying[i];
  if (staying.size() > kMaxStayingNamesLogged) {
    names += " and " + std::to_string(staying.size() - kMaxStayingNamesLogged) +
             " more";
  }
  LOG(WARNING) << "The install folder " << install_folder
               << " stays: the uninstallation leaves " << staying.size()
               << " entries in it that it did not make or could not remove: "
               << names;
}

// The folders a profile deletion must never reach: the known shell
// folders and the install folder.
std::vector<base::FilePath> ProtectedFolders(
    const base::FilePath& install_folder) {
  std::vector<base::FilePath> folders = {install_folder};
  const int keys[] = {base::DIR_HOME,
                      base::DIR_USER_DESKTOP,
                      base::DIR_TEMP,
                      base::DIR_WINDOWS,
                      base::DIR_SYSTEM,
                      base::DIR_PROGRAM_FILES,
                      base::DIR_PROGRAM_FILES_X86,
                      base::DIR_PROGRAM_FILES_NATIVE,
                      base::DIR_COMMON_START_MENU,
                      base::DIR_START_MENU,
                      base::DIR_ROAMING_APP_DATA,
                      base::DIR_LOCAL_APP_DATA,
                      base::DIR_COMMON_APP_DATA,
                      base::DIR_COMMON_DESKTOP};
  for (int key : keys) {
    base::FilePath folder;
    if (base::PathService::Get(key, &folder)) folders.push_back(folder);
  }
  base::FilePath documents;
  if (GetKnownFolderPath(FOLDERID_Documents, CSIDL_PERSONAL, &documents,
                         false)) {
    folders.push_back(documents);
  }
  return folders;
}

// What an uninstallation decides about the profile before it removes the
// installer preferences (which the decision reads).
struct ProfileDeletionPlan {
  base::FilePath folder;
  base::FilePath local_folder;
};

bool HoldsProfileFiles(const base::FilePath& folder) {
  return base::PathExists(folder.Append(kLocalStateFileName)) ||
         base::PathExists(folder.Append(kPreferencesFileName));
}

// |folder| as the system resolves it when it exists (long names, and the
// target of a link on the way), so that the checks see what would go.
base::FilePath ResolveExistingFolder(const base::FilePath& folder) {
  base::win::ScopedHandle handle(
      CreateFileW(base::as_wcstr(folder.value()), FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle.IsValid()) return folder;
  const std::u16string resolved = base::GetFinalPathOfHandle(handle.Get());
  return resolved.empty() ? folder : base::FilePath(resolved);
}

// The user-data folder of the installation when it may be deleted, with
// its counterpart under the local application data when that may be
// deleted too. A refusal is logged with its reason.
ProfileDeletionPlan PlanProfileDeletion(const base::FilePath& install_folder) {
  ProfileDeletionPlan plan;
  InstallationInfo info(install_folder);
  base::FilePath folder;
  // The user's own folder, never the one holding every user's.
  if (!info.GetUserDataPath(&folder, false)) return plan;
  ProfileDeletionFacts facts;
  facts.has_installer_prefs =
      base::PathExists(install_folder.Append(kInstallerPrefsFileName));
  facts.holds_profile_files = HoldsProfileFiles(folder);
  facts.protected_folders = ProtectedFolders(install_folder);
  std::string refusal = CheckProfileDeletion(folder, facts);
  const base::FilePath resolved = ResolveExistingFolder(folder);
  if (refusal.empty() && resolved != folder)
    refusal = CheckProfileDeletion(resolved, facts);
  if (!refusal.empty()) {
    LOG(WARNING) << "Not deleting the user profile " << folder
                 << (resolved != folder ? " (" + resolved.AsUTF8() + ")"
                                        : std::string())
                 << ": " << refusal;
    return plan;
  }
  plan.folder = folder;
  base::FilePath local;
  base::FilePath local_app_data;
  RebaseRoamingToLocalAppData(info, folder, &local);
  if (local == folder || !base::DirectoryExists(local)) return plan;
  if (!base::PathService::Get(base::DIR_LOCAL_APP_DATA, &local_app_data) ||
      !IsStrictlyInside(local, local_app_data)) {
    LOG(WARNING) << "Not deleting " << local
                 << ": it is not inside the local application data folder";
    return plan;
  }
  for (const base::FilePath& kept : facts.protected_folders) {
    if (IsSameOrAncestor(local, kept)) {
      LOG(WARNING) << "Not deleting " << local << ": it is or holds " << kept;
      return plan;
    }
  }
  plan.local_folder = local;
  return plan;
}

// The folders above |install_folder| that its installation created (the
// |count| nearest ones), nearest first. Never a drive's root nor a known
// folder of the system or the user (those are not the installation's,
// whatever its log says).
std::vector<base::FilePath> CreatedParents(const base::FilePath& install_folder,
                                           int count) {
  std::vector<base::FilePath> parents;
  const std::vector<base::FilePath> kept = ProtectedFolders(install_folder);
  base::FilePath folder = install_folder.DirName();
  for (int i = 0; i < count && folder.DirName() != folder;
       ++i, folder = folder.DirName()) {
    for (const base::FilePath& known : kept) {
      if (base::FilePath::CompareIgnoreCase(folder.value(), known.value()) ==
          0) {
        return parents;
      }
    }
    parents.push_back(folder);
  }
  return parents;
}

// When an uninstallation in a folder others may change takes |file| into
// its batch file's folder: other files first (0), then the launcher of
// |install_folder| (1), then a version's installer (2; the one that runs
// it among them), so that until each goes the road through it is there.
int TakingOrder(const base::FilePath& file,
                const base::FilePath& install_folder) {
  auto named = [&file](const char16_t* name) {
    return base::FilePath::CompareIgnoreCase(file.BaseName().value(), name) ==
           0;
  };
  if (file.DirName() == install_folder && named(kLauncherFileName)) return 1;
  if (file.DirName().DirName() == install_folder &&
      named(kPackageInstallerName)) {
    return 2;
  }
  return 0;
}

// Removes each of |folders| in order when it is empty, through a handle that
// refuses a link on its path; one that stays (it holds something, or is or
// lies behind a link) is said in the log.
void RemoveEmptyFoldersWithoutLinks(
    const std::vector<base::FilePath>& folders) {
  for (const base::FilePath& folder : folders) {
    if (!base::DeleteEmptyFolderWithoutLinks(folder.value()))
      PLOG(WARNING) << "Leaving the folder " << folder;
  }
}

}  // namespace

namespace internal {

void SetSameVolumeCheckForTesting(SameVolumeCheck check) {
  g_same_volume_check = check;
}

bool IsOnSameVolume(const base::FilePath& a, const base::FilePath& b) {
  if (g_same_volume_check) return g_same_volume_check(a, b);
  DWORD serial_a = 0;
  DWORD serial_b = 0;
  return GetVolumeSerialNumber(a, &serial_a) &&
         GetVolumeSerialNumber(b, &serial_b) && serial_a == serial_b;
}

void SetTaskSchedulerFactoryForTesting(TaskSchedulerFactory factory) {
  g_task_scheduler_factory = factory;
}

std::unique_ptr<TaskScheduler> CreateTaskScheduler() {
  return g_task_scheduler_factory ? g_task_scheduler_factory()
                                  : TaskScheduler::Create();
}

void SetTaskbarPinsForTesting(TaskbarPins* pins) { g_taskbar_pins = pins; }

TaskbarPins* GetTaskbarPins() {
  static TaskbarPins real_pins;
  return g_taskbar_pins ? g_taskbar_pins : &real_pins;
}

void SetUninstallBatchLauncherForTesting(UninstallBatchLauncher launcher) {
  g_batch_launcher = launcher;
}

void SetProfileDeleterForTesting(ProfileDeleter deleter) {
  g_profile_deleter = deleter;
}

}  // namespace internal

// --- Files.

void Installer::StepCopyFiles(uint32_t index) {
  StepCopyFile(
      index, files_list_,
      BindMemberFunctionWithUint(&Installer::StepCopyFiles, this, index + 1),
      &install_log_.files, false);
}

void Installer::StepCopyRootFiles(uint32_t index) {
  StepCopyFile(index, root_files_list_,
               BindMemberFunctionWithUint(&Installer::StepCopyRootFiles, this,
                                          index + 1),
               &install_log_.root_files, true);
}

void Installer::StepCopyFile(uint32_t index,
                             const std::vector<std::string>& list,
                             const base::Closure& continuation,
                             std::vector<std::u16string>* recorded, bool root) {
  const char* const kind = root ? "root " : "";
  if (root && index == 0 && list.empty()) {
    VLOG(2) << "Skipping copying of root files since list is empty.";
    ScheduleNextStep();
    return;
  }
  if (index >= list.size()) {
    return Fail(kIdsInstallError, u"",
                "Invalid index " + std::to_string(index) +
                    " passed to StepCopyFile (max: " +
                    std::to_string(list.size()) + ")");
  }
  const std::u16string relative = base::UTF8ToUTF16(list[index]);
  VLOG(1) << "Copying " << kind << "file " << relative;
  const base::FilePath source = own_directory_.Append(relative);
  base::FilePath destination = status()->install_folder;
  if (!root) destination = destination.Append(install_log_.subfolder);
  destination = destination.Append(relative);
  auto hold_folders = [this] {
    if (held_folders_) return;
    held_folders_ = std::make_shared<HeldFolders>();
    held_folders_->Add(own_directory_);
    held_folders_->Add(status()->install_folder);
  };
  hold_folders();
  const auto moved = moved_files_.find(source.value());
  bool done = false;
  if (moved != moved_files_.end()) {
    // A line listed again: the file is already in place, or is copied from
    // where it went.
    done = moved->second == destination ||
           RunOperation(std::make_unique<CopyFileOperation>(
               moved->second, destination, held_folders_));
  } else if (move_package_files_) {
    done = RunOperation(std::make_unique<MoveFileOperation>(
        source, destination,
        moved_files_securities_ ? MoveFileOperation::kTakeFolderSecurity
                                : MoveFileOperation::kKeepSecurity,
        moved_files_securities_, held_folders_));
    if (done) {
      moved_files_[source.value()] = destination;
    } else {
      // Whatever stopped the move, a copy may still do: this file and the
      // following ones are copied.
      LOG(WARNING) << "Copying the package's files from " << relative;
      move_package_files_ = false;
    }
  }
  if (!done) {
    // Held anew after whatever stopped the move.
    held_folders_.reset();
    hold_folders();
  }
  if (!done && !RunOperation(std::make_unique<CopyFileOperation>(
                   source, destination, held_folders_))) {
    return Fail(kIdsCopyFailed, destination.value(),
                "Failed copying " + list[index]);
  }
  recorded->push_back(relative);
  if (index + 1 == list.size()) {
    VLOG(1) << "Done copying " << kind << "files";
    held_folders_.reset();
    if (!root && !work_record_.empty() && !EnterNewVersionInRecord()) {
      return Fail(kIdsInstallError, u"",
                  "Failed saving the installation status");
    }
    ScheduleNextStep();
    return;
  }
  observers_.Notify(&InstallerObserver::OnStep);
  PostStepTask(NamedLocation("CopyFileW"), continuation);
}

void Installer::StepInstallLauncher() {
  LOG(INFO) << "Installing the launcher";
  const Status& current = *status();
  const base::FilePath& install_folder = current.install_folder;
  const base::FilePath launcher_source =
      own_directory_.Append(kLauncherFileName);
  const base::FilePath launcher = install_folder.Append(kLauncherFileName);
  if (OverInterruptedInstallation()) {
    // Also those of an uninstallation that was ended part-way.
    for (const base::FilePath& path :
         {launcher, install_folder.Append(kServerTrackingDataFileName),
          install_folder.AppendASCII(kPrefDefaultOverridesFileName),
          install_folder.Append(kInstallerPrefsFileName)}) {
      for (const base::FilePath& copy :
           DeleteFileOperation::FindAsideCopies(path)) {
        RunOperation(DeleteOperation(copy, false, false));
      }
    }
  }
  // Started by its name (the shortcuts, the entry, the launcher's own
  // "/uninstall"): there only once whole. The folders are let go before a
  // failure may roll back one this run made.
  auto copy_program = [&](const base::FilePath& destination) {
    auto held = std::make_shared<HeldFolders>();
    held->Add(own_directory_);
    held->Add(install_folder);
    return RunOperation(std::make_unique<CopyFileOperation>(
        launcher_source, destination, held,
        CopyFileOperation::NewFile::kWhole));
  };
  if (!copy_program(launcher)) {
    return Fail(kIdsCopyFailed, launcher.value(),
                "Failed copying the launcher");
  }

  if (!BrandingConfig::IsWhiteLabeled()) {
    VLOG(2) << "Check if the launcher should be installed as velna.exe";
    const base::FilePath exe =
        install_folder.Append(base::UTF8ToUTF16(GetBrowserExecutableName()));
    const base::FilePath old = exe.ReplaceExtension(kOldExtension);
    if ((current.existing_installation && current.tamsel_installation) ||
        (base::PathExists(exe) && base::PathExists(old))) {
      VLOG(1) << "Install the launcher as velna.exe";
      if (!RunOperation(std::make_unique<MoveFileOperation>(exe, old)) ||
          !copy_program(exe)) {
        LOG(WARNING) << "Failed installing the launcher as velna.exe";
      }
    }
  }

  if (const std::optional<base::FilePath>& tracking_data =
          settings_->process_switches().server_tracking_data) {
    VLOG(1) << "Tracking data installation requested";
    const base::FilePath source = own_directory_.AppendPath(*tracking_data);
    if (base::PathExists(source)) {
      if (!RunOperation(std::make_unique<CopyFileOperation>(
              source, install_folder.Append(kServerTrackingDataFileName)))) {
        LOG(WARNING) << "Failed to install tracking data";
      }
    } else {
      LOG(WARNING) << "Tracking data path specified on command line invalid";
    }
  }

  // A fetch that failed part-way may have left a partial file: only JSON
  // is installed.
  const base::FilePath overrides =
      own_directory_.AppendASCII(kPrefDefaultOverridesFileName);
  if (base::PathExists(overrides)) {
    VLOG(1) << "Found pref default overrides";
    std::string text;
    std::unique_ptr<base::Value> value;
    if (base::FileUtil::ReadFileToStringWithMaxSize(overrides, &text,
                                                    kMaxJsonFileSize)) {
      value = base::JSONReader::Read(text);
    }
    if (!value) {
      LOG(WARNING) << "Supplied pref default overrides is not valid JSON";
    } else if (!RunOperation(std::make_unique<CopyFileOperation>(
                   overrides, install_folder.AppendASCII(
                                  kPrefDefaultOverridesFileName)))) {
      LOG(WARNING) << "Failed to install pref default overrides";
    }
  }
  ScheduleNextStep();
}

bool Installer::PutLauncherBack() {
  const base::FilePath launcher =
      status()->install_folder.Append(kLauncherFileName);
  if (!OverInterruptedInstallation() || base::PathExists(launcher))
    return false;
  // A launcher that ran while an update replaced it had to move aside
  // before the new one could take its name: the newest aside copy is that
  // launcher (the older one, the copy kept of it). Whoever could put a file
  // there could have put one under the launcher's own name.
  base::FilePath newest;
  uint64_t newest_seconds = 0;
  for (const base::FilePath& copy :
       DeleteFileOperation::FindAsideCopies(launcher)) {
    const std::u16string name = copy.BaseName().RemoveExtension().value();
    uint64_t seconds = 0;
    if (base::DirectoryExists(copy) || base::IsLink(copy) ||
        !base::StringToUint64(
            base::UTF16ToUTF8(name.substr(name.rfind(u'.') + 1)), &seconds) ||
        (!newest.empty() && seconds <= newest_seconds)) {
      continue;
    }
    newest = copy;
    newest_seconds = seconds;
  }
  if (newest.empty()) return false;
  // Not part of the run: whatever becomes of it, the launcher stays.
  LOG(INFO) << "Putting the launcher back from " << newest;
  if (base::MoveWithoutLinks(newest.value(), launcher.value(), false))
    return true;
  PLOG(WARNING) << "Could not put the launcher back";
  return false;
}

void Installer::StepRemoveOldRootFiles() {
  LOG(INFO) << "Removing old files from installation root";
  const Status& current = *status();
  std::vector<base::FilePath> paths;
  for (const std::u16string& entry : current.install_log.root_files) {
    base::FilePath path;
    if (InstallLogEntryPath(current.install_folder, u"", entry, &path))
      paths.push_back(path);
  }
  if (OverInterruptedInstallation()) paths = WithAsideCopies(paths);
  // Each reached through the install folder's held folders, let go before
  // the commit removes the folders they leave empty.
  auto held = std::make_shared<HeldFolders>();
  held->Add(current.install_folder);
  const std::vector<bool> last = LastInTheirFolders(paths);
  for (size_t i = 0; i < paths.size(); ++i)
    RunOperation(DeleteOperation(paths[i], false, last[i], held));
  ScheduleNextStep();
}

// --- Registry.

void Installer::StepSetUpRegistry() {
  if (settings_->copy_only()) {
    RemovePreviousUninstallEntries();
    ScheduleNextStep();
    return;
  }
  LOG(INFO) << "Setting up the registry";
  const HKEY root =
      settings_->all_users() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  // The first path that does not exist, or whose entry is one of this
  // installation's that its record lists: under another name, the entry
  // would read as another version's. Any other answer counts as taken.
  const std::vector<std::u16string> own_entries = RecordedOwnEntries(root);
  std::u16string uninstall_key;
  bool taken_over = false;
  for (int n = 0;; ++n) {
    if (n == kMaxUninstallKeySuffixes) {
      return Fail(kIdsInstallError, u"",
                  "No free uninstall key after " +
                      std::to_string(kMaxUninstallKeySuffixes) + " tries");
    }
    uninstall_key = GetUninstallKeyPath(
        n == 0 ? std::u16string() : base::UTF8ToUTF16(std::to_string(n)));
    base::win::RegKey key;
    if (key.Open(root, uninstall_key.c_str(), KEY_READ) == ERROR_FILE_NOT_FOUND)
      break;
    taken_over = std::any_of(own_entries.begin(), own_entries.end(),
                             [&uninstall_key](const std::u16string& entry) {
                               return base::FilePath::CompareIgnoreCase(
                                          entry, uninstall_key) == 0;
                             });
    if (taken_over) break;
  }
  uninstall_command_ = uninstall_key;
  VLOG(1) << "Uninstall key: " << uninstall_key;
  if (taken_over) {
    LOG(INFO) << "Taking over the uninstall entry " << uninstall_key
              << ", which this installation wrote";
  }

  set_recording_registry(true);
  std::vector<RegistryEntryTemplate> rows(GetMainRegistryTable().begin(),
                                          GetMainRegistryTable().end());
  if (base::FeatureList::GetInstance()->IsEnabled(
          kInstallerHideFromProgramAndFeatures)) {
    rows.push_back(kHideFromProgramsRegOp);
  }
  // Every value is recorded as its operation is built: all are built, and
  // the record saved, before the first one is written.
  struct Write {
    const RegistryEntryTemplate* row;
    bool built;
    std::unique_ptr<Operation> operation;
  };
  std::vector<Write> writes;
  for (const RegistryEntryTemplate& row : rows) {
    std::unique_ptr<Operation> operation;
    const bool built = RegistryEntry(row, this).Apply(root, &operation);
    if (built && !operation) {
      VLOG(2) << "Skipping inapplicable operation: " << RowValueText(row)
              << " to key " << base::UTF16ToUTF8(row.key);
      continue;
    }
    writes.push_back({&row, built, std::move(operation)});
  }
  set_recording_registry(false);
  if (install_log_in_progress_ && !WriteInstallLogInProgress())
    return Fail(kIdsInstallError, u"", "Failed saving the installation status");
  std::vector<std::u16string> written;
  for (Write& write : writes) {
    const std::string key = base::UTF16ToUTF8(write.row->key);
    if (write.built) {
      VLOG(1) << "Writing " << RowValueText(*write.row) << " to key " << key;
      if (RunOperation(std::move(write.operation))) {
        if (key == "{Uninstall}") written.push_back(write.row->value_name);
        continue;
      }
    }
    if (key == "{Uninstall}") {
      return Fail(kIdsInstallError, u"",
                  "Failed writing uninstallation information");
    }
  }
  if (taken_over) RemoveEntryValuesNotWritten(root, uninstall_key, written);
  RemovePreviousUninstallEntries();
  ScheduleNextStep();
}

std::vector<std::u16string> Installer::RecordedOwnEntries(HKEY root) const {
  if (!status()->existing_installation || status()->tamsel_installation)
    return {};
  InstallLogRegistry hkcu;
  InstallLogRegistry hklm;
  SplitUninstallEntries(nullptr, nullptr, &hkcu, &hklm);
  const OwnRegistryRows own = OwnRows();
  std::vector<std::u16string> entries;
  for (const InstallLogKey& key : root == HKEY_LOCAL_MACHINE ? hklm : hkcu) {
    const std::u16string path = base::UTF8ToUTF16(key.path);
    if (own.IsOwnUninstallKey(root, path)) entries.push_back(path);
  }
  return entries;
}

void Installer::RemoveEntryValuesNotWritten(
    HKEY root, const std::u16string& path,
    const std::vector<std::u16string>& written) {
  std::vector<const RegistryEntryTemplate*> rows;
  for (const RegistryEntryTemplate& row : GetMainRegistryTable())
    rows.push_back(&row);
  rows.push_back(&kHideFromProgramsRegOp);
  const base::win::RegKey key(root, path.c_str(), KEY_QUERY_VALUE);
  for (const RegistryEntryTemplate* row : rows) {
    if (!row->key || std::u16string(row->key) != u"{Uninstall}" ||
        !row->value_name ||
        std::find(written.begin(), written.end(), row->value_name) !=
            written.end() ||
        RegQueryValueExW(key.Handle(), base::as_wcstr(row->value_name), nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      continue;
    }
    VLOG(1) << "Removing the value " << base::UTF16ToUTF8(row->value_name)
            << " of the entry taken over";
    RunOperation(std::make_unique<ChangeRegValueOperation>(
        root, path, row->value_name, nullptr, ChangeRegValueOperation::kNoValue,
        0));
  }
}

void Installer::RemovePreviousUninstallEntries() {
  if (settings_->operation() != kOperationUpgrading) return;
  InstallLogRegistry hkcu;
  InstallLogRegistry hklm;
  SplitUninstallEntries(nullptr, nullptr, &hkcu, &hklm);
  // The entry this run wrote may have taken the name of one the record
  // lists, whose key was gone.
  for (InstallLogRegistry* entries : {&hkcu, &hklm}) {
    std::erase_if(*entries, [this](const InstallLogKey& key) {
      return base::FilePath::CompareIgnoreCase(base::UTF8ToUTF16(key.path),
                                               uninstall_command_) == 0;
    });
  }
  const OwnRegistryRows own = OwnRows();
  CleanUpInstallLogRegistry(HKEY_CURRENT_USER, hkcu, own, &transaction_);
  CleanUpInstallLogRegistry(HKEY_LOCAL_MACHINE, hklm, own, &transaction_);
}

void Installer::SplitUninstallEntries(InstallLogRegistry* hkcu_rest,
                                      InstallLogRegistry* hklm_rest,
                                      InstallLogRegistry* hkcu_entries,
                                      InstallLogRegistry* hklm_entries) const {
  const InstallLog& log = status()->install_log;
  const struct {
    const InstallLogRegistry& recorded;
    InstallLogRegistry* rest;
    InstallLogRegistry* entries;
  } hives[] = {{log.hkcu_keys, hkcu_rest, hkcu_entries},
               {log.hklm_keys, hklm_rest, hklm_entries}};
  for (const auto& hive : hives) {
    for (InstallLogKey& key : ExpandProductPlaceholders(hive.recorded)) {
      InstallLogRegistry* into =
          IsUninstallEntryKey(key.path) ? hive.entries : hive.rest;
      if (into) into->push_back(std::move(key));
    }
  }
}

OwnRegistryRows Installer::OwnRows() const {
  return OwnRegistryRows::ForInstallation(status()->install_folder,
                                          status()->install_log.path);
}

void Installer::StepCleanUpRegistry() {
  LOG(INFO) << "Cleaning up registry";
  // The names of a former engine's keys are expanded before the clean-up
  // judges how near the root a deletion would reach, and whether the
  // installer's own rows write it. The uninstall entry stays until an update
  // has written its own, and until an uninstallation has removed everything
  // else: one ended part-way in between leaves it, so that the system still
  // lists the installation and the uninstall can run (again).
  InstallLogRegistry hkcu;
  InstallLogRegistry hklm;
  SplitUninstallEntries(&hkcu, &hklm, nullptr, nullptr);
  const OwnRegistryRows own = OwnRows();
  CleanUpInstallLogRegistry(HKEY_CURRENT_USER, hkcu, own, &transaction_);
  CleanUpInstallLogRegistry(HKEY_LOCAL_MACHINE, hklm, own, &transaction_);
  ScheduleNextStep();
}

InstallLogRegistry Installer::ExpandProductPlaceholders(
    const InstallLogRegistry& section) const {
  InstallLogRegistry keys = section;
  for (InstallLogKey& key : keys) {
    key.path = base::UTF16ToUTF8(
        ExpandProductPlaceholders(base::UTF8ToUTF16(key.path)));
    for (InstallLogValue& value : key.values) {
      value.name = base::UTF16ToUTF8(
          ExpandProductPlaceholders(base::UTF8ToUTF16(value.name)));
    }
  }
  return keys;
}

// --- Shortcuts.

namespace {

struct ShortcutFolders {
  int desktop;
  int start_menu;
  int quick_launch;
};

ShortcutFolders FoldersFor(bool all_users) {
  return all_users
             ? ShortcutFolders{base::DIR_COMMON_DESKTOP,
                               base::DIR_COMMON_START_MENU,
                               base::DIR_QUICK_LAUNCH}
             : ShortcutFolders{base::DIR_USER_DESKTOP, base::DIR_START_MENU,
                               base::DIR_QUICK_LAUNCH};
}

// The shortcut's name without folder and ".lnk".
std::u16string ShortcutBaseName(const std::u16string& path) {
  return base::FilePath(path).BaseName().RemoveExtension().value();
}

}  // namespace

void Installer::StepInstallShortcuts() {
  if (settings_->copy_only()) {
    ScheduleNextStep();
    return;
  }
  LOG(INFO) << "Installing shortcuts";
  const bool all_users = settings_->all_users();
  const ShortcutFolders keys = FoldersFor(all_users);
  base::FilePath created[3];
  std::vector<ShortcutLocation> requests;
  auto request = [&requests, &created](int key, int slot) {
    base::FilePath folder;
    if (base::PathService::Get(key, &folder))
      requests.push_back({folder, &created[slot]});
  };
  if (settings_->desktop_shortcut()) {
    VLOG(2) << (all_users ? "Preparing  to set up shortcut on common desktop"
                          : "Preparing  to set up shortcut on user desktop");
    request(keys.desktop, 0);
  }
  if (settings_->start_menu_shortcut()) {
    VLOG(2) << (all_users ? "Preparing  to set up shortcut in common start menu"
                          : "Preparing  to set up shortcut in user start menu");
    request(keys.start_menu, 1);
  }
  if (settings_->quick_launch_shortcut()) {
    VLOG(2) << "Preparing  to set up shortcut in user quick launch";
    request(keys.quick_launch, 2);
  }
  bool with_version = false;
  CreateMasterShortcut(&requests, settings_->pinned_shortcut(), &with_version,
                       status()->install_folder.Append(kLauncherFileName));
  install_log_.desktop_shortcut = created[0].value();
  install_log_.start_menu_shortcut = created[1].value();
  install_log_.quick_launch_shortcut = created[2].value();
  ScheduleNextStep();
}

void Installer::StepUpdateShortcuts() {
  if (settings_->copy_only()) {
    ScheduleNextStep();
    return;
  }
  LOG(INFO) << "Updating shortcuts";
  const Status& current = *status();
  const InstallLog& recorded = current.install_log;
  if (OverInterruptedInstallation()) RemoveStrayShortcuts();

  bool versioned = false;
  bool rename = false;
  const std::u16string plain = ShortcutBaseName(GetShortcutFileName(false));
  for (const std::u16string* path :
       {&recorded.desktop_shortcut, &recorded.start_menu_shortcut,
        &recorded.quick_launch_shortcut}) {
    if (path->empty()) continue;
    const std::u16string name = ShortcutBaseName(*path);
    if (!name.empty() && name.back() >= u'0' && name.back() <= u'9') {
      versioned = rename = true;
      break;
    }
    if (!rename && name != plain) rename = true;
  }
  VLOG(1) << (versioned ? "Using" : "Not using")
          << " shortcut names with version number";
  if (rename) LOG(INFO) << "Shortcuts needs to be renamed";

  const ShortcutFolders keys = FoldersFor(settings_->all_users());
  struct Location {
    const char* label;
    int key;
    bool exists;
    bool wanted;
    bool recreate;
    const std::u16string& recorded_path;
    std::u16string* log_field;
  };
  const Location locations[] = {
      {"Handling desktop shortcut:", keys.desktop,
       current.desktop_shortcut_exists, settings_->desktop_shortcut(),
       current.recreate_desktop_shortcut, recorded.desktop_shortcut,
       &install_log_.desktop_shortcut},
      {"Handling start menu shortcut:", keys.start_menu,
       current.start_menu_shortcut_exists, settings_->start_menu_shortcut(),
       current.recreate_start_menu_shortcut, recorded.start_menu_shortcut,
       &install_log_.start_menu_shortcut},
      {"Handling quick launch shortcut:", keys.quick_launch,
       current.quick_launch_shortcut_exists, settings_->quick_launch_shortcut(),
       current.recreate_quick_launch_shortcut, recorded.quick_launch_shortcut,
       &install_log_.quick_launch_shortcut},
  };
  base::FilePath created[3];
  std::vector<ShortcutLocation> requests;
  for (size_t i = 0; i < std::size(locations); ++i) {
    const Location& location = locations[i];
    VLOG(1) << location.label;
    base::FilePath folder;
    const bool has_folder = base::PathService::Get(location.key, &folder);
    const base::FilePath recorded_path(location.recorded_path);
    if (location.exists && !location.wanted) {
      VLOG(1) << "Removing shortcut";
      RunOperation(DeleteOperation(recorded_path, false, false));
    } else if (location.exists && location.recreate) {
      VLOG(1) << "Recreating shortcut";
      RunOperation(DeleteOperation(recorded_path, false, false));
      if (has_folder) requests.push_back({folder, &created[i]});
    } else if (location.exists && rename && has_folder) {
      const base::FilePath moved =
          folder.Append(GetShortcutFileName(versioned));
      VLOG(1) << "Moving shortcut";
      *location.log_field = location.recorded_path;
      if (base::FilePath::CompareIgnoreCase(moved.value(),
                                            recorded_path.value()) != 0 &&
          RunOperation(
              std::make_unique<MoveFileOperation>(recorded_path, moved))) {
        *location.log_field = moved.value();
      }
    } else if (location.exists) {
      *location.log_field = location.recorded_path;
    } else if (location.wanted && has_folder) {
      VLOG(1) << "Preparing to add shortcut";
      requests.push_back({folder, &created[i]});
    }
  }

  VLOG(1) << "Handling pinned shortcut:";
  const base::FilePath& pinned = current.pinned_shortcut_path;
  bool pin = false;
  if (pinned.empty()) {
    if (settings_->pinned_shortcut()) {
      VLOG(1) << "New pinned shortcut needed.";
      pin = true;
    }
  } else if (!settings_->pinned_shortcut()) {
    VLOG(1) << "Unpinning existing shortcut";
    Unpin(pinned);
  } else if (current.recreate_pinned_shortcut || rename) {
    VLOG(1) << "Unpinning existing shortcut";
    Unpin(pinned);
    VLOG(1) << "New pinned shortcut needed.";
    pin = true;
  }

  CreateMasterShortcut(&requests, pin, &versioned,
                       current.install_folder.Append(kLauncherFileName));
  for (size_t i = 0; i < std::size(locations); ++i) {
    if (!created[i].empty()) *locations[i].log_field = created[i].value();
  }
  ScheduleNextStep();
}

// static
void Installer::RemoveRegistrationOf(const base::FilePath& install_folder) {
  InstallLog log;
  XmlDocument document;
  const base::FilePath record = InstallLogPathInFolder(install_folder);
  if (!ReadInstallLog(&document, &log, record)) return;
  LOG(INFO) << "Removing what the installation in " << install_folder
            << " registered";
  // Committed as it goes out of scope.
  Transaction removal;
  const OwnRegistryRows own =
      OwnRegistryRows::ForInstallation(install_folder, log.path);
  if (const std::string foreign = own.FindForeign(log); !foreign.empty()) {
    LOG(ERROR) << RefusedRecordText(record, foreign);
  } else {
    CleanUpInstallLogRegistry(HKEY_CURRENT_USER, log.hkcu_keys, own, &removal);
    CleanUpInstallLogRegistry(HKEY_LOCAL_MACHINE, log.hklm_keys, own, &removal);
  }
  const ShortcutFolders keys = FoldersFor(log.all_users);
  for (int key : {keys.desktop, keys.start_menu, keys.quick_launch}) {
    base::FilePath folder;
    if (!base::PathService::Get(key, &folder)) continue;
    for (const base::FilePath& shortcut :
         FindStrayShortcuts(folder, install_folder, {})) {
      Transaction::RunOperation(&removal,
                                DeleteOperation(shortcut, false, false));
    }
  }
}

void Installer::Unpin(const base::FilePath& shortcut) {
  // A pin the shell keeps is no reason to stop: the run goes on.
  RunOperation(std::make_unique<UnpinTaskbarOperation>(
      internal::GetTaskbarPins(), shortcut));
}

void Installer::StepRemoveShortcuts() {
  LOG(INFO) << "Removing shortctus.";
  const Status& current = *status();
  RemoveStrayShortcuts();
  if (!current.pinned_shortcut_path.empty()) {
    VLOG(1) << "Unpinning shortcut.";
    Unpin(current.pinned_shortcut_path);
  }
  const struct {
    bool exists;
    const char* message;
    const std::u16string& path;
  } shortcuts[] = {
      {current.desktop_shortcut_exists, "Removing desktop shortcut.",
       current.install_log.desktop_shortcut},
      {current.start_menu_shortcut_exists, "Removing start menu shortcut.",
       current.install_log.start_menu_shortcut},
      {current.quick_launch_shortcut_exists, "Removing quick launch shortcut.",
       current.install_log.quick_launch_shortcut},
  };
  for (const auto& shortcut : shortcuts) {
    if (!shortcut.exists || shortcut.path.empty()) continue;
    VLOG(1) << shortcut.message;
    RunOperation(DeleteOperation(base::FilePath(shortcut.path), false, false));
  }
  if (current.temporary_shortcut_folder_exists) {
    VLOG(1) << "Removing temporary shortcut folder.";
    RunOperation(
        DeleteOperation(current.temporary_shortcut_folder, false, false));
  }
  ScheduleNextStep();
}

// --- Finalising.

void Installer::StepFinalize() {
  VLOG(1) << "Finalizing the installation";
  const Status& current = *status();
  const base::FilePath& install_folder = current.install_folder;
  // Still marked incomplete: ReportSuccess marks it complete once the
  // run has committed.
  if (!WriteInstallLogInProgress())
    return Fail(kIdsInstallError, u"", "Failed saving the installation status");

  // From Windows 10 on the choice is the user's, on the system's own page:
  // not for a second backend, a silent run or a browser that already is.
  const bool skip_default_browser =
      ShellPlatform::Get()->GetWindowsVersion() >= base::win::kVersionWin10 &&
      (settings_->process_switches().parent_pid || settings_->silent() ||
       current.is_http_handler);
  if (!skip_default_browser && settings_->default_browser() &&
      !settings_->copy_only()) {
    InstallationInfo info(install_folder, install_log_);
    if (settings_->all_users()) {
      VLOG(1) << "Storing old default browser settings for all users";
      SavePreviousDefaultBrowser(&info, true);
      RegisterBrowserAssociations(&info, true);
    }
    VLOG(1) << "Storing old default browser settings for current users";
    SavePreviousDefaultBrowser(&info, false);
    RegisterBrowserAssociations(&info, false);
  }
  NotifyAssociationsChanged();

  if (RegistersScheduledTask()) RegisterScheduledTask();
  FinalizeSuccessfulInstallation();
  observers_.Notify(&InstallerObserver::OnStep);
  ReportSuccess();
}

bool Installer::RegistersScheduledTask() const {
  return !settings_->copy_only() &&
         (settings_->all_users() || !undo_permission_event_.IsValid());
}

void Installer::WarmUpTaskService() {
  if (!RegistersScheduledTask() || g_task_scheduler_factory) return;
  task_service_warm_up_ =
      std::make_unique<TaskServiceWarmUp>(&TaskScheduler::Create);
}

void Installer::RegisterScheduledTask() {
  LOG(INFO) << "Creating scheduled task";
  // A warm-up still connecting is waited for: a second connection would
  // only wait for the same service.
  if (task_service_warm_up_ &&
      !task_service_warm_up_->Wait(base::TimeDelta::FromSeconds(30))) {
    LOG(WARNING) << "The task scheduler is slow to answer";
  }
  task_service_warm_up_.reset();
  std::unique_ptr<TaskScheduler> scheduler = internal::CreateTaskScheduler();
  if (!scheduler || !scheduler->Init()) {
    LOG(ERROR) << "Could not initialize task scheduler";
    return;
  }
  scheduler->DeleteStaleTasks();
  base::CommandLine task_command(
      status()->install_folder.Append(kLauncherFileName));
  task_command.AppendSwitch(kScheduledAutoupdateSwitch);
  task_command.AppendArg(kScheduledTaskArgument);
  ScheduledTaskSpec spec(task_command);
  spec.description = RcL10nHandler::GetString(kIdsTaskDescription);
  spec.time_limit_seconds = kTaskTimeLimitSeconds;
  spec.name_suffix =
      kAutoupdateTaskPrefix + base::UTF8ToUTF16(install_log_.app_id);
  spec.system_task = settings_->all_users();
  spec.logon_trigger = BrandingConfig::ScheduleAutoupdateTask();
  spec.schedule_kind =
      spec.logon_trigger ? kScheduleDaily : kScheduleNoTimeTrigger;
  spec.network_only = true;
  if (!scheduler->Register(spec)) {
    LOG(ERROR) << "Could not create scheduled task";
    return;
  }
  const base::FilePath prefs_path =
      status()->install_folder.Append(kInstallerPrefsFileName);
  base::ScopedRefPtr<prefs::JsonPrefStore> store =
      prefs::PrefsTaskPool::GetInstance()->CreateJsonPrefStore(prefs_path);
  const base::Value* value = nullptr;
  int count = 0;
  if (store->GetValue(kAutoupdateErrorCountPref, &value) &&
      value->GetAsInteger(&count) && count > 0) {
    store->SetValueSilently(kAutoupdateErrorCountPref,
                            std::make_unique<base::FundamentalValue>(count - 1),
                            0);
    VLOG(1) << "Setting autoupdate task error counter to : " << count - 1;
    WritePrefsNow(store.get(), prefs_path);
  }
}

void Installer::FinalizeSuccessfulInstallation() {
  LOG(INFO) << "Finalizing successful installation";
  const Status& current = *status();
  const base::FilePath& profile = current.profile_path;
  if (!profile.empty()) {
    VLOG(1) << "User profile modifications";
    prefs::PrefsTaskPool* pool = prefs::PrefsTaskPool::GetInstance();
    base::ScopedRefPtr<prefs::JsonPrefStore> local_state =
        pool->CreateJsonPrefStore(profile.Append(kLocalStateFileName));
    const base::Value* value = nullptr;
    if (local_state->GetValue(kAppLocalePref, &value)) {
      VLOG(1) << "Updating user profile language";
      local_state->SetValue(
          kAppLocalePref,
          std::make_unique<base::StringValue>(settings_->install_language()),
          0);
    }
    if (!settings_->autoupdate()) {
      base::ScopedRefPtr<prefs::JsonPrefStore> preferences =
          pool->CreateJsonPrefStore(profile.Append(kPreferencesFileName));
      VLOG(1) << "Removing stat pref from the user profile";
      preferences->RemoveValue(kStatsCollectionPref, 0);

      const base::FilePath resources =
          current.install_folder.Append(install_log_.subfolder)
              .Append(kResourcesFolderName);
      const base::FilePath content_source =
          resources.Append(kCustomPartnerContentFileName);
      const base::FilePath agent_source =
          resources.Append(kTrackingUserAgentFileName);
      const base::FilePath content =
          profile.Append(kCustomPartnerContentFileName);
      const base::FilePath agent = profile.Append(kTrackingUserAgentFileName);
      bool updated = false;
      if (!base::PathExists(content_source) &&
          !base::PathExists(agent_source)) {
        if (base::PathExists(content))
          updated = base::DeleteFileOrDirectory(content, false);
        base::DeleteFileOrDirectory(agent, false);
        VLOG(1) << "Removing tracking ua file from the user profile";
      } else if (!base::PathExists(content) && !base::PathExists(agent) &&
                 base::PathExists(content_source)) {
        VLOG(1) << "Installed new cutsom edition to the user profile";
        updated = base::CopyOneFile(content_source, content);
        if (!updated) LOG(WARNING) << "Failed to copy new custom edition file.";
      }
      if (updated) {
        VLOG(1) << "Flag the fact that custom content was updated in profile.";
        local_state->SetValue(kCustomContentUpdatedPref,
                              std::make_unique<base::FundamentalValue>(true),
                              0);
      }
    }
  }

  if (settings_->launch_velna()) {
    base::CommandLine launch(current.install_folder.Append(kLauncherFileName));
    for (const auto& [name, value] :
         settings_->process_switches().browser_import)
      launch.AppendSwitchNative(name, value);
    if (settings_->operation() != kOperationUpgrading)
      launch.AppendSwitch(kStartMaximizedSwitch);
    LOG(INFO) << "Launching velna with command line "
              << launch.GetCommandLineString();
    LaunchBrowserForUser(launch);
  }
}

void Installer::LaunchBrowserForUser(const base::CommandLine& launch) {
  if (!GetInstallerRights()->IsElevated()) {
    base::LaunchOptions options;
    options.wait = true;
    if (base::LaunchProcessFromCommandLine(launch, options).IsValid())
      LOG(INFO) << "Started it with this run's own token, not elevated";
    return;
  }
  // Never with this run's token: as the desktop's user, and only when no
  // other account may change the launcher or the browser it runs (another
  // user's installation is not started at all).
  const base::FilePath version =
      status()->install_folder.Append(install_log_.subfolder);
  base::Process process = StartAsDesktopUser(
      launch, {version, version.AppendASCII(GetBrowserExecutableName())});
  // The shell's child, waited for as a child of the run's own would be.
  if (process.IsValid()) WaitForSingleObject(process.Handle(), INFINITE);
}

void Installer::StepFinalizeUninstall() {
  VLOG(1) << "Finalizing the uninstallation";
  // The record goes last, once everything it lists is gone
  // (FinishUninstall); MarkRecordInProgress made sure that it can.
  NotifyAssociationsChanged();
  if (!settings_->copy_only()) {
    VLOG(1) << "Attempting to reset the default browser to IE.";
    if (status()->is_http_handler &&
        ShellPlatform::Get()->GetWindowsVersion() >= base::win::kVersionVista) {
      ResetDefaultBrowser();
    }
    OpenUninstallSurvey();
  }
  ScheduleNextStep();
}

void Installer::ResetDefaultBrowser() {
  if (settings_->all_users()) {
    base::win::RegKey key;
    std::u16string command;
    if (key.Open(HKEY_LOCAL_MACHINE, kSystemBrowserInstallInfoKey, KEY_READ) !=
            ERROR_SUCCESS ||
        key.ReadValue(kReinstallCommandValue, &command) != ERROR_SUCCESS) {
      return;
    }
    std::u16string program;
    std::u16string arguments;
    SplitReinstallCommand(command, &program, &arguments);
    // A 64-bit process never runs under WOW64: no redirection to lift.
    SHELLEXECUTEINFOW info = {sizeof(info)};
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_DOENVSUBST;
    info.lpFile = base::as_wcstr(program);
    info.lpParameters = arguments.empty() ? nullptr : base::as_wcstr(arguments);
    info.nShow = SW_SHOW;
    if (!ShellExecuteExW(&info)) {
      PLOG(WARNING) << "Could not start the system browser's reinstall command";
      return;
    }
    const base::Process process(info.hProcess);
    if (process.IsValid()) WaitForSingleObject(process.Handle(), INFINITE);
  }
  ShellPlatform* platform = ShellPlatform::Get();
  if (platform->GetWindowsVersion() == base::win::kVersionWin8) {
    OPENASINFO info = {};
    info.pcszFile = L"http";
    info.oaifInFlags =
        OAIF_REGISTER_EXT | OAIF_FORCE_REGISTRATION | OAIF_URL_PROTOCOL;
    if (SUCCEEDED(platform->ShowOpenWithDialog(nullptr, info)))
      SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    return;
  }
  Microsoft::WRL::ComPtr<IApplicationAssociationRegistration> registration;
  if (FAILED(platform->CreateAssociationRegistration(&registration)) ||
      !registration) {
    return;
  }
  const struct {
    const wchar_t* name;
    ASSOCIATIONTYPE type;
  } associations[] = {{L".htm", AT_FILEEXTENSION},
                      {L".html", AT_FILEEXTENSION},
                      {L"http", AT_URLPROTOCOL},
                      {L"https", AT_URLPROTOCOL}};
  for (const auto& association : associations) {
    registration->SetAppAsDefault(base::as_wcstr(kSystemBrowserName),
                                  association.name, association.type);
  }
}

void Installer::OpenUninstallSurvey() {
  std::string url = BrandingConfig::GetUrl("uninstall_survey");
  if (url.empty() || settings_->silent()) return;
  VLOG(1) << "Trying to display the uninstall survey";
  url += "?version=" + VersionInfo::GetProductVersion();
  const base::FilePath& install_folder = status()->install_folder;
  InstallationInfo info(install_folder);
  autoupdate::GlobalStorageWin* storage =
      autoupdate::GlobalStorageWin::GetInstance();
  base::FilePath user_data;
  if (info.GetUserDataPath(&user_data, true))
    storage->SetFallbackDirectory(user_data);
  std::string uuid;
  storage->Get(kUuidKey, &uuid);
  url += "&uuid=" + uuid;
  const std::vector<std::string> parts =
      base::SplitString(status()->welcome_url, "?",
                        base::SplitWhitespace::kKeep, base::SplitFilter::kAll);
  if (parts.size() == 2) url += "&" + parts[1];

  const base::FilePath browser = GetSystemBrowserPath();
  if (browser.empty()) return;
  const bool in_private =
      ShellPlatform::Get()->GetWindowsVersion() >= base::win::kVersionWin8;
  std::u16string command;
  if (!BuildSurveyCommand(browser.value(), in_private, base::UTF8ToUTF16(url),
                          &command)) {
    LOG(WARNING) << "Not opening the uninstall survey at " << url;
    return;
  }
  if (!GetInstallerRights()->IsElevated()) {
    LaunchProcessViaWmi(command, nullptr);
    return;
  }
  base::CommandLine survey(browser);
  if (in_private) survey.AppendArg("-private");
  survey.AppendArg(url);
  StartAsDesktopUser(survey, {});
}

// --- Installer preferences and clean-up.

void Installer::StepWriteInstallerPrefs() {
  const base::FilePath path =
      status()->install_folder.Append(kInstallerPrefsFileName);
  LOG(INFO) << "Writing installer prefs to" << path;
  // The store writes outside the transaction: its file (and the aside copy
  // of an unreadable one) is kept first, so that a rollback restores both.
  if (!RunOperation(std::make_unique<PreserveFileOperation>(path)) ||
      !RunOperation(std::make_unique<PreserveFileOperation>(
          path.ReplaceExtension(u"bad")))) {
    LOG(WARNING) << "Not writing installer prefs: the file cannot be kept";
    ScheduleNextStep();
    return;
  }
  base::ScopedRefPtr<prefs::JsonPrefStore> store =
      prefs::PrefsTaskPool::GetInstance()->CreateJsonPrefStore(path);
  std::unique_ptr<base::DictionaryValue> include =
      ReadJsonDictionaryFile(own_directory_.Append(kPrefsIncludeFileName));
  auto set = [&store](const char* key, std::unique_ptr<base::Value> value) {
    store->SetValue(key, std::move(value), 0);
  };
  using base::FundamentalValue;
  using base::StringValue;

  std::string welcome_url;
  if (include && include->GetString(kWelcomeUrlPref, &welcome_url)) {
    VLOG(1) << "Writing welcome page url pref";
    set(kWelcomeUrlPref, std::make_unique<StringValue>(welcome_url));
  }
  set(kSingleProfilePref,
      std::make_unique<FundamentalValue>(settings_->single_profile()));
  if (!settings_->profile_folder().empty()) {
    VLOG(1) << "Writing profile folder pref";
    set(kProfilePathPref,
        std::make_unique<StringValue>(settings_->profile_folder().value()));
  }
  if (!settings_->install_language().empty()) {
    VLOG(1) << "Writing install language pref";
    set(kLanguagePref,
        std::make_unique<StringValue>(settings_->install_language()));
  }
  auto changed = std::make_unique<base::ListValue>();
  auto all = std::make_unique<base::ListValue>();
  size_t count = 0;
  const ExperimentFeature* experiments = InstallerExperiments::GetAll(&count);
  for (size_t i = 0; i < count; ++i) {
    const bool enabled =
        base::FeatureList::GetInstance()->IsEnabled(experiments[i].name);
    const std::string entry =
        FormatFeatureOverride(experiments[i].name, enabled);
    all->AppendString(entry);
    if (enabled != ExperimentFeatures::IsInFirstMask(experiments[i]))
      changed->AppendString(entry);
  }
  set(kInstallerExperimentsPref, std::move(changed));
  set(kAllInstallerExperimentsPref, std::move(all));
  if (const std::optional<std::u16string>& temp_folder =
          settings_->process_switches().temp_folder) {
    VLOG(1) << "Writing temp folder pref";
    set(kTempFolderPref, std::make_unique<StringValue>(*temp_folder));
  }
  VLOG(1) << "Writing autoupdate pref";
  set(kAutoupdatePref,
      std::make_unique<FundamentalValue>(settings_->autoupdate()));
  if (!settings_->autoupdate()) {
    VLOG(1) << "Writing import browser data and enables stats prefs.";
    set(kImportBrowserDataPref,
        std::make_unique<FundamentalValue>(settings_->import_browser_data()));
    set(kEnableStatsPref,
        std::make_unique<FundamentalValue>(settings_->enable_velna_stats()));
  }
  // On disk before the next step reads it (the finalising step does).
  WritePrefsNow(store.get(), path);
  ScheduleNextStep();
}

void Installer::StepPreservePreviousStatus() {
  LOG(INFO) << "Preserving previous installer status.";
  // Done before the run's first change, when its own record took the
  // status file's place (PreservePreviousStatus).
  if (!preserved_status_.empty())
    VLOG(1) << "Previous status file kept as " << preserved_status_;
  ScheduleNextStep();
}

bool Installer::PreservePreviousStatus() {
  const base::FilePath& install_folder = status()->install_folder;
  base::FilePath source = install_folder.Append(kInstallLogFileName);
  if (!base::PathExists(source))
    source = install_folder.Append(kFormerInstallLogFileName);
  if (!base::PathExists(source)) {
    LOG(WARNING) << "No previous status file found.";
    return true;
  }
  // One that does not read was stood in for by a kept one (see Status):
  // a copy of it would stay in "old_status" for good.
  InstallLog previous;
  XmlDocument previous_document;
  if (!ReadInstallLog(&previous_document, &previous, source)) {
    LOG(WARNING) << "Not keeping the previous status file: it does not read";
    return KeepStandInRecord();
  }
  const base::FilePath old_status = install_folder.Append(kOldStatusFolderName);
  if (!base::DirectoryExists(old_status)) {
    VLOG(1) << "Creating folder for ald status files.";
    if (!RunOperation(std::make_unique<CreateFolderOperation>(old_status)))
      return false;
  }
  const base::FilePath target =
      MakeKeptInstallLogPath(install_folder, base::Time::Now().ToTimeT());
  // A copy: the status file stays in place until this run's record
  // replaces it, so that there is always one.
  VLOG(1) << "Moving old status file.";
  if (!RunOperation(std::make_unique<CopyFileOperation>(source, target)))
    return false;
  preserved_status_ = target;
  // The former engine's file is not replaced by this run's record: it goes
  // once that record is there.
  if (source.BaseName().value() == kFormerInstallLogFileName &&
      (!WriteInstallLogInProgress() ||
       !RunOperation(DeleteOperation(source, false, false)))) {
    return false;
  }
  return true;
}

bool Installer::KeepStandInRecord() {
  const base::FilePath& install_folder = status()->install_folder;
  const InstallLog& stand_in = status()->install_log;
  if (!status()->existing_installation || stand_in.subfolder.empty())
    return true;
  for (const base::FilePath& path : FindKeptInstallLogs(install_folder)) {
    InstallLog kept;
    XmlDocument document;
    if (ReadInstallLog(&document, &kept, path) &&
        base::FilePath::CompareIgnoreCase(kept.subfolder, stand_in.subfolder) ==
            0) {
      return true;
    }
  }
  // The version that the status file named, taken in from its folder: a
  // later run removes its files as those of any version before it.
  const base::FilePath old_status = install_folder.Append(kOldStatusFolderName);
  if (!base::DirectoryExists(old_status) &&
      !RunOperation(std::make_unique<CreateFolderOperation>(old_status))) {
    return false;
  }
  const base::FilePath path =
      MakeKeptInstallLogPath(install_folder, base::Time::Now().ToTimeT());
  LOG(INFO) << "Keeping the record of " << base::UTF16ToUTF8(stand_in.subfolder)
            << " that stood in for it as " << path;
  XmlDocument document;
  return RunOperation(std::make_unique<PreserveFileOperation>(path)) &&
         WriteInstallLog(&document, stand_in, path);
}

InstallLog Installer::InstallLogInProgress() const {
  InstallLog log = install_log_;
  log.complete = false;
  // Every file the copy steps may make, not only those made so far.
  log.files.clear();
  for (const std::string& line : files_list_)
    log.files.push_back(base::UTF8ToUTF16(line));
  log.root_files.clear();
  for (const std::string& line : root_files_list_)
    log.root_files.push_back(base::UTF8ToUTF16(line));
  if (settings_->operation() != kOperationUpgrading) return log;
  // What the previous installation recorded stays in the record until this
  // run has finished: the update removes it, or takes it over, only in its
  // own transaction. Its versioned files are listed by its status file in
  // "old_status".
  const InstallLog& previous = status()->install_log;
  // Only keys of the installer's own rows: a former engine's other keys,
  // which its clean-up leaves, would make this record one to refuse.
  const OwnRegistryRows own =
      OwnRegistryRows::ForInstallation(status()->install_folder, previous.path);
  const std::pair<HKEY, InstallLogRegistry*> sections[] = {
      {HKEY_LOCAL_MACHINE, &log.hklm_keys},
      {HKEY_CURRENT_USER, &log.hkcu_keys}};
  for (const auto& [root, section] : sections) {
    InstallLogRegistry kept;
    for (const InstallLogKey& key : ExpandProductPlaceholders(
             root == HKEY_LOCAL_MACHINE ? previous.hklm_keys
                                        : previous.hkcu_keys)) {
      if (own.DescribeForeign(root, key).empty()) kept.push_back(key);
    }
    section->insert(section->begin(), kept.begin(), kept.end());
  }
  for (const std::u16string& entry : previous.root_files) {
    bool listed = false;
    for (const std::u16string& file : log.root_files)
      listed |= base::FilePath::CompareIgnoreCase(file, entry) == 0;
    if (!listed) log.root_files.push_back(entry);
  }
  const std::pair<std::u16string*, const std::u16string*> shortcuts[] = {
      {&log.desktop_shortcut, &previous.desktop_shortcut},
      {&log.start_menu_shortcut, &previous.start_menu_shortcut},
      {&log.quick_launch_shortcut, &previous.quick_launch_shortcut}};
  for (const auto& [current, kept] : shortcuts) {
    if (current->empty()) *current = *kept;
  }
  return log;
}

bool Installer::WriteInstallLogInProgress() {
  const base::FilePath path =
      status()->install_folder.Append(kInstallLogFileName);
  // A record the file operations cannot remove again would outlive a
  // rollback.
  if (path.value().size() >= base::kMaxPathLength &&
      !base::HasSystemLongForm(path.value())) {
    LOG(ERROR) << "The installation status file's path is too long: " << path;
    return false;
  }
  // The file that was there (the previous installation's record, or
  // none) comes back when the run is rolled back.
  if (!install_log_in_progress_ &&
      !RunOperation(std::make_unique<PreserveFileOperation>(path))) {
    return false;
  }
  install_log_in_progress_ = true;
  XmlDocument document;
  return WriteInstallLog(&document, InstallLogInProgress(), path);
}

bool Installer::WriteWorkRecord() {
  const base::FilePath& install_folder = status()->install_folder;
  const base::FilePath old_status = install_folder.Append(kOldStatusFolderName);
  if (!base::DirectoryExists(old_status) &&
      !RunOperation(std::make_unique<CreateFolderOperation>(old_status))) {
    return false;
  }
  // What a later run needs to remove the new version's folder: the files
  // the copy steps may make there.
  InstallLog work;
  work.copy_only = install_log_.copy_only;
  work.all_users = install_log_.all_users;
  work.app_id = install_log_.app_id;
  work.path = install_log_.path;
  work.subfolder = install_log_.subfolder;
  work.version = install_log_.version;
  for (const std::string& line : files_list_)
    work.files.push_back(base::UTF8ToUTF16(line));
  work.complete = false;
  const base::FilePath path =
      MakeKeptInstallLogPath(install_folder, base::Time::Now().ToTimeT());
  VLOG(1) << "Recording the new version's files in " << path;
  // A rollback removes it again.
  if (!RunOperation(std::make_unique<PreserveFileOperation>(path)))
    return false;
  XmlDocument document;
  if (!WriteInstallLog(&document, work, path)) return false;
  work_record_ = path;
  return true;
}

bool Installer::EnterNewVersionInRecord() {
  VLOG(1) << "The new version's files are in place";
  if (!WriteInstallLogInProgress()) return false;
  // Listed by the status file now. Should it stay (a run ended in between),
  // it names the version the status file names, which a later run removes
  // only after an update beyond it.
  RunOperation(DeleteOperation(work_record_, false, false));
  work_record_ = base::FilePath();
  return true;
}

bool Installer::MarkRecordInProgress() {
  const base::FilePath path =
      status()->install_folder.Append(kInstallLogFileName);
  // The record goes last, after the commit: whether it can go is known
  // now, before any change. One held by another without leave to delete
  // it stops the uninstallation here.
  if (base::PathExists(path) &&
      !base::win::ScopedHandle(
           CreateFileW(base::SystemPathArg(path), DELETE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, 0, nullptr))
           .IsValid()) {
    PLOG(ERROR) << "The installation status file cannot be removed: " << path;
    Fail(kIdsUninstallError, u"", "Failed to remove installation status file");
    return false;
  }
  // A former engine's log is left as it is: it goes with the installation.
  if (status()->tamsel_installation) return true;
  InstallLog marked = status()->install_log;
  marked.complete = false;
  XmlDocument document;
  if (RunOperation(std::make_unique<PreserveFileOperation>(path)) &&
      WriteInstallLog(&document, marked, path)) {
    return true;
  }
  Fail(kIdsUninstallError, u"", "Failed saving the installation status");
  return false;
}

bool Installer::OverInterruptedInstallation() const {
  return status()->existing_installation && !status()->install_log.complete;
}

void Installer::RemoveStrayShortcuts() {
  const Status& current = *status();
  const ShortcutFolders keys = FoldersFor(settings_->all_users());
  const std::vector<std::u16string> recorded = {
      current.install_log.desktop_shortcut,
      current.install_log.start_menu_shortcut,
      current.install_log.quick_launch_shortcut};
  for (int key : {keys.desktop, keys.start_menu, keys.quick_launch}) {
    base::FilePath folder;
    if (!base::PathService::Get(key, &folder)) continue;
    for (const base::FilePath& stray :
         FindStrayShortcuts(folder, current.install_folder, recorded)) {
      VLOG(1) << "Removing stray shortcut " << stray;
      RunOperation(DeleteOperation(stray, false, false));
    }
  }
}

void Installer::RemoveWritersLeftovers() {
  const base::FilePath& install_folder = status()->install_folder;
  std::vector<base::FilePath> leftovers;
  for (const base::FilePath& folder :
       {install_folder, install_folder.Append(kOldStatusFolderName)}) {
    for (base::FilePath& path :
         FindWriterTemporaryFiles(folder, status()->install_log.root_files))
      leftovers.push_back(std::move(path));
  }
  // Not those of kept records: each lists what that run was removing, which
  // StepRemoveInstalledFiles removes from it before it goes.
  for (base::FilePath& copy : DeleteFileOperation::FindAsideCopies(
           install_folder.Append(kInstallLogFileName))) {
    leftovers.push_back(std::move(copy));
  }
  for (const base::FilePath& path : leftovers) {
    VLOG(1) << "Removing " << path << ", left by a run that did not finish";
    // "old_status" goes with the last of what it holds, as with its records.
    RunOperation(DeleteOperation(path, false, true));
  }
}

void Installer::RemoveFirstRecordsLeftovers() {
  const base::FilePath& install_folder = status()->install_folder;
  base::FileEnumerator entries(install_folder, false,
                               base::FileEnumerator::FILES,
                               std::u16string(kInstallLogFileName) + u".*.tmp");
  for (base::FilePath path = entries.Next(); !path.empty();
       path = entries.Next()) {
    std::u16string target;
    if (base::IsTemporaryFileNameOf(path.BaseName().value(), &target) &&
        base::EqualsCaseInsensitiveASCII16(target, kInstallLogFileName)) {
      VLOG(1) << "Removing " << path << ", left by a run that did not finish";
      RunOperation(DeleteOperation(path, false, false));
    }
  }
}

void Installer::RemoveAsideCopies(const base::FilePath& install_folder,
                                  const InstallLog& log) {
  for (const std::u16string& entry : log.files) {
    base::FilePath file;
    if (!InstallLogEntryPath(install_folder, log.subfolder, entry, &file))
      continue;
    for (const base::FilePath& copy :
         DeleteFileOperation::FindAsideCopies(file))
      RunOperation(DeleteOperation(copy, false, false));
  }
}

void Installer::StepRemoveInstalledFiles() {
  LOG(INFO) << "Removing installed files.";
  const base::FilePath& install_folder = status()->install_folder;
  const base::FilePath old_status = install_folder.Append(kOldStatusFolderName);
  const bool interrupted = OverInterruptedInstallation();
  if (interrupted) RemoveWritersLeftovers();
  if (!base::DirectoryExists(old_status)) {
    VLOG(1) << "No old status files found.";
    ScheduleNextStep();
    return;
  }
  const bool uninstalling = settings_->operation() == kOperationUninstalling;
  std::vector<base::FilePath> status_files;
  base::FileEnumerator enumerator(
      old_status, false, base::FileEnumerator::FILES, kOldStatusPattern);
  for (base::FilePath path = enumerator.Next(); !path.empty();
       path = enumerator.Next()) {
    // Of the aside copies, only a kept record's is a record: the one a run
    // that did not finish was removing.
    std::u16string original;
    if (DeleteFileOperation::IsAsideCopyName(path.BaseName().value(),
                                             &original) &&
        !IsKeptRecordName(original)) {
      continue;
    }
    status_files.push_back(path);
  }
  for (const base::FilePath& path : status_files) {
    InstallLog log;
    XmlDocument document;
    if (!ReadInstallLog(&document, &log, path)) {
      VLOG(1) << "Found invalid old status file: " << path;
      continue;
    }
    VLOG(1) << "Found old status file: " << path;
    // All that tells which files that run had begun to remove: the removal
    // is completed from it, and it goes last.
    const bool being_removed =
        DeleteFileOperation::IsAsideCopyName(path.BaseName().value(), nullptr);
    if (being_removed) {
      LOG(INFO) << "Completing the removal of " << path
                << ", left by a run that did not finish";
    }
    // The record this update keeps there (also one kept by a run that was
    // ended before it replaced the status file) names the files of the
    // installation it replaces, which may still be in use: a later run
    // removes them.
    if (!uninstalling &&
        base::FilePath::CompareIgnoreCase(
            log.subfolder, status()->install_log.subfolder) == 0) {
      // Not what a run that did not finish moved aside of them.
      if (interrupted || being_removed) RemoveAsideCopies(install_folder, log);
      // The status file lists them: a record being removed goes alone.
      if (being_removed)
        RunOperation(DeleteOperation(path, false, true));
      else
        VLOG(1) << "Keeping it for a later run: it lists the installed version";
      continue;
    }
    if (base::FilePath::CompareIgnoreCase(path.value(), work_record_.value()) ==
        0) {
      VLOG(1) << "Keeping it: it lists what this update copies";
      continue;
    }
    std::vector<base::FilePath> files;
    for (const std::u16string& entry : log.files) {
      base::FilePath file;
      if (InstallLogEntryPath(install_folder, log.subfolder, entry, &file))
        files.push_back(file);
    }
    // A run that did not finish may have left files aside and folders it
    // never filled.
    const bool cut_short = interrupted || !log.complete || being_removed;
    std::set<base::FilePath> folders;
    if (cut_short) {
      files = WithAsideCopies(files);
      folders = FoldersBelow(files, install_folder);
    }
    // One operation of the run: a later failure brings the files back. An
    // uninstallation leaves those in use (the installer it runs from may
    // be among them) to the clean-up batch file.
    if (!RunOperation(std::make_unique<DeleteFilesOperation>(
            std::move(files),
            uninstalling ? &kept_versions_leftovers_ : nullptr,
            install_folder))) {
      continue;
    }
    if (cut_short) {
      RunOperation(
          std::make_unique<RemoveEmptyFoldersOperation>(std::move(folders)));
    }
    VLOG(1) << "Deleting " << path;
    // The folder goes with its last status file, once the run commits.
    RunOperation(DeleteOperation(path, false, true));
  }
  if (base::FileEnumerator(
          old_status, false,
          base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES)
          .Next()
          .empty()) {
    RunOperation(DeleteOperation(old_status, false, false));
  }
  if (interrupted) {
    for (const base::FilePath& copy :
         DeleteFileOperation::FindAsideCopies(old_status)) {
      RunOperation(DeleteOperation(copy, false, false));
    }
  }
  RemoveCompanionShortcuts();
  ScheduleNextStep();
}

void Installer::StepCleanUpFilesAfterUninstall() {
  LOG(INFO) << "Cleaning up files after uninstallation";
  const Status& current = *status();
  const base::FilePath& install_folder = current.install_folder;
  const InstallLog& log = current.install_log;
  if (!settings_->copy_only()) {
    VLOG(1) << "Removing scheduled task";
    std::u16string task = base::UTF8ToUTF16(log.app_id);
    RemoveAutoupdateTask(&task);
  }
  // Decided while the installer preferences, which name the profile, are
  // still in place.
  const ProfileDeletionPlan profile = settings_->delete_profile()
                                          ? PlanProfileDeletion(install_folder)
                                          : ProfileDeletionPlan();

  std::vector<base::FilePath> versioned;
  for (const std::u16string& entry : log.files) {
    base::FilePath path;
    if (InstallLogEntryPath(install_folder, log.subfolder, entry, &path))
      versioned.push_back(path);
  }
  std::vector<base::FilePath> root_files;
  for (const std::u16string& entry : log.root_files) {
    base::FilePath path;
    if (InstallLogEntryPath(install_folder, u"", entry, &path))
      root_files.push_back(path);
  }
  // The files the installation keeps beside its status, which nothing reads
  // once the status is gone.
  const base::FilePath kept_files[] = {
      install_folder.AppendASCII(kPrefDefaultOverridesFileName),
      install_folder.Append(kInstallerPrefsFileName),
      install_folder.Append(kServerTrackingDataFileName)};
  const base::FilePath launcher = install_folder.Append(kLauncherFileName);
  if (OverInterruptedInstallation()) {
    // What the run that did not finish moved aside (looked for before this
    // run moves anything aside itself).
    std::vector<base::FilePath> paths = versioned;
    paths.insert(paths.end(), root_files.begin(), root_files.end());
    paths.insert(paths.end(), std::begin(kept_files), std::end(kept_files));
    paths.push_back(launcher);
    for (const base::FilePath& path : paths) {
      for (const base::FilePath& copy :
           DeleteFileOperation::FindAsideCopies(path)) {
        RunOperation(DeleteOperation(copy, false, true));
      }
    }
  }

  std::vector<base::FilePath> leftovers;
  std::set<base::FilePath> folders;
  auto leave = [&](const base::FilePath& path) {
    // Once, also when both a kept record and the status file list it (an
    // update ended before its commit lists its version in both).
    for (const base::FilePath& left : leftovers) {
      if (base::FilePath::CompareIgnoreCase(left.value(), path.value()) == 0)
        return;
    }
    leftovers.push_back(path);
    CollectLeftoverFolders(path, install_folder, &folders);
  };
  // Each file is reached through the install folder's held folders, let go
  // once the files are moved aside, before any folder may go.
  auto held = std::make_shared<HeldFolders>();
  held->Add(install_folder);
  auto delete_or_leave = [&](const base::FilePath& path, bool check_in_use,
                             bool remove_parents) {
    if (RunOperation(DeleteOperation(path, check_in_use, remove_parents, held)))
      return;
    // The batch file goes by the path: never one that leads elsewhere.
    if (base::IsLink(path)) {
      LOG(WARNING) << "Leaving " << path
                   << ": a link on its path leads elsewhere";
      return;
    }
    leave(path);
  };
  for (const base::FilePath& path : kept_versions_leftovers_) leave(path);
  const std::vector<bool> last = LastInTheirFolders(versioned);
  for (size_t i = 0; i < versioned.size(); ++i)
    delete_or_leave(versioned[i], true, last[i]);
  delete_or_leave(launcher, true, true);
  if (!BrandingConfig::IsWhiteLabeled()) {
    const base::FilePath old =
        install_folder.Append(base::UTF8ToUTF16(GetBrowserExecutableName()))
            .ReplaceExtension(kOldExtension);
    if (base::PathExists(old)) RunOperation(DeleteOperation(old, false, false));
  }
  for (const base::FilePath& path : kept_files)
    delete_or_leave(path, false, true);
  for (const base::FilePath& path : root_files)
    delete_or_leave(path, true, true);
  // The temporary files its writers and copies leave when they are ended
  // part-way.
  for (const base::FilePath& folder :
       {install_folder, install_folder.Append(kOldStatusFolderName)}) {
    for (const base::FilePath& path :
         FindWriterTemporaryFiles(folder, log.root_files))
      delete_or_leave(path, false, true);
  }
  held.reset();
  // The folders a run that did not finish made for files it never copied.
  if (OverInterruptedInstallation()) {
    RunOperation(std::make_unique<RemoveEmptyFoldersOperation>(
        FoldersBelow(versioned, install_folder)));
  }

  // Elevated, in a folder others may change (an older installer's, one
  // its owner opened since, a user's own installation, or a folder a user
  // made in it): the batch file, which goes by the path and runs once this
  // process has ended, gets no path there. What is left goes into its own
  // folder first; the record and the emptied folders go before this
  // process ends (FinishUninstall).
  const bool elevated = GetInstallerRights()->IsUserAdministrator(false);
  uninstall_in_open_folder_ = open_to_others_;
  if (uninstall_in_open_folder_) {
    uninstall_taken_ = leftovers;
    std::stable_sort(
        uninstall_taken_.begin(), uninstall_taken_.end(),
        [&install_folder](const base::FilePath& a, const base::FilePath& b) {
          return TakingOrder(a, install_folder) <
                 TakingOrder(b, install_folder);
        });
  }
  std::vector<std::string> batch_files;
  for (const base::FilePath& path :
       uninstall_in_open_folder_ ? std::vector<base::FilePath>() : leftovers) {
    std::string text;
    if (ToBatchPath(path, &text)) {
      batch_files.push_back(text);
    } else {
      LOG(ERROR) << "Leaving " << path
                 << " behind: the clean-up batch file cannot name it for "
                    "the command interpreter";
    }
  }
  if (!leftovers.empty()) {
    // The uninstallation succeeds all the same: the product is gone from
    // the system; what is left is said here.
    std::string names;
    for (const base::FilePath& path : leftovers)
      names += (names.empty() ? "" : ", ") + path.AsUTF8();
    LOG(WARNING) << leftovers.size()
                 << " files could not be removed now; the clean-up batch "
                    "file tries again once the installer has ended: "
                 << names;
  }
  // Removed once empty, deepest first, then the install folder with the
  // folders above it that the installation made: no interpreter runs in
  // any of them.
  std::vector<base::FilePath> emptied(folders.rbegin(), folders.rend());
  emptied.push_back(install_folder);
  const std::vector<base::FilePath> parents =
      CreatedParents(install_folder, log.created_parents);
  emptied.insert(emptied.end(), parents.begin(), parents.end());
  std::vector<std::string> batch_folders;
  if (uninstall_in_open_folder_) {
    uninstall_emptied_ = std::move(emptied);
  } else {
    for (const base::FilePath& folder : emptied) {
      std::string text;
      if (ToBatchPath(folder, &text)) {
        batch_folders.push_back(text);
        continue;
      }
      LOG(WARNING) << "Leaving " << folder
                   << " out of the clean-up batch file: the command "
                      "interpreter cannot read its name";
      // Nor the folders above it, which it keeps.
      if (IsStrictlyInside(folder, install_folder)) continue;
      break;
    }
  }
  unsigned initial_pid = 0;
  if (!settings_->process_switches().GetInitialPid(&initial_pid))
    initial_pid = 0;
  // With a temporary grant, the folder-permission utility writes and runs a
  // batch file of its own once the grant has ended.
  if (!undo_permission_event_.IsValid()) {
    UninstallBatchPlan plan;
    // The crash reporter runs the front end's program too, which may be
    // one of the leftovers, and it ends only after the front end.
    plan.process_ids = {static_cast<uint32_t>(GetCurrentProcessId()),
                        initial_pid, permission_process_id_,
                        crash_reporter::GetCrashReporterPid()};
    plan.files = std::move(batch_files);
    plan.folders = std::move(batch_folders);
    // Started before the entry goes, it does nothing until this process
    // has finished, and nothing at all when it ended before; it removes
    // the record last (FinishUninstall), unless the record's path is too
    // long for the interpreter.
    const base::FilePath record = install_folder.Append(kInstallLogFileName);
    if (!uninstall_in_open_folder_ && record.value().size() < MAX_PATH)
      ToBatchPath(record, &plan.record);
    batch_removes_record_ = !plan.record.empty();
    uninstall_batch_ = WriteUninstallBatch(
        std::move(plan), elevated, &uninstall_batch_hold_, uninstall_taken_);
  }
  uninstall_leftovers_ = leftovers;
  finish_uninstall_ = true;

  if (!profile.folder.empty()) {
    LOG(INFO) << "Deleting user profile.";
    if (!DeleteProfileFolder(profile.folder))
      LOG(WARNING) << "Could not delete " << profile.folder;
    if (!profile.local_folder.empty() &&
        !DeleteProfileFolder(profile.local_folder)) {
      LOG(WARNING) << "Could not delete " << profile.local_folder;
    }
  }
  observers_.Notify(&InstallerObserver::OnStep);
  ReportSuccess();
}

void Installer::FinishUninstall() {
  const base::FilePath& install_folder = status()->install_folder;
  // The batch file that removes what is still in use runs before the entry
  // goes, and removes the record last: a run ended at any point leaves the
  // record, marked unfinished, until the files it lists are gone, and the
  // programs its command needs with it. The batch file does nothing when
  // this process ends before it lets it go on.
  bool batch_started = false;
  if (!uninstall_batch_.empty()) {
    LOG(INFO) << "Starting final cleanup batch file.";
    batch_started = LaunchBatch(uninstall_batch_);
  }
  const base::FilePath record = install_folder.Append(kInstallLogFileName);
  std::vector<base::FilePath> staying = uninstall_leftovers_;
  if (uninstall_in_open_folder_) {
    if (!FinishUninstallInOpenFolder(batch_started)) staying.push_back(record);
  } else {
    RemoveUninstallEntries();
    if (batch_started && batch_removes_record_) {
      LOG(INFO) << "The clean-up batch file removes the installation status "
                   "file last";
      FinishUninstallBatchHold(&uninstall_batch_hold_);
      staying.push_back(record);
    } else {
      LOG(INFO) << "Removing the installation status file";
      if (!base::DeleteFileOrDirectory(record, false)) {
        PLOG(ERROR) << "Could not remove the installation status file "
                    << record;
      }
      if (uninstall_batch_hold_.IsValid())
        FinishUninstallBatchHold(&uninstall_batch_hold_);
    }
  }
  LogWhatStays(install_folder, staying);
}

void Installer::RemoveUninstallEntries() {
  LOG(INFO) << "Removing the uninstall entry";
  // Committed as it goes out of scope: nothing is left to roll back.
  Transaction removal;
  InstallLogRegistry hkcu;
  InstallLogRegistry hklm;
  SplitUninstallEntries(nullptr, nullptr, &hkcu, &hklm);
  const OwnRegistryRows own = OwnRows();
  CleanUpInstallLogRegistry(HKEY_CURRENT_USER, hkcu, own, &removal);
  CleanUpInstallLogRegistry(HKEY_LOCAL_MACHINE, hklm, own, &removal);
}

bool Installer::FinishUninstallInOpenFolder(bool batch_started) {
  const base::FilePath& install_folder = status()->install_folder;
  const std::vector<base::FilePath>& taken = uninstall_taken_;
  // Taken only now, once nothing of the run needs them in place; the
  // launcher and the versions' installers last, once the entry has gone:
  // a run ended before the launcher goes is completed by the entry's
  // command (or the launcher's "/uninstall"), before the installer goes by
  // the installer's own.
  const size_t programs =
      std::partition_point(taken.begin(), taken.end(),
                           [&install_folder](const base::FilePath& file) {
                             return TakingOrder(file, install_folder) == 0;
                           }) -
      taken.begin();
  bool all_taken = taken.empty();
  if (batch_started) {
    all_taken =
        MoveIntoUninstallBatchFolder(uninstall_batch_, taken, 0, programs);
  }
  RemoveUninstallEntries();
  if (batch_started) {
    all_taken = MoveIntoUninstallBatchFolder(uninstall_batch_, taken, programs,
                                             taken.size()) &&
                all_taken;
  }
  // The folders they emptied go before the record that names them, the
  // install folder and those above it after.
  std::vector<base::FilePath> inside;
  std::vector<base::FilePath> outside;
  for (const base::FilePath& folder : uninstall_emptied_)
    (IsStrictlyInside(folder, install_folder) ? inside : outside)
        .push_back(folder);
  LOG(INFO) << "Removing the folders the uninstallation emptied";
  RemoveEmptyFoldersWithoutLinks(inside);
  const base::FilePath record = install_folder.Append(kInstallLogFileName);
  // The record lists what stays, for an uninstallation run again.
  if (!all_taken) {
    LOG(WARNING) << "Keeping the installation status file: files it lists "
                    "stay";
  } else {
    LOG(INFO) << "Removing the installation status file";
    if (!base::DeleteWithoutLinks(record.value(), false))
      PLOG(ERROR) << "Could not remove the installation status file " << record;
  }
  LOG(INFO) << "Removing the install folder " << install_folder
            << " once it is empty";
  RemoveEmptyFoldersWithoutLinks(outside);
  if (uninstall_batch_hold_.IsValid())
    FinishUninstallBatchHold(&uninstall_batch_hold_);
  return all_taken;
}

}  // namespace installer
