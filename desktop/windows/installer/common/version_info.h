// The engine's build constants and the version strings made from them and
// the branding (see BrandingConfig). All static; any thread may call them
// once the branding has been read on the main thread.

#ifndef DESKTOP_WINDOWS_INSTALLER_COMMON_VERSION_INFO_H_
#define DESKTOP_WINDOWS_INSTALLER_COMMON_VERSION_INFO_H_

#include <string>

namespace installer {

class VersionInfo {
 public:
  VersionInfo() = delete;

  // "yyyymmdd_hhmmss".
  static std::string GetBuildTimestamp();
  static std::string GetStream();
  // "<internal major>.<internal minor>".
  static std::string GetInternalVersion();
  // " (Edition <stream>)".
  static std::string GetUserAgentEditionSuffix();
  // The visible product name, a space and the stream.
  static std::string GetInstallFolderName();
  static std::string GetProductName();
  static std::string GetUserAgentName();
  // 41 + the branding's major delta.
  static int GetMajorVersion();
  // The first component of the engine version.
  static int GetEngineMajor();
  // "major.minor.internal-major.internal-minor"; the minor is the engine's
  // major when the branding asks for it, else 0.
  static std::string FormatProductVersion();
  static std::string GetProductVersion();
  static int GetBuildNumber();
  static int GetBuildSetNumber();
  static int GetChannel();
  // 1 nightly, 2 developer, 3 a further edition stream, 4 stable.
  static int GetReleaseChannel();
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_COMMON_VERSION_INFO_H_
