// How the installer window lays out and paints its pages: mirrored for
// right-to-left languages, the rich edits over the background, every page
// in four languages (kept as pictures), the language list's order and the
// display's pixels per inch.

#include <richedit.h>
#include <usp10.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/service/install_log.h"
#include "desktop/windows/installer/test/installation_test_util.h"
#include "desktop/windows/installer/test/settings_test_util.h"
#include "desktop/windows/installer/ui/installer_window_ids.h"
#include "desktop/windows/installer/ui/installer_window_win.h"
#include "desktop/windows/installer/ui/resource_image_win.h"
#include "desktop/windows/installer/ui/scoped_gdi_object_win.h"
#include "desktop/windows/installer/ui/test/installer_window_test_base_win.h"
#include "desktop/windows/installer/ui/test/window_test_util_win.h"
#include "desktop/windows/rc_l10n_handler/rc_l10n_handler.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using namespace controls;

using InstallerWindowLayoutTest = test::InstallerWindowTestBase;

constexpr InstallerPage kEveryPage[] = {
    InstallerPage::kWelcome,  InstallerPage::kTos,   InstallerPage::kOptions,
    InstallerPage::kProgress, InstallerPage::kError, InstallerPage::kUninstall};

// Every control of both dialogs.
constexpr int kControls[] = {kLogo,
                             kOptionsButton,
                             kUninstallCancel,
                             kAccept,
                             kFullInstaller,
                             kRetry,
                             kUninstall,
                             kSlogan,
                             kTermsLine,
                             kProgressHeading,
                             kErrorHeading,
                             kMessage,
                             kTermsText,
                             kBack,
                             kProgressBar,
                             kUninstallQuestion,
                             kDeleteProfile,
                             kUninstallErrorHeading,
                             kLanguageList,
                             kInstallForList,
                             kInstallPath,
                             kChangeFolder,
                             kDefaultBrowser,
                             kImportData,
                             kUsageData,
                             kInvalidPath,
                             kLanguageLabel,
                             kInstallForLabel,
                             kInstallPathLabel};

const char* Name(InstallerPage page) { return InstallerWindow::PageName(page); }

// The shown controls and where the screen shows them in the client area.
std::map<int, RECT> ShownControls(HWND dialog, HWND options) {
  std::map<int, RECT> shown;
  for (int id : kControls) {
    HWND control = GetDlgItem(dialog, id);
    if (!control) control = GetDlgItem(options, id);
    if (control && IsWindowVisible(control))
      shown[id] = test::ScreenRectIn(control, dialog);
  }
  return shown;
}

bool HasExStyle(HWND window, LONG_PTR style) {
  return (GetWindowLongPtrW(window, GWL_EXSTYLE) & style) != 0;
}

// Whether |combo|'s list opens mirrored (its layout style: Wine keeps the
// scroll bar on the right).
bool OpensMirrored(HWND combo) {
  COMBOBOXINFO info = {sizeof(info)};
  GetComboBoxInfo(combo, &info);
  SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
  EXPECT_TRUE(test::RunUiUntil(
      [&info] { return IsWindowVisible(info.hwndList) != FALSE; }));
  const bool mirrored = HasExStyle(info.hwndList, WS_EX_LAYOUTRTL);
  SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
  EXPECT_TRUE(test::RunUiUntil(
      [&info] { return IsWindowVisible(info.hwndList) == FALSE; }));
  return mirrored;
}

// The lists open in the window's layout, the path's left to right.
void ExpectListsIn(HWND language_list, HWND install_for, HWND path,
                   bool right_to_left) {
  EXPECT_EQ(right_to_left, OpensMirrored(language_list));
  EXPECT_EQ(right_to_left, OpensMirrored(install_for));
  EXPECT_FALSE(OpensMirrored(path));
}

