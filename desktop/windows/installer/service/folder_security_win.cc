#include "desktop/windows/installer/service/folder_security_win.h"

#include <windows.h>
// After windows.h.
#include <aclapi.h>
#include <sddl.h>

#include <memory>

#include "base/files/file_util.h"
#include "base/files/open_without_links_win.h"
#include "base/logging.h"
#include "base/strings/string_util_win.h"
#include "base/win/scoped_handle.h"

namespace installer {

namespace {

// The Windows installer service, which owns what the system installs.
constexpr wchar_t kTrustedInstallerSid[] =
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

// Rights that let an account change a folder or what it holds.
constexpr ACCESS_MASK kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA |
                                      FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                      WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// Rights that let an account move a folder away or give itself that right,
// and those that let it remove what a folder holds.
constexpr ACCESS_MASK kMoveRights =
    DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_ALL;
constexpr ACCESS_MASK kRootMoveRights = WRITE_DAC | WRITE_OWNER | GENERIC_ALL;
constexpr ACCESS_MASK kRemoveChildRights = FILE_DELETE_CHILD | GENERIC_ALL;

struct LocalFreer {
  void operator()(void* memory) const { LocalFree(memory); }
};
using ScopedDescriptor = std::unique_ptr<void, LocalFreer>;

ScopedDescriptor ParseDescriptor(const std::u16string& descriptor) {
  PSECURITY_DESCRIPTOR parsed = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
          base::as_wcstr(descriptor), SDDL_REVISION_1, &parsed, nullptr)) {
    return nullptr;
  }
  return ScopedDescriptor(parsed);
}

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
  return IsWellKnownSid(sid, type) != FALSE;
}

bool IsTrustedInstaller(PSID sid) {
  PSID trusted = nullptr;
  if (!ConvertStringSidToSidW(kTrustedInstallerSid, &trusted)) return false;
  const bool equal = EqualSid(sid, trusted) != FALSE;
  LocalFree(trusted);
  return equal;
}

// SYSTEM, Administrators and the installer service.
bool IsTrusted(PSID sid) {
  return IsWellKnown(sid, WinLocalSystemSid) ||
         IsWellKnown(sid, WinBuiltinAdministratorsSid) ||
         IsTrustedInstaller(sid);
}

// The folder opened to stay what it is while its security is read: no
// reparse point, no link on the way, and not renamed away meanwhile (no
// delete sharing).
base::win::ScopedHandle OpenFolder(const base::FilePath& folder, DWORD access) {
  HANDLE handle =
      base::OpenWithoutLinks(folder.value(), access,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  return base::win::ScopedHandle(handle == INVALID_HANDLE_VALUE ? nullptr
                                                                : handle);
}

class RealFolderSecurity : public FolderSecurity {
 public:
  std::u16string Read(const base::FilePath& folder) override {
    base::win::ScopedHandle handle = OpenFolder(folder, READ_CONTROL);
    if (!handle.IsValid()) {
      PLOG(ERROR) << "Cannot open " << folder << " to read its access list";
      return std::u16string();
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD result =
        GetSecurityInfo(handle.Get(), SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                        nullptr, nullptr, nullptr, nullptr, &descriptor);
    if (result != ERROR_SUCCESS) {
      LOG(ERROR) << "Cannot read the access list of " << folder << ": "
                 << logging::SystemErrorCodeToString(result);
      return std::u16string();
    }
    ScopedDescriptor owner(descriptor);
    LPWSTR text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1,
            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text,
            nullptr)) {
      return std::u16string();
    }
    std::u16string read(base::as_u16cstr(text));
    LocalFree(text);
    return read;
  }

  bool Create(const base::FilePath& folder,
              const std::u16string& descriptor) override {
    ScopedDescriptor parsed = ParseDescriptor(descriptor);
    if (!parsed) return false;
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), parsed.get(), FALSE};
    return base::CreateFolderWithoutLinks(folder.value(), &attributes);
  }
};

FolderSecurity* g_security_for_testing = nullptr;

}  // namespace

FolderSecurity* GetFolderSecurity() {
  return g_security_for_testing ? g_security_for_testing
                                : internal::GetRealFolderSecurity();
}

