#include "desktop/windows/installer/ui/installer_ui_controller_win.h"

#include <thread>
#include <vector>

#include "base/base_paths.h"
#include "base/bind.h"
#include "base/files/file_util.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/path_service.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/values.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/core/status.h"
#include "desktop/windows/installer/ui/installer_window_ids.h"
#include "desktop/windows/installer/ui/test/controller_test_base_win.h"
#include "desktop/windows/installer/ui/test/window_test_util_win.h"
#include "desktop/windows/rc_l10n_handler/rc_l10n_handler.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using namespace controls;
using test::PostClick;
using test::UIScript;

class InstallerUIControllerTest : public test::ControllerTestBase {
 protected:
  std::string StatsString(const char* key) {
    std::unique_ptr<base::DictionaryValue> stats = SentStats();
    std::string value;
    if (stats) stats->GetString(key, &value);
    return value;
  }
  int StatsInteger(const char* key) {
    std::unique_ptr<base::DictionaryValue> stats = SentStats();
    int value = -1;
    if (stats) stats->GetInteger(key, &value);
    return value;
  }
};

// Answers the message boxes of this thread with |answer| and keeps what
// they showed; other dialogs are left alone.
class MessageBoxAnswerer {
 public:
  explicit MessageBoxAnswerer(int answer)
      : handler_([this, answer](HWND box) {
          if (!GetDlgItem(box, 0xFFFF)) return;
          boxes.push_back(test::ReadMessageBox(box));
          test::PressButton(box, answer);
        }) {}
  std::vector<test::MessageBoxContent> boxes;

 private:
  test::ScopedDialogHandler handler_;
};

TEST_F(InstallerUIControllerTest, RetryAfterABackendErrorLeavesAReadyPackage) {
  SetUpStatsServer(false);
  std::unique_ptr<Settings> settings = MakeInstallSettings(u"");
  MessageBoxAnswerer answerer(IDYES);
  const std::u16string folder = dir().Append(u"Unmade").value();
  UIScript script;
  script
      .Then(
          "welcome", [this] { return window() && fetcher()->starts == 1; },
          [this] {
            // Before acceptance: three silent restarts, then the fetcher
            // gives up.
            for (FetcherStatus status : {INITIALIZATION_FAILED, DOWNLOAD_FAILED,
                                         UNPACKING_FAILED, DOWNLOAD_FAILED}) {
              controller()->NotifyStatusChanged(status);
            }
            EXPECT_EQ(4, fetcher()->starts);
            EXPECT_EQ(InstallerPage::kWelcome, Page());
            PostClick(Control(kAccept));
          })
      .Then(
          "accepted: fetching once more",
          [this] { return Page() == InstallerPage::kProgress; },
          [this] {
            EXPECT_EQ(5, fetcher()->starts);
            EXPECT_EQ(1, runner()->starts);
            for (FetcherStatus status : {FETCHING_DOWNLOAD_URL, DOWNLOADING,
                                         EXTRACTING, PACKAGE_READY}) {
              controller()->NotifyStatusChanged(status);
            }
          })
      .Then(
          "package ready", [this] { return runner()->package_ready; },
          [this, &folder] {
            runner()->SendError(kIdsFolderNotCreated, folder,
                                "Could not create the folder");
            runner()->SendTerminated(false);
          })
      .Then(
          "error page", [this] { return Page() == InstallerPage::kError; },
          [this, &folder, &settings] {
            EXPECT_EQ(
                RcL10nHandler::GetStringWithArgs(kIdsFolderNotCreated, folder),
                Text(kMessage));
            EXPECT_FALSE(Shown(kFullInstaller));
            // Editable again.
            EXPECT_TRUE(settings->initialized());
            PostClick(Control(kRetry));
          })
      .Then(
          "retried", [this] { return runner()->starts == 2; },
          [this] {
            // The package is ready: no new run would delete it.
            EXPECT_EQ(5, fetcher()->starts);
            runner()->SendError(kIdsCopyFailed, u"velna.exe", "Copy failed");
            runner()->SendTerminated(false);
          })
      .Then(
          "second error",
          [this] {
            return Page() == InstallerPage::kError && Shown(kFullInstaller);
          },
          [this] {
            EXPECT_EQ(
                RcL10nHandler::GetStringWithArgs(kIdsCopyFailed, u"velna.exe"),
                Text(kMessage));
            PostMessageW(window()->dialog(), WM_CLOSE, 0, 0);
          });
  EXPECT_FALSE(RunUI(settings.get(), &script));
  EXPECT_TRUE(script.finished());
  EXPECT_EQ(5, fetcher()->starts);
  ASSERT_EQ(1u, answerer.boxes.size());
  EXPECT_EQ(RcL10nHandler::GetString(kIdsQuitInstall), answerer.boxes[0].text);
  EXPECT_EQ(1, StatsInteger("installation_cancelled"));
  EXPECT_EQ(0, StatsInteger("installation_success"));
  EXPECT_EQ("Copy failed", StatsString("failure_reason"));
}

