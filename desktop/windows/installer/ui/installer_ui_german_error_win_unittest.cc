// The error page as a German user sees it: this executable runs with
// LC_ALL=de_DE.UTF-8 and no language switch, so the settings choose German
// from the system's preferred UI language. The backend is the fake runner:
// it reports what a package backend that cannot create the install folder
// reports, then ends with a failing exit code.

#include <windows.h>

#include <string>

#include "base/values.h"
#include "desktop/windows/installer/ui/installer_window_ids.h"
#include "desktop/windows/installer/ui/resource_image_win.h"
#include "desktop/windows/installer/ui/scoped_gdi_object_win.h"
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

constexpr int kFetchingDownloadUrl = 2;
constexpr int kPackageReady = 6;
// A backend's exit code when it failed after reporting its error, and one
// that failed without a word.
constexpr bool kBackendFailed = false;

class GermanErrorPageTest : public test::ControllerTestBase {
 protected:
  std::u16string German(uint32_t id) {
    return RcL10nHandler::GetStringForCode(u"de", id);
  }
  std::u16string Text(int id) { return test::WindowText(Control(id)); }
  bool Shown(int id) { return IsWindowVisible(Control(id)) != FALSE; }

  // The badge's opaque pixels at the logo's bottom-right corner, 10 pixels
  // beyond it.
  void ExpectBadgeAtTheLogosCorner() {
    ScopedBitmap badge(
        LoadResourceBitmap(kErrorBadgePictureId, kPngResourceType));
    ASSERT_TRUE(badge);
    const RECT logo = test::RectIn(Control(kLogo), window()->dialog());
    const int left = logo.left + (logo.right - logo.left) / 2 - 96 / 2;
    const int top = logo.top + (logo.bottom - logo.top) / 2 - 96 / 2;
    test::WindowImage image(window()->dialog());
    EXPECT_TRUE(test::ShowsOpaquePixels(image, badge.get(), left + 96 + 10 - 32,
                                        top + 96 + 10 - 32));
    EXPECT_TRUE(
        image.SavePng(test::ScreenshotFolder().Append(u"german_error.png")));
  }
};

TEST_F(GermanErrorPageTest, ErrorsRetryAndQuitInGerman) {
  SetUpStatsServer(false);
  std::unique_ptr<Settings> settings =
      MakeInstallSettings(u"", /*system_language=*/true);
  ASSERT_EQ(u"de", settings->install_language());
  const std::u16string folder = dir().Append(u"Nicht erstellt").value();
  std::vector<test::MessageBoxContent> boxes;
  test::ScopedDialogHandler quit([&boxes](HWND box) {
    if (!GetDlgItem(box, 0xFFFF)) return;
    boxes.push_back(test::ReadMessageBox(box));
    test::PressButton(box, IDYES);
  });

  UIScript script;
  script
      .Then(
          "welcome", [this] { return window() && fetcher()->starts == 1; },
          [this] {
            controller()->NotifyStatusChanged(kFetchingDownloadUrl);
            controller()->NotifyStatusChanged(kPackageReady);
            PostClick(Control(kAccept));
          })
      .Then(
          "backend started",
          [this] { return runner()->starts == 1 && runner()->package_ready; },
          [this, &folder] {
            runner()->SendError(kIdsFolderNotCreated, folder,
                                "Could not create installation folder");
            runner()->SendTerminated(kBackendFailed);
          })
      .Then(
          "error page", [this] { return Page() == InstallerPage::kError; },
          [this, &folder] {
            EXPECT_EQ(
                RcL10nHandler::GetStringWithArgs(kIdsFolderNotCreated, folder),
                Text(kMessage));
            EXPECT_NE(std::u16string::npos, Text(kMessage).find(folder));
            EXPECT_EQ(German(kIdsInstallFailedHeading), Text(kErrorHeading));
            EXPECT_TRUE(Shown(kErrorHeading));
            EXPECT_EQ(Control(kRetry), GetFocus());
            EXPECT_FALSE(Shown(kFullInstaller));
            ExpectBadgeAtTheLogosCorner();
            PostClick(Control(kRetry));
          })
      .Then(
          "retried", [this] { return runner()->starts == 2; },
          [this, &folder] {
            runner()->SendError(kIdsFolderNotCreated, folder,
                                "Could not create installation folder");
            runner()->SendTerminated(kBackendFailed);
          })
      .Then(
          "error page with the full installer",
          [this] {
            return Page() == InstallerPage::kError && Shown(kFullInstaller);
          },
          [this] {
            // Sized to its German text, at least as wide as Retry.
            HWND full = Control(kFullInstaller);
            EXPECT_EQ(German(kIdsGetFullInstaller), Text(kFullInstaller));
            RECT full_rect, retry_rect;
            GetWindowRect(full, &full_rect);
            GetWindowRect(Control(kRetry), &retry_rect);
            EXPECT_GE(full_rect.right - full_rect.left,
                      retry_rect.right - retry_rect.left);
            EXPECT_EQ(retry_rect.right, full_rect.right);
            PostClick(Control(kRetry));
          })
      .Then(
          "retried again", [this] { return runner()->starts == 3; },
          [this] {
            // Exit code 3, nothing reported.
            runner()->SendTerminated(kBackendFailed);
          })
      .Then(
          "generic error",
          [this] {
            return Page() == InstallerPage::kError &&
                   Text(kMessage) == German(kIdsInstallError);
          },
          [this] { PostMessageW(window()->dialog(), WM_CLOSE, 0, 0); });

  EXPECT_FALSE(RunUI(settings.get(), &script));
  EXPECT_TRUE(script.finished());
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(German(kIdsInstallerTitle), boxes[0].caption);
  EXPECT_EQ(German(kIdsQuitInstall), boxes[0].text);
  EXPECT_EQ(u"&Ja", boxes[0].yes);
  EXPECT_EQ(u"&Nein", boxes[0].no);
  std::unique_ptr<base::DictionaryValue> stats = SentStats();
  ASSERT_TRUE(stats);
  int cancelled = 0;
  EXPECT_TRUE(stats->GetInteger("installation_cancelled", &cancelled));
  EXPECT_EQ(1, cancelled);
  std::string reason;
  EXPECT_TRUE(stats->GetString("failure_reason", &reason));
  EXPECT_EQ("Unreported installer error.", reason);
}

}  // namespace
}  // namespace installer
