#include "desktop/windows/installer/ui/installer_window_win.h"

#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/files/file_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/values.h"
#include "desktop/windows/installer/core/status.h"
#include "desktop/windows/installer/service/utils.h"
#include "desktop/windows/installer/ui/installer_window_ids.h"
#include "desktop/windows/installer/ui/resource_image_win.h"
#include "desktop/windows/installer/ui/scoped_gdi_object_win.h"
#include "desktop/windows/installer/ui/test/installer_window_test_base_win.h"
#include "desktop/windows/installer/ui/test/window_test_util_win.h"
#include "desktop/windows/installer/ui/win32_dialog_dispatcher_win.h"
#include "desktop/windows/rc_l10n_handler/rc_l10n_handler.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using namespace controls;

using InstallerWindowTest = test::InstallerWindowTestBase;

// Every main-dialog control the pages show or hide.
constexpr int kPageControls[] = {
    kLogo,          kTermsText,         kBack,
    kSlogan,        kTermsLine,         kOptionsButton,
    kAccept,        kProgressHeading,   kProgressBar,
    kMessage,       kErrorHeading,      kRetry,
    kFullInstaller, kUninstallCancel,   kUninstall,
    kDeleteProfile, kUninstallQuestion, kUninstallErrorHeading};

std::set<int> ShownControls(HWND dialog) {
  std::set<int> shown;
  for (int id : kPageControls) {
    if (IsWindowVisible(GetDlgItem(dialog, id))) shown.insert(id);
  }
  return shown;
}

std::string PageType(const base::ListValue* pages, size_t index) {
  const base::DictionaryValue* page = nullptr;
  std::string type;
  if (pages && pages->GetDictionary(index, &page))
    page->GetString("page_type", &type);
  return type;
}

CHARFORMAT2W CharFormatAt(HWND rich_edit, LONG position) {
  SendMessageW(rich_edit, EM_SETSEL, position, position + 1);
  CHARFORMAT2W format = {};
  format.cbSize = sizeof(format);
  SendMessageW(rich_edit, EM_GETCHARFORMAT, SCF_SELECTION,
               reinterpret_cast<LPARAM>(&format));
  return format;
}

TEST_F(InstallerWindowTest, PagesShowTheirControlsAndFocus) {
  Open();
  HWND dialog = window_->dialog();
  ASSERT_TRUE(IsWindowVisible(dialog));
  const struct {
    const char* step;
    std::function<void()> go;
    InstallerPage page;
    std::set<int> shown;
    int focus;
  } steps[] = {
      {"start",
       [] {},
       InstallerPage::kWelcome,
       {kLogo, kSlogan, kTermsLine, kOptionsButton, kAccept},
       kAccept},
      {"options",
       [this] { Click(kOptionsButton); },
       InstallerPage::kOptions,
       {kBack, kAccept},
       kAccept},
      {"back",
       [this] { Click(kBack); },
       InstallerPage::kWelcome,
       {kLogo, kSlogan, kTermsLine, kOptionsButton, kAccept},
       kAccept},
      {"progress",
       [this] { window_->ShowProgress(10, 100); },
       InstallerPage::kProgress,
       {kLogo, kProgressHeading, kProgressBar, kMessage},
       0},
      {"error",
       [this] { window_->ShowError(u"Broken", false, "detail"); },
       InstallerPage::kError,
       {kLogo, kMessage, kErrorHeading, kRetry, kBack},
       kRetry},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.step);
    step.go();
    EXPECT_EQ(step.page, window_->page());
    EXPECT_EQ(step.shown, ShownControls(dialog));
    EXPECT_EQ(step.page == InstallerPage::kOptions,
              IsWindowVisible(window_->options_dialog()) != FALSE);
    if (step.focus) {
      EXPECT_EQ(Control(step.focus), FocusInWindow());
    }
  }
  const base::ListValue* pages = Pages();
  ASSERT_TRUE(pages);
  ASSERT_EQ(5u, pages->GetSize());
  const char* const expected[] = {"WELCOME", "OPTIONS", "WELCOME", "PROGRESS",
                                  "ERROR"};
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(expected[i], PageType(pages, i));
}

TEST_F(InstallerWindowTest, TermsLinkClickOpensTheTerms) {
  Open();
  HWND terms_line = Control(kTermsLine);
  ASSERT_EQ(1u, window_->terms_links().size());
  const TextLink link = window_->terms_links()[0];
  EXPECT_EQ(u"tos", link.href);

  // The label reads as the English text gives it, marked as a link in the
  // terms line's link colour; the text before it is no link.
  const std::u16string text = test::WindowText(terms_line);
  EXPECT_EQ(u"Terms of Service", text.substr(link.start, link.length));
  const CHARFORMAT2W inside =
      CharFormatAt(terms_line, static_cast<LONG>(link.start));
  EXPECT_TRUE(inside.dwEffects & CFE_LINK);
  EXPECT_EQ(kTermsLinkColor, inside.crTextColor);
  EXPECT_FALSE(CharFormatAt(terms_line, 0).dwEffects & CFE_LINK);

  // A click beside the link does nothing; a click on it opens the terms.
  test::ClickAt(terms_line, test::CharacterPoint(terms_line, 1));
  ASSERT_TRUE(test::RunUiUntilInputHandled());
  EXPECT_EQ(InstallerPage::kWelcome, window_->page());
  test::ClickAt(terms_line, test::CharacterPoint(terms_line, link.start + 2));
  ASSERT_TRUE(test::RunUiUntil(
      [this] { return window_->page() == InstallerPage::kTos; }));
  const std::u16string terms = test::ReadTermsFile();
  ASSERT_FALSE(terms.empty());
  EXPECT_EQ(terms, test::WithoutCarriageReturns(
                       test::WindowText(Control(kTermsText))));

  const base::ListValue* pages = Pages();
  const base::DictionaryValue* welcome = nullptr;
  ASSERT_TRUE(pages && pages->GetDictionary(0, &welcome));
  std::string action;
  EXPECT_TRUE(welcome->GetString("navigation_action", &action));
  EXPECT_EQ("TOS", action);
  EXPECT_EQ("TOS", PageType(pages, 1));
}