bool HasRightToLeftParagraph(HWND rich_edit) {
  SendMessageW(rich_edit, EM_SETSEL, 0, 0);
  PARAFORMAT2 format = {};
  format.cbSize = sizeof(format);
  SendMessageW(rich_edit, EM_GETPARAFORMAT, 0,
               reinterpret_cast<LPARAM>(&format));
  return (format.wEffects & PFE_RTLPARA) != 0;
}

// The share of |area| where |a| and |b| show the same colour (within a step
// of rounding).
double SharedPixels(const test::WindowImage& a, const test::WindowImage& b,
                    const RECT& area) {
  int same = 0, all = 0;
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      const COLORREF p = a.Pixel(x, y), q = b.Pixel(x, y);
      ++all;
      if (std::abs(GetRValue(p) - GetRValue(q)) <= 2 &&
          std::abs(GetGValue(p) - GetGValue(q)) <= 2 &&
          std::abs(GetBValue(p) - GetBValue(q)) <= 2) {
        ++same;
      }
    }
  }
  return all ? static_cast<double>(same) / all : 0;
}

// In Arabic and Hebrew every page is the mirror image of the English one,
// and its texts read from right to left; the terms of service (English) and
// the install path keep their reading order. A language chosen on the
// options page turns the window round and back.
TEST_F(InstallerWindowLayoutTest, RightToLeftLanguagesMirrorEveryPage) {
  for (const char16_t* language : {u"ar", u"he"}) {
    for (const InstallerPage page : kEveryPage) {
      SCOPED_TRACE(testing::Message()
                   << base::UTF16ToUTF8(language) << " " << Name(page));
      OpenOn(page);
      EXPECT_FALSE(window_->right_to_left());
      const std::map<int, RECT> left_to_right =
          ShownControls(window_->dialog(), window_->options_dialog());
      RECT client;
      GetClientRect(window_->dialog(), &client);
      const auto unmirrored =
          std::make_unique<test::WindowImage>(window_->dialog());

      OpenOn(page, language);
      ASSERT_TRUE(window_->right_to_left());
      HWND dialog = window_->dialog();
      const std::map<int, RECT> mirrored =
          ShownControls(dialog, window_->options_dialog());
      ASSERT_EQ(left_to_right.size(), mirrored.size());
      for (const auto& [id, rect] : left_to_right) {
        SCOPED_TRACE(id);
        ASSERT_EQ(1u, mirrored.count(id));
        const RECT& other = mirrored.at(id);
        EXPECT_EQ(client.right - rect.right, other.left);
        // The full-installer button keeps its outer edge and fits its text.
        if (id != kFullInstaller) {
          EXPECT_EQ(client.right - rect.left, other.right);
        }
        EXPECT_EQ(rect.top, other.top);
        EXPECT_EQ(rect.bottom, other.bottom);
      }

      // Reading order and mirrored drawing.
      EXPECT_TRUE(HasExStyle(dialog, WS_EX_LAYOUTRTL));
      EXPECT_TRUE(HasExStyle(window_->options_dialog(), WS_EX_LAYOUTRTL));
      for (const auto& [id, rect] : mirrored) {
        SCOPED_TRACE(id);
        HWND control = Control(id);
        const bool painted_here = id == kLogo || id == kSlogan ||
                                  id == kTermsLine || id == kTermsText;
        EXPECT_EQ(!painted_here, HasExStyle(control, WS_EX_LAYOUTRTL));
        const bool left_to_right_text = id == kTermsText || id == kInstallPath;
        EXPECT_EQ(!left_to_right_text, HasExStyle(control, WS_EX_RTLREADING));
      }
      if (page == InstallerPage::kWelcome) {
        EXPECT_TRUE(HasRightToLeftParagraph(Control(kSlogan)));
        EXPECT_TRUE(HasRightToLeftParagraph(Control(kTermsLine)));
      }
      if (page == InstallerPage::kOptions) {
        ExpectListsIn(Control(kLanguageList), Control(kInstallForList),
                      Control(kInstallPath), true);
      }
      // The background is not mirrored: both edges show as in English.
      const test::WindowImage image(dialog);
      for (const int x : {0, 1, image.width() - 2, image.width() - 1}) {
        SCOPED_TRACE(x);
        EXPECT_EQ(1.0, SharedPixels(*unmirrored, image,
                                    {x, 0, x + 1, image.height()}));
      }
      ASSERT_TRUE(image.SavePng(test::ScreenshotFolder().Append(
          u"rtl_" + std::u16string(language) + u"_" +
          base::ASCIIToUTF16(Name(page)) + u".png")));
    }
  }

  // Switched on the options page: round, and back to where it started.
  OpenOn(InstallerPage::kOptions);
  const std::map<int, RECT> english =
      ShownControls(window_->dialog(), window_->options_dialog());
  ExpectListsIn(Control(kLanguageList), Control(kInstallForList),
                Control(kInstallPath), false);
  OpenOn(InstallerPage::kOptions, u"ar");
  const std::map<int, RECT> arabic =
      ShownControls(window_->dialog(), window_->options_dialog());
  OpenOn(InstallerPage::kOptions);
  // The window hears of it at once.
  settings_->SetInstallLanguage(u"ar");
  EXPECT_TRUE(window_->right_to_left());
  EXPECT_EQ(arabic.size(), english.size());
  const std::map<int, RECT> switched =
      ShownControls(window_->dialog(), window_->options_dialog());
  for (const auto& [id, rect] : arabic) {
    SCOPED_TRACE(id);
    EXPECT_TRUE(EqualRect(&rect, &switched.at(id)));
  }
  EXPECT_TRUE(HasRightToLeftParagraph(Control(kSlogan)));
  ExpectListsIn(Control(kLanguageList), Control(kInstallForList),
                Control(kInstallPath), true);
  settings_->SetInstallLanguage(u"en-US");
  ExpectListsIn(Control(kLanguageList), Control(kInstallForList),
                Control(kInstallPath), false);
  EXPECT_FALSE(window_->right_to_left());
  EXPECT_FALSE(HasExStyle(window_->dialog(), WS_EX_LAYOUTRTL));
  EXPECT_FALSE(HasExStyle(Control(kChangeFolder), WS_EX_RTLREADING));
  EXPECT_FALSE(HasRightToLeftParagraph(Control(kSlogan)));
  const std::map<int, RECT> back =
      ShownControls(window_->dialog(), window_->options_dialog());
  for (const auto& [id, rect] : english) {
    SCOPED_TRACE(id);
    EXPECT_TRUE(EqualRect(&rect, &back.at(id)));
  }
}

