#include "desktop/windows/installer/ui/installer_ui_controller_win.h"

#include <thread>

#include "base/base_paths.h"
#include "base/bind.h"
#include "base/files/file_util.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/path_service.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/values.h"
#include "desktop/windows/installer/status.h"
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

// Fetcher statuses.
constexpr int kFetchingDownloadUrl = 2;
constexpr int kDownloading = 3;
constexpr int kExtracting = 4;
constexpr int kPackageReady = 6;
constexpr int kInitializationFailed = 7;
constexpr int kDownloadFailed = 8;
constexpr int kUnpackingFailed = 9;

class InstallerUIControllerTest : public test::ControllerTestBase {
 protected:
  test::FakeInstallerRunner* runner() { return parts()->runner; }
  test::FakePackageFetcher* fetcher() { return parts()->fetcher; }
  bool Shown(int id) { return IsWindowVisible(Control(id)) != FALSE; }
  std::u16string Text(int id) { return test::WindowText(Control(id)); }

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
            for (int status : {kInitializationFailed, kDownloadFailed,
                               kUnpackingFailed, kDownloadFailed}) {
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
            for (int status : {kFetchingDownloadUrl, kDownloading, kExtracting,
                               kPackageReady}) {
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

}  // namespace
}  // namespace installer