// A backend that ends badly without saying why gets the generic message.
TEST_F(InstallerUIControllerTest,
       UnreportedBackendFailureShowsTheGenericError) {
  const struct {
    const char16_t* arguments;
    int accept_button;
    uint32_t message;
    const char* detail;
  } cases[] = {
      {u"", kAccept, kIdsInstallError, "Unreported installer error."},
      {u"--uninstall", kUninstall, kIdsUninstallError,
       "Unreported uninstaller error."},
  };
  SetUpStatsServer(false);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.detail);
    std::unique_ptr<Settings> settings = MakeInstallSettings(c.arguments);
    MakeController();
    UIScript script;
    script
        .Then(
            "first page", [this] { return window() != nullptr; },
            [this, &c] { PostClick(Control(c.accept_button)); })
        .Then(
            "started", [this] { return runner()->starts == 1; },
            [this] { runner()->SendTerminated(false); })
        .Then(
            "error page", [this] { return Page() == InstallerPage::kError; },
            [this, &c] {
              EXPECT_EQ(RcL10nHandler::GetString(c.message), Text(kMessage));
              controller()->OnCancelled();
            });
    EXPECT_FALSE(RunUI(settings.get(), &script));
    EXPECT_TRUE(script.finished());
    // The installation's statistics carry the reason; an uninstallation
    // sends none.
    EXPECT_EQ(1u, server_.Requests().size());
    EXPECT_EQ("Unreported installer error.", StatsString("failure_reason"));
  }
}

TEST_F(InstallerUIControllerTest, FetcherFailureAfterAcceptIsShown) {
  const struct {
    FetcherStatus status;
    uint32_t message;
  } cases[] = {
      {DOWNLOAD_FAILED, kIdsDownloadFailed},
      {INITIALIZATION_FAILED, kIdsDownloadFailed},
      {UNPACKING_FAILED, kIdsPackageCorrupted},
  };
  SetUpStatsServer(false);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    std::unique_ptr<Settings> settings = MakeInstallSettings(u"");
    MakeController();
    UIScript script;
    script
        .Then(
            "welcome", [this] { return window() != nullptr; },
            [this] { PostClick(Control(kAccept)); })
        .Then(
            "accepted", [this] { return runner()->starts == 1; },
            [this, &c] { controller()->NotifyStatusChanged(c.status); })
        .Then(
            "runner stopped", [this] { return runner()->stops > 0; },
            [this] { runner()->SendTerminated(false); })
        .Then(
            "error page", [this] { return Page() == InstallerPage::kError; },
            [this, &c] {
              EXPECT_EQ(RcL10nHandler::GetString(c.message), Text(kMessage));
              // The first error offers no full installer.
              EXPECT_FALSE(Shown(kFullInstaller));
              PostClick(Control(kRetry));
            })
        .Then(
            "retried: fetching again",
            [this] { return fetcher()->starts == 2 && runner()->starts == 2; },
            [this] { controller()->OnCancelled(); });
    EXPECT_FALSE(RunUI(settings.get(), &script));
    EXPECT_TRUE(script.finished());
    EXPECT_EQ("Fetcher error", StatsString("failure_reason"));
  }
}

