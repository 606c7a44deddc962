// The current user's registry keys that an installation writes, for tests
// that run the real installation steps and must find these keys as they
// were (see ScopedRegistryRestore).

#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_PRODUCT_REGISTRY_KEYS_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_PRODUCT_REGISTRY_KEYS_WIN_H_

#include <vector>

#include "desktop/windows/installer/service/test/scoped_registry_restore.h"

namespace installer {
namespace test {

inline constexpr char16_t kUninstallRoot[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// The keys below HKEY_CURRENT_USER that the registry table of the product
// touches (classes, clients, App Paths, compatibility flags, registered
// applications) and the uninstall root. Not the company key, which tests
// usually replace with a key of their own.
std::vector<RegistryLocation> ProductRegistryKeys();

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_PRODUCT_REGISTRY_KEYS_WIN_H_
