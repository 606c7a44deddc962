#include "desktop/windows/crash_reporter/crash_reporter_features.h"

#include <memory>
#include <string>

#include "base/command_line.h"
#include "base/feature_list.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/test/scoped_temp_dir.h"
#include "base/values.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/common/experiment_features.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

// A command line with the alternative-crash-logging switch set to |value|,
// or without it for null.
base::CommandLine FeatureSwitch(const char* value) {
  base::CommandLine command_line = base::CommandLine::CommandLineEmpty();
  if (value) {
    command_line.AppendSwitchASCII(
        base::MakeFeatureSwitchName(installer::kAlternativeCrashLoggingFeature),
        value);
  }
  return command_line;
}

bool NoExperiment(base::StringPiece, bool*, bool*) { return false; }
bool FixedOn(base::StringPiece, bool* enabled, bool* overridable) {
  *enabled = true;
  *overridable = false;
  return true;
}
bool OffButOverridable(base::StringPiece, bool* enabled, bool* overridable) {
  *enabled = false;
  *overridable = true;
  return true;
}

class CrashReporterFeaturesTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    CrashReporterFeatures::ResetForTesting();
  }
  void TearDown() override { CrashReporterFeatures::ResetForTesting(); }

  // A state file with |json|, or a path that does not exist for null.
  base::FilePath StateFile(const char* json) {
    base::FilePath path = temp_dir_.GetPath().AppendASCII("Local State");
    base::DeleteFileOrDirectory(path, false);
    if (json) {
      const std::string text(json);
      EXPECT_EQ(base::WriteBufferToFile(path, text.data(),
                                        static_cast<int>(text.size())),
                static_cast<int>(text.size()));
    }
    return path;
  }

  base::ScopedTempDir temp_dir_;
};

TEST_F(CrashReporterFeaturesTest, LaterSourcesOverrideEarlierOnes) {
  const struct {
    const char* name;
    CrashReporterFeatures::ExperimentLookup lookup;
    const char* switch_value;  // null: no switch
    const char* state_file;    // null: no file
    bool metrics;
    bool alternative_logging;
  } cases[] = {
      {"defaults", &NoExperiment, nullptr, nullptr, true, false},
      {"switch on", &NoExperiment, "on", nullptr, true, true},
      {"switch on, file off", &NoExperiment, "on",
       R"({"browser": {"flags": {"alternative-crash-logging": 2}}})", true,
       false},
      {"file on", &NoExperiment, nullptr,
       R"({"browser": {"flags": {"alternative-crash-logging": 1}}})", true,
       true},
      {"file's other values change nothing", &NoExperiment, "on",
       R"({"browser": {"flags": {"alternative-crash-logging": 3}}})", true,
       true},
      {"metrics off in the file", &NoExperiment, nullptr,
       R"({"user_experience_metrics": {"reporting_enabled": false}})", false,
       false},
      {"metrics value of another type", &NoExperiment, nullptr,
       R"({"user_experience_metrics": {"reporting_enabled": 0}})", true, false},
      {"switch values are exact", &NoExperiment, "ON", nullptr, true, false},
      {"top level not a dictionary", &NoExperiment, nullptr,
       R"([{"user_experience_metrics": {"reporting_enabled": false}}])", true,
       false},
      {"unparsable file", &NoExperiment, nullptr, "{\"user_experience", true,
       false},
      {"experiment on and fixed", &FixedOn, "off",
       R"({"browser": {"flags": {"alternative-crash-logging": 2}},
           "user_experience_metrics": {"reporting_enabled": false}})",
       false, true},
      {"experiment off, switch on", &OffButOverridable, "on", nullptr, true,
       true},
  };
  for (const auto& test : cases) {
    CrashReporterFeatures::ResetForTesting();
    const base::CommandLine command_line = FeatureSwitch(test.switch_value);
    CrashReporterFeatures::Load(StateFile(test.state_file), command_line,
                                test.lookup);
    EXPECT_EQ(CrashReporterFeatures::IsMetricsReportingEnabled(), test.metrics)
        << test.name;
    EXPECT_EQ(CrashReporterFeatures::IsAlternativeCrashLoggingEnabled(),
              test.alternative_logging)
        << test.name;
  }
}

// The installer's experiment table decides through the branding's product
// token and the build's channel (3 in this build).
TEST_F(CrashReporterFeaturesTest, InstallerExperimentsDecideFirst) {
  const struct {
    const char* user_agent_name;
    const char* switch_value;
    bool alternative_logging;
  } cases[] = {
      // Group {4, 4}: on by default (0xFFF7), overridable (0x10007).
      {"VLN", nullptr, true},
      {"VLN", "off", false},
      // Group {8, 8}: off (0xFFF7 misses bit 3) and overridable (bit 16
      // misses too): the switch is ignored.
      {"TRV", "on", false},
      // No group: off and fixed.
      {"XYZ", "on", false},
  };
  for (const auto& test : cases) {
    installer::BrandingConfig::OverrideForTesting(
        "user_agent_name",
        std::make_unique<base::StringValue>(test.user_agent_name));
    CrashReporterFeatures::ResetForTesting();
    const base::CommandLine command_line = FeatureSwitch(test.switch_value);
    CrashReporterFeatures::Load(StateFile(nullptr), command_line,
                                &CrashReporterFeatures::LookUpExperiment);
    EXPECT_EQ(CrashReporterFeatures::IsAlternativeCrashLoggingEnabled(),
              test.alternative_logging)
        << test.user_agent_name << " " << (test.switch_value ? "switch" : "");
    EXPECT_TRUE(CrashReporterFeatures::IsMetricsReportingEnabled());
  }
  installer::BrandingConfig::OverrideForTesting(
      "user_agent_name", std::make_unique<base::StringValue>("VLN"));
  EXPECT_EQ(installer::ExperimentFeatures::FindByName("no-such-feature"),
            nullptr);
}

TEST_F(CrashReporterFeaturesTest, ProcessLoadUsesTheInstallerExperiments) {
  // The process's command line has no feature switch: the built-in group
  // {4, 4} turns alternative crash logging on.
  base::CommandLine::Init();
  CrashReporterFeatures::Load(StateFile(nullptr));
  EXPECT_TRUE(CrashReporterFeatures::IsAlternativeCrashLoggingEnabled());
  EXPECT_TRUE(CrashReporterFeatures::IsMetricsReportingEnabled());
}

}  // namespace
}  // namespace crash_reporter
