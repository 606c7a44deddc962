#include "desktop/windows/crash_reporter/crash_log_info.h"

#include "base/strings/string_number_conversions.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/common/version_info.h"

namespace crash_reporter {

void FillCrashLogHeaderFromInstaller(CrashLogInfo* info) {
  if (info->product_suffix.empty())
    info->product_suffix =
        installer::BrandingConfig::GetCrashLogProductSuffix();
  if (info->version.empty())
    info->version = installer::VersionInfo::GetProductVersion();
  if (info->build.empty())
    info->build = base::IntToString(installer::VersionInfo::GetBuildNumber());
}

}  // namespace crash_reporter
