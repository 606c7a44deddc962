#include "desktop/windows/installer/core/folder_permission_win.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/command_line.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/json/json_writer.h"
#include "base/process/launch.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "base/test/scoped_temp_dir.h"
#include "base/test/scoped_unix_link_win.h"
#include "base/values.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/core/protected_folder_win.h"
#include "desktop/windows/installer/core/protected_package_win.h"
#include "desktop/windows/installer/service/access_control.h"
#include "desktop/windows/installer/service/folder_security_win.h"
#include "desktop/windows/installer/service/name_utils.h"
#include "desktop/windows/installer/service/test/machine_state_snapshot.h"
#include "desktop/windows/installer/service/test/recorded_folder_security_win.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// Records the grants and restores instead of changing access lists, which
// the test system neither stores nor enforces.
class RecordingEditor : public FolderAccessEditor {
 public:
  explicit RecordingEditor(bool grant_succeeds = true)
      : grant_succeeds_(grant_succeeds) {}

  bool GrantFullAccess(const base::FilePath& folder, const std::u16string& user,
                       std::unique_ptr<SavedSecurity>* previous) override {
    ++grants;
    granted_folder = folder;
    granted_user = user;
    folder_existed = base::DirectoryExists(folder);
    if (!grant_succeeds_) return false;
    *previous = std::make_unique<SavedSecurity>(folder.value(), SE_FILE_OBJECT,
                                                nullptr, nullptr);
    return true;
  }
  bool Restore(std::unique_ptr<SavedSecurity>* previous) override {
    restored_folder = (*previous)->object_name();
    previous->reset();
    ++restores;
    return true;
  }

  std::atomic<int> grants{0};
  std::atomic<int> restores{0};
  base::FilePath granted_folder;
  std::u16string granted_user;
  std::u16string restored_folder;
  bool folder_existed = false;

 private:
  const bool grant_succeeds_;
};

// The two handshake events of one folder, as the backend creates them.
struct Handshake {
  explicit Handshake(const base::FilePath& folder)
      : granted(CreateEventW(
            nullptr, FALSE, FALSE,
            base::as_wcstr(MakeKernelObjectName(
                folder.value(), kGiveInstallPermissionEvent, false)))),
        undo(CreateEventW(
            nullptr, FALSE, FALSE,
            base::as_wcstr(MakeKernelObjectName(
                folder.value(), kGiveInstallPermissionUndoEvent, false)))) {}
  base::win::ScopedHandle granted;
  base::win::ScopedHandle undo;
};

base::CommandLine GrantCommandLine(const base::FilePath& folder,
                                   const std::u16string& extra) {
  base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
  command_line.ParseFromString(u"installer.exe --set-folder-permission=\"" +
                               folder.value() +
                               u"\" --permissions-for-user=someone " + extra);
  return command_line;
}

base::Process StartWaitingHost() {
  return base::LaunchProcess(u"\"" + base::GetTestExecutableFolder() +
                                 u"installer_test_host.exe\" --host-mode=wait",
                             base::LaunchOptions());
}

FolderPermissionOptions Options(RecordingEditor* editor) {
  FolderPermissionOptions options;
  options.undo_delay = base::TimeDelta();
  options.editor = editor;
  return options;
}

