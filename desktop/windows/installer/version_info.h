// The engine's build constants and the version strings made from them.

#ifndef DESKTOP_WINDOWS_INSTALLER_VERSION_INFO_H_
#define DESKTOP_WINDOWS_INSTALLER_VERSION_INFO_H_

#include <string>

namespace installer {

class VersionInfo {
 public:
  VersionInfo() = delete;

  static std::string GetBuildTimestamp();
  static std::string GetStream();
  // "<internal major>.<internal minor>".
  static std::string GetInternalVersion();
  static int GetBuildNumber();
  static int GetBuildSetNumber();
  static int GetChannel();
  // 1 nightly, 2 developer, 3 a further edition stream, 4 stable.
  static int GetReleaseChannel();
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_VERSION_INFO_H_
