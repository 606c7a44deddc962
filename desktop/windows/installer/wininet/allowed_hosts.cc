#include "desktop/windows/installer/wininet/allowed_hosts.h"

#include "base/strings/string_util.h"
#include "desktop/windows/installer/common/branding_config.h"

namespace installer {

namespace {

bool MatchesSuffix(base::StringPiece16 host, base::StringPiece16 suffix) {
  if (suffix.empty() || host.size() < suffix.size()) return false;
  const size_t start = host.size() - suffix.size();
  if (start > 0 && host[start - 1] != u'.') return false;
  return base::EqualsCaseInsensitiveASCII16(
      base::StringPiece16(host.data() + start, suffix.size()), suffix);
}

// The branding domain, unless it is empty or the maker's own.
void AddBrandingDomain(std::vector<std::u16string>* suffixes) {
  const std::u16string domain = BrandingConfig::GetDomain();
  if (!domain.empty() &&
      !base::EqualsCaseInsensitiveASCII16(domain, kMakerDomainSuffix))
    suffixes->push_back(domain);
}

}  // namespace

bool IsHostAllowed(base::StringPiece16 host,
                   const std::vector<std::u16string>& suffixes) {
  if (suffixes.empty()) return true;
  for (const std::u16string& suffix : suffixes) {
    if (MatchesSuffix(host, suffix)) return true;
  }
  return false;
}

std::vector<std::u16string> GetUpdateServerHostSuffixes() {
  std::vector<std::u16string> suffixes;
  AddBrandingDomain(&suffixes);
  suffixes.insert(suffixes.end(), {kMakerDomainSuffix, kInternalDomainSuffix,
                                   kLoopbackHostName, kLoopbackAddress});
  return suffixes;
}

std::vector<std::u16string> GetStatsServerHostSuffixes() {
  std::vector<std::u16string> suffixes = {kMakerDomainSuffix, kLoopbackHostName,
                                          kLoopbackAddress};
  AddBrandingDomain(&suffixes);
  return suffixes;
}

}  // namespace installer
