// The backend as a front end meets it: this test creates the mailslot (a
// real IpcReceiver) and the InstallationInterrupted event of a per-test
// install folder, starts the test host copied as a package's
// "installer.exe" with test steps, and reads what arrives, while it writes
// malformed messages into the same mailslot.

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
#include "base/process/process.h"
#include "base/run_loop.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "base/test/run_loop_for.h"
#include "base/values.h"
#include "base/win/registry.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/core/installer.h"
#include "desktop/windows/installer/core/installer_runner_backend.h"
#include "desktop/windows/installer/ipc/installer_message.h"
#include "desktop/windows/installer/ipc/ipc_receiver.h"
#include "desktop/windows/installer/service/name_utils.h"
#include "desktop/windows/installer/service/test/machine_state_snapshot.h"
#include "desktop/windows/installer/service/test/recorded_folder_security_win.h"
#include "desktop/windows/installer/test/installation_test_util.h"
#include "desktop/windows/installer/test/installer_test_host.h"
#include "desktop/windows/installer/test/recording_ipc_delegate.h"
#include "desktop/windows/installer/test/settings_fixture.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

constexpr int kFileCount = 50;

base::FilePath BesideTests(const char16_t* name) {
  return base::FilePath(base::GetTestExecutableFolder() + name);
}

std::u16string Quoted(const base::FilePath& path) {
  return u"\"" + path.value() + u"\"";
}

// What any process that opens the mailslot by name might write.
std::vector<std::vector<unsigned char>> MalformedMessages() {
  const std::vector<unsigned char> step =
      test::BytesOf(*BuildInstallerMessage(kMessageStep));
  std::vector<unsigned char> wrong_signature = step;
  wrong_signature[10] = 'X';
  std::vector<unsigned char> type7 = step;
  type7[28] = 7;
  std::vector<unsigned char> short_error =
      test::BytesOf(*BuildErrorMessage(37055, u"x", "y"));
  short_error.resize(short_error.size() - 8);
  short_error[0] = static_cast<unsigned char>(short_error.size() - 4);
  std::vector<unsigned char> size_mismatch = step;
  size_mismatch[0] = 24;
  std::vector<unsigned char> huge(3000, 'z');
  const uint32_t payload = 3000 - 4;
  memcpy(huge.data(), &payload, 4);
  return {wrong_signature, type7, short_error, size_mismatch, huge};
}

