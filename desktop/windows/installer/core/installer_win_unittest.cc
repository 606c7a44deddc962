#include <windows.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/base_paths.h"
#include "base/base_paths_win.h"
#include "base/bind.h"
#include "base/command_line.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/run_loop.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "base/test/run_loop_for.h"
#include "base/test/scoped_temp_dir.h"
#include "base/test/scoped_unix_link_win.h"
#include "base/win/object_watcher.h"
#include "base/win/registry.h"
#include "base/win/scoped_com_initializer.h"
#include "base/win/scoped_handle.h"
#include "base/win/shortcut.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/core/installer.h"
#include "desktop/windows/installer/core/installer_rights_win.h"
#include "desktop/windows/installer/core/protected_folder_win.h"
#include "desktop/windows/installer/core/status.h"
#include "desktop/windows/installer/core/uninstall_batch.h"
#include "desktop/windows/installer/core/uninstall_batch_win.h"
#include "desktop/windows/installer/service/access_control.h"
#include "desktop/windows/installer/service/folder_security_win.h"
#include "desktop/windows/installer/service/install_log.h"
#include "desktop/windows/installer/service/installation_info.h"
#include "desktop/windows/installer/service/installer_prefs_store.h"
#include "desktop/windows/installer/service/name_utils.h"
#include "desktop/windows/installer/service/registry_entry_tables_win.h"
#include "desktop/windows/installer/service/test/log_capture.h"
#include "desktop/windows/installer/service/test/machine_state_snapshot.h"
#include "desktop/windows/installer/service/test/recorded_folder_security_win.h"
#include "desktop/windows/installer/service/test/registry_test_util.h"
#include "desktop/windows/installer/service/test/security_test_util.h"
#include "desktop/windows/installer/service/transactions/file_operation_helpers.h"
#include "desktop/windows/installer/test/installation_test_util.h"
#include "desktop/windows/installer/test/process_test_util_win.h"
#include "desktop/windows/installer/test/recording_installer_observer.h"
#include "desktop/windows/installer/test/settings_fixture.h"
#include "desktop/windows/installer/test/test_installer_steps.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::TestStep;

std::u16string FolderSwitch(const base::FilePath& folder) {
  return u"--installfolder=\"" + folder.value() + u"\"";
}

class InstallerTest : public test::SettingsTestBase {
 protected:
  void SetUp() override {
    SettingsTestBase::SetUp();
    package_ = dir().Append(u"package");
    install_folder_ = dir().Append(u"install");
    target_ = dir().Append(u"target");
    ASSERT_TRUE(base::PathService::OverrideAndCreateIfNeeded(
        base::DIR_EXE, package_, true, true));
    interrupted_.Set(CreateEventW(
        nullptr, TRUE, FALSE,
        base::as_wcstr(MakeKernelObjectName(
            install_folder_.value(), kInstallationInterruptedEvent, true))));
    ASSERT_TRUE(interrupted_.IsValid());
    // The test process runs elevated: its runs take the package from a
    // protected copy, made outside the test's folder, and the access lists
    // they give folders are recorded there.
    ASSERT_TRUE(protected_dir_.CreateUniqueTempDir());
    internal::SetProtectedFolderRootForTesting(protected_dir_.GetPath());
    security_record_ = protected_dir_.GetPath().Append(u"security.txt");
    security_ =
        std::make_unique<test::RecordedFolderSecurity>(security_record_);
    ASSERT_TRUE(security_->ProtectLevelsAbove(install_folder_));
    internal::SetFolderSecurityForTesting(security_.get());
  }

  void TearDown() override {
    internal::SetInstallerStepFactoryForTesting(nullptr);
    base::PathService::RemoveOverrideForTesting(base::DIR_EXE);
    internal::SetProtectedFolderRootForTesting(base::FilePath());
    internal::SetFolderSecurityForTesting(nullptr);
  }

  // A package with |files| (each also present, with other contents, in the
  // target folder) and, when |root_files| is not null, a root files list.
  void MakePackage(const std::vector<std::string>& files,
                   const std::string* root_files = nullptr) {
    std::string list;
    for (const std::string& file : files) {
      const std::u16string name = base::UTF8ToUTF16(file);
      ASSERT_TRUE(test::WriteTextFile(package_.Append(name), "new " + file));
      ASSERT_TRUE(test::WriteTextFile(target_.Append(name), "old " + file));
      list += file + "\r\n";
    }
    ASSERT_TRUE(test::WriteTextFile(package_.Append(kFilesListFileName), list));
    if (root_files) {
      ASSERT_TRUE(test::WriteTextFile(package_.Append(kRootFilesListFileName),
                                      *root_files));
    }
  }

  // Starts |installer| with the settings of |arguments| and runs the loop
  // until the run has ended (or a minute has passed). |inspected| runs
  // between the folder's inspection and the start.
  void RunToEnd(Installer* installer, const std::u16string& arguments,
                const std::function<void()>& inspected = nullptr) {
    settings_.reset();
    settings_ = MakeSettings(FolderSwitch(install_folder_) + u" " + arguments);
    if (inspected) inspected();
    installer->AddObserver(&observer_);
    base::RunLoop run_loop;
    observer_.set_on_event([&](const std::string& event) {
      if (event == "Success" || event.rfind("InstallerTerminated", 0) == 0)
        run_loop.Quit();
    });
    base::MessageLoop::current()->PostDelayedTask(
        CURRENT_LOCATION, run_loop.QuitClosure(),
        base::TimeDelta::FromSeconds(60));
    installer->Start(settings_.get());
    run_loop.Run();
    observer_.set_on_event(nullptr);
  }

  void UseSteps(std::vector<TestStep> steps) {
    factory_ = std::make_unique<test::TestStepFactory>(std::move(steps));
    internal::SetInstallerStepFactoryForTesting(factory_.get());
  }

  test::FileTreeSnapshot Files() const {
    return test::TakeFileTreeSnapshot(dir());
  }
  test::RegistrySnapshot Registry() const {
    return test::TakeRegistrySnapshot(HKEY_CURRENT_USER, company_key().path());
  }
  std::u16string ValuesKey() const { return company_key().Path(u"values"); }

  std::vector<std::u16string> SecurityHistory(
      const base::FilePath& folder) const {
    return test::RecordedFolderSecurity::History(security_record_, folder);
  }

  base::FilePath package_;
  base::FilePath install_folder_;
  base::FilePath target_;
  base::win::ScopedHandle interrupted_;
  base::ScopedTempDir protected_dir_;
  base::FilePath security_record_;
  std::unique_ptr<test::RecordedFolderSecurity> security_;
  std::unique_ptr<Settings> settings_;
  std::unique_ptr<test::TestStepFactory> factory_;
  test::RecordingInstallerObserver observer_;
};

