#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/base_paths_win.h"
#include "base/files/file_attributes_win.h"
#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_temp_dir.h"
#include "base/win/registry.h"
#include "base/win/scoped_com_initializer.h"
#include "desktop/windows/installer/common/installer_experiments.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/core/folder_permission_win.h"
#include "desktop/windows/installer/core/status.h"
#include "desktop/windows/installer/service/install_log.h"
#include "desktop/windows/installer/service/xml_document_win.h"
#include "desktop/windows/installer/test/installation_test_util.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

class StatusTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.CreateUniqueTempDir()); }

  const base::FilePath& dir() const { return dir_.GetPath(); }

  base::win::ScopedComInitializer com_;
  base::ScopedTempDir dir_;
};

// A log of an installation for the current user with a trace in HKCU.
InstallLog CurrentUserLog() {
  InstallLog log =
      test::MakeInstallLog(base::FilePath(u"C:\\somewhere"), false);
  log.hkcu_keys.push_back({1, "Software\\Velna", {}});
  return log;
}

TEST_F(StatusTest, UnusablePathsAreNotInspected) {
  ASSERT_TRUE(test::WriteTextFile(dir().Append(u"file"), "x"));
  const struct {
    const char* name;
    std::u16string path;
  } cases[] = {
      {"empty", u""},
      {"relative", u"relative\\folder"},
      {"a file", dir().Append(u"file").value()},
      {"a bad character", dir().Append(u"a|b").value()},
      {"a reserved name", dir().Append(u"CON").value()},
      {"below a file", dir().Append(u"file").Append(u"sub").value()},
      {"a missing drive", u"Q:\\missing\\folder"},
      // The command line would trim these, so the backend would install
      // elsewhere: an ideographic space, a no-break space.
      {"U+3000 at the end", dir().Append(u"Velna\u3000").value()},
      {"U+00A0 at the end", dir().Append(u"Velna\u00A0").value()},
      {"U+3000 before a separator", dir().Append(u"Velna\u3000\\").value()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Status status(false);
    status.Init(base::FilePath(c.path));
    EXPECT_EQ(c.path, status.install_folder.value());
    EXPECT_FALSE(status.valid_install_path);
    EXPECT_FALSE(status.existing_installation);
    EXPECT_FALSE(status.has_write_access);
  }
  // Inside a name such characters are harmless.
  Status status(false);
  status.Init(dir().Append(u"Velna\u3000Browser"));
  EXPECT_TRUE(status.valid_install_path);
}

TEST_F(StatusTest, ANewFolderTakesItsNearestExistingAncestor) {
  const struct {
    const char* name;
    base::FilePath path;
    base::FilePath parent;
  } cases[] = {
      {"existing", dir(), dir()},
      {"one level new", dir().Append(u"new"), dir()},
      {"two levels new", dir().Append(u"new").Append(u"newer"), dir()},
      {"trailing separator", dir().Append(u"new\\"), dir()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Status status(false);
    status.Init(c.path);
    EXPECT_TRUE(status.valid_install_path);
    EXPECT_EQ(c.parent, status.valid_parent_folder);
    EXPECT_FALSE(status.existing_installation);
    EXPECT_TRUE(status.has_write_access);
    EXPECT_FALSE(base::PathExists(dir().Append(u"new")));
  }
}

// What the inspection asked of the access check, and what it answers.
std::u16string g_checked_folder;
uint32_t g_checked_access = 0;
bool g_access_granted = false;

bool RecordingAccessCheck(const std::u16string& folder, uint32_t access) {
  g_checked_folder = folder;
  g_checked_access = access;
  return g_access_granted;
}

// The test system grants a file's owner every right whatever the token
// says, so the check's answer is injected here.
TEST_F(StatusTest, WriteAccessIsAskedOfTheNearestExistingFolder) {
  internal::SetFolderAccessCheckForTesting(&RecordingAccessCheck);
  const struct {
    const char* name;
    base::FilePath path;
    uint32_t access;
  } cases[] = {
      // The folder itself: read, write and execute.
      {"existing", dir(),
       FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE},
      // An ancestor: the right to make a folder in it.
      {"new", dir().Append(u"a\\b"), FILE_ADD_SUBDIRECTORY},
  };
  for (const auto& c : cases) {
    for (bool granted : {false, true}) {
      SCOPED_TRACE(c.name);
      g_access_granted = granted;
      g_checked_folder.clear();
      Status status(false);
      status.Init(c.path);
      EXPECT_TRUE(status.valid_install_path);
      EXPECT_EQ(granted, status.has_write_access);
      EXPECT_EQ(dir().value(), g_checked_folder);
      EXPECT_EQ(c.access, g_checked_access);
    }
  }
  internal::SetFolderAccessCheckForTesting(nullptr);
}

TEST_F(StatusTest, FormerEngineInstallationCountsOnlyWhenReplaced) {
  InstallLog log = CurrentUserLog();
  ASSERT_TRUE(test::WriteInstallationLog(dir(), log, true));
  for (bool replace : {false, true}) {
    Status status(replace);
    status.Init(dir());
    EXPECT_TRUE(status.valid_install_path);
    EXPECT_TRUE(status.tamsel_installation);
    EXPECT_EQ(replace, status.existing_installation);
    EXPECT_FALSE(status.existing_installation_traces);
  }
}

TEST_F(StatusTest, ALauncherWithoutLogIsATrace) {
  ASSERT_TRUE(test::WriteTextFile(dir().Append(u"launcher.exe"), "MZ"));
  Status status(false);
  status.Init(dir());
  EXPECT_TRUE(status.existing_installation_traces);
  EXPECT_FALSE(status.existing_installation);
  EXPECT_FALSE(status.tamsel_installation);
}

// A status file that does not read, or names a version folder without its
// installer, is the record of an installation that did not finish: the
// first is stood in for by the newest kept record of a version with an
// installer (a finished one first), and without one there is no
// installation.
TEST_F(StatusTest, AnUnusableStatusFileIsAnUnfinishedInstallation) {
  const base::FilePath old_status = dir().Append(u"old_status");
  auto kept = [&](const char16_t* name, const char16_t* subfolder,
                  bool complete) {
    InstallLog log = CurrentUserLog();
    log.subfolder = subfolder;
    log.complete = complete;
    XmlDocument document;
    EXPECT_TRUE(base::FileUtil::CreateDirectory(old_status));
    EXPECT_TRUE(WriteInstallLog(&document, log, old_status.Append(name)));
  };
  for (const char16_t* version : {u"40", u"41", u"42"}) {
    ASSERT_TRUE(test::WriteTextFile(
        dir().Append(version).Append(kPackageInstallerName), "MZ"));
  }
  // Older, newest but unfinished, newer without its installer, and names
  // that are none of a kept record.
  kept(u"installation_status.xml.1700000000", u"40", true);
  kept(u"installation_status.xml.1700000001", u"41", true);
  kept(u"installation_status.xml.1700000009", u"42", false);
  kept(u"installation_status.xml.1700000005", u"43", true);
  kept(u"installation_status.xml.1800000000.1800000001.old", u"40", true);
  kept(u"installation_status.xml.x", u"40", true);

  const struct {
    const char* name;
    std::string status_file;  // empty: a readable one naming |subfolder|
    const char16_t* subfolder;
    bool existing;
    const char16_t* read_subfolder;
    bool complete;
  } cases[] = {
      {"readable", "", u"41", true, u"41", true},
      {"no installer in its folder", "", u"43", true, u"43", false},
      {"truncated", "<install_log version=\"41", nullptr, true, u"41", false},
      {"not XML", "\xff\xfe\x00", nullptr, true, u"41", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const base::FilePath file = dir().Append(kInstallLogFileName);
    if (c.status_file.empty()) {
      InstallLog log = CurrentUserLog();
      log.subfolder = c.subfolder;
      ASSERT_TRUE(test::WriteInstallationLog(dir(), log, false));
    } else {
      ASSERT_TRUE(test::WriteTextFile(file, c.status_file));
    }
    Status status(false);
    status.Init(dir());
    EXPECT_EQ(c.existing, status.existing_installation);
    EXPECT_EQ(c.read_subfolder, status.install_log.subfolder);
    EXPECT_EQ(c.complete, status.install_log.complete);
    EXPECT_EQ(CurrentUserLog().hkcu_keys, status.install_log.hkcu_keys);
  }

  // Without a kept record of a version with an installer.
  for (const char16_t* version : {u"40", u"41", u"42"}) {
    ASSERT_TRUE(base::DeleteFileOrDirectory(
        dir().Append(version).Append(kPackageInstallerName), false));
  }
  Status status(false);
  status.Init(dir());
  EXPECT_FALSE(status.existing_installation);
  EXPECT_EQ(u"", status.install_log.subfolder);
}

// The kept record that stands in for a status file that does not read
// takes in the product's uninstall entries of the folder (not another
// program's, nor those of another folder) and, as they name a newer version
// than it does, that version's newest folder with an installer and the
// files in it.
TEST_F(StatusTest, TheStandInTakesInTheVersionItsEntryNames) {
  InstallLog kept_log = CurrentUserLog();
  kept_log.subfolder = u"41.0.0.1";
  kept_log.version = "41.0.0.1";
  XmlDocument document;
  ASSERT_TRUE(base::FileUtil::CreateDirectory(dir().Append(u"old_status")));
  ASSERT_TRUE(WriteInstallLog(
      &document, kept_log,
      dir().Append(u"old_status\\installation_status.xml.1700000000")));
  ASSERT_TRUE(test::WriteTextFile(dir().Append(kInstallLogFileName), "<inst"));
  // "_1" is the newest install of 42; "_2" has no installer, "_x" is none.
  for (const char16_t* folder :
       {u"41.0.0.1", u"42.0.0.1", u"42.0.0.1_1", u"42.0.0.1_x"}) {
    ASSERT_TRUE(test::WriteTextFile(
        dir().Append(folder).Append(kPackageInstallerName), "MZ"));
  }
  ASSERT_TRUE(
      test::WriteTextFile(dir().Append(u"42.0.0.1_1\\res\\a.txt"), "a"));
  ASSERT_TRUE(test::WriteTextFile(dir().Append(u"42.0.0.1_2\\a.txt"), "a"));

  const std::u16string uninstall =
      u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  const std::u16string own = uninstall +
                             base::UTF8ToUTF16(VersionInfo::GetProductName()) +
                             u" 42.0.0.1";
  const struct {
    std::u16string key;
    std::u16string location;
    const char16_t* version;
  } entries[] = {
      {own, dir().value(), u"42.0.0.1"},
      {uninstall + u"Another Program 43.0.0.1", dir().value(), u"43.0.0.1"},
      {own + u"7", dir().Append(u"elsewhere").value(), u"44.0.0.1"},
  };
  for (const auto& entry : entries) {
    base::win::RegKey key(HKEY_CURRENT_USER, entry.key.c_str(),
                          KEY_SET_VALUE | KEY_CREATE_SUB_KEY);
    ASSERT_TRUE(key.Valid());
    ASSERT_EQ(ERROR_SUCCESS,
              key.WriteValue(u"InstallLocation", entry.location.c_str()));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(u"DisplayVersion", entry.version));
  }

  Status status(false);
  status.Init(dir());
  for (const auto& entry : entries) {
    RegDeleteTreeW(HKEY_CURRENT_USER, base::as_wcstr(entry.key));
  }
  EXPECT_TRUE(status.existing_installation);
  EXPECT_FALSE(status.install_log.complete);
  EXPECT_EQ(u"42.0.0.1_1", status.install_log.subfolder);
  EXPECT_EQ("42.0.0.1", status.install_log.version);
  std::vector<std::u16string> files = status.install_log.files;
  std::sort(files.begin(), files.end());
  EXPECT_EQ((std::vector<std::u16string>{u"installer.exe", u"res\\a.txt"}),
            files);
  InstallLogRegistry expected = CurrentUserLog().hkcu_keys;
  expected.push_back({1, base::UTF16ToUTF8(own), {}});
  EXPECT_EQ(expected, status.install_log.hkcu_keys);
}

// An entry may name a version that has no folder, or one without its
// installer: the stand-in goes on to the newest version whose folder holds
// one, and still takes in every entry of the folder, so that an
// uninstallation removes that version and the entries alike.
TEST_F(StatusTest, TheStandInTakesTheNewestVersionWhoseFolderHolds) {
  InstallLog kept_log = CurrentUserLog();
  kept_log.subfolder = u"41.0.2353.23";
  kept_log.version = "41.0.2353.23";
  XmlDocument document;
  ASSERT_TRUE(base::FileUtil::CreateDirectory(dir().Append(u"old_status")));
  ASSERT_TRUE(WriteInstallLog(
      &document, kept_log,
      dir().Append(u"old_status\\installation_status.xml.1700000000")));
  ASSERT_TRUE(test::WriteTextFile(dir().Append(kInstallLogFileName), "<inst"));
  for (const char16_t* folder : {u"41.0.2353.23", u"42.0.2353.23"}) {
    ASSERT_TRUE(test::WriteTextFile(
        dir().Append(folder).Append(kPackageInstallerName), "MZ"));
  }
  ASSERT_TRUE(test::WriteTextFile(dir().Append(u"42.0.2353.23\\a.txt"), "a"));
  // A folder of 98 without its installer holds nothing of it.
  ASSERT_TRUE(test::WriteTextFile(dir().Append(u"98.0.0.0\\a.txt"), "a"));

  const std::u16string own =
      u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" +
      base::UTF8ToUTF16(VersionInfo::GetProductName()) + u" ";
  const struct {
    HKEY root;
    std::u16string key;
    const char16_t* version;
  } entries[] = {
      {HKEY_CURRENT_USER, own + u"99.0.0.0", u"99.0.0.0"},
      {HKEY_CURRENT_USER, own + u"98.0.0.0", u"98.0.0.0"},
      {HKEY_LOCAL_MACHINE, own + u"42.0.2353.23", u"42.0.2353.23"},
  };
  for (const auto& entry : entries) {
    base::win::RegKey key(entry.root, entry.key.c_str(),
                          KEY_SET_VALUE | KEY_CREATE_SUB_KEY);
    ASSERT_TRUE(key.Valid());
    ASSERT_EQ(ERROR_SUCCESS,
              key.WriteValue(u"InstallLocation", dir().value().c_str()));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(u"DisplayVersion", entry.version));
  }

  Status status(false);
  status.Init(dir());
  for (const auto& entry : entries)
    RegDeleteTreeW(entry.root, base::as_wcstr(entry.key));
  EXPECT_TRUE(status.existing_installation);
  EXPECT_FALSE(status.install_log.complete);
  EXPECT_EQ(u"42.0.2353.23", status.install_log.subfolder);
  EXPECT_EQ("42.0.2353.23", status.install_log.version);
  std::vector<std::u16string> files = status.install_log.files;
  std::sort(files.begin(), files.end());
  EXPECT_EQ((std::vector<std::u16string>{u"a.txt", u"installer.exe"}), files);
  auto paths = [](const InstallLogRegistry& section) {
    std::vector<std::string> paths;
    for (const InstallLogKey& key : section) paths.push_back(key.path);
    std::sort(paths.begin(), paths.end());
    return paths;
  };
  EXPECT_EQ((std::vector<std::string>{base::UTF16ToUTF8(own + u"98.0.0.0"),
                                      base::UTF16ToUTF8(own + u"99.0.0.0"),
                                      "Software\\Velna"}),
            paths(status.install_log.hkcu_keys));
  EXPECT_EQ(
      (std::vector<std::string>{base::UTF16ToUTF8(own + u"42.0.2353.23")}),
      paths(status.install_log.hklm_keys));
  // The entry of the machine makes the uninstallation one for all users.
  EXPECT_TRUE(status.install_log.all_users);
}

// Makes the entries named "Velna Software" look like junctions.
uint32_t ShortcutFolderLooksLikeJunction(const base::FilePath& path,
                                         uint32_t attributes) {
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      path.BaseName().value() == kTemporaryShortcutFolderName) {
    return attributes | FILE_ATTRIBUTE_REPARSE_POINT;
  }
  return attributes;
}