// Where each character of one line of |text| is drawn, counted from the
// left, by the bidirectional algorithm the text drawing functions use.
std::vector<UINT> VisualOrder(const std::u16string& text, bool right_to_left) {
  SCRIPT_CONTROL control = {};
  SCRIPT_STATE state = {};
  state.uBidiLevel = right_to_left ? 1 : 0;
  std::vector<SCRIPT_ITEM> items(text.size() + 1);
  int count = 0;
  std::vector<UINT> order(text.size());
  if (FAILED(ScriptItemize(base::as_wcstr(text), static_cast<int>(text.size()),
                           static_cast<int>(items.size()), &control, &state,
                           items.data(), &count))) {
    ADD_FAILURE() << "ScriptItemize failed";
    return order;
  }
  std::vector<BYTE> levels(count);
  for (int i = 0; i < count; ++i) levels[i] = items[i].a.s.uBidiLevel;
  std::vector<int> visual_to_logical(count);
  ScriptLayout(count, levels.data(), visual_to_logical.data(), nullptr);
  UINT place = 0;
  for (const int item : visual_to_logical) {
    const int start = items[item].iCharPos;
    const int end = items[item + 1].iCharPos;
    for (int i = 0; i < end - start; ++i)
      order[levels[item] % 2 ? end - 1 - i : start + i] = place++;
  }
  return order;
}

