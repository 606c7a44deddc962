// The hand-overs between installer processes, with this test as the front
// end: it creates the mailslot and the events of a per-test install folder
// and starts a first backend (the test host with "wait-for-package") as a
// user without elevation would run it. Elevation goes to a copy started
// without those rights; the folder-permission utility records its grants.
// The package's backend runs test steps that stop at an event.

#include <windows.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/json/json_writer.h"
#include "base/process/launch.h"
#include "base/run_loop.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/run_loop_for.h"
#include "base/values.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/core/folder_permission_win.h"
#include "desktop/windows/installer/core/installer_rights_win.h"
#include "desktop/windows/installer/core/settings.h"
#include "desktop/windows/installer/ipc/installer_message.h"
#include "desktop/windows/installer/ipc/ipc_receiver.h"
#include "desktop/windows/installer/service/access_control.h"
#include "desktop/windows/installer/service/folder_security_win.h"
#include "desktop/windows/installer/service/install_log.h"
#include "desktop/windows/installer/service/test/recorded_folder_security_win.h"
#include "desktop/windows/installer/service/test/registry_test_util.h"
#include "desktop/windows/installer/service/test/scoped_registry_restore.h"
#include "desktop/windows/installer/service/test/security_test_util.h"
#include "desktop/windows/installer/service/xml_document_win.h"
#include "desktop/windows/installer/test/installation_test_util.h"
#include "desktop/windows/installer/test/installer_process_test_base_win.h"
#include "desktop/windows/installer/test/process_test_util_win.h"
#include "desktop/windows/installer/test/recording_ipc_delegate.h"
#include "desktop/windows/installer/test/test_host_seams_win.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::Quoted;

struct Rights {
  bool administrator = false;
  bool linked_administrator = false;
  bool uac = true;
  const char* runas = "launch";
  bool record_grants = false;
  // Whether the engine counts as signed, so that the package's installer
  // must be.
  bool engine_signed = false;
};

class HandOverTest : public test::InstallerProcessTestBase {
 protected:
  void SetUp() override {
    InstallerProcessTestBase::SetUp();
    grants_ = dir().Append(u"grants.txt");
    interrupted_ = FolderEvent(kInstallationInterruptedEvent);
    package_ready_ = FolderEvent(kPackageReadyEvent);
    ASSERT_TRUE(interrupted_.IsValid());
    ASSERT_TRUE(package_ready_.IsValid());
    ASSERT_TRUE(receiver_.Connect(kInstallerMailslotNamePrefix +
                                  install_folder().value()));
  }

  void TearDown() override {
    SetEvent(go_event().Get());
    if (first_backend_.IsValid()) first_backend_.Terminate(9, true);
    if (package_backend_.IsValid()) package_backend_.Terminate(9, true);
    receiver_.Close();
    InstallerProcessTestBase::TearDown();
  }

  // The seams, with the grants recorded when |rights| say so, and the
  // rights of the first backend's user. The package backend's steps fail
  // after their wait when |fail| is set.
  void WriteSeamsAndRights(const Rights& rights, bool fail = false) {
    base::DictionaryValue extra;
    base::DictionaryValue answers;
    answers.SetBoolean("administrator", rights.administrator);
    answers.SetBoolean("linked_administrator", rights.linked_administrator);
    answers.SetBoolean("uac", rights.uac);
    answers.SetString("runas", rights.runas);
    if (rights.record_grants) {
      extra.SetString("folder_grants", grants_.value());
      answers.SetString("folder_grants", grants_.value());
    }
    if (rights.engine_signed) extra.SetBoolean("engine_signed", true);
    WriteSeams(WorkSteps(fail), extra);
    std::string json;
    ASSERT_TRUE(base::JSONWriter::Write(answers, &json));
    const base::FilePath path = dir().Append(u"rights.json");
    ASSERT_TRUE(test::WriteTextFile(path, json));
    SetEnvironmentVariableW(test::kUnelevatedRightsVariable,
                            base::as_wcstr(path.value()));
  }

