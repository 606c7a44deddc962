// The error page as a German user sees it: this executable runs with
// LC_ALL=de_DE.UTF-8 and no language switch, so the settings choose German
// from the system's preferred UI language. The backend is real: the
// production installer runner launches the fake package backend, copied
// as the package's "installer.exe", which reports over the install
// folder's mailslot what a backend that cannot create the install folder
// reports, then ends with a failing exit code.

#include <windows.h>

#include <algorithm>
#include <string>

#include "base/files/file_util.h"
#include "base/test/child_process_win.h"
#include "base/values.h"
#include "desktop/windows/installer/core/folder_permission_win.h"
#include "desktop/windows/installer/test/installation_test_util.h"
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

// The fake backend's script: the error it reports (0: none) and its exit
// code.
constexpr char kReportsTheFolder[] = "37059 1";
constexpr char kEndsWithoutAWord[] = "0 3";
// The full-installer button's margin around its text.
constexpr int kFullInstallerPadding = 30;

class GermanErrorPageTest : public test::ControllerTestBase {
 protected:
  std::u16string German(uint32_t id) {
    return RcL10nHandler::GetStringForCode(u"de", id);
  }

  // The fake backend as the package's "installer.exe", |script| beside it.
  void PreparePackage(const base::FilePath& package, const char* script) {
    ASSERT_TRUE(base::FileUtil::CreateDirectory(package));
    ASSERT_TRUE(
        base::CopyOneFile(base::FilePath(base::GetTestExecutableFolder() +
                                         u"installer_ui_fake_backend.exe"),
                          package.Append(kPackageInstallerName)));
    WriteScript(package, script);
  }
  void WriteScript(const base::FilePath& package, const char* script) {
    ASSERT_TRUE(
        test::WriteTextFile(package.Append(u"fake_backend.txt"), script));
  }

  // The badge's opaque pixels at the logo's bottom-right corner, 10 pixels
  // beyond it.
  void ExpectBadgeAtTheLogosCorner() {
    // Drawn for the display: 96 and 32 pixels at 96 pixels per inch, the
    // corner 10 pixels out.
    const int dpi = window()->dpi();
    ScopedBitmap badge(
        LoadResourceBitmapForDpi(kErrorBadgePictureId, kPngResourceType, dpi));
    ASSERT_TRUE(badge);
    const int logo_size = MulDiv(96, dpi, 96);
    const int badge_size = MulDiv(32, dpi, 96);
    const int corner = MulDiv(10, dpi, 96);
    const RECT logo = test::RectIn(Control(kLogo), window()->dialog());
    const int left = logo.left + (logo.right - logo.left) / 2 - logo_size / 2;
    const int top = logo.top + (logo.bottom - logo.top) / 2 - logo_size / 2;
    test::WindowImage image(window()->dialog());
    EXPECT_TRUE(test::ShowsOpaquePixels(image, badge.get(),
                                        left + logo_size + corner - badge_size,
                                        top + logo_size + corner - badge_size));
    EXPECT_TRUE(
        image.SavePng(test::ScreenshotFolder().Append(u"german_error.png")));
  }

  // The full-installer button: its text with the margin, at least as wide
  // as Retry, its right edge on Retry's.
  void ExpectFullInstallerSizedToItsText() {
    HWND full = Control(kFullInstaller);
    const std::u16string text = Text(kFullInstaller);
    EXPECT_EQ(German(kIdsGetFullInstaller), text);
    HDC dc = GetDC(full);
    HGDIOBJ old = SelectObject(
        dc, reinterpret_cast<HFONT>(SendMessageW(full, WM_GETFONT, 0, 0)));
    RECT needed = {};
    DrawTextW(dc, reinterpret_cast<const wchar_t*>(text.c_str()), -1, &needed,
              DT_CALCRECT | DT_SINGLELINE);
    SelectObject(dc, old);
    ReleaseDC(full, dc);
    RECT full_rect, retry_rect;
    GetWindowRect(full, &full_rect);
    GetWindowRect(Control(kRetry), &retry_rect);
    const int width = full_rect.right - full_rect.left;
    const int retry_width = retry_rect.right - retry_rect.left;
    // German needs more than Retry's width: the button grew to the left.
    EXPECT_GT(width, retry_width);
    // The window measures in a font of the dialog's face and size.
    EXPECT_NEAR(
        std::max<int>(needed.right + kFullInstallerPadding, retry_width), width,
        2);
    EXPECT_EQ(retry_rect.right, full_rect.right);
  }
};