// The elevated uninstallation deletes the shortcut folder the status names
// in the user's start menu: a junction there is none of ours.
TEST_F(StatusTest, AShortcutFolderThatIsALinkIsNotPicked) {
  const base::FilePath start_menu = dir().Append(u"start menu");
  const base::FilePath folder = start_menu.Append(kTemporaryShortcutFolderName);
  ASSERT_TRUE(base::FileUtil::CreateDirectory(folder));
  ASSERT_TRUE(base::PathService::OverrideAndCreateIfNeeded(
      base::DIR_START_MENU, start_menu, true, false));
  const base::FilePath install = dir().Append(u"install");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(install));
  ASSERT_TRUE(test::WriteInstallationLog(install, CurrentUserLog(), false));
  for (const bool link : {false, true}) {
    SCOPED_TRACE(link);
    base::internal::SetWalkAttributesHookForTesting(
        link ? &ShortcutFolderLooksLikeJunction : nullptr);
    Status status(false);
    status.Init(install);
    base::internal::SetWalkAttributesHookForTesting(nullptr);
    ASSERT_TRUE(status.existing_installation);
    EXPECT_EQ(!link, status.temporary_shortcut_folder_exists);
    EXPECT_EQ(link ? base::FilePath() : folder,
              status.temporary_shortcut_folder);
  }
  base::PathService::RemoveOverrideForTesting(base::DIR_START_MENU);
}

