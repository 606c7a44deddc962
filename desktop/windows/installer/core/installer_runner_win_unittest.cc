// The front end's runner with stand-in backends: the test host copied as
// the package's "installer.exe" (or as this front end's own executable)
// records its command line, waits for the test's release event and ends
// with the exit code the test chose. Messages are written into the
// runner's mailslot by the test, as any process could.

#include <windows.h>

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/base_paths.h"
#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/path_service.h"
#include "base/run_loop.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/common/installer_names.h"
#include "desktop/windows/installer/common/installer_switches.h"
#include "desktop/windows/installer/core/folder_permission_win.h"
#include "desktop/windows/installer/core/installer_runner.h"
#include "desktop/windows/installer/core/settings.h"
#include "desktop/windows/installer/ipc/installer_message.h"
#include "desktop/windows/installer/service/name_utils.h"
#include "desktop/windows/installer/service/test/machine_state_snapshot.h"
#include "desktop/windows/installer/test/installation_test_util.h"
#include "desktop/windows/installer/test/installer_test_host.h"
#include "desktop/windows/installer/test/process_test_util_win.h"
#include "desktop/windows/installer/test/recording_installer_observer.h"
#include "desktop/windows/installer/test/settings_fixture.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

std::u16string Quoted(const base::FilePath& path) {
  return u"\"" + path.value() + u"\"";
}

// Holds a named mutex on a thread of its own until destroyed.
class MutexHolder {
 public:
  explicit MutexHolder(const std::u16string& name)
      : thread_([this, name] {
          HANDLE mutex = CreateMutexW(nullptr, TRUE, base::as_wcstr(name));
          {
            std::lock_guard<std::mutex> lock(lock_);
            held_ = true;
          }
          changed_.notify_all();
          std::unique_lock<std::mutex> lock(lock_);
          changed_.wait(lock, [this] { return release_; });
          ReleaseMutex(mutex);
          CloseHandle(mutex);
        }) {
    std::unique_lock<std::mutex> lock(lock_);
    changed_.wait(lock, [this] { return held_; });
  }
  ~MutexHolder() {
    {
      std::lock_guard<std::mutex> lock(lock_);
      release_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  bool held_ = false;
  bool release_ = false;
  std::thread thread_;
};

class InstallerRunnerTest : public test::SettingsTestBase {
 protected:
  void SetUp() override {
    SettingsTestBase::SetUp();
    const base::FilePath host(base::GetTestExecutableFolder() +
                              u"installer_test_host.exe");
    package_ = dir().Append(u"package");
    install_folder_ = dir().Append(u"install");
    front_end_ = dir().Append(u"front\\setup.exe");
    record_ = dir().Append(u"record.txt");
    ASSERT_TRUE(base::FileUtil::CreateDirectory(package_));
    ASSERT_TRUE(base::FileUtil::CreateDirectory(front_end_.DirName()));
    ASSERT_TRUE(
        base::CopyOneFile(host, package_.Append(kPackageInstallerName)));
    ASSERT_TRUE(base::CopyOneFile(host, front_end_));
    ASSERT_TRUE(base::PathService::OverrideAndCreateIfNeeded(
        base::FILE_EXE, front_end_, true, false));
    const std::u16string suffix =
        base::UTF8ToUTF16(std::to_string(GetCurrentProcessId()));
    release_name_ = u"Local\\VelnaRunnerTestRelease" + suffix;
    release_.Set(
        CreateEventW(nullptr, TRUE, FALSE, base::as_wcstr(release_name_)));
    ASSERT_TRUE(release_.IsValid());
    // The stand-in records, waits for the release and ends.
    SetEnvironmentVariableW(test::kHostSeamsVariable, nullptr);
    SetEnvironmentVariableW(test::kHostRecordVariable,
                            base::as_wcstr(record_.value()));
    SetEnvironmentVariableW(test::kHostReleaseEventVariable,
                            base::as_wcstr(release_name_));
    SetExitCode(0);
  }

  void TearDown() override {
    SetEvent(release_.Get());
    runner_.reset();
    base::PathService::RemoveOverrideForTesting(base::FILE_EXE);
    SetEnvironmentVariableW(test::kHostRecordVariable, nullptr);
    SetEnvironmentVariableW(test::kHostReleaseEventVariable, nullptr);
    SetEnvironmentVariableW(test::kHostExitCodeVariable, nullptr);
  }

  void SetExitCode(int code) {
    SetEnvironmentVariableW(
        test::kHostExitCodeVariable,
        base::as_wcstr(base::UTF8ToUTF16(std::to_string(code))));
  }

  void MakeRunner(const std::u16string& arguments = u"") {
    settings_ = MakeSettings(u"--installfolder=" + Quoted(install_folder_) +
                             u" " + arguments);
    runner_ = std::make_unique<InstallerRunner>(package_);
    runner_->AddObserver(&observer_);
  }

  // Runs the loop until |done| holds (checked every 10 ms), at most 60 s.
  bool RunUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 6000 && !done(); ++i) {
      base::RunLoop run_loop;
      base::MessageLoop::current()->PostDelayedTask(
          CURRENT_LOCATION, run_loop.QuitClosure(),
          base::TimeDelta::FromMilliseconds(10));
      run_loop.Run();
    }
    return done();
  }

