// The Installer as the registry templates' delegate, and the small helpers
// of its steps.

#include <string>

#include "base/base_paths.h"
#include "base/base_paths_win.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/shortcut.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/common/installer_names.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/core/installer.h"
#include "desktop/windows/installer/core/status.h"
#include "desktop/windows/installer/service/own_registry_rows_win.h"
#include "desktop/windows/installer/service/task_scheduler.h"
#include "desktop/windows/installer/service/transactions/copy_file_operation.h"
#include "desktop/windows/installer/service/utils.h"

namespace installer {

namespace {

// The product's two further editions (product types 1 and 2 of a
// former-engine installation).
constexpr char16_t kEditionSuffixes[][10] = {u"", u"Beta", u"Developer"};
constexpr char16_t kInvalidEditionSuffix[] = u"Invalid";
// The companion messaging application, whose shortcuts the product's
// removal takes along.
constexpr char16_t kCompanionApplicationName[] = u"Messenger";
constexpr char16_t kAppIdPrefix[] = u"VelnaSoftware.VelnaWebBrowser.";
constexpr char16_t kAutoupdateTaskPrefix[] = u"Autoupdate ";

// Replaces the first |placeholder| in |text| by |value|.
void ReplaceFirst(std::u16string* text, const std::u16string& placeholder,
                  const std::u16string& value) {
  const size_t at = text->find(placeholder);
  if (at != std::u16string::npos) text->replace(at, placeholder.size(), value);
}

}  // namespace

std::u16string Installer::ResolvePlaceholder(const std::u16string& name) {
  using base::UTF8ToUTF16;
  if (name == u"InstallFolder") return status()->install_folder.value();
  if (name == u"Version") return UTF8ToUTF16(VersionInfo::GetProductVersion());
  if (name == u"Executable") return UTF8ToUTF16(GetBrowserExecutableName());
  if (name == u"Product") return UTF8ToUTF16(VersionInfo::GetProductName());
  if (name == u"Company") return UTF8ToUTF16(BrandingConfig::GetCompanyName());
  if (name == u"CompanyRegistryKey") return GetCompanyRegistryPath();
  if (name == u"Stream") return UTF8ToUTF16(VersionInfo::GetStream());
  if (name == u"Uninstall") return uninstall_command_;
  if (name == u"HelpURL") return UTF8ToUTF16(BrandingConfig::GetUrl("help"));
  if (name == u"CompanyURL")
    return UTF8ToUTF16(BrandingConfig::GetUrl("homepage"));
  if (name == u"DownloadsURL")
    return UTF8ToUTF16(BrandingConfig::GetUrl("download"));
  return name;
}

InstallLogRegistry* Installer::GetInstallLogRegistry(HKEY root) {
  if (!recording_registry_) return nullptr;
  return root == HKEY_LOCAL_MACHINE ? &install_log_.hklm_keys
                                    : &install_log_.hkcu_keys;
}

std::u16string Installer::ExpandProductPlaceholders(
    const std::u16string& text) const {
  const Status* const current = status();
  if (!current || !current->tamsel_installation) return text;
  const std::u16string suffix = GetEditionSuffix(current->old_product_type);
  std::u16string expanded = text;
  ReplaceFirst(&expanded, u"{Product}", suffix);
  ReplaceFirst(&expanded, u"{SPProduct}", u" " + suffix);
  return expanded;
}

std::u16string Installer::GetEditionSuffix(int product_type) {
  if (product_type < 0 ||
      product_type >= static_cast<int>(std::size(kEditionSuffixes)))
    return kInvalidEditionSuffix;
  return kEditionSuffixes[product_type];
}

std::u16string Installer::GetShortcutFileName(bool with_version) {
  std::string name = VersionInfo::GetInstallFolderName();
  if (with_version)
    name += " " + std::to_string(VersionInfo::GetMajorVersion());
  name += BrandingConfig::GetShortcutSuffix();
  name += ".lnk";
  return base::UTF8ToUTF16(name);
}

bool Installer::CreateMasterShortcut(std::vector<ShortcutLocation>* locations,
                                     bool pin, bool* with_version,
                                     const base::FilePath& target) {
  base::win::ShortcutProperties properties;
  properties.set_target(target);
  properties.set_working_dir(target.DirName());
  properties.set_app_id(kAppIdPrefix + base::UTF8ToUTF16(install_log_.app_id));

  if (!*with_version) {
    const std::u16string plain = GetShortcutFileName(false);
    for (const ShortcutLocation& location : *locations) {
      if (base::PathExists(location.folder.Append(plain))) {
        VLOG(1) << "Using version in shortcut name to avoid collision";
        *with_version = true;
        break;
      }
    }
  }
  const std::u16string name = GetShortcutFileName(*with_version);
  VLOG(1) << "Using shortcut name " << name;

  VLOG(1) << "Creating master shortcut";
  // Beside the package this run reads (an elevated run's protected copy),
  // never where another user could change the shortcut before it is copied.
  base::FilePath own_directory = own_directory_;
  if (own_directory.empty())
    base::PathService::Get(base::DIR_EXE, &own_directory);
  const base::FilePath path = own_directory.Append(name);
  VLOG(1) << "Creating master shortcut at " << path;
  if (!base::win::CreateOrUpdateShortcutLink(
          path, properties, base::win::SHORTCUT_CREATE_ALWAYS)) {
    LOG(ERROR) << "Failed to create shortcut at " << path;
    return false;
  }

  TaskbarPins* pins = internal::GetTaskbarPins();
  if (pin && pins->CanPin()) {
    VLOG(1) << "Pinning master shortcut";
    if (pins->Pin(path))
      install_log_.pinned = true;
    else
      LOG(ERROR) << "Failed pinning " << path;
  }

  for (ShortcutLocation& location : *locations) {
    const base::FilePath copy = location.folder.Append(name);
    if (RunOperation(std::make_unique<CopyFileOperation>(path, copy)) &&
        location.out_path) {
      *location.out_path = copy;
    }
  }
  return true;
}

std::u16string Installer::GetUninstallKeyPath(const std::u16string& suffix) {
  return kUninstallKeysPath +
         base::UTF8ToUTF16(VersionInfo::GetProductName() + " " +
                           VersionInfo::GetProductVersion()) +
         suffix;
}

bool Installer::IsUninstallEntryKey(const std::string& key_path) {
  const std::u16string path = base::UTF8ToUTF16(key_path);
  const size_t prefix = std::char_traits<char16_t>::length(kUninstallKeysPath);
  return path.size() > prefix &&
         base::StartsWith16(path, kUninstallKeysPath,
                            base::CompareCase::INSENSITIVE_ASCII) &&
         path.find(u'\\', prefix) == std::u16string::npos;
}

std::string Installer::FormatFeatureOverride(const std::string& name,
                                             bool enabled) {
  return name + (enabled ? "@1" : "@2");
}

void Installer::RemoveCompanionShortcuts() {
  base::FilePath start_menu;
  if (!base::PathService::Get(base::DIR_START_MENU, &start_menu) ||
      !base::DirectoryExists(start_menu)) {
    return;
  }
  const std::u16string pattern =
      base::UTF8ToUTF16(BrandingConfig::GetProductName()) + u"*" +
      kCompanionApplicationName + u".lnk";
  base::DeleteFileRecursive(start_menu, pattern, false);
}

void Installer::RemoveAutoupdateTask(std::u16string* name) {
  std::unique_ptr<TaskScheduler> scheduler = internal::CreateTaskScheduler();
  if (scheduler && scheduler->Init()) {
    scheduler->DeleteStaleTasks();
    scheduler->Delete(kAutoupdateTaskPrefix + *name);
  }
  name->clear();
}

}  // namespace installer