TEST_F(InstallerTest, TestStepsSucceedAndALateInterruptChangesNothing) {
  MakePackage({"a.txt", "sub\\b.txt", "c.txt"});
  ASSERT_TRUE(test::WriteFileContents(dir().Append(u"keep"), "x"));
  UseSteps({{TestStep::kCopyListedFiles, target_.value()},
            {TestStep::kSetValue, ValuesKey(), u"set", u"data"}});
  auto installer = std::make_unique<Installer>();
  RunToEnd(installer.get(), u"");

  // 2 steps + (3 - 1) + (0 - 1) + 1; a Step per list step and per further
  // file.
  EXPECT_EQ((std::vector<std::string>{"Started", "TotalSteps(4)", "Step",
                                      "Step", "Step", "Step", "Success"}),
            observer_.events());
  EXPECT_TRUE(installer->succeeded());
  EXPECT_FALSE(installer->running());
  EXPECT_EQ(nullptr, installer->settings());
  EXPECT_EQ("new sub\\b.txt",
            test::ReadFileContents(target_.Append(u"sub\\b.txt")));
  EXPECT_EQ(std::vector<std::string>({"a.txt", "sub\\b.txt", "c.txt"}),
            installer->files_list());
  // The install log's identity, and the versioned subfolder.
  EXPECT_EQ(install_folder_.value(), installer->install_log()->path);
  EXPECT_EQ(VersionInfo::GetProductVersion(),
            installer->install_log()->version);
  EXPECT_FALSE(installer->install_log()->app_id.empty());
  EXPECT_TRUE(base::DirectoryExists(
      install_folder_.Append(installer->install_log()->subfolder)));

  // The run has committed when it reports success: the replaced files are
  // gone, and the record of the run in the install folder is complete.
  const test::FileTreeSnapshot files = Files();
  EXPECT_TRUE(test::FindEntriesEndingWith(files, ".old").empty());
  const std::string record =
      test::ReadFileContents(install_folder_.Append(kInstallLogFileName));
  EXPECT_NE(std::string::npos, record.find("<install_log version=")) << record;
  EXPECT_EQ(std::string::npos, record.find("complete=")) << record;
  const test::RegistrySnapshot registry = Registry();
  EXPECT_EQ(test::RegistryText(u"data"), registry.at("values").at("set").data);
  // A cancel after the end (the interrupt, then a direct call) must not
  // roll back what succeeded.
  SetEvent(interrupted_.Get());
  base::RunLoop run_loop;
  base::MessageLoop::current()->PostDelayedTask(
      CURRENT_LOCATION, run_loop.QuitClosure(),
      base::TimeDelta::FromMilliseconds(300));
  run_loop.Run();
  installer->Cancel();
  installer.reset();
  EXPECT_EQ(7u, observer_.events().size());
  EXPECT_EQ(files, Files());
  EXPECT_EQ(registry, Registry());
}

TEST_F(InstallerTest, AnUpdateKeepsTheAppIdAndTakesAFreeSubfolderName) {
  MakePackage({"a.txt"});
  InstallLog existing = test::MakeInstallLog(install_folder_, false);
  existing.app_id = "1234567890";
  ASSERT_TRUE(test::WriteInstallationLog(install_folder_, existing, false));
  const std::u16string version =
      base::UTF8ToUTF16(VersionInfo::GetProductVersion());
  // The version's name and the first numbered one are taken.
  ASSERT_TRUE(base::FileUtil::CreateDirectory(install_folder_.Append(version)));
  ASSERT_TRUE(
      test::WriteTextFile(install_folder_.Append(version + u"_0"), "a file"));
  UseSteps({{TestStep::kSetValue, ValuesKey(), u"set", u"data"}});
  auto installer = std::make_unique<Installer>();
  RunToEnd(installer.get(), u"");
  EXPECT_EQ(kOperationUpgrading, settings_->operation());
  EXPECT_EQ("Success", observer_.events().back());
  EXPECT_EQ("1234567890", installer->install_log()->app_id);
  EXPECT_EQ(version + u"_1", installer->install_log()->subfolder);
  EXPECT_TRUE(base::DirectoryExists(install_folder_.Append(version + u"_1")));
}