// Runs the utility on a thread of its own; Join() waits for its end.
class UtilityThread {
 public:
  UtilityThread(const base::CommandLine& command_line,
                const FolderPermissionOptions& options)
      : thread_([command_line, options, this] {
          RunSetFolderPermission(command_line, options);
          done_ = true;
        }) {}
  ~UtilityThread() { Join(); }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  bool done() const { return done_; }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

TEST(FolderPermissionTest, TemporaryGrantEndsWithTheUndoEvent) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  const base::FilePath folder = dir.GetPath().Append(u"new folder");
  Handshake handshake(folder);
  RecordingEditor editor;
  UtilityThread utility(GrantCommandLine(folder, u""), Options(&editor));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(handshake.granted.Get(), 60000));
  EXPECT_EQ(1, editor.grants.load());
  EXPECT_EQ(folder, editor.granted_folder);
  EXPECT_EQ(u"someone", editor.granted_user);
  // The folder is made before the grant.
  EXPECT_TRUE(editor.folder_existed);
  EXPECT_FALSE(utility.done());
  EXPECT_EQ(0, editor.restores.load());
  ASSERT_TRUE(SetEvent(handshake.undo.Get()));
  utility.Join();
  EXPECT_EQ(1, editor.restores.load());
  EXPECT_EQ(folder.value(), editor.restored_folder);
}

TEST(FolderPermissionTest, TemporaryGrantEndsWhenAServedProcessEnds) {
  for (const char16_t* pid_switch : {u"initial-pid", u"parent-pid"}) {
    SCOPED_TRACE(base::UTF16ToUTF8(pid_switch));
    base::ScopedTempDir dir;
    ASSERT_TRUE(dir.CreateUniqueTempDir());
    Handshake handshake(dir.GetPath());
    base::Process served = StartWaitingHost();
    ASSERT_TRUE(served.IsValid());
    RecordingEditor editor;
    UtilityThread utility(
        GrantCommandLine(dir.GetPath(), u"--" + std::u16string(pid_switch) +
                                            u"=" +
                                            base::UintToString16(served.Pid())),
        Options(&editor));
    ASSERT_EQ(WAIT_OBJECT_0,
              WaitForSingleObject(handshake.granted.Get(), 60000));
    EXPECT_EQ(0, editor.restores.load());
    // The backend dies without signalling Undo.
    ASSERT_TRUE(served.Terminate(1, true));
    utility.Join();
    EXPECT_EQ(1, editor.restores.load());
  }
}

TEST(FolderPermissionTest, AParentPidThatIsNoProcessIdIsIgnored) {
  for (const char16_t* value : {u"notanumber", u"0", u""}) {
    SCOPED_TRACE(base::UTF16ToUTF8(value));
    base::ScopedTempDir dir;
    ASSERT_TRUE(dir.CreateUniqueTempDir());
    Handshake handshake(dir.GetPath());
    RecordingEditor editor;
    UtilityThread utility(
        GrantCommandLine(dir.GetPath(),
                         u"--parent-pid=" + std::u16string(value)),
        Options(&editor));
    ASSERT_EQ(WAIT_OBJECT_0,
              WaitForSingleObject(handshake.granted.Get(), 60000));
    // The grant stays for the installation: only Undo ends it.
    Sleep(300);
    EXPECT_FALSE(utility.done());
    EXPECT_EQ(0, editor.restores.load());
    ASSERT_TRUE(SetEvent(handshake.undo.Get()));
    utility.Join();
    EXPECT_EQ(1, editor.restores.load());
  }
}

TEST(FolderPermissionTest, GrantOutcomes) {
  struct {
    const char* name;
    std::u16string extra;
    bool create_events;
    bool grant_succeeds;
    int grants;
    bool granted_signalled;
    int restores;
  } cases[] = {
      // Permanent: signalled, never taken back.
      {"permanent", u"--permanent-permissions", true, true, 1, true, 0},
      // A served process id that names nothing: the grant is taken back at
      // once.
      {"bad pid", u"--initial-pid=notanumber", true, true, 1, true, 1},
      {"ended parent", u"--parent-pid=4000000000", true, true, 1, true, 1},
      // Without the backend's events nothing is granted.
      {"no events", u"", false, true, 0, false, 0},
      // A failed grant is not announced and has nothing to restore.
      {"grant fails", u"", true, false, 1, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    base::ScopedTempDir dir;
    ASSERT_TRUE(dir.CreateUniqueTempDir());
    std::unique_ptr<Handshake> handshake;
    if (c.create_events) handshake = std::make_unique<Handshake>(dir.GetPath());
    RecordingEditor editor(c.grant_succeeds);
    UtilityThread(GrantCommandLine(dir.GetPath(), c.extra), Options(&editor))
        .Join();
    EXPECT_EQ(c.grants, editor.grants.load());
    EXPECT_EQ(c.restores, editor.restores.load());
    if (handshake) {
      EXPECT_EQ(
          c.granted_signalled,
          WaitForSingleObject(handshake->granted.Get(), 0) == WAIT_OBJECT_0);
    }
  }
}

TEST(FolderPermissionTest, NothingWithoutAUser) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  Handshake handshake(dir.GetPath());
  RecordingEditor editor;
  base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
  command_line.ParseFromString(u"installer.exe --set-folder-permission=\"" +
                               dir.GetPath().value() + u"\"");
  RunSetFolderPermission(command_line, Options(&editor));
  EXPECT_EQ(0, editor.grants.load());
}

