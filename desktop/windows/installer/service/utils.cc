#include "desktop/windows/installer/service/utils.h"

#include <lmcons.h>

#include <vector>

#include "base/base_paths_win.h"
#include "base/files/file.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "base/strings/string_piece.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_handle.h"
#include "base/win/shortcut.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/service/access_control.h"

namespace installer {

namespace {

// SHGetKnownFolderPath's creation flags: KF_FLAG_CREATE | KF_FLAG_INIT.
constexpr DWORD kKnownFolderCreateFlags = 0x8800;
// SHGetFolderPathW's: CSIDL_FLAG_CREATE | CSIDL_FLAG_DONT_UNEXPAND.
constexpr int kCsidlCreateFlags = 0xA000;

using SHGetKnownFolderPathFunction = HRESULT(WINAPI*)(REFKNOWNFOLDERID, DWORD,
                                                      HANDLE, PWSTR*);

bool IsSameFile(const BY_HANDLE_FILE_INFORMATION& a,
                const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
         a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

// |resolved| names |target|: the same text ignoring case, or, with the
// target's identity, the same file.
bool IsSameTarget(const base::FilePath& resolved, const base::FilePath& target,
                  const BY_HANDLE_FILE_INFORMATION* target_info) {
  if (base::FilePath::CompareIgnoreCase(resolved.value(), target.value()) == 0)
    return true;
  BY_HANDLE_FILE_INFORMATION resolved_info;
  return target_info && GetFileInfo(resolved, &resolved_info) &&
         IsSameFile(resolved_info, *target_info);
}

// Whether |token| holds BUILTIN\Administrators as a group that allows
// access. False when it cannot be asked.
bool ReadAdministratorsMembership(HANDLE token, bool* member) {
  HANDLE duplicate = nullptr;
  if (!DuplicateToken(token, SecurityIdentification, &duplicate)) return false;
  base::win::ScopedHandle identification(duplicate);
  BYTE administrators[SECURITY_MAX_SID_SIZE] = {};
  DWORD sid_size = sizeof(administrators);
  BOOL is_member = FALSE;
  if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators,
                          &sid_size) ||
      !CheckTokenMembership(identification.Get(), administrators, &is_member)) {
    return false;
  }
  *member = is_member != FALSE;
  return true;
}

}  // namespace

bool GetCurrentUserNameEx(std::u16string* out, EXTENDED_NAME_FORMAT format) {
  ULONG size = 0;
  if (!GetUserNameExW(format, nullptr, &size) &&
      GetLastError() != ERROR_MORE_DATA) {
    return false;
  }
  std::vector<wchar_t> name(size + 1);
  size = static_cast<ULONG>(name.size());
  if (!GetUserNameExW(format, name.data(), &size)) return false;
  *out = base::StringPiece16(base::as_u16cstr(name.data()));
  return true;
}

bool GetCurrentUserName(std::u16string* out) {
  wchar_t name[UNLEN + 1] = {};
  DWORD size = UNLEN + 1;
  if (!GetUserNameW(name, &size)) return false;
  *out = base::as_u16cstr(name);
  return true;
}

void GetCurrentUserDisplayName(std::u16string* out) {
  GetCurrentUserNameEx(out, NameDisplay);
}

bool IsUserAdministrator(bool consider_linked_token) {
#if defined(VELNA_BENCH_STANDARD_USER)
  // A benchmark build: see VELNA_BENCH_STANDARD_USER in the build files.
  (void)consider_linked_token;
  return false;
#else
  base::win::ScopedHandle token(
      internal::OpenEffectiveToken(TOKEN_QUERY | TOKEN_DUPLICATE));
  if (!token.IsValid()) return false;
  if (consider_linked_token &&
      base::win::GetWindowsVersion() >= base::win::kVersionVista) {
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD size = 0;
    if (!GetTokenInformation(token.Get(), TokenElevationType, &type,
                             sizeof(type), &size)) {
      return false;
    }
    // A filtered administrator: its full token is what elevation gives.
    if (type == TokenElevationTypeLimited) {
      TOKEN_LINKED_TOKEN linked = {};
      if (!GetTokenInformation(token.Get(), TokenLinkedToken, &linked,
                               sizeof(linked), &size)) {
        return false;
      }
      token.Set(linked.LinkedToken);
    }
  }
  bool member = false;
  return ReadAdministratorsMembership(token.Get(), &member) && member;
#endif
}

bool IsProcessElevated() {
#if defined(VELNA_BENCH_STANDARD_USER)
  return false;
#else
  base::win::ScopedHandle token(
      internal::OpenEffectiveToken(TOKEN_QUERY | TOKEN_DUPLICATE));
  return !token.IsValid() || IsTokenElevated(token.Get());
#endif
}

