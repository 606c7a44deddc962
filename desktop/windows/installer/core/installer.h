// Installer: the step machine of a backend process. It performs one
// installation, update or uninstallation: Start() posts Run(), which makes
// the preparatory checks (rights, folders, the install log's identity, the
// file lists) and builds the step list of the operation; every step then
// runs as one task of the owner thread and, when it has finished, schedules
// the next one. Every change a step makes is an Operation run through the
// one Transaction of the run (RunOperation), so that an error or a
// cancellation rolls back everything done so far.
//
// The install folder's status file records the run from before its first
// change in the folder: a copy of what this run may have changed, marked
// incomplete, rewritten after every step; once the run has succeeded and
// committed, the finished record. So a run that is killed part-way leaves a
// record that the uninstallation and the next installation act on (an
// incomplete record counts as an existing installation: the next install
// runs as an update over it).
//
// The status file always names a version whose folder is complete, for the
// launcher and the uninstall entry that find the installation through it:
// an update keeps the previous installation's record there until the new
// version's files are all in place, and meanwhile records the new version's
// folder in a kept status of its own in "old_status", where the next run or
// the uninstallation removes what it lists. An uninstallation marks the
// record incomplete before its first change and removes it, with the
// uninstall entry, only once everything else is gone, so that one ended
// part-way can be run again from the entry.
//
// The outcome goes to the InstallerObservers: OnTotalSteps once, OnStep per
// step, then exactly one ending: OnSuccess; or OnError followed by
// OnInstallerTerminated(false); or OnInstallerTerminated(false) alone for a
// cancellation (the front end's InstallationInterrupted event). Once a run
// has ended (Finish), nothing changes it any more: a later Cancel, error or
// success report, and any step task still queued, does nothing.
//
// The step lists come from an InstallerStepFactory: the real one builds the
// lists of the three operations from the Step* members below; tests install
// their own (internal::SetInstallerStepFactoryForTesting).
//
// Threading: created, started and destroyed on one thread with a message
// loop (the owner thread); every step, watcher callback and observer call
// runs there. The settings are not owned and must outlive the run.
// Destroying a running Installer cancels it (rolls back).

#ifndef DESKTOP_WINDOWS_INSTALLER_CORE_INSTALLER_H_
#define DESKTOP_WINDOWS_INSTALLER_CORE_INSTALLER_H_

#include <stdint.h>
#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/callback.h"
#include "base/files/file_path.h"
#include "base/location.h"
#include "base/memory/weak_ptr.h"
#include "base/observer_list.h"
#include "base/sequenced_task_runner.h"
#include "base/win/object_watcher.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/common/installer_observer.h"
#include "desktop/windows/installer/core/folder_permission_win.h"
#include "desktop/windows/installer/core/settings.h"
#include "desktop/windows/installer/service/install_log.h"
#include "desktop/windows/installer/service/own_registry_rows_win.h"
#include "desktop/windows/installer/service/registry_entry_win.h"
#include "desktop/windows/installer/service/task_service_warm_up_win.h"
#include "desktop/windows/installer/service/taskbar_pins_win.h"
#include "desktop/windows/installer/service/transactions/file_security.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"

