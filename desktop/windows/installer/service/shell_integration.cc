#include "desktop/windows/installer/service/shell_integration.h"

#include <memory>
#include <utility>

#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/registry.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/common/installer_names.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/service/installation_info.h"
#include "desktop/windows/installer/service/placeholder_resolver.h"
#include "desktop/windows/installer/service/registry_entry_tables_win.h"
#include "desktop/windows/installer/service/shell_platform.h"
#include "desktop/windows/installer/service/transactions/operation.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "desktop/windows/installer/service/utils.h"

namespace installer {

namespace {

using Microsoft::WRL::ComPtr;

const HKEY kAnyRoot = nullptr;

// Rows: key, value name (null: the default value), type, data, minimum
// Windows version index, root key, minimum release channel, clean depth.
const RegistryEntryTemplate kProtocolRegistryTable[] = {
    {u"Software\\Classes\\{Protocol}", u"EditFlags", REG_DWORD, DwordData(2), 1,
     kAnyRoot, 0, 0},
    {u"Software\\Classes\\{Protocol}", u"URL Protocol", REG_SZ, kNoData, 1,
     kAnyRoot, 0, 0},
    {u"Software\\Classes\\{Protocol}\\DefaultIcon", nullptr, REG_SZ,
     TextData(u"{InstallFolder}\\Launcher.exe,0"), 1, kAnyRoot, 0, 0},
    {u"Software\\Classes\\{Protocol}\\shell\\open\\command", nullptr, REG_SZ,
     TextData(u"\"{InstallFolder}\\launcher.exe\" -noautoupdate -- \"%1\""), 1,
     kAnyRoot, 0, 0},
    {u"Software\\Classes\\{Protocol}\\shell\\open\\ddeexec", nullptr,
     kRegTypeDeleteKey, kNoData, 1, HKEY_LOCAL_MACHINE, 0, 0},
    {u"Software\\Classes\\{Protocol}\\shell\\open\\ddeexec", nullptr, REG_SZ,
     TextData(u""), 1, HKEY_CURRENT_USER, 0, 0},
    {u"Software\\Classes\\{Protocol}\\shell\\open\\ddeexec\\Application",
     nullptr, REG_SZ, TextData(u""), 1, HKEY_CURRENT_USER, 0, 0},
    {u"Software\\Classes\\{Protocol}\\shell\\open\\ddeexec\\Topic", nullptr,
     REG_SZ, TextData(u""), 1, HKEY_CURRENT_USER, 0, 0},
    {u"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations"
     u"\\{Protocol}\\UserChoice",
     u"Progid", kRegTypeRemoveValue, kNoData, 3, HKEY_CURRENT_USER, 0, 0},
};

const RegistryEntryTemplate kExtensionRegistryTable[] = {
    {u"Software\\Classes\\{Extension}", nullptr, REG_SZ,
     TextData(u"{Product}{Stream}"), 1, kAnyRoot, 0, 0},
    {u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts"
     u"\\{Extension}\\UserChoice",
     u"Progid", kRegTypeRemoveValue, kNoData, 3, HKEY_CURRENT_USER, 0, 0},
};

// Registered before Windows 8 after "http", in this order.
const char16_t* const kOtherHandledNames[] = {
    u"https", u"ftp",         u".crx",   u".htm", u".html",
    u".nex",  u".vldownload", u".shtml", u".xht", u".xhtml",
};

constexpr char16_t kClassesPrefix[] = u"SOFTWARE\\Classes\\";
constexpr char16_t kUserClassesPrefix[] = u"Software\\Classes\\";
constexpr char16_t kOpenCommandSuffix[] = u"\\shell\\open\\command";
constexpr char16_t kStartMenuInternetKey[] =
    u"Software\\Clients\\StartMenuInternet";
constexpr char16_t kStartMenuClientName[] = u"StartmenuInternet";
constexpr char16_t kSettingsAppId[] =
    u"windows.immersivecontrolpanel_cw5n1h2txyewy"
    u"!microsoft.windows.immersivecontrolpanel";
constexpr char16_t kDefaultProgramsPage[] = u"page=SettingsPageAppsDefaults";

HKEY RootFor(bool all_users) {
  return all_users ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

bool IsExtension(const std::u16string& name) {
  return !name.empty() && name[0] == u'.';
}

// A key that cannot be opened because it does not exist reads like a
// value that does not exist.
bool IsMissing(LONG result) {
  return result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND;
}

// Reads |value_name| of |root|\|key|: the key's result when it does not
// open, else the read's.
LONG ReadRegistryText(HKEY root, const std::u16string& key,
                      const char16_t* value_name, std::u16string* out) {
  base::win::RegKey reg_key;
  const LONG result = reg_key.Open(root, key.c_str(), KEY_QUERY_VALUE);
  if (result != ERROR_SUCCESS) return result;
  return reg_key.ReadValue(value_name, out);
}

// What HKEY_CLASSES_ROOT shows the current user at |path|: the user's own
// class key when it exists, else the machine's. Read from the two keys
// themselves, because Wine's HKEY_CLASSES_ROOT shows only the machine's.
LONG ReadCurrentUserClassesText(const std::u16string& path,
                                const char16_t* value_name,
                                std::u16string* out) {
  base::win::RegKey key;
  LONG result = key.Open(HKEY_CURRENT_USER, (kUserClassesPrefix + path).c_str(),
                         KEY_QUERY_VALUE);
  if (IsMissing(result)) {
    result = key.Open(HKEY_LOCAL_MACHINE, (kClassesPrefix + path).c_str(),
                      KEY_QUERY_VALUE);
  }
  if (result != ERROR_SUCCESS) return result;
  return key.ReadValue(value_name, out);
}

// The user's chosen ProgId for |name|: true with an empty |*prog_id| when
// there is no choice.
bool ReadUserChoice(const std::u16string& name, std::u16string* prog_id) {
  const std::u16string key =
      std::u16string(u"Software\\Microsoft\\Windows\\") +
      (IsExtension(name) ? u"CurrentVersion\\Explorer\\FileExts\\"
                         : u"Shell\\Associations\\UrlAssociations\\") +
      name + u"\\UserChoice";
  const LONG result =
      ReadRegistryText(HKEY_CURRENT_USER, key, u"ProgId", prog_id);
  if (result == ERROR_SUCCESS) return true;
  prog_id->clear();
  return IsMissing(result);
}

// Applies |rows| for |root| into a transaction of their own: all of them,
// or on the first failure none.
bool ApplyRows(std::span<const RegistryEntryTemplate> rows,
               PlaceholderResolver* resolver, HKEY root) {
  ShellPlatform* platform = ShellPlatform::Get();
  Transaction transaction;
  for (const RegistryEntryTemplate& row : rows) {
    RegistryEntry entry(row, resolver);
    std::unique_ptr<Operation> operation;
    if (!entry.Apply(root, &operation) ||
        (operation &&
         !platform->RunOperation(&transaction, std::move(operation)))) {
      Transaction::Rollback(&transaction);
      return false;
    }
  }
  return true;
}

// Opens the Settings application's page of default programs.
bool OpenDefaultProgramsSettings(ShellPlatform* platform) {
  ComPtr<IApplicationActivationManager> manager;
  if (FAILED(platform->CreateActivationManager(&manager))) return false;
  CoAllowSetForegroundWindow(manager.Get(), nullptr);
  DWORD process_id = 0;
  return SUCCEEDED(manager->ActivateApplication(
      base::as_wcstr(kSettingsAppId), base::as_wcstr(kDefaultProgramsPage),
      AO_NONE, &process_id));
}

bool SetAppAsDefault(ShellPlatform* platform, const std::u16string& app_name,
                     const std::u16string& name, ASSOCIATIONTYPE type) {
  ComPtr<IApplicationAssociationRegistration> registration;
  return SUCCEEDED(platform->CreateAssociationRegistration(&registration)) &&
         SUCCEEDED(registration->SetAppAsDefault(base::as_wcstr(app_name),
                                                 base::as_wcstr(name), type));
}

}  // namespace

std::span<const RegistryEntryTemplate> GetProtocolRegistryTable() {
  return kProtocolRegistryTable;
}

std::span<const RegistryEntryTemplate> GetExtensionRegistryTable() {
  return kExtensionRegistryTable;
}

bool GetHandlerCommand(const std::u16string& name, bool all_users,
                       std::u16string* out) {
  std::u16string prog_id;
  if (!all_users &&
      ShellPlatform::Get()->GetWindowsVersion() >= base::win::kVersionVista) {
    if (!ReadUserChoice(name, &prog_id)) return false;
  }
  if (prog_id.empty()) {
    if (!IsExtension(name)) {
      prog_id = name;
    } else if (all_users) {
      if (ReadRegistryText(HKEY_LOCAL_MACHINE, kClassesPrefix + name, nullptr,
                           &prog_id) != ERROR_SUCCESS) {
        return false;
      }
    } else if (ReadCurrentUserClassesText(name, nullptr, &prog_id) !=
               ERROR_SUCCESS) {
      return false;
    }
  }
  const std::u16string command_key = prog_id + kOpenCommandSuffix;
  return (all_users
              ? ReadRegistryText(HKEY_LOCAL_MACHINE,
                                 kClassesPrefix + command_key, nullptr, out)
              : ReadCurrentUserClassesText(command_key, nullptr, out)) ==
         ERROR_SUCCESS;
}

bool InstallationInfo::IsHandlerCommandOurs(const std::u16string& name,
                                            bool use_browser_executable) {
  std::u16string command;
  if (!GetHandlerCommand(name, false, &command)) return false;
  const std::u16string program =
      use_browser_executable ? base::UTF8ToUTF16(GetBrowserExecutableName())
                             : std::u16string(kLauncherFileName);
  const std::u16string expected =
      base::ToLowerASCII(install_folder().Append(program).value());
  return base::ToLowerASCII(command).find(expected) != std::u16string::npos;
}

bool InstallationInfo::IsStartMenuInternetDefault() {
  LoadInstallationStatus();
  ShellPlatform* platform = ShellPlatform::Get();
  if (platform->GetWindowsVersion() >= base::win::kVersionVista &&
      status_.all_users) {
    ComPtr<IApplicationAssociationRegistration> registration;
    BOOL is_default = FALSE;
    return SUCCEEDED(platform->CreateAssociationRegistration(&registration)) &&
           SUCCEEDED(registration->QueryAppIsDefault(
               base::as_wcstr(kStartMenuClientName), AT_STARTMENUCLIENT,
               AL_EFFECTIVE, base::as_wcstr(registered_application_name()),
               &is_default)) &&
           is_default;
  }
  const std::u16string expected = base::ASCIIToUTF16(
      BrandingConfig::GetProductName() + VersionInfo::GetStream());
  std::u16string value;
  LONG result = ReadRegistryText(HKEY_CURRENT_USER, kStartMenuInternetKey,
                                 nullptr, &value);
  // The user's own setting first; without one, the machine's.
  if (IsMissing(result)) {
    result = ReadRegistryText(HKEY_LOCAL_MACHINE, kStartMenuInternetKey,
                              nullptr, &value);
  }
  return result == ERROR_SUCCESS && value == expected;
}

bool InstallationInfo::IsDefaultBrowser() {
  const bool ours = IsHandlerCommandOurs(u"http", false) &&
                    IsHandlerCommandOurs(u"https", false);
  if (ShellPlatform::Get()->GetWindowsVersion() >= base::win::kVersionWin8)
    return ours;
  return IsStartMenuInternetDefault() && ours;
}

bool WritePreviousDefaultBrowser(const std::u16string& command,
                                 bool all_users) {
  base::win::RegKey key;
  if (key.Create(RootFor(all_users), GetCompanyRegistryPath().c_str(),
                 KEY_SET_VALUE) != ERROR_SUCCESS) {
    return false;
  }
  return key.WriteValue(kPreviousDefaultBrowserValue, command.c_str()) ==
         ERROR_SUCCESS;
}

void SavePreviousDefaultBrowser(InstallationInfo* info, bool all_users) {
  std::u16string command;
  if (!info->IsHandlerCommandOurs(u"http", false) &&
      GetHandlerCommand(u"http", all_users, &command)) {
    WritePreviousDefaultBrowser(command, all_users);
  }
}

bool RegisterProgIdEntries(InstallationInfo* info, bool all_users) {
  PlaceholderResolver resolver(std::u16string(),
                               info->install_folder().value());
  return ApplyRows(GetProgIdRegistryTable(), &resolver, RootFor(all_users));
}

bool RegisterAssociation(InstallationInfo* info, const std::u16string& name,
                         bool all_users) {
  info->LoadInstallationStatus();
  ShellPlatform* platform = ShellPlatform::Get();
  const int version = platform->GetWindowsVersion();
  const bool extension = IsExtension(name);
  bool leave_out_last = version < base::win::kVersionVista;

  if (version >= base::win::kVersionWin10) {
    return !all_users && OpenDefaultProgramsSettings(platform);
  }
  if (version >= base::win::kVersionWin8) {
    if (all_users) return false;
    leave_out_last = true;
    if (!info->IsHandlerCommandOurs(name, false)) {
      OPENASINFO open_as = {};
      open_as.pcszFile = base::as_wcstr(name);
      open_as.oaifInFlags =
          OAIF_REGISTER_EXT | OAIF_FORCE_REGISTRATION | OAIF_URL_PROTOCOL;
      if (FAILED(platform->ShowOpenWithDialog(nullptr, open_as))) return false;
      SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    }
  } else if (version >= base::win::kVersionVista && !all_users &&
             info->GetInstallationStatus().all_users) {
    if (!SetAppAsDefault(platform, info->registered_application_name(), name,
                         extension ? AT_FILEEXTENSION : AT_URLPROTOCOL)) {
      return false;
    }
    leave_out_last = true;
  }

  std::span<const RegistryEntryTemplate> rows =
      extension ? GetExtensionRegistryTable() : GetProtocolRegistryTable();
  if (leave_out_last) rows = rows.first(rows.size() - 1);
  PlaceholderResolver resolver(name, info->install_folder().value());
  return ApplyRows(rows, &resolver, RootFor(all_users));
}

bool RegisterStartMenuInternet(InstallationInfo* info, bool all_users) {
  ShellPlatform* platform = ShellPlatform::Get();
  const int version = platform->GetWindowsVersion();
  if (version >= base::win::kVersionWin8 && all_users) return false;
  info->LoadInstallationStatus();
  if (version >= base::win::kVersionVista &&
      version < base::win::kVersionWin8 && !all_users &&
      info->GetInstallationStatus().all_users &&
      !SetAppAsDefault(platform, info->registered_application_name(),
                       kStartMenuClientName, AT_STARTMENUCLIENT)) {
    return false;
  }
  PlaceholderResolver resolver(std::u16string(),
                               info->install_folder().value());
  return ApplyRows({&kStartMenuInternetDefaultRegOp, 1}, &resolver,
                   RootFor(all_users));
}

bool RegisterBrowserAssociations(InstallationInfo* info, bool all_users) {
  if (info->IsSingleProfile()) return false;
  if (RegisterProgIdEntries(info, all_users)) {
    RegisterAssociation(info, u"http", all_users);
    if (ShellPlatform::Get()->GetWindowsVersion() < base::win::kVersionWin8) {
      for (const char16_t* name : kOtherHandledNames)
        RegisterAssociation(info, name, all_users);
    }
    RegisterStartMenuInternet(info, all_users);
  }
  return info->IsDefaultBrowser();
}

}  // namespace installer
