// Settings written as the backend's switches.

#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/core/settings.h"
#include "desktop/windows/installer/core/status.h"
#include "desktop/windows/installer/test/installation_test_util.h"
#include "desktop/windows/installer/test/settings_fixture.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using SettingsCommandLineTest = test::SettingsTestBase;

// The arguments of the backend's command line, one per entry.
std::vector<std::u16string> BackendArguments(const Settings& settings,
                                             bool no_launch) {
  base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
  settings.AppendToCommandLine(&command_line, no_launch);
  EXPECT_TRUE(command_line.GetProgram().empty());
  return std::vector<std::u16string>(command_line.argv().begin() + 1,
                                     command_line.argv().end());
}

TEST_F(SettingsCommandLineTest, FreshInstallWritesEverySwitchInOrder) {
  const base::FilePath folder = dir().Append(u"new folder");
  std::unique_ptr<Settings> settings = MakeSettings(
      u"--import-bookmarks=1 --installfolder=\"" + folder.value() +
      u"\" --server-tracking-data=\"C:\\tracking data\" --v=2 "
      u"--initial-pid=12 --temp-folder=C:\\t --profile-folder=C:\\p "
      u"--with-feature:installer-experiment-test=on --import-session "
      u"--setdefaultbrowser=1 --unknown=1");
  ASSERT_EQ(kOperationInstalling, settings->operation());
  const std::vector<std::u16string> expected = {
      u"--backend",
      u"--initial-pid=12",
      u"--temp-folder=C:\\t",
      u"--v=2",
      u"--install",
      u"--import-browser-data=1",
      u"--enable-stats=1",
      u"--enable-installer-stats=1",
      u"--launchvelna=1",
      u"--installfolder=" + folder.value(),
      u"--profile-folder=C:\\p",
      u"--language=" + settings->install_language(),
      u"--singleprofile=0",
      u"--copyonly=0",
      u"--allusers=1",
      u"--setdefaultbrowser=1",
      u"--startmenushortcut=1",
      u"--desktopshortcut=1",
      u"--quicklaunchshortcut=0",
      u"--pintotaskbar=0",
      u"--server-tracking-data=C:\\tracking data",
      u"--with-feature:installer-experiment-test=on",
      u"--import-bookmarks=1",
      u"--import-session",
  };
  EXPECT_FALSE(settings->install_language().empty());
  EXPECT_EQ(expected, BackendArguments(*settings, false));
}

TEST_F(SettingsCommandLineTest, ElevatedRelaunchNeverStartsTheBrowser) {
  std::unique_ptr<Settings> settings = MakeSettings(
      u"--launchbrowser=1 --installfolder=\"" + dir().value() + u"\\new\"");
  ASSERT_TRUE(settings->launch_velna());
  const std::vector<std::u16string> arguments =
      BackendArguments(*settings, true);
  EXPECT_NE(arguments.end(),
            std::find(arguments.begin(), arguments.end(), u"--launchvelna=0"));
  // An empty profile folder is a switch without value.
  EXPECT_NE(arguments.end(),
            std::find(arguments.begin(), arguments.end(), u"--profile-folder"));
}

TEST_F(SettingsCommandLineTest, StandAloneInstallWritesNoSystemSwitches) {
  for (bool replace : {false, true}) {
    SCOPED_TRACE(replace);
    std::unique_ptr<Settings> settings = MakeSettings(
        u"--copyonly=1 --installfolder=\"" + dir().value() + u"\\new\"" +
        (replace ? u" --replacetamselinstallation" : u""));
    ASSERT_EQ(kOperationInstalling, settings->operation());
    const std::vector<std::u16string> arguments =
        BackendArguments(*settings, false);
    auto has = [&](const std::u16string& prefix) {
      for (const std::u16string& argument : arguments) {
        if (argument.compare(0, prefix.size(), prefix) == 0) return true;
      }
      return false;
    };
    EXPECT_TRUE(has(u"--singleprofile=1"));
    EXPECT_TRUE(has(u"--copyonly=1"));
    for (const char16_t* absent :
         {u"--allusers", u"--setdefaultbrowser", u"--startmenushortcut",
          u"--desktopshortcut", u"--quicklaunchshortcut", u"--pintotaskbar"}) {
      EXPECT_FALSE(has(absent)) << base::UTF16ToUTF8(absent);
    }
    // The replacement travels whatever the mode, so that the backend
    // upgrades what the front end upgrades.
    EXPECT_EQ(replace, has(u"--replacetamselinstallation"));
  }
}

TEST_F(SettingsCommandLineTest, UpgradeLeavesTheModeToTheInstallation) {
  InstallLog log = test::MakeInstallLog(dir(), false);
  log.hkcu_keys.push_back({1, "Software\\Velna", {}});
  ASSERT_TRUE(test::WriteInstallationLog(dir(), log, false));
  std::unique_ptr<Settings> settings = MakeSettings(
      u"--autoupdate --silent --installfolder=\"" + dir().value() + u"\"");
  ASSERT_EQ(kOperationUpgrading, settings->operation());
  const std::vector<std::u16string> arguments =
      BackendArguments(*settings, false);
  ASSERT_GE(arguments.size(), 4u);
  EXPECT_EQ(u"--backend", arguments[0]);
  EXPECT_EQ(u"--silent", arguments[1]);
  EXPECT_EQ(u"--install", arguments[2]);
  EXPECT_EQ(u"--autoupdate", arguments[3]);
  for (const std::u16string& argument : arguments) {
    EXPECT_EQ(std::u16string::npos, argument.find(u"--singleprofile"));
    EXPECT_EQ(std::u16string::npos, argument.find(u"--copyonly"));
    EXPECT_EQ(std::u16string::npos, argument.find(u"--allusers"));
  }
}

TEST_F(SettingsCommandLineTest, UnknownOperationWritesOnlyTheCopiedSwitches) {
  std::unique_ptr<Settings> settings = MakeSettings(
      u"--silent --v=1 --initial-pid=4 --temp-folder=x --enable-stats=0 "
      u"--installfolder=relative");
  ASSERT_EQ(kOperationUnknown, settings->operation());
  const std::vector<std::u16string> expected = {u"--backend", u"--silent",
                                                u"--initial-pid=4",
                                                u"--temp-folder=x", u"--v=1"};
  EXPECT_EQ(expected, BackendArguments(*settings, false));
}

}  // namespace
}  // namespace installer