// The waiting form with a package ready in a folder of the user's: the
// package's folder holds the test host as "installer.exe", which records the
// command line it was started with. The copies of the package go to a
// protected root of this test, and their access lists to a record.
class WaitingFormTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.CreateUniqueTempDir());
    folder_ = dir().Append(u"install");
    package_ = dir().Append(u"package");
    protected_root_ = dir().Append(u"protected");
    record_ = dir().Append(u"record.txt");
    security_ = std::make_unique<test::RecordedFolderSecurity>(
        dir().Append(u"security.txt"));
    ASSERT_TRUE(base::FileUtil::CreateDirectory(package_));
    ASSERT_TRUE(base::FileUtil::CreateDirectory(protected_root_));
    ASSERT_TRUE(CopyFileW(
        base::as_wcstr(base::GetTestExecutableFolder() +
                       u"installer_test_host.exe"),
        base::as_wcstr(package_.Append(u"installer.exe").value()), FALSE));
    ASSERT_EQ(
        4, base::WriteBufferToFile(package_.Append(u"files_list"), "a\r\n", 4));
    ASSERT_TRUE(SetEnvironmentVariableW(L"VELNA_TEST_HOST_RECORD",
                                        base::as_wcstr(record_.value())));
    internal::SetProtectedFolderRootForTesting(protected_root_);
    internal::SetFolderSecurityForTesting(security_.get());
    ready_.Set(CreateEventW(nullptr, TRUE, FALSE,
                            base::as_wcstr(MakeKernelObjectName(
                                folder_.value(), kPackageReadyEvent, true))));
    interrupted_.Set(CreateEventW(
        nullptr, TRUE, FALSE,
        base::as_wcstr(MakeKernelObjectName(
            folder_.value(), kInstallationInterruptedEvent, true))));
    ASSERT_TRUE(ready_.IsValid());
    ASSERT_TRUE(interrupted_.IsValid());
    ASSERT_TRUE(SetEvent(ready_.Get()));
  }

  void TearDown() override {
    SetEnvironmentVariableW(L"VELNA_TEST_HOST_RECORD", nullptr);
    internal::SetProtectedFolderRootForTesting(base::FilePath());
    internal::SetFolderSecurityForTesting(nullptr);
    internal::SetEngineSignedForTesting(-1);
  }

  const base::FilePath& dir() const { return dir_.GetPath(); }

  // Runs the utility's waiting form to its end.
  void RunWaitingForm() {
    RecordingEditor editor;
    base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
    command_line.ParseFromString(
        u"installer.exe --crash-reporter-pid=77 --set-folder-permission=\"" +
        folder_.value() +
        u"\" --permissions-for-user=someone --wait-for-package=\"" +
        package_.value() + u"\\\\\" --initial-pid=" +
        base::UintToString16(GetCurrentProcessId()) + u" --parent-pid=5");
    RunSetFolderPermission(command_line, Options(&editor));
    // This process granted nothing itself.
    EXPECT_EQ(0, editor.grants.load());
  }

  base::ScopedTempDir dir_;
  base::FilePath folder_;
  base::FilePath package_;
  base::FilePath protected_root_;
  base::FilePath record_;
  std::unique_ptr<test::RecordedFolderSecurity> security_;
  base::win::ScopedHandle ready_;
  base::win::ScopedHandle interrupted_;
};

