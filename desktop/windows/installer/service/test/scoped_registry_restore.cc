#include "desktop/windows/installer/service/test/scoped_registry_restore.h"

#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/registry.h"

namespace installer {
namespace test {

std::string RegistryStateKey(HKEY root, const std::u16string& path) {
  const char* name = root == HKEY_LOCAL_MACHINE  ? "hklm"
                     : root == HKEY_CURRENT_USER ? "hkcu"
                     : root == HKEY_CLASSES_ROOT ? "hkcr"
                                                 : "?";
  return base::ToLowerASCII(std::string(name) + "\\" + base::UTF16ToUTF8(path));
}

bool RestoreRegistrySnapshot(HKEY root, const std::u16string& path,
                             const RegistrySnapshot& snapshot) {
  const LONG deleted = RegDeleteTreeW(root, base::as_wcstr(path));
  bool restored = deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
  // Parents come before their children in the map's order.
  for (const auto& [relative, values] : snapshot) {
    const std::u16string key_path =
        relative.empty() ? path : path + u"\\" + base::UTF8ToUTF16(relative);
    base::win::RegKey key;
    if (key.Create(root, key_path.c_str(), KEY_SET_VALUE) != ERROR_SUCCESS) {
      restored = false;
      continue;
    }
    for (const auto& [name, value] : values) {
      restored &=
          key.WriteValue(base::UTF8ToUTF16(name).c_str(), value.data.data(),
                         static_cast<DWORD>(value.data.size()),
                         value.type) == ERROR_SUCCESS;
    }
  }
  return restored;
}

ScopedRegistryRestore::ScopedRegistryRestore(std::vector<RegistryLocation> keys)
    : keys_(std::move(keys)) {
  for (const auto& [root, path] : keys_)
    snapshots_.push_back(TakeRegistrySnapshot(root, path));
}

ScopedRegistryRestore::~ScopedRegistryRestore() {
  for (size_t i = keys_.size(); i-- > 0;)
    RestoreRegistrySnapshot(keys_[i].first, keys_[i].second, snapshots_[i]);
}

RegistryState ScopedRegistryRestore::TakeState(bool values_only) const {
  RegistryState state;
  for (const auto& [root, path] : keys_) {
    for (auto& [relative, values] : TakeRegistrySnapshot(root, path)) {
      if (values_only && values.empty()) continue;
      RegistryKeyValues& lowered =
          state[RegistryStateKey(root, path) + (relative.empty() ? "" : "\\") +
                base::ToLowerASCII(relative)];
      for (auto& [name, value] : values)
        lowered[base::ToLowerASCII(name)] = std::move(value);
    }
  }
  return state;
}

}  // namespace test
}  // namespace installer