// Offline, the downloader retries for up to an hour: from its stalled
// notification on, the progress page says that it waits for the network,
// until data flows or the fetcher moves on.
TEST_F(InstallerUIControllerTest, StalledDownloadSaysItWaitsForTheNetwork) {
  SetUpStatsServer(false);
  std::unique_ptr<Settings> settings = MakeInstallSettings(u"");
  const std::u16string waiting =
      RcL10nHandler::GetString(kIdsWaitingForNetwork);
  const std::u16string downloading = RcL10nHandler::GetString(kIdsDownloading);
  ASSERT_FALSE(waiting.empty());
  UIScript script;
  script
      .Then(
          "welcome", [this] { return window() && fetcher()->starts == 1; },
          [this] {
            controller()->NotifyStatusChanged(FETCHING_DOWNLOAD_URL);
            // Stalled before the user accepts: the welcome page stays.
            controller()->NotifyStalled();
            EXPECT_EQ(InstallerPage::kWelcome, Page());
            PostClick(Control(kAccept));
          })
      .Then(
          "accepted while stalled",
          [this] { return Page() == InstallerPage::kProgress; },
          [this, &waiting, &downloading] {
            EXPECT_EQ(waiting, Text(kMessage));
            // The server answered: the download starts.
            controller()->NotifyStatusChanged(DOWNLOADING);
            EXPECT_EQ(downloading, Text(kMessage));
            controller()->SetTotalProgress(1000);
            controller()->SetCurrentProgress(10);
            controller()->NotifyStalled();
            EXPECT_EQ(waiting, Text(kMessage));
            // Another notice changes nothing; data flowing again ends it.
            controller()->NotifyStalled();
            EXPECT_EQ(waiting, Text(kMessage));
            controller()->SetCurrentProgress(20);
            EXPECT_EQ(downloading, Text(kMessage));
            // Stalled again, then the package is written out: unpacking
            // needs no network.
            controller()->NotifyStalled();
            EXPECT_EQ(waiting, Text(kMessage));
            controller()->NotifyStatusChanged(EXTRACTING);
            EXPECT_EQ(RcL10nHandler::GetString(kIdsExtracting), Text(kMessage));
            controller()->OnCancelled();
          });
  EXPECT_FALSE(RunUI(settings.get(), &script));
  EXPECT_TRUE(script.finished());
}

TEST_F(InstallerUIControllerTest, AcceptWhileTheFolderIsInspectedWaitsForIt) {
  SetUpStatsServer(false);
  std::unique_ptr<Settings> settings = MakeInstallSettings(u"");
  const base::FilePath other = dir().Append(u"Other");
  UIScript script;
  script
      .Then(
          "welcome", [this] { return window() != nullptr; },
          [this, &settings, &other] {
            settings->SetInstallFolder(other);
            ASSERT_TRUE(settings->IsStatusPending());
            PostClick(Control(kAccept));
          })
      .Then(
          "started", [this] { return runner()->starts == 1; },
          [this, &other] {
            EXPECT_EQ(other, runner()->settings->GetStatus()->install_folder);
            controller()->OnCancelled();
          });
  EXPECT_FALSE(RunUI(settings.get(), &script));
  EXPECT_TRUE(script.finished());
}

// No administrator rights for all users: tried again at once for the
// current user.
TEST_F(InstallerUIControllerTest, AdministratorErrorRetriesForTheCurrentUser) {
  SetUpStatsServer(false);
  std::unique_ptr<Settings> settings = MakeInstallSettings(u"--allusers=1");
  ASSERT_TRUE(settings->all_users());
  ASSERT_EQ(kOperationInstalling, settings->operation());
  UIScript script;
  script
      .Then(
          "welcome", [this] { return window() != nullptr; },
          [this] { PostClick(Control(kAccept)); })
      .Then(
          "started", [this] { return runner()->starts == 1; },
          [this] {
            runner()->SendError(kIdsNoAdministratorPrivileges, u"",
                                "Elevation failed");
            runner()->SendTerminated(false);
          })
      .Then(
          "started again", [this] { return runner()->starts == 2; },
          [this, &settings] {
            EXPECT_FALSE(settings->all_users());
            EXPECT_EQ(InstallerPage::kProgress, Page());
            runner()->SendSuccess();
            runner()->SendTerminated(true);
          });
  EXPECT_TRUE(RunUI(settings.get(), &script));
  EXPECT_TRUE(script.finished());
  EXPECT_EQ(1, StatsInteger("installation_success"));
  EXPECT_EQ("", StatsString("failure_reason"));
}

