#include "desktop/windows/installer/wininet/allowed_hosts.h"

#include <memory>

#include "base/values.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(AllowedHostsTest, HostMatchesWholeLabelsIgnoringCase) {
  const std::vector<std::u16string> suffixes = {u"velna.com", u"127.0.0.1"};
  const struct {
    const char16_t* host;
    bool allowed;
  } cases[] = {
      {u"velna.com", true},
      {u"autoupdate.velna.com", true},
      {u"a.b.velna.com", true},
      {u"AutoUpdate.VELNA.com", true},
      {u"127.0.0.1", true},
      {u"evil-velna.com", false},  // not a label boundary
      {u"evilvelna.com", false},
      {u"velna.com.evil.net", false},
      {u"elna.com", false},  // shorter than the suffix
      {u".velna.com", true},
      {u"localhost", false},
      {u"", false},
      {u"1127.0.0.1", false},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(test.allowed, IsHostAllowed(test.host, suffixes)) << std::string(
        test.host, test.host + std::char_traits<char16_t>::length(test.host));
  }
}

TEST(AllowedHostsTest, EmptyListAllowsEverythingButEmptySuffixesNothing) {
  EXPECT_TRUE(IsHostAllowed(u"any.host.example", {}));
  // An empty suffix (an empty branding domain) must not open every host.
  EXPECT_FALSE(IsHostAllowed(u"any.host.example", {u""}));
  EXPECT_FALSE(IsHostAllowed(u"", {u""}));
  EXPECT_TRUE(IsHostAllowed(u"www.velna.com", {u"", u"velna.com"}));
}

TEST(AllowedHostsTest, ServerListsAddTheBrandingDomainOnlyWhenItDiffers) {
  const struct {
    const char* domain;
    std::vector<std::u16string> update_hosts;
    std::vector<std::u16string> stats_hosts;
  } cases[] = {
      // The shipped branding: the maker's own domain, listed once.
      {"velna.com",
       {u"velna.com", u"velna-internal.net", u"localhost", u"127.0.0.1"},
       {u"velna.com", u"localhost", u"127.0.0.1"}},
      {"VELNA.com",
       {u"velna.com", u"velna-internal.net", u"localhost", u"127.0.0.1"},
       {u"velna.com", u"localhost", u"127.0.0.1"}},
      {"partner.example",
       {u"partner.example", u"velna.com", u"velna-internal.net", u"localhost",
        u"127.0.0.1"},
       {u"velna.com", u"localhost", u"127.0.0.1", u"partner.example"}},
      // An empty domain is never added.
      {"",
       {u"velna.com", u"velna-internal.net", u"localhost", u"127.0.0.1"},
       {u"velna.com", u"localhost", u"127.0.0.1"}},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.domain);
    BrandingConfig::OverrideForTesting(
        "domain", std::make_unique<base::StringValue>(test.domain));
    EXPECT_EQ(test.update_hosts, GetUpdateServerHostSuffixes());
    EXPECT_EQ(test.stats_hosts, GetStatsServerHostSuffixes());
  }
}

}  // namespace
}  // namespace installer