  // Starts the first backend as the front end does when the package is
  // not there yet: this process is its initial process. The package is
  // |package_folder|, by default the test's.
  void StartFirstBackend(const std::u16string& arguments,
                         const base::FilePath& package_folder = {}) {
    settings_ = MakeSettings(u"--installfolder=" + Quoted(install_folder()) +
                             u" --v=1 " + arguments);
    base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
    settings_->AppendToCommandLine(&command_line, false);
    command_line.AppendSwitchASCII("initial-pid",
                                   std::to_string(GetCurrentProcessId()));
    command_line.AppendSwitchNative(
        "wait-for-package",
        (package_folder.empty() ? package() : package_folder).value() + u"\\");
    command_line.SetProgram(Host());
    first_backend_ =
        base::LaunchProcessFromCommandLine(command_line, base::LaunchOptions());
    ASSERT_TRUE(first_backend_.IsValid());
  }

  // Reads the mailslot until |done| holds (at most a minute).
  bool PumpUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 3000 && !done(); ++i) base::RunLoopFor(20);
    return done();
  }

  bool PumpUntilReady() {
    return PumpUntil([this] {
      return WaitForSingleObject(ready_event().Get(), 0) == WAIT_OBJECT_0;
    });
  }

  // The first backend's exit code, once everything it wrote has been
  // read.
  int FirstBackendExitCode() {
    int exit_code = -1;
    PumpUntil(
        [&] { return first_backend_.WaitForExitWithTimeout(0, &exit_code); });
    base::RunLoop flushed;
    receiver_.Flush(flushed.QuitClosure());
    flushed.Run();
    return exit_code;
  }

  // What this front end received, and each backend, for a failed step's
  // message.
  std::string Processes() const {
    std::string text = "\n=== messages received:";
    for (const std::string& event : front_end_.events()) text += " " + event;
    return text + DescribeProcess("first backend", first_backend_) +
           DescribeProcess("package backend", package_backend_);
  }

  size_t Count(const std::string& event) const {
    return static_cast<size_t>(std::count(front_end_.events().begin(),
                                          front_end_.events().end(), event));
  }

  bool WaitForGrantRecord(const std::vector<std::string>& lines) {
    return PumpUntil([&] { return test::ReadGrantRecord(grants_) == lines; });
  }

  base::FilePath grants_;
  base::win::ScopedHandle interrupted_;
  base::win::ScopedHandle package_ready_;
  std::unique_ptr<Settings> settings_;
  base::Process first_backend_;
  base::Process package_backend_;
  test::RecordingIpcDelegate front_end_;
  IpcReceiver receiver_{&front_end_};
};

TEST_F(HandOverTest, AFailedHandOverAfterAnElevatedInstallationIsTheOutcome) {
  WriteSeamsAndRights(Rights());
  ASSERT_TRUE(SetEvent(package_ready_.Get()));
  StartFirstBackend(u"--allusers=1");
  // The elevated copy installs through the package's backend; then the
  // package's installer is gone when this user's part is handed over.
  ASSERT_TRUE(PumpUntilReady()) << LogOf(first_backend_.Pid());
  ASSERT_TRUE(
      base::MoveFileOrDirectory(package().Append(kPackageInstallerName),
                                package().Append(u"installer_running.exe")));
  ASSERT_TRUE(SetEvent(go_event().Get()));
  EXPECT_EQ(1, FirstBackendExitCode()) << LogOf(first_backend_.Pid());

  EXPECT_EQ("new f1.txt", test::ReadFileContents(target().Append(u"f1.txt")));
  const std::vector<std::string>& events = front_end_.events();
  ASSERT_FALSE(events.empty());
  // The elevated run succeeded (its package backend's and its own
  // report), the hand-over after it failed: that error is the last word.
  EXPECT_EQ(2u, Count("Success"));
  EXPECT_EQ(1u, static_cast<size_t>(std::count_if(
                    events.begin(), events.end(), [](const std::string& e) {
                      return e.rfind("Error", 0) == 0;
                    })));
  EXPECT_EQ(
      "Error(37055,,Failed to start installer process from the package "
      "folder.)",
      events.back());
  const std::string log = LogOf(first_backend_.Pid());
  EXPECT_NE(std::string::npos, log.find("Running the installer elevated."));
  EXPECT_EQ(std::string::npos, log.find("Installation succeeded")) << log;
}

