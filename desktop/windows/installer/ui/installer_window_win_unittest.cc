#include "desktop/windows/installer/ui/installer_window_win.h"

#include <commctrl.h>
#include <richedit.h>

#include <set>
#include <string>

#include "base/strings/utf_string_conversions.h"
#include "base/values.h"
#include "desktop/windows/installer/status.h"
#include "desktop/windows/installer/ui/installer_window_ids.h"
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

// The point of character |position| of a rich edit, in its client area.
POINT CharacterPoint(HWND rich_edit, size_t position) {
  POINTL point = {};
  SendMessageW(rich_edit, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&point),
               static_cast<LPARAM>(position));
  return {point.x + 2, point.y + 4};
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
    test::RunUiFor(20);
    EXPECT_EQ(step.page, window_->page());
    EXPECT_EQ(step.shown, ShownControls(dialog));
    EXPECT_EQ(step.page == InstallerPage::kOptions,
              IsWindowVisible(window_->options_dialog()) != FALSE);
    if (step.focus) {
      EXPECT_EQ(Control(step.focus), GetFocus());
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
  test::ClickAt(terms_line, CharacterPoint(terms_line, 1));
  test::RunUiFor(50);
  EXPECT_EQ(InstallerPage::kWelcome, window_->page());
  test::ClickAt(terms_line, CharacterPoint(terms_line, link.start + 2));
  ASSERT_TRUE(test::RunUiUntil(
      [this] { return window_->page() == InstallerPage::kTos; }));
  const std::u16string terms = test::ReadTermsFile();
  ASSERT_FALSE(terms.empty());
  std::u16string shown = test::WindowText(Control(kTermsText));
  // Rich edit gives its paragraphs back with CR LF or CR.
  std::u16string normalized;
  for (size_t i = 0; i < shown.size(); ++i) {
    if (shown[i] == u'\r') {
      normalized += u'\n';
      if (i + 1 < shown.size() && shown[i + 1] == u'\n') ++i;
    } else {
      normalized += shown[i];
    }
  }
  EXPECT_EQ(terms, normalized);

  const base::ListValue* pages = Pages();
  const base::DictionaryValue* welcome = nullptr;
  ASSERT_TRUE(pages && pages->GetDictionary(0, &welcome));
  std::string action;
  EXPECT_TRUE(welcome->GetString("navigation_action", &action));
  EXPECT_EQ("TOS", action);
  EXPECT_EQ("TOS", PageType(pages, 1));
}

}  // namespace
}  // namespace installer
