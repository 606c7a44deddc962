#include "desktop/windows/installer/common/experiment_features.h"

#include <memory>
#include <string>

#include "base/command_line.h"
#include "base/feature_list.h"
#include "base/features/command_line_feature_reader.h"
#include "base/values.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/common/installer_experiments.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(ExperimentFeaturesTest, GroupTable) {
  struct {
    const char* token;
    int channel;
    ExperimentGroupMasks masks;
  } cases[] = {
      {"VLN", 1, {7, 7}},
      {"VLN", 2, {6, 6}},
      {"VLN", 3, {4, 4}},
      {"VLN", 4, {4, 4}},
      {"TRV", 1, {8, 8}},
      {"TRV", 4, {8, 8}},
      // No row: no group.
      {"VLN", 0, {0, 0}},
      {"VLN", 5, {0, 0}},
      {"vln", 3, {0, 0}},
      {"VLN ", 3, {0, 0}},
      {"", 3, {0, 0}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.masks, ExperimentFeatures::GetGroupMasks(c.token, c.channel))
        << c.token << " " << c.channel;
  }
  size_t count = 0;
  ExperimentGroups::GetAll(&count);
  EXPECT_EQ(8u, count);
}

TEST(ExperimentFeaturesTest, FindByNameIsExact) {
  const ExperimentFeature* feature =
      ExperimentFeatures::FindByName("alternative-crash-logging");
  ASSERT_NE(nullptr, feature);
  EXPECT_EQ(0xFFF7u, feature->first_mask);
  EXPECT_EQ(0x10007u, feature->second_mask);
  EXPECT_EQ(kPlatformWindows, feature->platforms);
  // The shipped branding is "VLN" on channel 3: masks 4 and 4.
  EXPECT_TRUE(ExperimentFeatures::IsInFirstMask(*feature));
  EXPECT_TRUE(ExperimentFeatures::IsInSecondMask(*feature));
  EXPECT_EQ(nullptr,
            ExperimentFeatures::FindByName("Alternative-crash-logging"));
  EXPECT_EQ(nullptr, ExperimentFeatures::FindByName("alternative-crash"));
  EXPECT_EQ(nullptr,
            ExperimentFeatures::FindByName("installer-experiment-test"));
  EXPECT_EQ(nullptr, ExperimentFeatures::FindByName(""));
}

// The four installer features after registration and the command-line
// overrides |arguments|.
std::string InstallerFeatureStates(const std::u16string& arguments) {
  base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
  command_line.ParseFromString(u"installer.exe " + arguments);
  base::FeatureList features;
  RegisterInstallerExperiments(&features);
  features.ReadOverrides(base::CommandLineFeatureReader(command_line));
  std::string states;
  size_t count = 0;
  const ExperimentFeature* rows = InstallerExperiments::GetAll(&count);
  for (size_t i = 0; i < count; ++i)
    states += features.IsEnabled(rows[i].name) ? '1' : '0';
  return states;
}

constexpr char16_t kAllOn[] =
    u"--with-feature:installer-experiment-test=on "
    u"--with-feature:installer-hide-from-program-and-features=on "
    u"--with-feature:installer-pref-default-overrides-support=on "
    u"--with-feature:installer-support-x64-download=on";
constexpr char16_t kAllOff[] =
    u"--with-feature:installer-experiment-test=off "
    u"--with-feature:installer-hide-from-program-and-features=off "
    u"--with-feature:installer-pref-default-overrides-support=off "
    u"--with-feature:installer-support-x64-download=off";

void SetUserAgentName(const char* name) {
  BrandingConfig::OverrideForTesting("user_agent_name",
                                     std::make_unique<base::StringValue>(name));
}

TEST(ExperimentFeaturesTest, InstallerFeaturesByGroup) {
  struct {
    const char* token;
    const char* defaults;
    const char* all_on;
    const char* all_off;
  } cases[] = {
      // Only the overrides support is on; hiding cannot be switched on.
      {"VLN", "0010", "1011", "0000"},
      // Hiding alone is on, and it cannot be switched off.
      {"TRV", "0100", "1111", "0100"},
      // No group: all off, nothing overridable.
      {"XYZ", "0000", "0000", "0000"},
  };
  for (const auto& c : cases) {
    SetUserAgentName(c.token);
    EXPECT_EQ(c.defaults, InstallerFeatureStates(u"")) << c.token;
    EXPECT_EQ(c.all_on, InstallerFeatureStates(kAllOn)) << c.token;
    EXPECT_EQ(c.all_off, InstallerFeatureStates(kAllOff)) << c.token;
  }
  SetUserAgentName("VLN");
  size_t count = 0;
  const ExperimentFeature* rows = InstallerExperiments::GetAll(&count);
  ASSERT_EQ(4u, count);
  EXPECT_STREQ("installer-experiment-test", rows[0].name);
  EXPECT_STREQ("installer-support-x64-download", rows[3].name);
  for (size_t i = 0; i < count; ++i) {
    EXPECT_EQ(kNoFeatureStringId, rows[i].name_string_id);
    EXPECT_EQ(kNoFeatureStringId, rows[i].description_string_id);
  }
}

}  // namespace
}  // namespace installer