bool IsTokenElevated(HANDLE token) {
  alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  if (GetTokenInformation(token, TokenUser, user, sizeof(user), &size) &&
      IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(user)->User.Sid,
                     WinLocalSystemSid)) {
    return true;
  }
  if (base::win::GetWindowsVersion() >= base::win::kVersionVista) {
    TOKEN_ELEVATION elevation = {};
    return !GetTokenInformation(token, TokenElevation, &elevation,
                                sizeof(elevation), &size) ||
           elevation.TokenIsElevated != 0;
  }
  // Before Vista an administrator runs with all its rights; a token whose
  // groups cannot be read counts as one.
  bool member = true;
  return !ReadAdministratorsMembership(token, &member) || member;
}

bool RequiresElevation(bool all_users, bool has_write_access) {
  if (IsUserAdministrator(false)) return false;
  return all_users || !has_write_access;
}

bool GetKnownFolderPath(REFKNOWNFOLDERID id, int csidl, base::FilePath* out,
                        bool create) {
  // Looked up at run time: Windows XP has only the CSIDL function.
  const HMODULE shell32 = GetModuleHandleW(L"shell32.dll");
  const auto get_known_folder_path =
      shell32 ? reinterpret_cast<SHGetKnownFolderPathFunction>(
                    reinterpret_cast<void*>(
                        GetProcAddress(shell32, "SHGetKnownFolderPath")))
              : nullptr;
  if (get_known_folder_path) {
    PWSTR path = nullptr;
    HRESULT result = get_known_folder_path(id, 0, nullptr, &path);
    if (FAILED(result) && create) {
      CoTaskMemFree(path);
      path = nullptr;
      result =
          get_known_folder_path(id, kKnownFolderCreateFlags, nullptr, &path);
    }
    if (FAILED(result)) {
      CoTaskMemFree(path);
      return false;
    }
    *out = base::FilePath(base::as_u16cstr(path));
    CoTaskMemFree(path);
    return true;
  }
  wchar_t path[MAX_PATH] = {};
  HRESULT result =
      SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
  if (FAILED(result) && result != E_INVALIDARG && create) {
    result = SHGetFolderPathW(nullptr, csidl | kCsidlCreateFlags, nullptr,
                              SHGFP_TYPE_CURRENT, path);
  }
  if (FAILED(result)) return false;
  *out = base::FilePath(base::as_u16cstr(path));
  return true;
}

bool GetFileInfo(const base::FilePath& path, BY_HANDLE_FILE_INFORMATION* out) {
  base::File file(path, base::File::FLAG_OPEN | base::File::FLAG_READ);
  return file.IsValid() &&
         GetFileInformationByHandle(file.GetPlatformFile(), out);
}

base::FilePath FindTaskbarPinShortcut(
    const base::FilePath& target,
    const BY_HANDLE_FILE_INFORMATION* target_info) {
  if (base::win::GetWindowsVersion() < base::win::kVersionWin7) return {};
  base::FilePath pins;
  if (!base::PathService::Get(base::DIR_TASKBAR_PINS, &pins) ||
      !base::DirectoryExists(pins)) {
    LOG(ERROR) << "Couldn't find path to taskbar pins.";
    return {};
  }
  base::FileEnumerator shortcuts(pins, false, base::FileEnumerator::FILES,
                                 u"*.lnk");
  for (base::FilePath shortcut = shortcuts.Next(); !shortcut.empty();
       shortcut = shortcuts.Next()) {
    base::FilePath resolved;
    if (!base::win::ResolveShortcut(shortcut, &resolved)) {
      LOG(ERROR) << "Couldn't resolve shortcut at " << shortcut;
      continue;
    }
    if (IsSameTarget(resolved, target, target_info)) return shortcut;
  }
  return {};
}

bool ShortcutPointsTo(const base::FilePath& shortcut,
                      const base::FilePath& target,
                      const BY_HANDLE_FILE_INFORMATION* target_info) {
  VLOG(1) << "Testing shortcut " << shortcut;
  if (shortcut.empty() || !base::PathExists(shortcut)) return false;
  base::FilePath resolved;
  return base::win::ResolveShortcut(shortcut, &resolved) &&
         IsSameTarget(resolved, target, target_info);
}

std::string GetBrowserExecutableName() {
  return BrandingConfig::GetFileNameBase() + ".exe";
}

std::string GetInternalStreamName() {
  return GetInternalStreamNameForChannel(VersionInfo::GetReleaseChannel());
}

std::string GetInternalStreamNameForChannel(int channel) {
  switch (channel) {
    case 1:
      return "Nightly";
    case 2:
      return "Developer";
    case 3:
      return "Beta";
    case 4:
      return "Stable";
    default:
      return VersionInfo::GetStream();
  }
}

}  // namespace installer
