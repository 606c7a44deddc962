// A host whose executable lacks a dialog template of the window. These
// tests run in two executables: one without dialogs 101 and 138, one with
// 101 only; both end the same way.

#include <windows.h>

#include <string>
#include <vector>

#include "base/values.h"
#include "desktop/windows/installer/common/stats_document.h"
#include "desktop/windows/installer/ui/installer_ui_controller_win.h"
#include "desktop/windows/installer/ui/test/controller_test_base_win.h"
#include "desktop/windows/installer/ui/test/window_test_util_win.h"
#include "desktop/windows/rc_l10n_handler/rc_l10n_handler.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using MissingDialogTest = test::ControllerTestBase;

// The top-level windows of this thread.
std::vector<HWND> ThreadWindows() {
  std::vector<HWND> windows;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM data) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&windows));
  return windows;
}

// Nothing would end the run: the user hears of it, and the run ends as
// failed.
TEST_F(MissingDialogTest, RunEndsWithAMessageInsteadOfHanging) {
  SetUpStatsServer(false);
  std::unique_ptr<Settings> settings = MakeInstallSettings(u"");
  std::vector<test::MessageBoxContent> boxes;
  test::ScopedDialogHandler handler([&boxes](HWND box) {
    if (!GetDlgItem(box, 0xFFFF)) return;
    boxes.push_back(test::ReadMessageBox(box));
    test::PressButton(box, IDOK);
  });
  test::UIScript script;
  EXPECT_FALSE(RunUI(settings.get(), &script));

  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(nullptr, boxes[0].owner);
  EXPECT_EQ(RcL10nHandler::GetString(kIdsInstallerTitle), boxes[0].caption);
  EXPECT_EQ(RcL10nHandler::GetString(kIdsInstallError), boxes[0].text);
  EXPECT_EQ(RcL10nHandler::GetString(kIdsOk), boxes[0].ok);
  EXPECT_EQ(nullptr, window());
  // The fetcher never started; the runner was stopped.
  EXPECT_EQ(0, fetcher()->starts);
  EXPECT_EQ(0, runner()->starts);

  std::unique_ptr<base::DictionaryValue> stats = SentStats();
  ASSERT_TRUE(stats);
  std::string reason;
  EXPECT_TRUE(stats->GetString("failure_reason", &reason));
  EXPECT_EQ(kWindowCreationFailure, reason);
  int success = -1;
  EXPECT_TRUE(stats->GetInteger("installation_success", &success));
  EXPECT_EQ(0, success);
}

// A window that fails on its second dialog leaves no first one behind.
TEST_F(MissingDialogTest, NoDialogIsLeftBehind) {
  std::unique_ptr<Settings> settings = MakeInstallSettings(u"");
  const std::vector<HWND> before = ThreadWindows();
  auto document = base::MakeRefCounted<StatsDocument>();
  EXPECT_EQ(nullptr, InstallerWindow::Create(settings.get(), document->root(),
                                             false, base::win::kVersionWin10));
  EXPECT_EQ(before, ThreadWindows());
  // Nothing was recorded, and the settings have no observer left to call.
  EXPECT_FALSE(document->CreateSnapshot()->HasKey("ui"));
  settings->SetImportBrowserData(!settings->import_browser_data());
}

}  // namespace
}  // namespace installer
