// Status: what the inspection of one candidate install folder found. Whether
// the path can hold an installation and the user may write there; whether an
// installation of this product (or of the maker's former engine) already
// lives there, and that installation's install log, shortcuts, language,
// profile, stored preferences and experiments.
//
// The settings build a new Status for every install folder chosen: Init()
// runs once on a worker of the system pool (with COM initialised by the
// caller), after which the object is only read, on the settings' thread. The
// fields are public for reading; only Init() writes them, and
// InspectShortcuts() those of the shortcuts.
//
// Nothing is reported on failure: every missing file or preference leaves
// its field at the initial value, and an unusable path leaves
// valid_install_path false.

#ifndef DESKTOP_WINDOWS_INSTALLER_CORE_STATUS_H_
#define DESKTOP_WINDOWS_INSTALLER_CORE_STATUS_H_

#include <stdint.h>

#include <memory>
#include <string>

#include "base/feature_list.h"
#include "base/files/file_path.h"
#include "desktop/windows/installer/service/install_log.h"

namespace installer {

// Files an inspection reads in the install folder, beside the launcher
// (kLauncherFileName) and the installer preferences (kInstallerPrefsFileName).
inline constexpr char16_t kServerTrackingDataFileName[] =
    u"server_tracking_data";
inline constexpr char16_t kFormerEnginePrefsFileName[] =
    u"velnaprefs_default.ini";
// In the browser's user-data folder, and its language key.
inline constexpr char16_t kLocalStateFileName[] = u"Local State";
inline constexpr char kAppLocalePref[] = "intl.app_locale";
// In the user's Start-menu programs folder.
inline constexpr char16_t kTemporaryShortcutFolderName[] = u"Velna Software";

// Tri-state values of the user-state record.
inline constexpr int kNotSet = -1;

class Status {
 public:
  // |replace_tamsel|: a former-engine installation is to be replaced (the
  // "replacetamselinstallation" switch), so it counts as existing.
  explicit Status(bool replace_tamsel);
  Status(const Status&) = delete;
  Status& operator=(const Status&) = delete;
  ~Status();

  // Inspects |path|. Call once, on a worker thread with COM initialised.
  void Init(const base::FilePath& path);

  // Tests the existing installation's shortcuts (and its taskbar pin) anew,
  // as Init() does: for a run that has since put back the launcher they
  // lead to. On the settings' thread, with COM initialised.
  void InspectShortcuts();

  // The existing installation's install log (empty when there is none),
  // with its copy-only and all-users flags as the inspection derived them.
  InstallLog install_log;

  // The user state of the existing installation.
  bool desktop_shortcut_exists = false;
  bool start_menu_shortcut_exists = false;
  bool quick_launch_shortcut_exists = false;
  // The company folder in the Start-menu programs folder exists.
  bool temporary_shortcut_folder_exists = false;
  // The user may write where the installation goes (the folder, or create a
  // folder in the nearest existing ancestor).
  bool has_write_access = false;
  // The taskbar pin that resolves to the launcher or the browser.
  base::FilePath pinned_shortcut_path;
  // A shortcut points at the browser itself rather than the launcher.
  bool recreate_desktop_shortcut = false;
  // Also set from Windows 8 on when the start-menu shortcut does not match.
  bool recreate_start_menu_shortcut = false;
  bool recreate_quick_launch_shortcut = false;
  bool recreate_pinned_shortcut = false;
  // The existing installation handles the web protocol for this user.
  bool is_http_handler = false;
  // kNotSet, 0 or 1: from the existing installer preferences.
  int import_browser_data = kNotSet;
  int enable_stats = kNotSet;
  // Of the existing installation, else of the user's profile.
  std::u16string language;
  // The stored preference "welcome-url".
  std::string welcome_url;
  // The install folder's "server_tracking_data".
  std::string tracking_data;
  // kNotSet, 0 or 1.
  int single_profile = kNotSet;
  // kNotSet, or 0, 1, 2: the product type of a former-engine installation.
  int old_product_type = kNotSet;
  // The current user's profile folder of the existing installation.
  base::FilePath profile_path;
  // The company folder in the Start-menu programs folder, when it exists.
  base::FilePath temporary_shortcut_folder;
  // The installer experiments stored with the existing installation.
  std::unique_ptr<base::FeatureList> experiments;

  // The inspected path.
  base::FilePath install_folder;
  // The folder itself when it exists, else its nearest existing ancestor.
  base::FilePath valid_parent_folder;
  bool valid_install_path = false;
  // Why the path cannot hold an installation, for the log; empty when it
  // can.
  std::string invalid_reason;
  bool existing_installation = false;
  // A former-engine installation was found.
  bool tamsel_installation = false;
  // No install log, but a launcher.
  bool existing_installation_traces = false;
  const bool replace_tamsel;

 private:
  // Reads the install logs of an existing folder. A status file that does
  // not read, or names a version folder without an installer, makes the
  // record one of an installation that did not finish (see
  // ReadKeptInstallLog for the first).
  void ReadInstallLogs();
  // The status file does not read: the newest kept record of a version
  // whose folder holds an installer (a finished one first) stands for it.
  // False when there is none.
  bool ReadKeptInstallLog();
  // The stand-in record of ReadKeptInstallLog also takes in the product's
  // uninstall entries of this folder, and, when they name a newer version
  // than it does, that version's folder and the files in it.
  void TakeInUninstallEntries();
  // Derives copy-only and all-users from the install log.
  void DeriveInstallationMode();
  void Inspect();
  void TestShortcuts(const base::FilePath& target, bool is_launcher);
  // True when the installer preferences were read.
  bool ReadInstallerPrefs();
  void ReadProfileLanguage();
  void ReadFormerEnginePrefs(bool installer_prefs_read);
};

namespace internal {

// The inspection's access check: whether the current user has |access| on
// |folder|. CanCurrentUserAccess() unless a test installs its own (the test
// system grants a file's owner every right whatever the token says); null
// restores it. Set it before any inspection runs.
using FolderAccessCheck = bool (*)(const std::u16string& folder,
                                   uint32_t access);
void SetFolderAccessCheckForTesting(FolderAccessCheck check);

}  // namespace internal

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CORE_STATUS_H_
