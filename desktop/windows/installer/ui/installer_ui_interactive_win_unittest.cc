// An interactive installation driven to its end in this process, as a user
// makes it: real Settings on the test's folder, the real window, fake
// fetcher and runner, and the statistics sent with "local-stats-server" to
// a python server on port 3000 (this executable's tests hold its lock).
// Each page is saved as a PNG beside the test executable
// (ui_screenshots\interactive_*.png).

#include <windows.h>
// After windows.h.
#include <commctrl.h>
#include <richedit.h>

#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/values.h"
#include "desktop/windows/installer/core/status.h"
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

constexpr uint32_t kBackendSteps = 20;

// The progress bar's position after every change of it.
LRESULT CALLBACK RecordBarPositions(HWND bar, UINT message, WPARAM wparam,
                                    LPARAM lparam, UINT_PTR, DWORD_PTR data) {
  const LRESULT result = DefSubclassProc(bar, message, wparam, lparam);
  if (message == PBM_SETPOS || message == PBM_STEPIT) {
    reinterpret_cast<std::vector<int>*>(data)->push_back(
        static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0)));
  }
  return result;
}

class InteractiveInstallTest : public test::ControllerTestBase {
 protected:
  HWND Dialog() { return window()->dialog(); }
  HWND Options() { return window()->options_dialog(); }

  void SaveScreenshot(const char16_t* page) {
    test::WindowImage image(Dialog());
    EXPECT_TRUE(image.SavePng(test::ScreenshotFolder().Append(
        std::u16string(u"interactive_") + page + u".png")));
  }

  // The logo's opaque pixels at the centre of its control.
  void ExpectLogoCentred() {
    // Drawn for the display: 96 pixels at 96 pixels per inch.
    ScopedBitmap logo(LoadResourceBitmapForDpi(kLogoPictureId, kPngResourceType,
                                               window()->dpi()));
    ASSERT_TRUE(logo);
    const int size = MulDiv(96, window()->dpi(), 96);
    const RECT control = test::RectIn(Control(kLogo), Dialog());
    test::WindowImage image(Dialog());
    EXPECT_TRUE(test::ShowsOpaquePixels(
        image, logo.get(),
        control.left + (control.right - control.left) / 2 - size / 2,
        control.top + (control.bottom - control.top) / 2 - size / 2));
  }

  // Every text the options page shows is the German table's.
  void ExpectGermanTexts() {
    const struct {
      int id;
      uint32_t string_id;
    } texts[] = {{kBack, kIdsBack},
                 {kAccept, kIdsAcceptAndInstall},
                 {kLanguageLabel, kIdsLanguageLabel},
                 {kInstallForLabel, kIdsInstallForLabel},
                 {kInstallPathLabel, kIdsInstallPathLabel},
                 {kChangeFolder, kIdsChangeFolder},
                 {kImportData, kIdsImportData},
                 {kUsageData, kIdsShareUsageData}};
    for (const auto& text : texts) {
      SCOPED_TRACE(text.id);
      EXPECT_TRUE(Shown(text.id));
      EXPECT_EQ(RcL10nHandler::GetStringForCode(u"de", text.string_id),
                Text(text.id));
    }
    EXPECT_EQ(RcL10nHandler::GetStringForCode(u"de", kIdsInstallerTitle),
              test::WindowText(Dialog()));
    // The hidden pages changed too.
    EXPECT_EQ(RcL10nHandler::GetStringForCode(u"de", kIdsOptions),
              Text(kOptionsButton));
    EXPECT_EQ(RcL10nHandler::GetStringForCode(u"de", kIdsThankYou),
              Text(kProgressHeading));
  }
};

