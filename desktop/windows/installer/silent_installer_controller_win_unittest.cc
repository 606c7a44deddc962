// The silent front end as a user's machine runs it, in processes of its own:
// the test host runs the engine with "silent" for a per-test install
// folder. Its fetcher puts the prepared package in place and reports it
// ready when the test says so; meanwhile the front end's first backend
// waits, then hands over to the package's "installer.exe", whose test
// steps stop at an event so that the test can act mid-installation. Real
// mailslot, events, processes, files and registry values.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/base_paths.h"
#include "base/bind.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/message_loop/message_loop.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/run_loop.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/values.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/core/folder_permission_win.h"
#include "desktop/windows/installer/core/status.h"
#include "desktop/windows/installer/ipc/installer_message.h"
#include "desktop/windows/installer/service/folder_security_win.h"
#include "desktop/windows/installer/service/installer_prefs_store.h"
#include "desktop/windows/installer/service/own_registry_rows_win.h"
#include "desktop/windows/installer/service/test/machine_state_snapshot.h"
#include "desktop/windows/installer/service/test/recorded_folder_security_win.h"
#include "desktop/windows/installer/service/test/scoped_branding_value.h"
#include "desktop/windows/installer/silent_installer_controller.h"
#include "desktop/windows/installer/test/installation_test_util.h"
#include "desktop/windows/installer/test/installer_process_test_base_win.h"
#include "desktop/windows/installer/test/local_http_server_win.h"
#include "desktop/windows/installer/test/process_test_util_win.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::Quoted;

// Neither statistics nor preference overrides go anywhere.
constexpr char16_t kNoNetwork[] =
    u"--enable-installer-stats=0 "
    u"--with-feature:installer-pref-default-overrides-support=off";

class SilentFrontEndTest : public test::InstallerProcessTestBase {
 protected:
  void SetUp() override {
    InstallerProcessTestBase::SetUp();
    package_event_name_ =
        u"Local\\VelnaSilentTestPackage" +
        base::UTF8ToUTF16(std::to_string(GetCurrentProcessId()));
    package_event_.Set(CreateEventW(nullptr, TRUE, FALSE,
                                    base::as_wcstr(package_event_name_)));
    ASSERT_TRUE(package_event_.IsValid());
  }

  void TearDown() override {
    SetEvent(package_event_.Get());
    for (base::Process* process :
         {&front_end_, &first_backend_, &package_backend_}) {
      if (process->IsValid()) process->Terminate(9, true);
    }
    InstallerProcessTestBase::TearDown();
  }

  // The fetcher's package, the steps, and |extra|.
  void WriteFrontEndSeams(
      bool fail, std::unique_ptr<base::DictionaryValue> extra = nullptr) {
    if (!extra) extra = std::make_unique<base::DictionaryValue>();
    auto package = std::make_unique<base::DictionaryValue>();
    package->SetString("source", this->package().value());
    package->SetString("ready_event", package_event_name_);
    package->SetString("tracking_data", "tracking from the fetcher");
    extra->Set("package", std::move(package));
    WriteSeams(WorkSteps(fail), *extra);
  }

  void StartFrontEnd(const std::u16string& arguments) {
    front_end_ = base::LaunchProcess(
        Quoted(Host()) + u" --silent --installfolder=" +
            Quoted(install_folder()) + u" --temp-folder=" +
            Quoted(dir().Append(u"dl")) + u" --v=2 " + arguments,
        base::LaunchOptions());
    ASSERT_TRUE(front_end_.IsValid());
  }

  // Runs the installation up to the package backend's waiting step: the
  // first backend waits for the package, the fetcher reports it ready, the
  // package's backend starts and stops at its event. The caller stops at a
  // failed step.
  void RunToTheWaitingStep() {
    for (int i = 0; i < 600 && !first_backend_.IsValid(); ++i) {
      first_backend_ = test::FindChildProcess(front_end_.Pid(), Host());
      if (!first_backend_.IsValid()) Sleep(100);
    }
    ASSERT_TRUE(first_backend_.IsValid()) << Processes();
    ASSERT_TRUE(
        WaitForLogLine(first_backend_.Pid(), "Need to wait for actual package"))
        << Processes();
    ASSERT_TRUE(SetEvent(package_event_.Get()));
    ASSERT_TRUE(WaitFor(ready_event())) << Processes();
    // The first backend runs elevated on the test system: the package's
    // installer starts from a protected copy.
    package_backend_ = test::FindChildProcessBelow(
        first_backend_.Pid(), protected_root(), kPackageInstallerName);
    ASSERT_TRUE(package_backend_.IsValid()) << Processes();
  }

