#include <windows.h>

#include "desktop/windows/installer/core/settings.h"
// After windows.h.
#include <knownfolders.h>
#include <limits.h>
#include <objbase.h>
#include <shlobj.h>
#include <winioctl.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "base/base_paths.h"
#include "base/base_paths_win.h"
#include "base/bind.h"
#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/threading/worker_pool.h"
#include "base/win/registry.h"
#include "base/win/scoped_com_initializer.h"
#include "base/win/scoped_handle.h"
#include "base/win/shortcut.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/common/installer_names.h"
#include "desktop/windows/installer/common/installer_switches.h"
#include "desktop/windows/installer/common/switch_values.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/core/status.h"
#include "desktop/windows/installer/service/installation_info.h"
#include "desktop/windows/installer/service/utils.h"
#include "desktop/windows/rc_l10n_handler/rc_l10n_handler.h"

namespace installer {

namespace {

// Release channel of stable builds, which alone read the oldest value name
// and make the browser the default browser by default.
constexpr int kStableChannel = 4;
constexpr char16_t kOldLastInstallPathValue[] = u"Last install path";
// The per-user programs folder below the local application data, before
// Windows 7 (and where the known folder cannot be had).
constexpr char16_t kUserProgramsFolder[] = u"Programs";
// CSIDL_LOCAL_APPDATA: the fallback of FOLDERID_UserProgramFiles.
constexpr int kLocalAppDataCsidl = 28;
// More folder levels than a path of MAX_PATH characters has.
constexpr unsigned kMaxCreatedParentFolders = 128;

// |folder| as the installation spells it everywhere (its record, its
// registry values, the commands it writes): without trailing separators,
// which would double the one before each name placed in it. A drive's root
// keeps one.
base::FilePath OneSpelling(const base::FilePath& folder) {
  const base::FilePath stripped = folder.StripTrailingSeparators();
  const std::u16string& text = stripped.value();
  if (text.size() > 3 && base::FilePath::FindDriveLetter(text) == 1 &&
      std::all_of(text.begin() + 2, text.end(), base::FilePath::IsSeparator)) {
    return base::FilePath(text.substr(0, 3));
  }
  return stripped;
}

// Ranks of GetDriveTypeW() results for a stand-alone installation; lower
// is better, and removable media end the search.
int RankDriveType(unsigned drive_type) {
  switch (drive_type) {
    case DRIVE_REMOVABLE:
      return 0;
    case DRIVE_REMOTE:
      return 1;
    case DRIVE_FIXED:
      return 3;
    case DRIVE_RAMDISK:
      return 4;
    case DRIVE_CDROM:
      return 5;
    case DRIVE_UNKNOWN:
      return 6;
    default:  // DRIVE_NO_ROOT_DIR
      return 7;
  }
}

std::u16string DriveRoot(char letter) {
  return std::u16string(1, static_cast<char16_t>(letter)) + u":\\";
}

// The inspection's findings, one line each, for the log.
void LogStatus(const Status& status) {
  VLOG(1) << "status for install folder:" << status.install_folder;
  VLOG(1) << "valid_parent folder: " << status.valid_parent_folder;
  VLOG(1) << "has_write_access: " << status.has_write_access;
  VLOG(1) << "valid_install_path: " << status.valid_install_path;
  VLOG(1) << "existing_installation: " << status.existing_installation;
  VLOG(1) << "existing_installation_traces: "
          << status.existing_installation_traces;
  VLOG(1) << "tamsel_installation: " << status.tamsel_installation;
  VLOG(1) << "valid_parent folder: " << status.valid_parent_folder;
  VLOG(1) << "desktop_shortcut_exists: " << status.desktop_shortcut_exists;
  VLOG(1) << "enable_stats: " << status.enable_stats;
  VLOG(1) << "has_write_access: " << status.has_write_access;
  VLOG(1) << "import_browser_data: " << status.import_browser_data;
  VLOG(1) << "is_http_handler: " << status.is_http_handler;
  VLOG(1) << "language: " << status.language;
  VLOG(1) << "old_product_type: " << status.old_product_type;
  VLOG(1) << "pinned_shortcut_path: " << status.pinned_shortcut_path;
  VLOG(1) << "profile_path: " << status.profile_path;
  VLOG(1) << "quick_launch_shortcut_exists: "
          << status.quick_launch_shortcut_exists;
  VLOG(1) << "temporary_shortcut_folder: " << status.temporary_shortcut_folder;
  VLOG(1) << "temporary_shortcut_folder_exists: "
          << status.temporary_shortcut_folder_exists;
  VLOG(1) << "tracking_data: " << status.tracking_data;
  VLOG(1) << "recreate_desktop_shortcut: " << status.recreate_desktop_shortcut;
  VLOG(1) << "recreate_pinned_shortcut: " << status.recreate_pinned_shortcut;
  VLOG(1) << "recreate_quick_launch_shortcut: "
          << status.recreate_quick_launch_shortcut;
  VLOG(1) << "recreate_start_menu_shortcut: "
          << status.recreate_start_menu_shortcut;
  VLOG(1) << "single_profile: " << status.single_profile;
  VLOG(1) << "start_menu_shortcut_exists: "
          << status.start_menu_shortcut_exists;
  VLOG(1) << "welcome_url: " << status.welcome_url;
}

void ChooseLanguage(std::u16string* code) {
  RcL10nHandler::ChooseLanguage(RcL10nHandler::CurrentLangId(), code);
}

// The names the "from-record" switch lists.
std::set<std::string> ReadSwitchesFromRecord(
    const base::CommandLine& command_line) {
  const std::vector<std::string> names = base::SplitString(
      command_line.GetSwitchValueASCII(switches::kFromRecord), ",",
      base::SplitWhitespace::kTrim, base::SplitFilter::kNonEmpty);
  return std::set<std::string>(names.begin(), names.end());
}

}  // namespace

// One inspection of one folder: shared by the settings' thread (which may
// cancel it) and the worker that fills in the Status.
class Settings::StatusFetch : public base::RefCounted<StatusFetch> {
 public:
  // ComputeStatus() fills in the Status.
  friend class Settings;

