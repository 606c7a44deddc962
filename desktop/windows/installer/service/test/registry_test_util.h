// Registry reads and a placeholder delegate shared by the registry-entry
// tests.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_REGISTRY_TEST_UTIL_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_REGISTRY_TEST_UTIL_H_

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "desktop/windows/installer/service/install_log.h"
#include "desktop/windows/installer/service/registry_entry_win.h"

namespace installer {
namespace test {

// What a registry value holds, or the error that reading it gave.
struct RawRegistryValue {
  LONG result = ERROR_FILE_NOT_FOUND;
  DWORD type = 0;
  std::vector<BYTE> data;

  bool operator==(const RawRegistryValue& other) const = default;
};

// Reads the value straight through the registry API (|name| empty: the
// default value).
RawRegistryValue ReadRawRegistryValue(HKEY root, const std::u16string& key,
                                      const std::u16string& name);
bool RegistryKeyExists(HKEY root, const std::u16string& key);

// Answers placeholders from a map; an unknown name comes back unchanged, as
// the installer's own delegate does. Records into |hklm| or |hkcu| while
// |recording| is set.
class MapRegistryEntryDelegate : public RegistryEntry::Delegate {
 public:
  std::u16string ResolvePlaceholder(const std::u16string& name) override {
    auto it = values.find(name);
    return it == values.end() ? name : it->second;
  }
  InstallLogRegistry* GetInstallLogRegistry(HKEY root) override {
    if (!recording) return nullptr;
    return root == HKEY_LOCAL_MACHINE ? &hklm : &hkcu;
  }

  std::map<std::u16string, std::u16string> values;
  bool recording = true;
  InstallLogRegistry hklm;
  InstallLogRegistry hkcu;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_REGISTRY_TEST_UTIL_H_