// The package's installer is started with the switches it needs once the
// package is ready: from a protected copy of the package, which goes when
// it has ended.
TEST_F(WaitingFormTest, StartsThePackageInstallerFromAProtectedCopy) {
  internal::SetEngineSignedForTesting(0);
  RunWaitingForm();
  std::string recorded;
  ASSERT_TRUE(base::FileUtil::ReadFileToString(record_, &recorded));
  base::CommandLine started(base::CommandLine::NO_PROGRAM);
  started.ParseFromString(base::UTF8ToUTF16(recorded));
  const base::FilePath copy = started.GetProgram().DirName();
  EXPECT_EQ(u"installer.exe", started.GetProgram().BaseName().value());
  EXPECT_EQ(protected_root_, copy.DirName());
  EXPECT_EQ(std::vector<std::u16string>{kProtectedFolderSecurity},
            test::RecordedFolderSecurity::History(dir().Append(u"security.txt"),
                                                  copy));
  EXPECT_FALSE(base::PathExists(copy));
  EXPECT_EQ(u"77", started.GetSwitchValueNative("crash-reporter-pid"));
  EXPECT_EQ(folder_.value(),
            started.GetSwitchValueNative("set-folder-permission"));
  EXPECT_EQ(u"someone", started.GetSwitchValueNative("permissions-for-user"));
  EXPECT_FALSE(started.HasSwitch("permanent-permissions"));
  EXPECT_FALSE(started.HasSwitch("wait-for-package"));
  // The processes it serves travel on, so that its grant ends with them.
  EXPECT_EQ(base::UintToString16(GetCurrentProcessId()),
            started.GetSwitchValueNative("initial-pid"));
  EXPECT_EQ(u"5", started.GetSwitchValueNative("parent-pid"));
}

// A signed engine starts no package installer that its signer check refuses
// (here an unsigned one, as anyone can put into the user's folder once the
// package is ready).
TEST_F(WaitingFormTest, ASignedEngineStartsNoUnsignedPackageInstaller) {
  internal::SetEngineSignedForTesting(1);
  RunWaitingForm();
  EXPECT_FALSE(base::PathExists(record_));
  // The refused copy is gone too.
  EXPECT_TRUE(base::FileEnumerator(protected_root_, false,
                                   base::FileEnumerator::FILES |
                                       base::FileEnumerator::DIRECTORIES)
                  .Next()
                  .empty());
}

TEST(FolderPermissionTest, WaitingFormEndsWhenTheInstallationIsInterrupted) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  const base::FilePath folder = dir.GetPath();
  base::win::ScopedHandle ready(
      CreateEventW(nullptr, TRUE, FALSE,
                   base::as_wcstr(MakeKernelObjectName(
                       folder.value(), kPackageReadyEvent, true))));
  base::win::ScopedHandle interrupted(
      CreateEventW(nullptr, TRUE, TRUE,
                   base::as_wcstr(MakeKernelObjectName(
                       folder.value(), kInstallationInterruptedEvent, true))));
  RecordingEditor editor;
  base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
  command_line.ParseFromString(
      u"installer.exe --set-folder-permission=\"" + folder.value() +
      u"\" --permissions-for-user=someone --wait-for-package=\"" +
      folder.value() + u"\\\\\" --initial-pid=" +
      base::UintToString16(GetCurrentProcessId()));
  // Returns at once: the wait ends on the interruption, nothing starts.
  RunSetFolderPermission(command_line, Options(&editor));
  EXPECT_EQ(0, editor.grants.load());
  EXPECT_FALSE(base::PathExists(folder.Append(u"installer.exe")));
}

