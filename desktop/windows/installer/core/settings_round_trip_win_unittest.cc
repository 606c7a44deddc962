// The settings a front end chose reach the backend only as switches: a
// child process builds Settings from a real command line and writes the
// backend's command line; a second child started with exactly that line
// must arrive at the same settings.

#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "base/test/scoped_temp_dir.h"
#include "base/values.h"
#include "base/win/scoped_com_initializer.h"
#include "desktop/windows/installer/service/install_log.h"
#include "desktop/windows/installer/test/installation_test_util.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using Environment = std::vector<std::pair<std::u16string, std::u16string>>;

base::FilePath ProbeBesideTests() {
  return base::FilePath(base::GetTestExecutableFolder() +
                        u"installer_settings_probe.exe");
}

// Runs |probe| with the switches |arguments| and returns what it printed.
std::unique_ptr<base::DictionaryValue> RunProbe(
    const base::FilePath& probe, const std::u16string& arguments,
    const Environment& environment = {}) {
  std::string output;
  DWORD exit_code = 0;
  EXPECT_TRUE(base::RunChildProcess(u"\"" + probe.value() + u"\" " + arguments,
                                    environment, &output, &exit_code));
  EXPECT_EQ(0u, exit_code) << output;
  std::unique_ptr<base::Value> value = base::JSONReader::Read(output);
  base::DictionaryValue* dictionary = nullptr;
  if (!value || !value->GetAsDictionary(&dictionary)) {
    ADD_FAILURE() << "not a settings description: " << output;
    return std::make_unique<base::DictionaryValue>();
  }
  value.release();
  return std::unique_ptr<base::DictionaryValue>(dictionary);
}

std::string Describe(const base::Value& value) {
  std::string json;
  base::JSONWriter::WriteWithOptions(
      value, base::JSONWriter::OPTIONS_PRETTY_PRINT, &json);
  return json;
}

std::u16string String(const base::DictionaryValue& settings, const char* key) {
  std::u16string value;
  EXPECT_TRUE(settings.GetString(key, &value)) << key;
  return value;
}

bool Bool(const base::DictionaryValue& settings, const char* key) {
  bool value = false;
  EXPECT_TRUE(settings.GetBoolean(key, &value)) << key;
  return value;
}

int Operation(const base::DictionaryValue& settings) {
  int value = -1;
  EXPECT_TRUE(settings.GetInteger("operation", &value));
  return value;
}

// The front end's settings from |arguments|, then the backend's from the
// line they wrote: both must be equal, the backend's own line included.
std::unique_ptr<base::DictionaryValue> RoundTrip(
    const base::FilePath& probe, const std::u16string& arguments) {
  std::unique_ptr<base::DictionaryValue> front_end = RunProbe(probe, arguments);
  const std::u16string backend_line = String(*front_end, "backend_arguments");
  std::unique_ptr<base::DictionaryValue> backend =
      RunProbe(probe, backend_line);
  EXPECT_TRUE(front_end->Equals(backend.get()))
      << "front end: " << Describe(*front_end)
      << "\nbackend: " << Describe(*backend);
  return front_end;
}

std::u16string Quoted(const std::u16string& name, const std::u16string& value) {
  base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
  command_line.AppendSwitchNative(base::UTF16ToASCII(name), value);
  return command_line.GetArgumentsString();
}

class SettingsRoundTripTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.CreateUniqueTempDir()); }
  const base::FilePath& dir() const { return dir_.GetPath(); }

  base::win::ScopedComInitializer com_;
  base::ScopedTempDir dir_;
};

TEST_F(SettingsRoundTripTest, FreshInstallIntoUnusualFolders) {
  const std::u16string folders[] = {
      dir().Append(u"with spaces\\Velna beta").value(),
      dir().Append(u"trailing separator").value() + u"\\",
      dir().Append(u"\u30D6\u30E9\u30A6\u30B6 \u6D4F\u89C8\u5668").value(),
      // A character outside the basic plane: a surrogate pair.
      dir().Append(u"clef \U0001D11E").value(),
  };
  for (const std::u16string& folder : folders) {
    SCOPED_TRACE(base::UTF16ToUTF8(folder));
    std::unique_ptr<base::DictionaryValue> settings = RoundTrip(
        ProbeBesideTests(),
        Quoted(u"installfolder", folder) +
            u" --enable-stats=0 --enable-installer-stats=1 --allusers=0 "
            u"--with-feature:installer-experiment-test=on --launchbrowser=0");
    EXPECT_EQ(1, Operation(*settings));
    // Without the trailing separator, on both sides.
    EXPECT_EQ(base::FilePath(folder).StripTrailingSeparators().value(),
              String(*settings, "install_folder"));
    EXPECT_FALSE(Bool(*settings, "enable_velna_stats"));
    EXPECT_TRUE(Bool(*settings, "enable_installer_stats"));
    EXPECT_FALSE(Bool(*settings, "all_users"));
    EXPECT_FALSE(Bool(*settings, "launch_velna"));
    EXPECT_NE(std::u16string::npos,
              String(*settings, "backend_arguments")
                  .find(u"--with-feature:installer-experiment-test=on"));
  }
}