  StatusFetch(const base::FilePath& folder, bool replace_tamsel)
      : folder_(folder), replace_tamsel_(replace_tamsel) {}
  StatusFetch(const StatusFetch&) = delete;
  StatusFetch& operator=(const StatusFetch&) = delete;

  // The settings' thread only.
  void Cancel() { cancelled_ = true; }
  bool cancelled() const { return cancelled_; }
  std::unique_ptr<Status> TakeStatus() { return std::move(status_); }

 private:
  friend class base::RefCounted<StatusFetch>;
  ~StatusFetch() = default;

  const base::FilePath folder_;
  const bool replace_tamsel_;
  std::unique_ptr<Status> status_;
  bool cancelled_ = false;
};

Settings::Settings(const base::CommandLine& command_line, bool uninstall,
                   bool silent, bool autoupdate,
                   const base::FilePath& command_line_install_folder,
                   bool replace_tamsel)
    : command_line_(command_line),
      process_switches_(ReadProcessSwitches(command_line)),
      uninstall_(uninstall),
      silent_(silent),
      autoupdate_(autoupdate),
      status_(std::make_unique<Status>(replace_tamsel)),
      initialized_(true),
      replace_tamsel_(replace_tamsel),
      command_line_install_folder_(OneSpelling(command_line_install_folder)),
      command_line_from_record_(ReadSwitchesFromRecord(command_line)) {
  registry_install_folder_ = internal::ReadLastInstallPath(
      GetCompanyRegistryPath(), VersionInfo::GetStream(),
      GetInternalStreamName(), VersionInfo::GetChannel());
  VLOG(1) << "Install folder from reg value: " << registry_install_folder_;
  default_standalone_folder_ = internal::ComputeDefaultStandaloneFolder(
      GetLogicalDrives(), &internal::ProbeDrive);
  VLOG(1) << "Default standalone install path: " << default_standalone_folder_;

  VLOG(1) << "Obtaining system language";
  ChooseLanguage(&install_language_);
  VLOG(1) << "Initializing settings";

  if (uninstall_) {
    SetDeleteProfile(HasSwitch(switches::kDeleteUserProfile) &&
                     SwitchValue(switches::kDeleteUserProfile));
    SetInstallFolderFromString(
        InstallationInfo::GetInstance()->install_folder().value());
    return;
  }
  if (HasSwitch(switches::kLanguage)) {
    SetInstallLanguage(command_line_.GetSwitchValueNative(switches::kLanguage));
  }
  ReadSettingsFromCommandLine();
  SetInstallFolder(GetDefaultInstallFolder(kFolderFromCommandLineOrRegistry));
}

Settings::~Settings() {
  VLOG(1) << "Destroying settings";
  if (pending_fetch_) pending_fetch_->Cancel();
}

InstallationMode Settings::mode() const {
  return copy_only_ ? kModeStandalone
                    : (all_users_ ? kModeAllUsers : kModeCurrentUser);
}

bool Settings::HasSwitch(const char* name) const {
  return command_line_.HasSwitch(name) &&
         !(record_dropped_ && command_line_from_record_.count(name));
}

std::set<std::string> Settings::SwitchesFromRecord() const {
  std::set<std::string> names = adopted_;
  if (!record_dropped_) {
    names.insert(command_line_from_record_.begin(),
                 command_line_from_record_.end());
  }
  return names;
}

bool Settings::SwitchValue(const char* name) const {
  const std::u16string text = command_line_.GetSwitchValueNative(name);
  const bool value = ParseBoolSwitchValue(text);
  // Once per switch: the settings read the command line again after each
  // inspection.
  if (!IsPlainBoolSwitchValue(text) && warned_switches_.insert(name).second) {
    // Quoted, so that a blank around the value shows.
    LOG(WARNING) << "Reading --" << name << "=\"" << text << "\" as "
                 << (value ? "true" : "false")
                 << ": the plain values are 1, 0, true, false, yes, no and "
                    "whole numbers";
  }
  return value;
}

void Settings::NotifySettingChanged() {
  observers_.Notify(&Observer::OnSettingChanged);
}

void Settings::NotifyPathChanged() {
  observers_.Notify(&Observer::OnPathChanged);
}

bool Settings::AcceptSetting(bool* field, bool value, const char* label) {
  *field = value;
  VLOG(1) << label << value;
  NotifySettingChanged();
  return true;
}

void Settings::StoreCopyOnly(bool value) {
  copy_only_ = value;
  if (value) {
    all_users_ = false;
    default_browser_ = false;
    desktop_shortcut_ = false;
  }
}

bool Settings::SetCopyOnly(bool value) {
  if (!initialized_ || operation_ == kOperationUpgrading) return false;
  StoreCopyOnly(value);
  VLOG(1) << "copy_only_ set to: " << value;
  NotifySettingChanged();
  return true;
}

bool Settings::SetSingleProfile(bool value) {
  if (!initialized_ || operation_ == kOperationUpgrading) return false;
  return AcceptSetting(&single_profile_, value, "single_profile_ set to: ");
}

bool Settings::SetAllUsers(bool value) {
  if (!initialized_ || operation_ == kOperationUpgrading || copy_only_)
    return false;
  return AcceptSetting(&all_users_, value, "all_users_ set to: ");
}

bool Settings::SetDefaultBrowser(bool value) {
  if (!initialized_ || copy_only_) return false;
  adopted_.erase(switches::kSetDefaultBrowser);
  return AcceptSetting(&default_browser_, value, "default_browser_ set to: ");
}

bool Settings::SetImportBrowserData(bool value) {
  if (!initialized_) return false;
  adopted_.erase(switches::kImportBrowserData);
  return AcceptSetting(&import_browser_data_, value,
                       "import_browser_data_ set to: ");
}

bool Settings::SetEnableInstallerStats(bool value) {
  if (!initialized_) return false;
  adopted_.erase(switches::kEnableInstallerStats);
  return AcceptSetting(&enable_installer_stats_, value,
                       "enable_installer_stats_ set to: ");
}

bool Settings::SetEnableVelnaStats(bool value) {
  if (!initialized_) return false;
  adopted_.erase(switches::kEnableStats);
  return AcceptSetting(&enable_velna_stats_, value,
                       "enable_velna_stats_ set to: ");
}

bool Settings::SetDeleteProfile(bool value) {
  if (!initialized_ || !uninstall_) return false;
  return AcceptSetting(&delete_profile_, value, "delete_profile_ set to: ");
}

bool Settings::SetMode(InstallationMode mode) {
  VLOG(2) << "Changing Settings using SetMode";
  if (!initialized_) return false;
  const bool folder_was_default =
      base::FilePath::CompareIgnoreCase(
          status_->install_folder.value(),
          GetDefaultInstallFolder(kFolderFromRegistry).value()) == 0;
  const bool keep_single_profile = HasSwitch(switches::kSingleProfile);
  bool result = false;
  switch (mode) {
    case kModeAllUsers:
    case kModeCurrentUser:
      if (!keep_single_profile) SetSingleProfile(false);
      result = SetCopyOnly(false) && SetAllUsers(mode == kModeAllUsers);
      break;
    case kModeStandalone:
      if (!keep_single_profile) SetSingleProfile(true);
      result = SetCopyOnly(true);
      break;
    default:
      return false;
  }
  if (folder_was_default)
    SetInstallFolder(GetDefaultInstallFolder(kFolderFromRegistry));
  return result;
}

void Settings::SetInstallLanguage(const std::u16string& code) {
  if (!initialized_ || code == install_language_) return;
  adopted_.erase(switches::kLanguage);
  install_language_ = code;
  VLOG(1) << "Attempt setting install_language_ to: " << code;
  ChooseLanguage(&install_language_);
  VLOG(1) << "Actual install_language_ set: " << install_language_;
  observers_.Notify(&Observer::OnLanguageChanged);
}

void Settings::SetInstallFolderFromString(const std::u16string& text) {
  if (initialized_) SetInstallFolder(base::FilePath(text));
}

void Settings::SetInstallFolder(const base::FilePath& typed) {
  const base::FilePath path = OneSpelling(typed);
  VLOG(1) << "Setting install folder to: " << path;
  if (path == status_->install_folder) {
    // Back to the folder whose inspection is current while another one is
    // outstanding: that one must not arrive later and win.
    if (pending_fetch_) {
      pending_fetch_->Cancel();
      pending_fetch_ = nullptr;
      NotifyPathChanged();
    }
    return;
  }
  if (pending_fetch_) pending_fetch_->Cancel();
  pending_fetch_ = base::MakeRefCounted<StatusFetch>(path, replace_tamsel_);
  FetchStatus(pending_fetch_);
}

void Settings::FetchStatus(const base::ScopedRefPtr<StatusFetch>& fetch) {
  base::WorkerPool::PostTaskAndReply(
      base::Location("FetchStatus", __FILE__, __LINE__,
                     base::GetProgramCounter()),
      base::Bind(&Settings::ComputeStatus, fetch),
      base::Bind(&Settings::DeliverStatus, weak_factory_.GetWeakPtr(), fetch),
      true);
}

// static
void Settings::ComputeStatus(const base::ScopedRefPtr<StatusFetch>& fetch) {
  base::win::ScopedComInitializer com;
  fetch->status_ = std::make_unique<Status>(fetch->replace_tamsel_);
  fetch->status_->Init(fetch->folder_);
}

// static
void Settings::DeliverStatus(base::WeakPtr<Settings> settings,
                             const base::ScopedRefPtr<StatusFetch>& fetch) {
  if (!settings || fetch->cancelled()) return;
  settings->OnStatusFetched(fetch->TakeStatus());
}

void Settings::OnStatusFetched(std::unique_ptr<Status> status) {
  if (!initialized_) return;
  pending_fetch_ = nullptr;
  status_ = std::move(status);
  const InstallationOperation old_operation = operation_;
  operation_ = kOperationUnknown;
  LOG(INFO) << "Install folder set: " << status_->install_folder;

  if (!status_->valid_install_path ||
      (uninstall_ && !status_->existing_installation)) {
    VLOG(1) << "Invalid install folder";
    LOG(WARNING) << "The install folder " << status_->install_folder
                 << " is refused: " << GetFolderRefusal(*status_, uninstall_);
    NotifyPathChanged();
    return;
  }
  LogStatus(*status_);
  if (status_->existing_installation || old_operation == kOperationUpgrading)
    ReadSettingsFromCommandLine();
  operation_ = uninstall_                       ? kOperationUninstalling
               : status_->existing_installation ? kOperationUpgrading
                                                : kOperationInstalling;
  LOG(INFO) << "Operation: " << operation_;

  if (!status_->existing_installation && !status_->tamsel_installation) {
    if (!uninstall_ && !HasSwitch(switches::kSingleProfile)) {
      single_profile_ = status_->single_profile != kNotSet
                            ? status_->single_profile == 1
                            : copy_only_;
    }
  } else {
    AdoptExistingInstallation();
  }

  LogSettings();
  if (!status_->language.empty() &&
      (uninstall_ || !HasSwitch(switches::kLanguage))) {
    SetInstallLanguage(status_->language);
    adopted_.insert(switches::kLanguage);
  }
  NotifyPathChanged();
}

void Settings::InspectFolderAgain() {
  auto status = std::make_unique<Status>(replace_tamsel_);
  status->Init(status_->install_folder);
  status_ = std::move(status);
  if (status_->existing_installation) return;
  if (operation_ == kOperationUpgrading) {
    LOG(INFO) << "No installation is left in " << status_->install_folder
              << ": installing anew";
    operation_ = kOperationInstalling;
  }
  // Nor do the choices read there before (shortcuts, statistics, profile,
  // language), by this process or by the one that started it: they are the
  // command line's and the defaults, as for any new installation. The
  // folder was taken for all users: so it stays.
  record_dropped_ = true;
  const bool all_users = all_users_;
  ReadSettingsFromCommandLine();
  all_users_ = all_users;
  install_language_ =
      HasSwitch(switches::kLanguage)
          ? command_line_.GetSwitchValueNative(switches::kLanguage)
          : std::u16string();
  ChooseLanguage(&install_language_);
}

void Settings::AdoptExistingInstallation() {
  VLOG(1) << "Using settings from existing installation";
  const Status& status = *status_;
  StoreCopyOnly(status.install_log.copy_only);
  all_users_ = status.install_log.all_users;
  if (!status.install_log.complete) {
    // An installation that did not finish: where it went is known, but its
    // shortcuts and preferences may be missing only because it stopped
    // before them. The choices are this run's, as for a new installation.
    LOG(INFO) << "Completing an installation that did not finish";
    if (!uninstall_ && !HasSwitch(switches::kSingleProfile)) {
      single_profile_ = status.single_profile != kNotSet
                            ? status.single_profile == 1
                            : copy_only_;
    }
    return;
  }
  single_profile_ = status.single_profile == 1;
  const struct {
    const char* name;
    bool* field;
    bool value;
  } recorded[] = {
      {switches::kDesktopShortcut, &desktop_shortcut_,
       status.desktop_shortcut_exists},
      {switches::kStartMenuShortcut, &start_menu_shortcut_,
       status.start_menu_shortcut_exists},
      {switches::kQuickLaunchShortcut, &quick_launch_shortcut_,
       status.quick_launch_shortcut_exists},
      {switches::kPinToTaskbar, &pinned_shortcut_,
       !status.pinned_shortcut_path.empty()},
      {switches::kImportBrowserData, &import_browser_data_,
       status.import_browser_data == 1},
      {switches::kEnableStats, &enable_velna_stats_, status.enable_stats == 1},
  };
  for (const auto& entry : recorded) {
    if (HasSwitch(entry.name)) continue;
    *entry.field = entry.value;
    adopted_.insert(entry.name);
  }
  if (!HasSwitch(switches::kEnableStats) &&
      !HasSwitch(switches::kEnableInstallerStats)) {
    enable_installer_stats_ = enable_velna_stats_;
    adopted_.insert(switches::kEnableInstallerStats);
  }
  if (autoupdate_ && status.tamsel_installation && !replace_tamsel_) {
    launch_velna_ = true;
    adopted_.insert(switches::kLaunchVelna);
  }
  if ((autoupdate_ || replace_tamsel_) && status.tamsel_installation &&
      status.is_http_handler) {
    default_browser_ = true;
    adopted_.insert(switches::kSetDefaultBrowser);
  }
}

void Settings::ReadSettingsFromCommandLine() {
  VLOG(1) << "Settings from command line";
  adopted_.clear();
  all_users_ = IsUserAdministrator(!silent_);
  copy_only_ = false;
  launch_velna_ = true;
  default_browser_ =
      VersionInfo::GetChannel() == kStableChannel && !autoupdate_;
  import_browser_data_ = true;
  enable_velna_stats_ = true;
  enable_installer_stats_ = true;
  desktop_shortcut_ = true;
  single_profile_ = false;
  start_menu_shortcut_ = true;
  quick_launch_shortcut_ =
      base::win::GetWindowsVersion() < base::win::kVersionWin7;
  pinned_shortcut_ = base::win::CanPinShortcutToTaskbar();

  if (HasSwitch(switches::kLaunchVelna))
    launch_velna_ = SwitchValue(switches::kLaunchVelna);
  else if (HasSwitch(switches::kLaunchBrowser))
    launch_velna_ = SwitchValue(switches::kLaunchBrowser);
  if (HasSwitch(switches::kCopyOnly))
    StoreCopyOnly(SwitchValue(switches::kCopyOnly));
  if (HasSwitch(switches::kImportBrowserData))
    import_browser_data_ = SwitchValue(switches::kImportBrowserData);
  if (HasSwitch(switches::kEnableStats)) {
    enable_velna_stats_ = SwitchValue(switches::kEnableStats);
    enable_installer_stats_ = enable_velna_stats_;
  }
  if (HasSwitch(switches::kEnableInstallerStats))
    enable_installer_stats_ = SwitchValue(switches::kEnableInstallerStats);
  if (!copy_only_) {
    const struct {
      const char* name;
      bool* field;
    } switches_to_fields[] = {
        {switches::kAllUsers, &all_users_},
        {switches::kSetDefaultBrowser, &default_browser_},
        {switches::kDesktopShortcut, &desktop_shortcut_},
        {switches::kStartMenuShortcut, &start_menu_shortcut_},
        {switches::kQuickLaunchShortcut, &quick_launch_shortcut_},
        {switches::kPinToTaskbar, &pinned_shortcut_},
    };
    for (const auto& entry : switches_to_fields) {
      if (HasSwitch(entry.name)) *entry.field = SwitchValue(entry.name);
    }
  } else {
    single_profile_ = true;
  }
  if (HasSwitch(switches::kSingleProfile))
    single_profile_ = SwitchValue(switches::kSingleProfile);
  if (HasSwitch(switches::kProfileFolder))
    profile_folder_ =
        command_line_.GetSwitchValuePath(switches::kProfileFolder);
  LogSettings();
}

base::FilePath Settings::GetDefaultInstallFolder(
    DefaultFolderSource source) const {
  const bool use_command_line = source == kFolderFromCommandLineOrRegistry ||
                                source == kFolderFromCommandLine;
  const bool use_registry = source == kFolderFromRegistry ||
                            source == kFolderFromCommandLineOrRegistry;
  LOG(INFO) << "Retrieving default installation folder path"
            << " - Using command line: " << use_command_line
            << " - Using the registry: " << use_registry;
  if (use_command_line && !command_line_install_folder_.empty())
    return command_line_install_folder_;
  VLOG(2) << "Default install folder: not from command line";
  if (!copy_only_ && use_registry && !registry_install_folder_.empty())
    return registry_install_folder_;
  VLOG(2) << "Default install folder: not from registry";

  base::FilePath base;
  if (all_users_) {
    VLOG(2) << "Default install folder: for all users";
    base::PathService::Get(base::DIR_PROGRAM_FILES, &base);
  } else if (copy_only_) {
    VLOG(2) << "Default install folder: for all standalone";
    base = default_standalone_folder_;
  } else {
    VLOG(2) << "Default install folder: for current user";
    // The known folder is %LOCALAPPDATA%\Programs; where it cannot be had
    // (before Windows 7, or when the system lacks it) that folder is used
    // directly rather than a relative path.
    if (base::win::GetWindowsVersion() < base::win::kVersionWin7 ||
        !GetKnownFolderPath(FOLDERID_UserProgramFiles, kLocalAppDataCsidl,
                            &base, true)) {
      if (base::PathService::Get(base::DIR_LOCAL_APP_DATA, &base))
        base = base.Append(kUserProgramsFolder);
    }
  }
  const base::FilePath folder =
      base.Append(base::UTF8ToUTF16(VersionInfo::GetInstallFolderName()));
  VLOG(1) << "Default install folder: " << folder;
  return folder;
}

void Settings::LogSettings() const {
  VLOG(1) << "all_users_:" << all_users_;
  VLOG(1) << "copy_only_:" << copy_only_;
  VLOG(1) << "default_browser_:" << default_browser_;
  VLOG(1) << "desktop_shortcut_:" << desktop_shortcut_;
  VLOG(1) << "enable_installer_stats_:" << enable_installer_stats_;
  VLOG(1) << "enable_velna_stats_:" << enable_velna_stats_;
  VLOG(1) << "import_browser_data_:" << import_browser_data_;
  VLOG(1) << "launch_velna_:" << launch_velna_;
  VLOG(1) << "language:" << install_language_;
  VLOG(1) << "pinned_shortcut_:" << pinned_shortcut_;
  VLOG(1) << "quick_launch_shortcut_:" << quick_launch_shortcut_;
  VLOG(1) << "single_profile_:" << single_profile_;
  VLOG(1) << "start_menu_shortcut_:" << start_menu_shortcut_;
}

int Settings::created_parent_folders() const {
  if (command_line_.HasSwitch(switches::kCreatedParentFolders)) {
    unsigned count = 0;
    return base::StringToUint(command_line_.GetSwitchValueASCII(
                                  switches::kCreatedParentFolders),
                              &count) &&
                   count <= kMaxCreatedParentFolders
               ? static_cast<int>(count)
               : 0;
  }
  if (status_->valid_parent_folder.empty() ||
      status_->valid_parent_folder == status_->install_folder) {
    return 0;
  }
  int count = 0;
  for (base::FilePath folder = status_->install_folder.DirName();
       folder != status_->valid_parent_folder && folder != folder.DirName();
       folder = folder.DirName()) {
    ++count;
  }
  return count;
}

std::string GetFolderRefusal(const Status& status, bool uninstall) {
  if (!status.invalid_reason.empty()) return status.invalid_reason;
  if (!status.valid_install_path) return "its inspection has not ended";
  if (uninstall && !status.existing_installation)
    return "it holds no installation";
  return std::string();
}

namespace internal {

bool ProbeDrive(char letter, unsigned* drive_type) {
  const std::u16string device =
      u"\\\\.\\" + std::u16string(1, static_cast<char16_t>(letter)) + u":";
  base::win::ScopedHandle drive(CreateFileW(
      base::as_wcstr(device), FILE_READ_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!drive.IsValid()) return false;
  DWORD returned = 0;
  if (!DeviceIoControl(drive.Get(), IOCTL_STORAGE_CHECK_VERIFY2, nullptr, 0,
                       nullptr, 0, &returned, nullptr) &&
      GetLastError() != ERROR_MEDIA_CHANGED) {
    return false;
  }
  *drive_type = GetDriveTypeW(base::as_wcstr(DriveRoot(letter)));
  return true;
}

base::FilePath ComputeDefaultStandaloneFolder(uint32_t drive_mask,
                                              DriveProbe probe) {
  char best_letter = 'A';
  int best_rank = INT_MAX;
  for (int index = 0; index < 26 && best_rank > 0; ++index) {
    const char letter = static_cast<char>('A' + index);
    unsigned drive_type = DRIVE_UNKNOWN;
    if (!(drive_mask & (1u << index)) || !probe(letter, &drive_type)) continue;
    const int rank = RankDriveType(drive_type);
    if (rank < best_rank) {
      best_rank = rank;
      best_letter = letter;
    }
  }
  return base::FilePath(DriveRoot(best_letter));
}

base::FilePath ReadLastInstallPath(const std::u16string& company_key,
                                   const std::string& stream,
                                   const std::string& internal_stream,
                                   int channel) {
  base::win::RegKey key;
  if (key.Open(HKEY_CURRENT_USER, company_key.c_str(), KEY_READ) !=
      ERROR_SUCCESS) {
    return {};
  }
  // The " x64" names first; then the name the installer writes, which the
  // older readers missed; the oldest name only on the stable channel.
  std::vector<std::u16string> names = {
      base::UTF8ToUTF16("Last " + stream + " Install Path x64"),
      base::UTF8ToUTF16("Last " + internal_stream + " Install Path x64"),
      base::UTF8ToUTF16("Last " + stream + " Install Path"),
  };
  if (channel == kStableChannel) names.push_back(kOldLastInstallPathValue);
  for (const std::u16string& name : names) {
    std::u16string value;
    if (key.ReadValue(name.c_str(), &value) != ERROR_SUCCESS) continue;
    VLOG(1) << "Install folder reg value: " << name;
    const base::FilePath folder =
        base::FilePath(value).StripTrailingSeparators();
    if (folder.IsAbsolute() && base::DirectoryExists(folder)) return folder;
    return {};
  }
  return {};
}

}  // namespace internal

}  // namespace installer
