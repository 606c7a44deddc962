#include "desktop/windows/installer/service/test/security_test_util.h"

#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "base/strings/string_util_win.h"

namespace installer {
namespace test {

namespace {

// The process token's user, in |buffer|.
PSID CurrentUserSid(std::vector<BYTE>* buffer) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
    return nullptr;
  base::win::ScopedHandle owned(token);
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  buffer->resize(size);
  if (!GetTokenInformation(token, TokenUser, buffer->data(), size, &size))
    return nullptr;
  return reinterpret_cast<TOKEN_USER*>(buffer->data())->User.Sid;
}

}  // namespace

std::u16string CurrentUserSidString() {
  std::vector<BYTE> buffer;
  PSID sid = CurrentUserSid(&buffer);
  LPWSTR text = nullptr;
  if (!sid || !ConvertSidToStringSidW(sid, &text)) return std::u16string();
  std::u16string result = base::as_u16cstr(text);
  LocalFree(text);
  return result;
}

bool SetDaclFromSddl(const std::u16string& object_name, SE_OBJECT_TYPE type,
                     const std::u16string& sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
          base::as_wcstr(sddl), SDDL_REVISION_1, &descriptor, nullptr)) {
    return false;
  }
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
  std::u16string name = object_name;
  const DWORD result = SetNamedSecurityInfoW(base::as_writable_wcstr(name),
                                             type, DACL_SECURITY_INFORMATION,
                                             nullptr, nullptr, dacl, nullptr);
  LocalFree(descriptor);
  return result == ERROR_SUCCESS;
}

std::u16string GetDaclSddl(const std::u16string& object_name,
                           SE_OBJECT_TYPE type) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(base::as_wcstr(object_name), type,
                            DACL_SECURITY_INFORMATION, nullptr, nullptr,
                            nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return std::u16string();
  }
  LPWSTR text = nullptr;
  std::u16string result;
  if (ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
          nullptr)) {
    result = base::as_u16cstr(text);
    LocalFree(text);
  }
  LocalFree(descriptor);
  return result;
}

base::win::ScopedHandle MakeRestrictedToken(
    const std::vector<WELL_KNOWN_SID_TYPE>& deny_only_groups, bool deny_user,
    HANDLE from) {
  HANDLE token = nullptr;
  if (from
          ? !DuplicateHandle(GetCurrentProcess(), from, GetCurrentProcess(),
                             &token, 0, FALSE, DUPLICATE_SAME_ACCESS)
          : !OpenProcessToken(
                GetCurrentProcess(),
                TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY, &token)) {
    return {};
  }
  base::win::ScopedHandle process_token(token);
  std::vector<std::vector<BYTE>> sids;
  for (WELL_KNOWN_SID_TYPE group : deny_only_groups) {
    std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(sid.size());
    if (!CreateWellKnownSid(group, nullptr, sid.data(), &size)) return {};
    sids.push_back(std::move(sid));
  }
  std::vector<BYTE> user_buffer;
  std::vector<SID_AND_ATTRIBUTES> deny_only;
  for (std::vector<BYTE>& sid : sids) deny_only.push_back({sid.data(), 0});
  if (deny_user) deny_only.push_back({CurrentUserSid(&user_buffer), 0});
  HANDLE restricted = nullptr;
  if (!CreateRestrictedToken(token, 0, static_cast<DWORD>(deny_only.size()),
                             deny_only.data(), 0, nullptr, 0, nullptr,
                             &restricted)) {
    return {};
  }
  return base::win::ScopedHandle(restricted);
}

}  // namespace test
}  // namespace installer