  bool RunUntilTerminated() {
    return RunUntil([this] {
      return !observer_.events().empty() &&
             observer_.events().back().rfind("InstallerTerminated", 0) == 0;
    });
  }

  // The stand-in's command line, once it has written it.
  base::CommandLine Recorded() {
    EXPECT_TRUE(RunUntil([this] { return base::PathExists(record_); }));
    // Written in one go; read until it parses whole.
    std::string text;
    RunUntil([&] {
      return base::FileUtil::ReadFileToString(record_, &text) && !text.empty();
    });
    base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
    command_line.ParseFromString(base::UTF8ToUTF16(text));
    return command_line;
  }

  // The global event |base| of the install folder, when it exists.
  base::win::ScopedHandle OpenFolderEvent(const char16_t* base) {
    return base::win::ScopedHandle(
        OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE,
                   base::as_wcstr(MakeKernelObjectName(install_folder_.value(),
                                                       base, true))));
  }

  void WriteToMailslot(const std::vector<std::string>& messages) {
    base::win::ScopedHandle mailslot;
    ASSERT_TRUE(RunUntil([&] {
      mailslot.Set(
          CreateFileW(base::as_wcstr(std::u16string(kMailslotPathPrefix) +
                                     kInstallerMailslotNamePrefix +
                                     install_folder_.value()),
                      GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
      return mailslot.IsValid();
    }));
    for (const std::string& message : messages) {
      DWORD written = 0;
      ASSERT_TRUE(WriteFile(mailslot.Get(), message.data(),
                            static_cast<DWORD>(message.size()), &written,
                            nullptr));
    }
  }

  static std::string Bytes(std::unique_ptr<base::Pickle> pickle) {
    return std::string(static_cast<const char*>(pickle->data()),
                       pickle->size());
  }

  base::FilePath package_;
  base::FilePath install_folder_;
  base::FilePath front_end_;
  base::FilePath record_;
  std::u16string release_name_;
  base::win::ScopedHandle release_;
  std::unique_ptr<Settings> settings_;
  test::RecordingInstallerObserver observer_;
  std::unique_ptr<InstallerRunner> runner_;
};

// The entries of |command_line| after the program, as written.
std::vector<std::u16string> Entries(const base::CommandLine& command_line) {
  return std::vector<std::u16string>(command_line.argv().begin() + 1,
                                     command_line.argv().end());
}

TEST_F(InstallerRunnerTest, APackageThatIsReadyStartsItsOwnBackend) {
  MakeRunner(u"--server-tracking-data=elsewhere --initial-pid=1 --v=1");
  base::CommandLine settings_line(base::CommandLine::NO_PROGRAM);
  settings_->AppendToCommandLine(&settings_line, false);
  runner_->NotifyPackageReady();
  SetEvent(release_.Get());
  ASSERT_TRUE(runner_->Start(settings_.get()));
  EXPECT_FALSE(settings_->initialized()) << "frozen";
  ASSERT_TRUE(RunUntilTerminated());
  EXPECT_EQ(std::vector<std::string>{"InstallerTerminated(1)"},
            observer_.events());

  const base::CommandLine backend = Recorded();
  EXPECT_EQ(package_.Append(kPackageInstallerName), backend.GetProgram());
  // The settings' switches without the two written again, then the
  // runner's own, in this order.
  std::vector<std::u16string> expected;
  for (const std::u16string& entry : Entries(settings_line)) {
    if (entry.rfind(u"--server-tracking-data", 0) != 0 &&
        entry.rfind(u"--initial-pid", 0) != 0) {
      expected.push_back(entry);
    }
  }
  expected.push_back(u"--server-tracking-data=server_tracking_data");
  expected.push_back(u"--initial-pid=" +
                     base::UTF8ToUTF16(std::to_string(GetCurrentProcessId())));
  // A new name of the log folder for the backend's log.
  const std::u16string log_name =
      backend.GetSwitchValueNative(switches::kInstallerLogName);
  EXPECT_TRUE(IsInstallerLogFileName(log_name)) << log_name;
  expected.push_back(u"--installer-log-name=" + log_name);
  expected.push_back(u"--crash-reporter-pid=0");
  std::vector<std::u16string> entries = Entries(backend);
  ASSERT_EQ(expected.size() + 1, entries.size());
  const std::u16string handle = entries.back();
  entries.pop_back();
  EXPECT_EQ(expected, entries);
  // The handle value's 8 bytes in memory order, upper-case hexadecimal.
  const std::u16string prefix = u"--initial-proc-handle=";
  ASSERT_EQ(0u, handle.find(prefix));
  const std::string hex = base::UTF16ToUTF8(handle.substr(prefix.size()));
  ASSERT_EQ(16u, hex.size());
  EXPECT_EQ(base::ToUpperASCII(hex), hex);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(base::HexStringToBytes(hex, &bytes));
  EXPECT_NE(0, bytes[0] | bytes[1]);
  EXPECT_EQ(0, bytes[4] | bytes[5] | bytes[6] | bytes[7]);
  // No first backend, so no package-ready event.
  EXPECT_FALSE(OpenFolderEvent(kPackageReadyEvent).IsValid());
}

TEST_F(InstallerRunnerTest, AFirstBackendIsToldOnceThatThePackageIsReady) {
  MakeRunner();
  ASSERT_TRUE(runner_->Start(settings_.get()));
  const base::CommandLine backend = Recorded();
  EXPECT_EQ(front_end_, backend.GetProgram());
  // The folder the first backend appends "installer.exe" to, just before
  // the process handle.
  const std::vector<std::u16string> entries = Entries(backend);
  ASSERT_LE(3u, entries.size());
  EXPECT_EQ(u"--crash-reporter-pid=0", entries[entries.size() - 3]);
  EXPECT_EQ(package_.value() + u"\\",
            backend.GetSwitchValueNative("wait-for-package"));
  EXPECT_EQ(0u, entries.back().find(u"--initial-proc-handle="));

  base::win::ScopedHandle ready = OpenFolderEvent(kPackageReadyEvent);
  ASSERT_TRUE(ready.IsValid());
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(ready.Get(), 0));
  runner_->NotifyPackageReady();
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready.Get(), 0));
  ResetEvent(ready.Get());
  runner_->NotifyPackageReady();
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(ready.Get(), 0));
  EXPECT_TRUE(runner_->package_ready());

  SetEvent(release_.Get());
  ASSERT_TRUE(RunUntilTerminated());
  EXPECT_EQ(std::vector<std::string>{"InstallerTerminated(1)"},
            observer_.events());
}