// Has the utilities this process starts record their folder grants in
// |dir| and make their protected folders in |protected_root|, until the
// variable is cleared.
bool SetUtilitySeams(const base::FilePath& dir,
                     const base::FilePath& protected_root) {
  base::DictionaryValue seams;
  seams.SetString("folder_grants", dir.Append(u"grants.txt").value());
  seams.SetString("protected_root", protected_root.value());
  std::string json;
  const base::FilePath file = dir.Append(u"seams.json");
  return base::JSONWriter::Write(seams, &json) &&
         base::WriteBufferToFile(file, json.data(),
                                 static_cast<int>(json.size())) ==
             static_cast<int>(json.size()) &&
         SetEnvironmentVariableW(L"VELNA_TEST_INSTALLER_SEAMS",
                                 base::as_wcstr(file.value()));
}

// Whether |folder| holds nothing.
bool IsEmptyFolder(const base::FilePath& folder) {
  return base::FileEnumerator(
             folder, false,
             base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES)
      .Next()
      .empty();
}

// The utility of an uninstallation runs a clean-up batch file only after an
// installation it granted access for has ended, and only the one it wrote
// into a protected folder: never a "k.bat" the user planted in the granted
// folder or beside the utility, and never without a grant. Its batch file
// removes the granted folder once empty, then its own. The test host runs
// the entry point as installer.exe does, grants recorded (and taken back).
TEST(FolderPermissionBatchTest, OnlyItsOwnBatchRunsAfterTheGrant) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  const base::FilePath app = dir.GetPath().Append(u"app");
  const base::FilePath folder = dir.GetPath().Append(u"install");
  const base::FilePath protected_root = dir.GetPath().Append(u"protected");
  const base::FilePath marker = dir.GetPath().Append(u"marker.txt");
  for (const base::FilePath& path : {app, folder, protected_root})
    ASSERT_TRUE(base::FileUtil::CreateDirectory(path));
  const base::FilePath utility = app.Append(u"installer.exe");
  ASSERT_TRUE(CopyFileW(base::as_wcstr(base::GetTestExecutableFolder() +
                                       u"installer_test_host.exe"),
                        base::as_wcstr(utility.value()), FALSE));
  auto plant = [&marker](const base::FilePath& where, const char* letter) {
    const std::string batch =
        std::string("@echo ") + letter + ">> \"" + marker.AsUTF8() + "\"\r\n";
    return base::WriteBufferToFile(where.Append(u"k.bat"), batch.data(),
                                   static_cast<int>(batch.size())) ==
           static_cast<int>(batch.size());
  };
  ASSERT_TRUE(plant(app, "A"));
  base::LaunchOptions options;
  ASSERT_TRUE(SetUtilitySeams(dir.GetPath(), protected_root));
  base::Process served = StartWaitingHost();
  ASSERT_TRUE(served.IsValid());
  const std::u16string arguments =
      u" --set-folder-permission=\"" + folder.value() +
      u"\" --permissions-for-user=someone --run-uninstall-bat --initial-pid=" +
      base::UintToString16(served.Pid());

  // Without the backend's events nothing is granted, and nothing runs.
  base::Process unserved =
      base::LaunchProcess(u"\"" + utility.value() + u"\"" + arguments, options);
  ASSERT_TRUE(unserved.IsValid());
  int exit_code = -1;
  ASSERT_TRUE(unserved.WaitForExitWithTimeout(60000, &exit_code));
  EXPECT_EQ(0, exit_code);
  EXPECT_TRUE(IsEmptyFolder(protected_root));

  // Granted; a process of the user plants its own batch file in the folder
  // (in the first round), then the installation ends with the Undo event.
  for (bool planted : {true, false}) {
    SCOPED_TRACE(planted);
    Handshake handshake(folder);
    base::Process granting = base::LaunchProcess(
        u"\"" + utility.value() + u"\"" + arguments, options);
    ASSERT_TRUE(granting.IsValid());
    ASSERT_EQ(WAIT_OBJECT_0,
              WaitForSingleObject(handshake.granted.Get(), 60000));
    if (planted) {
      ASSERT_TRUE(plant(folder, "B"));
    }
    ASSERT_TRUE(SetEvent(handshake.undo.Get()));
    ASSERT_TRUE(granting.WaitForExitWithTimeout(60000, &exit_code));
    // Its own batch file ran from a protected folder, which goes with it.
    for (int i = 0; i < 600 && !IsEmptyFolder(protected_root); ++i) Sleep(100);
    EXPECT_TRUE(IsEmptyFolder(protected_root));
    EXPECT_EQ(planted, base::DirectoryExists(folder));
    if (planted) {
      EXPECT_TRUE(base::PathExists(folder.Append(u"k.bat")));
      ASSERT_TRUE(base::DeleteFileOrDirectory(folder.Append(u"k.bat"), false));
    }
  }
  EXPECT_FALSE(base::PathExists(marker)) << test::ReadFileContents(marker);
  EXPECT_TRUE(base::PathExists(app.Append(u"k.bat")));
  served.Terminate(0, true);
  SetEnvironmentVariableW(L"VELNA_TEST_INSTALLER_SEAMS", nullptr);
}

