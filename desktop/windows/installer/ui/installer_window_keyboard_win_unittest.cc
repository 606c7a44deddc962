// The installer window from the keyboard: Enter presses the page's own
// button, Esc asks as the close button does, and Tab visits every control a
// page shows in the order the page shows them, in both directions of
// layout.

#include <richedit.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/values.h"
#include "desktop/windows/installer/core/status.h"
#include "desktop/windows/installer/ui/installer_window_ids.h"
#include "desktop/windows/installer/ui/installer_window_win.h"
#include "desktop/windows/installer/ui/test/installer_window_test_base_win.h"
#include "desktop/windows/installer/ui/test/window_test_util_win.h"
#include "desktop/windows/rc_l10n_handler/rc_l10n_handler.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using namespace controls;

class InstallerWindowKeyboardTest : public test::InstallerWindowTestBase {
 protected:
  // The last page's navigation action; empty when none was recorded.
  std::string LastAction() {
    const base::ListValue* pages = Pages();
    const base::DictionaryValue* page = nullptr;
    std::string action;
    if (pages && pages->GetDictionary(pages->GetSize() - 1, &page))
      page->GetString("navigation_action", &action);
    return action;
  }

  // Moves the focus to control |id| as the dialog manager does, in the
  // active window.
  void Focus(int id) {
    ASSERT_TRUE(test::WaitUntilActive(window_->dialog()));
    SendMessageW(window_->dialog(), WM_NEXTDLGCTL,
                 reinterpret_cast<WPARAM>(Control(id)), TRUE);
    ASSERT_EQ(Control(id), GetFocus());
  }

  // A key as the user presses it, to the focused control (the dialog when
  // none has the focus) of the active window; handled when it returns.
  void Press(UINT key) {
    ASSERT_TRUE(test::WaitUntilActive(window_->dialog()));
    HWND focus = GetFocus();
    test::PressKey(focus ? focus : window_->dialog(), key);
  }

  // As "installfolder" naming a drive that does not exist; the window hears
  // of the inspection as it arrives.
  void MakeFolderInvalid() {
    settings_->SetInstallFolderFromString(u"Q:\\Velna");
    ASSERT_TRUE(WaitForStatus());
    ASSERT_FALSE(settings_->GetStatus()->valid_install_path);
  }

  bool FocusOnAUsableControl() {
    FocusInWindow();
    HWND focus = test::FocusedControl(window_->dialog());
    return focus && IsWindowVisible(focus) && IsWindowEnabled(focus);
  }
};

const char* Name(InstallerPage page) { return InstallerWindow::PageName(page); }

// With the focus on a checkbox where the page has one, Enter presses the
// button the page offers: never a button of another page.
TEST_F(InstallerWindowKeyboardTest, EnterPressesThePagesOwnButton) {
  const struct {
    InstallerPage page;
    int focus;  // 0: the control the page starts with
    const char* action;
  } cases[] = {
      {InstallerPage::kWelcome, 0, "ACCEPT"},
      {InstallerPage::kTos, 0, "ACCEPT"},
      {InstallerPage::kOptions, kImportData, "ACCEPT"},
      {InstallerPage::kUninstall, kDeleteProfile, "UNINSTALL"},
      {InstallerPage::kError, 0, "RETRY"},
      {InstallerPage::kProgress, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Name(c.page));
    OpenOn(c.page);
    if (c.focus) Focus(c.focus);
    const UINT ticked =
        IsDlgButtonChecked(GetParent(Control(kImportData)), kImportData);
    Press(VK_RETURN);
    EXPECT_EQ(c.action, LastAction());
    EXPECT_EQ(*c.action ? 1 : 0, delegate_.accepted);
    // Enter on a checkbox does not tick it.
    EXPECT_EQ(ticked,
              IsDlgButtonChecked(GetParent(Control(kImportData)), kImportData));
    EXPECT_FALSE(settings_->delete_profile());
  }
}