TEST_F(SettingsRoundTripTest, UpgradeOfAnInstallation) {
  const base::FilePath folder = dir().Append(u"Velna beta");
  InstallLog log = test::MakeInstallLog(folder, false);
  log.hkcu_keys.push_back({1, "Software\\Velna", {}});
  ASSERT_TRUE(test::WriteInstallationLog(folder, log, false));
  ASSERT_TRUE(test::WriteTextFile(
      folder.Append(u"installer_prefs.json"),
      R"({"single_profile": true, "enable_stats": false})"));
  std::unique_ptr<base::DictionaryValue> settings =
      RoundTrip(ProbeBesideTests(), Quoted(u"installfolder", folder.value()));
  EXPECT_EQ(2, Operation(*settings));
  EXPECT_TRUE(Bool(*settings, "existing_installation"));
  EXPECT_TRUE(Bool(*settings, "single_profile"));
  EXPECT_FALSE(Bool(*settings, "all_users"));
  EXPECT_FALSE(Bool(*settings, "enable_velna_stats"));
}

TEST_F(SettingsRoundTripTest, StandAloneReplacementOfTheFormerEngine) {
  const base::FilePath folder = dir().Append(u"USB stick");
  InstallLog log = test::MakeInstallLog(folder, false);
  log.copy_only = true;
  ASSERT_TRUE(test::WriteInstallationLog(folder, log, true));
  std::unique_ptr<base::DictionaryValue> settings =
      RoundTrip(ProbeBesideTests(), Quoted(u"installfolder", folder.value()) +
                                        u" --replacetamselinstallation");
  // An upgrade on both sides.
  EXPECT_EQ(2, Operation(*settings));
  EXPECT_TRUE(Bool(*settings, "tamsel_installation"));
  EXPECT_TRUE(Bool(*settings, "existing_installation"));
  EXPECT_TRUE(Bool(*settings, "copy_only"));
  EXPECT_TRUE(Bool(*settings, "replace_tamsel"));
}

TEST_F(SettingsRoundTripTest, UninstallDeletingTheProfile) {
  // The uninstaller runs from the installation's folder.
  const base::FilePath folder = dir().Append(u"Velna beta");
  InstallLog log = test::MakeInstallLog(folder, false);
  log.hkcu_keys.push_back({1, "Software\\Velna", {}});
  ASSERT_TRUE(test::WriteInstallationLog(folder, log, false));
  ASSERT_TRUE(test::WriteTextFile(folder.Append(u"velna.exe"), "MZ"));
  const base::FilePath probe = folder.Append(u"installer.exe");
  ASSERT_TRUE(base::CopyOneFile(ProbeBesideTests(), probe));
  std::unique_ptr<base::DictionaryValue> settings =
      RoundTrip(probe, u"--uninstall --deleteuserprofile=1");
  EXPECT_EQ(3, Operation(*settings));
  EXPECT_TRUE(Bool(*settings, "delete_profile"));
  EXPECT_EQ(folder.value(), String(*settings, "install_folder"));
  EXPECT_EQ(u"--backend --uninstall --deleteuserprofile=1",
            String(*settings, "backend_arguments"));
}

TEST_F(SettingsRoundTripTest, ProfileFolderWithQuotesPercentsAndEquals) {
  const std::u16string profile =
      u"C:\\pro=file %TEMP%\\\"quoted\" \\\\server\\a=b\\";
  std::unique_ptr<base::DictionaryValue> settings =
      RoundTrip(ProbeBesideTests(),
                Quoted(u"installfolder", dir().Append(u"new").value()) + u" " +
                    Quoted(u"profile-folder", profile));
  EXPECT_EQ(1, Operation(*settings));
  EXPECT_EQ(profile, String(*settings, "profile_folder"));
}

// The command line trims white space from the ends of every argument: a
// folder ending in such a character would reach the backend as another
// folder, so it is refused where the user types it.
TEST_F(SettingsRoundTripTest, FolderEndingInTrimmedWhiteSpaceIsRefused) {
  for (const char16_t* name : {u"Velna\u3000", u"Velna\u00A0"}) {
    const base::FilePath folder = dir().Append(name);
    std::unique_ptr<base::DictionaryValue> settings =
        RunProbe(ProbeBesideTests(),
                 Quoted(u"installfolder", dir().Append(u"new").value()),
                 {{u"VELNA_TEST_PROBE_FOLDER", folder.value()}});
    EXPECT_EQ(folder.value(), String(*settings, "install_folder"));
    EXPECT_FALSE(Bool(*settings, "valid_install_path"));
    EXPECT_EQ(0, Operation(*settings));
    EXPECT_EQ(u"--backend", String(*settings, "backend_arguments"));
    EXPECT_FALSE(base::PathExists(folder));
  }
}

}  // namespace
}  // namespace installer