TEST_F(InstallerRunnerTest, TheExitCodeDecidesAfterEveryMessageWasRead) {
  MakeRunner();
  runner_->NotifyPackageReady();
  SetExitCode(3);
  ASSERT_TRUE(runner_->Start(settings_.get()));
  base::win::ScopedHandle interrupted =
      OpenFolderEvent(kInstallationInterruptedEvent);
  ASSERT_TRUE(interrupted.IsValid());
  std::string wrong_signature = Bytes(BuildInstallerMessage(kMessageStep));
  wrong_signature[10] = 'X';
  std::string type7 = Bytes(BuildInstallerMessage(kMessageStep));
  type7[28] = 7;
  Recorded();
  base::Process backend = test::FindChildProcess(
      GetCurrentProcessId(), package_.Append(kPackageInstallerName));
  ASSERT_TRUE(backend.IsValid());
  // The backend's end reaches this thread's queue before the messages do,
  // which were waiting in the mailslot when it ended: they still come
  // first.
  SetEvent(release_.Get());
  int exit_code = 0;
  ASSERT_TRUE(backend.WaitForExitWithTimeout(60000, &exit_code));
  EXPECT_EQ(3, exit_code);
  Sleep(300);
  WriteToMailslot({Bytes(BuildInstallerMessage(kMessageSuccess)),
                   wrong_signature, type7,
                   Bytes(BuildErrorMessage(37062, u"f", "late error"))});
  Sleep(300);
  ASSERT_TRUE(RunUntilTerminated());
  EXPECT_EQ((std::vector<std::string>{"Success", "Error(37062,f,late error)",
                                      "InstallerTerminated(0)"}),
            observer_.events());
  // What the failed backend may have started must roll back.
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(interrupted.Get(), 0));

  // A retry is not cancelled by that.
  runner_->Stop();
  observer_.Clear();
  ResetEvent(release_.Get());
  SetExitCode(0);
  settings_->set_initialized(true);
  ASSERT_TRUE(runner_->Start(settings_.get()));
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(interrupted.Get(), 0));
  SetEvent(release_.Get());
  ASSERT_TRUE(RunUntilTerminated());
  EXPECT_EQ(std::vector<std::string>{"InstallerTerminated(1)"},
            observer_.events());
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(interrupted.Get(), 0));
}

