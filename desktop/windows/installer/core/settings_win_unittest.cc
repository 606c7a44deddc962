#include <windows.h>

#include <string>
#include <vector>

#include "base/base_paths_win.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/path_service.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/run_loop_for.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/common/stats_document.h"
#include "desktop/windows/installer/common/stats_node.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/core/settings.h"
#include "desktop/windows/installer/core/status.h"
#include "desktop/windows/installer/service/access_control.h"
#include "desktop/windows/installer/service/test/log_capture.h"
#include "desktop/windows/installer/service/test/security_test_util.h"
#include "desktop/windows/installer/test/installation_test_util.h"
#include "desktop/windows/installer/test/settings_fixture.h"
#include "desktop/windows/installer/test/settings_test_util.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using SettingsTest = test::SettingsTestBase;

std::u16string FolderSwitch(const base::FilePath& folder) {
  return u"--installfolder=\"" + folder.value() + u"\"";
}

// Writes an installation for the current user, with these stored
// preferences, into |folder|.
void WriteInstallation(const base::FilePath& folder, const std::string& prefs) {
  InstallLog log = test::MakeInstallLog(folder, false);
  log.hkcu_keys.push_back({1, "Software\\Velna", {}});
  ASSERT_TRUE(test::WriteInstallationLog(folder, log, false));
  ASSERT_TRUE(
      test::WriteTextFile(folder.Append(u"installer_prefs.json"), prefs));
}

// The settings' flags as a string of 0 and 1, in this order: copy only,
// single profile, launch, all users, default browser, import, browser
// statistics, installer statistics, desktop, start menu, quick launch, pin.
std::string Flags(const Settings& s) {
  std::string flags;
  for (bool flag : {s.copy_only(), s.single_profile(), s.launch_velna(),
                    s.all_users(), s.default_browser(), s.import_browser_data(),
                    s.enable_velna_stats(), s.enable_installer_stats(),
                    s.desktop_shortcut(), s.start_menu_shortcut(),
                    s.quick_launch_shortcut(), s.pinned_shortcut()}) {
    flags += flag ? '1' : '0';
  }
  return flags;
}