namespace installer {

class Installer;
class Operation;
class ProtectedPackage;
class SavedSecurity;
class Status;
class TaskScheduler;

// Files of the unpacked package beside the backend executable: one path
// per line, relative to the package folder.
inline constexpr char16_t kFilesListFileName[] = u"files_list";
inline constexpr char16_t kRootFilesListFileName[] = u"root_files_list";
// Preferences the front end gives the package (the welcome page).
inline constexpr char16_t kPrefsIncludeFileName[] =
    u"installer_prefs_include.json";

// What an elevated run (RunElevated) or the elevated folder-permission
// utility (RequestFolderPermission) came to.
enum class ElevationResult : int {
  kSucceeded = 0,
  // Elevation is impossible (UAC off) or was refused (the launch failed).
  kRefused = 1,
  // The elevated process failed: the wait failed, it exited with another
  // code than 0, or it ended before granting.
  kProcessFailed = 2,
  // Nothing was launched: no user name, no own path, no events.
  kSetUpError = 3,
};

// Builds the step list of a run. A step is a closure that the Installer
// posts as one task; it ends by calling ScheduleNextStep() (every step but
// the last), ReportSuccess() (the last) or ReportError().
class InstallerStepFactory {
 public:
  virtual ~InstallerStepFactory() = default;
  // Never empty.
  virtual std::vector<base::Closure> BuildSteps(
      Installer* installer, InstallationOperation operation) = 0;
};

namespace internal {

// Makes |factory| (not owned; null restores the real lists) build the steps
// of every Installer of this process started afterwards. For tests and test
// hosts, on the main thread before the first Start().
void SetInstallerStepFactoryForTesting(InstallerStepFactory* factory);
// The factory of the real step lists, for a test factory that wraps them.
InstallerStepFactory* GetDefaultInstallerStepFactory();

// What the steps ask of the system where a test needs a stand-in (for
// tests and test hosts, on the main thread before the first Start(); null
// restores the real one).

// The scheduler the finalising and clean-up steps use: TaskScheduler::Create
// by default.
using TaskSchedulerFactory = std::unique_ptr<TaskScheduler> (*)();
void SetTaskSchedulerFactoryForTesting(TaskSchedulerFactory factory);
std::unique_ptr<TaskScheduler> CreateTaskScheduler();

// Taskbar pins: the shell's verbs (service/taskbar_pins_win.h) by default.
void SetTaskbarPinsForTesting(TaskbarPins* pins);
TaskbarPins* GetTaskbarPins();

// Starts the uninstall batch file |batch| (as WriteUninstallBatch wrote it)
// without waiting: LaunchUninstallBatch (uninstall_batch_win.h) by default.
// True when started.
using UninstallBatchLauncher = bool (*)(const base::FilePath& batch);
void SetUninstallBatchLauncherForTesting(UninstallBatchLauncher launcher);

// Deletes a profile folder with everything in it: a recursive delete by
// default. True when it is gone.
using ProfileDeleter = bool (*)(const base::FilePath& folder);
void SetProfileDeleterForTesting(ProfileDeleter deleter);

// Whether two existing folders lie on one volume, so that a file moves from
// one to the other without its bytes being copied: their volume serial
// numbers by default. False when either cannot be opened.
using SameVolumeCheck = bool (*)(const base::FilePath& a,
                                 const base::FilePath& b);
void SetSameVolumeCheckForTesting(SameVolumeCheck check);
bool IsOnSameVolume(const base::FilePath& a, const base::FilePath& b);

// Whether |line| of a files list (or an install log entry) names a file
// inside the folder it is joined to: IsSafeRelativePathUtf8() of
// package_fetcher/archive_item_path.h, the check of the archive's names.
bool IsSafeRelativeFileListLine(const std::string& line);

}  // namespace internal

class Installer : public base::win::ObjectWatcher::Delegate,
                  public RegistryEntry::Delegate {
 public:
  Installer();
  Installer(const Installer&) = delete;
  Installer& operator=(const Installer&) = delete;
  // Cancels a run that is still going, then closes the events.
  ~Installer() override;

  // Begins the run: freezes |settings|, keeps them and posts Run. The
  // Installer must hold no settings, and |settings| must have their Status
  // (both fatal otherwise). Results arrive through the observers.
  void Start(Settings* settings);

  void AddObserver(InstallerObserver* observer) {
    observers_.AddObserver(observer);
  }
  void RemoveObserver(InstallerObserver* observer) {
    observers_.RemoveObserver(observer);
  }

  // --- What steps use.

  // Posts the step at the cursor, tells the observers OnStep, moves the
  // cursor on. Not after the last step. Once the run keeps a record in the
  // status file, records the finished step there first; when that fails,
  // reports the error instead.
  void ScheduleNextStep();
  // Posts |task| (a step, or a step's continuation) as one task that runs
  // only while this run is still going.
  void PostStepTask(const base::Location& from_here, const base::Closure& task);
  // OnError on every observer, then Cancel(). Returns |detail| for the
  // caller to log at ERROR. Nothing is reported once the run has ended.
  std::string ReportError(uint32_t string_id, const std::u16string& text,
                          const std::string& detail);
  // "Installation succeeded", succeeded() true, OnSuccess, then commits
  // the transaction, marks the run's record complete (an uninstallation:
  // removes its entry and the record, then starts the clean-up batch file)
  // and Finish(). Only while running.
  void ReportSuccess();
  // Rolls the transaction back, Finish(), OnInstallerTerminated(false).
  // Does nothing once the run has ended.
  void Cancel();
  // Restores the folder's saved security, signals the undo-permission
  // event, forgets the settings and ends the run (no rollback).
  void Finish();

  // Runs |operation| through the run's transaction; false when it failed
  // (and was rolled back).
  bool RunOperation(std::unique_ptr<Operation> operation);

  bool running() const { return running_; }
  // The backend's exit result.
  bool succeeded() const { return succeeded_; }
  // Null while idle and after Finish().
  Settings* settings() const { return settings_; }
  Status* status() const;
  InstallLog* install_log() { return &install_log_; }
  // The package folder this run reads: the running executable's folder, or
  // the protected copy of it that an elevated run uses.
  const base::FilePath& own_directory() const { return own_directory_; }
  const std::vector<std::string>& files_list() const { return files_list_; }
  const std::vector<std::string>& root_files_list() const {
    return root_files_list_;
  }
  base::ObserverList<InstallerObserver>* observers() { return &observers_; }
  // The steps of this run (after Run built them).
  size_t step_count() const { return steps_.size(); }

  // --- base::win::ObjectWatcher::Delegate: the interrupted event cancels;
  // the package-ready event hands over to the package's backend.
  void OnObjectSignaled(HANDLE object) override;

  // --- Placeholders and small helpers (installer_placeholders_win.cc).

  // RegistryEntry::Delegate: the table of exact, case-sensitive names
  // (InstallFolder, Version, Executable, Product, Company,
  // CompanyRegistryKey, Stream, Uninstall, HelpURL, CompanyURL,
  // DownloadsURL); any other name comes back unchanged.
  std::u16string ResolvePlaceholder(const std::u16string& name) override;
  // Null unless the registry step records (set_recording_registry): the
  // machine-wide section of the install log for HKEY_LOCAL_MACHINE, the
  // per-user one for any other root.
  InstallLogRegistry* GetInstallLogRegistry(HKEY root) override;
  void set_recording_registry(bool recording) {
    recording_registry_ = recording;
  }
  void set_uninstall_command(const std::u16string& command) {
    uninstall_command_ = command;
  }

  // Over a former-engine installation: the first "{Product}" becomes the
  // edition suffix of its product type, the first "{SPProduct}" a space and
  // that suffix. Otherwise |text| unchanged.
  std::u16string ExpandProductPlaceholders(const std::u16string& text) const;
  // The same for every key path and value name of |section|.
  InstallLogRegistry ExpandProductPlaceholders(
      const InstallLogRegistry& section) const;
  // "" for 0, the two further editions for 1 and 2, else "Invalid".
  static std::u16string GetEditionSuffix(int product_type);
  // Install-folder name, " <major>" with |with_version|, the branding's
  // shortcut suffix, ".lnk".
  static std::u16string GetShortcutFileName(bool with_version);

  struct ShortcutLocation {
    base::FilePath folder;
    // Receives folder + name when the copy succeeded; may be null.
    base::FilePath* out_path = nullptr;
  };
  // Creates the master shortcut to |target| beside the running executable
  // (with the version in its name when |*with_version| is set, or becomes
  // set because a location already holds the plain name), pins it when
  // |pin| and pinning is possible (a failure is logged: "Failed pinning"),
  // then copies it to every location through the transaction. False only
  // when the master shortcut cannot be created.
  bool CreateMasterShortcut(std::vector<ShortcutLocation>* locations, bool pin,
                            bool* with_version, const base::FilePath& target);
  // "Software\Microsoft\Windows\CurrentVersion\Uninstall\<product>
  // <version>" + |suffix|.
  static std::u16string GetUninstallKeyPath(const std::u16string& suffix);
  // Whether |key_path| (a key of an install log's registry section) is an
  // uninstall entry: a key directly below the system's list of them.
  static bool IsUninstallEntryKey(const std::string& key_path);
  // "<name>@1" or "<name>@2".
  static std::string FormatFeatureOverride(const std::string& name,
                                           bool enabled);
  // Deletes the companion application's shortcuts from the user's
  // Start-menu programs folder.
  static void RemoveCompanionShortcuts();
  // Deletes the scheduled task "Autoupdate " + |*name| (and stale tasks),
  // then empties |*name|. Ignores every failure.
  static void RemoveAutoupdateTask(std::u16string* name);

 private:
  friend class DefaultStepFactory;

  // The checks before the steps, then the step list; one task. Each part
  // below that returns a bool returns false once the run has ended (an
  // error was reported, or an elevated copy took over).
  void Run();
  // The settings' operation fits this run.
  bool CheckOperation();
  // The existing installation's record names no registry key or value
  // outside the installer's own rows (own_registry_rows_win.h): a run over
  // one that does is refused before it changes anything. A former
  // engine's record passes; its clean-up refuses such keys one by one.
  bool CheckRecordedRegistry();
  bool FindOwnDirectory();
  // Watches the front end's InstallationInterrupted event.
  bool WatchForInterruption();
  // The backend that started this elevated copy ("parent-pid"), for the
  // clean-up batch file.
  void TakeParentPid();
  // Rights and the install folder: elevates or asks for access where
  // needed, protects a folder for all users, and creates the folder.
  bool PrepareInstallFolder(bool is_admin);
  // A new folder that the user may create is made at once (the access
  // check needs it); |*has_write| becomes the inspection's answer then.
  bool CreateNewFolderWhereWritable(bool is_admin, bool* has_write);
  // The operation that makes the install folder (with its missing
  // parents); one for every user is made protected (folder_security_win.h)
  // unless Program Files passes its list on.
  std::unique_ptr<Operation> CreateInstallFolderOperation() const;
  // The last install path in the registry (not for an uninstallation, a
  // stand-alone installation or an autoupdate). Never ends the run.
  void SaveLastInstallPath();
  // A new single-profile installation by an administrator: the user keeps
  // full access to the install folder, or for all users to the profile's
  // folder in it (made when missing; the install folder must exist).
  void GrantSingleProfileFolderForGood(bool is_admin);
  // Grants the user access to the folder for this run, elevated if need be.
  bool ObtainWriteAccess(bool is_admin);
  bool HandleFolderPermissionResult(ElevationResult result);
  // The install log's identity: mode, folder, version and AppId.
  void StartInstallLog();
  // An installation or update: the package's files are moved rather than
  // copied when the package shares the install folder's volume.
  void ChooseMoveOrCopy();
  // An uninstallation: deletes the browser's executable, which fails
  // while it runs (message 37063), or when a link on its way leads
  // elsewhere (37058, with its path).
  bool RemoveBrowserUnlessRunning();
  // An update takes the experiment states stored with the installation.
  void ApplyExperimentStates();
  void BuildAndScheduleSteps();
  // Part of Run, before the package is read: an elevated run takes it only
  // from a copy that no other user can change (protected_package_win.h).
  // False after an error was reported.
  bool UseProtectedPackage(bool elevated);
  // Part of PrepareInstallFolder, before any change, for an elevated
  // install or update for all users: the install folder must not let other
  // users change it (the system runs its launcher), nor move it away
  // through a folder above it (FindParentOthersMayMove; in Program Files,
  // the folders below it). One that exists, in Program Files too, and that
  // others may change is refused (message 37058 with the folder), unless it
  // is empty and nobody holds it: it is then made anew with the protected
  // list (RemakeEmptyFolderOperation). So is every folder it holds already
  // (but the single profile's), each refused with its own name, and one
  // that cannot be listed. When any was made anew, the folder is inspected
  // again, and an update of an installation no longer there becomes a new
  // one. False after an error was reported.
  bool TakeAllUsersFolder();
  // Judges |folder| as above: true when nobody else may change it, or when
  // it was made anew (|*remade| set).
  bool TakeFolderForAllUsers(const base::FilePath& folder, bool* remade);
  // Whether others may move the install folder away through a folder
  // above it (in Program Files, below Program Files), or, unless this run
  // made it in Program Files, change it or a folder it holds (but the
  // single profile's), or one of those is a link or cannot be listed.
  bool OthersMayChangeInstallation() const;
  // Part of Run: the file lists (install and update). False after an error
  // was reported.
  bool ReadFileLists();
  // Part of Run, before any change to a new installation: the package's
  // files fit the install folder. False after an error was reported.
  bool CheckPackagePathLengths();
  bool CreateInstallationSubfolder();
  // An update: copies the previous installation's status file into
  // "old_status" (where a later update or the uninstallation removes the
  // files it lists), through the transaction. True also when there is no
  // status file to keep.
  bool PreservePreviousStatus();
  // Part of PreservePreviousStatus when the status file does not read: the
  // record that stood in for it, when it names a version folder that no
  // kept record names (see Status), is kept in "old_status" in its place.
  // False after a failed operation.
  bool KeepStandInRecord();
  // The status file's record while the run works: this run's log, marked
  // incomplete, with every file it may copy and, during an update, what
  // the previous installation recorded that this run has not replaced yet
  // (registry keys, root files, shortcuts).
  InstallLog InstallLogInProgress() const;
  // Writes InstallLogInProgress() to the status file; the first time keeps
  // the file that was there, so that a rollback puts it back. False when
  // it cannot be written.
  bool WriteInstallLogInProgress();
  // An update, before its first file: the record of the new version's
  // folder and files, marked incomplete, goes into "old_status" (through
  // the transaction), while the status file keeps naming the installed
  // version. False when it cannot be written.
  bool WriteWorkRecord();
  // An update whose files are all in place: the status file takes this
  // run's record, then the work record goes. False when the status file
  // cannot be written.
  bool EnterNewVersionInRecord();
  // An uninstallation, before its first change: the record is rewritten
  // marked incomplete (a rollback puts the file back). False, after the
  // error was reported, when it cannot be written or could not be removed
  // at the end.
  bool MarkRecordInProgress();
  // The existing installation's recorded keys per hive, with the product
  // placeholders expanded: its uninstall entries into |*_entries|, every
  // other key into |*_rest|.
  void SplitUninstallEntries(InstallLogRegistry* hkcu_rest,
                             InstallLogRegistry* hklm_rest,
                             InstallLogRegistry* hkcu_entries,
                             InstallLogRegistry* hklm_entries) const;
  // The registry rows the installer writes for the existing installation:
  // all that a clean-up of its recorded keys may remove.
  OwnRegistryRows OwnRows() const;
  // The uninstall entries under |root| that the existing installation's
  // record lists and that are its own (OwnRegistryRows): one a run that did
  // not finish left part-written, or this version's whole one. The registry
  // step takes such an entry over rather than writing one beside it.
  std::vector<std::u16string> RecordedOwnEntries(HKEY root) const;
  // Removes, through the transaction, the values of the entry |path| under
  // |root| that the installer's rows write into an uninstall entry and this
  // run did not (not in |written|): those of the run that wrote it before.
  void RemoveEntryValuesNotWritten(HKEY root, const std::u16string& path,
                                   const std::vector<std::u16string>& written);
  // An update: removes, through the transaction, the previous uninstall
  // entries other than the one this run wrote.
  void RemovePreviousUninstallEntries();
  // The end of an uninstallation, after its commit: the clean-up batch file
  // starts, the uninstall entries go, then the record (or the batch file
  // removes it last); what stays in the install folder besides what the
  // batch file removes is logged.
  void FinishUninstall();
  // Removes the uninstall entries the record lists that are the
  // installation's own, at once.
  void RemoveUninstallEntries();
  // FinishUninstall where others may change the install folder: what is
  // still in use goes into the batch file's folder, the launcher and the
  // versions' installers last, once the entries are gone; then the folders
  // that emptied, the record (only when every file was taken) and the
  // install folder. False when the record stays.
  bool FinishUninstallInOpenFolder(bool batch_started);
  // The previous installation's record is one of a run that did not finish:
  // the steps that remove what it lists also remove what such a run leaves
  // beside it (files moved aside, strays of its shortcuts).
  bool OverInterruptedInstallation() const;
  // Removes the temporary files of a first record that a first install
  // ended while it wrote it left in the install folder.
  void RemoveFirstRecordsLeftovers();
  // Over a run that did not finish and left no launcher (one that ran while
  // an update replaced it, cut between the two renames the replacement then
  // takes), renames the launcher's newest aside copy back to its name,
  // outside the transaction. Before anything else of the run. True when it
  // put the launcher back.
  bool PutLauncherBack();
  // Over a run that did not finish: deletes, through the transaction, the
  // temporary files its writers and copies left in the install folder and
  // in "old_status" ("<hex>.tmp", also set aside) and the aside copies of
  // the status file (not those of kept records, from which
  // StepRemoveInstalledFiles completes the removal that run began).
  void RemoveWritersLeftovers();
  // Deletes, through the transaction, the aside copies of the files that
  // |log| lists in |install_folder|.
  void RemoveAsideCopies(const base::FilePath& install_folder,
                         const InstallLog& log);
  // Deletes, through the transaction, the product's shortcuts in this
  // installation's shortcut folders that lead into the install folder and
  // are not the ones its record names (see FindStrayShortcuts).
  void RemoveStrayShortcuts();
  void ApplyStoredExperiments();
  // Runs |step| unless the run has ended.
  void RunStepTask(const base::Closure& step);
  // Reports |detail| with |string_id| and logs it at ERROR.
  void Fail(uint32_t string_id, const std::u16string& text,
            const std::string& detail);
  // Maps a result of RunElevated() to the run's outcome; none when the
  // elevated run led to a package hand-over, which reports its own.
  void HandleElevatedResult(ElevationResult result);

  // --- Elevation, folder permission and the package hand-over
  // (installer_handover_win.cc).
  // The rights and the elevated launch come from GetInstallerRights()
  // (installer_rights_win.h).
  ElevationResult RunElevated();
  // On success the permission utility's Undo event is kept: Finish()
  // signals it, and the utility then takes its grant back.
  ElevationResult RequestFolderPermission(const base::FilePath& folder,
                                          bool permanent);
  static bool IsUacEnabled();
  static bool FixEventACL(HANDLE event);
  void RunPostElevationTasks();
  // The per-user registration of an installation made by an elevated copy.
  void RegisterForCurrentUser();
  void WaitForPackage(bool post_elevated);
  // Removes, at once, the registry keys and the shortcuts that the record
  // in |install_folder| lists (nothing without a readable record, and no
  // key of a record that names any outside the installer's own rows).
  static void RemoveRegistrationOf(const base::FilePath& install_folder);
  // The package-ready event was signalled: runs the package's backend to
  // its end and reports its outcome as this run's.
  void HandOverToPackageBackend();

  // --- The steps (installer_steps_win.cc).
  void StepCopyFiles(uint32_t index);
  void StepCopyRootFiles(uint32_t index);
  void StepInstallLauncher();
  void StepRemoveOldRootFiles();
  void StepSetUpRegistry();
  void StepCleanUpRegistry();
  void StepInstallShortcuts();
  void StepUpdateShortcuts();
  void StepRemoveShortcuts();
  void StepFinalize();
  void StepFinalizeUninstall();
  void StepWriteInstallerPrefs();
  void StepPreservePreviousStatus();
  void StepRemoveInstalledFiles();
  void StepCleanUpFilesAfterUninstall();
  // The copy of one file of |list| (the versioned or the root files), then
  // |continuation| for the next one; successes go to |recorded|. On the
  // package's volume the file is moved instead (its undo moves it back).
  void StepCopyFile(uint32_t index, const std::vector<std::string>& list,
                    const base::Closure& continuation,
                    std::vector<std::u16string>* recorded, bool root);
  // The end of a successful installation: profile changes and the browser
  // start. Also after an elevated installation.
  void FinalizeSuccessfulInstallation();
  // Starts |launch| (the launcher) and waits for its end: with the run's own
  // token when it is not elevated, else as the desktop's user
  // (desktop_user_start_win.h), or not at all.
  void LaunchBrowserForUser(const base::CommandLine& launch);
  // Takes |shortcut| off the taskbar through the transaction, so that a
  // rollback pins it again. A refused unpin is only logged.
  void Unpin(const base::FilePath& shortcut);
  // Parts of the finalising steps.
  // Whether the finalising step registers the autoupdate task.
  bool RegistersScheduledTask() const;
  // Has the task scheduler connected to while the package is taken and the
  // steps run (not with an injected scheduler), so that its service is up
  // by the time the task is registered.
  void WarmUpTaskService();
  void RegisterScheduledTask();
  void ResetDefaultBrowser();
  void OpenUninstallSurvey();

  // The thread's runner: Run, every step and its continuations go here.
  base::ScopedRefPtr<base::SequencedTaskRunner> owner_runner_;
  // The folder's access list before a temporary grant; restored by Finish.
  std::unique_ptr<SavedSecurity> saved_folder_security_;
  Transaction transaction_;
  base::ObserverList<InstallerObserver> observers_;
  // The package's copy of an elevated run; own_directory_ is then its
  // folder.
  std::unique_ptr<ProtectedPackage> protected_package_;
  // An elevated backend's copy of the package being unpacked, made while it
  // waits for the package.
  std::unique_ptr<ProtectedPackage> package_copy_;
  std::unique_ptr<TaskServiceWarmUp> task_service_warm_up_;
  base::FilePath own_directory_;
  std::vector<std::string> files_list_;
  std::vector<std::string> root_files_list_;
  // The package and the install folder share a volume: the copy steps move
  // the package's files. Each moved file's new place, by its package path
  // (a file listed twice is copied from there the second time).
  bool move_package_files_ = false;
  // Set for an installation for all users: a moved file takes the owner
  // and access list of its install folder, not those of the user's
  // temporary folder.
  std::shared_ptr<FileSecurity::FolderSecurities> moved_files_securities_;
  std::map<std::u16string, base::FilePath> moved_files_;
  // The package's folder and the install folder, held while the copy
  // steps move the files, so that each file costs one open in its held
  // folder; let go before anything may have to delete a folder.
  std::shared_ptr<HeldFolders> held_folders_;
  Settings* settings_ = nullptr;
  InstallLog install_log_;
  std::u16string uninstall_command_;
  bool running_ = false;
  bool succeeded_ = false;
  bool recording_registry_ = false;
  base::win::ScopedHandle undo_permission_event_;
  uint32_t permission_process_id_ = 0;
  base::win::ScopedHandle package_ready_event_;
  base::win::ScopedHandle interrupted_event_;
  base::win::ObjectWatcher package_ready_watcher_;
  base::win::ObjectWatcher interrupted_watcher_;
  bool post_elevation_ = false;
  // The run has put its record in the status file's place.
  bool install_log_in_progress_ = false;
  // Where an update kept the previous status file in "old_status".
  base::FilePath preserved_status_;
  // An update's record of the new version in "old_status" until its files
  // are all in place (EnterNewVersionInRecord); empty otherwise.
  base::FilePath work_record_;
  // Set by the last step of an uninstallation: ReportSuccess finishes it
  // (FinishUninstall), starting |uninstall_batch_| when there is one. What
  // it hands that batch file to remove.
  bool finish_uninstall_ = false;
  base::FilePath uninstall_batch_;
  // Held until the entry is gone: the batch file waits.
  base::win::ScopedHandle uninstall_batch_hold_;
  // The batch file deletes the record, after the files it removes.
  bool batch_removes_record_ = false;
  std::vector<base::FilePath> uninstall_leftovers_;
  // Others may change the install folder of this elevated uninstallation:
  // the batch file gets no path there.
  // An elevated run in an installation others may change
  // (OthersMayChangeInstallation): nothing goes by the path later, neither
  // at the system's next start nor in the clean-up batch file.
  bool open_to_others_ = false;
  bool uninstall_in_open_folder_ = false;
  // Those the batch file then takes into its own folder before it removes
  // them (MoveIntoUninstallBatchFolder), the launcher and the versions'
  // installers last, and the folders this process removes once they are
  // empty, deepest first.
  std::vector<base::FilePath> uninstall_taken_;
  std::vector<base::FilePath> uninstall_emptied_;
  // An uninstallation: the files of other versions' kept records that
  // could not be removed, for the clean-up batch file.
  std::vector<base::FilePath> kept_versions_leftovers_;
  // Set by WaitForPackage: the package's backend decides the outcome.
  bool waiting_for_package_ = false;
  // Whether the install folder was there before this backend began: one it
  // made holds nothing but what the installation put there.
  bool install_folder_existed_ = true;
  std::vector<base::Closure> steps_;
  size_t cursor_ = 0;
  base::WeakPtrFactory<Installer> weak_factory_{this};
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CORE_INSTALLER_H_