class BackendTest : public test::SettingsTestBase {
 protected:
  void SetUp() override {
    SettingsTestBase::SetUp();
    package_ = dir().Append(u"package");
    target_ = dir().Append(u"target");
    install_folder_ = dir().Append(u"install folder");
    temp_ = dir().Append(u"temp");
    ASSERT_TRUE(base::FileUtil::CreateDirectory(temp_));
    ASSERT_TRUE(base::FileUtil::CreateDirectory(package_));
    ASSERT_TRUE(base::CopyOneFile(BesideTests(u"installer_test_host.exe"),
                                  package_.Append(kPackageInstallerName)));
    std::string list;
    for (int i = 0; i < kFileCount; ++i) {
      const std::string name =
          (i % 5 == 0 ? "sub\\f" : "f") + std::to_string(i) + ".txt";
      const std::u16string wide = base::UTF8ToUTF16(name);
      ASSERT_TRUE(test::WriteTextFile(package_.Append(wide), "new " + name));
      ASSERT_TRUE(test::WriteTextFile(target_.Append(wide), "old " + name));
      list += name + "\n";
    }
    ASSERT_TRUE(test::WriteTextFile(package_.Append(kFilesListFileName), list));
    base::win::RegKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, ValuesKey().c_str(),
                                        KEY_SET_VALUE));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(u"old", u"old data"));

    interrupted_.Set(CreateEventW(
        nullptr, TRUE, FALSE,
        base::as_wcstr(MakeKernelObjectName(
            install_folder_.value(), kInstallationInterruptedEvent, true))));
    ASSERT_TRUE(interrupted_.IsValid());
    const std::u16string suffix =
        base::UTF8ToUTF16(std::to_string(GetCurrentProcessId()));
    ready_name_ = u"Local\\VelnaBackendTestReady" + suffix;
    go_name_ = u"Local\\VelnaBackendTestGo" + suffix;
    ready_.Set(CreateEventW(nullptr, TRUE, FALSE, base::as_wcstr(ready_name_)));
    go_.Set(CreateEventW(nullptr, TRUE, FALSE, base::as_wcstr(go_name_)));

    stand_in_ =
        base::LaunchProcess(Quoted(BesideTests(u"installer_test_host.exe")) +
                                u" --" + base::UTF8ToUTF16(test::kHostMode) +
                                u"=" + base::UTF8ToUTF16(test::kHostModeWait),
                            base::LaunchOptions());
    ASSERT_TRUE(stand_in_.IsValid());
  }

  void TearDown() override {
    if (stand_in_.IsValid()) stand_in_.Terminate(0, true);
    if (backend_.IsValid()) backend_.Terminate(9, true);
  }

  std::u16string ValuesKey() const { return company_key().Path(u"values"); }

  base::DictionaryValue* Step(base::ListValue* steps, const char* kind) {
    auto step = std::make_unique<base::DictionaryValue>();
    step->SetString("kind", kind);
    base::DictionaryValue* raw = step.get();
    steps->Append(std::move(step));
    return raw;
  }

  // Writes the seams of the test host: the company key below this test's
  // key, and |steps|.
  base::FilePath WriteSeams(std::unique_ptr<base::ListValue> steps) {
    base::DictionaryValue seams;
    auto branding = std::make_unique<base::DictionaryValue>();
    branding->SetString("company_name", company_key().path().substr(9));
    seams.Set("branding", std::move(branding));
    seams.Set("steps", std::move(steps));
    // The backend installs for all users: the folders above this test's
    // folder are ones only administrators may move, as Wine cannot say.
    const base::FilePath security = dir().Append(u"security.txt");
    EXPECT_TRUE(test::RecordedFolderSecurity(security).ProtectLevelsAbove(
        install_folder_));
    seams.SetString("folder_security", security.value());
    std::string json;
    EXPECT_TRUE(base::JSONWriter::Write(seams, &json));
    const base::FilePath path = dir().Append(u"seams.json");
    EXPECT_TRUE(test::WriteTextFile(path, json));
    return path;
  }

  // The steps: copy the listed files over the target's, set and remove a
  // value; |insert| (when given) comes before the value steps.
  std::unique_ptr<base::ListValue> WorkSteps(const char* insert) {
    auto steps = std::make_unique<base::ListValue>();
    Step(steps.get(), "copy_listed_files")->SetString("path", target_.value());
    base::DictionaryValue* set = Step(steps.get(), "set_value");
    set->SetString("path", ValuesKey());
    set->SetString("name", u"new");
    set->SetString("data", u"new data");
    if (insert && std::string(insert) == "fail") {
      base::DictionaryValue* fail = Step(steps.get(), "fail");
      fail->SetInteger("id", 37062);
      fail->SetString("data", u"C:\\t\u00e9xt");
      fail->SetString("name", u"Failed at K");
    } else if (insert) {
      base::DictionaryValue* wait = Step(steps.get(), "wait_for_event");
      wait->SetString("path", go_name_);
      wait->SetString("name", ready_name_);
    }
    base::DictionaryValue* remove = Step(steps.get(), "remove_value");
    remove->SetString("path", ValuesKey());
    remove->SetString("name", u"old");
    return steps;
  }

  // Starts the package backend as the front end does: the settings'
  // switches, the stand-in as the initial process, the seams in its
  // environment (with this test's temporary folder for its log).
  void StartBackend(const base::FilePath& seams,
                    InstallationOperation operation = kOperationInstalling) {
    settings_ = MakeSettings(
        u"--installfolder=" + Quoted(install_folder_) + u" --initial-pid=" +
        base::UTF8ToUTF16(std::to_string(stand_in_.Pid())) + u" --v=1");
    ASSERT_EQ(operation, settings_->operation());
    base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
    settings_->AppendToCommandLine(&command_line, false);
    command_line.SetProgram(package_.Append(kPackageInstallerName));
    SetEnvironmentVariableW(test::kHostSeamsVariable,
                            base::as_wcstr(seams.value()));
    SetEnvironmentVariableW(L"TEMP", base::as_wcstr(temp_.value()));
    SetEnvironmentVariableW(L"TMP", base::as_wcstr(temp_.value()));
    backend_ = base::LaunchProcess(command_line.GetCommandLineString(),
                                   base::LaunchOptions());
    ASSERT_TRUE(backend_.IsValid());
  }

  // Pumps until the backend has ended and the mailslot is quiet; writes
  // the malformed messages once at the start and again when the ready
  // event comes, then calls |on_ready|. The backend's exit code.
  int RunFrontEnd(const std::function<void()>& on_ready) {
    base::win::ScopedHandle mailslot;
    for (int i = 0; i < 200 && !mailslot.IsValid(); ++i) {
      mailslot.Set(
          CreateFileW(base::as_wcstr(kMailslotPathPrefix + MailslotName()),
                      GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!mailslot.IsValid()) base::RunLoopFor(10);
    }
    EXPECT_TRUE(mailslot.IsValid());
    auto inject = [&] {
      for (const auto& bytes : MalformedMessages()) {
        DWORD written = 0;
        WriteFile(mailslot.Get(), bytes.data(),
                  static_cast<DWORD>(bytes.size()), &written, nullptr);
      }
      ++injections_;
    };
    inject();
    bool ready_seen = false;
    int exit_code = -1;
    for (int i = 0; i < 3000; ++i) {
      if (!ready_seen &&
          WaitForSingleObject(ready_.Get(), 0) == WAIT_OBJECT_0) {
        ready_seen = true;
        inject();
        if (on_ready) on_ready();
      }
      if (backend_.WaitForExitWithTimeout(0, &exit_code)) break;
      base::RunLoopFor(10);
    }
    // The last messages left the backend before it ended: read them all.
    base::RunLoop flushed;
    receiver_.Flush(flushed.QuitClosure());
    flushed.Run();
    return exit_code;
  }

  std::u16string MailslotName() const {
    return kInstallerMailslotNamePrefix + install_folder_.value();
  }

  std::string BackendLog() {
    base::FileEnumerator logs(temp_.Append(u"Velna Installer"), false,
                              base::FileEnumerator::FILES, u"*.log");
    std::string text;
    for (base::FilePath log = logs.Next(); !log.empty(); log = logs.Next())
      text += test::ReadFileContents(log);
    return text;
  }

  test::FileTreeSnapshot Files() const {
    // The backend's own log and its record of folder security are written
    // in this test's folder too.
    test::FileTreeSnapshot files = test::TakeFileTreeSnapshot(dir());
    std::erase_if(files, [](const auto& entry) {
      return entry.first.rfind("temp", 0) == 0 || entry.first == "seams.json" ||
             entry.first == "security.txt";
    });
    return files;
  }
  test::RegistrySnapshot Registry() const {
    return test::TakeRegistrySnapshot(HKEY_CURRENT_USER, company_key().path());
  }

  size_t CountEvents(const std::string& event) {
    const auto& events = front_end_.events();
    return static_cast<size_t>(std::count(events.begin(), events.end(), event));
  }

  base::FilePath package_;
  base::FilePath target_;
  base::FilePath install_folder_;
  base::FilePath temp_;
  base::win::ScopedHandle interrupted_;
  std::u16string ready_name_;
  std::u16string go_name_;
  base::win::ScopedHandle ready_;
  base::win::ScopedHandle go_;
  base::Process stand_in_;
  base::Process backend_;
  std::unique_ptr<Settings> settings_;
  test::RecordingIpcDelegate front_end_;
  IpcReceiver receiver_{&front_end_};
  int injections_ = 0;
};