TEST_F(SettingsTest, CommandLineSwitches) {
  // Under test the user is an administrator on Windows 10, and this build's
  // channel is not stable: all users, no default browser, no quick launch
  // and no taskbar pin by default.
  const struct {
    const char16_t* arguments;
    const char* flags;
  } cases[] = {
      {u"", "001101111100"},
      {u"--enable-stats=0", "001101001100"},
      {u"--enable-stats=0 --enable-installer-stats=1", "001101011100"},
      {u"--enable-installer-stats=0 --enable-stats=1", "001101101100"},
      // Stand-alone: no all users, default browser or desktop shortcut, a
      // single profile, and the switches of those fields are ignored.
      {u"--allusers=1 --copyonly=1", "111001110100"},
      {u"--copyonly=yes --setdefaultbrowser=1 --desktopshortcut=1",
       "111001110100"},
      {u"--copyonly=1 --singleprofile=0", "101001110100"},
      {u"--launchbrowser=0", "000101111100"},
      {u"--launchvelna=TRUE --launchbrowser=0", "001101111100"},
      {u"--allusers=no --setdefaultbrowser=2 --desktopshortcut=0 "
       u"--startmenushortcut=0 --quicklaunchshortcut=1 --pintotaskbar=yes",
       "001011110011"},
      // Other values read as the number that starts them, 0 without one.
      {u"--enable-stats=off --desktopshortcut=off", "001101000100"},
      {u"--desktopshortcut=maybe --launchbrowser=banana --allusers=x "
       u"--startmenushortcut=\" 1\" --import-browser-data=0x1",
       "000000110000"},
      {u"--copyonly=1x --enable-stats=on", "111001000100"},
      {u"--launchvelna=maybe --launchbrowser=1", "000101111100"},
      {u"--import-browser-data=0 --singleprofile=1", "011100111100"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(base::UTF16ToUTF8(c.arguments));
    std::unique_ptr<Settings> settings =
        MakeSettings(FolderSwitch(dir().Append(u"new")) + u" " + c.arguments);
    EXPECT_EQ(kOperationInstalling, settings->operation());
    EXPECT_EQ(c.flags, Flags(*settings));
  }
}

TEST_F(SettingsTest, AUserWhoIsNoAdministratorInstallsForHimself) {
  base::win::ScopedHandle token =
      test::MakeRestrictedToken({WinBuiltinAdministratorsSid}, false);
  ASSERT_TRUE(token.IsValid());
  internal::ScopedAccessTokenForTesting scoped_token(token.Get());
  std::unique_ptr<Settings> settings = MakeSettings(u"");
  EXPECT_FALSE(settings->all_users());
  EXPECT_EQ(kModeCurrentUser, settings->mode());
  base::FilePath local_app_data;
  ASSERT_TRUE(
      base::PathService::Get(base::DIR_LOCAL_APP_DATA, &local_app_data));
  // The per-user programs folder, never a relative path.
  EXPECT_EQ(local_app_data.Append(u"Programs").AppendASCII("Velna beta"),
            settings->GetStatus()->install_folder);
  EXPECT_EQ(kOperationInstalling, settings->operation());
}

TEST_F(SettingsTest, StandAloneRefusesAllUsersAndDefaultBrowser) {
  std::unique_ptr<Settings> settings =
      MakeSettings(FolderSwitch(dir().Append(u"new")));
  test::SettingsObserverForTest observer(settings.get());
  EXPECT_TRUE(settings->SetCopyOnly(true));
  EXPECT_FALSE(settings->all_users());
  EXPECT_FALSE(settings->default_browser());
  EXPECT_FALSE(settings->desktop_shortcut());
  EXPECT_EQ(kModeStandalone, settings->mode());
  EXPECT_FALSE(settings->SetAllUsers(true));
  EXPECT_FALSE(settings->all_users());
  EXPECT_FALSE(settings->SetDefaultBrowser(true));
  EXPECT_FALSE(settings->default_browser());
  // Accepted setters notify, also when nothing changes.
  EXPECT_TRUE(settings->SetImportBrowserData(settings->import_browser_data()));
  EXPECT_EQ(2, observer.setting_changes());
  // Deleting the profile belongs to an uninstall.
  EXPECT_FALSE(settings->SetDeleteProfile(true));
  EXPECT_FALSE(settings->delete_profile());
}

TEST_F(SettingsTest, UpgradeKeepsTheInstallationsMode) {
  WriteInstallation(dir(), R"({"single_profile": true, "enable_stats": false,
                              "import_browser_data": false})");
  std::unique_ptr<Settings> settings = MakeSettings(FolderSwitch(dir()));
  ASSERT_EQ(kOperationUpgrading, settings->operation());
  EXPECT_FALSE(settings->all_users());
  EXPECT_TRUE(settings->single_profile());
  EXPECT_FALSE(settings->enable_velna_stats());
  EXPECT_FALSE(settings->enable_installer_stats());
  EXPECT_FALSE(settings->import_browser_data());
  EXPECT_FALSE(settings->SetCopyOnly(true));
  EXPECT_FALSE(settings->SetSingleProfile(false));
  EXPECT_FALSE(settings->SetAllUsers(true));
  EXPECT_TRUE(settings->single_profile());
  EXPECT_TRUE(settings->SetEnableVelnaStats(true));
}

TEST_F(SettingsTest, SwitchesOverrideTheInstallationsChoices) {
  WriteInstallation(dir(), R"({"enable_stats": false,
                              "import_browser_data": false})");
  std::unique_ptr<Settings> settings = MakeSettings(
      FolderSwitch(dir()) + u" --enable-stats=1 --import-browser-data=1");
  ASSERT_EQ(kOperationUpgrading, settings->operation());
  EXPECT_TRUE(settings->enable_velna_stats());
  EXPECT_TRUE(settings->enable_installer_stats());
  EXPECT_TRUE(settings->import_browser_data());
}