// What an uninstallation under a temporary grant could not remove, the
// programs it ran from, goes with the utility's own batch file once the
// grant has ended, if the record went: the folder's launcher and the
// version's installer, which is the utility itself. A file of the user's
// stays, and so does the folder that holds it. While a record is there
// (the uninstallation failed, or an install began), nothing goes.
TEST(FolderPermissionBatchTest, TheUninstallersProgramsGoOnceTheRecordIsGone) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  const base::FilePath folder = dir.GetPath().Append(u"install");
  const base::FilePath protected_root = dir.GetPath().Append(u"protected");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(protected_root));
  const base::FilePath version = folder.Append(u"41.0.2353.23");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(version));
  const base::FilePath utility = version.Append(u"installer.exe");
  ASSERT_TRUE(CopyFileW(base::as_wcstr(base::GetTestExecutableFolder() +
                                       u"installer_test_host.exe"),
                        base::as_wcstr(utility.value()), FALSE));
  const base::FilePath launcher = folder.Append(u"launcher.exe");
  const base::FilePath users = folder.Append(u"notes.txt");
  const base::FilePath record = folder.Append(u"installation_status.xml");
  for (const base::FilePath& file : {launcher, users, record}) {
    ASSERT_EQ(2, base::WriteBufferToFile(file, "MZ", 2));
  }
  ASSERT_TRUE(SetUtilitySeams(dir.GetPath(), protected_root));
  base::Process served = StartWaitingHost();
  ASSERT_TRUE(served.IsValid());
  for (bool record_stays : {true, false}) {
    SCOPED_TRACE(record_stays);
    if (!record_stays) {
      ASSERT_TRUE(base::DeleteFileOrDirectory(record, false));
    }
    Handshake handshake(folder);
    base::Process granting = base::LaunchProcess(
        u"\"" + utility.value() + u"\" --set-folder-permission=\"" +
            folder.value() +
            u"\" --permissions-for-user=someone --run-uninstall-bat "
            u"--initial-pid=" +
            base::UintToString16(served.Pid()),
        base::LaunchOptions());
    ASSERT_TRUE(granting.IsValid());
    ASSERT_EQ(WAIT_OBJECT_0,
              WaitForSingleObject(handshake.granted.Get(), 60000));
    ASSERT_TRUE(SetEvent(handshake.undo.Get()));
    int exit_code = -1;
    ASSERT_TRUE(granting.WaitForExitWithTimeout(60000, &exit_code));
    for (int i = 0; i < 600 && !IsEmptyFolder(protected_root); ++i) Sleep(100);
    EXPECT_TRUE(IsEmptyFolder(protected_root));
    EXPECT_EQ(record_stays, base::PathExists(launcher));
    EXPECT_EQ(record_stays, base::PathExists(utility));
    EXPECT_EQ(record_stays, base::DirectoryExists(version));
    EXPECT_EQ(record_stays, base::PathExists(record));
    EXPECT_TRUE(base::PathExists(users));
  }
  served.Terminate(0, true);
  SetEnvironmentVariableW(L"VELNA_TEST_INSTALLER_SEAMS", nullptr);
}