namespace {

// Whether |descriptor| has an owner other than SYSTEM, Administrators, the
// installer service and |user| (when given), no DACL, or an entry (one that
// applies to the object itself, unless |also_inherit_only|) that allows
// another account one of |rights|. True when it cannot be read.
bool LetsOthers(const std::u16string& descriptor, ACCESS_MASK rights,
                bool also_inherit_only, PSID user = nullptr) {
  ScopedDescriptor parsed = ParseDescriptor(descriptor);
  if (!parsed) return true;
  auto counts = [user](PSID sid) {
    return IsTrusted(sid) || (user && EqualSid(sid, user));
  };
  PSID owner = nullptr;
  PACL dacl = nullptr;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  if (!GetSecurityDescriptorOwner(parsed.get(), &owner, &defaulted) ||
      !GetSecurityDescriptorDacl(parsed.get(), &present, &dacl, &defaulted)) {
    return true;
  }
  // The owner may always change the access list.
  if (owner && !counts(owner)) return true;
  if (!present || !dacl) return true;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(dacl, i, &entry)) return true;
    const ACE_HEADER* header = static_cast<const ACE_HEADER*>(entry);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE &&
        header->AceType != ACCESS_ALLOWED_CALLBACK_ACE_TYPE) {
      continue;
    }
    // Both kinds start alike: the header, the mask, then the SID.
    const ACCESS_ALLOWED_ACE* allowed =
        static_cast<const ACCESS_ALLOWED_ACE*>(entry);
    PSID sid = const_cast<DWORD*>(&allowed->SidStart);
    if (!also_inherit_only && (header->AceFlags & INHERIT_ONLY_ACE)) continue;
    if (!(allowed->Mask & rights) || counts(sid) ||
        IsWellKnown(sid, WinCreatorOwnerSid) ||
        IsWellKnown(sid, WinCreatorGroupSid)) {
      continue;
    }
    return true;
  }
  return false;
}

struct LocalSid {
  explicit LocalSid(const std::u16string& text) {
    if (!ConvertStringSidToSidW(base::as_wcstr(text), &sid)) sid = nullptr;
  }
  ~LocalSid() { LocalFree(sid); }
  PSID sid = nullptr;
};

// FindParentOthersMayMove up to |top|, with |user| (may be null) counted
// as trusted.
base::FilePath FindParentMovableBy(const base::FilePath& folder,
                                   const base::FilePath& top, PSID user) {
  const base::FilePath last = top.StripTrailingSeparators();
  base::FilePath child = folder.StripTrailingSeparators();
  for (base::FilePath parent = child.DirName();
       parent != child &&
       base::FilePath::CompareIgnoreCase(parent.value(), last.value()) != 0;
       child = parent, parent = parent.DirName()) {
    // A level still to be made is made protected.
    if (!base::DirectoryExists(parent)) continue;
    const std::u16string descriptor = GetFolderSecurity()->Read(parent);
    const bool root = parent.DirName() == parent;
    if (LetsOthers(descriptor, root ? kRootMoveRights : kMoveRights, false,
                   user) ||
        LetsOthers(descriptor, kRemoveChildRights, false, user)) {
      return parent;
    }
  }
  return base::FilePath();
}

}  // namespace

bool LetsOthersChange(const std::u16string& descriptor) {
  return LetsOthers(descriptor, kChangeRights, true);
}

bool LetsOthersThanUserChange(const std::u16string& descriptor,
                              const std::u16string& user) {
  const LocalSid sid(user);
  return !sid.sid || LetsOthers(descriptor, kChangeRights, true, sid.sid);
}

base::FilePath FindParentOthersMayMove(const base::FilePath& folder,
                                       const base::FilePath& top) {
  return FindParentMovableBy(folder, top, nullptr);
}

base::FilePath FindParentOthersThanUserMayMove(const base::FilePath& folder,
                                               const std::u16string& user) {
  const LocalSid sid(user);
  // Without a user to count, no level counts as safe.
  if (!sid.sid) return folder.StripTrailingSeparators().DirName();
  return FindParentMovableBy(folder, base::FilePath(), sid.sid);
}

namespace internal {

FolderSecurity* GetRealFolderSecurity() {
  static RealFolderSecurity real;
  return &real;
}

void SetFolderSecurityForTesting(FolderSecurity* security) {
  g_security_for_testing = security;
}

}  // namespace internal

}  // namespace installer