// A value that is no plain spelling is still the user's choice over the
// installation's, and the log says how it was read, once per switch.
TEST_F(SettingsTest, OtherValuesOverrideTheInstallationsChoices) {
  WriteInstallation(dir(), R"({"enable_stats": false,
                              "import_browser_data": true})");
  test::ScopedLogCapture log;
  std::unique_ptr<Settings> settings = MakeSettings(
      FolderSwitch(dir()) + u" --enable-stats=2x \"--import-browser-data= 1\"");
  ASSERT_EQ(kOperationUpgrading, settings->operation());
  EXPECT_TRUE(settings->enable_velna_stats());
  EXPECT_TRUE(settings->enable_installer_stats());
  EXPECT_FALSE(settings->import_browser_data());
  const std::string plain =
      ": the plain values are 1, 0, true, false, yes, no and whole numbers";
  std::vector<std::string> readings;
  for (const std::string& line : log.Messages(logging::LOG_WARNING)) {
    if (line.rfind("Reading --", 0) == 0) readings.push_back(line);
  }
  EXPECT_EQ((std::vector<std::string>{
                "Reading --import-browser-data=\" 1\" as false" + plain,
                "Reading --enable-stats=\"2x\" as true" + plain}),
            readings);
}

// The record of an installation that did not finish: the next install
// runs as an update over it and keeps where it went (the user's own
// installation, here), but takes its choices from its own command line, as
// a new installation would: the shortcuts that the record does not show
// yet and the preferences it stored are no choice of the user's.
TEST_F(SettingsTest, AnUnfinishedInstallationIsUpdatedWithNewChoices) {
  for (bool complete : {true, false}) {
    SCOPED_TRACE(complete);
    InstallLog log = test::MakeInstallLog(dir(), false);
    log.hkcu_keys.push_back({1, "Software\\Velna", {}});
    log.complete = complete;
    ASSERT_TRUE(test::WriteInstallationLog(dir(), log, false));
    ASSERT_TRUE(test::WriteTextFile(
        dir().Append(u"installer_prefs.json"),
        R"({"enable_stats": false, "import_browser_data": false})"));
    std::unique_ptr<Settings> settings =
        MakeSettings(FolderSwitch(dir()) + u" --allusers=1");
    ASSERT_EQ(kOperationUpgrading, settings->operation());
    EXPECT_FALSE(settings->all_users());
    EXPECT_FALSE(settings->copy_only());
    // No shortcut of the record exists.
    EXPECT_EQ(!complete, settings->desktop_shortcut());
    EXPECT_EQ(!complete, settings->start_menu_shortcut());
    EXPECT_EQ(!complete, settings->enable_velna_stats());
    EXPECT_EQ(!complete, settings->import_browser_data());
  }
}

TEST_F(SettingsTest, FrozenSettingsRefuseEverySetter) {
  std::unique_ptr<Settings> settings =
      MakeSettings(FolderSwitch(dir().Append(u"new")));
  test::SettingsObserverForTest observer(settings.get());
  settings->set_initialized(false);
  const std::string before = Flags(*settings);
  EXPECT_FALSE(settings->SetCopyOnly(true));
  EXPECT_FALSE(settings->SetSingleProfile(true));
  EXPECT_FALSE(settings->SetAllUsers(false));
  EXPECT_FALSE(settings->SetDefaultBrowser(true));
  EXPECT_FALSE(settings->SetImportBrowserData(false));
  EXPECT_FALSE(settings->SetEnableInstallerStats(false));
  EXPECT_FALSE(settings->SetEnableVelnaStats(false));
  EXPECT_FALSE(settings->SetMode(kModeStandalone));
  settings->SetInstallFolderFromString(dir().Append(u"other").value());
  EXPECT_FALSE(settings->IsStatusPending());
  EXPECT_EQ(before, Flags(*settings));
  EXPECT_EQ(0, observer.setting_changes());
}