  // Each process of the installation, for a failed step's message.
  std::string Processes() const {
    return DescribeProcess("front end", front_end_) +
           DescribeProcess("first backend", first_backend_) +
           DescribeProcess("package backend", package_backend_);
  }

  // Where the fetcher put the package: the only folder in the download
  // folder.
  base::FilePath PackageFolder() const {
    base::FileEnumerator folders(dir().Append(u"dl\\Velna Installer"), false,
                                 base::FileEnumerator::DIRECTORIES);
    return folders.Next();
  }

  int FrontEndExitCode() {
    int exit_code = -1;
    EXPECT_TRUE(front_end_.WaitForExitWithTimeout(60000, &exit_code))
        << LogOf(front_end_.Pid());
    return exit_code;
  }

  void ExpectTargetCopied(bool copied) {
    EXPECT_EQ(copied ? "new f1.txt" : "old f1.txt",
              test::ReadFileContents(target().Append(u"f1.txt")));
    EXPECT_EQ(copied ? "new sub\\f8.txt" : "old sub\\f8.txt",
              test::ReadFileContents(target().Append(u"sub\\f8.txt")));
  }

  std::u16string package_event_name_;
  base::win::ScopedHandle package_event_;
  base::Process front_end_;
  base::Process first_backend_;
  base::Process package_backend_;
};

TEST_F(SilentFrontEndTest, TheFetchedPackageIsInstalled) {
  WriteFrontEndSeams(false);
  ASSERT_NO_FATAL_FAILURE(StartFrontEnd(kNoNetwork));
  ASSERT_NO_FATAL_FAILURE(RunToTheWaitingStep());
  // The package backend installs from its protected copy: the fetched
  // package goes while it works, not after it.
  ASSERT_TRUE(WaitForLogLine(front_end_.Pid(),
                             "runs from a copy: removing the package"))
      << LogOf(front_end_.Pid());
  for (int i = 0; i < 300 && !PackageFolder().empty(); ++i) Sleep(100);
  EXPECT_TRUE(PackageFolder().empty());
  ASSERT_TRUE(SetEvent(go_event().Get()));
  EXPECT_EQ(0, FrontEndExitCode());
  ExpectTargetCopied(true);
  const std::string log = LogOf(front_end_.Pid());
  EXPECT_NE(std::string::npos, log.find("IPC_MESSAGE_SUCCESS received"));
  EXPECT_NE(std::string::npos, log.find("Installer ended. Success is 1"));
  EXPECT_NE(std::string::npos, log.find("Not sending stats"));
  // The fetcher's folder goes with the front end.
  EXPECT_TRUE(PackageFolder().empty());
}

