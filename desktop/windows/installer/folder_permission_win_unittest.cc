#include "desktop/windows/installer/folder_permission_win.h"

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/process/launch.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "base/test/scoped_temp_dir.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/access_control.h"
#include "desktop/windows/installer/service/name_utils.h"
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

// The package's installer is started with the switches it needs once the
// package is ready.
TEST(FolderPermissionTest, WaitingFormStartsThePackageInstaller) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  const base::FilePath folder = dir.GetPath().Append(u"install");
  const base::FilePath package = dir.GetPath().Append(u"package");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(package));
  ASSERT_TRUE(CopyFileW(
      base::as_wcstr(base::GetTestExecutableFolder() +
                     u"installer_test_host.exe"),
      base::as_wcstr(package.Append(u"installer.exe").value()), FALSE));
  const base::FilePath record = dir.GetPath().Append(u"record.txt");
  ASSERT_TRUE(SetEnvironmentVariableW(L"VELNA_TEST_HOST_RECORD",
                                      base::as_wcstr(record.value())));
  base::win::ScopedHandle ready(
      CreateEventW(nullptr, TRUE, FALSE,
                   base::as_wcstr(MakeKernelObjectName(
                       folder.value(), kPackageReadyEvent, true))));
  base::win::ScopedHandle interrupted(
      CreateEventW(nullptr, TRUE, FALSE,
                   base::as_wcstr(MakeKernelObjectName(
                       folder.value(), kInstallationInterruptedEvent, true))));
  ASSERT_TRUE(ready.IsValid());
  ASSERT_TRUE(interrupted.IsValid());
  ASSERT_TRUE(SetEvent(ready.Get()));

  RecordingEditor editor;
  base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
  command_line.ParseFromString(
      u"installer.exe --crash-reporter-pid=77 --set-folder-permission=\"" +
      folder.value() +
      u"\" --permissions-for-user=someone --wait-for-package=\"" +
      package.value() + u"\\\\\" --initial-pid=" +
      base::UintToString16(GetCurrentProcessId()) + u" --parent-pid=5");
  RunSetFolderPermission(command_line, Options(&editor));
  SetEnvironmentVariableW(L"VELNA_TEST_HOST_RECORD", nullptr);

  // This process granted nothing itself.
  EXPECT_EQ(0, editor.grants.load());
  std::string recorded;
  ASSERT_TRUE(base::FileUtil::ReadFileToString(record, &recorded));
  base::CommandLine started(base::CommandLine::NO_PROGRAM);
  started.ParseFromString(base::UTF8ToUTF16(recorded));
  EXPECT_EQ(package.Append(u"installer.exe"), started.GetProgram());
  EXPECT_EQ(u"77", started.GetSwitchValueNative("crash-reporter-pid"));
  EXPECT_EQ(folder.value(),
            started.GetSwitchValueNative("set-folder-permission"));
  EXPECT_EQ(u"someone", started.GetSwitchValueNative("permissions-for-user"));
  EXPECT_FALSE(started.HasSwitch("permanent-permissions"));
  EXPECT_FALSE(started.HasSwitch("wait-for-package"));
  // The processes it serves travel on, so that its grant ends with them.
  EXPECT_EQ(base::UintToString16(GetCurrentProcessId()),
            started.GetSwitchValueNative("initial-pid"));
  EXPECT_EQ(u"5", started.GetSwitchValueNative("parent-pid"));
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

}  // namespace
}  // namespace installer
