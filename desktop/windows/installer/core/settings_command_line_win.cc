// How Settings travel to a backend process: as switches of its command line,
// read back there by RunInstaller() and the Settings constructor.

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/feature_list.h"
#include "base/logging.h"
#include "base/strings/string_util.h"
#include "desktop/windows/installer/common/installer_switches.h"
#include "desktop/windows/installer/common/switch_values.h"
#include "desktop/windows/installer/core/settings.h"
#include "desktop/windows/installer/core/status.h"

namespace installer {

namespace {

void AppendBool(base::CommandLine* command_line, const char* name, bool value) {
  command_line->AppendSwitchNative(name, FormatBoolSwitchValue(value));
}

void AppendIfGiven(base::CommandLine* command_line, const char* name,
                   const std::optional<std::u16string>& value) {
  if (value) command_line->AppendSwitchNative(name, *value);
}

}  // namespace

void Settings::AppendToCommandLine(base::CommandLine* command_line,
                                   bool no_launch) const {
  *command_line = base::CommandLine(base::CommandLine::NO_PROGRAM);
  command_line->AppendSwitch(switches::kBackend);
  if (silent_) command_line->AppendSwitch(switches::kSilent);
  // Passed on from this process, for every operation.
  AppendIfGiven(command_line, switches::kInitialPid,
                process_switches_.initial_pid);
  AppendIfGiven(command_line, switches::kTempFolder,
                process_switches_.temp_folder);
  AppendIfGiven(command_line, switches::kVerboseLevel,
                process_switches_.verbose_level);

  if (operation_ == kOperationInstalling || operation_ == kOperationUpgrading) {
    const bool installing = operation_ == kOperationInstalling;
    command_line->AppendSwitch(switches::kInstall);
    if (autoupdate_) command_line->AppendSwitch(switches::kAutoupdate);
    AppendBool(command_line, switches::kImportBrowserData,
               import_browser_data_);
    AppendBool(command_line, switches::kEnableStats, enable_velna_stats_);
    AppendBool(command_line, switches::kEnableInstallerStats,
               enable_installer_stats_);
    AppendBool(command_line, switches::kLaunchVelna,
               !no_launch && launch_velna_);
    command_line->AppendSwitchNative(switches::kInstallFolder,
                                     status_->install_folder.value());
    if (profile_folder_.empty()) {
      command_line->AppendSwitch(switches::kProfileFolder);
    } else {
      command_line->AppendSwitchNative(switches::kProfileFolder,
                                       profile_folder_.value());
    }
    if (!install_language_.empty()) {
      command_line->AppendSwitchNative(switches::kLanguage, install_language_);
    }
    if (installing) {
      AppendBool(command_line, switches::kSingleProfile, single_profile_);
      AppendBool(command_line, switches::kCopyOnly, copy_only_);
      if (!copy_only_)
        AppendBool(command_line, switches::kAllUsers, all_users_);
      // Only when there are any: most command lines stay as they were.
      if (const int created = created_parent_folders(); created > 0) {
        command_line->AppendSwitchASCII(switches::kCreatedParentFolders,
                                        std::to_string(created));
      }
    }
    if (!copy_only_) {
      AppendBool(command_line, switches::kSetDefaultBrowser, default_browser_);
      AppendBool(command_line, switches::kStartMenuShortcut,
                 start_menu_shortcut_);
      AppendBool(command_line, switches::kDesktopShortcut, desktop_shortcut_);
      AppendBool(command_line, switches::kQuickLaunchShortcut,
                 quick_launch_shortcut_);
      AppendBool(command_line, switches::kPinToTaskbar, pinned_shortcut_);
    }
    // Whenever the flag is set: a stand-alone replacement of a former-engine
    // installation must be an upgrade in the backend too, not a fresh
    // install.
    if (replace_tamsel_)
      command_line->AppendSwitch(switches::kReplaceTamselInstallation);
    if (process_switches_.server_tracking_data) {
      command_line->AppendSwitchPath(switches::kServerTrackingData,
                                     *process_switches_.server_tracking_data);
    }
    base::FeatureList::GetInstance()->AppendToCommandLine(command_line);
    for (const auto& [name, value] : process_switches_.browser_import)
      command_line->AppendSwitchNative(name, value);
    // Only when there are any, as above.
    const std::set<std::string> from_record = SwitchesFromRecord();
    if (!from_record.empty()) {
      command_line->AppendSwitchASCII(
          switches::kFromRecord,
          base::JoinString(
              std::vector<std::string>(from_record.begin(), from_record.end()),
              ","));
    }
  } else if (operation_ == kOperationUninstalling) {
    command_line->AppendSwitch(switches::kUninstall);
    AppendBool(command_line, switches::kDeleteUserProfile, delete_profile_);
  }
  VLOG(1) << "Settings as command line: "
          << command_line->GetCommandLineString();
}

}  // namespace installer
