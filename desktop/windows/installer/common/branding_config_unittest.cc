#include "desktop/windows/installer/common/branding_config.h"

#include <limits.h>

#include <memory>

#include "base/values.h"
#include "desktop/windows/installer/common/version_info.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(BrandingConfigTest, ShippedDocumentHasTheExpectedShape) {
  std::unique_ptr<base::DictionaryValue> document =
      ParseBrandingDocument(BrandingConfig::GetBuiltInDocument());
  ASSERT_TRUE(document);
  // The values other components and stored files depend on.
  EXPECT_EQ("Velna", BrandingConfig::GetCompanyName());
  EXPECT_EQ("Velna", BrandingConfig::GetProductName());
  EXPECT_EQ("velna", BrandingConfig::GetFileNameBase());
  EXPECT_EQ("VLN", BrandingConfig::GetUserAgentName());
  EXPECT_EQ(u"velna.com", BrandingConfig::GetDomain());
  EXPECT_EQ("Velna Software/Velna {InternalStream}",
            BrandingConfig::GetDefaultProfilePathTemplate());
  EXPECT_EQ(0, BrandingConfig::GetMajorDelta());
  EXPECT_TRUE(BrandingConfig::ScheduleAutoupdateTask());
  EXPECT_FALSE(BrandingConfig::UseCorvaneMajorForMinor());
  EXPECT_FALSE(BrandingConfig::IsWhiteLabeled());
  EXPECT_EQ("", BrandingConfig::GetShortcutSuffix());
  for (const char* url : {"autoupdate", "crash", "download_full_windows",
                          "help", "homepage", "download", "uninstall_survey"}) {
    EXPECT_EQ(0u, BrandingConfig::GetUrl(url).find("https://")) << url;
  }
  // The update server's base URL is joined with relative paths.
  EXPECT_EQ('/', BrandingConfig::GetUrl("autoupdate").back());
  EXPECT_EQ("41.0.2353.23", VersionInfo::GetProductVersion());
  EXPECT_EQ("Velna beta", VersionInfo::GetInstallFolderName());
  EXPECT_EQ(" (Edition beta)", VersionInfo::GetUserAgentEditionSuffix());
  EXPECT_EQ(54, VersionInfo::GetEngineMajor());
}

TEST(BrandingConfigTest, MissingKeysAndWrongTypesReadAsDefaults) {
  EXPECT_EQ("", BrandingConfig::GetString("no_such_key"));
  EXPECT_EQ("", BrandingConfig::GetUrl("no_such_url"));
  // "urls" is an object, not a string; "product_name" not a bool or int.
  EXPECT_EQ("", BrandingConfig::GetString("urls"));
  EXPECT_FALSE(BrandingConfig::GetBool("product_name"));
  EXPECT_EQ(0, BrandingConfig::GetInt("product_name"));
  // A dotted path reads a member of a nested object.
  EXPECT_EQ(BrandingConfig::GetUrl("help"),
            BrandingConfig::GetString("urls.help"));
}

TEST(BrandingConfigTest, NonObjectDocumentsAreRefused) {
  EXPECT_FALSE(ParseBrandingDocument(""));
  EXPECT_FALSE(ParseBrandingDocument("[1, 2]"));
  EXPECT_FALSE(ParseBrandingDocument("\"text\""));
  EXPECT_FALSE(ParseBrandingDocument("{\"a\": 1"));
  EXPECT_TRUE(ParseBrandingDocument("{}"));
}

// Runs last in its process: it changes the process's document.
TEST(BrandingConfigTest, ProductVersionFollowsTheBranding) {
  BrandingConfig::OverrideForTesting(
      "major_delta", std::make_unique<base::FundamentalValue>(2));
  BrandingConfig::OverrideForTesting(
      "use_corvane_major_for_minor",
      std::make_unique<base::FundamentalValue>(true));
  EXPECT_EQ(43, VersionInfo::GetMajorVersion());
  EXPECT_EQ("43.54.2353.23", VersionInfo::GetProductVersion());
  BrandingConfig::OverrideForTesting(
      "urls.crash", std::make_unique<base::StringValue>("http://127.0.0.1/"));
  EXPECT_EQ("http://127.0.0.1/", BrandingConfig::GetUrl("crash"));
}

// A document may come from the test harness's module: a delta that would
// carry the major version outside a version component leaves it alone.
TEST(BrandingConfigTest, MajorDeltasOutsideAVersionAreIgnored) {
  const struct {
    int delta;
    int major;
  } cases[] = {{0, 41},     {-41, 0},      {-42, 41},    {65494, 65535},
               {65495, 41}, {INT_MAX, 41}, {INT_MIN, 41}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.delta);
    BrandingConfig::OverrideForTesting(
        "major_delta", std::make_unique<base::FundamentalValue>(c.delta));
    EXPECT_EQ(c.major, VersionInfo::GetMajorVersion());
  }
}

}  // namespace
}  // namespace installer