// A success message is progress: only the backend's end is the outcome.
// Quitting before it, or an end that fails after it, is no success.
TEST_F(InstallerUIControllerTest, SuccessMessageAloneIsNoSuccess) {
  const struct {
    const char* name;
    bool failing_end;
    const char* failure_reason;
  } cases[] = {
      {"quit before the end", false, ""},
      {"failing end", true, "Unreported installer error."},
  };
  SetUpStatsServer(false);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<Settings> settings = MakeInstallSettings(u"");
    MessageBoxAnswerer answerer(IDYES);
    MakeController();
    UIScript script;
    script
        .Then(
            "welcome", [this] { return window() != nullptr; },
            [this] { PostClick(Control(kAccept)); })
        .Then(
            "started", [this] { return runner()->starts == 1; },
            [this, &c] {
              runner()->SendSuccess();
              if (c.failing_end)
                runner()->SendTerminated(false);
              else
                PostMessageW(window()->dialog(), WM_CLOSE, 0, 0);
            });
    if (c.failing_end) {
      script.Then(
          "error page", [this] { return Page() == InstallerPage::kError; },
          [this] {
            EXPECT_EQ(RcL10nHandler::GetString(kIdsInstallError),
                      Text(kMessage));
            PostMessageW(window()->dialog(), WM_CLOSE, 0, 0);
          });
    }
    EXPECT_FALSE(RunUI(settings.get(), &script));
    EXPECT_TRUE(script.finished());
    EXPECT_EQ(1u, answerer.boxes.size());
    // The quit interrupts whatever still runs.
    EXPECT_LE(1, runner()->stops);
    EXPECT_EQ(0, StatsInteger("installation_success"));
    EXPECT_EQ(1, StatsInteger("installation_cancelled"));
    EXPECT_EQ(c.failure_reason, StatsString("failure_reason"));
  }
}

TEST_F(InstallerUIControllerTest, OldWindowsOffersTheFullInstaller) {
  SetUpStatsServer(false);
  std::unique_ptr<Settings> settings = MakeInstallSettings(u"");
  MakeController();
  parts()->windows_version = base::win::kVersionVista;
  UIScript script;
  script
      .Then(
          "welcome", [this] { return window() != nullptr; },
          [this] { PostClick(Control(kAccept)); })
      .Then(
          "error page", [this] { return Page() == InstallerPage::kError; },
          [this] {
            EXPECT_EQ(0, runner()->starts);
            EXPECT_EQ(RcL10nHandler::GetStringWithArgs(
                          kIdsUnsupportedWindows,
                          RcL10nHandler::GetString(kIdsGetFullInstaller)),
                      Text(kMessage));
            EXPECT_TRUE(Shown(kFullInstaller));
            PostClick(Control(kFullInstaller));
          });
  EXPECT_FALSE(RunUI(settings.get(), &script));
  EXPECT_TRUE(script.finished());
  // The shell opens the full installer's page (the user's browser is not
  // this one); the run ends as cancelled for it.
  ASSERT_EQ(1u, parts()->opened.size());
  EXPECT_EQ(
      u"https://www.velna.com/download/windows/full/"
      u"&product=Velna%20beta",
      parts()->opened[0].first);
  EXPECT_EQ(2, StatsInteger("installation_cancelled"));
  EXPECT_EQ(
      "This version of Velna doesn't support windows versions prior to "
      "Windows 7",
      test::PageValue(*SentStats(), 1, "failure_reason"));
}

