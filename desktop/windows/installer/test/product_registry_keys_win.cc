#include "desktop/windows/installer/test/product_registry_keys_win.h"

#include <string>

#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/service/utils.h"

namespace installer {
namespace test {

std::vector<RegistryLocation> ProductRegistryKeys() {
  const std::u16string product = base::UTF8ToUTF16(
      VersionInfo::GetProductName() + VersionInfo::GetStream());
  const std::u16string executable =
      base::UTF8ToUTF16(GetBrowserExecutableName());
  std::vector<RegistryLocation> keys;
  for (const std::u16string& name :
       {product, std::u16string(u".vnx"), std::u16string(u".vldownload"),
        std::u16string(u".htm"), std::u16string(u".html"),
        std::u16string(u".pdf"), std::u16string(u".shtml"),
        std::u16string(u".xht"), std::u16string(u".xhtml"),
        u"Applications\\" + executable}) {
    keys.push_back({HKEY_CURRENT_USER, u"Software\\Classes\\" + name});
  }
  keys.push_back({HKEY_CURRENT_USER,
                  u"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" +
                      executable});
  keys.push_back({HKEY_CURRENT_USER,
                  u"Software\\Microsoft\\Windows NT\\CurrentVersion\\"
                  u"AppCompatFlags\\Compatibility Assistant\\Persisted"});
  keys.push_back({HKEY_CURRENT_USER, u"Software\\RegisteredApplications"});
  keys.push_back({HKEY_CURRENT_USER, u"Software\\Clients\\StartMenuInternet"});
  keys.push_back({HKEY_CURRENT_USER, kUninstallRoot});
  return keys;
}

}  // namespace test
}  // namespace installer
