#include "base/feature_list.h"
#include "base/features/command_line_feature_reader.h"
#include "base/values.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/common/installer_experiments.h"
#include "desktop/windows/installer/common/installer_switches.h"
#include "desktop/windows/installer/test/settings_fixture.h"

namespace installer {
namespace test {

namespace {

constexpr char16_t kSoftwarePrefix[] = u"Software\\";

}  // namespace

SettingsTestBase::SettingsTestBase(base::MessageLoop::Type loop_type)
    : message_loop_(loop_type) {}

SettingsTestBase::~SettingsTestBase() = default;

void SettingsTestBase::SetUp() {
  ASSERT_TRUE(dir_.CreateUniqueTempDir());
  ASSERT_TRUE(company_key_.created());
  // The company's key is "Software\" + the company name.
  const std::u16string& key = company_key_.path();
  ASSERT_EQ(0u, key.find(kSoftwarePrefix));
  BrandingConfig::OverrideForTesting(
      "company_name", std::make_unique<base::StringValue>(
                          key.substr(std::size(kSoftwarePrefix) - 1)));
  RegisterInstallerExperiments(base::FeatureList::GetInstance());
}

std::unique_ptr<Settings> SettingsTestBase::MakeSettings(
    const std::u16string& arguments) {
  command_line_ =
      std::make_unique<base::CommandLine>(base::CommandLine::NO_PROGRAM);
  command_line_->ParseFromString(u"installer.exe " + arguments);
  base::FeatureList::GetInstance()->ReadOverrides(
      base::CommandLineFeatureReader(*command_line_));
  auto settings = std::make_unique<Settings>(
      *command_line_, command_line_->HasSwitch(switches::kUninstall),
      command_line_->HasSwitch(switches::kSilent),
      command_line_->HasSwitch(switches::kAutoupdate),
      command_line_->GetSwitchValuePath(switches::kInstallFolder),
      command_line_->HasSwitch(switches::kReplaceTamselInstallation));
  SettingsObserverForTest observer(settings.get());
  EXPECT_TRUE(observer.WaitForPathChange());
  return settings;
}

}  // namespace test
}  // namespace installer
