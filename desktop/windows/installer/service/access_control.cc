#include "desktop/windows/installer/service/access_control.h"

#include <aclapi.h>

#include <iterator>
#include <utility>
#include <vector>

#include "base/files/file_attributes_win.h"
#include "base/files/file_path.h"
#include "base/files/open_without_links_win.h"
#include "base/files/system_path_win.h"
#include "base/strings/string_util_win.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/utils.h"

namespace installer {

namespace {

// Generic-access mappings of the two object kinds.
constexpr GENERIC_MAPPING kFileMapping = {0x120089, 0x120116, 0x1200A0,
                                          0x1F01FF};
constexpr GENERIC_MAPPING kRegistryMapping = {0x20019, 0x20006, 0x20019,
                                              0xF003F};

// AccessCheck's privilege-set buffer: room for the set with one privilege.
constexpr DWORD kPrivilegeSetSize = 20;

constexpr char16_t kTakeOwnershipPrivilege[] = u"SeTakeOwnershipPrivilege";

HANDLE g_token_for_testing = nullptr;

// Frees what the security functions allocate with LocalAlloc.
struct LocalFreeDeleter {
  void operator()(void* memory) const { LocalFree(memory); }
};
template <typename T>
using LocalPtr = std::unique_ptr<T, LocalFreeDeleter>;

// The effective token duplicated at identification level, which
// AccessCheck and CheckTokenMembership take.
base::win::ScopedHandle IdentificationToken() {
  base::win::ScopedHandle token(
      internal::OpenEffectiveToken(TOKEN_QUERY | TOKEN_DUPLICATE));
  if (!token.IsValid()) return {};
  HANDLE duplicate = nullptr;
  if (!DuplicateToken(token.Get(), SecurityIdentification, &duplicate))
    return {};
  return base::win::ScopedHandle(duplicate);
}

// Set while the privilege to take ownership is enabled, so that opening a
// file for a new owner is not refused by its access list.
constexpr DWORD kTakeOwnershipOpen = WRITE_OWNER | FILE_READ_ATTRIBUTES;
constexpr DWORD kDaclOpen = READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES;
// ERROR_REPARSE_POINT_ENCOUNTERED, which mingw's headers lack.
constexpr DWORD kReparsePointEncountered = 4395;

// |path| as the system names the object it finds there: absolute, long
// names, no "\\?\" prefix, no trailing separator.
std::u16string CanonicalPath(std::u16string path) {
  if (path.rfind(u"\\\\?\\UNC\\", 0) == 0)
    path = u"\\" + path.substr(7);
  else if (path.rfind(u"\\\\?\\", 0) == 0)
    path = path.substr(4);
  wchar_t full[MAX_PATH * 4];
  DWORD length =
      ::GetFullPathNameW(base::as_wcstr(path), std::size(full), full, nullptr);
  if (length == 0 || length >= std::size(full)) return std::u16string();
  wchar_t expanded[MAX_PATH * 4];
  // Beyond MAX_PATH the call needs the long form, and answers in it.
  const DWORD long_length = ::GetLongPathNameW(
      base::SystemPathArg(std::u16string(base::as_u16cstr(full), length)),
      expanded, std::size(expanded));
  if (long_length > 0 && long_length < std::size(expanded)) {
    path = base::StripLongPathPrefix(
        std::u16string(base::as_u16cstr(expanded), long_length));
  } else {
    path.assign(base::as_u16cstr(full), length);
  }
  while (path.size() > 3 && (path.back() == u'\\' || path.back() == u'/'))
    path.pop_back();
  return path;
}

// Whether the object |entry| (opened for |path|) was reached through no
// junction or symbolic link: the system's name of the opened object is
// |path| itself.
bool IsReachedDirectly(HANDLE entry, const std::u16string& path) {
  wchar_t final_path[MAX_PATH * 4];
  const DWORD length = ::GetFinalPathNameByHandleW(
      entry, final_path, std::size(final_path), FILE_NAME_NORMALIZED);
  if (length == 0 || length >= std::size(final_path)) return false;
  const std::u16string reached =
      CanonicalPath(std::u16string(base::as_u16cstr(final_path), length));
  const std::u16string asked = CanonicalPath(path);
  return !reached.empty() &&
         base::FilePath::CompareIgnoreCase(reached, asked) == 0;
}

// Whether a folder above |path| is a junction or symbolic link (or cannot
// be looked at), read from each folder opened without following it.
bool HasLinkAbove(const std::u16string& path) {
  const base::FilePath file(path);
  for (base::FilePath folder = file.DirName(); folder != folder.DirName();
       folder = folder.DirName()) {
    base::win::ScopedHandle entry =
        base::internal::OpenEntryNoFollow(folder, FILE_READ_ATTRIBUTES);
    if (!entry.IsValid()) return true;
    if (base::internal::IsLink(
            base::internal::GetOpenedEntryAttributes(entry.Get(), folder))) {
      return true;
    }
  }
  return false;
}

// A file or folder opened for its security information. The owner and the
// access list of a junction or symbolic link, of anything reached through
// one, or of a file with other names (hard links) are never changed: the
// path-based calls follow links, so that a link planted in a folder the user
// can write would hand the user what it points to. The entry is opened without
// following a link at its end, checked from the handle, and read and written
// through that handle.
base::win::ScopedHandle OpenFileForSecurity(const std::u16string& path,
                                            DWORD access) {
  base::win::ScopedHandle entry =
      base::internal::OpenEntryNoFollow(base::FilePath(path), access);
  if (!entry.IsValid()) return entry;
  // A file's other names share its list: changing it would change theirs.
  FILE_STANDARD_INFO standard = {};
  if (base::internal::IsLink(base::internal::GetOpenedEntryAttributes(
          entry.Get(), base::FilePath(path))) ||
      !::GetFileInformationByHandleEx(entry.Get(), FileStandardInfo, &standard,
                                      sizeof(standard)) ||
      (!standard.Directory && standard.NumberOfLinks != 1) ||
      HasLinkAbove(path) || !IsReachedDirectly(entry.Get(), path)) {
    ::SetLastError(kReparsePointEncountered);
    return base::win::ScopedHandle();
  }
  return entry;
}

// Writes the object's owner or DACL; a file through OpenFileForSecurity.
DWORD SetSecurity(const std::u16string& object_name, SE_OBJECT_TYPE type,
                  SECURITY_INFORMATION what, PSID owner, PACL dacl,
                  DWORD file_access) {
  if (type == SE_FILE_OBJECT) {
    base::win::ScopedHandle entry =
        OpenFileForSecurity(object_name, file_access);
    if (!entry.IsValid()) return ::GetLastError();
    return SetSecurityInfo(entry.Get(), type, what, owner, nullptr, dacl,
                           nullptr);
  }
  std::u16string name = object_name;  // The call wants a writable text.
  return SetNamedSecurityInfoW(base::as_writable_wcstr(name), type, what, owner,
                               nullptr, dacl, nullptr);
}

DWORD SetDacl(const std::u16string& object_name, SE_OBJECT_TYPE type,
              PACL dacl) {
  return SetSecurity(object_name, type, DACL_SECURITY_INFORMATION, nullptr,
                     dacl, kDaclOpen);
}

// Whether |sid| is enabled in |token| as CheckTokenMembership() answers it;
// the token's own user counts too, which not every implementation of that
// call considers (a user SID only for denying does not count).
bool IsTokenMember(HANDLE token, PSID sid) {
  BOOL member = FALSE;
  if (CheckTokenMembership(token, sid, &member) && member) return true;
  BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size))
    return false;
  const SID_AND_ATTRIBUTES& user = reinterpret_cast<TOKEN_USER*>(buffer)->User;
  return EqualSid(user.Sid, sid) &&
         !(user.Attributes & SE_GROUP_USE_FOR_DENY_ONLY);
}