// The version folder an uninstallation under a temporary grant ran from
// was made under the grant: its user may change it once the utility has
// ended. The utility's batch file then names nothing in the install
// folder: the programs it removes are in its own protected folder by then,
// and the folders they emptied are gone before the utility ends, so a link
// put in the install folder's place leads it nowhere.
TEST(FolderPermissionBatchTest, ALinkMadeAfterTheUtilityEndedLeadsNowhere) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  const base::FilePath folder = dir.GetPath().Append(u"install");
  const base::FilePath protected_root = dir.GetPath().Append(u"protected");
  const base::FilePath victim = dir.GetPath().Append(u"victim");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(protected_root));
  ASSERT_TRUE(base::FileUtil::CreateDirectory(victim));
  const base::FilePath version = folder.Append(u"41.0.2353.23");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(version));
  const base::FilePath utility = version.Append(u"installer.exe");
  ASSERT_TRUE(CopyFileW(base::as_wcstr(base::GetTestExecutableFolder() +
                                       u"installer_test_host.exe"),
                        base::as_wcstr(utility.value()), FALSE));
  ASSERT_EQ(2,
            base::WriteBufferToFile(victim.Append(u"installer.exe"), "MZ", 2));
  // As a batch file's "rmdir" there would remove it.
  ASSERT_TRUE(base::FileUtil::CreateDirectory(
      victim.Append(version.BaseName().value())));
  const test::FileTreeSnapshot victim_before =
      test::TakeFileTreeSnapshot(victim);
  ASSERT_TRUE(SetUtilitySeams(dir.GetPath(), protected_root));
  base::Process served = StartWaitingHost();
  ASSERT_TRUE(served.IsValid());
  Handshake handshake(folder);
  base::Process granting = base::LaunchProcess(
      u"\"" + utility.value() + u"\" --set-folder-permission=\"" +
          folder.value() +
          u"\" --permissions-for-user=someone --run-uninstall-bat "
          u"--initial-pid=" +
          base::UintToString16(served.Pid()),
      base::LaunchOptions());
  ASSERT_TRUE(granting.IsValid());
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(handshake.granted.Get(), 60000));
  ASSERT_TRUE(SetEvent(handshake.undo.Get()));
  int exit_code = -1;
  ASSERT_TRUE(granting.WaitForExitWithTimeout(60000, &exit_code));
  EXPECT_FALSE(base::PathExists(folder));
  // At once, before the batch file's next look: the install folder moved
  // away (if it is still there) and a link to another folder in its place.
  base::MoveFileOrDirectory(folder, dir.GetPath().Append(u"moved"));
  base::ScopedUnixLink link;
  ASSERT_TRUE(link.Make(folder, victim));
  for (int i = 0; i < 600 && !IsEmptyFolder(protected_root); ++i) Sleep(100);
  EXPECT_TRUE(IsEmptyFolder(protected_root));
  EXPECT_EQ(victim_before, test::TakeFileTreeSnapshot(victim));
  ASSERT_TRUE(link.Remove());
  served.Terminate(0, true);
  SetEnvironmentVariableW(L"VELNA_TEST_INSTALLER_SEAMS", nullptr);
}

}  // namespace
}  // namespace installer
