#include "desktop/windows/installer/version_info.h"

namespace installer {

namespace {

constexpr char kBuildTimestamp[] = "20161012_170001";
constexpr char kStream[] = "beta";
constexpr int kInternalMajor = 2353;
constexpr int kInternalMinor = 23;
constexpr int kBuildNumber = 730997;
constexpr int kBuildSetNumber = 259766;
constexpr int kChannel = 3;

}  // namespace

std::string VersionInfo::GetBuildTimestamp() { return kBuildTimestamp; }

std::string VersionInfo::GetStream() { return kStream; }

std::string VersionInfo::GetInternalVersion() {
  return std::to_string(kInternalMajor) + "." + std::to_string(kInternalMinor);
}

int VersionInfo::GetBuildNumber() { return kBuildNumber; }

int VersionInfo::GetBuildSetNumber() { return kBuildSetNumber; }

int VersionInfo::GetChannel() { return kChannel; }

int VersionInfo::GetReleaseChannel() { return kChannel; }

}  // namespace installer
