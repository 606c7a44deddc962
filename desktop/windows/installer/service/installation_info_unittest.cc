#include "desktop/windows/installer/service/installation_info.h"

#include <objbase.h>
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "base/at_exit.h"
#include "base/base_paths.h"
#include "base/base_paths_win.h"
#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "base/test/scoped_temp_dir.h"
#include "desktop/windows/installer/service/test/integration_child.h"
#include "desktop/windows/installer/service/test/machine_state_snapshot.h"
#include "desktop/windows/installer/service/test/scoped_branding_value.h"
#include "desktop/windows/installer/service/utils.h"
#include "desktop/windows/installer/service/xml_document_win.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::WriteFileContents;

class InstallationInfoTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    folder_ = temp_.GetPath();
    ASSERT_TRUE(GetCurrentUserName(&user_name_));
  }
  void TearDown() override { CoUninitialize(); }

  void WritePrefs(const std::string& json) {
    ASSERT_TRUE(
        WriteFileContents(folder_.Append(kInstallerPrefsFileName), json));
  }
  void WriteStatus(const InstallLog& log) {
    XmlDocument document;
    ASSERT_TRUE(
        WriteInstallLog(&document, log, folder_.Append(kInstallLogFileName)));
  }

  base::ScopedTempDir temp_;
  base::FilePath folder_;
  std::u16string user_name_;
};

TEST_F(InstallationInfoTest, WithoutStatusFileTheDefaultsHold) {
  InstallationInfo info(folder_);
  EXPECT_FALSE(info.IsCopyOnly());
  EXPECT_TRUE(info.GetInstallationStatus().all_users);
  EXPECT_FALSE(info.IsSingleProfile());
  EXPECT_EQ(u"Velna beta", info.registered_application_name());
  EXPECT_EQ(folder_, info.install_folder());
}

TEST_F(InstallationInfoTest, ReadsTheStatusOnceAndOnlyWhenNotGiven) {
  InstallLog written;
  written.copy_only = true;
  written.all_users = false;
  written.app_id = "app-1";
  written.files = {u"a.dll"};
  WriteStatus(written);

  InstallationInfo info(folder_);
  EXPECT_TRUE(info.IsCopyOnly());
  EXPECT_EQ("app-1", info.GetInstallationStatus().app_id);
  EXPECT_EQ(std::vector<std::u16string>{u"a.dll"},
            info.GetInstallationStatus().files);
  // A later change of the file is not seen by the same object.
  written.copy_only = false;
  WriteStatus(written);
  EXPECT_TRUE(info.IsCopyOnly());
  EXPECT_FALSE(InstallationInfo(folder_).IsCopyOnly());

  // A status handed over is never replaced by the file's.
  InstallLog given;
  given.copy_only = true;
  given.app_id = "given";
  InstallationInfo with_status(folder_, given);
  EXPECT_TRUE(with_status.IsCopyOnly());
  EXPECT_EQ("given", with_status.GetInstallationStatus().app_id);
}

TEST_F(InstallationInfoTest, BrokenStatusFileKeepsWhatWasReadBeforeTheFault) {
  ASSERT_TRUE(WriteFileContents(
      folder_.Append(kInstallLogFileName),
      "<install_log version=\"1\" copy_only=\"True\" all_users=\"False\" "
      "pinned=\"False\" app_id=\"x\"><bogus/></install_log>"));
  InstallationInfo info(folder_);
  EXPECT_TRUE(info.IsCopyOnly());
  ASSERT_TRUE(WriteFileContents(folder_.Append(kInstallLogFileName), "<not"));
  EXPECT_FALSE(InstallationInfo(folder_).IsCopyOnly());
}

TEST_F(InstallationInfoTest, SingleProfileNeedsABoolean) {
  const struct {
    const char* prefs;
    bool single_profile;
  } kCases[] = {
      {"{\"single_profile\": true}", true},
      {"{\"single_profile\": false}", false},
      {"{\"single_profile\": \"true\"}", false},
      {"{\"single_profile\": 1}", false},
      {"{\"single_profile\": true", false},  // does not parse
  };
  for (const auto& test_case : kCases) {
    SCOPED_TRACE(test_case.prefs);
    WritePrefs(test_case.prefs);
    InstallationInfo info(folder_);
    EXPECT_EQ(test_case.single_profile, info.IsSingleProfile());
    base::FilePath path(u"untouched");
    EXPECT_EQ(test_case.single_profile, info.GetSingleProfileFolder(&path));
    EXPECT_EQ(test_case.single_profile ? folder_.Append(u"profile")
                                       : base::FilePath(u"untouched"),
              path);
    if (test_case.single_profile) {
      for (bool parent : {false, true}) {
        ASSERT_TRUE(info.GetUserDataPath(&path, parent));
        EXPECT_EQ(folder_.Append(u"profile").Append(u"data"), path);
      }
    }
  }
}