TEST_F(InstallerTest, OnTotalStepsOfTheRealLists) {
  // The count is told before the first step runs; the run is then dropped
  // (its destruction rolls back), so no step body runs here.
  const std::string one_root = "r.txt\r\n";
  const std::string empty_root;
  const struct {
    const std::string* root;
    const char* expected;
  } cases[] = {{&one_root, "TotalSteps(9)"},
               {&empty_root, "TotalSteps(8)"},
               {nullptr, "TotalSteps(8)"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    observer_.Clear();
    MakePackage({"a.txt", "b.txt"}, c.root);
    if (!c.root)
      base::DeleteFileOrDirectory(package_.Append(kRootFilesListFileName),
                                  false);
    const test::FileTreeSnapshot before = Files();
    auto installer = std::make_unique<Installer>();
    settings_.reset();
    settings_ = MakeSettings(FolderSwitch(install_folder_));
    installer->AddObserver(&observer_);
    base::RunLoop run_loop;
    observer_.set_on_event([&](const std::string& event) {
      if (event.rfind("TotalSteps", 0) == 0) run_loop.Quit();
    });
    installer->Start(settings_.get());
    run_loop.Run();
    observer_.set_on_event(nullptr);
    EXPECT_EQ(7u, installer->step_count());
    ASSERT_EQ(3u, observer_.events().size());
    EXPECT_EQ(c.expected, observer_.events()[1]);
    EXPECT_EQ("Step", observer_.events()[2]);
    installer.reset();
    EXPECT_EQ("InstallerTerminated(0)", observer_.events().back());
    EXPECT_EQ(before, Files());
  }
}

TEST_F(InstallerTest, OnTotalStepsOfAnUninstall) {
  // An installation whose browser the uninstall moves aside first.
  ASSERT_TRUE(test::WriteInstallationLog(
      install_folder_, test::MakeInstallLog(install_folder_, false), false));
  const base::FilePath browser = install_folder_.Append(u"velna.exe");
  ASSERT_TRUE(test::WriteTextFile(browser, "browser"));
  ASSERT_TRUE(base::PathService::OverrideAndCreateIfNeeded(
      base::DIR_EXE, install_folder_, true, true));
  auto installer = std::make_unique<Installer>();
  settings_ = MakeSettings(u"--uninstall");
  ASSERT_EQ(kOperationUninstalling, settings_->operation());
  installer->AddObserver(&observer_);
  base::RunLoop run_loop;
  observer_.set_on_event([&](const std::string& event) {
    if (event.rfind("TotalSteps", 0) == 0 || event.rfind("Error", 0) == 0)
      run_loop.Quit();
  });
  installer->Start(settings_.get());
  run_loop.Run();
  observer_.set_on_event(nullptr);
  ASSERT_EQ(3u, observer_.events().size()) << observer_.events()[1];
  EXPECT_EQ("TotalSteps(6)", observer_.events()[1]);
  installer.reset();
  EXPECT_EQ("browser", test::ReadFileContents(browser)) << "rolled back";
}

// A link on the way to the browser, which an uninstall moves aside first,
// refuses the location: that is no program in use.
TEST_F(InstallerTest, AnUninstallRefusesALinkOnTheWayToTheBrowser) {
  const base::FilePath elsewhere = dir().Append(u"elsewhere");
  ASSERT_TRUE(test::WriteTextFile(elsewhere.Append(u"velna.exe"), "browser"));
  InstallLog log = test::MakeInstallLog(install_folder_, false);
  log.subfolder = u"41.0.2353.22";
  ASSERT_TRUE(test::WriteInstallationLog(install_folder_, log, false));
  base::ScopedUnixLink link;
  ASSERT_TRUE(link.Make(install_folder_.Append(log.subfolder), elsewhere));
  ASSERT_TRUE(base::PathService::OverrideAndCreateIfNeeded(
      base::DIR_EXE, install_folder_, true, true));
  auto installer = std::make_unique<Installer>();
  RunToEnd(installer.get(), u"--uninstall");
  const std::string refused =
      "Error(37058," +
      install_folder_.Append(log.subfolder).Append(u"velna.exe").AsUTF8() +
      ",A link on the way to velna.exe leads elsewhere)";
  EXPECT_EQ(1, std::count(observer_.events().begin(), observer_.events().end(),
                          refused));
}

TEST_F(InstallerTest, FailuresBeforeTheStepsRollBack) {
  struct Case {
    const char* name;
    std::string files_list;       // written as it is; "-" for no file
    std::string root_files_list;  // "-" for no file
    std::u16string arguments;
    std::string expected;
    bool started = true;  // the folder exists before the failure
  };
  const Case cases[] = {
      {"no files list", "-", "-", u"",
       "Error(37055,,Could not read files list)"},
      {"empty files list", "\r\n\r\n", "-", u"",
       "Error(37055,,No files in files list)"},
      {"absolute line", "a.txt\r\nC:\\Windows\\x.dll", "-", u"",
       "Error(37055,,Invalid line in files list: C:\\Windows\\x.dll)"},
      {"drive-relative line", "D:x.dll", "-", u"",
       "Error(37055,,Invalid line in files list: D:x.dll)"},
      {"leading separator", "\\x.dll", "-", u"",
       "Error(37055,,Invalid line in files list: \\x.dll)"},
      {"leading slash", "/x.dll", "-", u"",
       "Error(37055,,Invalid line in files list: /x.dll)"},
      {"parent component", "a/../../x.dll", "-", u"",
       "Error(37055,,Invalid line in files list: a/../../x.dll)"},
      {"root list parent component", "a.txt", "ok.txt\n..\\x.dll", u"",
       "Error(37055,,Invalid line in root files list: ..\\x.dll)"},
      {"stream name", "a.txt:stream", "-", u"",
       "Error(37055,,Invalid line in files list: a.txt:stream)"},
      {"autoupdate of a fresh install", "a.txt", "-", u"--autoupdate",
       "Error(37055,,Settings operation invalid for autoupdate)", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    observer_.Clear();
    base::DeleteFileOrDirectory(package_.Append(kFilesListFileName), false);
    base::DeleteFileOrDirectory(package_.Append(kRootFilesListFileName), false);
    if (c.files_list != "-") {
      ASSERT_TRUE(test::WriteTextFile(package_.Append(kFilesListFileName),
                                      c.files_list));
    }
    if (c.root_files_list != "-") {
      ASSERT_TRUE(test::WriteTextFile(package_.Append(kRootFilesListFileName),
                                      c.root_files_list));
    }
    const test::FileTreeSnapshot files = Files();
    const test::RegistrySnapshot registry = Registry();
    UseSteps({{TestStep::kSetValue, ValuesKey(), u"set", u"data"}});
    auto installer = std::make_unique<Installer>();
    RunToEnd(installer.get(), c.arguments);
    std::vector<std::string> expected = {c.expected, "InstallerTerminated(0)"};
    if (c.started) expected.insert(expected.begin(), "Started");
    EXPECT_EQ(expected, observer_.events());
    EXPECT_FALSE(installer->succeeded());
    installer.reset();
    EXPECT_EQ(files, Files());
    EXPECT_EQ(registry, Registry());
  }
}

bool NoAccess(const std::u16string& folder, uint32_t access) { return false; }

TEST_F(InstallerTest, RightsAreDecidedBeforeTheFolderIsMade) {
  ASSERT_TRUE(test::WriteTextFile(package_.Append(kFilesListFileName), "a"));
  base::win::ScopedHandle user_token =
      test::MakeRestrictedToken({WinBuiltinAdministratorsSid}, false);
  ASSERT_TRUE(user_token.IsValid());
  const struct {
    const char* name;
    bool administrator;
    bool folder_writable;
    std::u16string arguments;
    std::string expected;
  } cases[] = {
      {"all users, silent, no administrator", false, true,
       u"--allusers=1 --silent",
       "Error(37055,,Installation requires elevation, but cannot elevate "
       "when silent)"},
      {"single profile without write access", true, false, u"--singleprofile=1",
       "Error(37060,,Single profile installations are only allowed to "
       "locations where the user has write access)"},
      {"no write access, and no grant for a missing folder", true, false, u"",
       "Error(37060,,Could not obtain write permissions to installation "
       "folder)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    observer_.Clear();
    std::unique_ptr<internal::ScopedAccessTokenForTesting> token;
    if (!c.administrator) {
      token = std::make_unique<internal::ScopedAccessTokenForTesting>(
          user_token.Get());
    }
    internal::SetFolderAccessCheckForTesting(c.folder_writable ? nullptr
                                                               : &NoAccess);
    const test::FileTreeSnapshot files = Files();
    const test::RegistrySnapshot registry = Registry();
    UseSteps({{TestStep::kSetValue, ValuesKey(), u"set", u"data"}});
    auto installer = std::make_unique<Installer>();
    RunToEnd(installer.get(), c.arguments);
    internal::SetFolderAccessCheckForTesting(nullptr);
    EXPECT_EQ((std::vector<std::string>{c.expected, "InstallerTerminated(0)"}),
              observer_.events());
    installer.reset();
    EXPECT_EQ(files, Files());
    EXPECT_EQ(registry, Registry());
  }
}

TEST_F(InstallerTest, AFailingStepRollsBackEveryEarlierStep) {
  MakePackage({"a.txt", "b.txt"});
  ASSERT_TRUE(test::WriteTextFile(dir().Append(u"marker"), ""));
  // Values set and removed before; the failure comes at each position.
  base::win::RegKey key;
  ASSERT_EQ(ERROR_SUCCESS,
            key.Create(HKEY_CURRENT_USER, ValuesKey().c_str(), KEY_SET_VALUE));
  ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(u"old", u"old data"));
  key.Close();
  const std::vector<TestStep> work = {
      {TestStep::kCopyListedFiles, target_.value()},
      {TestStep::kSetValue, ValuesKey(), u"new", u"data"},
      {TestStep::kRemoveValue, ValuesKey(), u"old"},
      {TestStep::kSetValue, ValuesKey() + u"\\deeper", u"x", u"y"},
  };
  for (size_t k = 0; k <= work.size(); ++k) {
    SCOPED_TRACE(k);
    observer_.Clear();
    std::vector<TestStep> steps = work;
    steps.insert(steps.begin() + k, {TestStep::kFail, u"", u"Failed at K",
                                     u"C:\\t\u00e9xt", 37062});
    UseSteps(steps);
    const test::FileTreeSnapshot files = Files();
    const test::RegistrySnapshot registry = Registry();
    auto installer = std::make_unique<Installer>();
    RunToEnd(installer.get(), u"");
    ASSERT_LE(2u, observer_.events().size());
    EXPECT_EQ("Error(37062,C:\\t\xc3\xa9xt,Failed at K)",
              observer_.events()[observer_.events().size() - 2]);
    EXPECT_EQ("InstallerTerminated(0)", observer_.events().back());
    // Steps before K: K list steps, plus one per further copied file.
    const size_t steps_run = k + (k > 0 ? 1 : 0) + 1;
    EXPECT_EQ(steps_run, static_cast<size_t>(std::count(
                             observer_.events().begin(),
                             observer_.events().end(), std::string("Step"))));
    installer.reset();
    EXPECT_EQ(files, Files());
    EXPECT_EQ(registry, Registry());
  }
}

// An elevated run reads the package only from its protected copy: what a
// user changes in the package folder meanwhile is not installed, and the
// copy goes with the run.
TEST_F(InstallerTest, AnElevatedRunReadsThePackageOnlyFromAProtectedCopy) {
  MakePackage({"a.txt", "sub\\b.txt"});
  const std::u16string suffix =
      base::UTF8ToUTF16(std::to_string(GetCurrentProcessId()));
  const std::u16string ready_name = u"Local\\VelnaTestCopyReady" + suffix;
  const std::u16string go_name = u"Local\\VelnaTestCopyGo" + suffix;
  base::win::ScopedHandle ready(
      CreateEventW(nullptr, TRUE, FALSE, base::as_wcstr(ready_name)));
  base::win::ScopedHandle go(
      CreateEventW(nullptr, TRUE, FALSE, base::as_wcstr(go_name)));
  UseSteps({{TestStep::kWaitForEvent, go_name, ready_name},
            {TestStep::kCopyListedFiles, target_.value()}});
  // Once the run has begun its steps, a user plants other contents.
  struct Planter : base::win::ObjectWatcher::Delegate {
    base::FilePath package;
    HANDLE go;
    void OnObjectSignaled(HANDLE) override {
      EXPECT_TRUE(test::WriteTextFile(package.Append(u"a.txt"), "planted"));
      EXPECT_TRUE(
          test::WriteTextFile(package.Append(u"sub\\b.txt"), "planted"));
      SetEvent(go);
    }
  } planter;
  planter.package = package_;
  planter.go = go.Get();
  base::win::ObjectWatcher ready_watcher;
  ASSERT_TRUE(ready_watcher.StartWatchingOnce(ready.Get(), &planter));
  auto installer = std::make_unique<Installer>();
  RunToEnd(installer.get(), u"");
  EXPECT_EQ("Success", observer_.events().back());
  EXPECT_EQ("new a.txt", test::ReadFileContents(target_.Append(u"a.txt")));
  EXPECT_EQ("new sub\\b.txt",
            test::ReadFileContents(target_.Append(u"sub\\b.txt")));
  const base::FilePath copy = installer->own_directory();
  EXPECT_EQ(protected_dir_.GetPath(), copy.DirName());
  EXPECT_EQ(std::vector<std::u16string>{kProtectedFolderSecurity},
            SecurityHistory(copy));
  EXPECT_TRUE(IsInProtectedFolder(copy));
  installer.reset();
  EXPECT_FALSE(base::PathExists(copy));
}

// An install or update for all users never uses a folder that other users
// may change, nor one in it, in Program Files too: one that holds
// anything (a record, a library beside the launcher) is refused before any
// change; an empty one is made anew with the list of Program Files, and a
// rollback leaves an empty folder there again. A folder made anew is
// installed as new, whatever its inspection read there before.
TEST_F(InstallerTest, AnAllUsersFolderOthersMayChangeIsRefusedOrMadeAnew) {
  MakePackage({"a.txt"});
  // Owned by a user, "Authenticated Users: Modify" inherited from a drive
  // root.
  const std::u16string open =
      u"O:S-1-5-21-1-2-3-1001D:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)"
      u"(A;OICIID;0x1301bf;;;AU)";
  const std::u16string protected_list = kProtectedFolderSecurity;
  const std::string refused =
      "Error(37058," + install_folder_.AsUTF8() +
      ",Other users may change the installation folder)";
  enum class Contents {
    kNone,
    kFile,
    kUpdate,
    // A folder of a user's in it, which holds a library, or nothing.
    kUsersFolder,
    kUsersEmptyFolder,
    // A record there when the folder is inspected, gone when the run starts.
    kRecordGone,
  };
  const base::FilePath users = install_folder_.Append(kOldStatusFolderName);
  const struct {
    const char* name;
    std::u16string arguments;
    std::u16string existing;
    bool in_program_files;
    bool fail_step;
    std::vector<std::u16string> history;
    Contents contents = Contents::kNone;
    // The list of the folder above, when not the protected one.
    std::u16string parent;
  } cases[] = {
      {"an empty open folder, rolled back",
       u"--allusers=1",
       open,
       false,
       true,
       // Put back with its own list, inheriting nothing.
       {open, protected_list,
        u"D:PAI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIID;0x1301bf;;;AU)"}},
      {"an empty open folder",
       u"--allusers=1",
       open,
       false,
       false,
       {open, protected_list}},
      {"a protected folder",
       u"--allusers=1",
       protected_list,
       false,
       true,
       {protected_list}},
      {"an empty open folder in Program Files, rolled back",
       u"--allusers=1",
       open,
       true,
       true,
       {open, protected_list,
        u"D:PAI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIID;0x1301bf;;;AU)"}},
      {"for the current user", u"--allusers=0", open, false, true, {open}},
      {"an open folder that holds a library",
       u"--allusers=1",
       open,
       false,
       false,
       {open},
       Contents::kFile},
      {"an open folder whose record says all users",
       u"",
       open,
       false,
       false,
       {open},
       Contents::kUpdate},
      {"below a folder that users may move",
       u"--allusers=1",
       open,
       false,
       false,
       {open},
       Contents::kNone,
       open},
      {"a protected folder with a user's folder that holds a library",
       u"--allusers=1",
       protected_list,
       false,
       false,
       {protected_list},
       Contents::kUsersFolder},
      {"a protected folder with a user's empty folder",
       u"--allusers=1",
       protected_list,
       false,
       false,
       {protected_list},
       Contents::kUsersEmptyFolder},
      {"an open folder whose record went before the run",
       u"",
       open,
       false,
       false,
       {open, protected_list},
       Contents::kRecordGone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    observer_.Clear();
    RegDeleteTreeW(HKEY_CURRENT_USER, base::as_wcstr(ValuesKey()));
    base::DeleteFileOrDirectory(security_record_, false);
    ASSERT_TRUE(security_->ProtectLevelsAbove(install_folder_));
    ASSERT_TRUE(base::DeleteFileOrDirectory(install_folder_, true));
    ASSERT_TRUE(security_->Create(install_folder_, c.existing));
    if (!c.parent.empty()) {
      ASSERT_TRUE(security_->Write(dir(), c.parent));
    }
    if (c.contents == Contents::kFile) {
      ASSERT_TRUE(
          test::WriteTextFile(install_folder_.Append(u"userenv.dll"), "x"));
    }
    InstallLog planted = test::MakeInstallLog(install_folder_, true);
    planted.app_id = "planted";
    planted.created_parents = 2;
    if (c.contents == Contents::kUpdate ||
        c.contents == Contents::kRecordGone) {
      ASSERT_TRUE(test::WriteInstallationLog(install_folder_, planted, false));
    }
    // The choices an update would take over.
    const base::FilePath planted_prefs =
        install_folder_.Append(kInstallerPrefsFileName);
    if (c.contents == Contents::kRecordGone) {
      ASSERT_TRUE(test::WriteTextFile(
          planted_prefs,
          "{\"single_profile\": true, \"enable_stats\": false, "
          "\"import_browser_data\": false}"));
    }
    if (c.contents == Contents::kUsersFolder ||
        c.contents == Contents::kUsersEmptyFolder) {
      ASSERT_TRUE(security_->Create(users, open));
    }
    if (c.contents == Contents::kUsersFolder) {
      ASSERT_TRUE(test::WriteTextFile(users.Append(u"userenv.dll"), "x"));
    }
    if (c.in_program_files) {
      ASSERT_TRUE(base::PathService::OverrideAndCreateIfNeeded(
          base::DIR_PROGRAM_FILES, dir(), true, false));
    }
    const test::FileTreeSnapshot files_before =
        test::TakeFileTreeSnapshot(install_folder_);
    security_ =
        std::make_unique<test::RecordedFolderSecurity>(security_record_);
    internal::SetFolderSecurityForTesting(security_.get());
    std::vector<TestStep> steps = {
        {TestStep::kSetValue, ValuesKey(), u"set", u"data"}};
    if (c.fail_step)
      steps.push_back({TestStep::kFail, u"", u"Failed", u"", 37062});
    UseSteps(steps);
    auto installer = std::make_unique<Installer>();
    RunToEnd(installer.get(), c.arguments, [&] {
      if (c.contents == Contents::kRecordGone) {
        ASSERT_TRUE(settings_->single_profile());
        ASSERT_TRUE(base::DeleteFileOrDirectory(
            install_folder_.Append(kInstallLogFileName), false));
        ASSERT_TRUE(base::DeleteFileOrDirectory(planted_prefs, false));
      }
    });
    const InstallLog recorded = *installer->install_log();
    installer.reset();
    if (c.in_program_files)
      base::PathService::RemoveOverrideForTesting(base::DIR_PROGRAM_FILES);
    EXPECT_EQ(c.history, SecurityHistory(install_folder_));
    EXPECT_TRUE(base::DirectoryExists(install_folder_));
    ASSERT_LE(2u, observer_.events().size());
    const std::string& error =
        observer_.events()[observer_.events().size() - 2];
    if (!c.parent.empty()) {
      EXPECT_EQ("Error(37058," + dir().AsUTF8() +
                    ",Other users may move a folder above the installation "
                    "folder)",
                error);
    } else if (c.contents == Contents::kUsersFolder) {
      EXPECT_EQ("Error(37058," + users.AsUTF8() +
                    ",Other users may change a folder in the installation "
                    "folder)",
                error);
      EXPECT_EQ(files_before, test::TakeFileTreeSnapshot(install_folder_));
      EXPECT_FALSE(test::RegistryKeyExists(HKEY_CURRENT_USER, ValuesKey()));
    } else if (c.contents == Contents::kFile ||
               c.contents == Contents::kUpdate) {
      if (c.contents == Contents::kUpdate) {
        EXPECT_EQ(kOperationUpgrading, settings_->operation());
      }
      EXPECT_EQ(refused, error);
      // Refused before any change: the folder holds what it held.
      EXPECT_EQ(files_before, test::TakeFileTreeSnapshot(install_folder_));
      EXPECT_FALSE(test::RegistryKeyExists(HKEY_CURRENT_USER, ValuesKey()));
    } else {
      EXPECT_EQ(c.fail_step ? "InstallerTerminated(0)" : "Success",
                observer_.events().back());
    }
    if (c.contents == Contents::kUsersEmptyFolder) {
      EXPECT_EQ((std::vector<std::u16string>{open, protected_list}),
                SecurityHistory(users));
    }
    if (c.contents == Contents::kRecordGone) {
      EXPECT_EQ(kOperationInstalling, settings_->operation());
      EXPECT_NE("planted", recorded.app_id);
      EXPECT_EQ(0, recorded.created_parents);
      // Nor did the choices it read there: the defaults, for all users.
      EXPECT_FALSE(settings_->single_profile());
      EXPECT_TRUE(settings_->enable_velna_stats());
      EXPECT_TRUE(settings_->import_browser_data());
      EXPECT_TRUE(settings_->all_users());
    }
  }
}

// Every file operation refuses a path through a link: a folder reached
// through one (here a link of the test system's own, as a junction would be)
// is refused at once, for any user and operation, with nothing made where
// the link leads.
TEST_F(InstallerTest, AFolderReachedThroughALinkIsRefusedAtOnce) {
  MakePackage({"a.txt"});
  const base::FilePath target = dir().Append(u"elsewhere");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(target));
  base::ScopedUnixLink link;
  ASSERT_TRUE(link.Make(dir().Append(u"link"), target));
  const base::win::ScopedHandle limited(base::DuplicateLimitedToken());
  ASSERT_TRUE(limited.IsValid());
  // A user's own per-user run follows the user's link; an elevated one
  // (every process here is) refuses it whatever it is for, as one for all
  // users does.
  const struct {
    const char16_t* arguments;
    bool standard_user;
  } cases[] = {{u"--allusers=0", true},
               {u"--allusers=0", false},
               {u"--allusers=1", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(base::UTF16ToUTF8(c.arguments) +
                 (c.standard_user ? " as a standard user" : " elevated"));
    const bool follows = c.standard_user;
    std::optional<internal::ScopedAccessTokenForTesting> token;
    if (c.standard_user) token.emplace(limited.Get());
    const std::u16string arguments = c.arguments;
    observer_.Clear();
    install_folder_ = dir().Append(u"link\\Velna");
    base::win::ScopedHandle interrupted(CreateEventW(
        nullptr, TRUE, FALSE,
        base::as_wcstr(MakeKernelObjectName(
            install_folder_.value(), kInstallationInterruptedEvent, true))));
    ASSERT_TRUE(interrupted.IsValid());
    UseSteps({{TestStep::kSetValue, ValuesKey(), u"set", u"data"}});
    auto installer = std::make_unique<Installer>();
    RunToEnd(installer.get(), arguments);
    installer.reset();
    ASSERT_LE(2u, observer_.events().size());
    if (follows) {
      EXPECT_TRUE(base::PathExists(target.Append(u"Velna")));
      ASSERT_TRUE(base::DeleteFileOrDirectory(target.Append(u"Velna"), true));
      ::RegDeleteTreeW(HKEY_CURRENT_USER, base::as_wcstr(ValuesKey()));
      continue;
    }
    EXPECT_EQ("Error(37058," + install_folder_.AsUTF8() +
                  ",A link on the way to the installation folder leads "
                  "elsewhere)",
              observer_.events()[observer_.events().size() - 2]);
    EXPECT_TRUE(base::FileEnumerator(target, false,
                                     base::FileEnumerator::FILES |
                                         base::FileEnumerator::DIRECTORIES)
                    .Next()
                    .empty());
    EXPECT_FALSE(test::RegistryKeyExists(HKEY_CURRENT_USER, ValuesKey()));
  }
  install_folder_ = dir().Append(u"install");
  ASSERT_TRUE(link.Remove());
}

// A folder the run makes for all users is made with its protected list,
// never with the one of its parent first; a rollback removes it again.
TEST_F(InstallerTest, ANewAllUsersFolderIsProtected) {
  MakePackage({"a.txt"});
  for (bool fail : {false, true}) {
    SCOPED_TRACE(fail);
    observer_.Clear();
    ASSERT_TRUE(base::DeleteFileOrDirectory(install_folder_, true));
    base::DeleteFileOrDirectory(security_record_, false);
    ASSERT_TRUE(security_->ProtectLevelsAbove(install_folder_));
    std::vector<TestStep> steps = {
        {TestStep::kSetValue, ValuesKey(), u"set", u"data"}};
    if (fail) steps.push_back({TestStep::kFail, u"", u"Failed", u"", 37062});
    UseSteps(steps);
    auto installer = std::make_unique<Installer>();
    RunToEnd(installer.get(), u"--allusers=1");
    installer.reset();
    EXPECT_EQ(std::vector<std::u16string>{kProtectedFolderSecurity},
              SecurityHistory(install_folder_));
    EXPECT_TRUE(test::RecordedFolderSecurity::MadeWithFirst(security_record_,
                                                            install_folder_));
    EXPECT_EQ(!fail, base::DirectoryExists(install_folder_));
  }
}

// A deletion left to the system's next start goes by the path, to whatever
// it leads to then: an elevated run leaves none where others may change the
// install folder or a folder in it, whatever the run is for.
TEST_F(InstallerTest, NoDeletionAtRestartWhereOthersMayChangeTheFolder) {
  MakePackage({"a.txt"});
  const std::u16string open =
      u"O:S-1-5-21-1-2-3-1001D:AI(A;OICIID;0x1301bf;;;AU)";
  const base::win::ScopedHandle limited(base::DuplicateLimitedToken());
  ASSERT_TRUE(limited.IsValid());
  const struct {
    const char* name;
    bool open_folder;
    bool open_below;
    bool standard_user;
  } cases[] = {{"an open folder", true, false, false},
               {"a protected folder", false, false, false},
               {"a user's folder in a protected one", false, true, false},
               {"a standard user's own run", true, false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<internal::ScopedAccessTokenForTesting> token;
    if (c.standard_user) token.emplace(limited.Get());
    ASSERT_TRUE(base::DeleteFileOrDirectory(install_folder_, true));
    ASSERT_TRUE(security_->Create(
        install_folder_, c.open_folder ? open : kProtectedFolderSecurity));
    if (c.open_below) {
      ASSERT_TRUE(
          security_->Create(install_folder_.Append(u"41.0.2353.22"), open));
    }
    UseSteps({{TestStep::kSetValue, ValuesKey(), u"set", u"data"}});
    auto installer = std::make_unique<Installer>();
    RunToEnd(installer.get(), u"--allusers=0");
    EXPECT_EQ("Success", observer_.events().back());
    EXPECT_EQ(c.standard_user || (!c.open_folder && !c.open_below),
              IsDeleteAtRestartAllowed());
  }
}

// An administrator's grants, recorded; the other answers are the real ones.
class RecordedGrants : public InstallerRights {
 public:
  RecordedGrants() { internal::SetInstallerRightsForTesting(this); }
  ~RecordedGrants() override {
    internal::SetInstallerRightsForTesting(nullptr);
  }
  bool IsUserAdministrator(bool linked) override {
    return real_->IsUserAdministrator(linked);
  }
  bool IsElevated() override { return real_->IsElevated(); }
  bool IsUacEnabled() override { return real_->IsUacEnabled(); }
  bool CanAccessFolder(const base::FilePath& folder) override {
    return real_->CanAccessFolder(folder);
  }
  bool GrantFolderAccess(const base::FilePath& folder, uint32_t access,
                         uint32_t option,
                         std::unique_ptr<SavedSecurity>* saved) override {
    grants.push_back(folder);
    return real_->GrantFolderAccess(folder, access, option, saved);
  }
  base::Process LaunchElevated(const base::FilePath& program,
                               const std::u16string& parameters) override {
    return real_->LaunchElevated(program, parameters);
  }

  std::vector<base::FilePath> grants;

 private:
  InstallerRights* const real_ = internal::GetRealInstallerRights();
};

// A new single-profile installation keeps its user's access for good: for
// the current user to the install folder, for all users to the profile's
// folder only, since the system runs what the install folder holds.
TEST_F(InstallerTest, ASingleProfileForAllUsersKeepsOnlyItsProfileFolder) {
  MakePackage({"a.txt"});
  for (bool all_users : {false, true}) {
    SCOPED_TRACE(all_users);
    observer_.Clear();
    ASSERT_TRUE(base::DeleteFileOrDirectory(install_folder_, true));
    base::DeleteFileOrDirectory(security_record_, false);
    ASSERT_TRUE(security_->ProtectLevelsAbove(install_folder_));
    UseSteps({{TestStep::kSetValue, ValuesKey(), u"set", u"data"}});
    RecordedGrants rights;
    auto installer = std::make_unique<Installer>();
    RunToEnd(installer.get(), all_users ? u"--allusers=1 --singleprofile=1"
                                        : u"--allusers=0 --singleprofile=1");
    installer.reset();
    EXPECT_EQ("Success", observer_.events().back());
    const base::FilePath granted =
        all_users ? install_folder_.Append(kSingleProfileFolderName)
                  : install_folder_;
    EXPECT_EQ(std::vector<base::FilePath>{granted}, rights.grants);
    EXPECT_TRUE(base::DirectoryExists(granted));
    EXPECT_EQ(all_users ? std::vector<std::u16string>{kProtectedFolderSecurity}
                        : std::vector<std::u16string>{},
              SecurityHistory(install_folder_));
  }
}

TEST_F(InstallerTest, TheInterruptedEventCancelsAWaitingRun) {
  MakePackage({"a.txt"});
  const std::u16string ready_name =
      u"Local\\VelnaTestReady" +
      base::UTF8ToUTF16(std::to_string(GetCurrentProcessId()));
  const std::u16string go_name =
      u"Local\\VelnaTestGo" +
      base::UTF8ToUTF16(std::to_string(GetCurrentProcessId()));
  base::win::ScopedHandle ready(
      CreateEventW(nullptr, TRUE, FALSE, base::as_wcstr(ready_name)));
  base::win::ScopedHandle go(
      CreateEventW(nullptr, TRUE, FALSE, base::as_wcstr(go_name)));
  UseSteps({{TestStep::kCopyListedFiles, target_.value()},
            {TestStep::kWaitForEvent, go_name, ready_name},
            {TestStep::kSetValue, ValuesKey(), u"late", u"data"}});
  const test::FileTreeSnapshot files = Files();
  const test::RegistrySnapshot registry = Registry();
  // The front end interrupts once the wait has begun.
  base::win::ObjectWatcher ready_watcher;
  struct Interrupter : base::win::ObjectWatcher::Delegate {
    HANDLE interrupted;
    HANDLE go;
    void OnObjectSignaled(HANDLE) override {
      SetEvent(interrupted);
      // The awaited event comes too late: the run has ended by then.
      SetEvent(go);
    }
  } interrupter;
  interrupter.interrupted = interrupted_.Get();
  interrupter.go = go.Get();
  ASSERT_TRUE(ready_watcher.StartWatchingOnce(ready.Get(), &interrupter));
  auto installer = std::make_unique<Installer>();
  RunToEnd(installer.get(), u"");
  EXPECT_EQ("InstallerTerminated(0)", observer_.events().back());
  for (const std::string& event : observer_.events()) {
    EXPECT_NE("Success", event);
    EXPECT_EQ(std::string::npos, event.find("Error"));
  }
  base::RunLoop settle;
  base::MessageLoop::current()->PostDelayedTask(
      CURRENT_LOCATION, settle.QuitClosure(),
      base::TimeDelta::FromMilliseconds(200));
  settle.Run();
  installer.reset();
  EXPECT_EQ(files, Files());
  EXPECT_EQ(registry, Registry());
}

// The endings the observers can count on: OnSuccess alone for a run that
// succeeded; OnInstallerTerminated, always false, only for one that did
// not (after OnError, or alone when cancelled); nothing after either.
TEST_F(InstallerTest, OnlyARunWithoutSuccessIsTerminated) {
  MakePackage({"a.txt"});
  // The interrupted run waits on it, never set.
  const std::u16string never_name =
      u"Local\\VelnaTestNotSet" +
      base::UTF8ToUTF16(std::to_string(GetCurrentProcessId()));
  const base::win::ScopedHandle never(
      CreateEventW(nullptr, TRUE, FALSE, base::as_wcstr(never_name)));
  ASSERT_TRUE(never.IsValid());
  const struct {
    const char* name;
    std::vector<TestStep> steps;
    bool interrupt;
    std::vector<std::string> endings;
  } cases[] = {
      {"success",
       {{TestStep::kSetValue, ValuesKey(), u"set", u"data"}},
       false,
       {"Success"}},
      {"error",
       {{TestStep::kSetValue, ValuesKey(), u"set", u"data"},
        {TestStep::kFail, u"", u"Failed", u"", 37062}},
       false,
       {"Error(37062,,Failed)", "InstallerTerminated(0)"}},
      {"interrupted",
       {{TestStep::kWaitForEvent, never_name}},
       true,
       {"InstallerTerminated(0)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    observer_.Clear();
    UseSteps(c.steps);
    if (c.interrupt) SetEvent(interrupted_.Get());
    auto installer = std::make_unique<Installer>();
    RunToEnd(installer.get(), u"");
    installer.reset();
    ResetEvent(interrupted_.Get());
    std::vector<std::string> endings;
    for (const std::string& event : observer_.events()) {
      if (event != "Started" && event != "Step" &&
          event.rfind("TotalSteps", 0) != 0) {
        endings.push_back(event);
      }
    }
    EXPECT_EQ(c.endings, endings);
  }
}

TEST_F(InstallerTest, AStepQueuedBeforeACancelDoesNothing) {
  MakePackage({"a.txt"});
  UseSteps({{TestStep::kSetValue, ValuesKey(), u"first", u"1"},
            {TestStep::kSetValue, ValuesKey(), u"second", u"2"}});
  const test::RegistrySnapshot registry = Registry();
  auto installer = std::make_unique<Installer>();
  Installer* raw = installer.get();
  int steps = 0;
  // The second OnStep comes after the second step was posted: cancel then.
  observer_.set_on_event([&](const std::string& event) {
    if (event == "Step" && ++steps == 2) raw->Cancel();
  });
  settings_ = MakeSettings(FolderSwitch(install_folder_));
  installer->AddObserver(&observer_);
  installer->Start(settings_.get());
  ASSERT_TRUE(base::RunLoopUntil([&] { return steps >= 2; }));
  // The second step's task, queued before the cancel, has its turn.
  base::RunLoop().RunUntilIdle();
  observer_.set_on_event(nullptr);
  EXPECT_EQ("InstallerTerminated(0)", observer_.events().back());
  EXPECT_EQ(registry, Registry());
}

TEST_F(InstallerTest, DestroyingARunningInstallerRollsBack) {
  MakePackage({"a.txt", "b.txt"});
  UseSteps({{TestStep::kCopyListedFiles, target_.value()},
            {TestStep::kWaitForEvent, u"Local\\VelnaTestNeverSet"},
            {TestStep::kSetValue, ValuesKey(), u"never", u"1"}});
  base::win::ScopedHandle never(
      CreateEventW(nullptr, TRUE, FALSE, L"Local\\VelnaTestNeverSet"));
  const test::FileTreeSnapshot files = Files();
  auto installer = std::make_unique<Installer>();
  settings_ = MakeSettings(FolderSwitch(install_folder_));
  installer->AddObserver(&observer_);
  base::RunLoop run_loop;
  int steps = 0;
  observer_.set_on_event([&](const std::string& event) {
    if (event == "Step" && ++steps == 3) run_loop.Quit();
  });
  installer->Start(settings_.get());
  run_loop.Run();
  observer_.set_on_event(nullptr);
  EXPECT_TRUE(installer->running());
  EXPECT_EQ("new b.txt", test::ReadFileContents(target_.Append(u"b.txt")));
  installer.reset();
  EXPECT_EQ("InstallerTerminated(0)", observer_.events().back());
  EXPECT_EQ(files, Files());
}

TEST_F(InstallerTest, PlaceholdersAndTheInstallLogDelegate) {
  settings_ = MakeSettings(FolderSwitch(install_folder_));
  Installer installer;
  installer.Start(settings_.get());
  installer.set_uninstall_command(u"\"C:\\u.exe\" --uninstall");
  const struct {
    const char16_t* name;
    std::u16string value;
  } cases[] = {
      {u"InstallFolder", install_folder_.value()},
      {u"Version", base::UTF8ToUTF16(VersionInfo::GetProductVersion())},
      {u"Executable", u"velna.exe"},
      {u"Product", base::UTF8ToUTF16(VersionInfo::GetProductName())},
      {u"Company", company_key().path().substr(9)},
      {u"CompanyRegistryKey", company_key().path()},
      {u"Stream", base::UTF8ToUTF16(VersionInfo::GetStream())},
      {u"Uninstall", u"\"C:\\u.exe\" --uninstall"},
      {u"HelpURL", u"https://help.velna.com/"},
      {u"CompanyURL", u"https://www.velna.com/"},
      {u"DownloadsURL", u"https://www.velna.com/download/"},
      // Exact and case-sensitive: anything else comes back as it is.
      {u"installfolder", u"installfolder"},
      {u"Version ", u"Version "},
      {u"Extension", u"Extension"},
      {u"", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(base::UTF16ToUTF8(c.name));
    EXPECT_EQ(c.value, installer.ResolvePlaceholder(c.name));
  }
  RegistryEntry last_path(kSetLastInstallPathRegOp, &installer);
  EXPECT_EQ(
      u"Last " + base::UTF8ToUTF16(VersionInfo::GetStream()) + u" Install Path",
      last_path.ExpandPlaceholders(u"Last {Stream} Install Path"));

  // Recorded only while the registry step says so, by root.
  EXPECT_EQ(nullptr, installer.GetInstallLogRegistry(HKEY_LOCAL_MACHINE));
  installer.set_recording_registry(true);
  EXPECT_EQ(&installer.install_log()->hklm_keys,
            installer.GetInstallLogRegistry(HKEY_LOCAL_MACHINE));
  EXPECT_EQ(&installer.install_log()->hkcu_keys,
            installer.GetInstallLogRegistry(HKEY_CURRENT_USER));
  EXPECT_EQ(&installer.install_log()->hkcu_keys,
            installer.GetInstallLogRegistry(HKEY_CLASSES_ROOT));

  // Without a former-engine installation the product names stay.
  EXPECT_EQ(u"a{Product}b{SPProduct}",
            installer.ExpandProductPlaceholders(u"a{Product}b{SPProduct}"));
}

TEST(InstallerHelpersTest, SmallHelpers) {
  EXPECT_EQ(u"", Installer::GetEditionSuffix(0));
  EXPECT_EQ(u"Beta", Installer::GetEditionSuffix(1));
  EXPECT_EQ(u"Developer", Installer::GetEditionSuffix(2));
  EXPECT_EQ(u"Invalid", Installer::GetEditionSuffix(3));
  EXPECT_EQ(u"Invalid", Installer::GetEditionSuffix(-1));
  EXPECT_EQ(
      "installer-experiment-test@1",
      Installer::FormatFeatureOverride("installer-experiment-test", true));
  EXPECT_EQ("x@2", Installer::FormatFeatureOverride("x", false));
  const std::u16string version =
      base::UTF8ToUTF16(VersionInfo::GetProductVersion());
  EXPECT_EQ(u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" +
                base::UTF8ToUTF16(VersionInfo::GetProductName()) + u" " +
                version + u"_1",
            Installer::GetUninstallKeyPath(u"_1"));
  const std::u16string plain =
      base::UTF8ToUTF16(VersionInfo::GetInstallFolderName()) + u".lnk";
  EXPECT_EQ(plain, Installer::GetShortcutFileName(false));
  EXPECT_EQ(
      base::UTF8ToUTF16(VersionInfo::GetInstallFolderName()) + u" " +
          base::UTF8ToUTF16(std::to_string(VersionInfo::GetMajorVersion())) +
          u".lnk",
      Installer::GetShortcutFileName(true));
}

TEST(InstallerHelpersTest, SafeFileListLines) {
  const struct {
    const char* line;
    bool safe;
  } cases[] = {
      {"a.txt", true},
      {"sub\\b.dll", true},
      {"sub/b.dll", true},
      {"..a\\b..c", true},
      {"caf\xC3\xA9\\x.dll", true},
      {"", false},
      {"C:\\x", false},
      {"C:x", false},
      {"\\x", false},
      {"/x", false},
      {"\\\\server\\s", false},
      {"..", false},
      {"a\\..", false},
      {"a/../b", false},
      {"a:b", false},
      // As strict as the archive's names: devices, trailing dots and
      // spaces (which Windows drops, so that two lines name one file),
      // "." components, doubled separators, invalid UTF-8.
      {"a\\.\\b", false},
      {"..a\\b..", false},
      {"sub\\b.dll.", false},
      {"sub\\b.dll ", false},
      {"sub \\b.dll", false},
      {"CON", false},
      {"sub\\nul.txt", false},
      {"COM1.dll", false},
      {"lpt9", false},
      {"CONOUT$", false},
      {"a\\\\b", false},
      {"a\\", false},
      {"a?b", false},
      {"a\tb", false},
      {"\xC3\x28.dll", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.safe, internal::IsSafeRelativeFileListLine(c.line)) << c.line;
  }
}

// The clean-up batch file starts by its full path, with delayed expansion
// off whatever the registry asks for (a '!' in a path must reach it as it
// is), and in its own folder, where nothing a user put beside a folder
// being removed is found by a bare name, and which it holds so while it
// runs.
TEST(UninstallBatchLaunchTest, StartsInItsOwnFolderWithoutDelayedExpansion) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  const base::FilePath folder = dir.GetPath().Append(u"Velna!beta (x)");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(folder));
  const base::FilePath current = dir.GetPath().Append(u"current.txt");
  const base::FilePath release = dir.GetPath().Append(u"release");
  // Runs until the test lets it end.
  const base::FilePath batch = folder.Append(kUninstallBatchFileName);
  ASSERT_TRUE(test::WriteTextFile(
      batch, "@echo off\r\ncd > \"" + current.AsUTF8() +
                 "\"\r\n:wait\r\nping -n 2 127.0.0.1 >NUL\r\n"
                 "if not exist \"" +
                 release.AsUTF8() + "\" goto wait\r\n"));
  ASSERT_TRUE(LaunchUninstallBatch(batch));
  base::Process interpreter = test::WaitForChildProcess(
      ::GetCurrentProcessId(), GetSystemCommandInterpreter());
  ASSERT_TRUE(interpreter.IsValid());
  // A process found just after its start may not show its command line yet;
  // this one runs until released.
  std::u16string command_line;
  for (int i = 0; i < 600 && command_line.empty(); ++i) {
    command_line = test::GetProcessCommandLine(interpreter);
    if (command_line.empty()) ::Sleep(100);
  }
  ASSERT_TRUE(test::WriteTextFile(release, "x"));
  int exit_code = -1;
  EXPECT_TRUE(interpreter.WaitForExitWithTimeout(60000, &exit_code));
  EXPECT_NE(std::u16string::npos, command_line.find(u" /d /v:off /s /c \"\"" +
                                                    batch.value() + u"\"\""))
      << base::UTF16ToUTF8(command_line);
  const std::string current_text =
      base::TrimWhitespaceASCII(test::ReadFileContents(current));
  EXPECT_EQ(base::FilePath::CompareIgnoreCase(base::UTF8ToUTF16(current_text),
                                              folder.value()),
            0)
      << current_text;
}

// The master shortcut in a process of its own: the test host, under a name
// of this test for which Wine reports Windows 7, where the taskbar offers
// pinning (which Wine's shell then refuses).
TEST(MasterShortcutTest, CreatedCopiedAndAFailedPinOnlyLogged) {
  base::win::ScopedComInitializer com;
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  const std::u16string exe_name =
      u"pin_host_" + base::UTF8ToUTF16(std::to_string(GetCurrentProcessId())) +
      u".exe";
  const base::FilePath host = dir.GetPath().Append(exe_name);
  ASSERT_TRUE(base::CopyOneFile(base::FilePath(base::GetTestExecutableFolder() +
                                               u"installer_test_host.exe"),
                                host));
  const std::u16string app_defaults =
      u"Software\\Wine\\AppDefaults\\" + exe_name;
  base::win::RegKey key;
  ASSERT_EQ(ERROR_SUCCESS,
            key.Create(HKEY_CURRENT_USER, app_defaults.c_str(), KEY_SET_VALUE));
  ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(u"Version", u"win7"));
  key.Close();

  const base::FilePath target = dir.GetPath().Append(u"browser.exe");
  ASSERT_TRUE(test::WriteTextFile(target, "MZ"));
  const base::FilePath location = dir.GetPath().Append(u"desktop");
  const std::u16string plain = Installer::GetShortcutFileName(false);
  const struct {
    bool collision;
    const char* with_version;
    std::u16string name;
  } cases[] = {{false, "with_version=0", plain},
               {true, "with_version=1", Installer::GetShortcutFileName(true)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.with_version);
    base::DeleteFileOrDirectory(location, true);
    ASSERT_TRUE(base::FileUtil::CreateDirectory(location));
    if (c.collision) {
      ASSERT_TRUE(test::WriteTextFile(location.Append(plain), "someone's"));
    }
    std::string output;
    DWORD exit_code = 1;
    ASSERT_TRUE(base::RunChildProcess(
        u"\"" + host.value() +
            u"\" --host-mode=master-shortcut --pin "
            u"--target=\"" +
            target.value() + u"\" --location=\"" + location.value() + u"\"",
        {}, &output, &exit_code));
    EXPECT_EQ(0u, exit_code);
    const base::FilePath copy = location.Append(c.name);
    EXPECT_NE(std::string::npos,
              output.find("created=1 " + std::string(c.with_version) +
                          " copy=" + copy.AsUTF8()))
        << output;
    EXPECT_NE(std::string::npos, output.find("Pinning master shortcut"))
        << output;
    EXPECT_NE(
        std::string::npos,
        output.find("Failed pinning " + dir.GetPath().Append(c.name).AsUTF8()))
        << output;
    base::FilePath resolved;
    EXPECT_TRUE(base::win::ResolveShortcut(copy, &resolved));
    EXPECT_EQ(target, resolved);
  }
  RegDeleteTreeW(HKEY_CURRENT_USER, base::as_wcstr(app_defaults));
}

}  // namespace
}  // namespace installer
