// The settings' part of the installation statistics.

#include "base/files/file_path.h"
#include "base/logging.h"
#include "desktop/windows/installer/common/stats_node.h"
#include "desktop/windows/installer/core/settings.h"
#include "desktop/windows/installer/core/status.h"
#include "desktop/windows/installer/service/utils.h"

namespace installer {

namespace {

const char* ModeName(InstallationMode mode) {
  switch (mode) {
    case kModeAllUsers:
      return "all_users";
    case kModeCurrentUser:
      return "current_user";
    case kModeStandalone:
      return "standalone";
  }
  return "invalid";
}

const char* OperationName(InstallationOperation operation) {
  switch (operation) {
    case kOperationInstalling:
      return "installing";
    case kOperationUpgrading:
      return "upgrading";
    case kOperationUninstalling:
      return "uninstalling";
    default:
      return "invalid";
  }
}

}  // namespace

void Settings::WriteSettingStats(const std::string& prefix,
                                 StatsNode* node) const {
  LOG(INFO) << "Writing setting stats with prefix " << prefix;
  node->SetString(prefix + "installation_mode", ModeName(mode()));
  node->SetString(prefix + "installation_operation", OperationName(operation_));
  // One value for the whole run: never prefixed.
  node->SetInteger("autoupdate", autoupdate_);
  node->SetInteger(prefix + "make_default", default_browser_);
  node->SetInteger(prefix + "using_default_installation_folder",
                   base::FilePath::CompareIgnoreCase(
                       status_->install_folder.value(),
                       GetDefaultInstallFolder(kFolderComputed).value()) == 0);
  node->SetInteger(prefix + "using_privileged_installation_folder",
                   RequiresElevation(all_users_, status_->has_write_access));
}

}  // namespace installer
