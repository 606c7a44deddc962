#include "desktop/windows/installer/service/placeholder_resolver.h"

#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/common/version_info.h"

namespace installer {

PlaceholderResolver::PlaceholderResolver(const std::u16string& name,
                                         const std::u16string& install_folder)
    : name_(name), install_folder_(install_folder) {}

PlaceholderResolver::~PlaceholderResolver() = default;

std::u16string PlaceholderResolver::ResolvePlaceholder(
    const std::u16string& name) {
  if (name == u"InstallFolder") return install_folder_;
  // Widened unit by unit: the branding names are ASCII.
  if (name == u"Stream") return base::ASCIIToUTF16(VersionInfo::GetStream());
  if (name == u"Product")
    return base::ASCIIToUTF16(BrandingConfig::GetProductName());
  if (name == u"Extension" || name == u"Protocol") return name_;
  return name;
}

InstallLogRegistry* PlaceholderResolver::GetInstallLogRegistry(HKEY root) {
  return nullptr;
}

}  // namespace installer