TEST_F(InstallerRunnerTest, StopInterruptsAndTheEndIsStillReported) {
  MakeRunner();
  ASSERT_TRUE(runner_->Start(settings_.get()));
  base::win::ScopedHandle interrupted =
      OpenFolderEvent(kInstallationInterruptedEvent);
  ASSERT_TRUE(interrupted.IsValid());
  Recorded();
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(interrupted.Get(), 0));
  runner_->Stop();
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(interrupted.Get(), 0));
  SetEvent(release_.Get());
  ASSERT_TRUE(RunUntilTerminated());
  EXPECT_EQ(std::vector<std::string>{"InstallerTerminated(1)"},
            observer_.events());
}

TEST_F(InstallerRunnerTest, StartFailures) {
  const std::u16string upper_with_separator =
      base::ToUpperASCII(install_folder_.value()) + u"\\";
  std::u16string forward = install_folder_.value();
  std::replace(forward.begin(), forward.end(), u'\\', u'/');
  const struct {
    const char* name;
    std::u16string held_mutex;  // empty: none
    std::u16string folder;      // empty: the test's install folder
    std::string expected;
  } cases[] = {
      {"the same folder text", internal::GetInstallerMutexName(install_folder_),
       u"", "Error(37057,,Could not acquire installer mutex)"},
      {"forward slashes", u"Global\\Velna/Installer/" + forward, u"",
       "Error(37057,,Could not acquire installer mutex)"},
      // Another spelling of the same folder, which the exact name misses.
      {"other case, trailing separator",
       internal::GetInstallFolderMutexName(
           base::FilePath(upper_with_separator)),
       u"", "Error(37057,,Could not acquire installer mutex)"},
      // Without the folder, which names the user; the log has it.
      {"no operation", u"", dir().Append(u"a<b").value(),
       "Error(37058,,Attempting to start installation with invalid "
       "settings)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    observer_.Clear();
    std::unique_ptr<MutexHolder> holder;
    if (!c.held_mutex.empty())
      holder = std::make_unique<MutexHolder>(c.held_mutex);
    if (!c.folder.empty()) install_folder_ = base::FilePath(c.folder);
    MakeRunner();
    EXPECT_FALSE(runner_->Start(settings_.get()));
    EXPECT_EQ(std::vector<std::string>{c.expected}, observer_.events());
    runner_->Stop();
    runner_.reset();
    EXPECT_FALSE(base::PathExists(record_)) << "no backend";
  }
}

TEST_F(InstallerRunnerTest, TheSameSettingsAgainStartNothing) {
  MakeRunner();
  ASSERT_TRUE(runner_->Start(settings_.get()));
  Recorded();
  ASSERT_TRUE(base::DeleteFileOrDirectory(record_, false));
  EXPECT_FALSE(runner_->Start(settings_.get()));
  SetEvent(release_.Get());
  ASSERT_TRUE(RunUntilTerminated());
  EXPECT_EQ(std::vector<std::string>{"InstallerTerminated(1)"},
            observer_.events());
  EXPECT_FALSE(base::PathExists(record_));
}

TEST(InstallerMutexNameTest, ExactAndUpperCasedNames) {
  EXPECT_EQ(u"Global\\Velna/Installer/C:/Velna/x",
            internal::GetInstallerMutexName(base::FilePath(u"C:\\Velna\\x")));
  EXPECT_EQ(u"Global\\Velna/Installer/c:/velna/",
            internal::GetInstallerMutexName(base::FilePath(u"c:\\velna\\")));
  for (const char16_t* folder :
       {u"C:\\Velna", u"c:\\velna\\", u"c:/VELNA//", u"C:\\VeLnA/"}) {
    EXPECT_EQ(u"Global\\Velna/InstallerFolder/C:/VELNA",
              internal::GetInstallFolderMutexName(base::FilePath(folder)))
        << base::UTF16ToUTF8(folder);
  }
  // Beyond ASCII, as the system's upper-casing of paths does.
  EXPECT_EQ(u"Global\\Velna/InstallerFolder/D:/\u00C9T\u00C9",
            internal::GetInstallFolderMutexName(
                base::FilePath(u"D:\\\u00e9t\u00e9")));
}

std::string* g_logged = nullptr;

bool CollectLogLine(logging::LogSeverity severity, const char* file, int line,
                    size_t message_start, const std::string& text) {
  g_logged->append(text.substr(message_start));
  return false;
}

// The front end reads the log it named at the launch, and that of the
// package's backend named after it, and no other: the log folder is the
// user's. A log planted there that names this front end and has an error
// line is not copied into this process's log, nor is a second name of
// another file at the package backend's name.
TEST_F(InstallerRunnerTest, OnlyTheLogsNamedAtTheLaunchAreRead) {
  const base::FilePath temp = dir().Append(u"temp");
  const base::FilePath logs = temp.Append(u"Velna Installer");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(logs));
  ASSERT_TRUE(base::PathService::OverrideAndCreateIfNeeded(base::DIR_TEMP, temp,
                                                           true, false));
  const std::string pid = std::to_string(GetCurrentProcessId());
  ASSERT_TRUE(test::WriteTextFile(
      logs.Append(u"velna_installer_20000101000000.log"),
      "[1:2:0101/000000:INFO:a.cc(1)] Command line: installer.exe --backend "
      "--initial-pid=" +
          pid + "\n[1:2:0101/000000:ERROR:a.cc(2)] planted\n"));
  const base::FilePath secret = dir().Append(u"secret.log");
  ASSERT_TRUE(
      test::WriteTextFile(secret, "[1:2:0101/000000:ERROR:s.cc(1)] secret\n"));
  SetExitCode(1);
  MakeRunner();
  runner_->NotifyPackageReady();
  ASSERT_TRUE(runner_->Start(settings_.get()));
  const std::u16string name =
      Recorded().GetSwitchValueNative(switches::kInstallerLogName);
  ASSERT_TRUE(IsInstallerLogFileName(name)) << name;
  ASSERT_TRUE(test::WriteTextFile(
      logs.Append(name), "[3:4:0101/000000:ERROR:b.cc(1)] own reason\n"));
  ASSERT_TRUE(CreateHardLinkW(
      base::as_wcstr(logs.Append(GetPackageBackendLogFileName(name)).value()),
      base::as_wcstr(secret.value()), nullptr));

  std::string logged;
  g_logged = &logged;
  const logging::LogMessageHandlerFunction before =
      logging::GetLogMessageHandler();
  logging::SetLogMessageHandler(&CollectLogLine);
  SetEvent(release_.Get());
  const bool terminated = RunUntilTerminated();
  logging::SetLogMessageHandler(before);
  g_logged = nullptr;
  base::PathService::RemoveOverrideForTesting(base::DIR_TEMP);
  ASSERT_TRUE(terminated);
  EXPECT_NE(std::string::npos,
            logged.find("Last error line of " + base::UTF16ToUTF8(name) +
                        ": own reason"))
      << logged;
  EXPECT_EQ(std::string::npos, logged.find("planted")) << logged;
  EXPECT_EQ(std::string::npos, logged.find("secret")) << logged;
}

}  // namespace
}  // namespace installer
