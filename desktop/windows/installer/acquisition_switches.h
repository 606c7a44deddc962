// Development switches that point the statistics and the preference
// overrides at local servers.

#ifndef DESKTOP_WINDOWS_INSTALLER_ACQUISITION_SWITCHES_H_
#define DESKTOP_WINDOWS_INSTALLER_ACQUISITION_SWITCHES_H_

namespace installer {
namespace switches {

// Statistics go to port 3000 of the loopback host; the value is not used.
inline constexpr char kLocalStatsServer[] = "local-stats-server";
// The preference overrides come from the value's URL, or, without a value,
// from port 3001 of the loopback host.
inline constexpr char kLocalPrefDefaultOverridesServer[] =
    "local-pref-default-overrides-server";

}  // namespace switches
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_ACQUISITION_SWITCHES_H_
