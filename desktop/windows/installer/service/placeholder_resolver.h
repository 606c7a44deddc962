// PlaceholderResolver: the registry-template delegate of the shell
// integration. It answers the placeholders of the programmatic-identifier,
// protocol and extension rows and records nothing in an install log.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_PLACEHOLDER_RESOLVER_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_PLACEHOLDER_RESOLVER_H_

#include <string>

#include "desktop/windows/installer/service/registry_entry_win.h"

namespace installer {

class PlaceholderResolver : public RegistryEntry::Delegate {
 public:
  // |name| is the protocol ("http") or extension (".htm") being registered,
  // empty for the programmatic-identifier and Start-menu rows.
  PlaceholderResolver(const std::u16string& name,
                      const std::u16string& install_folder);
  ~PlaceholderResolver() override;

  // Exact, case-sensitive names: "InstallFolder", "Stream", "Product",
  // "Extension" and "Protocol" (both the name given); any other name comes
  // back unchanged.
  std::u16string ResolvePlaceholder(const std::u16string& name) override;
  // Always null: nothing is recorded.
  InstallLogRegistry* GetInstallLogRegistry(HKEY root) override;

 private:
  const std::u16string name_;
  const std::u16string install_folder_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_PLACEHOLDER_RESOLVER_H_
