// How Settings travel to a backend process: as switches of its command line,
// read back there by RunInstaller() and the Settings constructor.

#include <iterator>
#include <string>

#include "base/command_line.h"
#include "base/feature_list.h"
#include "base/logging.h"
#include "desktop/windows/installer/common/installer_switches.h"
#include "desktop/windows/installer/common/switch_values.h"
#include "desktop/windows/installer/core/settings.h"
#include "desktop/windows/installer/core/status.h"

namespace installer {

namespace {

// Copied from this process's command line, for every operation.
constexpr const char* kCopiedSwitches[] = {
    switches::kInitialPid, switches::kTempFolder, switches::kVerboseLevel};
// Copied for an install or upgrade.
constexpr const char* kImportSwitches[] = {
    switches::kImportBookmarks, switches::kImportSession,
    switches::kImportTopsitesToSpeeddial};

void AppendBool(base::CommandLine* command_line, const char* name, bool value) {
  command_line->AppendSwitchNative(name, FormatBoolSwitchValue(value));
}

}  // namespace

void Settings::AppendToCommandLine(base::CommandLine* command_line,
                                   bool no_launch) const {
  *command_line = base::CommandLine(base::CommandLine::NO_PROGRAM);
  command_line->AppendSwitch(switches::kBackend);
  if (silent_) command_line->AppendSwitch(switches::kSilent);
  for (const char* name : kCopiedSwitches) {
    if (command_line_.HasSwitch(name))
      command_line->AppendSwitchNative(
          name, command_line_.GetSwitchValueNative(name));
  }

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
    if (command_line_.HasSwitch(switches::kServerTrackingData)) {
      command_line->AppendSwitchPath(
          switches::kServerTrackingData,
          command_line_.GetSwitchValuePath(switches::kServerTrackingData));
    }
    base::FeatureList::GetInstance()->AppendToCommandLine(command_line);
    command_line->CopySwitchesFrom(command_line_, kImportSwitches,
                                   std::size(kImportSwitches));
  } else if (operation_ == kOperationUninstalling) {
    command_line->AppendSwitch(switches::kUninstall);
    AppendBool(command_line, switches::kDeleteUserProfile, delete_profile_);
  }
  VLOG(1) << "Settings as command line: "
          << command_line->GetCommandLineString();
}

}  // namespace installer