TEST_F(InstallerUIControllerTest, ProcessorWithoutSse2EndsAfterAMessage) {
  SetUpStatsServer(false);
  std::unique_ptr<Settings> settings = MakeInstallSettings(u"");
  MakeController();
  parts()->has_sse2 = false;
  MessageBoxAnswerer answerer(IDOK);
  UIScript script;
  EXPECT_FALSE(RunUI(settings.get(), &script));
  ASSERT_EQ(1u, answerer.boxes.size());
  EXPECT_EQ(RcL10nHandler::GetString(kIdsNoSse2), answerer.boxes[0].text);
  EXPECT_EQ(RcL10nHandler::GetString(kIdsOk), answerer.boxes[0].ok);
  // The fetcher never started.
  EXPECT_EQ(0, parts()->fetcher->starts);
  EXPECT_EQ(1, StatsInteger("installation_cancelled"));
  EXPECT_EQ(base::UTF16ToUTF8(RcL10nHandler::GetString(kIdsNoSse2)),
            test::PageValue(*SentStats(), 0, "error_displayed"));
}

// Without fetcher (the installer runs from inside the package): the
// package is ready, and acceptance hands the folder's tracking data on.
TEST_F(InstallerUIControllerTest, WithoutFetcherThePackageIsReady) {
  SetUpStatsServer(false);
  std::unique_ptr<Settings> settings = MakeInstallSettings(u"");
  UIScript script;
  script
      .Then(
          "welcome", [this] { return window() != nullptr; },
          [this] { PostClick(Control(kAccept)); })
      .Then(
          "package ready", [this] { return runner()->package_ready; },
          [this] {
            EXPECT_EQ(1u, parts()->overrides_fetcher->fetched.size());
            runner()->SendTotalSteps(2);
            runner()->SendStep();
            runner()->SendSuccess();
            runner()->SendTerminated(true);
          });
  EXPECT_TRUE(RunUI(settings.get(), &script, /*without_fetcher=*/true));
  EXPECT_TRUE(script.finished());
  EXPECT_EQ(nullptr, parts()->fetcher);
  base::FilePath exe_folder;
  ASSERT_TRUE(base::PathService::Get(base::DIR_EXE, &exe_folder));
  EXPECT_EQ(exe_folder, parts()->runner_package_folder);
  EXPECT_EQ(exe_folder, parts()->overrides_package_folder);
}

TEST_F(InstallerUIControllerTest, RunImmediatelyAcceptsByItself) {
  SetUpStatsServer(false);
  std::unique_ptr<Settings> settings = MakeInstallSettings(u"");
  UIScript script;
  script.Then(
      "started", [this] { return runner() && runner()->starts == 1; },
      [this] {
        EXPECT_EQ(InstallerPage::kProgress, Page());
        controller()->OnCancelled();
      });
  EXPECT_FALSE(RunUI(settings.get(), &script, false, /*run_immediately=*/true));
  EXPECT_TRUE(script.finished());
  EXPECT_EQ(1, StatsInteger("run_immediately"));
  // The package is fetched next to the download folder.
  EXPECT_EQ(parts()->fetcher->download_path().RemoveExtension(),
            parts()->runner_package_folder);
}

