// Replaces one value of the process's branding document while it lives and
// puts the previous value back at its end (see
// BrandingConfig::OverrideForTesting). For the main thread of a test, before
// other threads read the branding.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_SCOPED_BRANDING_VALUE_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_SCOPED_BRANDING_VALUE_H_

#include <string>

namespace installer {
namespace test {

class ScopedBrandingValue {
 public:
  // A string value.
  ScopedBrandingValue(const std::string& key, const std::string& value);
  // Without it a literal would pick the Boolean overload.
  ScopedBrandingValue(const std::string& key, const char* value)
      : ScopedBrandingValue(key, std::string(value)) {}
  // A Boolean value.
  ScopedBrandingValue(const std::string& key, bool value);
  ScopedBrandingValue(const ScopedBrandingValue&) = delete;
  ScopedBrandingValue& operator=(const ScopedBrandingValue&) = delete;
  ~ScopedBrandingValue();

 private:
  const std::string key_;
  const bool is_bool_;
  const std::string previous_string_;
  const bool previous_bool_;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_SCOPED_BRANDING_VALUE_H_
