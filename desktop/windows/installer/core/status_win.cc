#include <windows.h>

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

#include "base/base_paths_win.h"
#include "base/features/list_feature_reader.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/values.h"
#include "base/version.h"
#include "base/win/registry.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/common/installer_experiments.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/core/folder_permission_win.h"
#include "desktop/windows/installer/core/install_path_lengths.h"
#include "desktop/windows/installer/core/status.h"
#include "desktop/windows/installer/service/access_control.h"
#include "desktop/windows/installer/service/installation_info.h"
#include "desktop/windows/installer/service/installer_prefs_store.h"
#include "desktop/windows/installer/service/own_registry_rows_win.h"
#include "desktop/windows/installer/service/utils.h"
#include "desktop/windows/installer/service/xml_document_win.h"

namespace installer {

namespace {

// The former engine's preferences file.
constexpr wchar_t kSystemSection[] = L"System";
constexpr wchar_t kUserPrefsSection[] = L"User Prefs";
constexpr wchar_t kProductKey[] = L"Velna Product";
constexpr wchar_t kMultiUserKey[] = L"Multi User";
constexpr wchar_t kLanguageFilesDirectoryKey[] = L"Language Files Directory";

// The access the user needs on an existing install folder, and on the
// nearest existing ancestor of a new one.
constexpr DWORD kFolderAccess =
    FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE;
constexpr DWORD kCreateSubfolderAccess = FILE_ADD_SUBDIRECTORY;

bool CanAccessFolder(const std::u16string& folder, uint32_t access) {
  return CanCurrentUserAccess(folder, SE_FILE_OBJECT, access);
}

internal::FolderAccessCheck g_folder_access_check = &CanAccessFolder;

// The command line trims white space (Unicode's too) from both ends of every
// argument, so a folder whose name ends in one (U+3000, U+00A0) would reach
// the backend as another folder.
bool EndsInWhiteSpace(const base::FilePath& path) {
  const base::FilePath stripped = path.StripTrailingSeparators();
  const std::u16string& text = stripped.value();
  if (text.empty()) return false;
  for (const char16_t* w = base::kWhitespaceUTF16; *w; ++w) {
    if (text.back() == *w) return true;
  }
  return false;
}

bool IsCdRomDrive(const base::FilePath& path) {
  const std::u16string root = path.value().substr(0, 3);
  return GetDriveTypeW(base::as_wcstr(root)) == DRIVE_CDROM;
}

// -1 when |key| is missing or not a Boolean, else 0 or 1.
int ReadTriState(const base::DictionaryValue& prefs, const char* key) {
  bool value = false;
  return prefs.GetBoolean(key, &value) ? (value ? 1 : 0) : kNotSet;
}

struct UninstallEntry {
  // Below the root key.
  std::u16string key;
  std::u16string version;
};

// The uninstall entries under |root| whose install location is
// |install_folder|.
std::vector<UninstallEntry> FindUninstallEntries(
    HKEY root, const base::FilePath& install_folder) {
  std::vector<UninstallEntry> entries;
  std::u16string parent = kUninstallKeysPath;
  parent.pop_back();
  base::win::RegKey keys(root, parent.c_str(), KEY_READ);
  wchar_t name[256];
  for (DWORD i = 0; keys.Valid(); ++i) {
    DWORD length = std::size(name);
    if (RegEnumKeyExW(keys.Handle(), i, name, &length, nullptr, nullptr,
                      nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    const std::u16string path =
        kUninstallKeysPath + std::u16string(base::as_u16cstr(name));
    base::win::RegKey key(root, path.c_str(), KEY_READ);
    std::u16string location;
    UninstallEntry entry;
    if (key.ReadValue(u"InstallLocation", &location) == ERROR_SUCCESS &&
        base::FilePath::CompareIgnoreCase(
            base::FilePath(location).StripTrailingSeparators().value(),
            install_folder.StripTrailingSeparators().value()) == 0 &&
        key.ReadValue(u"DisplayVersion", &entry.version) == ERROR_SUCCESS) {
      entry.key = path;
      entries.push_back(std::move(entry));
    }
  }
  return entries;
}

// The plain subfolder of |install_folder| holding an installer that
// |version| was installed into; empty when there is none.
std::u16string FindVersionFolder(const base::FilePath& install_folder,
                                 const std::u16string& version) {
  // "<version>", or "<version>_<n>" for the same version installed again:
  // the highest number is the newest.
  std::u16string found;
  int64_t found_number = -2;
  base::FileEnumerator folders(install_folder, false,
                               base::FileEnumerator::DIRECTORIES);
  for (base::FilePath folder = folders.Next(); !folder.empty();
       folder = folders.Next()) {
    const std::u16string name = folder.BaseName().value();
    int64_t number = -1;
    unsigned suffix = 0;
    if (base::FilePath::CompareIgnoreCase(name, version) != 0) {
      const std::u16string prefix = version + u"_";
      if (name.size() <= prefix.size() ||
          base::FilePath::CompareIgnoreCase(name.substr(0, prefix.size()),
                                            prefix) != 0 ||
          !base::WideStringToUintDigitsOnly(name.substr(prefix.size()),
                                            &suffix)) {
        continue;
      }
      number = suffix;
    }
    if (number > found_number && base::IsDirectoryNotLink(folder) &&
        SubfolderHolds(install_folder, name, kPackageInstallerName)) {
      found = name;
      found_number = number;
    }
  }
  return found;
}

}  // namespace

Status::Status(bool replace_tamsel)
    : experiments(std::make_unique<base::FeatureList>()),
      replace_tamsel(replace_tamsel) {}

Status::~Status() = default;

void Status::Init(const base::FilePath& path) {
  VLOG(1) << "Initializing status: " << path;
  install_folder = path;
  valid_install_path = false;
  invalid_reason.clear();
  existing_installation = false;
  tamsel_installation = false;
  existing_installation_traces = false;

  if (path.empty()) {
    VLOG(1) << "Path is empty";
    invalid_reason = "the path is empty";
    return;
  }
  const std::string problem = FindFileNameProblem(path.value(), true);
  if (!problem.empty() || EndsInWhiteSpace(path)) {
    VLOG(1) << "Path is not a valid Win32 path";
    invalid_reason = "it is not a valid path: " +
                     (problem.empty() ? "it ends in white space" : problem);
    return;
  }
  if (!path.IsAbsolute()) {
    VLOG(1) << "Path is relative";
    invalid_reason = "it is a relative path (a drive or share is missing)";
    return;
  }
  if (base::PathExists(path) && !base::DirectoryExists(path)) {
    VLOG(1) << "Path is a file path";
    invalid_reason = "it is a file";
    return;
  }
  if (!base::PathIsWritable(path) && IsCdRomDrive(path)) {
    VLOG(1) << "Path is to a non-writable CD-ROM";
    invalid_reason = "it is on a CD-ROM that cannot be written";
    return;
  }
  if (base::DirectoryExists(path)) {
    VLOG(1) << "Path is a folder";
    valid_parent_folder = path;
    valid_install_path = true;
    ReadInstallLogs();
  }

  if (existing_installation) {
    VLOG(1) << "Path is a existing installation";
    DeriveInstallationMode();
    Inspect();
    // A former-engine installation counts only when it is to be replaced.
    if (tamsel_installation) existing_installation = replace_tamsel;
    return;
  }
  // A new installation only: one made before (by an older installer) must
  // stay reachable for its update and its uninstall.
  const std::string too_long = FindInstallFolderLengthProblem(
      path.value(), base::UTF8ToUTF16(VersionInfo::GetProductVersion()));
  if (!too_long.empty()) {
    VLOG(1) << "Path is too long";
    valid_install_path = false;
    invalid_reason = too_long;
    return;
  }
  if (base::DirectoryExists(path)) {
    VLOG(1) << "Path is not an existing installation";
    existing_installation_traces =
        base::PathExists(install_folder.Append(kLauncherFileName));
    Inspect();
    return;
  }

  // A new folder: its nearest existing ancestor decides.
  for (base::FilePath current = path;;) {
    const base::FilePath parent = current.DirName();
    if (parent == current) {
      VLOG(1) << "Path is a root folder that's not valid"
              << "(probably invalid drive letter)";
      invalid_reason =
          "no part of it exists: its drive or network share is not there";
      return;
    }
    if (base::DirectoryExists(parent)) {
      VLOG(1) << "Path is valid";
      valid_parent_folder = parent;
      valid_install_path = true;
      Inspect();
      return;
    }
    if (base::PathExists(parent)) {
      VLOG(1) << "Path is child of a file (invalid)";
      invalid_reason = "it lies below a file: " + parent.AsUTF8();
      return;
    }
    current = parent;
  }
}

void Status::ReadInstallLogs() {
  XmlDocument document;
  const base::FilePath log = install_folder.Append(kInstallLogFileName);
  if (base::PathExists(log) && ReadInstallLog(&document, &install_log, log)) {
    existing_installation = true;
    // A version folder without its installer was never filled, or was
    // emptied: what the record lists was done in part only.
    if (!install_log.subfolder.empty() &&
        !SubfolderHolds(install_folder, install_log.subfolder,
                        kPackageInstallerName)) {
      LOG(WARNING) << "The installation status names a version folder "
                      "without an installer: "
                   << base::UTF16ToUTF8(install_log.subfolder);
      install_log.complete = false;
    }
    return;
  }
  if (base::PathExists(log) && ReadKeptInstallLog()) {
    existing_installation = true;
    return;
  }
  const base::FilePath former_log =
      install_folder.Append(kFormerInstallLogFileName);
  if (base::PathExists(former_log)) {
    XmlDocument former_document;
    install_log = InstallLog();
    if (ReadInstallLog(&former_document, &install_log, former_log)) {
      existing_installation = true;
      tamsel_installation = true;
      return;
    }
  }
  // What a failed read left behind describes nothing.
  install_log = InstallLog();
}

bool Status::ReadKeptInstallLog() {
  // The newest kept record of a version that can still be uninstalled,
  // one that finished first: all that is known of the installation.
  const std::vector<base::FilePath> kept = FindKeptInstallLogs(install_folder);
  for (bool finished : {true, false}) {
    for (const base::FilePath& path : kept) {
      XmlDocument document;
      InstallLog candidate;
      if (!ReadInstallLog(&document, &candidate, path) ||
          candidate.complete != finished ||
          !SubfolderHolds(install_folder, candidate.subfolder,
                          kPackageInstallerName)) {
        continue;
      }
      LOG(WARNING) << "The installation status cannot be read: going on "
                      "from the kept status "
                   << path << ", as an installation that did not finish";
      install_log = std::move(candidate);
      install_log.complete = false;
      TakeInUninstallEntries();
      return true;
    }
  }
  LOG(WARNING) << "The installation status cannot be read, nor any kept "
                  "status of a version with an installer";
  return false;
}

void Status::TakeInUninstallEntries() {
  // The status that does not read named the newest version, whose uninstall
  // entry the system lists: without them the uninstallation would leave
  // both, and an update would add a second entry.
  const OwnRegistryRows own =
      OwnRegistryRows::ForInstallation(install_folder, install_log.path);
  // Each as the entry gives it, which is how its folder is named.
  std::vector<std::pair<base::Version, std::u16string>> versions;
  const std::pair<HKEY, InstallLogRegistry*> sections[] = {
      {HKEY_CURRENT_USER, &install_log.hkcu_keys},
      {HKEY_LOCAL_MACHINE, &install_log.hklm_keys}};
  for (const auto& [root, section] : sections) {
    for (const UninstallEntry& entry :
         FindUninstallEntries(root, install_folder)) {
      InstallLogKey key;
      key.clean_depth = 1;
      key.path = base::UTF16ToUTF8(entry.key);
      if (!own.DescribeForeign(root, key).empty()) continue;
      const bool listed = std::any_of(
          section->begin(), section->end(), [&](const InstallLogKey& known) {
            return base::EqualsCaseInsensitiveASCII(known.path, key.path);
          });
      if (!listed) {
        LOG(WARNING) << "Taking in the uninstall entry " << key.path;
        section->push_back(std::move(key));
      }
      const base::Version version(base::UTF16ToUTF8(entry.version));
      if (version.IsValid()) versions.emplace_back(version, entry.version);
    }
  }
  // The newest version whose folder holds its installer: an entry may name
  // one whose folder is gone (or never was), and stopping there would leave
  // the files of an older one that is there.
  std::sort(versions.begin(), versions.end(), [](const auto& a, const auto& b) {
    return a.first.CompareTo(b.first) > 0;
  });
  const base::Version recorded(install_log.version);
  std::u16string newest_text;
  std::u16string subfolder;
  for (const auto& [version, text] : versions) {
    if (recorded.CompareTo(version) >= 0) return;
    subfolder = FindVersionFolder(install_folder, text);
    if (!subfolder.empty()) {
      newest_text = text;
      break;
    }
    LOG(WARNING) << "The uninstall entry of " << base::UTF16ToUTF8(text)
                 << " names no version folder with an installer";
  }
  if (subfolder.empty()) return;
  // Its files are what its folder holds: the record that listed them is the
  // one that does not read.
  const base::FilePath folder = install_folder.Append(subfolder);
  std::vector<std::u16string> files;
  base::FileEnumerator entries(folder, true, base::FileEnumerator::FILES);
  for (base::FilePath file = entries.Next(); !file.empty();
       file = entries.Next()) {
    files.push_back(file.value().substr(folder.value().size() + 1));
  }
  LOG(WARNING) << "Taking in the version folder " << folder << " ("
               << files.size() << " files) that the uninstall entry names";
  install_log.subfolder = subfolder;
  install_log.version = base::UTF16ToUTF8(newest_text);
  install_log.files = std::move(files);
}

void Status::DeriveInstallationMode() {
  const bool no_traces = install_log.hklm_keys.empty() &&
                         install_log.hkcu_keys.empty() &&
                         install_log.desktop_shortcut.empty() &&
                         install_log.start_menu_shortcut.empty() &&
                         install_log.quick_launch_shortcut.empty();
  install_log.copy_only = install_log.copy_only && no_traces;
  install_log.all_users =
      !install_log.copy_only &&
      (install_log.all_users || !install_log.hklm_keys.empty());
}

void Status::InspectShortcuts() {
  VLOG(1) << "Testing shortcuts";
  for (bool* found :
       {&desktop_shortcut_exists, &start_menu_shortcut_exists,
        &quick_launch_shortcut_exists, &recreate_desktop_shortcut,
        &recreate_start_menu_shortcut, &recreate_quick_launch_shortcut,
        &recreate_pinned_shortcut}) {
    *found = false;
  }
  pinned_shortcut_path = base::FilePath();
  const base::FilePath browser =
      base::FilePath::FromUTF16(base::ASCIIToUTF16(GetBrowserExecutableName()));
  TestShortcuts(install_folder.Append(kLauncherFileName), true);
  TestShortcuts(install_folder.AppendPath(browser), false);
  TestShortcuts(
      install_folder.Append(install_log.subfolder).AppendPath(browser), false);
}

void Status::Inspect() {
  if (existing_installation) {
    InspectShortcuts();
    base::FilePath start_menu;
    if (!temporary_shortcut_folder_exists &&
        base::PathService::Get(base::DIR_START_MENU, &start_menu)) {
      const base::FilePath folder =
          start_menu.Append(kTemporaryShortcutFolderName);
      // Only a real folder: the user may have put a junction there, and an
      // elevated uninstallation deletes what this names.
      temporary_shortcut_folder_exists = base::IsDirectoryNotLink(folder);
      if (temporary_shortcut_folder_exists) temporary_shortcut_folder = folder;
    }
  }
  if (valid_install_path) {
    VLOG(1) << "Determining write access";
    has_write_access = g_folder_access_check(
        valid_parent_folder.value(), valid_parent_folder == install_folder
                                         ? kFolderAccess
                                         : kCreateSubfolderAccess);
  }
  if (!existing_installation) return;

  // Only objects of this inspection: it runs on a worker thread.
  InstallationInfo info(install_folder);
  VLOG(1) << "Determining whether we handled http";
  is_http_handler = info.IsHandlerCommandOurs(u"http", tamsel_installation);

  VLOG(1) << "Reading exisitng tracking data";
  if (!base::FileUtil::ReadFileToString(
          install_folder.Append(kServerTrackingDataFileName), &tracking_data)) {
    tracking_data.clear();
  }

  const bool installer_prefs_read =
      !tamsel_installation && ReadInstallerPrefs();

  VLOG(1) << "Finding current user profile";
  base::FilePath user_data;
  if (info.GetUserDataPath(&user_data, false)) {
    profile_path = user_data;
    ReadProfileLanguage();
  }

  if (installer_prefs_read && !tamsel_installation) return;
  ReadFormerEnginePrefs(installer_prefs_read);
}

void Status::TestShortcuts(const base::FilePath& target, bool is_launcher) {
  if (!base::PathExists(target)) return;
  BY_HANDLE_FILE_INFORMATION identity = {};
  const BY_HANDLE_FILE_INFORMATION* target_identity =
      GetFileInfo(target, &identity) ? &identity : nullptr;
  struct {
    const std::u16string& shortcut;
    bool* exists;
    bool* recreate;
  } shortcuts[] = {
      {install_log.desktop_shortcut, &desktop_shortcut_exists,
       &recreate_desktop_shortcut},
      {install_log.start_menu_shortcut, &start_menu_shortcut_exists,
       &recreate_start_menu_shortcut},
      {install_log.quick_launch_shortcut, &quick_launch_shortcut_exists,
       &recreate_quick_launch_shortcut},
  };
  for (auto& shortcut : shortcuts) {
    if (*shortcut.exists) continue;
    *shortcut.exists = !shortcut.shortcut.empty() &&
                       ShortcutPointsTo(base::FilePath(shortcut.shortcut),
                                        target, target_identity);
    if (*shortcut.exists && !is_launcher) *shortcut.recreate = true;
    // Windows 8 shows the start menu's shortcuts differently: one that does
    // not point where it should is made again.
    if (!*shortcut.exists && shortcut.exists == &start_menu_shortcut_exists &&
        base::win::GetWindowsVersion() >= base::win::kVersionWin8) {
      recreate_start_menu_shortcut = true;
    }
  }
  if (pinned_shortcut_path.empty()) {
    pinned_shortcut_path = FindTaskbarPinShortcut(target, target_identity);
    if (!pinned_shortcut_path.empty() && !is_launcher)
      recreate_pinned_shortcut = true;
  }
}

bool Status::ReadInstallerPrefs() {
  const base::FilePath path = install_folder.Append(kInstallerPrefsFileName);
  if (!base::PathExists(path)) return false;
  VLOG(1) << "Reading existing prefs";
  // A plain read: a preference store would move an unreadable file aside.
  std::unique_ptr<base::DictionaryValue> prefs = ReadJsonDictionaryFile(path);
  if (!prefs) return false;
  single_profile = ReadTriState(*prefs, kSingleProfilePref);
  import_browser_data = ReadTriState(*prefs, kImportBrowserDataPref);
  enable_stats = ReadTriState(*prefs, kEnableStatsPref);
  std::u16string stored_language;
  if (prefs->GetString(kLanguagePref, &stored_language))
    language = stored_language;
  std::string stored_welcome_url;
  if (prefs->GetString(kWelcomeUrlPref, &stored_welcome_url))
    welcome_url = stored_welcome_url;

  VLOG(1) << "Reading existing experiments status";
  const base::ListValue* stored_experiments = nullptr;
  if (prefs->GetList(kAllInstallerExperimentsPref, &stored_experiments)) {
    experiments = std::make_unique<base::FeatureList>();
    RegisterInstallerExperiments(experiments.get());
    experiments->ReadOverrides(base::ListFeatureReader(*stored_experiments));
    if (experiments->IsEnabled(kInstallerExperimentTest))
      LOG(INFO) << "Test experiment was enabled in install folder.";
  }
  return true;
}

void Status::ReadProfileLanguage() {
  std::unique_ptr<base::DictionaryValue> local_state =
      ReadJsonDictionaryFile(profile_path.Append(kLocalStateFileName));
  VLOG(1) << "Obtaining current user language";
  std::u16string locale;
  if (local_state && local_state->GetString(kAppLocalePref, &locale))
    language = locale;
}

void Status::ReadFormerEnginePrefs(bool installer_prefs_read) {
  VLOG(1) << "Reading old product type";
  const base::FilePath ini = install_folder.Append(kFormerEnginePrefsFileName);
  if (!base::PathExists(ini)) return;
  const wchar_t* file = base::as_wcstr(ini.value());
  const UINT product =
      GetPrivateProfileIntW(kSystemSection, kProductKey, 0, file);
  old_product_type =
      (product == 1 || product == 2) ? static_cast<int>(product) : 0;
  if (installer_prefs_read) return;

  VLOG(1) << "Reading old tamsel prefs";
  const int multi_user = static_cast<int>(
      GetPrivateProfileIntW(kSystemSection, kMultiUserKey, -1, file));
  if (multi_user != -1) single_profile = multi_user == 0 ? 1 : 0;
  wchar_t directory[MAX_PATH + 1] = {};
  const DWORD length =
      GetPrivateProfileStringW(kUserPrefsSection, kLanguageFilesDirectoryKey,
                               L"", directory, MAX_PATH + 1, file);
  // A full buffer means the value was cut: no language then.
  if (length > 0 && length < MAX_PATH) {
    language = base::FilePath(base::as_u16cstr(directory)).BaseName().value();
  }
}

namespace internal {

void SetFolderAccessCheckForTesting(FolderAccessCheck check) {
  g_folder_access_check = check ? check : &CanAccessFolder;
}

}  // namespace internal

}  // namespace installer