// |text| without the marks of bidirectional formatting.
std::u16string WithoutMarks(std::u16string text) {
  std::erase_if(text, [](char16_t c) {
    return c == u'\u200E' || c == u'\u200F' ||
           (c >= u'\u202A' && c <= u'\u202E') ||
           (c >= u'\u2066' && c <= u'\u2069');
  });
  return text;
}

// The width of |text| on one line in |control|'s font.
int TextWidth(HWND control, const std::u16string& text) {
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(
      dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
  RECT rect = {};
  DrawTextW(dc, base::as_wcstr(text), static_cast<int>(text.size()), &rect,
            DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return rect.right - rect.left;
}

// A path in a right-to-left message reads left to right, its components in
// order, even one in a right-to-left script (a profile named so); the
// sentence around it still starts on the right.
TEST_F(InstallerWindowLayoutTest, PathsInRightToLeftMessagesKeepTheirOrder) {
  const struct {
    const char16_t* language;
    const char16_t* user;
  } cases[] = {{u"ar", u"\u0645\u062D\u0645\u062F"},
               {u"he", u"\u05D3\u05D5\u05D3"},
               {u"fa", u"\u0631\u0636\u0627"},
               {u"ur", u"\u0639\u0644\u06CC"}};
  for (const auto& c : cases) {
    OpenOn(InstallerPage::kError, c.language);
    const std::vector<std::u16string> components = {
        u"C:", u"Users", c.user, u"AppData", u"Local", u"Velna beta"};
    std::u16string path;
    for (const std::u16string& component : components)
      path += (path.empty() ? u"" : u"\\") + component;
    for (const uint32_t id : {kIdsFolderNotCreated, kIdsCopyFailed}) {
      SCOPED_TRACE(testing::Message()
                   << base::UTF16ToUTF8(c.language) << " " << id);
      window_->ShowError(RcL10nHandler::GetStringWithArgs(id, path), false,
                         "detail");
      HWND message = Control(kMessage);
      const std::u16string text = test::WindowText(message);
      ASSERT_TRUE(HasExStyle(message, WS_EX_RTLREADING));
      const std::vector<UINT> order = VisualOrder(text, true);
      size_t from = 0;
      UINT previous_right = 0;
      for (size_t i = 0; i < components.size(); ++i) {
        SCOPED_TRACE(base::UTF16ToUTF8(components[i]));
        const size_t at = text.find(components[i], from);
        ASSERT_NE(std::u16string::npos, at);
        from = at + components[i].size();
        const auto [left, right] =
            std::minmax_element(order.begin() + at, order.begin() + from);
        if (i > 0) {
          EXPECT_LT(previous_right, *left);
        }
        previous_right = *right;
      }
      const size_t first_letter = text.find_first_not_of(u"\u202B\u202A");
      EXPECT_GT(order[first_letter], previous_right);
      // The marks that keep the order take no room.
      EXPECT_EQ(TextWidth(message, WithoutMarks(text)),
                TextWidth(message, text));
    }
    ASSERT_TRUE(
        test::WindowImage(window_->dialog())
            .SavePng(test::ScreenshotFolder().Append(
                u"rtl_" + std::u16string(c.language) + u"_ERROR_path.png")));
  }
}

// The slogan, the terms line and the delete-user-data checkbox show the
// page's background around their text, as every other control does: most
// of their area looks as it does with the control hidden.
TEST_F(InstallerWindowLayoutTest, TextsPaintOverTheBackground) {
  const struct {
    InstallerPage page;
    std::vector<int> controls;
  } cases[] = {
      {InstallerPage::kWelcome, {kSlogan, kTermsLine}},
      {InstallerPage::kUninstall, {kDeleteProfile, kUninstallQuestion}},
  };
  for (const char16_t* language : {u"en-US", u"ar"}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message()
                   << base::UTF16ToUTF8(language) << " " << Name(c.page));
      OpenOn(c.page, language);
      HWND dialog = window_->dialog();
      const test::WindowImage shown(dialog);
      for (int id : c.controls) ShowWindow(Control(id), SW_HIDE);
      const test::WindowImage bare(dialog);
      for (int id : c.controls) {
        SCOPED_TRACE(id);
        const RECT area = test::ScreenRectIn(Control(id), dialog);
        const double shared = SharedPixels(shown, bare, area);
        // The text itself differs; a box of its own colour would too.
        EXPECT_LT(0.6, shared);
        EXPECT_GT(1.0, shared);
      }
    }
  }
}