TEST_F(BackendTest, SuccessReportsEveryStepInOrder) {
  ASSERT_TRUE(receiver_.Connect(MailslotName()));
  StartBackend(WriteSeams(WorkSteps(nullptr)));
  EXPECT_EQ(0, RunFrontEnd(nullptr)) << BackendLog();

  // 3 steps + (50 - 1) files + (0 - 1) root files + 1.
  std::vector<std::string> expected = {"Started", "TotalSteps(52)"};
  expected.insert(expected.end(), 52, "Step");
  expected.push_back("Success");
  EXPECT_EQ(expected, front_end_.events()) << BackendLog();
  // Of each round of malformed messages, the reader drops the badly
  // framed two itself; the front end's parse drops the other three.
  EXPECT_EQ(3 * injections_, front_end_.dropped());
  EXPECT_EQ("new sub\\f45.txt",
            test::ReadFileContents(target_.Append(u"sub\\f45.txt")));
  EXPECT_TRUE(
      test::FindEntriesEndingWith(test::TakeFileTreeSnapshot(target_), ".old")
          .empty());
  const test::RegistrySnapshot registry = Registry();
  EXPECT_EQ(test::RegistryText(u"new data"),
            registry.at("values").at("new").data);
  EXPECT_EQ(0u, registry.at("values").count("old"));
}