TEST_F(HandOverTest, ElevationThatCannotHappenFailsBeforeAnyChange) {
  const struct {
    const char* name;
    bool uac;
    const char* runas;
    const char* log_line;
    std::vector<std::string> expected;
  } cases[] = {
      {"refused prompt",
       true,
       "refuse",
       "Failed to run the elevated process",
       {"StartingNewMainProcess(0)",
        "Error(37061,,Elevated installation failed.)"}},
      {"UAC disabled",
       false,
       "launch",
       "Cannot elevate with UAC disabled",
       {"Error(37061,,Elevated installation failed.)"}},
  };
  const test::FileTreeSnapshot files = Files();
  const test::RegistrySnapshot registry = Registry();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rights rights;
    rights.uac = c.uac;
    rights.runas = c.runas;
    WriteSeamsAndRights(rights);
    const size_t before = front_end_.events().size();
    StartFirstBackend(u"--allusers=1");
    EXPECT_EQ(1, FirstBackendExitCode());
    EXPECT_EQ(c.expected,
              std::vector<std::string>(front_end_.events().begin() + before,
                                       front_end_.events().end()));
    EXPECT_NE(std::string::npos, LogOf(first_backend_.Pid()).find(c.log_line));
    EXPECT_EQ(files, Files());
    EXPECT_EQ(registry, Registry());
  }
}

// The elevated copy takes the package from a protected copy before it starts
// the package's installer: what the user changes in the package folder
// afterwards is not installed. It reports its crashes to the tree's
// reporter, and the copy goes once the package's installer has ended. (The
// package's installer is then gone for this user's own part, so that the
// test leaves no registration for the current user behind.)
TEST_F(HandOverTest, AnElevatedHandOverStartsThePackageFromAProtectedCopy) {
  WriteSeamsAndRights(Rights());
  ASSERT_TRUE(SetEvent(package_ready_.Get()));
  StartFirstBackend(u"--allusers=1");
  ASSERT_TRUE(PumpUntilReady()) << LogOf(first_backend_.Pid());
  base::Process elevated = test::FindChildProcess(first_backend_.Pid(), Host());
  ASSERT_TRUE(elevated.IsValid());
  package_backend_ = test::FindChildProcessBelow(
      elevated.Pid(), protected_root(), kPackageInstallerName);
  ASSERT_TRUE(package_backend_.IsValid()) << LogOf(elevated.Pid());
  ASSERT_TRUE(test::WriteTextFile(package().Append(u"f1.txt"), "planted"));
  ASSERT_TRUE(
      base::MoveFileOrDirectory(package().Append(kPackageInstallerName),
                                package().Append(u"installer_running.exe")));
  ASSERT_TRUE(SetEvent(go_event().Get()));
  EXPECT_EQ(1, FirstBackendExitCode()) << LogOf(elevated.Pid());
  // The elevated run succeeded: its package backend's and its own report.
  EXPECT_EQ(2u, Count("Success"));
  EXPECT_EQ("new f1.txt", test::ReadFileContents(target().Append(u"f1.txt")));
  // Only the start from the copy lets the front end remove its package
  // (the elevation and the first backend's own hand-over after it do not).
  EXPECT_EQ(1u, Count("StartingNewMainProcess(1)"));
  const std::string log = LogOf(elevated.Pid());
  EXPECT_NE(std::string::npos, log.find(" --crash-reporter-pid=")) << log;
  EXPECT_TRUE(base::FileEnumerator(protected_root(), false,
                                   base::FileEnumerator::DIRECTORIES)
                  .Next()
                  .empty());
}

