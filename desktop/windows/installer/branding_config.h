// BrandingConfig: the product's branding values (names of the company and
// the product, the base of the browser executable's file name).
//
// Until the branding resource is read, the values come from the built-in
// default branding. Any thread may call these.

#ifndef DESKTOP_WINDOWS_INSTALLER_BRANDING_CONFIG_H_
#define DESKTOP_WINDOWS_INSTALLER_BRANDING_CONFIG_H_

#include <string>

namespace installer {

class BrandingConfig {
 public:
  BrandingConfig() = delete;

  // "company_name"; the company's registry key is "Software\" + this.
  static std::string GetCompanyName();
  // "product_name".
  static std::string GetProductName();
  // "file_name_base": the browser executable is this + ".exe".
  static std::string GetFileNameBase();
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_BRANDING_CONFIG_H_
