#include "desktop/windows/installer/service/installation_info.h"

#include <stdint.h>
#include <windows.h>

#include <algorithm>
#include <atomic>

#include "base/at_exit.h"
#include "base/base_paths.h"
#include "base/base_paths_win.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/values.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/service/transactions/delete_file_operation.h"
#include "desktop/windows/installer/service/utils.h"
#include "desktop/windows/installer/service/xml_document_win.h"

namespace installer {

namespace {

// The state word of GetInstance(): no instance, one being built, or the
// instance's address.
constexpr uintptr_t kNoInstance = 0;
constexpr uintptr_t kBuildingInstance = 1;
std::atomic<uintptr_t> g_instance{kNoInstance};

constexpr char16_t kSingleProfileDataFolderName[] = u"data";
constexpr char kInternalStreamPlaceholder[] = "{InternalStream}";

// The folder of the running program's installation (see GetInstance()).
base::FilePath FindRunningInstallFolder() {
  base::FilePath folder;
  if (!base::PathService::Get(base::DIR_EXE, &folder)) return {};
  const base::FilePath parent = folder.DirName();
  if (base::PathExists(folder.Append(kLauncherFileName)) || parent == folder)
    return folder;
  // An update cut between the two renames that replace a running launcher
  // leaves it only under its aside name, and an uninstallation cut once it
  // took the launcher into its batch file's folder leaves the record alone:
  // the version's installer must still find its installation, to put the
  // launcher back or to complete the uninstallation.
  const base::FilePath launcher = parent.Append(kLauncherFileName);
  return base::PathExists(launcher) ||
                 !DeleteFileOperation::FindAsideCopies(launcher).empty() ||
                 base::PathExists(parent.Append(kInstallLogFileName))
             ? parent
             : folder;
}

void DeleteInstance(void*) {
  delete reinterpret_cast<InstallationInfo*>(g_instance.load());
  g_instance.store(kNoInstance);
}

// The default profile folder's name from the branding: "{InternalStream}"
// replaced, '/' made '\'. Empty when the branding has no template.
std::u16string DefaultProfileFolderName() {
  std::string name = BrandingConfig::GetDefaultProfilePathTemplate();
  base::ReplaceSubstringsAfterOffset(&name, 0, kInternalStreamPlaceholder,
                                     GetInternalStreamName());
  std::replace(name.begin(), name.end(), '/', '\\');
  return base::UTF8ToUTF16(name);
}

}  // namespace

InstallationInfoBase::InstallationInfoBase(const base::FilePath& install_folder)
    : install_folder_(install_folder) {}

InstallationInfoBase::InstallationInfoBase(const base::FilePath& install_folder,
                                           const InstallLog& status)
    : status_loaded_(true), status_(status), install_folder_(install_folder) {}

InstallationInfoBase::~InstallationInfoBase() = default;

base::ScopedRefPtr<InstallerPrefsStore>
InstallationInfoBase::GetInstallerPrefs() {
  if (!installer_prefs_) {
    installer_prefs_ = InstallerPrefsStore::Read(
        install_folder_.Append(kInstallerPrefsFileName));
  }
  return installer_prefs_;
}

void InstallationInfoBase::Init() {
  ReadProfilePath();
  registered_application_name_ = base::ASCIIToUTF16(
      BrandingConfig::GetProductName() + " " + VersionInfo::GetStream());
}

void InstallationInfoBase::ReadProfilePath() {
  const base::Value* value = nullptr;
  std::u16string text;
  if (GetInstallerPrefs()->GetValue(kProfilePathPref, &value) &&
      value->GetAsString(&text)) {
    profile_path_template_ = text;
  }
}

InstallationInfo::InstallationInfo(const base::FilePath& install_folder)
    : InstallationInfoBase(install_folder) {
  Init();
}

InstallationInfo::InstallationInfo(const base::FilePath& install_folder,
                                   const InstallLog& status)
    : InstallationInfoBase(install_folder, status) {
  Init();
}

InstallationInfo::~InstallationInfo() = default;

// static
InstallationInfo* InstallationInfo::GetInstance() {
  uintptr_t state = g_instance.load(std::memory_order_acquire);
  if (state > kBuildingInstance)
    return reinterpret_cast<InstallationInfo*>(state);
  uintptr_t expected = kNoInstance;
  if (g_instance.compare_exchange_strong(expected, kBuildingInstance,
                                         std::memory_order_acq_rel)) {
    auto* instance = new InstallationInfo(FindRunningInstallFolder());
    g_instance.store(reinterpret_cast<uintptr_t>(instance),
                     std::memory_order_release);
    base::AtExitManager::RegisterCallback(&DeleteInstance, nullptr);
    return instance;
  }
  // Another thread builds it.
  while ((state = g_instance.load(std::memory_order_acquire)) <=
         kBuildingInstance) {
    Sleep(0);
  }
  return reinterpret_cast<InstallationInfo*>(state);
}

// static
InstallationInfo* InstallationInfo::Get() { return GetInstance(); }

bool InstallationInfo::IsSingleProfile() {
  base::ScopedRefPtr<InstallerPrefsStore> prefs = GetInstallerPrefs();
  CHECK(prefs->IsInitializationComplete());
  const base::Value* value = nullptr;
  bool single_profile = false;
  return prefs->GetValue(kSingleProfilePref, &value) &&
         value->GetAsBoolean(&single_profile) && single_profile;
}

void InstallationInfo::LoadInstallationStatus() {
  if (status_loaded_) return;
  status_loaded_ = true;
  status_.files.clear();
  status_.root_files.clear();
  status_.hklm_keys.clear();
  status_.hkcu_keys.clear();
  XmlDocument document;
  ReadInstallLog(&document, &status_,
                 install_folder().Append(kInstallLogFileName));
}

const InstallLog& InstallationInfo::GetInstallationStatus() {
  LoadInstallationStatus();
  return status_;
}

bool InstallationInfo::IsCopyOnly() {
  return GetInstallationStatus().copy_only;
}

bool InstallationInfo::GetSingleProfileFolder(base::FilePath* out) {
  if (!IsSingleProfile()) return false;
  *out = install_folder().Append(kSingleProfileFolderName);
  return true;
}

bool InstallationInfo::GetProfilePath(base::FilePath* out) {
  if (profile_path_template().empty()) {
    // An empty branding template would name the roaming folder itself,
    // which the uninstaller may then delete.
    const std::u16string name = DefaultProfileFolderName();
    base::FilePath roaming;
    if (name.empty() ||
        !base::PathService::Get(base::DIR_ROAMING_APP_DATA, &roaming)) {
      return false;
    }
    *out = roaming.Append(name);
    return true;
  }
  std::u16string path = profile_path_template();
  const size_t user_name_at = path.find(kUserNamePlaceholder);
  if (user_name_at != std::u16string::npos) {
    std::u16string user_name;
    if (!GetCurrentUserName(&user_name)) return false;
    path.replace(user_name_at,
                 std::char_traits<char16_t>::length(kUserNamePlaceholder),
                 user_name);
  }
  path.resize(std::min(path.size(), path.find(u'\0')));
  *out = base::FilePath(path);
  return true;
}

bool InstallationInfo::GetUserDataPath(base::FilePath* out,
                                       bool parent_of_user_folder) {
  if (install_folder().empty()) return false;
  if (GetSingleProfileFolder(out)) {
    *out = out->Append(kSingleProfileDataFolderName);
    return true;
  }
  if (!GetProfilePath(out)) return false;
  if (!parent_of_user_folder) return true;
  const std::u16string& path_template = profile_path_template();
  const size_t user_name_at = path_template.find(kUserNamePlaceholder);
  if (user_name_at == std::u16string::npos) return true;
  const size_t separator = path_template.find_first_of(u"\\/", user_name_at);
  if (separator == std::u16string::npos ||
      separator + 1 == path_template.size()) {
    *out = out->DirName();
  }
  return true;
}

void RebaseRoamingToLocalAppData(const InstallationInfo& info,
                                 const base::FilePath& in,
                                 base::FilePath* out) {
  *out = in;
  base::FilePath roaming;
  base::FilePath local;
  if (!info.profile_path_template().empty() ||
      !base::PathService::Get(base::DIR_ROAMING_APP_DATA, &roaming) ||
      !base::PathService::Get(base::DIR_LOCAL_APP_DATA, &local)) {
    return;
  }
  if (roaming.AppendRelativePath(in, &local)) *out = local;
}

}  // namespace installer