// A package that an elevated front end unpacked into its protected folder
// is started where it lies: the elevated backend copies nothing, and does
// not let the front end remove the package while it is in use.
TEST_F(HandOverTest, AnElevatedBackendStartsAProtectedPackageInPlace) {
  Rights rights;
  rights.administrator = true;
  WriteSeamsAndRights(rights);
  const base::FilePath download_folder =
      protected_root().Append(u"Velna Installer 00000000000000d1");
  test::RecordedFolderSecurity security(security_record());
  ASSERT_TRUE(security.Create(download_folder, kProtectedFolderSecurity));
  // Held as its front end holds it, so that no sweep takes it for left.
  base::win::ScopedHandle held(
      CreateFileW(base::as_wcstr(download_folder.value()), FILE_LIST_DIRECTORY,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  ASSERT_TRUE(held.IsValid());
  const base::FilePath unpacked = download_folder.Append(u"package");
  ASSERT_TRUE(base::CopyDirectory(package(), unpacked));
  ASSERT_TRUE(SetEvent(package_ready_.Get()));
  ASSERT_TRUE(SetEvent(go_event().Get()));
  StartFirstBackend(u"", unpacked);
  EXPECT_EQ(0, FirstBackendExitCode()) << Processes();
  EXPECT_EQ("new f1.txt", test::ReadFileContents(target().Append(u"f1.txt")));
  const std::string log = LogOf(first_backend_.Pid());
  EXPECT_NE(std::string::npos, log.find("lies in a protected folder: using "
                                        "it in place"))
      << log;
  EXPECT_EQ(std::string::npos, log.find("Copying the package")) << log;
  EXPECT_EQ(0u, Count("StartingNewMainProcess(1)")) << Processes();
  EXPECT_EQ(1u, Count("StartingNewMainProcess(0)")) << Processes();
  // The package backend, started from it, copied nothing either.
  base::FileEnumerator folders(protected_root(), false,
                               base::FileEnumerator::DIRECTORIES);
  EXPECT_EQ(download_folder, folders.Next());
  EXPECT_TRUE(folders.Next().empty());
  EXPECT_TRUE(base::PathExists(unpacked.Append(kPackageInstallerName)));
}

// A signed engine's elevated copy starts no package installer that the
// signer check refuses (here the unsigned test host).
TEST_F(HandOverTest, ASignedElevatedCopyStartsNoUnsignedPackageInstaller) {
  Rights rights;
  rights.engine_signed = true;
  WriteSeamsAndRights(rights);
  ASSERT_TRUE(SetEvent(package_ready_.Get()));
  ASSERT_TRUE(SetEvent(go_event().Get()));
  StartFirstBackend(u"--allusers=1");
  EXPECT_EQ(1, FirstBackendExitCode()) << LogOf(first_backend_.Pid());
  EXPECT_EQ("old f1.txt", test::ReadFileContents(target().Append(u"f1.txt")));
  EXPECT_EQ(1u, Count("Error(37055,,Refusing the package: its file "
                      "installer.exe is not signed by " +
                      BrandingConfig::GetExpectedSigner() + ")"));
  EXPECT_EQ("Error(37055,,Installer process did not complete successfully.)",
            front_end_.events().back());
}

// A new folder for every user is made with its protected access list. A
// record planted there all the same (by its owner, or where the system
// keeps no access lists), held open so the failed backend cannot take it
// away, names other programs' keys: the clean-up refuses it, both stay.
TEST_F(HandOverTest, ARecordPlantedInANewFolderDeletesNoForeignKey) {
  const std::u16string hkcu_key = company_key().Path(u"Victim");
  const std::u16string hklm_key =
      u"Software\\VelnaTest\\" +
      base::UTF8ToUTF16(
          testing::UnitTest::GetInstance()->current_test_info()->name()) +
      u"\\Policy";
  for (const auto& [root, key] :
       {std::make_pair(HKEY_CURRENT_USER, hkcu_key),
        std::make_pair(HKEY_LOCAL_MACHINE, hklm_key)}) {
    base::win::RegKey victim;
    ASSERT_EQ(ERROR_SUCCESS, victim.Create(root, key.c_str(), KEY_SET_VALUE));
    ASSERT_EQ(ERROR_SUCCESS, victim.WriteValue(u"v", u"kept"));
  }
  Rights rights;
  rights.administrator = true;
  WriteSeamsAndRights(rights, true);
  ASSERT_TRUE(SetEvent(package_ready_.Get()));
  StartFirstBackend(u"--allusers=1");
  ASSERT_TRUE(PumpUntilReady()) << Processes();
  EXPECT_EQ(std::vector<std::u16string>{kProtectedFolderSecurity},
            test::RecordedFolderSecurity::History(security_record(),
                                                  install_folder()));
  EXPECT_TRUE(test::RecordedFolderSecurity::MadeWithFirst(security_record(),
                                                          install_folder()));

  InstallLog planted;
  planted.path = install_folder().value();
  planted.app_id = "1";
  planted.version = "1.0";
  planted.subfolder = u"1.0";
  planted.files = {u"velna.exe"};
  planted.hkcu_keys = {{1, base::UTF16ToUTF8(hkcu_key), {}}};
  planted.hklm_keys = {{1, base::UTF16ToUTF8(hklm_key), {}}};
  const base::FilePath record = install_folder().Append(kInstallLogFileName);
  XmlDocument document;
  ASSERT_TRUE(WriteInstallLog(&document, planted, record));
  base::win::ScopedHandle held(CreateFileW(base::as_wcstr(record.value()),
                                           GENERIC_READ, FILE_SHARE_READ,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held.IsValid());
  ASSERT_TRUE(SetEvent(go_event().Get()));
  EXPECT_EQ(1, FirstBackendExitCode()) << Processes();

  const std::string log = LogOf(first_backend_.Pid());
  for (const auto& [root, key] :
       {std::make_pair(HKEY_CURRENT_USER, hkcu_key),
        std::make_pair(HKEY_LOCAL_MACHINE, hklm_key)}) {
    EXPECT_TRUE(test::RegistryKeyExists(root, key)) << base::UTF16ToUTF8(key);
  }
  EXPECT_NE(std::string::npos,
            log.find("Refusing the installation status file " +
                     record.AsUTF8() + ": it names the registry key " +
                     "HKEY_CURRENT_USER\\" + base::UTF16ToUTF8(hkcu_key)))
      << log;
  held.Close();
  RegDeleteTreeW(HKEY_LOCAL_MACHINE,
                 base::as_wcstr(hklm_key.substr(0, hklm_key.rfind(u'\\'))));
}

// A user who may not write the install folder: the utility, elevated,
// waits for the package and then grants through the package's installer.
class FolderPermissionHandOverTest : public HandOverTest {
 protected:
  // The caller stops at a failed step.
  void RunToTheWaitingStep() {
    Rights rights;
    rights.record_grants = true;
    WriteSeamsAndRights(rights);
    ASSERT_TRUE(SetEvent(package_ready_.Get()));
    ASSERT_NO_FATAL_FAILURE(StartFirstBackend(u"--allusers=0"));
    ASSERT_TRUE(PumpUntilReady()) << Processes();
    package_backend_ = test::FindChildProcess(
        first_backend_.Pid(), package().Append(kPackageInstallerName));
    ASSERT_TRUE(package_backend_.IsValid()) << Processes();
    // Granted, to this user by its domain-qualified name, and not taken
    // back while the package's backend installs.
    const std::vector<std::string> record = test::ReadGrantRecord(grants_);
    ASSERT_EQ(1u, record.size()) << test::ReadFileContents(grants_);
    EXPECT_EQ(0u, record[0].find("grant "));
    EXPECT_NE(std::string::npos, record[0].find('\\')) << record[0];
    granted_line_ = record[0];
  }

  std::string granted_line_;
};

TEST_F(FolderPermissionHandOverTest, TheGrantEndsAfterThePackageBackend) {
  ASSERT_NO_FATAL_FAILURE(RunToTheWaitingStep());
  base::RunLoopFor(300);
  EXPECT_EQ(std::vector<std::string>{granted_line_},
            test::ReadGrantRecord(grants_));
  ASSERT_TRUE(SetEvent(go_event().Get()));
  int exit_code = -1;
  ASSERT_TRUE(package_backend_.WaitForExitWithTimeout(60000, &exit_code));
  EXPECT_EQ(0, exit_code);
  EXPECT_EQ(0, FirstBackendExitCode()) << LogOf(first_backend_.Pid());
  EXPECT_EQ("Success", front_end_.events().back());
  EXPECT_EQ("new f1.txt", test::ReadFileContents(target().Append(u"f1.txt")));
  // The package backend read the user's package: it must stay.
  EXPECT_EQ(1u, Count("StartingNewMainProcess(0)"));
  EXPECT_EQ(0u, Count("StartingNewMainProcess(1)"));
  EXPECT_TRUE(WaitForGrantRecord({granted_line_, "restore"}))
      << test::ReadFileContents(grants_);
}

TEST_F(FolderPermissionHandOverTest, AKilledBackendEndsTheGrant) {
  ASSERT_NO_FATAL_FAILURE(RunToTheWaitingStep());
  ASSERT_TRUE(first_backend_.Terminate(1, true));
  EXPECT_TRUE(WaitForGrantRecord({granted_line_, "restore"}))
      << test::ReadFileContents(grants_);
  // The front end stops what the killed backend started.
  ASSERT_TRUE(SetEvent(interrupted_.Get()));
  int exit_code = -1;
  ASSERT_TRUE(package_backend_.WaitForExitWithTimeout(60000, &exit_code));
  EXPECT_EQ(1, exit_code);
  EXPECT_EQ("old f1.txt", test::ReadFileContents(target().Append(u"f1.txt")));
}

// The shell's "runas" as the test system has it: the same token, but a
// process handle and its exit code come back.
TEST(InstallerRightsTest, TheRealElevatedLaunchRuns) {
  InstallerRights* rights = internal::GetRealInstallerRights();
  EXPECT_TRUE(rights->IsUacEnabled());
  base::Process process =
      rights->LaunchElevated(test::InstallerProcessTestBase::Host(),
                             u"--host-mode=exit --exit-code=7");
  ASSERT_TRUE(process.IsValid());
  int exit_code = -1;
  ASSERT_TRUE(process.WaitForExitWithTimeout(60000, &exit_code));
  EXPECT_EQ(7, exit_code);
}

// For a user who is no administrator the system policy decides whether
// elevation can be asked for; only an explicit 0 says no.
TEST(InstallerRightsTest, UacFollowsThePolicyForOtherUsers) {
  const std::u16string policies =
      u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
  test::ScopedRegistryRestore restore({{HKEY_LOCAL_MACHINE, policies}});
  base::win::ScopedHandle user_token =
      test::MakeRestrictedToken({WinBuiltinAdministratorsSid}, false);
  ASSERT_TRUE(user_token.IsValid());
  internal::ScopedAccessTokenForTesting as_user(user_token.Get());
  InstallerRights* rights = internal::GetRealInstallerRights();
  ASSERT_FALSE(rights->IsUserAdministrator(true));
  const struct {
    const char* name;
    bool write;
    DWORD value;
    bool enabled;
  } cases[] = {{"no value", false, 0, true},
               {"0", true, 0, false},
               {"1", true, 1, true},
               {"2", true, 2, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, base::as_wcstr(policies));
    base::win::RegKey key;
    ASSERT_EQ(ERROR_SUCCESS,
              key.Create(HKEY_LOCAL_MACHINE, policies.c_str(), KEY_SET_VALUE));
    if (c.write) {
      ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(u"EnableLUA", c.value));
    }
    EXPECT_EQ(c.enabled, rights->IsUacEnabled());
  }
}

}  // namespace
}  // namespace installer