TEST_F(SilentFrontEndTest, AForgedSuccessDecidesNothing) {
  test::LocalHttpServer stats_server;
  ASSERT_TRUE(stats_server.Start());
  auto extra = std::make_unique<base::DictionaryValue>();
  auto urls = std::make_unique<base::DictionaryValue>();
  urls->SetString("autoupdate", stats_server.Url("/"));
  auto branding = std::make_unique<base::DictionaryValue>();
  branding->SetString("company_name", company_key().path().substr(9));
  branding->Set("urls", std::move(urls));
  extra->Set("branding", std::move(branding));
  WriteFrontEndSeams(true, std::move(extra));
  // The overrides come from the same server.
  ASSERT_NO_FATAL_FAILURE(
      StartFrontEnd(u"--enable-installer-stats=1 "
                    u"--local-pref-default-overrides-server=" +
                    stats_server.Url("/prefs")));
  ASSERT_NO_FATAL_FAILURE(RunToTheWaitingStep());

  // Anyone can write into the front end's mailslot.
  base::win::ScopedHandle mailslot(CreateFileW(
      base::as_wcstr(std::u16string(kMailslotPathPrefix) +
                     kInstallerMailslotNamePrefix + install_folder().value()),
      GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
      FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(mailslot.IsValid());
  const std::unique_ptr<base::Pickle> success =
      BuildInstallerMessage(kMessageSuccess);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(mailslot.Get(), success->data(),
                        static_cast<DWORD>(success->size()), &written,
                        nullptr));
  ASSERT_TRUE(SetEvent(go_event().Get()));
  EXPECT_NE(0, FrontEndExitCode());
  ExpectTargetCopied(false);

  // The package backend's error, whole, before the end.
  const std::string log = LogOf(front_end_.Pid());
  const size_t forged = log.find("IPC_MESSAGE_SUCCESS received");
  const size_t error =
      log.find("IPC_MESSAGE_ERROR(37062,C:\\t\xc3\xa9xt,Failed at K) received");
  const size_t end = log.find("Installer ended. Success is 0. terminating");
  ASSERT_NE(std::string::npos, forged) << log;
  ASSERT_NE(std::string::npos, error) << log;
  ASSERT_NE(std::string::npos, end) << log;
  EXPECT_LT(forged, error);
  EXPECT_LT(error, end);
  EXPECT_EQ(std::string::npos, log.find("Installer ended. Success is 1"));

  EXPECT_EQ(1u, stats_server.RequestsFor("/prefs").size());
  // The statistics tell the same.
  const auto requests = stats_server.RequestsFor("/netinstaller/feedback");
  ASSERT_EQ(1u, requests.size()) << log;
  std::string body;
  ASSERT_TRUE(requests[0]->GetString("body", &body));
  std::unique_ptr<base::Value> stats = base::JSONReader::Read(body);
  base::DictionaryValue* document = nullptr;
  ASSERT_TRUE(stats && stats->GetAsDictionary(&document)) << body;
  int installation_success = -1;
  EXPECT_TRUE(
      document->GetInteger("installation_success", &installation_success));
  EXPECT_EQ(0, installation_success);
  std::string text;
  EXPECT_TRUE(document->GetString("failure_reason", &text));
  // The first backend's report of the package backend's end comes last.
  EXPECT_EQ("Installer process did not complete successfully.", text);
  EXPECT_TRUE(document->GetString("tracking_data", &text));
  EXPECT_EQ("tracking from the fetcher", text);
}

TEST_F(SilentFrontEndTest, AnInterruptionMidCopyUndoesEverything) {
  const test::FileTreeSnapshot files = Files();
  const test::RegistrySnapshot registry = Registry();
  WriteFrontEndSeams(false);
  ASSERT_NO_FATAL_FAILURE(StartFrontEnd(kNoNetwork));
  ASSERT_NO_FATAL_FAILURE(RunToTheWaitingStep());
  ExpectTargetCopied(true);
  base::win::ScopedHandle interrupted =
      FolderEvent(kInstallationInterruptedEvent);
  ASSERT_TRUE(SetEvent(interrupted.Get()));
  EXPECT_NE(0, FrontEndExitCode());
  int exit_code = 0;
  EXPECT_TRUE(package_backend_.WaitForExitWithTimeout(60000, &exit_code));
  EXPECT_EQ(1, exit_code);
  // Both backends rolled back: the package backend its copies and values,
  // the first backend the install folder and the last install path.
  EXPECT_EQ(files, Files());
  EXPECT_EQ(registry, Registry());
}

TEST_F(SilentFrontEndTest, AKilledFirstBackendStopsThePackageBackend) {
  // As an earlier installation into the folder left them: the first
  // backend, killed, cannot take back what it did itself.
  ASSERT_TRUE(base::FileUtil::CreateDirectory(install_folder()));
  base::win::RegKey key;
  ASSERT_EQ(ERROR_SUCCESS,
            key.Create(HKEY_CURRENT_USER, company_key().path().c_str(),
                       KEY_SET_VALUE));
  ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(LastInstallPathValueName().c_str(),
                                          LastInstallPathValue().c_str()));
  key.Close();
  const test::FileTreeSnapshot files = Files();
  const test::RegistrySnapshot registry = Registry();
  WriteFrontEndSeams(false);
  ASSERT_NO_FATAL_FAILURE(StartFrontEnd(kNoNetwork));
  ASSERT_NO_FATAL_FAILURE(RunToTheWaitingStep());
  ExpectTargetCopied(true);

  ASSERT_TRUE(first_backend_.Terminate(1, true));
  EXPECT_NE(0, FrontEndExitCode());
  int exit_code = 0;
  EXPECT_TRUE(package_backend_.WaitForExitWithTimeout(60000, &exit_code))
      << "the front end interrupts it";
  EXPECT_EQ(1, exit_code);
  EXPECT_EQ(files, Files());
  EXPECT_EQ(registry, Registry());
  const std::string log = LogOf(front_end_.Pid());
  EXPECT_NE(std::string::npos,
            log.find("Interrupting what the failed backend left running"))
      << log;
}

