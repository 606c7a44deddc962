// Settings: the one record of what an installation is to be: the operation,
// the installation mode, the option flags, the install folder with the
// inspection of it (Status), the language and the profile folder.
//
// RunInstaller() builds one Settings in every installing role from the
// command line (and, for an uninstall, from the running installation). A
// front end changes it through the setters while the user edits the
// installer window; the backend receives it again as the switches that
// AppendToCommandLine() writes. Choosing an install folder starts an
// inspection of that folder on the system worker pool; when it returns, the
// settings adopt what an existing installation there dictates and tell their
// observers (OnPathChanged). Only the newest inspection counts.
//
// Threading: created, used and destroyed on one thread, which must have a
// message loop (the inspection's reply comes back to it) and COM
// initialised. Observers are not owned and must remove themselves before
// they go.

#ifndef DESKTOP_WINDOWS_INSTALLER_CORE_SETTINGS_H_
#define DESKTOP_WINDOWS_INSTALLER_CORE_SETTINGS_H_

#include <stdint.h>

#include <memory>
#include <set>
#include <string>

#include "base/files/file_path.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"
#include "base/observer_list.h"
#include "desktop/windows/installer/core/process_switches.h"

namespace base {
class CommandLine;
}  // namespace base

namespace installer {

class StatsNode;
class Status;

enum InstallationOperation : int {
  // While a folder inspection is outstanding, before the first, and after
  // an inspection found the folder unusable.
  kOperationUnknown = 0,
  kOperationInstalling = 1,
  kOperationUpgrading = 2,
  kOperationUninstalling = 3,
};

// Not stored: copy_only() ? standalone : (all_users() ? all users : current
// user).
enum InstallationMode : int {
  kModeAllUsers = 0,
  kModeCurrentUser = 1,
  kModeStandalone = 2,
};

// Where GetDefaultInstallFolder() looks before it computes the folder.
enum DefaultFolderSource : int {
  kFolderComputed = 0,
  kFolderFromRegistry = 1,
  kFolderFromCommandLineOrRegistry = 2,
  kFolderFromCommandLine = 3,
};

class Settings {
 public:
  class Observer {
   public:
    virtual ~Observer() = default;
    // After any accepted setter, also when the value did not change.
    virtual void OnSettingChanged() = 0;
    // After SetInstallLanguage() changed the language.
    virtual void OnLanguageChanged() = 0;
    // After the inspection of a new install folder has arrived.
    virtual void OnPathChanged() = 0;
  };

  // Reads the last install path from the registry, computes the default
  // stand-alone folder, chooses the language and reads the settings from
  // |command_line| (not owned; it must outlive the settings); then starts
  // the inspection of the install folder: the running installation's for an
  // uninstall, else GetDefaultInstallFolder(kFolderFromCommandLineOrRegistry).
  Settings(const base::CommandLine& command_line, bool uninstall, bool silent,
           bool autoupdate, const base::FilePath& command_line_install_folder,
           bool replace_tamsel);
  Settings(const Settings&) = delete;
  Settings& operator=(const Settings&) = delete;
  // Drops the reply of an outstanding inspection.
  ~Settings();

  void AddObserver(Observer* observer) { observers_.AddObserver(observer); }
  void RemoveObserver(Observer* observer) {
    observers_.RemoveObserver(observer);
  }

  // The current folder's inspection: never null; an empty Status until the
  // first inspection returns.
  Status* GetStatus() const { return status_.get(); }
  // True while an inspection is outstanding.
  bool IsStatusPending() const { return pending_fetch_ != nullptr; }

  // The setters refuse (false: nothing changes, nothing is logged) while
  // the settings are not initialized, and in the further states noted.
  // Refused while upgrading. True also clears all users, default browser
  // and the desktop shortcut.
  bool SetCopyOnly(bool value);
  // Refused while upgrading.
  bool SetSingleProfile(bool value);
  // Refused while upgrading and for a stand-alone installation.
  bool SetAllUsers(bool value);
  // Refused for a stand-alone installation.
  bool SetDefaultBrowser(bool value);
  bool SetImportBrowserData(bool value);
  bool SetEnableInstallerStats(bool value);
  bool SetEnableVelnaStats(bool value);
  // Refused unless uninstalling.
  bool SetDeleteProfile(bool value);
  // Switches single profile, copy-only and all users together; moves the
  // install folder to the new mode's default when it was the old one's.
  // False when refused or for an unknown mode.
  bool SetMode(InstallationMode mode);
  // Chooses the available language nearest to |code| (and makes it the
  // process's current language).
  void SetInstallLanguage(const std::u16string& code);
  void SetInstallFolderFromString(const std::u16string& text);
  // Starts an inspection of |path|, taken without trailing separators (a
  // drive's root keeps one), unless it is the current one. Choosing
  // the current folder again while another inspection is outstanding drops
  // that inspection and notifies OnPathChanged at once.
  void SetInstallFolder(const base::FilePath& path);