// Chooses entry |index| of combo box |id| of |dialog| as a user does: the
// selection changes, then the dialog hears CBN_SELCHANGE.
void ChooseEntry(HWND dialog, int id, int index) {
  HWND combo = GetDlgItem(dialog, id);
  SendMessageW(combo, CB_SETCURSEL, index, 0);
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(combo));
}

int Counter(const base::ListValue* pages, size_t page, const char* key) {
  const base::DictionaryValue* node = nullptr;
  int value = 0;
  if (pages && pages->GetDictionary(page, &node)) node->GetInteger(key, &value);
  return value;
}

TEST_F(InstallerWindowTest, OptionsEditTheSettings) {
  Open();
  Click(kOptionsButton);
  HWND options = window_->options_dialog();

  // German: every text of the window is the German table's.
  const int german = test::LanguageIndex(Control(kLanguageList), u"de");
  ASSERT_LE(0, german);
  ChooseEntry(options, kLanguageList, german);
  EXPECT_EQ(u"de", settings_->install_language());
  const struct {
    int id;
    uint32_t string_id;
  } texts[] = {{kOptionsButton, kIdsOptions},
               {kBack, kIdsBack},
               {kLanguageLabel, kIdsLanguageLabel},
               {kInstallForLabel, kIdsInstallForLabel},
               {kInstallPathLabel, kIdsInstallPathLabel},
               {kChangeFolder, kIdsChangeFolder},
               {kInvalidPath, kIdsInvalidPath},
               {kDefaultBrowser, kIdsMakeDefaultBrowser},
               {kImportData, kIdsImportData},
               {kUsageData, kIdsShareUsageData},
               {kAccept, kIdsAcceptAndInstall}};
  for (const auto& text : texts) {
    SCOPED_TRACE(text.id);
    const std::u16string expected =
        RcL10nHandler::GetStringForCode(u"de", text.string_id);
    ASSERT_FALSE(expected.empty());
    EXPECT_NE(expected,
              RcL10nHandler::GetStringForCode(u"en-US", text.string_id));
    EXPECT_EQ(expected, test::WindowText(Control(text.id)));
  }
  EXPECT_EQ(RcL10nHandler::GetStringForCode(u"de", kIdsInstallerTitle),
            test::WindowText(window_->dialog()));
  EXPECT_EQ(german, SendMessageW(Control(kLanguageList), CB_GETCURSEL, 0, 0));
  const std::u16string install_for_entry(512, u'\0');
  SendMessageW(Control(kInstallForList), CB_GETLBTEXT, 2,
               reinterpret_cast<LPARAM>(install_for_entry.data()));
  EXPECT_EQ(RcL10nHandler::GetStringForCode(u"de", kIdsStandalone),
            std::u16string(install_for_entry.c_str()));

  // The install mode and an option.
  ChooseEntry(options, kInstallForList, 1);
  EXPECT_FALSE(settings_->all_users());
  EXPECT_FALSE(settings_->copy_only());
  const bool import = settings_->import_browser_data();
  Click(kImportData);
  EXPECT_EQ(!import, settings_->import_browser_data());
  EXPECT_EQ(import ? BST_UNCHECKED : BST_CHECKED,
            IsDlgButtonChecked(options, kImportData));

  // A folder typed key by key: field and settings hold what was typed.
  const std::u16string typed = dir().Append(u"Typed Folder\\Velna").value();
  HWND field = Control(kInstallPath);
  HWND edit = test::ComboEdit(field);
  SendMessageW(edit, EM_SETSEL, 0, -1);
  test::TypeText(edit, u"\b" + typed);
  ASSERT_TRUE(WaitForStatus());
  EXPECT_EQ(typed, test::WindowText(field));
  EXPECT_EQ(typed, settings_->GetStatus()->install_folder.value());
  EXPECT_TRUE(settings_->GetStatus()->valid_install_path);

  const base::ListValue* pages = Pages();
  ASSERT_EQ(2u, pages->GetSize());
  EXPECT_EQ(1, Counter(pages, 1, "changed_language"));
  EXPECT_EQ(1, Counter(pages, 1, "changed_install_mode"));
  EXPECT_EQ(1, Counter(pages, 1, "changed_import_data"));
  EXPECT_EQ(static_cast<int>(typed.size()) + 1,
            Counter(pages, 1, "edited_install_path"));
}

