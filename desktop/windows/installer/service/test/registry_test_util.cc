#include "desktop/windows/installer/service/test/registry_test_util.h"

#include "base/strings/string_util_win.h"

namespace installer {
namespace test {

RawRegistryValue ReadRawRegistryValue(HKEY root, const std::u16string& key,
                                      const std::u16string& name) {
  RawRegistryValue value;
  HKEY handle = nullptr;
  value.result =
      RegOpenKeyExW(root, base::as_wcstr(key), 0, KEY_QUERY_VALUE, &handle);
  if (value.result != ERROR_SUCCESS) return value;
  DWORD size = 0;
  value.result = RegQueryValueExW(handle, base::as_wcstr(name), nullptr,
                                  &value.type, nullptr, &size);
  if (value.result == ERROR_SUCCESS) {
    value.data.resize(size);
    value.result = RegQueryValueExW(handle, base::as_wcstr(name), nullptr,
                                    &value.type, value.data.data(), &size);
    value.data.resize(size);
  }
  RegCloseKey(handle);
  return value;
}

bool RegistryKeyExists(HKEY root, const std::u16string& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(root, base::as_wcstr(key), 0, KEY_QUERY_VALUE, &handle) !=
      ERROR_SUCCESS)
    return false;
  RegCloseKey(handle);
  return true;
}

}  // namespace test
}  // namespace installer
