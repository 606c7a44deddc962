// The installer's command-line switches, defined once.

#ifndef DESKTOP_WINDOWS_INSTALLER_INSTALLER_SWITCHES_H_
#define DESKTOP_WINDOWS_INSTALLER_INSTALLER_SWITCHES_H_

namespace installer {
namespace switches {

inline constexpr char kVersion[] = "version";
inline constexpr char kInternalVersion[] = "internal-version";
inline constexpr char kStream[] = "stream";

}  // namespace switches
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_INSTALLER_SWITCHES_H_