// Every page in English, German, Arabic and Japanese: the shown controls lie
// inside the window and apart from each other. The pictures are kept.
TEST_F(InstallerWindowLayoutTest, EveryPageInFourLanguages) {
  for (const char16_t* language : {u"en-US", u"de", u"ar", u"ja"}) {
    for (const InstallerPage page : kEveryPage) {
      SCOPED_TRACE(testing::Message()
                   << base::UTF16ToUTF8(language) << " " << Name(page));
      OpenOn(page, language);
      HWND dialog = window_->dialog();
      RECT client;
      GetClientRect(dialog, &client);
      const std::map<int, RECT> shown =
          ShownControls(dialog, window_->options_dialog());
      EXPECT_FALSE(shown.empty());
      for (const auto& [id, rect] : shown) {
        SCOPED_TRACE(id);
        RECT inside;
        IntersectRect(&inside, &rect, &client);
        EXPECT_TRUE(EqualRect(&inside, &rect));
        for (const auto& [other_id, other] : shown) {
          RECT overlap;
          // The logo's area holds the error badge and leaves room below.
          if (other_id <= id || id == kLogo || other_id == kLogo) continue;
          EXPECT_FALSE(IntersectRect(&overlap, &rect, &other)) << other_id;
        }
      }
      const base::FilePath picture = test::ScreenshotFolder().Append(
          u"window_" + std::u16string(language) + u"_" +
          base::ASCIIToUTF16(Name(page)) + u".png");
      test::WindowImage image(dialog);
      ASSERT_TRUE(image.SavePng(picture));
      EXPECT_TRUE(test::IsOpaquePng(picture));
    }
  }
}

bool CollatesBefore(const std::u16string& a, const std::u16string& b) {
  return CompareStringEx(LOCALE_NAME_INVARIANT, LINGUISTIC_IGNORECASE,
                         base::as_wcstr(a), static_cast<int>(a.size()),
                         base::as_wcstr(b), static_cast<int>(b.size()), nullptr,
                         nullptr, 0) == CSTR_LESS_THAN;
}

// The language list names each language as its speakers do, in the order of
// those names as people read them (the root collation, case ignored), not in
// the order of the codes; every entry still selects its own language.
TEST_F(InstallerWindowLayoutTest, LanguageListInTheOrderOfTheNames) {
  OpenOn(InstallerPage::kOptions, u"de");
  HWND list = Control(kLanguageList);
  const int count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
  const std::vector<std::u16string> codes =
      RcL10nHandler::GetAvailableLanguages();
  ASSERT_EQ(codes.size(), static_cast<size_t>(count));
  std::vector<std::u16string> names;
  for (int i = 0; i < count; ++i) {
    std::u16string name(SendMessageW(list, CB_GETLBTEXTLEN, i, 0) + 1, u'\0');
    name.resize(SendMessageW(list, CB_GETLBTEXT, i,
                             reinterpret_cast<LPARAM>(name.data())));
    const LRESULT code = SendMessageW(list, CB_GETITEMDATA, i, 0);
    ASSERT_LE(0, code);
    ASSERT_GT(count, code);
    EXPECT_EQ(RcL10nHandler::GetStringForCode(codes[code], kIdsLanguageName),
              name);
    if (!names.empty()) {
      EXPECT_FALSE(CollatesBefore(name, names.back())) << i;
    }
    names.push_back(name);
  }
  auto at = [&names](const char16_t* name) {
    return std::find(names.begin(), names.end(), name) - names.begin();
  };
  // Letters with marks among their base letters; scripts after each other.
  const char16_t* const kInOrder[] = {u"Afrikaans",
                                      u"Bahasa Indonesia",
                                      u"Català",
                                      u"Čeština",
                                      u"Dansk",
                                      u"Deutsch",
                                      u"Eesti",
                                      u"English (United Kingdom)",
                                      u"Español (España)",
                                      u"Íslenska",
                                      u"Italiano",
                                      u"Svenska",
                                      u"Tiếng Việt",
                                      u"Türkçe",
                                      u"Ελληνικά",
                                      u"Български",
                                      u"Русский",
                                      u"עברית",
                                      u"العربية",
                                      u"हिन्दी",
                                      u"ไทย"};
  for (size_t i = 1; i < std::size(kInOrder); ++i) {
    EXPECT_LT(at(kInOrder[i - 1]), at(kInOrder[i]))
        << base::UTF16ToUTF8(kInOrder[i]);
    EXPECT_GT(count, at(kInOrder[i]));
  }
  // The window's language stays selected.
  EXPECT_EQ(at(u"Deutsch"), SendMessageW(list, CB_GETCURSEL, 0, 0));
}