// Trailing separators name the same folder: it is taken without them (the
// switch's doubled backslash before its closing quote gives one).
TEST_F(SettingsTest, TheSameFolderIsInspectedOnce) {
  const base::FilePath folder = dir().Append(u"new");
  std::unique_ptr<Settings> settings =
      MakeSettings(u"--installfolder=\"" + folder.value() + u"\\\\\"");
  EXPECT_EQ(folder, settings->GetStatus()->install_folder);
  EXPECT_EQ(folder, settings->GetDefaultInstallFolder(kFolderFromCommandLine));
  test::SettingsObserverForTest observer(settings.get());
  settings->SetInstallFolder(folder);
  for (const char16_t* typed : {u"", u"\\", u"\\\\", u"/"})
    settings->SetInstallFolderFromString(folder.value() + typed);
  EXPECT_FALSE(settings->IsStatusPending());
  base::RunLoopFor(100);
  EXPECT_EQ(0, observer.path_changes());
  EXPECT_EQ(kOperationInstalling, settings->operation());
}

TEST_F(SettingsTest, OnlyTheNewestInspectionCounts) {
  std::unique_ptr<Settings> settings =
      MakeSettings(FolderSwitch(dir().Append(u"first")));
  test::SettingsObserverForTest observer(settings.get());
  WriteInstallation(dir().Append(u"installed"), "{}");
  settings->SetInstallFolder(dir().Append(u"installed"));
  settings->SetInstallFolder(dir().Append(u"second"));
  EXPECT_TRUE(settings->IsStatusPending());
  ASSERT_TRUE(observer.WaitForPathChange());
  base::RunLoopFor(300);
  EXPECT_EQ(1, observer.path_changes());
  EXPECT_EQ(dir().Append(u"second"), settings->GetStatus()->install_folder);
  EXPECT_EQ(kOperationInstalling, settings->operation());
  EXPECT_FALSE(settings->IsStatusPending());
}

// Going back to the current folder before another inspection returns keeps
// the current folder: the outstanding reply must not win later.
TEST_F(SettingsTest, ReturningToTheCurrentFolderDropsTheOutstandingInspection) {
  const base::FilePath current = dir().Append(u"current");
  std::unique_ptr<Settings> settings = MakeSettings(FolderSwitch(current));
  test::SettingsObserverForTest observer(settings.get());
  settings->SetInstallFolder(dir().Append(u"other"));
  ASSERT_TRUE(settings->IsStatusPending());
  settings->SetInstallFolder(current);
  EXPECT_FALSE(settings->IsStatusPending());
  EXPECT_EQ(1, observer.path_changes());
  base::RunLoopFor(300);
  EXPECT_EQ(1, observer.path_changes());
  EXPECT_EQ(current, settings->GetStatus()->install_folder);
  EXPECT_EQ(kOperationInstalling, settings->operation());
}

TEST_F(SettingsTest, InvalidFolderLeavesTheOperationUnknown) {
  std::unique_ptr<Settings> settings =
      MakeSettings(FolderSwitch(dir().Append(u"new")));
  test::SettingsObserverForTest observer(settings.get());
  settings->SetInstallFolderFromString(u"relative\\folder");
  ASSERT_TRUE(observer.WaitForPathChange());
  EXPECT_EQ(kOperationUnknown, settings->operation());
  EXPECT_FALSE(settings->GetStatus()->valid_install_path);
  // A drive's root keeps one separator.
  settings->SetInstallFolderFromString(u"Q:\\\\");
  ASSERT_TRUE(observer.WaitForPathChange());
  EXPECT_EQ(u"Q:\\", settings->GetStatus()->install_folder.value());
}

TEST_F(SettingsTest, UninstallOutsideAnInstallationLeavesTheOperationUnknown) {
  // The running program's folder holds no installation.
  std::unique_ptr<Settings> settings =
      MakeSettings(u"--uninstall --deleteuserprofile=1");
  EXPECT_EQ(kOperationUnknown, settings->operation());
  EXPECT_TRUE(settings->delete_profile());
}