// Esc does what the title bar's close button does on every page: it asks
// whether to quit, and quits on Yes.
TEST_F(InstallerWindowKeyboardTest, EscapeAsksAsTheCloseButtonDoes) {
  for (const InstallerPage page :
       {InstallerPage::kWelcome, InstallerPage::kTos, InstallerPage::kOptions,
        InstallerPage::kProgress, InstallerPage::kError,
        InstallerPage::kUninstall}) {
    SCOPED_TRACE(Name(page));
    OpenOn(page, u"de");
    std::vector<test::MessageBoxContent> boxes;
    int answer = IDNO;
    test::ScopedDialogHandler handler([&boxes, &answer](HWND box) {
      boxes.push_back(test::ReadMessageBox(box));
      test::PressButton(box, answer);
    });
    handler.Ignore(window_->dialog());
    handler.Ignore(window_->options_dialog());
    // Answered and closed when Press returns.
    Press(VK_ESCAPE);
    ASSERT_TRUE(test::RunUiUntil([&boxes] { return boxes.size() == 1; }));
    EXPECT_EQ(RcL10nHandler::GetStringForCode(
                  u"de", page == InstallerPage::kUninstall ? kIdsQuitUninstall
                                                           : kIdsQuitInstall),
              boxes[0].text);
    EXPECT_EQ(0, delegate_.cancelled);
    EXPECT_EQ(page, window_->page());
    EXPECT_EQ("", LastAction());

    answer = IDYES;
    Press(VK_ESCAPE);
    ASSERT_TRUE(test::RunUiUntil([this] { return delegate_.cancelled == 1; }));
    EXPECT_EQ("CANCEL", LastAction());
  }
}

bool SameRow(const RECT& a, const RECT& b) {
  return a.top < b.bottom && b.top < a.bottom;
}

// Whether |b| comes after |a| as the page reads: below it, or in the same
// row further along the reading direction.
bool ComesAfter(const RECT& a, const RECT& b, bool right_to_left) {
  if (!SameRow(a, b)) return b.top >= a.bottom;
  return right_to_left ? b.right <= a.left : b.left >= a.right;
}

// Tab visits what a page shows, top to bottom and in reading order within
// a row (right to left in a right-to-left language), and comes round.
TEST_F(InstallerWindowKeyboardTest, TabFollowsTheOrderOfThePage) {
  const struct {
    InstallerPage page;
    base::win::WindowsVersion version;
    std::vector<int> order;  // as a left-to-right page reads
  } cases[] = {
      {InstallerPage::kWelcome,
       base::win::kVersionWin10,
       {kTermsLine, kOptionsButton, kAccept}},
      {InstallerPage::kTos,
       base::win::kVersionWin10,
       {kTermsText, kBack, kAccept}},
      {InstallerPage::kOptions,
       base::win::kVersionWin10,
       {kLanguageList, kInstallForList, kInstallPath, kChangeFolder,
        kImportData, kUsageData, kBack, kAccept}},
      // Before Windows 8 the default-browser option is shown too.
      {InstallerPage::kOptions,
       base::win::kVersionWin7,
       {kLanguageList, kInstallForList, kInstallPath, kChangeFolder,
        kDefaultBrowser, kImportData, kUsageData, kBack, kAccept}},
      {InstallerPage::kProgress, base::win::kVersionWin10, {}},
      {InstallerPage::kError,
       base::win::kVersionWin10,
       {kFullInstaller, kBack, kRetry}},
      {InstallerPage::kUninstall,
       base::win::kVersionWin10,
       {kDeleteProfile, kUninstallCancel, kUninstall}},
  };
  for (const char16_t* language : {u"en-US", u"ar"}) {
    const bool right_to_left = std::u16string(language) == u"ar";
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message()
                   << Name(c.page) << " " << (right_to_left ? "ar" : "en")
                   << " " << static_cast<int>(c.version));
      OpenOn(c.page, language, c.version);
      ASSERT_EQ(right_to_left, window_->right_to_left());
      std::vector<int> cycle;
      for (HWND control : test::TabCycle(window_->dialog()))
        cycle.push_back(GetDlgCtrlID(control));
      // A cycle read from the control the page starts with.
      const auto first = std::find(cycle.begin(), cycle.end(),
                                   c.order.empty() ? 0 : c.order.front());
      if (first != cycle.end()) std::rotate(cycle.begin(), first, cycle.end());
      EXPECT_EQ(c.order, cycle);
      for (size_t i = 1; i < c.order.size(); ++i) {
        SCOPED_TRACE(c.order[i]);
        EXPECT_TRUE(ComesAfter(
            test::ScreenRectIn(Control(c.order[i - 1]), window_->dialog()),
            test::ScreenRectIn(Control(c.order[i]), window_->dialog()),
            right_to_left));
      }
    }
  }
}