TEST_F(InstallerWindowTest, FolderBrowserStartsAtTheFieldAndReturnsTheChoice) {
  Open();
  Click(kOptionsButton);
  const base::FilePath start = dir().Append(u"Start");
  const base::FilePath chosen = dir().Append(u"Chosen");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(start));
  ASSERT_TRUE(base::FileUtil::CreateDirectory(chosen));
  settings_->SetInstallFolder(start);
  ASSERT_TRUE(WaitForStatus());
  ASSERT_EQ(start.value(), test::WindowText(Control(kInstallPath)));

  // Accepted as it opens: the browser returns the folder it started at.
  std::vector<std::u16string> texts;
  bool selected = false;
  {
    test::ScopedDialogHandler handler([&](HWND browser) {
      texts = test::ChildTexts(browser);
      test::PressButtonOnceSelected(browser, IDOK, start.value(), &selected);
    });
    handler.Ignore(window_->dialog());
    Click(kChangeFolder);
    EXPECT_EQ(1, handler.handled());
  }
  // The title is shown inside the browser.
  EXPECT_NE(texts.end(),
            std::find(texts.begin(), texts.end(),
                      RcL10nHandler::GetString(kIdsBrowseForFolder)));
  ASSERT_TRUE(WaitForStatus());
  // Wine's browser now and then drops the selection asked for when it opens
  // (it then returns its root); only a browser that showed it must return it.
  if (selected) {
    EXPECT_EQ(start.value(), test::WindowText(Control(kInstallPath)));
    EXPECT_EQ(start, settings_->GetStatus()->install_folder);
  }

  // Another folder chosen in the browser reaches field and settings. A
  // browser that never shows the folder (Wine's, now and then, on a loaded
  // machine) is cancelled and opened again.
  bool shown = false;
  for (int attempt = 0; attempt < 3 && !shown; ++attempt) {
    test::ScopedDialogHandler handler([&](HWND browser) {
      test::SelectAndPressButton(browser, IDOK, chosen.value(), &shown,
                                 IDCANCEL, 15000);
    });
    handler.Ignore(window_->dialog());
    Click(kChangeFolder);
    EXPECT_EQ(1, handler.handled());
  }
  ASSERT_TRUE(shown);
  ASSERT_TRUE(WaitForStatus());
  EXPECT_EQ(chosen.value(), test::WindowText(Control(kInstallPath)));
  EXPECT_EQ(chosen, settings_->GetStatus()->install_folder);

  // Cancelled: nothing changes.
  {
    test::ScopedDialogHandler handler(
        [](HWND browser) { test::PressButton(browser, IDCANCEL); });
    handler.Ignore(window_->dialog());
    Click(kChangeFolder);
    EXPECT_EQ(1, handler.handled());
  }
  EXPECT_FALSE(settings_->IsStatusPending());
  EXPECT_EQ(chosen.value(), test::WindowText(Control(kInstallPath)));
}

TEST_F(InstallerWindowTest, TabFromAcceptReachesTheOptions) {
  Open();
  Click(kOptionsButton);
  HWND accept = Control(kAccept);
  // Keys reach the page only while the window is active.
  ASSERT_TRUE(test::WaitUntilActive(window_->dialog()));
  SendMessageW(window_->dialog(), WM_NEXTDLGCTL,
               reinterpret_cast<WPARAM>(accept), TRUE);
  ASSERT_EQ(accept, GetFocus());
  PostMessageW(accept, WM_KEYDOWN, VK_TAB, 1);
  EXPECT_TRUE(test::RunUiUntil(
      [this] { return GetFocus() == Control(kLanguageList); }));
  // Onwards through the options, in template order.
  ASSERT_TRUE(test::WaitUntilActive(window_->dialog()));
  PostMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 1);
  EXPECT_TRUE(test::RunUiUntil(
      [this] { return GetFocus() == Control(kInstallForList); }));
}