TEST_F(SettingsTest, ModeChangeMovesOnlyTheDefaultFolder) {
  std::unique_ptr<Settings> settings = MakeSettings(u"");
  test::SettingsObserverForTest observer(settings.get());
  const base::FilePath all_users_default =
      settings->GetDefaultInstallFolder(kFolderComputed);
  ASSERT_EQ(all_users_default, settings->GetStatus()->install_folder);
  EXPECT_TRUE(settings->SetMode(kModeStandalone));
  EXPECT_TRUE(settings->copy_only());
  EXPECT_TRUE(settings->single_profile());
  ASSERT_TRUE(observer.WaitForPathChange());
  const base::FilePath standalone_default =
      settings->default_standalone_folder().AppendASCII(
          VersionInfo::GetInstallFolderName());
  EXPECT_EQ(standalone_default, settings->GetStatus()->install_folder);

  // A folder the user chose stays.
  settings->SetInstallFolder(dir().Append(u"chosen"));
  ASSERT_TRUE(observer.WaitForPathChange());
  EXPECT_TRUE(settings->SetMode(kModeAllUsers));
  EXPECT_FALSE(settings->copy_only());
  EXPECT_TRUE(settings->all_users());
  EXPECT_FALSE(settings->single_profile());
  EXPECT_FALSE(settings->IsStatusPending());
  EXPECT_EQ(dir().Append(u"chosen"), settings->GetStatus()->install_folder);
  EXPECT_FALSE(settings->SetMode(static_cast<InstallationMode>(3)));
}

TEST_F(SettingsTest, DefaultFolderSources) {
  const base::FilePath stored = dir().Append(u"stored");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(stored));
  base::win::RegKey key(HKEY_CURRENT_USER, company_key().path().c_str(),
                        KEY_SET_VALUE);
  ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(u"Last beta Install Path",
                                          (stored.value() + u"\\").c_str()));
  const base::FilePath typed = dir().Append(u"typed");
  std::unique_ptr<Settings> settings = MakeSettings(FolderSwitch(typed));
  EXPECT_EQ(stored, settings->registry_install_folder());
  EXPECT_EQ(typed, settings->GetStatus()->install_folder);
  EXPECT_EQ(typed, settings->GetDefaultInstallFolder(kFolderFromCommandLine));
  EXPECT_EQ(typed, settings->GetDefaultInstallFolder(
                       kFolderFromCommandLineOrRegistry));
  EXPECT_EQ(stored, settings->GetDefaultInstallFolder(kFolderFromRegistry));
  const base::FilePath computed =
      settings->GetDefaultInstallFolder(kFolderComputed);
  EXPECT_NE(stored, computed);
  EXPECT_TRUE(computed.IsAbsolute());
  // A stand-alone installation never takes the stored folder.
  ASSERT_TRUE(settings->SetCopyOnly(true));
  EXPECT_EQ(settings->default_standalone_folder().AppendASCII("Velna beta"),
            settings->GetDefaultInstallFolder(kFolderFromRegistry));
}

TEST_F(SettingsTest, FormerEngineUnderAutoupdateLaunchesTheBrowser) {
  InstallLog log = test::MakeInstallLog(dir(), false);
  log.copy_only = true;
  ASSERT_TRUE(test::WriteInstallationLog(dir(), log, true));
  std::unique_ptr<Settings> settings =
      MakeSettings(FolderSwitch(dir()) + u" --autoupdate --launchbrowser=0");
  // Not replaced: a fresh install beside it that starts the browser.
  EXPECT_EQ(kOperationInstalling, settings->operation());
  EXPECT_TRUE(settings->GetStatus()->tamsel_installation);
  EXPECT_TRUE(settings->launch_velna());
  EXPECT_TRUE(settings->copy_only());
}

// The statistics of the settings, once with the window's prefix.
TEST_F(SettingsTest, StatisticsOfTheChoices) {
  std::unique_ptr<Settings> settings = MakeSettings(u"--autoupdate");
  ASSERT_EQ(kOperationInstalling, settings->operation());
  auto document = base::MakeRefCounted<StatsDocument>();
  StatsNode root = document->root();
  settings->WriteSettingStats("ui.initial_", &root);
  ASSERT_TRUE(settings->SetCopyOnly(true));
  settings->WriteSettingStats("", &root);
  std::string json;
  ASSERT_TRUE(document->WriteJson(&json));
  std::unique_ptr<base::Value> written = base::JSONReader::Read(json);
  ASSERT_TRUE(written);
  std::unique_ptr<base::Value> expected = base::JSONReader::Read(R"({
      "ui": {"initial_installation_mode": "all_users",
             "initial_installation_operation": "installing",
             "initial_make_default": 0,
             "initial_using_default_installation_folder": 1,
             "initial_using_privileged_installation_folder": 0},
      "autoupdate": 1,
      "installation_mode": "standalone",
      "installation_operation": "installing",
      "make_default": 0,
      "using_default_installation_folder": 0,
      "using_privileged_installation_folder": 0})");
  EXPECT_TRUE(written->Equals(expected.get())) << json;
}

