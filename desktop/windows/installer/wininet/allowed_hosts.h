// Which hosts a WinInetDownloader may reach: the rule that matches a host
// against a list of allowed suffixes, and the lists of the maker's servers.

#ifndef DESKTOP_WINDOWS_INSTALLER_WININET_ALLOWED_HOSTS_H_
#define DESKTOP_WINDOWS_INSTALLER_WININET_ALLOWED_HOSTS_H_

#include <string>
#include <vector>

#include "base/strings/string_piece.h"

namespace installer {

// The maker's own domain, its internal development domain, and the loopback
// host's name and IPv4 address.
inline constexpr char16_t kMakerDomainSuffix[] = u"velna.com";
inline constexpr char16_t kInternalDomainSuffix[] = u"velna-internal.net";
inline constexpr char16_t kLoopbackHostName[] = u"localhost";
inline constexpr char16_t kLoopbackAddress[] = u"127.0.0.1";

// True when |suffixes| is empty, or when |host| equals one of them or ends
// in "." followed by one of them, ignoring ASCII case. An empty suffix
// matches no host: "velna.com" allows "velna.com" and "www.velna.com", never
// "evil-velna.com".
bool IsHostAllowed(base::StringPiece16 host,
                   const std::vector<std::u16string>& suffixes);

// The update server's hosts, for the package request and the preference
// overrides: the branding domain (when it is not empty and differs from the
// maker's), the maker's domain, the internal development domain and the
// loopback host.
std::vector<std::u16string> GetUpdateServerHostSuffixes();

// The statistics server's hosts: the maker's domain, the loopback host and
// the branding domain (when it is not empty and differs from the maker's).
std::vector<std::u16string> GetStatsServerHostSuffixes();

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_WININET_ALLOWED_HOSTS_H_