// The terms link is reached with Tab, shows selected while it has the
// focus, and Enter or Space opens the terms.
TEST_F(InstallerWindowKeyboardTest, TermsLinkOpensFromTheKeyboard) {
  for (const UINT key : {VK_RETURN, VK_SPACE}) {
    SCOPED_TRACE(key);
    OpenOn(InstallerPage::kWelcome);
    ASSERT_EQ(Control(kAccept), FocusInWindow());
    // Accept is the last control of the page: Tab comes round to the line.
    Press(VK_TAB);
    ASSERT_EQ(Control(kTermsLine), FocusInWindow());
    const TextLink link = window_->terms_links()[0];
    CHARRANGE selection = {};
    SendMessageW(Control(kTermsLine), EM_EXGETSEL, 0,
                 reinterpret_cast<LPARAM>(&selection));
    EXPECT_EQ(static_cast<LONG>(link.start), selection.cpMin);
    EXPECT_EQ(static_cast<LONG>(link.start + link.length), selection.cpMax);
    Press(key);
    EXPECT_EQ(InstallerPage::kTos, window_->page());
    const base::ListValue* pages = Pages();
    const base::DictionaryValue* welcome = nullptr;
    std::string action;
    ASSERT_TRUE(pages->GetDictionary(0, &welcome));
    EXPECT_TRUE(welcome->GetString("navigation_action", &action));
    EXPECT_EQ("TOS", action);
    EXPECT_EQ(0, delegate_.accepted);
  }
}

// With a folder that cannot be installed to, accept's focus goes to the
// options button, the welcome page says why above it, and the keyboard
// reaches the options and the terms; in both layout directions.
TEST_F(InstallerWindowKeyboardTest, AnInvalidFolderLeavesTheFocusOnTheOptions) {
  for (const char16_t* language : {u"en-US", u"ar"}) {
    SCOPED_TRACE(base::UTF16ToUTF8(language));
    OpenOn(InstallerPage::kWelcome, language);
    ASSERT_EQ(Control(kAccept), FocusInWindow());
    EXPECT_FALSE(Shown(kRedText));
    MakeFolderInvalid();
    EXPECT_FALSE(IsWindowEnabled(Control(kAccept)));
    EXPECT_EQ(Control(kOptionsButton), FocusInWindow());
    ASSERT_TRUE(Shown(kRedText));
    EXPECT_NE(std::u16string::npos,
              test::WindowText(Control(kRedText))
                  .find(RcL10nHandler::GetString(kIdsInvalidPath)));
    const RECT notice =
        test::ScreenRectIn(Control(kRedText), window_->dialog());
    const RECT options =
        test::ScreenRectIn(Control(kOptionsButton), window_->dialog());
    EXPECT_LE(notice.bottom, options.top);
    EXPECT_TRUE(notice.left < options.right && options.left < notice.right);
    EXPECT_TRUE(test::WindowImage(window_->dialog())
                    .SavePng(test::ScreenshotFolder().Append(
                        u"window_" + std::u16string(language) +
                        u"_WELCOME_invalid_folder.png")));
    // Enter (English) or the options' access key (Arabic) opens them.
    std::vector<int> cycle;
    for (HWND control : test::TabCycle(window_->dialog()))
      cycle.push_back(GetDlgCtrlID(control));
    EXPECT_EQ((std::vector<int>{kOptionsButton, kTermsLine}), cycle);
    if (std::u16string(language) == u"en-US") {
      Press(VK_RETURN);
    } else {
      Focus(kTermsLine);
      const std::u16string label = RcL10nHandler::GetString(kIdsOptions);
      const size_t key = label.find(u'&');
      ASSERT_LT(key + 1, label.size());
      PostMessageW(GetFocus(), WM_SYSCHAR, label[key + 1], 1 << 29);
      test::RunUiUntilInputHandled();
    }
    EXPECT_EQ(InstallerPage::kOptions, window_->page());
    EXPECT_FALSE(Shown(kRedText));
    // On the folder that has to change, not on the last checkbox.
    FocusInWindow();
    EXPECT_EQ(Control(kInstallPath), test::FocusedControl(window_->dialog()));
    // Back stays disabled there until the path is valid.
    EXPECT_FALSE(IsWindowEnabled(Control(kBack)));
    Press(VK_TAB);
    EXPECT_TRUE(FocusOnAUsableControl());
  }
}