// Prompts of the downloads wait for the user's acceptance, run with the
// window as owner, and are declined once the UI has ended; requests from
// other threads are brought to the UI thread first.
TEST_F(InstallerUIControllerTest, UICallbacksWaitForAcceptance) {
  SetUpStatsServer(false);
  std::unique_ptr<Settings> settings = MakeInstallSettings(u"");
  MakeController();
  const base::ScopedRefPtr<base::TaskRunner> ui_runner =
      base::MessageLoop::current()->task_runner();
  std::vector<HWND> owners;
  std::vector<int> replies;
  DWORD callback_thread = 0;
  const UICallbackRunner::UICallback callback = base::Bind(
      [](std::vector<HWND>* owners, DWORD* thread, HWND owner) {
        owners->push_back(owner);
        *thread = GetCurrentThreadId();
        return 42;
      },
      &owners, &callback_thread);
  const UICallbackRunner::ReplyCallback reply = base::Bind(
      [](std::vector<int>* replies, int result) { replies->push_back(result); },
      &replies);
  DWORD asked = 0;
  UIScript script;
  script
      .Then(
          "welcome", [this] { return window() != nullptr; },
          [&] {
            // Before acceptance, from a download's thread: kept.
            std::thread([&] {
              controller()->RunUICallbackAndPostReply(callback, ui_runner,
                                                      reply);
            }).join();
            asked = GetTickCount();
          })
      .Then(
          "kept", [&] { return GetTickCount() - asked > 200; },
          [&] {
            EXPECT_TRUE(owners.empty());
            EXPECT_TRUE(replies.empty());
            PostClick(Control(kAccept));
          })
      .Then(
          "run at acceptance", [&] { return replies.size() == 1; },
          [&] {
            ASSERT_EQ(1u, owners.size());
            EXPECT_EQ(window()->dialog(), owners[0]);
            EXPECT_EQ(GetCurrentThreadId(), callback_thread);
            EXPECT_EQ(42, replies[0]);
            // Accepted and no error pending: at once.
            controller()->RunUICallbackAndPostReply(callback, ui_runner, reply);
            EXPECT_EQ(2u, owners.size());
          })
      .Then(
          "replied", [&] { return replies.size() == 2; },
          [this] { controller()->OnCancelled(); });
  EXPECT_FALSE(RunUI(settings.get(), &script));
  EXPECT_TRUE(script.finished());

  // Once the UI has ended: declined without running.
  controller()->RunUICallbackAndPostReply(callback, ui_runner, reply);
  EXPECT_TRUE(test::RunUiUntil([&] { return replies.size() == 3; }));
  EXPECT_EQ(ERROR_CANCELLED, replies.back());
  EXPECT_EQ(2u, owners.size());
}

// What the parts were asked to do so far.
struct PartsCalls {
  int fetcher_starts = 0;
  int runner_starts = 0;
  int runner_stops = 0;
  int overrides_fetches = 0;
  int package_ready = 0;
  int callbacks_run = 0;
};

