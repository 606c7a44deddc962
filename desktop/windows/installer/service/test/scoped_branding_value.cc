#include "desktop/windows/installer/service/test/scoped_branding_value.h"

#include <memory>

#include "base/values.h"
#include "desktop/windows/installer/common/branding_config.h"

namespace installer {
namespace test {

ScopedBrandingValue::ScopedBrandingValue(const std::string& key,
                                         const std::string& value)
    : key_(key),
      is_bool_(false),
      previous_string_(BrandingConfig::GetString(key)),
      previous_bool_(false) {
  BrandingConfig::OverrideForTesting(
      key, std::make_unique<base::StringValue>(value));
}

ScopedBrandingValue::ScopedBrandingValue(const std::string& key, bool value)
    : key_(key), is_bool_(true), previous_bool_(BrandingConfig::GetBool(key)) {
  BrandingConfig::OverrideForTesting(
      key, std::make_unique<base::FundamentalValue>(value));
}

ScopedBrandingValue::~ScopedBrandingValue() {
  if (is_bool_) {
    BrandingConfig::OverrideForTesting(
        key_, std::make_unique<base::FundamentalValue>(previous_bool_));
  } else {
    BrandingConfig::OverrideForTesting(
        key_, std::make_unique<base::StringValue>(previous_string_));
  }
}

}  // namespace test
}  // namespace installer