// Reads the DACL, taking ownership once when reading is denied.
DWORD ReadDacl(const std::u16string& object_name, SE_OBJECT_TYPE type,
               PACL* dacl, PSECURITY_DESCRIPTOR* descriptor) {
  auto read = [&]() -> DWORD {
    if (type == SE_FILE_OBJECT) {
      base::win::ScopedHandle entry =
          OpenFileForSecurity(object_name, kDaclOpen);
      if (!entry.IsValid()) return ::GetLastError();
      return GetSecurityInfo(entry.Get(), type, DACL_SECURITY_INFORMATION,
                             nullptr, nullptr, dacl, nullptr, descriptor);
    }
    return GetNamedSecurityInfoW(base::as_wcstr(object_name), type,
                                 DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                 dacl, nullptr, descriptor);
  };
  DWORD result = read();
  if (result == ERROR_ACCESS_DENIED) {
    if (!TakeOwnership(object_name, type)) return result;
    result = read();
  }
  return result;
}

// The explicit entries of |dacl|, with |access| taken out of every entry
// that denies it to a group (or user) the token belongs to. Deny entries
// left without any right are dropped. False when the entries cannot be read.
bool ExplicitEntriesWithoutDenial(PACL dacl, DWORD access,
                                  LocalPtr<EXPLICIT_ACCESS_W>* storage,
                                  std::vector<EXPLICIT_ACCESS_W>* entries) {
  if (!dacl) return true;  // A null DACL has no entries.
  ULONG count = 0;
  PEXPLICIT_ACCESS_W list = nullptr;
  if (GetExplicitEntriesFromAclW(dacl, &count, &list) != ERROR_SUCCESS)
    return false;
  storage->reset(list);
  base::win::ScopedHandle token = IdentificationToken();
  for (ULONG i = 0; i < count; ++i) {
    EXPLICIT_ACCESS_W entry = list[i];
    if (entry.grfAccessMode == DENY_ACCESS &&
        entry.Trustee.TrusteeForm == TRUSTEE_IS_SID) {
      if (token.IsValid() &&
          IsTokenMember(token.Get(),
                        reinterpret_cast<PSID>(entry.Trustee.ptstrName))) {
        entry.grfAccessPermissions &= ~access;
        if (entry.grfAccessPermissions == 0) continue;
      }
    }
    entries->push_back(entry);
  }
  return true;
}

