#include "desktop/windows/installer/common/version_info.h"

#include <stdint.h>

#include "base/strings/string_number_conversions.h"
#include "base/strings/stringprintf.h"
#include "desktop/windows/installer/common/branding_config.h"

namespace installer {

namespace {

constexpr char kBuildTimestamp[] = "20161012_170001";
constexpr char kStream[] = "beta";
constexpr int kInternalMajor = 2353;
constexpr int kInternalMinor = 23;
constexpr int kBuildNumber = 730997;
constexpr int kBuildSetNumber = 259766;
constexpr char kEngineVersion[] = "54.0.2840.50";
constexpr int kChannel = 3;
constexpr int kBaseMajorVersion = 41;
// A component of a file's version resource is 16 bits wide.
constexpr int64_t kMaxVersionComponent = 65535;

}  // namespace

std::string VersionInfo::GetBuildTimestamp() { return kBuildTimestamp; }

std::string VersionInfo::GetStream() { return kStream; }

std::string VersionInfo::GetInternalVersion() {
  return base::StringPrintf("%d.%d", kInternalMajor, kInternalMinor);
}

std::string VersionInfo::GetUserAgentEditionSuffix() {
  return std::string(" (Edition ") + kStream + ")";
}

std::string VersionInfo::GetInstallFolderName() {
  return BrandingConfig::GetVisibleProductName() + " " + kStream;
}

std::string VersionInfo::GetProductName() {
  return BrandingConfig::GetProductName();
}

std::string VersionInfo::GetUserAgentName() {
  return BrandingConfig::GetUserAgentName();
}

int VersionInfo::GetMajorVersion() {
  // The branding may come from the test harness's module: a delta that
  // would carry the major version outside a version component is ignored.
  const int64_t major =
      int64_t{kBaseMajorVersion} + BrandingConfig::GetMajorDelta();
  return major >= 0 && major <= kMaxVersionComponent ? static_cast<int>(major)
                                                     : kBaseMajorVersion;
}

int VersionInfo::GetEngineMajor() {
  const std::string version = kEngineVersion;
  int major = 0;
  base::StringToInt(version.substr(0, version.find('.')), &major);
  return major;
}

std::string VersionInfo::FormatProductVersion() {
  const int minor =
      BrandingConfig::UseCorvaneMajorForMinor() ? GetEngineMajor() : 0;
  return base::StringPrintf("%d.%d.%d.%d", GetMajorVersion(), minor,
                            kInternalMajor, kInternalMinor);
}

std::string VersionInfo::GetProductVersion() { return FormatProductVersion(); }

int VersionInfo::GetBuildNumber() { return kBuildNumber; }

int VersionInfo::GetBuildSetNumber() { return kBuildSetNumber; }

int VersionInfo::GetChannel() { return kChannel; }

int VersionInfo::GetReleaseChannel() { return kChannel; }

}  // namespace installer
