// Development switches that point the package request, the statistics and
// the preference overrides at other servers, or give the tracking data.

#ifndef DESKTOP_WINDOWS_INSTALLER_COMMON_ACQUISITION_SWITCHES_H_
#define DESKTOP_WINDOWS_INSTALLER_COMMON_ACQUISITION_SWITCHES_H_

namespace installer {
namespace switches {

// Statistics go to the loopback host's port that the value gives, or, without
// a port, to its port 3000.
inline constexpr char kLocalStatsServer[] = "local-stats-server";
// The preference overrides come from the value's URL, or, without a value,
// from port 3001 of the loopback host.
inline constexpr char kLocalPrefDefaultOverridesServer[] =
    "local-pref-default-overrides-server";

// The package request goes to the value's URL, unchanged; without a value,
// to the internal development update server.
inline constexpr char kInternalPackageServer[] = "internal-package-server";
// Tracking data (ASCII) for an installer that carries none.
inline constexpr char kServerTrackingBlob[] = "server-tracking-blob";

}  // namespace switches
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_COMMON_ACQUISITION_SWITCHES_H_