TEST(SettingsInternalTest, LastInstallPathValueNames) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  const std::u16string folder = dir.GetPath().value();
  const struct {
    const char* name;
    std::u16string values[4];  // the " x64" names, the written name, old
    int channel;
    std::u16string expected;
  } cases[] = {
      {"none", {}, 3, u""},
      {"stream x64", {folder + u"\\"}, 3, folder},
      {"internal x64", {u"", folder}, 3, folder},
      // The name the installer writes is read too.
      {"written", {u"", u"", folder + u"\\"}, 3, folder},
      {"old name on beta", {u"", u"", u"", folder}, 3, u""},
      {"old name on stable", {u"", u"", u"", folder}, 4, folder},
      // The first value that exists decides, even when it is unusable.
      {"relative first", {u"relative", folder}, 3, u""},
      {"missing first", {folder + u"\\missing", folder}, 3, u""},
  };
  // Value names ignore case: the internal stream name must differ in more
  // than case to be told apart.
  const std::u16string names[4] = {
      u"Last beta Install Path x64", u"Last Developer Install Path x64",
      u"Last beta Install Path", u"Last install path"};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::ScopedTestRegistryKey key;
    base::win::RegKey writer(HKEY_CURRENT_USER, key.path().c_str(),
                             KEY_SET_VALUE);
    for (int i = 0; i < 4; ++i) {
      if (!c.values[i].empty())
        writer.WriteValue(names[i].c_str(), c.values[i].c_str());
    }
    EXPECT_EQ(c.expected, internal::ReadLastInstallPath(key.path(), "beta",
                                                        "Developer", c.channel)
                              .value());
  }
}

// Drive types by letter for the fake probe; 0xFF: the drive does not answer.
unsigned g_drive_types[26];

bool FakeProbe(char letter, unsigned* drive_type) {
  const unsigned type = g_drive_types[letter - 'A'];
  if (type == 0xFF) return false;
  *drive_type = type;
  return true;
}

TEST(SettingsInternalTest, StandAloneDriveChoice) {
  const struct {
    const char* name;
    const char* drives;  // letter and type pairs: "C3" = C: fixed
    const char* answering;
    const char16_t* expected;
  } cases[] = {
      {"nothing answers", "C3D5", "", u"A:\\"},
      {"fixed only", "C3", "C", u"C:\\"},
      {"removable wins", "C3E2", "CE", u"E:\\"},
      {"remote before fixed", "C3Z4", "CZ", u"Z:\\"},
      {"first of a tie", "C3D3", "CD", u"C:\\"},
      {"cd before unknown", "D5E0", "DE", u"D:\\"},
      {"unknown before no root", "D1E0", "DE", u"E:\\"},
      {"absent drives skipped", "C3", "CE", u"C:\\"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    uint32_t mask = 0;
    std::fill(std::begin(g_drive_types), std::end(g_drive_types), 0xFFu);
    std::string drives = c.drives;
    for (size_t i = 0; i + 1 < drives.size(); i += 2) {
      const int index = drives[i] - 'A';
      mask |= 1u << index;
      if (std::string(c.answering).find(drives[i]) != std::string::npos)
        g_drive_types[index] = static_cast<unsigned>(drives[i + 1] - '0');
    }
    EXPECT_EQ(
        c.expected,
        internal::ComputeDefaultStandaloneFolder(mask, &FakeProbe).value());
  }
}

}  // namespace
}  // namespace installer