TEST_F(GermanErrorPageTest, ErrorsRetryAndQuitInGerman) {
  SetUpStatsServer(false);
  std::unique_ptr<Settings> settings =
      MakeInstallSettings(u"", /*system_language=*/true);
  ASSERT_EQ(u"de", settings->install_language());
  // The fake backend reports the install folder it was given.
  const std::u16string folder = InstallFolder().value();
  const std::u16string folder_message = RcL10nHandler::GetStringForLanguage(
      RcL10nHandler::GetLangId(u"de"), kIdsFolderNotCreated, {folder});
  ASSERT_NE(std::u16string::npos, folder_message.find(folder));
  std::vector<test::MessageBoxContent> boxes;
  test::ScopedDialogHandler quit([&boxes](HWND box) {
    if (!GetDlgItem(box, 0xFFFF)) return;
    boxes.push_back(test::ReadMessageBox(box));
    test::PressButton(box, IDYES);
  });
  MakeController();
  parts()->real_runner = true;

  UIScript script;
  script
      .Then(
          "welcome", [this] { return window() && fetcher()->starts == 1; },
          [this] {
            // The package is ready before Accept: the runner launches its
            // "installer.exe" at once.
            PreparePackage(parts()->runner_package_folder, kReportsTheFolder);
            controller()->NotifyStatusChanged(FETCHING_DOWNLOAD_URL);
            controller()->NotifyStatusChanged(PACKAGE_READY);
            PostClick(Control(kAccept));
          })
      .Then(
          // The focus shows once the window is active.
          "error page",
          [this] {
            return Page() == InstallerPage::kError &&
                   test::TakesKeys(window()->dialog());
          },
          [this, &folder_message] {
            EXPECT_EQ(folder_message, Text(kMessage));
            EXPECT_EQ(German(kIdsInstallFailedHeading), Text(kErrorHeading));
            EXPECT_TRUE(Shown(kErrorHeading));
            EXPECT_EQ(Control(kRetry), GetFocus());
            EXPECT_FALSE(Shown(kFullInstaller));
            ExpectBadgeAtTheLogosCorner();
            PostClick(Control(kRetry));
          })
      .Then(
          "error page with the full installer",
          [this] {
            return Page() == InstallerPage::kError && Shown(kFullInstaller);
          },
          [this, &folder_message] {
            EXPECT_EQ(folder_message, Text(kMessage));
            ExpectFullInstallerSizedToItsText();
            WriteScript(parts()->runner_package_folder, kEndsWithoutAWord);
            PostClick(Control(kRetry));
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
  int value = -1;
  EXPECT_TRUE(stats->GetInteger("installation_cancelled", &value));
  EXPECT_EQ(1, value);
  EXPECT_TRUE(stats->GetInteger("installation_success", &value));
  EXPECT_EQ(0, value);
  std::string reason;
  EXPECT_TRUE(stats->GetString("failure_reason", &reason));
  EXPECT_EQ("Unreported installer error.", reason);
  // Each page of the run, and the backend's reason on the first error.
  EXPECT_EQ("ERROR", test::PageValue(*stats, 2, "page_type"));
  EXPECT_EQ("Could not create installation folder",
            test::PageValue(*stats, 2, "failure_reason"));
  EXPECT_EQ("RETRY", test::PageValue(*stats, 2, "navigation_action"));
}

}  // namespace
}  // namespace installer