// Late or repeated events in each state of the run: what each may still
// cause. Once the UI has ended nothing reacts (a restarted fetcher or a
// backend started after the user left would run unseen); while an error
// is pending or shown, prompts wait and fetcher failures only restart it.
TEST_F(InstallerUIControllerTest, EventsDoOnlyWhatTheirStateAllows) {
  enum class Reach {
    kEndedBeforeAcceptance,
    kEndedWhileInstalling,
    kSucceeded,
    kInstalling,
    kErrorPending,
    kErrorPage,
  };
  enum class Event { kFetcherFailed, kPackageReady, kAccept, kError, kPrompt };
  const struct {
    const char* name;
    Reach reach;
    Event event;
    PartsCalls change;
  } cases[] = {
      {"fetcher failure after a cancel",
       Reach::kEndedBeforeAcceptance,
       Event::kFetcherFailed,
       {}},
      {"accept posted before a cancel",
       Reach::kEndedBeforeAcceptance,
       Event::kAccept,
       {}},
      {"package ready after a cancel",
       Reach::kEndedWhileInstalling,
       Event::kPackageReady,
       {}},
      {"fetcher failure after a cancel while installing",
       Reach::kEndedWhileInstalling,
       Event::kFetcherFailed,
       {}},
      {"backend error after success", Reach::kSucceeded, Event::kError, {}},
      {"second accept while installing",
       Reach::kInstalling,
       Event::kAccept,
       {}},
      {"prompt while an error is pending",
       Reach::kErrorPending,
       Event::kPrompt,
       {}},
      {"fetcher failure on the error page",
       Reach::kErrorPage,
       Event::kFetcherFailed,
       {.fetcher_starts = 1}},
      {"prompt on the error page", Reach::kErrorPage, Event::kPrompt, {}},
  };
  SetUpStatsServer(false);
  const base::ScopedRefPtr<base::TaskRunner> ui_runner =
      base::MessageLoop::current()->task_runner();
  int callbacks_run = 0;
  const UICallbackRunner::UICallback callback =
      base::Bind([](int* runs, HWND) { return ++*runs; }, &callbacks_run);
  const UICallbackRunner::ReplyCallback reply = base::Bind([](int result) {});
  const auto calls = [this, &callbacks_run] {
    PartsCalls now;
    now.fetcher_starts = fetcher()->starts;
    now.runner_starts = runner()->starts;
    now.runner_stops = runner()->stops;
    now.overrides_fetches =
        static_cast<int>(parts()->overrides_fetcher->fetched.size());
    now.package_ready = runner()->package_ready;
    now.callbacks_run = callbacks_run;
    return now;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<Settings> settings = MakeInstallSettings(u"");
    MakeController();
    PartsCalls before, after;
    const auto deliver = [&] {
      before = calls();
      switch (c.event) {
        case Event::kFetcherFailed:
          controller()->NotifyStatusChanged(DOWNLOAD_FAILED);
          break;
        case Event::kPackageReady:
          controller()->NotifyStatusChanged(PACKAGE_READY);
          break;
        case Event::kAccept:
          controller()->OnAcceptClicked();
          break;
        case Event::kError:
          controller()->OnError(kIdsCopyFailed, u"", "Copy failed");
          break;
        case Event::kPrompt:
          controller()->RunUICallbackAndPostReply(callback, ui_runner, reply);
          break;
      }
      after = calls();
    };
    const bool ends_first = c.reach == Reach::kEndedBeforeAcceptance ||
                            c.reach == Reach::kEndedWhileInstalling ||
                            c.reach == Reach::kSucceeded;
    UIScript script;
    script.Then(
        "welcome", [this] { return window() != nullptr; },
        [this, &c] {
          if (c.reach == Reach::kEndedBeforeAcceptance)
            controller()->OnCancelled();
          else
            PostClick(Control(kAccept));
        });
    if (c.reach != Reach::kEndedBeforeAcceptance) {
      script.Then(
          "started", [this] { return runner()->starts == 1; },
          [this, &c, &deliver] {
            switch (c.reach) {
              case Reach::kEndedWhileInstalling:
                controller()->OnCancelled();
                break;
              case Reach::kSucceeded:
                runner()->SendTerminated(true);
                break;
              case Reach::kInstalling:
                deliver();
                controller()->OnCancelled();
                break;
              case Reach::kErrorPending:
                runner()->SendError(kIdsCopyFailed, u"", "Copy failed");
                deliver();
                controller()->OnCancelled();
                break;
              default:
                runner()->SendError(kIdsCopyFailed, u"", "Copy failed");
                runner()->SendTerminated(false);
                break;
            }
          });
    }
    if (c.reach == Reach::kErrorPage) {
      script.Then(
          "error page", [this] { return Page() == InstallerPage::kError; },
          [this, &deliver] {
            deliver();
            EXPECT_EQ(InstallerPage::kError, Page());
            controller()->OnCancelled();
          });
    }
    RunUI(settings.get(), &script);
    EXPECT_TRUE(script.finished());
    if (ends_first) deliver();
    EXPECT_EQ(c.change.fetcher_starts,
              after.fetcher_starts - before.fetcher_starts);
    EXPECT_EQ(c.change.runner_starts,
              after.runner_starts - before.runner_starts);
    EXPECT_EQ(c.change.runner_stops, after.runner_stops - before.runner_stops);
    EXPECT_EQ(c.change.overrides_fetches,
              after.overrides_fetches - before.overrides_fetches);
    EXPECT_EQ(c.change.package_ready,
              after.package_ready - before.package_ready);
    EXPECT_EQ(c.change.callbacks_run,
              after.callbacks_run - before.callbacks_run);
  }
}