TEST_F(BackendTest, AFailingStepSendsItsErrorAndRestoresTheMachine) {
  const test::FileTreeSnapshot files = Files();
  const test::RegistrySnapshot registry = Registry();
  ASSERT_TRUE(receiver_.Connect(MailslotName()));
  StartBackend(WriteSeams(WorkSteps("fail")));
  EXPECT_EQ(1, RunFrontEnd(nullptr)) << BackendLog();

  // 4 steps + 49 + (0 - 1) + 1; the failing step is the third.
  std::vector<std::string> expected = {"Started", "TotalSteps(53)"};
  expected.insert(expected.end(), 1 + 49 + 1 + 1, "Step");
  expected.push_back("Error(37062,C:\\t\xc3\xa9xt,Failed at K)");
  EXPECT_EQ(expected, front_end_.events()) << BackendLog();
  EXPECT_EQ(3, front_end_.dropped());
  EXPECT_EQ(files, Files());
  EXPECT_EQ(registry, Registry());
}

TEST_F(BackendTest, TheInterruptedEventRollsBackAWaitingRun) {
  const test::FileTreeSnapshot files = Files();
  const test::RegistrySnapshot registry = Registry();
  ASSERT_TRUE(receiver_.Connect(MailslotName()));
  StartBackend(WriteSeams(WorkSteps("wait")));
  EXPECT_EQ(1, RunFrontEnd([&] { SetEvent(interrupted_.Get()); }))
      << BackendLog();

  EXPECT_EQ(0u, CountEvents("Success"));
  for (const std::string& event : front_end_.events())
    EXPECT_EQ(std::string::npos, event.find("Error")) << event;
  // Up to the wait: the copy (50), the value, the wait itself.
  EXPECT_EQ(52u, CountEvents("Step"));
  EXPECT_EQ(6, front_end_.dropped());
  EXPECT_EQ(files, Files());
  EXPECT_EQ(registry, Registry());
}

TEST_F(BackendTest, TheEndOfTheInitialProcessRollsBack) {
  const test::FileTreeSnapshot files = Files();
  const test::RegistrySnapshot registry = Registry();
  ASSERT_TRUE(receiver_.Connect(MailslotName()));
  StartBackend(WriteSeams(WorkSteps("wait")));
  EXPECT_EQ(1, RunFrontEnd([&] { stand_in_.Terminate(1, true); }))
      << BackendLog();

  EXPECT_EQ(0u, CountEvents("Success"));
  for (const std::string& event : front_end_.events())
    EXPECT_EQ(std::string::npos, event.find("Error")) << event;
  EXPECT_EQ(files, Files());
  EXPECT_EQ(registry, Registry());
}

