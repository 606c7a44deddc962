// A test fixture for Settings: a message loop and COM on the test's thread,
// a temporary folder, and a registry key of the test's own that stands for
// the company's key (the branding's company name points below it).

#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_SETTINGS_FIXTURE_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_SETTINGS_FIXTURE_H_

#include <memory>
#include <string>

#include "base/command_line.h"
#include "base/message_loop/message_loop.h"
#include "base/test/scoped_temp_dir.h"
#include "base/win/scoped_com_initializer.h"
#include "desktop/windows/installer/core/settings.h"
#include "desktop/windows/installer/service/test/scoped_test_registry_key.h"
#include "desktop/windows/installer/test/installation_test_util.h"
#include "desktop/windows/installer/test/settings_test_util.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {

class SettingsTestBase : public testing::Test {
 protected:
  // |loop_type|: TYPE_UI for tests that open windows.
  explicit SettingsTestBase(
      base::MessageLoop::Type loop_type = base::MessageLoop::TYPE_DEFAULT);
  ~SettingsTestBase() override;

  void SetUp() override;

  // Settings made from the switches |arguments| as RunInstaller() makes
  // them, once their first inspection has arrived. The command line lives
  // until the next call.
  std::unique_ptr<Settings> MakeSettings(const std::u16string& arguments);

  const base::FilePath& dir() const { return dir_.GetPath(); }
  const ScopedTestRegistryKey& company_key() const { return company_key_; }

 private:
  base::MessageLoop message_loop_;
  base::win::ScopedComInitializer com_;
  base::ScopedTempDir dir_;
  ScopedTestRegistryKey company_key_;
  std::unique_ptr<base::CommandLine> command_line_;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_SETTINGS_FIXTURE_H_