TEST_F(InteractiveInstallTest, InstallsToTheEnd) {
  SetUpStatsServer(/*local_stats_server=*/true);
  std::unique_ptr<Settings> settings = MakeInstallSettings(u"");
  const std::u16string typed = dir().Append(u"Typed Folder\\Velna").value();
  const base::FilePath chosen = dir().Append(u"Chosen Folder");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(chosen));
  const bool import = settings->import_browser_data();
  std::vector<int> bar;
  int browsers = 0;
  test::ScopedDialogHandler browser([&](HWND dialog) {
    if (!window() || dialog == Dialog() || GetDlgItem(dialog, 0xFFFF)) return;
    ++browsers;
    test::SelectAndPressButton(dialog, IDOK, chosen.value());
  });

  UIScript script;
  script
      .Then(
          "welcome", [this] { return window() && fetcher()->starts == 1; },
          [this] {
            controller()->NotifyStatusChanged(FETCHING_DOWNLOAD_URL);
            controller()->SetTotalProgress(100);
            controller()->SetCurrentProgress(50);
            controller()->NotifyStatusChanged(DOWNLOADING);
            controller()->SetTotalProgress(1000);
            controller()->SetCurrentProgress(400);
            EXPECT_EQ(InstallerPage::kWelcome, Page());
            ExpectLogoCentred();
            SaveScreenshot(u"welcome");
            HWND terms_line = Control(kTermsLine);
            const TextLink link = window()->terms_links().at(0);
            test::ClickAt(terms_line,
                          test::CharacterPoint(terms_line, link.start + 2));
          })
      .Then(
          "terms", [this] { return Page() == InstallerPage::kTos; },
          [this] {
            const std::u16string terms = test::ReadTermsFile();
            ASSERT_FALSE(terms.empty());
            EXPECT_EQ(terms, test::WithoutCarriageReturns(Text(kTermsText)));
            SaveScreenshot(u"terms");
            PostClick(Control(kBack));
          })
      .Then(
          "welcome again", [this] { return Page() == InstallerPage::kWelcome; },
          [this] { PostClick(Control(kOptionsButton)); })
      .Then(
          "options", [this] { return Page() == InstallerPage::kOptions; },
          [this] {
            SaveScreenshot(u"options");
            const int german =
                test::LanguageIndex(Control(kLanguageList), u"de");
            ASSERT_LE(0, german);
            test::PostChooseEntry(Options(), kLanguageList, german);
          })
      .Then(
          "German",
          [&settings] { return settings->install_language() == u"de"; },
          [this] {
            ExpectGermanTexts();
            test::PostChooseEntry(Options(), kInstallForList, 1);
          })
      .Then(
          "current user", [&settings] { return !settings->all_users(); },
          [this, &typed] {
            HWND edit = test::ComboEdit(Control(kInstallPath));
            SendMessageW(edit, EM_SETSEL, 0, -1);
            test::PostTyping(edit, u"\b" + typed);
          })
      .Then(
          "typed",
          [this, &settings, &typed] {
            return !settings->IsStatusPending() &&
                   settings->GetStatus()->install_folder.value() == typed;
          },
          [this, &typed] {
            EXPECT_EQ(typed, Text(kInstallPath));
            PostClick(Control(kChangeFolder));
          })
      .Then(
          "chosen in the browser",
          [this, &settings, &chosen] {
            return !settings->IsStatusPending() &&
                   settings->GetStatus()->install_folder == chosen;
          },
          [this, &chosen] {
            EXPECT_EQ(chosen.value(), Text(kInstallPath));
            PostClick(Control(kImportData));
          })
      .Then(
          "import toggled",
          [&settings, import] {
            return settings->import_browser_data() != import;
          },
          [this] { SetForegroundWindow(Dialog()); })
      .Then(
          // Keys reach the page only while the window is active.
          "active", [this] { return test::TakesKeys(Dialog()); },
          [this] {
            SendMessageW(Dialog(), WM_NEXTDLGCTL,
                         reinterpret_cast<WPARAM>(Control(kAccept)), TRUE);
            PostMessageW(Control(kAccept), WM_KEYDOWN, VK_TAB, 1);
          })
      .Then(
          "Tab reached the options",
          [this] { return GetFocus() == Control(kLanguageList); },
          [this, &bar] {
            SetWindowSubclass(Control(kProgressBar), &RecordBarPositions, 1,
                              reinterpret_cast<DWORD_PTR>(&bar));
            PostClick(Control(kAccept));
          })
      .Then(
          "progress",
          [this] {
            return Page() == InstallerPage::kProgress && runner()->starts == 1;
          },
          [this] {
            SaveScreenshot(u"progress");
            controller()->SetCurrentProgress(1000);
            controller()->NotifyStatusChanged(EXTRACTING);
            controller()->SetTotalProgress(10);
            controller()->SetCurrentProgress(5);
            controller()->SetCurrentProgress(10);
            controller()->NotifyStatusChanged(PACKAGE_READY);
          })
      .Then(
          "package ready", [this] { return runner()->package_ready; },
          [this] {
            // The backend counts its steps plus one.
            runner()->SendTotalSteps(kBackendSteps + 1);
            for (uint32_t i = 0; i < kBackendSteps; ++i) runner()->SendStep();
            runner()->SendSuccess();
            runner()->SendTerminated(true);
          });

  EXPECT_TRUE(RunUI(settings.get(), &script));
  EXPECT_TRUE(script.finished());
  EXPECT_EQ(1, browsers);

  // The bar never moved back and ended full.
  ASSERT_FALSE(bar.empty());
  for (size_t i = 1; i < bar.size(); ++i) EXPECT_LE(bar[i - 1], bar[i]) << i;
  EXPECT_EQ(1303, bar.back());

  std::unique_ptr<base::DictionaryValue> stats = SentStats();
  ASSERT_TRUE(stats);
  int value = -1;
  EXPECT_TRUE(stats->GetInteger("installation_success", &value));
  EXPECT_EQ(1, value);
  EXPECT_FALSE(stats->HasKey("failure_reason"));
  EXPECT_TRUE(stats->GetInteger("run_immediately", &value));
  EXPECT_EQ(0, value);
  // The choices at the start (all users) and at the end (current user).
  std::string mode;
  EXPECT_TRUE(stats->GetString("ui.initial_installation_mode", &mode));
  const std::string initial_mode = mode;
  EXPECT_TRUE(stats->GetString("installation_mode", &mode));
  EXPECT_NE(initial_mode, mode);

  const base::ListValue* pages = nullptr;
  ASSERT_TRUE(stats->GetList("ui.page_sequence", &pages));
  const struct {
    const char* type;
    const char* action;
  } expected[] = {{"WELCOME", "TOS"},
                  {"TOS", "BACK"},
                  {"WELCOME", "OPTIONS"},
                  {"OPTIONS", "ACCEPT"},
                  {"PROGRESS", ""}};
  ASSERT_EQ(std::size(expected), pages->GetSize());
  for (size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(expected[i].type, test::PageValue(*stats, i, "page_type"));
    EXPECT_EQ(expected[i].action,
              test::PageValue(*stats, i, "navigation_action"));
    const base::DictionaryValue* page = nullptr;
    ASSERT_TRUE(pages->GetDictionary(i, &page));
    std::string time;
    EXPECT_EQ(*expected[i].action != '\0',
              page->GetString("navigation_time.time", &time));
  }
  const base::DictionaryValue* options = nullptr;
  ASSERT_TRUE(pages->GetDictionary(3, &options));
  const struct {
    const char* key;
    int count;
  } counters[] = {{"changed_language", 1},
                  {"changed_install_mode", 1},
                  {"edited_install_path", static_cast<int>(typed.size()) + 1},
                  {"changed_import_data", 1}};
  for (const auto& counter : counters) {
    SCOPED_TRACE(counter.key);
    EXPECT_TRUE(options->GetInteger(counter.key, &value));
    EXPECT_EQ(counter.count, value);
  }
}

}  // namespace
}  // namespace installer