// The session's record of the UI's owner, as a front end holds it.
std::u16string UIOwnerRecordName() {
  return u"Local\\" + base::UTF8ToUTF16(VersionInfo::GetProductName()) +
         u"/Installer/UI_owner";
}

// A second front end brings the first one's window forward and ends
// without building anything, whether the first holds the lock file in the
// same download folder (as older front ends do) or only the session's
// owner record (its own download folder is elsewhere, as an elevated
// front end's is).
TEST_F(InstallerUIControllerTest, SecondInstanceBringsTheFirstForward) {
  std::unique_ptr<Settings> settings = MakeInstallSettings(u"");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(DownloadFolder()));
  for (const bool same_folder : {true, false}) {
    SCOPED_TRACE(same_folder ? "lock file" : "owner record");
    // The first instance: a window on a thread of its own.
    HWND first_window = nullptr;
    DWORD first_thread = 0;
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread first([&] {
      first_window =
          CreateWindowExW(0, L"STATIC", L"first", WS_POPUP | WS_VISIBLE, 0, 0,
                          100, 100, nullptr, nullptr, nullptr, nullptr);
      first_thread = GetCurrentThreadId();
      SetEvent(ready);
      MSG msg;
      while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
      DestroyWindow(first_window);
    });
    WaitForSingleObject(ready, INFINITE);
    CloseHandle(ready);
    base::win::ScopedHandle lock;
    if (same_folder) {
      lock.Set(CreateFileW(
          base::as_wcstr(DownloadFolder().Append(u"installer.lck").value()),
          GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
      DWORD written = 0;
      WriteFile(lock.Get(), &first_thread, sizeof(first_thread), &written,
                nullptr);
    } else {
      lock.Set(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                  0, sizeof(DWORD),
                                  base::as_wcstr(UIOwnerRecordName())));
      void* view = MapViewOfFile(lock.Get(), FILE_MAP_WRITE, 0, 0, 0);
      if (view) *static_cast<DWORD*>(view) = first_thread;
      UnmapViewOfFile(view);
    }
    EXPECT_TRUE(lock.IsValid());

    MakeController();
    UIScript script;
    // Only reached when the second instance runs a UI of its own.
    script.Then(
        "no window of its own", [this] { return window() != nullptr; },
        [this] {
          ADD_FAILURE() << "The second instance shows its window";
          controller()->OnCancelled();
        });
    EXPECT_FALSE(RunUI(settings.get(), &script));
    EXPECT_EQ(first_window, GetForegroundWindow());
    EXPECT_EQ(nullptr, parts()->fetcher);
    EXPECT_EQ(nullptr, parts()->runner);
    PostThreadMessageW(first_thread, WM_QUIT, 0, 0);
    first.join();
  }
}

// The front end that obtains the lock names its thread in the session's
// record for as long as it runs.
TEST_F(InstallerUIControllerTest, TheUIOwnerIsRecordedWhileItRuns) {
  SetUpStatsServer(false);
  std::unique_ptr<Settings> settings = MakeInstallSettings(u"");
  DWORD recorded = 0;
  UIScript script;
  script.Then(
      "welcome", [this] { return window() != nullptr; },
      [this, &recorded] {
        base::win::ScopedHandle record(OpenFileMappingW(
            FILE_MAP_READ, FALSE, base::as_wcstr(UIOwnerRecordName())));
        if (record.IsValid()) {
          const void* view =
              MapViewOfFile(record.Get(), FILE_MAP_READ, 0, 0, 0);
          if (view) recorded = *static_cast<const DWORD*>(view);
          UnmapViewOfFile(view);
        }
        controller()->OnCancelled();
      });
  EXPECT_FALSE(RunUI(settings.get(), &script));
  EXPECT_TRUE(script.finished());
  EXPECT_EQ(GetCurrentThreadId(), recorded);
  // The ended controller goes, and its record with it.
  MakeController();
  base::win::ScopedHandle gone(OpenFileMappingW(
      FILE_MAP_READ, FALSE, base::as_wcstr(UIOwnerRecordName())));
  EXPECT_FALSE(gone.IsValid());
}

}  // namespace
}  // namespace installer