TEST_F(StatusTest, InstallationModeComesFromTheLog) {
  const struct {
    const char* name;
    bool copy_only;
    bool all_users;
    bool hklm;
    bool hkcu;
    bool derived_copy_only;
    bool derived_all_users;
  } cases[] = {
      // Stand-alone only without any trace on the machine.
      {"clean copy", true, false, false, false, true, false},
      {"copy with traces", true, false, false, true, false, false},
      // All users when the log says so or machine keys were written.
      {"machine keys", false, false, true, false, false, true},
      {"flag", false, true, false, false, false, true},
      {"current user", false, false, false, true, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    base::ScopedTempDir folder;
    ASSERT_TRUE(folder.CreateUniqueTempDir());
    InstallLog log = test::MakeInstallLog(folder.GetPath(), c.all_users);
    log.copy_only = c.copy_only;
    if (c.hklm) log.hklm_keys.push_back({1, "Software\\Velna", {}});
    if (c.hkcu) log.hkcu_keys.push_back({1, "Software\\Velna", {}});
    ASSERT_TRUE(test::WriteInstallationLog(folder.GetPath(), log, false));
    Status status(false);
    status.Init(folder.GetPath());
    ASSERT_TRUE(status.existing_installation);
    EXPECT_EQ(c.derived_copy_only, status.install_log.copy_only);
    EXPECT_EQ(c.derived_all_users, status.install_log.all_users);
  }
}

TEST_F(StatusTest, StoredPreferencesOfTheInstallation) {
  ASSERT_TRUE(test::WriteInstallationLog(dir(), CurrentUserLog(), false));
  ASSERT_TRUE(test::WriteTextFile(dir().Append(u"server_tracking_data"),
                                  "tracking\nbytes"));
  ASSERT_TRUE(test::WriteTextFile(
      dir().Append(u"installer_prefs.json"),
      R"({"single_profile": true, "import_browser_data": false,
          "enable_stats": "yes", "language": "nb", "welcome-url": "https://w/",
          "all-installer-experiments": ["installer-experiment-test@1",
                                        "installer-support-x64-download@2"]})"));
  Status status(false);
  status.Init(dir());
  ASSERT_TRUE(status.existing_installation);
  EXPECT_EQ(1, status.single_profile);
  EXPECT_EQ(0, status.import_browser_data);
  // Not a Boolean: not set.
  EXPECT_EQ(kNotSet, status.enable_stats);
  EXPECT_EQ(u"nb", status.language);
  EXPECT_EQ("https://w/", status.welcome_url);
  EXPECT_EQ("tracking\nbytes", status.tracking_data);
  EXPECT_TRUE(status.experiments->IsEnabled(kInstallerExperimentTest));
  EXPECT_FALSE(status.experiments->IsEnabled(kInstallerSupportX64Download));
}

TEST_F(StatusTest, MissingPreferencesLeaveTheTriStatesUnset) {
  ASSERT_TRUE(test::WriteInstallationLog(dir(), CurrentUserLog(), false));
  ASSERT_TRUE(test::WriteTextFile(dir().Append(u"installer_prefs.json"), "{}"));
  Status status(false);
  status.Init(dir());
  ASSERT_TRUE(status.existing_installation);
  EXPECT_EQ(kNotSet, status.single_profile);
  EXPECT_EQ(kNotSet, status.import_browser_data);
  EXPECT_EQ(kNotSet, status.enable_stats);
  EXPECT_EQ(kNotSet, status.old_product_type);
  EXPECT_TRUE(status.language.empty());
}

// Inspecting a folder never changes it: files that do not parse stay where
// they are, and read as missing.
TEST_F(StatusTest, UnreadablePreferencesAreLeftAlone) {
  ASSERT_TRUE(test::WriteInstallationLog(dir(), CurrentUserLog(), false));
  const base::FilePath prefs = dir().Append(u"installer_prefs.json");
  ASSERT_TRUE(test::WriteTextFile(prefs, "{\"single_profile\": tru"));
  Status status(false);
  status.Init(dir());
  ASSERT_TRUE(status.existing_installation);
  EXPECT_EQ(kNotSet, status.single_profile);
  std::string contents;
  EXPECT_TRUE(base::FileUtil::ReadFileToString(prefs, &contents));
  EXPECT_EQ("{\"single_profile\": tru", contents);
  EXPECT_FALSE(base::PathExists(dir().Append(u"installer_prefs.bad")));

  // The same for the profile's "Local State".
  ASSERT_TRUE(test::WriteTextFile(
      prefs, R"({"single_profile": true, "language": "nb"})"));
  const base::FilePath local_state =
      dir().Append(u"profile\\data\\Local State");
  ASSERT_TRUE(test::WriteTextFile(local_state, "not json"));
  Status second(false);
  second.Init(dir());
  EXPECT_EQ(u"nb", second.language);
  EXPECT_TRUE(base::FileUtil::ReadFileToString(local_state, &contents));
  EXPECT_EQ("not json", contents);
  EXPECT_FALSE(base::PathExists(local_state.ReplaceExtension(u"bad")));
}

TEST_F(StatusTest, SingleProfileLanguageComesFromLocalState) {
  ASSERT_TRUE(test::WriteInstallationLog(dir(), CurrentUserLog(), false));
  ASSERT_TRUE(test::WriteTextFile(dir().Append(u"installer_prefs.json"),
                                  R"({"single_profile": true,
                                      "language": "nb"})"));
  ASSERT_TRUE(test::WriteTextFile(dir().Append(u"profile\\data\\Local State"),
                                  R"({"intl": {"app_locale": "pt-BR"}})"));
  Status status(false);
  status.Init(dir());
  EXPECT_EQ(dir().Append(u"profile\\data"), status.profile_path);
  // The profile's language wins over the installer's.
  EXPECT_EQ(u"pt-BR", status.language);
}

TEST_F(StatusTest, FormerEnginePreferences) {
  InstallLog log = CurrentUserLog();
  ASSERT_TRUE(test::WriteInstallationLog(dir(), log, true));
  const struct {
    const char* name;
    std::string ini;
    int product_type;
    int single_profile;
    std::u16string language;
  } cases[] = {
      {"all set",
       "[System]\r\nVelna Product=2\r\nMulti User=0\r\n[User Prefs]\r\n"
       "Language Files Directory=C:\\old\\locale\\sv\\\r\n",
       2, 1, u"sv"},
      {"multi user", "[System]\r\nVelna Product=1\r\nMulti User=1\r\n", 1, 0,
       u""},
      {"unknown product", "[System]\r\nVelna Product=7\r\n", 0, kNotSet, u""},
      {"empty", "", 0, kNotSet, u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(
        test::WriteTextFile(dir().Append(u"velnaprefs_default.ini"), c.ini));
    Status status(true);
    status.Init(dir());
    ASSERT_TRUE(status.tamsel_installation);
    EXPECT_EQ(c.product_type, status.old_product_type);
    EXPECT_EQ(c.single_profile, status.single_profile);
    EXPECT_EQ(c.language, status.language);
  }
}

}  // namespace
}  // namespace installer
