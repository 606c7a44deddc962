#include "base/win/registry.h"

#include <algorithm>

#include "base/strings/string_util_win.h"

namespace base {
namespace win {

namespace {

constexpr REGSAM kWow64AccessMask = KEY_WOW64_32KEY | KEY_WOW64_64KEY;
constexpr REGSAM kWriteAccessMask =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK;

// The text of |units| UTF-16 units up to the first NUL; data that has none
// ends where the data ends.
std::u16string TextUpToNul(const char16_t* text, size_t units) {
  return std::u16string(text, std::find(text, text + units, u'\0'));
}

}  // namespace

RegKey::RegKey() = default;

RegKey::RegKey(HKEY root, const char16_t* subkey, REGSAM access) {
  if (!root) {
    wow64access_ = access & kWow64AccessMask;
    return;
  }
  if (access & kWriteAccessMask)
    Create(root, subkey, access);
  else
    Open(root, subkey, access);
}

RegKey::~RegKey() { Close(); }

LONG RegKey::Create(HKEY root, const char16_t* subkey, REGSAM access) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  const LONG result = RegCreateKeyExW(root, as_wcstr(subkey), 0, nullptr,
                                      REG_OPTION_NON_VOLATILE, access, nullptr,
                                      &key, &disposition);
  if (result != ERROR_SUCCESS) return result;
  Take(key, access);
  return ERROR_SUCCESS;
}

LONG RegKey::Open(HKEY root, const char16_t* subkey, REGSAM access) {
  HKEY key = nullptr;
  const LONG result = RegOpenKeyExW(root, as_wcstr(subkey), 0, access, &key);
  if (result != ERROR_SUCCESS) return result;
  Take(key, access);
  return ERROR_SUCCESS;
}

void RegKey::Close() {
  if (key_) RegCloseKey(key_);
  key_ = nullptr;
  wow64access_ = 0;
}

void RegKey::Take(HKEY key, REGSAM access) {
  Close();
  key_ = key;
  wow64access_ = access & kWow64AccessMask;
}

LONG RegKey::ReadValueDW(const char16_t* name, DWORD* out) const {
  DWORD value = 0;
  DWORD type = REG_NONE;
  DWORD size = sizeof(value);
  const LONG result = RegQueryValueExW(key_, as_wcstr(name), nullptr, &type,
                                       reinterpret_cast<BYTE*>(&value), &size);
  if (result != ERROR_SUCCESS) return result;
  if ((type != REG_DWORD && type != REG_BINARY) || size != sizeof(value))
    return ERROR_CANTREAD;
  *out = value;
  return ERROR_SUCCESS;
}

LONG RegKey::ReadValue(const char16_t* name, std::u16string* out) const {
  // Zeroed, and read only as far as the size the registry reports: data
  // stored without a terminating NUL must not run into stale memory.
  char16_t raw[kMaxTextBytes / sizeof(char16_t)] = {};
  DWORD type = REG_NONE;
  DWORD size = sizeof(raw);
  const LONG result = RegQueryValueExW(key_, as_wcstr(name), nullptr, &type,
                                       reinterpret_cast<BYTE*>(raw), &size);
  if (result != ERROR_SUCCESS) return result;
  const std::u16string text =
      TextUpToNul(raw, std::min<DWORD>(size, sizeof(raw)) / sizeof(char16_t));
  if (type == REG_SZ) {
    *out = text;
    return ERROR_SUCCESS;
  }
  if (type != REG_EXPAND_SZ) return ERROR_CANTREAD;

  char16_t expanded[kMaxExpandedUnits] = {};
  const DWORD needed = ExpandEnvironmentStringsW(
      as_wcstr(text), as_writable_wcstr(expanded), kMaxExpandedUnits);
  if (needed == 0 || needed > kMaxExpandedUnits) return ERROR_MORE_DATA;
  *out = TextUpToNul(expanded, needed);
  return ERROR_SUCCESS;
}

LONG RegKey::WriteValue(const char16_t* name, DWORD value) {
  return WriteValue(name, &value, sizeof(value), REG_DWORD);
}

LONG RegKey::WriteValue(const char16_t* name, const char16_t* text) {
  const size_t units = std::char_traits<char16_t>::length(text) + 1;
  return WriteValue(name, text, static_cast<DWORD>(units * sizeof(char16_t)),
                    REG_SZ);
}

LONG RegKey::WriteValue(const char16_t* name, const void* data, DWORD size,
                        DWORD type) {
  return RegSetValueExW(key_, as_wcstr(name), 0, type,
                        static_cast<const BYTE*>(data), size);
}

LONG RegKey::DeleteValue(const char16_t* name) {
  return RegDeleteValueW(key_, as_wcstr(name));
}

LONG RegKey::DeleteKey(const char16_t* name) {
  return RegDeleteTreeW(key_, as_wcstr(name));
}

}  // namespace win
}  // namespace base