// Wherever the window disables or hides the focused control, the focus
// moves to a usable one: on the terms page, on the error page when the full
// installer is no longer offered, and while the window was inactive.
TEST_F(InstallerWindowKeyboardTest, FocusLeavesDisabledAndHiddenControls) {
  OpenOn(InstallerPage::kWelcome);
  MakeFolderInvalid();
  GoTo(InstallerPage::kTos);
  EXPECT_EQ(Control(kBack), FocusInWindow());
  Press(VK_RETURN);
  EXPECT_EQ(InstallerPage::kWelcome, window_->page());
  EXPECT_EQ(Control(kOptionsButton), FocusInWindow());

  OpenOn(InstallerPage::kError);
  ASSERT_TRUE(Shown(kFullInstaller));
  Focus(kFullInstaller);
  window_->ShowError(u"Again.", false, "detail");
  EXPECT_FALSE(Shown(kFullInstaller));
  EXPECT_EQ(Control(kRetry), FocusInWindow());
  Press(VK_RETURN);
  EXPECT_EQ(1, delegate_.accepted);

  // Disabled while another window was active.
  OpenOn(InstallerPage::kWelcome);
  ASSERT_EQ(Control(kAccept), FocusInWindow());
  HWND other =
      CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50,
                      50, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(other);
  SetForegroundWindow(other);
  ASSERT_TRUE(test::RunUiUntil([other] { return GetActiveWindow() == other; }));
  MakeFolderInvalid();
  EXPECT_EQ(Control(kOptionsButton), FocusInWindow());
  DestroyWindow(other);

  // Accept disabled on the options page: the focus goes to the folder.
  OpenOn(InstallerPage::kOptions);
  Focus(kAccept);
  MakeFolderInvalid();
  FocusInWindow();
  EXPECT_EQ(Control(kInstallPath), test::FocusedControl(window_->dialog()));
}

// A letter typed in the language list selects the next language whose name
// starts with it, in either layout direction and for names in either
// direction; the window then speaks that language.
TEST_F(InstallerWindowKeyboardTest, TypingALetterFindsALanguage) {
  const struct {
    const char16_t* window_language;
    char16_t letter;
  } cases[] = {
      {u"en-US", u'e'},   {u"ar", u'e'},      {u"he", u'd'},
      {u"fa", u'S'},      {u"ar", u'\u05E2'}, {u"en-US", u'\u0641'},
      {u"ur", u'\u0627'},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << base::UTF16ToUTF8(c.window_language)
                                    << " " << static_cast<int>(c.letter));
    OpenOn(InstallerPage::kOptions, c.window_language);
    Focus(kLanguageList);
    test::TypeText(Control(kLanguageList), std::u16string(1, c.letter));
    const std::u16string chosen = settings_->install_language();
    ASSERT_NE(c.window_language, chosen);
    const std::u16string name =
        RcL10nHandler::GetStringForCode(chosen, kIdsLanguageName);
    ASSERT_FALSE(name.empty());
    EXPECT_EQ(
        CSTR_EQUAL,
        CompareStringEx(LOCALE_NAME_INVARIANT, LINGUISTIC_IGNORECASE,
                        base::as_wcstr(name), 1, base::as_wcstr(&c.letter), 1,
                        nullptr, nullptr, 0))
        << base::UTF16ToUTF8(name);
  }
}

// The quit question lays itself out in the window's direction: in a
// right-to-left language its icon stands right of the text and Yes right
// of No, and its caption reads as the window's title does.
TEST_F(InstallerWindowKeyboardTest, TheQuitQuestionFollowsTheWindowsDirection) {
  for (const char16_t* language : {u"en-US", u"ar", u"he"}) {
    SCOPED_TRACE(base::UTF16ToUTF8(language));
    OpenOn(InstallerPage::kWelcome, language);
    std::vector<test::MessageBoxContent> boxes;
    test::ScopedDialogHandler handler([&boxes](HWND box) {
      boxes.push_back(test::ReadMessageBox(box));
      test::PressButton(box, IDNO);
    });
    handler.Ignore(window_->dialog());
    handler.Ignore(window_->options_dialog());
    Press(VK_ESCAPE);
    ASSERT_TRUE(test::RunUiUntil([&boxes] { return boxes.size() == 1; }));
    const test::MessageBoxContent& box = boxes[0];
    const bool right_to_left = window_->right_to_left();
    EXPECT_EQ(right_to_left, box.icon_place.left >= box.text_place.right);
    EXPECT_EQ(!right_to_left, box.icon_place.right <= box.text_place.left);
    EXPECT_EQ(right_to_left, box.yes_place.left >= box.no_place.right);
    EXPECT_EQ(!right_to_left, box.yes_place.right <= box.no_place.left);
    EXPECT_EQ(test::WindowText(window_->dialog()), box.caption);
    EXPECT_NE(std::u16string::npos,
              box.text.find(RcL10nHandler::GetString(kIdsQuitInstall)));
    EXPECT_EQ(0, delegate_.cancelled);
  }
}

}  // namespace
}  // namespace installer