// The controller in this process, running from inside a package (this
// test's prepared one): no fetcher; the runner starts the package's backend
// at once, a real process with test steps.
class SilentControllerTest : public test::InstallerProcessTestBase {
 protected:
  void SetUp() override {
    InstallerProcessTestBase::SetUp();
    ASSERT_TRUE(base::PathService::OverrideAndCreateIfNeeded(
        base::DIR_EXE, package(), true, false));
    ASSERT_TRUE(stats_server_.Start());
    stats_url_ = std::make_unique<test::ScopedBrandingValue>(
        "urls.autoupdate", base::UTF16ToUTF8(stats_server_.Url("/")));
    ASSERT_TRUE(SetEvent(go_event().Get()));
  }

  void TearDown() override {
    base::PathService::RemoveOverrideForTesting(base::DIR_EXE);
    InstallerProcessTestBase::TearDown();
  }

  // The statistics sent last, or null when none were.
  std::unique_ptr<base::DictionaryValue> SentStats() {
    const auto requests = stats_server_.RequestsFor("/netinstaller/feedback");
    std::string body;
    if (requests.empty() || !requests.back()->GetString("body", &body))
      return nullptr;
    std::unique_ptr<base::Value> value = base::JSONReader::Read(body);
    base::DictionaryValue* document = nullptr;
    if (!value || !value->GetAsDictionary(&document)) return nullptr;
    value.release();
    return std::unique_ptr<base::DictionaryValue>(document);
  }

  test::LocalHttpServer stats_server_;
  std::unique_ptr<test::ScopedBrandingValue> stats_url_;
};