TEST_F(InstallationInfoTest, UnparsablePrefsStayOnDisk) {
  const std::string kBroken = "{\"profile_path\": \"D:\\\\x\"";
  WritePrefs(kBroken);
  InstallationInfo info(folder_);
  EXPECT_TRUE(info.profile_path_template().empty());
  EXPECT_EQ(kBroken,
            test::ReadFileContents(folder_.Append(kInstallerPrefsFileName)));
  EXPECT_FALSE(base::PathExists(folder_.Append(u"installer_prefs.bad")));
}

TEST_F(InstallationInfoTest, ProfilePathTemplates) {
  const std::u16string user = user_name_;
  const struct {
    std::string json_template;
    std::u16string path;
    std::u16string parent;
  } kCases[] = {
      {"D:\\\\profiles\\\\<USERNAME>", u"D:\\profiles\\" + user,
       u"D:\\profiles"},
      {"D:/profiles/<USERNAME>", u"D:/profiles/" + user, u"D:/profiles"},
      {"D:\\\\profiles\\\\<USERNAME>\\\\", u"D:\\profiles\\" + user + u"\\",
       u"D:\\profiles"},
      {"D:\\\\profiles\\\\<USERNAME>\\\\data",
       u"D:\\profiles\\" + user + u"\\data",
       u"D:\\profiles\\" + user + u"\\data"},
      // Only the first placeholder is replaced.
      {"D:\\\\<USERNAME>\\\\<USERNAME>", u"D:\\" + user + u"\\<USERNAME>",
       u"D:\\" + user + u"\\<USERNAME>"},
      {"E:\\\\fixed", u"E:\\fixed", u"E:\\fixed"},
      {"E:\\\\cut\\u0000\\\\rest", u"E:\\cut", u"E:\\cut"},
  };
  for (const auto& test_case : kCases) {
    SCOPED_TRACE(test_case.json_template);
    WritePrefs("{\"profile_path\": \"" + test_case.json_template + "\"}");
    InstallationInfo info(folder_);
    base::FilePath path;
    ASSERT_TRUE(info.GetProfilePath(&path));
    EXPECT_EQ(test_case.path, path.value());
    ASSERT_TRUE(info.GetUserDataPath(&path, false));
    EXPECT_EQ(test_case.path, path.value());
    ASSERT_TRUE(info.GetUserDataPath(&path, true));
    EXPECT_EQ(test_case.parent, path.value());
  }
}

TEST_F(InstallationInfoTest, DefaultProfileComesFromTheBranding) {
  base::FilePath roaming;
  ASSERT_TRUE(base::PathService::Get(base::DIR_ROAMING_APP_DATA, &roaming));
  InstallationInfo info(folder_);
  base::FilePath path;
  ASSERT_TRUE(info.GetProfilePath(&path));
  EXPECT_EQ(roaming.Append(u"Velna Software").Append(u"Velna Beta"), path);
  ASSERT_TRUE(info.GetUserDataPath(&path, true));
  EXPECT_EQ(roaming.Append(u"Velna Software").Append(u"Velna Beta"), path);

  {
    test::ScopedBrandingValue other("default_profile_path_template",
                                    "Other/{InternalStream}-{InternalStream}");
    ASSERT_TRUE(info.GetProfilePath(&path));
    EXPECT_EQ(roaming.Append(u"Other").Append(u"Beta-Beta"), path);
  }
  {
    // An empty template must not name the roaming folder itself.
    test::ScopedBrandingValue empty("default_profile_path_template", "");
    path = base::FilePath(u"untouched");
    EXPECT_FALSE(info.GetProfilePath(&path));
    EXPECT_FALSE(info.GetUserDataPath(&path, false));
    EXPECT_FALSE(info.GetUserDataPath(&path, true));
    EXPECT_EQ(u"untouched", path.value());
  }
}

TEST_F(InstallationInfoTest, NoInstallFolderNoUserData) {
  InstallationInfo info{base::FilePath()};
  base::FilePath path(u"untouched");
  EXPECT_FALSE(info.GetUserDataPath(&path, false));
  EXPECT_EQ(u"untouched", path.value());
}