TEST_F(BackendTest, AnOverlongMailslotNameLeavesTheOutcomeRight) {
  // A folder of 233 characters makes a mailslot name over 260: neither end
  // can open the channel, and the exit code alone tells the outcome. A new
  // installation is refused such a folder; an installation made there
  // before (by an older installer) is still updated.
  install_folder_ =
      dir().Append(std::u16string(233 - dir().value().size() - 1, u'l'));
  ASSERT_EQ(233u, install_folder_.value().size());
  ASSERT_TRUE(test::WriteInstallationLog(
      install_folder_, test::MakeInstallLog(install_folder_, false), false));
  interrupted_.Set(CreateEventW(
      nullptr, TRUE, FALSE,
      base::as_wcstr(MakeKernelObjectName(
          install_folder_.value(), kInstallationInterruptedEvent, true))));
  ASSERT_TRUE(interrupted_.IsValid());
  const test::FileTreeSnapshot files = Files();
  const test::RegistrySnapshot registry = Registry();
  ASSERT_TRUE(receiver_.Connect(MailslotName()));

  StartBackend(WriteSeams(WorkSteps("fail")), kOperationUpgrading);
  int exit_code = -1;
  ASSERT_TRUE(backend_.WaitForExitWithTimeout(60000, &exit_code));
  EXPECT_EQ(1, exit_code) << BackendLog();
  EXPECT_EQ(files, Files());
  EXPECT_EQ(registry, Registry());

  StartBackend(WriteSeams(WorkSteps(nullptr)), kOperationUpgrading);
  ASSERT_TRUE(backend_.WaitForExitWithTimeout(60000, &exit_code));
  EXPECT_EQ(0, exit_code) << BackendLog();
  EXPECT_EQ("new f1.txt", test::ReadFileContents(target_.Append(u"f1.txt")));
  base::RunLoopFor(100);
  EXPECT_TRUE(front_end_.events().empty());
}

TEST_F(BackendTest, UnusableInitialProcessInformationStopsAtOnce) {
  ASSERT_TRUE(receiver_.Connect(MailslotName()));
  const base::FilePath seams = WriteSeams(WorkSteps(nullptr));
  const test::FileTreeSnapshot files = Files();
  const std::u16string pid = base::UTF8ToUTF16(std::to_string(stand_in_.Pid()));
  const struct {
    std::u16string switches;
    const char* expected_line;
  } cases[] = {
      {u"", "Missing information about initial process"},
      {u"--initial-pid=12x", "Failed parsing initial pid"},
      {u"--initial-pid=4000000000", "Failed opening initial process"},
      // Not hexadecimal, too short, too long.
      {u"--initial-pid=" + pid + u" --initial-proc-handle=XYZ",
       "Failed parsing initial process handle"},
      {u"--initial-pid=" + pid + u" --initial-proc-handle=A401",
       "Failed parsing initial process handle"},
      {u"--initial-pid=" + pid + u" --initial-proc-handle=A40100000000000000",
       "Failed parsing initial process handle"},
      // A value that is no process handle of the child's.
      {u"--initial-pid=" + pid + u" --initial-proc-handle=0400000000000000",
       "Failed parsing initial process handle"},
      // The child's own pseudo handle names itself, not its front end.
      {u"--initial-proc-handle=FFFFFFFFFFFFFFFF",
       "Failed parsing initial process handle"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected_line);
    base::DeleteFileOrDirectory(temp_, true);
    ASSERT_TRUE(base::FileUtil::CreateDirectory(temp_));
    SetEnvironmentVariableW(test::kHostSeamsVariable,
                            base::as_wcstr(seams.value()));
    std::string output;
    DWORD exit_code = 0;
    ASSERT_TRUE(base::RunChildProcess(
        Quoted(package_.Append(kPackageInstallerName)) +
            u" --backend --installfolder=" + Quoted(install_folder_) + u" " +
            c.switches,
        {{u"TEMP", temp_.value()}, {u"TMP", temp_.value()}}, &output,
        &exit_code));
    EXPECT_EQ(1u, exit_code);
    EXPECT_NE(std::string::npos, BackendLog().find(c.expected_line))
        << BackendLog();
  }
  base::RunLoopFor(100);
  // Nothing started: no message, no change.
  EXPECT_TRUE(front_end_.events().empty());
  EXPECT_EQ(files, Files());
}

TEST(InitialProcessHandleTest, ExactlyEightBytes) {
  uint64_t value = 0;
  EXPECT_TRUE(internal::ParseInitialProcessHandle("A401000000000000", &value));
  EXPECT_EQ(0x1A4u, value);
  EXPECT_TRUE(internal::ParseInitialProcessHandle("a401000000000000", &value));
  EXPECT_FALSE(internal::ParseInitialProcessHandle("A4010000000000", &value));
  EXPECT_FALSE(internal::ParseInitialProcessHandle("", &value));
  EXPECT_FALSE(
      internal::ParseInitialProcessHandle("A40100000000000000", &value));
  EXPECT_FALSE(internal::ParseInitialProcessHandle("G401000000000000", &value));
}

}  // namespace
}  // namespace installer