TEST_F(InstallerWindowTest, InvalidPathDisablesAcceptAndBack) {
  Open();
  Click(kOptionsButton);
  HWND edit = test::ComboEdit(Control(kInstallPath));
  const struct {
    std::u16string text;
    bool valid;
  } cases[] = {
      {u"relative\\folder", false},
      {dir().Append(u"Valid").value(), true},
      {u"C:\\in|valid", false},
      {InstallFolder().value(), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    test::TypeText(edit, u"\b" + c.text);
    ASSERT_TRUE(WaitForStatus());
    EXPECT_EQ(c.valid, IsWindowEnabled(Control(kAccept)) != FALSE);
    EXPECT_EQ(c.valid, IsWindowEnabled(Control(kBack)) != FALSE);
    EXPECT_EQ(!c.valid, Shown(kInvalidPath));
    EXPECT_EQ(c.text, test::WindowText(Control(kInstallPath)));
  }
}

TEST_F(InstallerWindowTest, OptionsFlipBackWhileInstalling) {
  Open();
  Click(kOptionsButton);
  const bool import = settings_->import_browser_data();
  const bool all_users = settings_->all_users();
  settings_->set_initialized(false);
  Click(kImportData);
  ChooseEntry(window_->options_dialog(), kInstallForList, all_users ? 1 : 0);
  EXPECT_EQ(import, settings_->import_browser_data());
  EXPECT_EQ(import ? BST_CHECKED : BST_UNCHECKED,
            IsDlgButtonChecked(window_->options_dialog(), kImportData));
  EXPECT_EQ(all_users ? 0 : 1,
            SendMessageW(Control(kInstallForList), CB_GETCURSEL, 0, 0));
  // The refused change is not counted; the list selection is.
  const base::ListValue* pages = Pages();
  EXPECT_EQ(0, Counter(pages, 1, "changed_import_data"));
  EXPECT_EQ(1, Counter(pages, 1, "changed_install_mode"));
  settings_->set_initialized(true);
}

TEST_F(InstallerWindowTest, QuitConfirmationInTheWindowsLanguage) {
  Open(u"--language=de");
  std::vector<test::MessageBoxContent> boxes;
  int answer = IDNO;
  test::ScopedDialogHandler handler([&boxes, &answer](HWND box) {
    boxes.push_back(test::ReadMessageBox(box));
    test::PressButton(box, answer);
  });
  handler.Ignore(window_->dialog());

  // No: nothing happens, nothing is recorded.
  PostMessageW(window_->dialog(), WM_CLOSE, 0, 0);
  ASSERT_TRUE(test::RunUiUntil([&boxes] { return boxes.size() == 1; }));
  // The box closed before the loop came back to the test.
  EXPECT_EQ(0, delegate_.cancelled);
  const base::DictionaryValue* welcome = nullptr;
  ASSERT_TRUE(Pages()->GetDictionary(0, &welcome));
  EXPECT_FALSE(welcome->HasKey("navigation_action"));

  // Yes: the delegates hear it, the page records "CANCEL".
  answer = IDYES;
  PostMessageW(window_->dialog(), WM_CLOSE, 0, 0);
  ASSERT_TRUE(test::RunUiUntil([this] { return delegate_.cancelled == 1; }));
  ASSERT_TRUE(Pages()->GetDictionary(0, &welcome));
  std::string action;
  EXPECT_TRUE(welcome->GetString("navigation_action", &action));
  EXPECT_EQ("CANCEL", action);
  std::string time;
  int elapsed = -1;
  EXPECT_TRUE(welcome->GetString("navigation_time.time", &time));
  EXPECT_TRUE(welcome->GetInteger("navigation_time.elapsed", &elapsed));
  EXPECT_FALSE(time.empty());
  EXPECT_LE(0, elapsed);

  ASSERT_EQ(2u, boxes.size());
  for (const test::MessageBoxContent& box : boxes) {
    EXPECT_EQ(window_->dialog(), box.owner);
    EXPECT_EQ(RcL10nHandler::GetStringForCode(u"de", kIdsInstallerTitle),
              box.caption);
    EXPECT_EQ(RcL10nHandler::GetStringForCode(u"de", kIdsQuitInstall),
              box.text);
    EXPECT_EQ(u"&Ja", box.yes);
    EXPECT_EQ(u"&Nein", box.no);
  }
}

TEST_F(InstallerWindowTest, FatalErrorShowsAMessageBoxAndCancels) {
  Open(u"--language=ca");
  std::vector<test::MessageBoxContent> boxes;
  test::ScopedDialogHandler handler([&boxes](HWND box) {
    boxes.push_back(test::ReadMessageBox(box));
    test::PressButton(box, IDOK);
  });
  handler.Ignore(window_->dialog());
  const std::u16string message =
      RcL10nHandler::GetStringForCode(u"ca", kIdsNoSse2);
  window_->ShowFatalError(message);
  EXPECT_EQ(1, delegate_.cancelled);
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(window_->dialog(), boxes[0].owner);
  EXPECT_EQ(message, boxes[0].text);
  EXPECT_EQ(u"D\u2019acord", boxes[0].ok);
  std::string displayed;
  const base::DictionaryValue* welcome = nullptr;
  ASSERT_TRUE(Pages()->GetDictionary(0, &welcome));
  EXPECT_TRUE(welcome->GetString("error_displayed", &displayed));
  EXPECT_EQ(base::UTF16ToUTF8(message), displayed);
}

// Counts the progress bar's PBM_STEPIT and PBM_SETPOS messages.
LRESULT CALLBACK CountBarMessages(HWND hwnd, UINT message, WPARAM wparam,
                                  LPARAM lparam, UINT_PTR, DWORD_PTR data) {
  auto* counts = reinterpret_cast<std::pair<int, int>*>(data);
  if (message == PBM_STEPIT) ++counts->first;
  if (message == PBM_SETPOS) ++counts->second;
  return DefSubclassProc(hwnd, message, wparam, lparam);
}

TEST_F(InstallerWindowTest, ProgressOnlyMovesForward) {
  Open();
  HWND bar = Control(kProgressBar);
  std::pair<int, int> counts;
  SetWindowSubclass(bar, &CountBarMessages, 1,
                    reinterpret_cast<DWORD_PTR>(&counts));
  window_->ShowProgress(100, 1303);
  EXPECT_EQ(InstallerPage::kProgress, window_->page());
  PBRANGE range = {};
  SendMessageW(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(100, range.iLow);
  EXPECT_EQ(1303, range.iHigh);
  EXPECT_EQ(100, SendMessageW(bar, PBM_GETPOS, 0, 0));
  const struct {
    int position;
    int expected;
    std::pair<int, int> counts;
  } steps[] = {
      {105, 105, {5, 0}},    // near: one step at a time
      {104, 105, {0, 0}},    // back: ignored
      {105, 105, {0, 0}},    // unchanged
      {115, 115, {10, 0}},   // ten ahead still steps
      {400, 400, {0, 1}},    // further: a jump
      {1303, 1303, {0, 1}},  // full
      // Beyond the top: stays full (a step there would start the bar over).
      {1305, 1303, {0, 0}},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.position);
    counts = {0, 0};
    window_->SetProgress(step.position);
    EXPECT_EQ(step.expected, SendMessageW(bar, PBM_GETPOS, 0, 0));
    EXPECT_EQ(step.counts, counts);
  }
  RemoveWindowSubclass(bar, &CountBarMessages, 1);
}

TEST_F(InstallerWindowTest, PhaseCaptions) {
  std::u16string user;
  ASSERT_TRUE(GetCurrentUserName(&user));
  const struct {
    const char16_t* arguments;
    int phase;
    std::u16string caption;
  } cases[] = {
      {u"", 0, RcL10nHandler::GetString(kIdsDownloading)},
      {u"", 1, RcL10nHandler::GetString(kIdsDownloading)},
      {u"", 2, RcL10nHandler::GetString(kIdsExtracting)},
      {u"--allusers=1", 5, RcL10nHandler::GetString(kIdsInstalling)},
      {u"--copyonly=1", 4, RcL10nHandler::GetString(kIdsInstalling)},
      {u"--allusers=0", 5, u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.phase);
    Close();
    Open(c.arguments);
    window_->ShowPhase(c.phase);
    const std::u16string caption = test::WindowText(Control(kMessage));
    if (c.caption.empty()) {
      // For the current user: the user's display name, else the logon name.
      std::u16string name;
      GetCurrentUserDisplayName(&name);
      if (name.empty()) name = user;
      EXPECT_EQ(RcL10nHandler::GetStringWithArgs(kIdsInstallingForUser, name),
                caption);
    } else {
      EXPECT_EQ(c.caption, caption);
    }
  }
  window_->ShowWaitingForNetwork();
  EXPECT_EQ(RcL10nHandler::GetString(kIdsWaitingForNetwork),
            test::WindowText(Control(kMessage)));
}

TEST_F(InstallerWindowTest, ErrorPageOffersTheFullInstallerWhenAsked) {
  Open(u"--language=de");
  HWND full = Control(kFullInstaller);
  RECT before;
  GetWindowRect(full, &before);
  window_->ShowError(u"first", false, "first detail");
  EXPECT_FALSE(Shown(kFullInstaller));
  EXPECT_EQ(u"first", test::WindowText(Control(kMessage)));
  EXPECT_EQ(Control(kRetry), FocusInWindow());
  EXPECT_TRUE(Shown(kBack));

  window_->ShowProgress(0, 10);
  window_->ShowError(u"second", true, "second detail");
  EXPECT_TRUE(Shown(kFullInstaller));
  EXPECT_EQ(u"second", test::WindowText(Control(kMessage)));
  // Sized to its German text, at least as wide as retry, right edge kept.
  RECT after, retry;
  GetWindowRect(full, &after);
  GetWindowRect(Control(kRetry), &retry);
  EXPECT_EQ(before.right, after.right);
  EXPECT_GE(after.right - after.left, retry.right - retry.left);
  HDC dc = GetDC(full);
  SelectObject(dc,
               reinterpret_cast<HFONT>(SendMessageW(full, WM_GETFONT, 0, 0)));
  RECT text = {};
  const std::u16string label = test::WindowText(full);
  DrawTextW(dc, reinterpret_cast<const wchar_t*>(label.c_str()), -1, &text,
            DT_CALCRECT | DT_SINGLELINE);
  ReleaseDC(full, dc);
  EXPECT_GT(after.right - after.left, text.right - text.left);
  RECT dialog_client;
  GetClientRect(window_->dialog(), &dialog_client);
  POINT left = {after.left, after.top};
  ScreenToClient(window_->dialog(), &left);
  EXPECT_GE(left.x, 0);

  const base::ListValue* pages = Pages();
  ASSERT_EQ(4u, pages->GetSize());
  const base::DictionaryValue* page = nullptr;
  std::string reason;
  ASSERT_TRUE(pages->GetDictionary(1, &page));
  EXPECT_TRUE(page->GetString("failure_reason", &reason));
  EXPECT_EQ("first detail", reason);
  ASSERT_TRUE(pages->GetDictionary(3, &page));
  EXPECT_TRUE(page->GetString("failure_reason", &reason));
  EXPECT_EQ("second detail", reason);
}

TEST_F(InstallerWindowTest, RunImmediatelyRecordsProgressFirstAndHidesBack) {
  Open(u"", /*run_immediately=*/true);
  EXPECT_EQ(InstallerPage::kWelcome, window_->page());
  window_->ShowError(u"failed", false, "detail");
  EXPECT_FALSE(Shown(kBack));
  const base::ListValue* pages = Pages();
  ASSERT_EQ(3u, pages->GetSize());
  EXPECT_EQ("PROGRESS", PageType(pages, 0));
  EXPECT_EQ("WELCOME", PageType(pages, 1));
  EXPECT_EQ("ERROR", PageType(pages, 2));
  // Not observing: a settings change leaves the window alone.
  const bool import = settings_->import_browser_data();
  settings_->SetImportBrowserData(!import);
  EXPECT_EQ(import ? BST_CHECKED : BST_UNCHECKED,
            IsDlgButtonChecked(window_->options_dialog(), kImportData));
}

TEST_F(InstallerWindowTest, UninstallPage) {
  Open(u"--uninstall");
  EXPECT_EQ(InstallerPage::kUninstall, window_->page());
  EXPECT_EQ((std::set<int>{kLogo, kUninstallCancel, kUninstall, kDeleteProfile,
                           kUninstallQuestion}),
            ShownControls(window_->dialog()));
  EXPECT_EQ(Control(kUninstall), FocusInWindow());
  const struct {
    int id;
    uint32_t string_id;
  } texts[] = {{kUninstall, kIdsUninstall},
               {kUninstallQuestion, kIdsUninstallQuestion},
               {kDeleteProfile, kIdsDeleteUserData},
               {kUninstallErrorHeading, kIdsUninstallFailedHeading},
               {kUninstallCancel, kIdsCancel}};
  for (const auto& text : texts) {
    EXPECT_EQ(RcL10nHandler::GetString(text.string_id),
              test::WindowText(Control(text.id)));
  }
  Click(kDeleteProfile);
  EXPECT_TRUE(settings_->delete_profile());
  Click(kUninstall);
  EXPECT_EQ(1, delegate_.accepted);
  window_->ShowPhase(5);
  EXPECT_EQ(RcL10nHandler::GetString(kIdsUninstalling),
            test::WindowText(Control(kMessage)));
  window_->ShowError(u"failed", false, "detail");
  EXPECT_EQ((std::set<int>{kLogo, kMessage, kUninstallErrorHeading, kRetry}),
            ShownControls(window_->dialog()));
  const base::ListValue* pages = Pages();
  EXPECT_EQ(1, Counter(pages, 0, "changed_delete_profile"));
  const base::DictionaryValue* page = nullptr;
  std::string action;
  ASSERT_TRUE(pages->GetDictionary(0, &page));
  EXPECT_TRUE(page->GetString("navigation_action", &action));
  EXPECT_EQ("UNINSTALL", action);
}

TEST_F(InstallerWindowTest, LogoCentredAndBadgeOnTheErrorPage) {
  Open();
  // Drawn at the display's size (96 and 32 pixels at 96 pixels per inch).
  ScopedBitmap logo(LoadResourceBitmapForDpi(kLogoPictureId, kPngResourceType,
                                             window_->dpi()));
  ScopedBitmap badge(LoadResourceBitmapForDpi(
      kErrorBadgePictureId, kPngResourceType, window_->dpi()));
  ASSERT_TRUE(logo && badge);
  int logo_size = 0, badge_size = 0, height = 0;
  ASSERT_FALSE(test::ReadBitmapPixels(logo.get(), &logo_size, &height).empty());
  ASSERT_FALSE(
      test::ReadBitmapPixels(badge.get(), &badge_size, &height).empty());
  EXPECT_EQ(MulDiv(96, window_->dpi(), 96), logo_size);
  HWND dialog = window_->dialog();
  const RECT control = test::RectIn(Control(kLogo), dialog);
  const int left =
      control.left + (control.right - control.left) / 2 - logo_size / 2;
  const int top =
      control.top + (control.bottom - control.top) / 2 - logo_size / 2;
  // The badge's bottom-right corner 10 pixels (at 96 per inch) beyond the
  // logo's.
  const int corner = MulDiv(10, window_->dpi(), 96);
  const int badge_left = left + logo_size + corner - badge_size;
  const int badge_top = top + logo_size + corner - badge_size;

  {
    test::WindowImage image(dialog);
    EXPECT_TRUE(test::ShowsOpaquePixels(image, logo.get(), left, top));
    EXPECT_FALSE(
        test::ShowsOpaquePixels(image, badge.get(), badge_left, badge_top));
    EXPECT_TRUE(
        image.SavePng(test::ScreenshotFolder().Append(u"window_welcome.png")));
  }
  window_->ShowError(u"Something failed.", true, "detail");
  {
    test::WindowImage image(dialog);
    EXPECT_TRUE(
        test::ShowsOpaquePixels(image, badge.get(), badge_left, badge_top));
    EXPECT_TRUE(
        image.SavePng(test::ScreenshotFolder().Append(u"window_error.png")));
  }
}

TEST_F(InstallerWindowTest, BackgroundPictureBehindPagesButOptions) {
  Open();
  ScopedBitmap picture(
      LoadResourceBitmap(kBackgroundPictureId, kJpgResourceType));
  int width = 0, height = 0;
  const std::vector<uint32_t> pixels =
      test::ReadBitmapPixels(picture.get(), &width, &height);
  ASSERT_FALSE(pixels.empty());
  HWND dialog = window_->dialog();
  {
    // The picture's top-left corner, stretched over the client area.
    test::WindowImage image(dialog);
    const uint32_t corner = pixels[0];
    const COLORREF shown = image.Pixel(0, 0);
    EXPECT_NEAR(static_cast<int>((corner >> 16) & 0xFF), GetRValue(shown), 8);
    EXPECT_NEAR(static_cast<int>((corner >> 8) & 0xFF), GetGValue(shown), 8);
    EXPECT_NEAR(static_cast<int>(corner & 0xFF), GetBValue(shown), 8);
  }
  Click(kOptionsButton);
  // Plain white once the options page has been painted, which a loaded
  // machine may take a while to do.
  COLORREF shown = 0;
  test::RunUiUntil([&] {
    shown = test::WindowImage(dialog).Pixel(2, 2);
    return shown == RGB(255, 255, 255);
  });
  EXPECT_EQ(RGB(255, 255, 255), shown);
  test::WindowImage(dialog).SavePng(
      test::ScreenshotFolder().Append(u"window_options.png"));
}

TEST_F(InstallerWindowTest, SloganColours) {
  Open();
  HWND slogan = Control(kSlogan);
  const std::u16string product = RcL10nHandler::GetString(kIdsSloganProduct);
  const std::u16string text = test::WindowText(slogan);
  EXPECT_EQ(RcL10nHandler::GetStringWithArgs(kIdsSlogan, product), text);
  const size_t word = text.find(product);
  ASSERT_NE(std::u16string::npos, word);
  for (size_t i = 0; i < text.size(); ++i) {
    SCOPED_TRACE(i);
    const bool in_word = i >= word && i < word + product.size();
    EXPECT_EQ(in_word ? kSloganProductColor : kSloganColor,
              CharFormatAt(slogan, static_cast<LONG>(i)).crTextColor);
  }
}

// Records the last BCM_SETSHIELD a button received: -1 for none.
LRESULT CALLBACK RecordShield(HWND hwnd, UINT message, WPARAM wparam,
                              LPARAM lparam, UINT_PTR, DWORD_PTR data) {
  if (message == BCM_SETSHIELD) *reinterpret_cast<int*>(data) = lparam != 0;
  return DefSubclassProc(hwnd, message, wparam, lparam);
}

bool g_needs_elevation = false;
bool FakeElevationCheck(bool, bool) { return g_needs_elevation; }

// Wine draws no shield: what is tested is what the buttons are told.
TEST_F(InstallerWindowTest, ElevationShields) {
  internal::SetElevationCheckForTesting(&FakeElevationCheck);
  const struct {
    const char* name;
    base::win::WindowsVersion version;
    bool needs_elevation;
    bool valid_path;
    int shield;
  } cases[] = {
      {"needed", base::win::kVersionWin7, true, true, 1},
      {"not needed", base::win::kVersionWin10, false, true, 0},
      {"invalid path", base::win::kVersionWin10, true, false, 0},
      {"before Vista", base::win::kVersionXP, true, true, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_needs_elevation = c.needs_elevation;
    Close();
    Open(u"", false, c.version);
    int accept = -1, retry = -1;
    SetWindowSubclass(Control(kAccept), &RecordShield, 1,
                      reinterpret_cast<DWORD_PTR>(&accept));
    SetWindowSubclass(Control(kRetry), &RecordShield, 1,
                      reinterpret_cast<DWORD_PTR>(&retry));
    settings_->SetInstallFolder(c.valid_path ? dir().Append(u"Shielded")
                                             : base::FilePath(u"relative"));
    ASSERT_TRUE(WaitForStatus());
    EXPECT_EQ(c.shield, accept);
    EXPECT_EQ(c.shield, retry);
    RemoveWindowSubclass(Control(kAccept), &RecordShield, 1);
    RemoveWindowSubclass(Control(kRetry), &RecordShield, 1);
  }
  internal::SetElevationCheckForTesting(nullptr);
}

// The default-browser option exists before Windows 8 only.
TEST_F(InstallerWindowTest, DefaultBrowserOptionBeforeWindows8) {
  for (auto version : {base::win::kVersionWin7, base::win::kVersionWin8}) {
    Close();
    Open(u"", false, version);
    Click(kOptionsButton);
    EXPECT_EQ(version < base::win::kVersionWin8, Shown(kDefaultBrowser));
  }
}

enum class FitKind { kButton, kCheckbox, kText, kRichEdit };

// Set, the fit test measures only the language it names.
constexpr char16_t kFitLanguageVariable[] = u"VELNA_TEST_FIT_LANGUAGE";

// The space |control|'s text needs beyond its client area, in pixels (0
// when it fits): width for a one-line button, height for text that wraps.
int Overflow(HWND control, FitKind kind) {
  RECT client;
  GetClientRect(control, &client);
  if (kind == FitKind::kRichEdit) {
    const int length = GetWindowTextLengthW(control);
    if (length == 0) return 0;
    POINTL last = {};
    SendMessageW(control, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&last),
                 length - 1);
    CHARFORMAT2W format = {};
    format.cbSize = sizeof(format);
    SendMessageW(control, EM_GETCHARFORMAT, SCF_DEFAULT,
                 reinterpret_cast<LPARAM>(&format));
    HDC dc = GetDC(control);
    // yHeight is in twips.
    const int line =
        MulDiv(format.yHeight, GetDeviceCaps(dc, LOGPIXELSY), 1440);
    ReleaseDC(control, dc);
    return std::max<int>(0, last.y + line - client.bottom);
  }
  const std::u16string text = test::WindowText(control);
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(
      dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
  RECT needed = {0, 0, client.right, 0};
  int overflow = 0;
  switch (kind) {
    case FitKind::kButton:
      DrawTextW(dc, reinterpret_cast<const wchar_t*>(text.c_str()), -1, &needed,
                DT_CALCRECT | DT_SINGLELINE);
      // The button's frame and focus rectangle.
      overflow = needed.right + 8 - client.right;
      break;
    case FitKind::kCheckbox:
      needed.right -= GetSystemMetrics(SM_CXMENUCHECK) + 4;
      DrawTextW(dc, reinterpret_cast<const wchar_t*>(text.c_str()), -1, &needed,
                DT_CALCRECT | DT_WORDBREAK);
      overflow = needed.bottom - client.bottom;
      break;
    default:
      DrawTextW(dc, reinterpret_cast<const wchar_t*>(text.c_str()), -1, &needed,
                DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL);
      overflow = needed.bottom - client.bottom;
      break;
  }
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return std::max(0, overflow);
}

struct FitCheck {
  int id;
  FitKind kind;
};

TEST_F(InstallerWindowTest, EveryTranslationFits) {
  const std::vector<FitCheck> install = {{kOptionsButton, FitKind::kButton},
                                         {kAccept, FitKind::kButton},
                                         {kBack, FitKind::kButton},
                                         {kRetry, FitKind::kButton},
                                         {kFullInstaller, FitKind::kButton},
                                         {kChangeFolder, FitKind::kButton},
                                         {kDefaultBrowser, FitKind::kCheckbox},
                                         {kImportData, FitKind::kCheckbox},
                                         {kUsageData, FitKind::kCheckbox},
                                         {kLanguageLabel, FitKind::kText},
                                         {kInstallForLabel, FitKind::kText},
                                         {kInstallPathLabel, FitKind::kText},
                                         {kInvalidPath, FitKind::kText},
                                         {kRedText, FitKind::kText},
                                         {kProgressHeading, FitKind::kText},
                                         {kErrorHeading, FitKind::kText},
                                         {kMessage, FitKind::kText},
                                         {kSlogan, FitKind::kRichEdit},
                                         {kTermsLine, FitKind::kRichEdit}};
  const std::vector<FitCheck> uninstall = {
      {kUninstall, FitKind::kButton},
      {kUninstallCancel, FitKind::kButton},
      {kRetry, FitKind::kButton},
      {kDeleteProfile, FitKind::kCheckbox},
      {kUninstallQuestion, FitKind::kText},
      {kUninstallErrorHeading, FitKind::kText},
      {kMessage, FitKind::kText}};
  // The longest messages the error page shows: a folder of 200 characters.
  const std::u16string folder =
      u"C:\\" + std::u16string(96, u'x') + u"\\" + std::u16string(100, u'y');
  std::vector<std::u16string> codes = RcL10nHandler::GetAvailableLanguages();
  ASSERT_LT(50u, codes.size());
  wchar_t only[16] = {};
  if (GetEnvironmentVariableW(base::as_wcstr(kFitLanguageVariable), only,
                              std::size(only))) {
    codes = {base::as_u16cstr(only)};
  }
  // Texts drawn as boxes measure the boxes: such a control is left out and
  // named, and the test does not pass on them.
  std::map<std::u16string, std::set<int>> boxes;
  for (const bool uninstalling : {false, true}) {
    Close();
    Open(uninstalling ? u"--uninstall" : u"");
    std::map<HFONT, test::GlyphProbe> text_probes;
    std::map<int, test::GlyphProbe> rich_edit_probes;
    auto drawn_as_boxes = [&](int id, FitKind kind) {
      HWND control = Control(id);
      const std::u16string text = test::WindowText(control);
      if (kind == FitKind::kRichEdit) {
        auto probe = rich_edit_probes.find(id);
        if (probe == rich_edit_probes.end()) {
          probe = rich_edit_probes
                      .emplace(id, test::GlyphProbe::ForRichEdit(control))
                      .first;
        }
        return !probe->second.Missing(text).empty();
      }
      HFONT font =
          reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
      auto probe = text_probes.find(font);
      if (probe == text_probes.end())
        probe = text_probes.emplace(font, test::GlyphProbe(font)).first;
      return !probe->second.Missing(text).empty();
    };
    for (const std::u16string& code : codes) {
      SCOPED_TRACE(code);
      settings_->SetInstallLanguage(code);
      ASSERT_EQ(code, settings_->install_language());
      window_->OnPathChanged();
      for (const uint32_t message :
           {kIdsFolderBusy, kIdsFolderNotCreated, kIdsUnsupportedWindows}) {
        SetWindowTextW(
            Control(kMessage),
            reinterpret_cast<const wchar_t*>(
                RcL10nHandler::GetStringWithArgs(message, folder).c_str()));
        if (drawn_as_boxes(kMessage, FitKind::kText)) {
          boxes[code].insert(kMessage);
          continue;
        }
        EXPECT_EQ(0, Overflow(Control(kMessage), FitKind::kText)) << message;
      }
      for (const FitCheck& check : uninstalling ? uninstall : install) {
        if (drawn_as_boxes(check.id, check.kind)) {
          boxes[code].insert(check.id);
          continue;
        }
        EXPECT_EQ(0, Overflow(Control(check.id), check.kind))
            << check.id << " \"" << test::WindowText(Control(check.id)) << "\"";
      }
    }
  }
  auto named = [](const std::map<std::u16string, std::set<int>>& controls) {
    std::string names;
    for (const auto& [code, ids] : controls) {
      names += " " + base::UTF16ToUTF8(code) + " (";
      for (int id : ids) names += std::to_string(id) + " ";
      names.back() = ')';
    }
    return names;
  };
  if (!boxes.empty()) {
    GTEST_SKIP() << "Some texts come out as boxes here, so their size was not "
                    "measured (tools/install_deps.sh installs the fonts and "
                    "tools/wine_env.sh gives them to Wine). Languages "
                    "(controls):"
                 << named(boxes);
  }
}

// Thai, the letters only Urdu uses, Japanese, Korean and Chinese come out
// as letters, not boxes, in the texts of the welcome and options pages, the
// rich edits included, which Wine draws in their own font alone (Wine's
// fonts: the set-up of tools/wine_env.sh).
TEST_F(InstallerWindowTest, TextsShowTheirLetters) {
  if (test::FromUnixPath("/").empty()) GTEST_SKIP() << "Wine's fonts only";
  const char16_t* const codes[] = {u"th", u"ur", u"ja", u"ko", u"zh-CN"};
  const struct {
    InstallerPage page;
    std::vector<int> texts;
    std::vector<int> rich_edits;
  } pages[] = {
      {InstallerPage::kWelcome,
       {kOptionsButton, kAccept},
       {kSlogan, kTermsLine}},
      {InstallerPage::kOptions,
       {kLanguageLabel, kInstallForLabel, kInstallPathLabel, kChangeFolder,
        kImportData, kUsageData, kBack},
       {}},
  };
  for (const char16_t* code : codes) {
    for (const auto& page : pages) {
      SCOPED_TRACE(testing::Message() << base::UTF16ToUTF8(code) << " "
                                      << InstallerWindow::PageName(page.page));
      OpenOn(page.page, code);
      for (const int id : page.texts) {
        HWND control = Control(id);
        test::GlyphProbe probe(
            reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
        EXPECT_EQ(u"", probe.Missing(test::WindowText(control))) << id;
      }
      for (const int id : page.rich_edits) {
        HWND control = Control(id);
        EXPECT_EQ(u"", test::GlyphProbe::ForRichEdit(control).Missing(
                           test::WindowText(control)))
            << id;
      }
      EXPECT_TRUE(
          test::WindowImage(window_->dialog())
              .SavePng(test::ScreenshotFolder().Append(
                  u"letters_" + std::u16string(code) + u"_" +
                  base::ASCIIToUTF16(InstallerWindow::PageName(page.page)) +
                  u".png")));
    }
  }
}

// The language list names every language in its own script: each name comes
// out as letters in the list's font, here in a right-to-left window.
TEST_F(InstallerWindowTest, LanguageListShowsEveryNameInLetters) {
  if (test::FromUnixPath("/").empty()) GTEST_SKIP() << "Wine's fonts only";
  OpenOn(InstallerPage::kOptions, u"ar");
  HWND list = Control(kLanguageList);
  test::GlyphProbe probe(
      reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
  const int count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
  EXPECT_LT(50, count);
  for (int i = 0; i < count; ++i) {
    std::u16string name(SendMessageW(list, CB_GETLBTEXTLEN, i, 0), u'\0');
    SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(name.data()));
    EXPECT_EQ(u"", probe.Missing(name)) << base::UTF16ToUTF8(name);
  }
  COMBOBOXINFO info = {sizeof(info)};
  GetComboBoxInfo(list, &info);
  SendMessageW(list, CB_SHOWDROPDOWN, TRUE, 0);
  ASSERT_TRUE(test::RunUiUntil(
      [&info] { return IsWindowVisible(info.hwndList) != FALSE; }));
  EXPECT_TRUE(test::WindowImage(info.hwndList)
                  .SavePng(test::ScreenshotFolder().Append(
                      u"letters_ar_language_list.png")));
  SendMessageW(list, CB_SHOWDROPDOWN, FALSE, 0);
}

}  // namespace
}  // namespace installer