TEST_F(InstallationInfoTest, RebasesOnlyTheDefaultProfileUnderRoaming) {
  base::FilePath roaming;
  base::FilePath local;
  ASSERT_TRUE(base::PathService::Get(base::DIR_ROAMING_APP_DATA, &roaming));
  ASSERT_TRUE(base::PathService::Get(base::DIR_LOCAL_APP_DATA, &local));
  const base::FilePath inside = roaming.Append(u"Velna Software").Append(u"x");
  const base::FilePath outside(u"D:\\elsewhere\\x");

  InstallationInfo info(folder_);
  base::FilePath out;
  RebaseRoamingToLocalAppData(info, inside, &out);
  EXPECT_EQ(local.Append(u"Velna Software").Append(u"x"), out);
  RebaseRoamingToLocalAppData(info, outside, &out);
  EXPECT_EQ(outside, out);
  RebaseRoamingToLocalAppData(info, roaming, &out);
  EXPECT_EQ(roaming, out);

  WritePrefs("{\"profile_path\": \"D:\\\\p\"}");
  InstallationInfo with_template(folder_);
  RebaseRoamingToLocalAppData(with_template, inside, &out);
  EXPECT_EQ(inside, out);
}

TEST(InstallationInfoInstanceTest, OneInstanceForAllThreadsUntilExit) {
  InstallationInfo* first = nullptr;
  {
    base::AtExitManager at_exit;
    std::vector<InstallationInfo*> seen(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
      threads.emplace_back([&seen, i] { seen[i] = InstallationInfo::Get(); });
    for (std::thread& thread : threads) thread.join();
    first = InstallationInfo::GetInstance();
    ASSERT_TRUE(first);
    for (InstallationInfo* info : seen) EXPECT_EQ(first, info);
    base::FilePath exe_folder;
    ASSERT_TRUE(base::PathService::Get(base::DIR_EXE, &exe_folder));
    EXPECT_EQ(exe_folder, first->install_folder());
  }
  // The at-exit manager deleted it; the next call builds a new one.
  base::AtExitManager at_exit;
  InstallationInfo* second = InstallationInfo::GetInstance();
  ASSERT_TRUE(second);
  EXPECT_EQ(second, InstallationInfo::GetInstance());
}

// The running installation's folder as the child sees it from |exe|.
std::u16string InstallFolderSeenFrom(const base::FilePath& exe) {
  std::string output;
  DWORD exit_code = 1;
  const std::u16string command =
      u"\"" + exe.value() + u"\" --" +
      base::ASCIIToUTF16(test::kChildPrintInstallFolder);
  if (!base::RunChildProcess(command, {}, &output, &exit_code) ||
      exit_code != 0) {
    return u"(child failed)";
  }
  return base::UTF8ToUTF16(output);
}

TEST(InstallationInfoInstanceTest, LauncherInTheParentMakesItTheFolder) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath root = temp.GetPath();
  const base::FilePath version = root.Append(u"1.2.3");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(version));
  const base::FilePath exe = version.Append(u"installer.exe");
  ASSERT_TRUE(base::CopyOneFile(test::GetIntegrationChildPath(), exe));

  // Neither holds the launcher.
  EXPECT_EQ(version.value(), InstallFolderSeenFrom(exe));
  // Only the parent does.
  ASSERT_TRUE(WriteFileContents(root.Append(kLauncherFileName), "x"));
  EXPECT_EQ(root.value(), InstallFolderSeenFrom(exe));
  // Both do.
  ASSERT_TRUE(WriteFileContents(version.Append(u"Launcher.exe"), "x"));
  EXPECT_EQ(version.value(), InstallFolderSeenFrom(exe));
  // Only the executable's own folder does.
  ASSERT_TRUE(
      base::DeleteFileOrDirectory(root.Append(kLauncherFileName), false));
  EXPECT_EQ(version.value(), InstallFolderSeenFrom(exe));
  ASSERT_TRUE(
      base::DeleteFileOrDirectory(version.Append(u"Launcher.exe"), false));
  // The parent holds the launcher only as an update cut between the two
  // renames of its replacement left it; a name merely like that does not
  // count.
  ASSERT_TRUE(WriteFileContents(root.Append(u"launcher.exe.old"), "x"));
  ASSERT_TRUE(WriteFileContents(root.Append(u"launcher.exe.12.old.txt"), "x"));
  EXPECT_EQ(version.value(), InstallFolderSeenFrom(exe));
  ASSERT_TRUE(
      WriteFileContents(root.Append(u"launcher.exe.1700000000.old"), "x"));
  EXPECT_EQ(root.value(), InstallFolderSeenFrom(exe));
}

}  // namespace
}  // namespace installer