  // For an elevated run that made the inspected folder, or one in it, anew
  // and empty: inspects the folder again at once, on this thread (with COM
  // initialised), so that nothing read from it before decides the run, and
  // makes an update whose installation is no longer there a new
  // installation, with the choices of the command line and the defaults
  // only: the switches an earlier process took from the record ("from-
  // record") are dropped. Observers are not told.
  void InspectFolderAgain();

  // The default install folder; |source| says whether the command line and
  // the last install path in the registry come first.
  base::FilePath GetDefaultInstallFolder(DefaultFolderSource source) const;

  // Writes the statistics keys under |prefix| ("ui.initial_" or empty).
  void WriteSettingStats(const std::string& prefix, StatsNode* node) const;

  // Makes |command_line| a new one without program and writes these
  // settings into it as the backend's switches, with "from-record" naming
  // those whose values came from the installation's record. |no_launch|
  // (the elevated relaunch) writes "launchvelna" as 0 whatever
  // launch_velna() says.
  void AppendToCommandLine(base::CommandLine* command_line,
                           bool no_launch) const;

  // Cleared when an installation starts, which freezes the settings; set
  // again by a front end after an error.
  bool initialized() const { return initialized_; }
  void set_initialized(bool initialized) { initialized_ = initialized; }

  InstallationOperation operation() const { return operation_; }
  InstallationMode mode() const;
  bool copy_only() const { return copy_only_; }
  bool single_profile() const { return single_profile_; }
  bool launch_velna() const { return launch_velna_; }
  bool all_users() const { return all_users_; }
  bool default_browser() const { return default_browser_; }
  bool import_browser_data() const { return import_browser_data_; }
  bool enable_velna_stats() const { return enable_velna_stats_; }
  bool enable_installer_stats() const { return enable_installer_stats_; }
  bool desktop_shortcut() const { return desktop_shortcut_; }
  bool start_menu_shortcut() const { return start_menu_shortcut_; }
  bool quick_launch_shortcut() const { return quick_launch_shortcut_; }
  bool pinned_shortcut() const { return pinned_shortcut_; }
  bool uninstall() const { return uninstall_; }
  bool silent() const { return silent_; }
  bool autoupdate() const { return autoupdate_; }
  bool delete_profile() const { return delete_profile_; }
  const std::u16string& install_language() const { return install_language_; }
  bool replace_tamsel() const { return replace_tamsel_; }
  const base::FilePath& command_line_install_folder() const {
    return command_line_install_folder_;
  }
  const base::FilePath& registry_install_folder() const {
    return registry_install_folder_;
  }
  // For a new installation: how many folders above the install folder it
  // creates. The "created-parent-folders" switch when a front end or an
  // earlier backend counted them, else counted from the inspection (the
  // folders between the install folder and its nearest existing
  // ancestor).
  int created_parent_folders() const;
  const base::FilePath& profile_folder() const { return profile_folder_; }
  const base::FilePath& default_standalone_folder() const {
    return default_standalone_folder_;
  }
  // The process's other switches, read with the settings from the same
  // command line.
  const ProcessSwitches& process_switches() const { return process_switches_; }
  // The command line the settings were read from. For the feature
  // overrides, which an update reads again after the installation's own.
  const base::CommandLine& command_line() const { return command_line_; }

 private:
  class StatusFetch;