// |entries| merged into a list that grants |access| to |user_name|,
// inherited by sub-containers and objects. Null on failure.
LocalPtr<ACL> MergedDacl(const std::u16string& user_name, DWORD access,
                         std::vector<EXPLICIT_ACCESS_W>* entries) {
  std::u16string trustee = user_name;
  EXPLICIT_ACCESS_W grant = {};
  grant.grfAccessPermissions = access;
  grant.grfAccessMode = GRANT_ACCESS;
  grant.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
  grant.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
  grant.Trustee.TrusteeType = TRUSTEE_IS_USER;
  grant.Trustee.ptstrName = base::as_writable_wcstr(trustee);
  PACL granted = nullptr;
  if (SetEntriesInAclW(1, &grant, nullptr, &granted) != ERROR_SUCCESS)
    return nullptr;
  LocalPtr<ACL> grant_list(granted);
  PACL merged = nullptr;
  if (SetEntriesInAclW(static_cast<ULONG>(entries->size()), entries->data(),
                       grant_list.get(), &merged) != ERROR_SUCCESS) {
    return nullptr;
  }
  return LocalPtr<ACL>(merged);
}

}  // namespace

SavedSecurity::SavedSecurity(std::u16string object_name,
                             SE_OBJECT_TYPE object_type, PACL previous_dacl,
                             PSECURITY_DESCRIPTOR descriptor)
    : object_name_(std::move(object_name)),
      object_type_(object_type),
      previous_dacl_(previous_dacl),
      descriptor_(descriptor) {}

SavedSecurity::~SavedSecurity() { LocalFree(descriptor_); }

std::u16string RegistryObjectName(HKEY root, const std::u16string& key_path) {
  std::u16string prefix;
  if (root == HKEY_CLASSES_ROOT)
    prefix = u"CLASSES_ROOT";
  else if (root == HKEY_LOCAL_MACHINE)
    prefix = u"MACHINE";
  else if (root == HKEY_CURRENT_USER)
    prefix = u"CURRENT_USER";
  else if (root == HKEY_USERS)
    prefix = u"USERS";
  else
    return key_path;
  // The root key itself is named without a trailing separator.
  return key_path.empty() ? prefix : prefix + u"\\" + key_path;
}

namespace {

// Whether |descriptor| grants |desired_access| to |token|.
bool IsGranted(PSECURITY_DESCRIPTOR descriptor, HANDLE token,
               uint32_t desired_access, GENERIC_MAPPING mapping) {
  BYTE privileges[kPrivilegeSetSize] = {};
  DWORD privileges_size = sizeof(privileges);
  DWORD granted = 0;
  BOOL status = FALSE;
  if (!AccessCheck(descriptor, token, desired_access, &mapping,
                   reinterpret_cast<PPRIVILEGE_SET>(privileges),
                   &privileges_size, &granted, &status)) {
    return false;
  }
  return status == TRUE;
}

}  // namespace