// An uninstallation speaks the language of the installation it removes,
// whatever "language" says; an update in the same folder takes the one the
// switch names. An installation in Arabic is uninstalled in a mirrored
// window.
TEST_F(InstallerWindowLayoutTest, UninstallSpeaksTheInstallationsLanguage) {
  const base::FilePath installation = dir().Append(u"Installed");
  InstallLog log = test::MakeInstallLog(installation, false);
  log.hkcu_keys.push_back({1, "Software\\Velna", {}});
  ASSERT_TRUE(test::WriteInstallationLog(installation, log, false));
  ASSERT_TRUE(test::WriteTextFile(installation.Append(u"installer_prefs.json"),
                                  R"({"language": "ar"})"));
  const struct {
    const char16_t* arguments;
    const char16_t* language;
  } cases[] = {
      {u"--uninstall --language=de", u"ar"},
      {u"--uninstall", u"ar"},
      {u"--language=de", u"de"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(base::UTF16ToUTF8(c.arguments));
    Close();
    Open(c.arguments);
    // An uninstallation inspects the running program's own folder first.
    settings_->SetInstallFolder(installation);
    ASSERT_TRUE(WaitForStatus());
    EXPECT_EQ(c.language, settings_->install_language());
    EXPECT_EQ(std::u16string(c.language) == u"ar", window_->right_to_left());
    EXPECT_EQ(RcL10nHandler::GetStringForCode(c.language, kIdsInstallerTitle),
              WithoutMarks(test::WindowText(window_->dialog())));
  }
}

// The title reads in the window's direction wherever it is drawn (a title
// bar may read left to right): its first word stands right of its last in
// a right-to-left language, whichever script each is in.
TEST_F(InstallerWindowLayoutTest, TitlesReadInTheWindowsDirection) {
  for (const char16_t* language : {u"ar", u"he", u"fa", u"ur"}) {
    SCOPED_TRACE(base::UTF16ToUTF8(language));
    OpenOn(InstallerPage::kWelcome, language);
    const std::u16string title = test::WindowText(window_->dialog());
    const std::u16string words = WithoutMarks(title);
    ASSERT_EQ(RcL10nHandler::GetStringForCode(language, kIdsInstallerTitle),
              words);
    const size_t first_end = words.find(u' ');
    const size_t last_start = words.rfind(u' ') + 1;
    ASSERT_NE(std::u16string::npos, first_end);
    const std::vector<UINT> order = VisualOrder(title, false);
    // Positions in |title|, which has a mark before the words.
    const size_t offset = title.find(words.substr(0, first_end));
    ASSERT_NE(std::u16string::npos, offset);
    const UINT first_leftmost = *std::min_element(
        order.begin() + offset, order.begin() + offset + first_end);
    const UINT last_rightmost =
        *std::max_element(order.begin() + offset + last_start,
                          order.begin() + offset + words.size());
    EXPECT_GT(first_leftmost, last_rightmost);
  }
}

// --- Pixels per inch. Wine takes the display's from
// "HKCU\Control Panel\Desktop" LogPixels when a process starts, so each
// resolution runs in a child process of its own.

constexpr char16_t kDpiVariable[] = u"VELNA_TEST_DPI";
constexpr char16_t kDesktopKey[] = u"Control Panel\\Desktop";
constexpr char16_t kLogPixels[] = u"LogPixels";

// Sets LogPixels for the processes started while it lives; restores the
// value before (or its absence) afterwards.
class ScopedLogPixels {
 public:
  explicit ScopedLogPixels(DWORD dpi) {
    key_.Create(HKEY_CURRENT_USER, kDesktopKey, KEY_READ | KEY_WRITE);
    had_value_ = key_.ReadValueDW(kLogPixels, &old_) == ERROR_SUCCESS;
    key_.WriteValue(kLogPixels, dpi);
  }
  ScopedLogPixels(const ScopedLogPixels&) = delete;
  ScopedLogPixels& operator=(const ScopedLogPixels&) = delete;
  ~ScopedLogPixels() {
    if (had_value_)
      key_.WriteValue(kLogPixels, old_);
    else
      key_.DeleteValue(kLogPixels);
  }

 private:
  base::win::RegKey key_;
  bool had_value_ = false;
  DWORD old_ = 0;
};

TEST_F(InstallerWindowLayoutTest, DrawsForTheDisplaysPixelsPerInch) {
  for (const int dpi : {96, 144}) {
    SCOPED_TRACE(dpi);
    std::string output;
    DWORD exit_code = 1;
    {
      ScopedLogPixels log_pixels(dpi);
      ASSERT_TRUE(base::RunChildProcess(
          u"\"" + base::GetTestExecutableFolder() +
              u"installer_ui_unittests.exe\" "
              u"--gtest_filter=InstallerWindowLayoutTest."
              u"DISABLED_ChildAtTheDisplaysPixelsPerInch "
              u"--gtest_also_run_disabled_tests",
          {{kDpiVariable, base::ASCIIToUTF16(std::to_string(dpi))}}, &output,
          &exit_code));
    }
    EXPECT_EQ(0u, exit_code) << output;
    EXPECT_NE(std::string::npos, output.find("[  PASSED  ] 1 test")) << output;
  }
}

// Moved to a display of another resolution, the window takes the size the
// system proposes there and draws its own fonts and pictures for it. (The
// system itself scales the dialog's controls; Wine does not, so the step
// stays small enough for the logo to fit its control.)
TEST_F(InstallerWindowLayoutTest, MovesToADisplayOfAnotherResolution) {
  OpenOn(InstallerPage::kWelcome);
  HWND dialog = window_->dialog();
  const int start = window_->dpi();
  for (const int dpi : {start * 5 / 4, start}) {
    SCOPED_TRACE(dpi);
    RECT suggested;
    GetWindowRect(dialog, &suggested);
    suggested.right = suggested.left + MulDiv(suggested.right - suggested.left,
                                              dpi, window_->dpi());
    suggested.bottom = suggested.top + MulDiv(suggested.bottom - suggested.top,
                                              dpi, window_->dpi());
    SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(dpi, window_->dpi());
    RECT now;
    GetWindowRect(dialog, &now);
    EXPECT_TRUE(EqualRect(&suggested, &now));
    LOGFONTW heading = {};
    GetObjectW(reinterpret_cast<HFONT>(
                   SendMessageW(Control(kProgressHeading), WM_GETFONT, 0, 0)),
               sizeof(heading), &heading);
    EXPECT_EQ(-MulDiv(14, dpi, 72), heading.lfHeight);
    ScopedBitmap logo(
        LoadResourceBitmapForDpi(kLogoPictureId, kPngResourceType, dpi));
    int logo_size = 0, height = 0;
    ASSERT_FALSE(
        test::ReadBitmapPixels(logo.get(), &logo_size, &height).empty());
    EXPECT_EQ(MulDiv(96, dpi, 96), logo_size);
    const RECT control = test::ScreenRectIn(Control(kLogo), dialog);
    EXPECT_TRUE(test::ShowsOpaquePixels(
        test::WindowImage(dialog), logo.get(),
        control.left + (control.right - control.left) / 2 - logo_size / 2,
        control.top + (control.bottom - control.top) / 2 - logo_size / 2));
    // The texts are set again, in the new fonts.
    EXPECT_EQ(RcL10nHandler::GetString(kIdsOptions),
              test::WindowText(Control(kOptionsButton)));
  }
}

// Run by the test above at the resolution it set.
TEST_F(InstallerWindowLayoutTest, DISABLED_ChildAtTheDisplaysPixelsPerInch) {
  wchar_t value[8] = {};
  ASSERT_LT(0u, GetEnvironmentVariableW(base::as_wcstr(kDpiVariable), value,
                                        std::size(value)));
  const int dpi = _wtoi(value);
  const std::u16string dpi_name = base::ASCIIToUTF16(std::to_string(dpi));
  OpenOn(InstallerPage::kWelcome);
  HWND dialog = window_->dialog();
  EXPECT_EQ(dpi, window_->dpi());

  // The layout grows with the dialog font, the window's own fonts with the
  // resolution: 400 dialog units are 600 pixels at 96 in Tahoma, 700 in
  // the wider DejaVu Sans.
  RECT client;
  GetClientRect(dialog, &client);
  EXPECT_NEAR(650.0 * dpi / 96, client.right, 70.0 * dpi / 96);
  LOGFONTW slogan = {};
  GetObjectW(reinterpret_cast<HFONT>(
                 SendMessageW(Control(kProgressHeading), WM_GETFONT, 0, 0)),
             sizeof(slogan), &slogan);
  EXPECT_EQ(-MulDiv(14, dpi, 72), slogan.lfHeight);

  // The logo and the badge at the display's size, centred and at the
  // logo's corner.
  ScopedBitmap logo(
      LoadResourceBitmapForDpi(kLogoPictureId, kPngResourceType, dpi));
  ScopedBitmap badge(
      LoadResourceBitmapForDpi(kErrorBadgePictureId, kPngResourceType, dpi));
  int logo_size = 0, badge_size = 0, height = 0;
  ASSERT_FALSE(test::ReadBitmapPixels(logo.get(), &logo_size, &height).empty());
  ASSERT_FALSE(
      test::ReadBitmapPixels(badge.get(), &badge_size, &height).empty());
  EXPECT_EQ(96 * dpi / 96, logo_size);
  EXPECT_EQ(32 * dpi / 96, badge_size);
  const RECT control = test::ScreenRectIn(Control(kLogo), dialog);
  const int left =
      control.left + (control.right - control.left) / 2 - logo_size / 2;
  const int top =
      control.top + (control.bottom - control.top) / 2 - logo_size / 2;
  {
    test::WindowImage image(dialog);
    EXPECT_TRUE(test::ShowsOpaquePixels(image, logo.get(), left, top));
    EXPECT_TRUE(image.SavePng(test::ScreenshotFolder().Append(
        u"window_" + dpi_name + u"dpi_WELCOME.png")));
  }
  GoTo(InstallerPage::kError);
  const int corner = MulDiv(10, dpi, 96);
  test::WindowImage image(dialog);
  EXPECT_TRUE(test::ShowsOpaquePixels(image, badge.get(),
                                      left + logo_size + corner - badge_size,
                                      top + logo_size + corner - badge_size));
  EXPECT_TRUE(image.SavePng(test::ScreenshotFolder().Append(
      u"window_" + dpi_name + u"dpi_ERROR.png")));
  // Nothing falls out of the window.
  for (const auto& [id, rect] :
       ShownControls(dialog, window_->options_dialog())) {
    RECT inside;
    IntersectRect(&inside, &rect, &client);
    EXPECT_TRUE(EqualRect(&inside, &rect)) << id;
  }
}

}  // namespace
}  // namespace installer