  // Defaults, then the setting switches of the command line; nothing is
  // taken from a record then.
  void ReadSettingsFromCommandLine();
  // Whether the command line has switch |name|; once InspectFolderAgain
  // ran, those its "from-record" names count as absent.
  bool HasSwitch(const char* name) const;
  // The switches "from-record" is to name: those this process took from
  // the record, and those its own command line still has from one.
  std::set<std::string> SwitchesFromRecord() const;
  // The Boolean value of switch |name| (ParseBoolSwitchValue); a value
  // that is no plain spelling is logged as a warning with its reading.
  bool SwitchValue(const char* name) const;
  // Stores |value|, logs it under |label| and tells the observers.
  bool AcceptSetting(bool* field, bool value, const char* label);
  void StoreCopyOnly(bool value);
  void NotifySettingChanged();
  void NotifyPathChanged();

  // Posts the inspection of |fetch| to the worker pool.
  void FetchStatus(const base::ScopedRefPtr<StatusFetch>& fetch);
  // The inspection, on a worker of the system pool: touches |fetch| only.
  static void ComputeStatus(const base::ScopedRefPtr<StatusFetch>& fetch);
  static void DeliverStatus(base::WeakPtr<Settings> settings,
                            const base::ScopedRefPtr<StatusFetch>& fetch);
  void OnStatusFetched(std::unique_ptr<Status> status);
  // Takes what an existing installation in the folder dictates.
  void AdoptExistingInstallation();

  void LogSettings() const;

  const base::CommandLine& command_line_;
  const ProcessSwitches process_switches_;
  InstallationOperation operation_ = kOperationUnknown;
  bool copy_only_ = false;
  bool single_profile_ = false;
  bool launch_velna_ = false;
  bool all_users_ = false;
  bool default_browser_ = false;
  bool import_browser_data_ = false;
  bool enable_velna_stats_ = false;
  bool enable_installer_stats_ = false;
  bool desktop_shortcut_ = false;
  bool start_menu_shortcut_ = false;
  bool quick_launch_shortcut_ = false;
  bool pinned_shortcut_ = false;
  const bool uninstall_;
  const bool silent_;
  const bool autoupdate_;
  bool delete_profile_ = false;
  std::u16string install_language_;
  std::unique_ptr<Status> status_;
  base::ScopedRefPtr<StatusFetch> pending_fetch_;
  base::ObserverList<Observer> observers_;
  bool initialized_ = false;
  const bool replace_tamsel_;
  const base::FilePath command_line_install_folder_;
  base::FilePath registry_install_folder_;
  base::FilePath profile_folder_;
  base::FilePath default_standalone_folder_;
  // The Boolean switches whose value was refused and logged.
  mutable std::set<std::string> warned_switches_;
  // The setting switches whose values AdoptExistingInstallation (or the
  // record's language) gave, and no setter changed since.
  std::set<std::string> adopted_;
  // The command line's "from-record" names, and whether InspectFolderAgain
  // dropped them.
  const std::set<std::string> command_line_from_record_;
  bool record_dropped_ = false;

  base::WeakPtrFactory<Settings> weak_factory_{this};
};

// Why the settings refuse the folder |status| describes (operation
// unknown), for the log: the inspection's reason, or for an uninstall that
// it holds no installation. Empty when it is not refused.
std::string GetFolderRefusal(const Status& status, bool uninstall);

namespace internal {

// Answers for drive |letter| ('A' to 'Z') whether it is usable for a
// stand-alone installation (its device opens and answers the media check),
// and then its GetDriveTypeW() type.
using DriveProbe = bool (*)(char letter, unsigned* drive_type);

// The real probe: IOCTL_STORAGE_CHECK_VERIFY2 on the drive's device.
bool ProbeDrive(char letter, unsigned* drive_type);

// The root of the best drive among the letters set in |drive_mask| (bit 0
// is A): removable media first, then remote, fixed, RAM-disk, CD-ROM and
// unknown drives, the first drive winning a tie; "A:\" when none is usable.
base::FilePath ComputeDefaultStandaloneFolder(uint32_t drive_mask,
                                              DriveProbe probe);

// The last install path stored under |company_key| in HKEY_CURRENT_USER for
// |stream| and |internal_stream| (and, on the stable |channel|, the old
// value name): the first value that exists, used only when it names an
// existing folder by an absolute path. Empty when there is none.
base::FilePath ReadLastInstallPath(const std::u16string& company_key,
                                   const std::string& stream,
                                   const std::string& internal_stream,
                                   int channel);

}  // namespace internal

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CORE_SETTINGS_H_