bool CanCurrentUserAccess(const std::u16string& object_name,
                          SE_OBJECT_TYPE type, uint32_t desired_access) {
  GENERIC_MAPPING mapping;
  if (type == SE_FILE_OBJECT)
    mapping = kFileMapping;
  else if (type == SE_REGISTRY_KEY)
    mapping = kRegistryMapping;
  else
    return false;
  base::win::ScopedHandle token = IdentificationToken();
  if (!token.IsValid()) return false;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const std::u16string name =
      type == SE_FILE_OBJECT ? base::ToSystemPath(object_name) : object_name;
  if (GetNamedSecurityInfoW(
          base::as_wcstr(name), type,
          OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
              DACL_SECURITY_INFORMATION,
          nullptr, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  LocalPtr<void> owned_descriptor(descriptor);
  return IsGranted(descriptor, token.Get(), desired_access, mapping);
}

bool CanCurrentUserAccessOpenedFile(HANDLE file, uint32_t desired_access) {
  base::win::ScopedHandle token = IdentificationToken();
  if (!token.IsValid()) return false;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(file, SE_FILE_OBJECT,
                      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                          DACL_SECURITY_INFORMATION,
                      nullptr, nullptr, nullptr, nullptr,
                      &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  LocalPtr<void> owned_descriptor(descriptor);
  return IsGranted(descriptor, token.Get(), desired_access, kFileMapping);
}

bool SetTokenPrivilege(const std::u16string& privilege, bool enable,
                       HANDLE token) {
  base::win::ScopedHandle owned_token(token);
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  if (!LookupPrivilegeValueW(nullptr, base::as_wcstr(privilege),
                             &privileges.Privileges[0].Luid)) {
    return false;
  }
  privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
  if (!AdjustTokenPrivileges(token, FALSE, &privileges, sizeof(privileges),
                             nullptr, nullptr)) {
    return false;
  }
  // Success with ERROR_NOT_ALL_ASSIGNED: the token does not hold it.
  return GetLastError() != ERROR_NOT_ALL_ASSIGNED;
}

bool TakeOwnership(const std::u16string& object_name, SE_OBJECT_TYPE type) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token) ||
      !SetTokenPrivilege(kTakeOwnershipPrivilege, true, token)) {
    return false;
  }
  BYTE administrators[SECURITY_MAX_SID_SIZE] = {};
  DWORD sid_size = sizeof(administrators);
  DWORD result = ERROR_INVALID_SID;
  if (CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators,
                         &sid_size)) {
    result = SetSecurity(object_name, type, OWNER_SECURITY_INFORMATION,
                         administrators, nullptr, kTakeOwnershipOpen);
  }
  // The privilege is held only for the call, whatever it gave.
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token))
    SetTokenPrivilege(kTakeOwnershipPrivilege, false, token);
  return result == ERROR_SUCCESS;
}

bool GrantCurrentUserAccess(const std::u16string& object_name,
                            SE_OBJECT_TYPE type, uint32_t access,
                            uint32_t option,
                            std::unique_ptr<SavedSecurity>* saved) {
  saved->reset();
  std::u16string user_name;
  if (!GetCurrentUserName(&user_name)) return false;

  PACL previous_dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (ReadDacl(object_name, type, &previous_dacl, &descriptor) !=
      ERROR_SUCCESS) {
    return false;
  }
  LocalPtr<void> previous(descriptor);

  LocalPtr<EXPLICIT_ACCESS_W> storage;
  std::vector<EXPLICIT_ACCESS_W> entries;
  if (!ExplicitEntriesWithoutDenial(previous_dacl, access, &storage, &entries))
    return false;
  LocalPtr<ACL> dacl = MergedDacl(user_name, access, &entries);
  if (!dacl) return false;

  DWORD result = SetDacl(object_name, type, dacl.get());
  if (result == ERROR_ACCESS_DENIED && TakeOwnership(object_name, type))
    result = SetDacl(object_name, type, dacl.get());
  if (result != ERROR_SUCCESS) return false;

  if (option == kKeepPreviousAccess) {
    *saved = std::make_unique<SavedSecurity>(object_name, type, previous_dacl,
                                             previous.release());
  }
  return true;
}

bool RestoreSavedSecurity(std::unique_ptr<SavedSecurity>* saved) {
  if (!*saved) return false;
  const SavedSecurity& record = **saved;
  const DWORD result = SetDacl(record.object_name(), record.object_type(),
                               record.previous_dacl());
  saved->reset();
  return result == ERROR_SUCCESS;
}

namespace internal {

ScopedAccessTokenForTesting::ScopedAccessTokenForTesting(HANDLE token)
    : previous_(g_token_for_testing) {
  g_token_for_testing = token;
}

ScopedAccessTokenForTesting::~ScopedAccessTokenForTesting() {
  g_token_for_testing = previous_;
}

HANDLE OpenEffectiveToken(DWORD access) {
  HANDLE token = nullptr;
  if (g_token_for_testing) {
    if (!DuplicateHandle(GetCurrentProcess(), g_token_for_testing,
                         GetCurrentProcess(), &token, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
      return nullptr;
    }
    return token;
  }
  if (!OpenProcessToken(GetCurrentProcess(), access, &token)) return nullptr;
  return token;
}

}  // namespace internal

}  // namespace installer