TEST_F(SilentControllerTest, ResultAndStatisticsOfARunInsideThePackage) {
  const struct {
    const char* name;
    bool existing_installation;
    const char16_t* arguments;
    bool fail;
    bool result;
    int sent_success;  // -1: no statistics sent
    // The installation's record names a key no own row writes.
    bool foreign_key = false;
  } cases[] = {
      {"install", false, u"", false, true, 1},
      {"failed install", false, u"", true, false, 0},
      // A successful autoupdate is not reported; a failed one is.
      {"autoupdate", true, u"--autoupdate", false, true, -1},
      {"failed autoupdate", true, u"--autoupdate", true, false, 0},
      {"no statistics", false, u"--enable-installer-stats=0", true, false, -1},
      {"refused record", true, u"", false, false, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    base::DeleteFileOrDirectory(install_folder(), true);
    if (c.existing_installation) {
      InstallLog log = test::MakeInstallLog(install_folder(), false);
      if (c.foreign_key)
        log.hkcu_keys = {{1, "Software\\VelnaTest\\Victim\\Policy", {}}};
      ASSERT_TRUE(test::WriteInstallationLog(install_folder(), log, false));
      ASSERT_TRUE(test::WriteTextFile(
          install_folder().Append(kServerTrackingDataFileName), "stored"));
    }
    WriteSeams(WorkSteps(c.fail), base::DictionaryValue());
    const size_t requests_before = stats_server_.Requests().size();
    std::unique_ptr<Settings> settings = MakeSettings(
        u"--silent --installfolder=" + Quoted(install_folder()) +
        u" --enable-installer-stats=1 "
        u"--with-feature:installer-pref-default-overrides-support=off " +
        c.arguments);
    SilentInstallerController controller;
    EXPECT_EQ(c.result,
              controller.Run(settings.get(), true, dir().Append(u"dl")));
    if (c.sent_success < 0) {
      EXPECT_EQ(requests_before, stats_server_.Requests().size());
      continue;
    }
    EXPECT_EQ(requests_before + 1, stats_server_.Requests().size());
    std::unique_ptr<base::DictionaryValue> stats = SentStats();
    ASSERT_TRUE(stats);
    int success = -1;
    EXPECT_TRUE(stats->GetInteger("installation_success", &success));
    EXPECT_EQ(c.sent_success, success);
    std::string tracking_data;
    EXPECT_TRUE(stats->GetString("tracking_data", &tracking_data));
    EXPECT_EQ(c.existing_installation ? "stored" : "", tracking_data);
    // The reason names no path of the user's: the record's stays in the
    // local log.
    std::string reason;
    stats->GetString("failure_reason", &reason);
    EXPECT_EQ(std::string::npos,
              base::ToLowerASCII(reason).find(
                  base::ToLowerASCII(dir().BaseName().AsUTF8())))
        << reason;
    if (c.foreign_key) {
      EXPECT_EQ(kRefusedRecordReason, reason);
    }
  }
}

// An elevated update of an installation for all users in a folder that
// others may change is refused before any change, whatever the files in
// it say: a record and preferences that say single profile, as its owner
// may have planted them, stay as they are, and so does the folder's list.
TEST_F(SilentControllerTest, AnAllUsersUpdateRefusesAFolderOthersMayChange) {
  const std::u16string open =
      u"O:S-1-5-21-1-2-3-1001D:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)"
      u"(A;OICIID;0x1301bf;;;AU)";
  ASSERT_TRUE(test::WriteInstallationLog(
      install_folder(), test::MakeInstallLog(install_folder(), true), false));
  ASSERT_TRUE(
      test::WriteTextFile(install_folder().Append(kInstallerPrefsFileName),
                          "{\"single_profile\":true}"));
  ASSERT_TRUE(test::RecordedFolderSecurity(security_record())
                  .Write(install_folder(), open));
  const test::FileTreeSnapshot before =
      test::TakeFileTreeSnapshot(install_folder());
  WriteSeams(WorkSteps(false), base::DictionaryValue());
  std::unique_ptr<Settings> settings =
      MakeSettings(u"--silent --installfolder=" + Quoted(install_folder()) +
                   u" " + kNoNetwork);
  SilentInstallerController controller;
  EXPECT_FALSE(controller.Run(settings.get(), true, dir().Append(u"dl")));
  EXPECT_TRUE(settings->single_profile());
  EXPECT_TRUE(settings->all_users());
  EXPECT_EQ(std::vector<std::u16string>{open},
            test::RecordedFolderSecurity::History(security_record(),
                                                  install_folder()));
  EXPECT_EQ(before, test::TakeFileTreeSnapshot(install_folder()));
  std::string logs;
  base::FileEnumerator files(log_root(), true, base::FileEnumerator::FILES);
  for (base::FilePath file = files.Next(); !file.empty(); file = files.Next())
    logs += test::ReadFileContents(file);
  EXPECT_NE(std::string::npos,
            logs.find("Other users may change " + install_folder().AsUTF8() +
                      ": not installing for all users in it"))
      << logs;
}

// Records whether a task posted right after the backend's end ran before
// the controller finished.
class MarkedController : public SilentInstallerController {
 public:
  void OnInstallerTerminated(bool success) override {
    SilentInstallerController::OnInstallerTerminated(success);
    base::MessageLoop::current()->task_runner()->PostTask(
        CURRENT_LOCATION,
        base::Bind([](bool* ran) { *ran = true; }, &marker_ran_));
  }
  bool marker_ran() const { return marker_ran_; }

 private:
  bool marker_ran_ = false;
};

TEST_F(SilentControllerTest, TheBackendsEndEndsTheRunAtOnce) {
  // The runner has read the backend's messages out before it reports the
  // end: nothing is waited for after it, not even the next task.
  WriteSeams(WorkSteps(false), base::DictionaryValue());
  std::unique_ptr<Settings> settings =
      MakeSettings(u"--silent --installfolder=" + Quoted(install_folder()) +
                   u" " + kNoNetwork);
  MarkedController controller;
  EXPECT_TRUE(controller.Run(settings.get(), true, dir().Append(u"dl")));
  EXPECT_FALSE(controller.marker_ran());
}

TEST(SilentControllerPromptTest, NoDialogIsShownForTheFetcher) {
  base::MessageLoop message_loop;
  SilentInstallerController controller;
  bool shown = false;
  int reply = -1;
  base::RunLoop run_loop;
  controller.RunUICallbackAndPostReply(
      base::Bind(
          [](bool* shown, HWND__* owner) {
            *shown = true;
            return 1;
          },
          &shown),
      base::MessageLoop::current()->task_runner(),
      base::Bind(
          [](int* out, const base::Closure& quit, int result) {
            *out = result;
            quit.Run();
          },
          &reply, run_loop.QuitClosure()));
  run_loop.Run();
  EXPECT_EQ(0, reply);
  EXPECT_FALSE(shown);
}

}  // namespace
}  // namespace installer
