#include "desktop/windows/installer/ui/installer_window_win.h"

#include <commctrl.h>
#include <richedit.h>
#include <windowsx.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/logging.h"
#include "base/process/native_library.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/common/stats_document.h"
#include "desktop/windows/installer/core/status.h"
#include "desktop/windows/installer/service/utils.h"
#include "desktop/windows/installer/ui/folder_browser_win.h"
#include "desktop/windows/installer/ui/installer_window_ids.h"
#include "desktop/windows/installer/ui/message_box_win.h"
#include "desktop/windows/installer/ui/win32_dialog_dispatcher_win.h"
#include "desktop/windows/rc_l10n_handler/rc_l10n_handler.h"
#include "desktop/windows/rc_l10n_handler/resource_reader_win.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"

namespace installer {

namespace {

using namespace controls;

constexpr wchar_t kRichEditLibrary[] = L"Msftedit.dll";
constexpr char16_t kTermsLinkTarget[] = u"tos";
constexpr char kPageSequenceKey[] = "ui.page_sequence";

// Statistics keys of the page nodes.
constexpr char kPageTypeKey[] = "page_type";
constexpr char kNavigationActionKey[] = "navigation_action";
constexpr char kNavigationTimeKey[] = "navigation_time";
constexpr char kErrorDisplayedKey[] = "error_displayed";

// The install-mode help of the install-for list: captions and explanations.
constexpr char16_t kInstallModeHelpFormat[] =
    u"$1\n\t$2\n\n$3\n\t$4\n\n$5\n\t$6";
constexpr int kTooltipMaxWidth = 300;
// The install-for list is the tool of the install-mode help.
constexpr UINT kInstallModeToolFlags = TTF_IDISHWND | TTF_SUBCLASS;

// A right-to-left embedding: the text between the two reads right to left.
constexpr char16_t kRightToLeftEmbedding = u'\u202B';
constexpr char16_t kPopDirectionalFormatting = u'\u202C';
// Ends a left-to-right name in a right-to-left list: its closing
// parenthesis stays at its end, and the name still starts with its first
// letter, which type-to-find in the list matches.
constexpr char16_t kLeftToRightMark = u'\u200E';
// The full-installer button's margin around its text.
constexpr int kFullInstallerPadding = 30;
// Up to this far ahead the progress bar steps one unit at a time.
constexpr int kMaxProgressSteps = 10;

internal::ElevationCheck g_elevation_check = &RequiresElevation;

int PageBit(InstallerPage page) { return 1 << static_cast<int>(page); }

constexpr int kWelcomeBit = 1 << 0;
constexpr int kUninstallBit = 1 << 1;
constexpr int kTosBit = 1 << 2;
constexpr int kOptionsBit = 1 << 3;
constexpr int kProgressBit = 1 << 4;
constexpr int kErrorBit = 1 << 5;

// Which main-dialog controls each page shows; other pages hide them.
constexpr struct {
  int id;
  int pages;
} kPageControls[] = {
    {kLogo, kWelcomeBit | kUninstallBit | kProgressBit | kErrorBit},
    {kTermsText, kTosBit},
    {kBack, kTosBit | kOptionsBit | kErrorBit},
    {kSlogan, kWelcomeBit},
    {kTermsLine, kWelcomeBit},
    {kOptionsButton, kWelcomeBit},
    {kAccept, kWelcomeBit | kTosBit | kOptionsBit},
    {kProgressHeading, kProgressBit},
    {kProgressBar, kProgressBit},
    {kMessage, kProgressBit | kErrorBit},
    {kErrorHeading, kErrorBit},
    {kUninstallErrorHeading, kErrorBit},
    {kRetry, kErrorBit},
    {kFullInstaller, kErrorBit},
    {kUninstallCancel, kUninstallBit},
    {kUninstall, kUninstallBit},
    {kDeleteProfile, kUninstallBit},
    {kUninstallQuestion, kUninstallBit},
};

// The control that has the focus when a page is entered, which is also the
// page's default button (Enter); 0 for none.
int FocusedControl(InstallerPage page) {
  switch (page) {
    case InstallerPage::kWelcome:
    case InstallerPage::kTos:
    case InstallerPage::kOptions:
      return kAccept;
    case InstallerPage::kUninstall:
      return kUninstall;
    case InstallerPage::kError:
      return kRetry;
    default:
      return 0;
  }
}

struct ControlText {
  int id;
  uint32_t string_id;
};

constexpr ControlText kInstallTexts[] = {
    {kOptionsButton, kIdsOptions},
    {kBack, kIdsBack},
    {kLanguageLabel, kIdsLanguageLabel},
    {kInstallForLabel, kIdsInstallForLabel},
    {kInstallPathLabel, kIdsInstallPathLabel},
    {kChangeFolder, kIdsChangeFolder},
    {kInvalidPath, kIdsInvalidPath},
    {kRedText, kIdsInvalidPath},
    {kDefaultBrowser, kIdsMakeDefaultBrowser},
    {kImportData, kIdsImportData},
    {kUsageData, kIdsShareUsageData},
    {kProgressHeading, kIdsThankYou},
    {kErrorHeading, kIdsInstallFailedHeading},
    {kRetry, kIdsTryAgain},
    {kFullInstaller, kIdsGetFullInstaller},
    {kUninstallCancel, kIdsCancel},
};

constexpr ControlText kUninstallTexts[] = {
    {kBack, kIdsBack},
    {kErrorHeading, kIdsUninstallFailedHeading},
    {kUninstallErrorHeading, kIdsUninstallFailedHeading},
    {kRetry, kIdsTryAgain},
    {kUninstallCancel, kIdsCancel},
    {kUninstall, kIdsUninstall},
    {kUninstallQuestion, kIdsUninstallQuestion},
    {kDeleteProfile, kIdsDeleteUserData},
};

// Creates dialog |id| of |module|, mirrored from the start for a
// right-to-left language: a combo box's list is mirrored only when the combo
// box is created in a mirrored window, so the lists of a dialog mirrored
// afterwards would open left to right.
HWND CreateDialogInLayout(HINSTANCE module, int id, HWND parent, DLGPROC proc,
                          LPARAM param, bool right_to_left) {
  if (!right_to_left)
    return CreateDialogParamW(module, MAKEINTRESOURCEW(id), parent, proc,
                              param);
  std::string bytes;
  if (!ReadResourceBytes(module, id, RT_DIALOG, &bytes)) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  // Aligned as the system reads a template.
  std::vector<DWORD> copy((bytes.size() + 3) / 4);
  std::memcpy(copy.data(), bytes.data(), bytes.size());
  // An extended template starts with its version 1 and 0xFFFF, and has its
  // extended style after the help id; a plain one after the style.
  const auto* words = reinterpret_cast<const WORD*>(copy.data());
  const bool extended =
      bytes.size() >= 12 && words[0] == 1 && words[1] == 0xFFFF;
  if (!extended && bytes.size() < 8) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  copy[extended ? 2 : 1] |= WS_EX_LAYOUTRTL;
  return CreateDialogIndirectParamW(
      module, reinterpret_cast<const DLGTEMPLATE*>(copy.data()), parent, proc,
      param);
}

InstallerWindow* WindowFromDialog(HWND dialog) {
  return reinterpret_cast<InstallerWindow*>(
      GetWindowLongPtrW(dialog, DWLP_USER));
}

std::u16string GetWindowString(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::u16string text(length + 1, u'\0');
  text.resize(GetWindowTextW(window, reinterpret_cast<wchar_t*>(text.data()),
                             length + 1));
  return text;
}

std::u16string GetComboEntry(HWND combo, int index) {
  const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, index, 0);
  if (length == CB_ERR) return std::u16string();
  std::u16string text(length + 1, u'\0');
  const LRESULT copied = SendMessageW(combo, CB_GETLBTEXT, index,
                                      reinterpret_cast<LPARAM>(text.data()));
  text.resize(copied == CB_ERR ? 0 : copied);
  return text;
}

}  // namespace

namespace internal {

void SetElevationCheckForTesting(ElevationCheck check) {
  g_elevation_check = check ? check : &RequiresElevation;
}

}  // namespace internal

// static
const char* InstallerWindow::PageName(InstallerPage page) {
  switch (page) {
    case InstallerPage::kWelcome:
      return "WELCOME";
    case InstallerPage::kUninstall:
      return "UNINSTALL";
    case InstallerPage::kTos:
      return "TOS";
    case InstallerPage::kOptions:
      return "OPTIONS";
    case InstallerPage::kProgress:
      return "PROGRESS";
    case InstallerPage::kError:
      return "ERROR";
    default:
      return "invalid";
  }
}

// static
std::unique_ptr<InstallerWindow> InstallerWindow::Create(
    Settings* settings, const StatsNode& root_node, bool run_immediately,
    base::win::WindowsVersion windows_version) {
  INITCOMMONCONTROLSEX controls = {sizeof(controls),
                                   ICC_WIN95_CLASSES | ICC_USEREX_CLASSES |
                                       ICC_STANDARD_CLASSES | ICC_LINK_CLASS};
  if (!InitCommonControlsEx(&controls))
    LOG(ERROR) << "InitCommonControlsEx failed.";
  // Stays loaded: the rich-edit class must outlive every window.
  if (!base::LoadNativeLibrary(
          base::FilePath(base::as_u16cstr(kRichEditLibrary))))
    LOG(ERROR) << "Loading library Msftedit.dll failed.";
  std::unique_ptr<InstallerWindow> window(new InstallerWindow(
      settings, root_node, run_immediately, windows_version));
  if (!window->Init()) {
    LOG(ERROR) << "Window creation failed.";
    return nullptr;
  }
  return window;
}

InstallerWindow::InstallerWindow(Settings* settings, const StatsNode& root_node,
                                 bool run_immediately,
                                 base::win::WindowsVersion windows_version)
    : settings_(settings),
      run_immediately_(run_immediately),
      windows_version_(windows_version),
      languages_(RcL10nHandler::GetAvailableLanguages()),
      root_node_(root_node) {
  if (!run_immediately_) {
    settings_->AddObserver(this);
    observing_settings_ = true;
  }
}

InstallerWindow::~InstallerWindow() {
  if (tooltip_) DestroyWindow(tooltip_);
  if (observing_settings_) settings_->RemoveObserver(this);
  if (dialog_) {
    Win32DialogDispatcher::GetInstance()->Release(dialog_);
    // Takes the options dialog with it.
    DestroyWindow(dialog_);
  }
}

bool InstallerWindow::Init() {
  HINSTANCE module = GetModuleHandleW(nullptr);
  const bool right_to_left =
      IsRightToLeftLanguage(*RcL10nHandler::CurrentLangId());
  if (!CreateDialogInLayout(module, kMainDialogId, nullptr, &MainDialogProc,
                            reinterpret_cast<LPARAM>(this), right_to_left)) {
    PLOG(ERROR) << "Could not create dialog " << kMainDialogId;
    return false;
  }
  if (!CreateDialogInLayout(module, kOptionsDialogId, dialog_,
                            &OptionsDialogProc, reinterpret_cast<LPARAM>(this),
                            right_to_left)) {
    PLOG(ERROR) << "Could not create dialog " << kOptionsDialogId;
    DestroyWindow(dialog_);
    dialog_ = nullptr;
    return false;
  }
  // Tab order is z-order: the options come before back and accept, which
  // the template lists last.
  SetWindowPos(options_dialog_, GetDlgItem(dialog_, kDeleteProfile), 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ShowPage(settings_->uninstall() ? InstallerPage::kUninstall
                                  : InstallerPage::kWelcome);
  // The controls that keep their layout, before the window shows.
  SetLayoutDirection(right_to_left);
  ShowWindow(dialog_, SW_SHOW);
  // A dialog that was hidden when its page took the focus has none.
  FocusPageControl(page_);
  OnLanguageChanged();
  if (!settings_->IsStatusPending()) RefreshControls();
  return true;
}

// --- Dialog procedures.

// static
INT_PTR CALLBACK InstallerWindow::MainDialogProc(HWND dialog, UINT message,
                                                 WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* window = reinterpret_cast<InstallerWindow*>(lparam);
    SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    window->dialog_ = dialog;
  }
  InstallerWindow* window = WindowFromDialog(dialog);
  return window ? window->HandleMainMessage(message, wparam, lparam) : FALSE;
}

// static
INT_PTR CALLBACK InstallerWindow::OptionsDialogProc(HWND dialog, UINT message,
                                                    WPARAM wparam,
                                                    LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* window = reinterpret_cast<InstallerWindow*>(lparam);
    SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    window->options_dialog_ = dialog;
  }
  InstallerWindow* window = WindowFromDialog(dialog);
  return window ? window->HandleOptionsMessage(message, wparam, lparam) : FALSE;
}

INT_PTR InstallerWindow::HandleMainMessage(UINT message, WPARAM wparam,
                                           LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog();
      if (run_immediately_) {
        // Only records the entry in the statistics; the creation selects
        // the first page afterwards.
        ShowPage(InstallerPage::kProgress);
      } else if (!settings_->uninstall()) {
        LoadTermsText();
      }
      return TRUE;
    case WM_ACTIVATE:
      if (LOWORD(wparam) == WA_INACTIVE) {
        Win32DialogDispatcher::GetInstance()->Release(dialog_);
        focus_when_inactive_ = GetFocus();
        return FALSE;
      }
      Win32DialogDispatcher::GetInstance()->Select(dialog_);
      // The dialog gives the focus back to the control that had it, which
      // may have been disabled or hidden meanwhile.
      if (IsChild(dialog_, focus_when_inactive_) &&
          !CanHoldFocus(focus_when_inactive_)) {
        if (HWND substitute = FocusSubstitute(focus_when_inactive_)) {
          SendMessageW(dialog_, WM_NEXTDLGCTL,
                       reinterpret_cast<WPARAM>(substitute), TRUE);
          return TRUE;
        }
      }
      return FALSE;
    case WM_CLOSE:
      ConfirmCancel();
      return TRUE;
    case WM_SETFOCUS:
      // A page without a control to focus keeps the focus on the dialog,
      // where Esc still reaches it; the default would pick a control of
      // another page.
      return page_ != InstallerPage::kNone && !FocusedControl(page_);
    case WM_COMMAND:
      OnMainCommand(LOWORD(wparam), HIWORD(wparam));
      return TRUE;
    case WM_NOTIFY:
      return OnLinkNotification(reinterpret_cast<const NMHDR*>(lparam));
    case WM_WINDOWPOSCHANGED: {
      const auto* position = reinterpret_cast<const WINDOWPOS*>(lparam);
      const bool moved_or_sized = (position->flags & SWP_NOSIZE) == 0 ||
                                  (position->flags & SWP_NOMOVE) == 0;
      BuildBackground(moved_or_sized);
      return FALSE;
    }
    case WM_THEMECHANGED:
      BuildBackground(true);
      return FALSE;
    case WM_DPICHANGED:
      OnDpiChanged(HIWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
      return TRUE;
    case WM_ERASEBKGND:
      if (!EraseBackground(reinterpret_cast<HDC>(wparam))) return FALSE;
      SetWindowLongPtrW(dialog_, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<INT_PTR>(
          MainControlColor(message, reinterpret_cast<HDC>(wparam),
                           reinterpret_cast<HWND>(lparam)));
    default:
      return FALSE;
  }
}

INT_PTR InstallerWindow::HandleOptionsMessage(UINT message, WPARAM wparam,
                                              LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      if (!run_immediately_) PrepareOptionsPage();
      return FALSE;
    case WM_COMMAND:
      OnOptionsCommand(LOWORD(wparam), HIWORD(wparam));
      return TRUE;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<INT_PTR>(
          OptionsControlColor(message, reinterpret_cast<HDC>(wparam),
                              reinterpret_cast<HWND>(lparam)));
    default:
      return FALSE;
  }
}

// Delegate notifications come last in every handler: a delegate may
// destroy the window.
void InstallerWindow::OnMainCommand(int id, int code) {
  switch (id) {
    case IDCANCEL:
      // Esc: what the title bar's close button does.
      ConfirmCancel();
      return;
    case kOptionsButton:
    case kUninstallCancel:
    case kAccept:
    case kFullInstaller:
    case kRetry:
    case kUninstall:
    case kBack:
      if (!IsOnCurrentPage(id)) {
        LOG(WARNING) << "Ignored button " << id << " of another page";
        return;
      }
      break;
    default:
      break;
  }
  switch (id) {
    case kOptionsButton:
      RecordNavigation("OPTIONS");
      ShowPage(InstallerPage::kOptions);
      return;
    case kUninstallCancel:
      ConfirmCancel();
      return;
    case kAccept:
      RecordNavigation("ACCEPT");
      NotifyAccept();
      return;
    case kFullInstaller:
      RecordNavigation("FULL_PACKAGE");
      delegates_.Notify(&Delegate::OnObtainFullPackage);
      return;
    case kRetry:
      RecordNavigation("RETRY");
      NotifyAccept();
      return;
    case kUninstall:
      RecordNavigation("UNINSTALL");
      NotifyAccept();
      return;
    case kBack:
      RecordNavigation("BACK");
      ShowPage(InstallerPage::kWelcome);
      return;
    case kTermsText:
      if (code == EN_SETFOCUS)
        SendDlgItemMessageW(dialog_, id, EM_SETSEL, 0, 0);
      return;
    case kDeleteProfile:
      if (code == BN_CLICKED) {
        OnCheckbox(id);
        RepaintControl(dialog_, id);
      }
      return;
    default:
      return;
  }
}

void InstallerWindow::OnOptionsCommand(int id, int code) {
  switch (id) {
    case kLanguageList:
      if (code == CBN_SELCHANGE) {
        page_node_->IncrementInteger("changed_language");
        OnLanguageSelected();
      }
      return;
    case kInstallForList:
      if (code == CBN_SELCHANGE) {
        page_node_->IncrementInteger("changed_install_mode");
        OnInstallForSelected();
      }
      return;
    case kInstallPath:
      if (code == CBN_SELCHANGE || code == CBN_EDITCHANGE)
        OnPathEdited(code == CBN_EDITCHANGE);
      return;
    case kChangeFolder:
      if (code == BN_CLICKED) BrowseForFolder();
      return;
    case kDefaultBrowser:
    case kImportData:
    case kUsageData:
      if (code == BN_CLICKED) OnCheckbox(id);
      RepaintControl(options_dialog_, id);
      return;
    default:
      return;
  }
}

bool InstallerWindow::IsOnCurrentPage(int id) const {
  if (page_ == InstallerPage::kNone) return false;
  for (const auto& entry : kPageControls) {
    if (entry.id == id) return (entry.pages & PageBit(page_)) != 0;
  }
  return false;
}

bool InstallerWindow::OnLinkNotification(const NMHDR* header) {
  if (header->idFrom != static_cast<UINT_PTR>(kTermsLine) ||
      header->code != EN_LINK) {
    return false;
  }
  const auto* link = reinterpret_cast<const ENLINK*>(header);
  if (link->msg != WM_LBUTTONUP) return false;
  OpenTermsLink(static_cast<size_t>(link->chrg.cpMin));
  SetWindowLongPtrW(dialog_, DWLP_MSGRESULT, TRUE);
  return true;
}

void InstallerWindow::OpenTermsLink(size_t position) {
  if (page_ != InstallerPage::kWelcome) return;
  // Rich edit reports the label's range; the target is ours to map.
  const std::u16string target = FindLinkTarget(terms_links_, position);
  RecordNavigation("TOS");
  if (target == kTermsLinkTarget) ShowPage(InstallerPage::kTos);
}

// --- Pages and navigation.

void InstallerWindow::ShowPage(InstallerPage page) {
  if (page == page_) return;
  page_node_ = root_node_.AppendDictionary(kPageSequenceKey);
  page_node_->SetString(kPageTypeKey, PageName(page));
  // Set first: hiding the focused control moves the focus, which asks
  // which page is shown.
  page_ = page;

  // Shown before the focus moves: a hidden control keeps no focus.
  const int bit = PageBit(page);
  for (const auto& entry : kPageControls) {
    ShowWindow(GetDlgItem(dialog_, entry.id),
               (entry.pages & bit) ? SW_SHOWNA : SW_HIDE);
  }
  if (settings_->uninstall()) {
    ShowWindow(GetDlgItem(dialog_, kProgressHeading), SW_HIDE);
    ShowWindow(GetDlgItem(dialog_, kErrorHeading), SW_HIDE);
  } else {
    ShowWindow(GetDlgItem(dialog_, kUninstallErrorHeading), SW_HIDE);
  }
  // The options shown before the focus moves, hidden after: they hold the
  // focus where accept cannot.
  if (page == InstallerPage::kOptions) ShowWindow(options_dialog_, SW_SHOWNA);
  ShowPathValidity();
  // Enter presses the page's own button; a page without one has none.
  SendMessageW(dialog_, DM_SETDEFID, FocusedControl(page), 0);
  FocusPageControl(page);
  if (page != InstallerPage::kOptions) ShowWindow(options_dialog_, SW_HIDE);
  error_page_ = page == InstallerPage::kError;
  RedrawWindow(dialog_, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void InstallerWindow::FocusPageControl(InstallerPage page) {
  if (const int id = FocusedControl(page)) {
    HWND focus = GetDlgItem(dialog_, id);
    if (!CanHoldFocus(focus)) focus = FocusSubstitute(focus);
    if (focus) {
      SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(focus),
                   TRUE);
    }
  } else if (GetActiveWindow() == dialog_) {
    // Keys go to the dialog then (Esc still asks), not to a hidden control
    // of the previous page.
    SetFocus(dialog_);
  }
}

bool InstallerWindow::CanHoldFocus(HWND control) const {
  // Its own visibility: the page's control is chosen before the dialog
  // itself shows.
  return (GetWindowLongPtrW(control, GWL_STYLE) & WS_VISIBLE) != 0 &&
         IsWindowEnabled(control);
}

HWND InstallerWindow::FocusSubstitute(HWND control) const {
  // Accept waits on the options page for a valid folder: the folder is
  // what the keyboard has to reach there.
  if (page_ == InstallerPage::kOptions && !path_valid_ &&
      control == GetDlgItem(dialog_, kAccept)) {
    HWND folder = GetControl(kInstallPath);
    if (CanHoldFocus(folder)) return folder;
  }
  for (const BOOL previous : {TRUE, FALSE}) {
    HWND next = GetNextDlgTabItem(dialog_, control, previous);
    if (next && next != control && CanHoldFocus(next)) return next;
  }
  return nullptr;
}

void InstallerWindow::MoveFocusFrom(HWND control) {
  HWND focus = GetFocus();
  if (!focus || (focus != control && !IsChild(control, focus))) return;
  if (HWND substitute = FocusSubstitute(control)) {
    SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(substitute),
                 TRUE);
  }
}

void InstallerWindow::SetControlEnabled(HWND control, bool enabled) {
  if (!enabled) MoveFocusFrom(control);
  EnableWindow(control, enabled);
}

void InstallerWindow::SetControlShown(HWND control, bool shown) {
  if (!shown) MoveFocusFrom(control);
  ShowWindow(control, shown ? SW_SHOWNA : SW_HIDE);
}

void InstallerWindow::ShowPathValidity() {
  if (settings_->uninstall()) return;
  SetControlEnabled(GetDlgItem(dialog_, kAccept), path_valid_);
  // Back keeps the user on the options page until the path is valid; from
  // the other pages it leads to the welcome page, and from there to the
  // options.
  SetControlEnabled(GetDlgItem(dialog_, kBack),
                    path_valid_ || page_ != InstallerPage::kOptions);
  HWND notice = GetDlgItem(dialog_, kRedText);
  const bool shown = !path_valid_ && page_ == InstallerPage::kWelcome;
  if (shown == ((GetWindowLongPtrW(notice, GWL_STYLE) & WS_VISIBLE) != 0))
    return;
  ShowWindow(notice, shown ? SW_SHOWNA : SW_HIDE);
  RepaintControl(dialog_, kRedText);
}

void InstallerWindow::RecordNavigation(const char* action) {
  page_node_->SetString(kNavigationActionKey, action);
  page_node_->SetTimeNow(kNavigationTimeKey);
}

void InstallerWindow::NotifyAccept() {
  delegates_.Notify(&Delegate::OnAcceptClicked);
}

void InstallerWindow::ConfirmCancel() {
  const std::u16string question = RcL10nHandler::GetString(
      settings_->uninstall() ? kIdsQuitUninstall : kIdsQuitInstall);
  if (ShowMessageBox(question, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  RecordNavigation("CANCEL");
  delegates_.Notify(&Delegate::OnCancelled);
}

int InstallerWindow::ShowMessageBox(const std::u16string& text, UINT type) {
  if (right_to_left_) type |= MB_RTLREADING | MB_RIGHT;
  return ShowLocalizedMessageBox(
      dialog_, text, RcL10nHandler::GetString(kIdsInstallerTitle), type);
}

void InstallerWindow::ShowPhase(int phase) {
  std::u16string caption;
  if (phase == 0 || phase == 1) {
    caption = RcL10nHandler::GetString(kIdsDownloading);
  } else if (phase == 2) {
    caption = RcL10nHandler::GetString(kIdsExtracting);
  } else if (settings_->uninstall()) {
    caption = RcL10nHandler::GetString(kIdsUninstalling);
  } else if (settings_->copy_only() || settings_->all_users()) {
    caption = RcL10nHandler::GetString(kIdsInstalling);
  } else {
    std::u16string user;
    GetCurrentUserDisplayName(&user);
    if (user.empty()) GetCurrentUserName(&user);
    caption = RcL10nHandler::GetStringWithArgs(kIdsInstallingForUser, user);
  }
  if (caption.empty()) return;
  SetControlText(kMessage, caption);
  RepaintControl(dialog_, kMessage);
}

void InstallerWindow::ShowWaitingForNetwork() {
  SetControlText(kMessage, RcL10nHandler::GetString(kIdsWaitingForNetwork));
  RepaintControl(dialog_, kMessage);
}

void InstallerWindow::ShowProgress(int position, int range) {
  ShowPage(InstallerPage::kProgress);
  HWND bar = GetDlgItem(dialog_, kProgressBar);
  SendMessageW(bar, PBM_SETRANGE32, position, range);
  SendMessageW(bar, PBM_SETSTEP, 1, 0);
  // Below the range: the bar starts at its bottom.
  SendMessageW(bar, PBM_SETPOS, 0, 0);
}

void InstallerWindow::SetProgress(int position) {
  HWND bar = GetDlgItem(dialog_, kProgressBar);
  const int current = static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0));
  // A step beyond the top would start the bar over from the bottom.
  const int top = static_cast<int>(SendMessageW(bar, PBM_GETRANGE, FALSE, 0));
  position = std::min(position, top);
  if (position <= current) return;
  if (position - current <= kMaxProgressSteps) {
    for (int step = current; step < position; ++step)
      SendMessageW(bar, PBM_STEPIT, 0, 0);
  } else {
    SendMessageW(bar, PBM_SETPOS, position, 0);
  }
}

void InstallerWindow::ShowError(const std::u16string& message,
                                bool offer_full_package,
                                const std::string& detail) {
  ShowPage(InstallerPage::kError);
  SetControlShown(GetDlgItem(dialog_, kFullInstaller), offer_full_package);
  LOG(INFO) << "Displaying error: \"" << message << "\" and "
            << (offer_full_package ? "" : "don't ") << "offer full package";
  if (settings_->uninstall() || run_immediately_)
    SetControlShown(GetDlgItem(dialog_, kBack), false);
  SetDlgItemTextW(dialog_, kMessage, base::as_wcstr(InReadingOrder(message)));
  RepaintControl(dialog_, kMessage);
  page_node_->SetString(kStatsFailureReasonKey, detail);
}

void InstallerWindow::ShowFatalError(const std::u16string& message) {
  ShowMessageBox(message, MB_OK | MB_ICONERROR);
  page_node_->SetString(kErrorDisplayedKey, base::UTF16ToUTF8(message));
  delegates_.Notify(&Delegate::OnCancelled);
}

// --- Texts and controls.

HWND InstallerWindow::GetControl(int id) const {
  HWND control = GetDlgItem(dialog_, id);
  return control ? control : GetDlgItem(options_dialog_, id);
}

void InstallerWindow::SetControlText(int id, const std::u16string& text) {
  if (!text.empty())
    SetWindowTextW(GetControl(id), base::as_wcstr(InReadingOrder(text)));
}

std::u16string InstallerWindow::InReadingOrder(
    const std::u16string& text) const {
  // Some systems' buttons and static texts draw left to right whatever
  // their reading order; embedded in a right-to-left run, a sentence that
  // mixes scripts reads right to left in every control, and the embedding
  // changes nothing where the control reads right to left already.
  if (!right_to_left_ || text.empty()) return text;
  return kRightToLeftEmbedding + text + kPopDirectionalFormatting;
}

std::u16string InstallerWindow::GetControlText(int id) const {
  HWND control = GetControl(id);
  const LRESULT selection = SendMessageW(control, CB_GETCURSEL, 0, 0);
  if (selection != CB_ERR) return GetComboEntry(control, selection);
  return GetWindowString(control);
}

void InstallerWindow::SetComboText(int id, const std::u16string& text) {
  HWND combo = GetControl(id);
  if (GetWindowString(combo) == text) return;
  // CB_FINDSTRINGEXACT ignores case; the entry must equal the text.
  const LRESULT found = SendMessageW(combo, CB_FINDSTRINGEXACT, -1,
                                     reinterpret_cast<LPARAM>(text.c_str()));
  if (found != CB_ERR && GetComboEntry(combo, found) == text) {
    SendMessageW(combo, CB_SETCURSEL, found, 0);
    return;
  }
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  SetWindowTextW(combo, base::as_wcstr(text));
}

void InstallerWindow::OnSettingChanged() { RefreshControls(); }

void InstallerWindow::OnPathChanged() { RefreshControls(); }

void InstallerWindow::OnLanguageChanged() {
  SetLayoutDirection(IsRightToLeftLanguage(*RcL10nHandler::CurrentLangId()));
  const bool uninstall = settings_->uninstall();
  if (uninstall) {
    for (const ControlText& entry : kUninstallTexts)
      SetControlText(entry.id, RcL10nHandler::GetString(entry.string_id));
  } else {
    for (const ControlText& entry : kInstallTexts)
      SetControlText(entry.id, RcL10nHandler::GetString(entry.string_id));
  }
  SetSlogan();
  SetWindowTextW(dialog_, base::as_wcstr(InReadingOrder(
                              RcL10nHandler::GetString(kIdsInstallerTitle))));
  RedrawWindow(dialog_, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  if (uninstall) return;
  FillLanguageList();
  FillInstallForList();
  FitFullInstallerButton();
}

void InstallerWindow::FillLanguageList() {
  HWND list = GetControl(kLanguageList);
  SendMessageW(list, CB_RESETCONTENT, 0, 0);
  // Each language under its own name, in the order of the names: the root
  // collation of Unicode (the invariant locale's), without regard to case,
  // so that "Čeština" stands among the C, not after the Z, and the scripts
  // follow each other as the collation orders them.
  std::vector<std::pair<std::u16string, size_t>> names;
  for (size_t i = 0; i < languages_.size(); ++i) {
    names.emplace_back(
        RcL10nHandler::GetStringForCode(languages_[i], kIdsLanguageName), i);
  }
  std::stable_sort(
      names.begin(), names.end(), [](const auto& a, const auto& b) {
        return CompareStringEx(
                   LOCALE_NAME_INVARIANT, LINGUISTIC_IGNORECASE,
                   base::as_wcstr(a.first), static_cast<int>(a.first.size()),
                   base::as_wcstr(b.first), static_cast<int>(b.first.size()),
                   nullptr, nullptr, 0) == CSTR_LESS_THAN;
      });
  int selected = 0;
  for (const auto& [name, i] : names) {
    // In a right-to-left list every name reads in its own direction:
    // "English (United States)" keeps its closing parenthesis at the end.
    const std::u16string shown =
        right_to_left_ &&
                !IsRightToLeftLanguage(RcL10nHandler::GetLangId(languages_[i]))
            ? name + kLeftToRightMark
            : name;
    const LRESULT index = SendMessageW(list, CB_ADDSTRING, 0,
                                       reinterpret_cast<LPARAM>(shown.c_str()));
    if (index == CB_ERR || index == CB_ERRSPACE) {
      LOG(ERROR) << "Adding item #" << i << "to the language dropdown failed";
      continue;
    }
    // The entry's index into the codes: the list may sort its entries.
    SendMessageW(list, CB_SETITEMDATA, index, static_cast<LPARAM>(i));
    if (languages_[i] == settings_->install_language())
      selected = static_cast<int>(index);
  }
  SendMessageW(list, CB_SETCURSEL, selected, 0);
}

void InstallerWindow::FillInstallForList() {
  HWND list = GetControl(kInstallForList);
  LRESULT selection = SendMessageW(list, CB_GETCURSEL, 0, 0);
  if (selection == CB_ERR) selection = 0;
  SendMessageW(list, CB_RESETCONTENT, 0, 0);
  std::u16string current_user = RcL10nHandler::GetString(kIdsCurrentUser);
  std::u16string user_name;
  if (GetCurrentUserName(&user_name) && !user_name.empty())
    current_user += u" (" + user_name + u")";
  for (const std::u16string& entry :
       {RcL10nHandler::GetString(kIdsAllUsers), current_user,
        RcL10nHandler::GetString(kIdsStandalone)}) {
    SendMessageW(list, CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(InReadingOrder(entry).c_str()));
  }
  SendMessageW(list, CB_SETCURSEL, selection, 0);
  if (!tooltip_) return;
  std::u16string help = base::ReplaceStringPlaceholders16(
      kInstallModeHelpFormat,
      {RcL10nHandler::GetString(kIdsHelpAllUsersCaption),
       RcL10nHandler::GetString(kIdsHelpAllUsersText),
       RcL10nHandler::GetString(kIdsHelpCurrentUserCaption),
       RcL10nHandler::GetString(kIdsHelpCurrentUserText),
       RcL10nHandler::GetString(kIdsHelpStandaloneCaption),
       RcL10nHandler::GetString(kIdsHelpStandaloneText)});
  // The help reads in the window's direction.
  TOOLINFOW tool = {sizeof(tool)};
  tool.uFlags = kInstallModeToolFlags | (right_to_left_ ? TTF_RTLREADING : 0);
  tool.hwnd = options_dialog_;
  tool.uId = reinterpret_cast<UINT_PTR>(list);
  GetClientRect(list, &tool.rect);
  tool.lpszText = reinterpret_cast<wchar_t*>(help.data());
  SendMessageW(tooltip_, TTM_SETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool));
}

void InstallerWindow::FitFullInstallerButton() {
  HWND button = GetDlgItem(dialog_, kFullInstaller);
  HWND retry = GetDlgItem(dialog_, kRetry);
  const std::u16string text = GetWindowString(button);
  HDC dc = GetDC(button);
  HGDIOBJ old_font = SelectObject(dc, small_font_.get());
  RECT text_rect = {};
  DrawTextW(dc, base::as_wcstr(text), static_cast<int>(text.size()), &text_rect,
            DT_CALCRECT | DT_SINGLELINE);
  SelectObject(dc, old_font);
  ReleaseDC(button, dc);

  RECT button_rect, retry_rect;
  GetWindowRect(button, &button_rect);
  GetWindowRect(retry, &retry_rect);
  MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&button_rect), 2);
  const int width =
      std::max<int>(text_rect.right - text_rect.left + kFullInstallerPadding,
                    retry_rect.right - retry_rect.left);
  // The right edge stays.
  SetWindowPos(button, nullptr, button_rect.right - width, button_rect.top,
               width, button_rect.bottom - button_rect.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void InstallerWindow::SetShield(int id, bool shield) {
  SendMessageW(GetControl(id), BCM_SETSHIELD, 0, shield ? TRUE : FALSE);
}

void InstallerWindow::RepaintControl(HWND parent, int id) {
  HWND control = GetDlgItem(parent, id);
  if (!control) return;
  RECT rect;
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&rect), 2);
  RedrawWindow(dialog_, &rect, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void InstallerWindow::RefreshControls() {
  const Status& status = *settings_->GetStatus();
  const bool valid = status.valid_install_path;
  const bool shield = valid && g_elevation_check(settings_->all_users(),
                                                 status.has_write_access);
  const bool shields_exist = windows_version_ >= base::win::kVersionVista;
  if (settings_->uninstall()) {
    if (shields_exist) SetShield(kUninstall, shield);
    CheckDlgButton(dialog_, kDeleteProfile,
                   settings_->delete_profile() ? BST_CHECKED : BST_UNCHECKED);
    return;
  }
  HWND install_for = GetControl(kInstallForList);
  SetControlEnabled(install_for,
                    settings_->operation() == kOperationInstalling);
  SendMessageW(install_for, CB_SETCURSEL,
               settings_->copy_only() ? 2 : (settings_->all_users() ? 0 : 1),
               0);

  const std::u16string accept = RcL10nHandler::GetString(
      status.existing_installation || status.existing_installation_traces
          ? kIdsAcceptAndUpgrade
          : kIdsAcceptAndInstall);
  SetControlText(kAccept, accept);
  terms_links_ = SetRichTextWithLinks(
      GetDlgItem(dialog_, kTermsLine),
      RcL10nHandler::GetStringWithArgs(kIdsTermsLine, accept), kTermsLinkColor);
  if (shields_exist) {
    SetShield(kAccept, shield);
    SetShield(kRetry, shield);
  }

  const bool default_browser_allowed =
      !settings_->copy_only() &&
      !(settings_->replace_tamsel() && status.tamsel_installation &&
        status.is_http_handler);
  SetControlEnabled(GetControl(kDefaultBrowser), default_browser_allowed);
  CheckDlgButton(options_dialog_, kDefaultBrowser,
                 settings_->default_browser() ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(
      options_dialog_, kImportData,
      settings_->import_browser_data() ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(
      options_dialog_, kUsageData,
      settings_->enable_velna_stats() || settings_->enable_installer_stats()
          ? BST_CHECKED
          : BST_UNCHECKED);
  RefreshPathField();

  path_valid_ = valid;
  ShowPathValidity();
  ShowWindow(GetControl(kInvalidPath), valid ? SW_HIDE : SW_SHOWNA);
  RepaintControl(options_dialog_, kInvalidPath);
}

void InstallerWindow::RefreshPathField() {
  // The field holds what the user chose until its inspection has arrived:
  // the older Status must not overwrite it.
  if (settings_->IsStatusPending()) return;
  HWND field = GetControl(kInstallPath);
  const std::u16string default_folder =
      settings_->GetDefaultInstallFolder(kFolderFromRegistry).value();
  if (SendMessageW(field, CB_GETCOUNT, 0, 0) > 0)
    SendMessageW(field, CB_DELETESTRING, 0, 0);
  SendMessageW(field, CB_INSERTSTRING, 0,
               reinterpret_cast<LPARAM>(default_folder.c_str()));
  const base::FilePath& folder = settings_->GetStatus()->install_folder;
  // The settings spell a folder without trailing separators: the field keeps
  // a separator the user has just typed, and the caret where it is.
  const std::u16string typed = GetWindowString(field);
  if (typed != folder.value() &&
      base::FilePath(typed).StripTrailingSeparators() ==
          folder.StripTrailingSeparators()) {
    return;
  }
  if (folder.value() != default_folder)
    SetComboText(kInstallPath, folder.value());
  else
    SendMessageW(field, CB_SETCURSEL, 0, 0);
}

// --- The options page.

void InstallerWindow::PrepareOptionsPage() {
  SetControlShown(GetDlgItem(options_dialog_, kDefaultBrowser),
                  windows_version_ < base::win::kVersionWin8);
  SendDlgItemMessageW(options_dialog_, kInvalidPath, WM_SETFONT,
                      reinterpret_cast<WPARAM>(bold_font_.get()), FALSE);

  RECT field, button;
  GetWindowRect(GetDlgItem(options_dialog_, kInstallPath), &field);
  HWND change = GetDlgItem(options_dialog_, kChangeFolder);
  GetWindowRect(change, &button);
  SetWindowPos(change, nullptr, 0, 0, button.right - button.left,
               field.bottom - field.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

  HWND install_for = GetDlgItem(options_dialog_, kInstallForList);
  tooltip_ = CreateWindowExW(
      0, TOOLTIPS_CLASSW, nullptr,
      WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX | TTS_USEVISUALSTYLE,
      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
      options_dialog_, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!tooltip_) {
    PLOG(ERROR) << "Could not create the install-mode tooltip";
    return;
  }
  TOOLINFOW tool = {sizeof(tool)};
  tool.uFlags = kInstallModeToolFlags;
  tool.hwnd = options_dialog_;
  tool.uId = reinterpret_cast<UINT_PTR>(install_for);
  GetClientRect(install_for, &tool.rect);
  tool.lpszText = const_cast<wchar_t*>(L"");
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, kTooltipMaxWidth);
}

void InstallerWindow::OnCheckbox(int id) {
  if (!settings_->initialized()) {
    RefreshControls();
    return;
  }
  const bool ticked =
      IsDlgButtonChecked(id == kDeleteProfile ? dialog_ : options_dialog_,
                         id) == BST_CHECKED;
  switch (id) {
    case kDefaultBrowser:
      page_node_->IncrementInteger("changed_make_default_browser");
      settings_->SetDefaultBrowser(ticked);
      break;
    case kImportData:
      page_node_->IncrementInteger("changed_import_data");
      settings_->SetImportBrowserData(ticked);
      break;
    case kUsageData:
      page_node_->IncrementInteger("changed_enable_stats");
      settings_->SetEnableVelnaStats(ticked);
      settings_->SetEnableInstallerStats(ticked);
      break;
    case kDeleteProfile:
      page_node_->IncrementInteger("changed_delete_profile");
      settings_->SetDeleteProfile(ticked);
      break;
    default:
      break;
  }
}

void InstallerWindow::OnInstallForSelected() {
  if (!settings_->initialized()) {
    RefreshControls();
    return;
  }
  switch (SendDlgItemMessageW(options_dialog_, kInstallForList, CB_GETCURSEL, 0,
                              0)) {
    case 0:
      settings_->SetMode(kModeAllUsers);
      break;
    case 1:
      settings_->SetMode(kModeCurrentUser);
      break;
    case 2:
      settings_->SetMode(kModeStandalone);
      break;
    default:
      break;
  }
}

void InstallerWindow::OnLanguageSelected() {
  if (settings_->initialized()) {
    HWND list = GetDlgItem(options_dialog_, kLanguageList);
    const LRESULT selection = SendMessageW(list, CB_GETCURSEL, 0, 0);
    const LRESULT index = SendMessageW(list, CB_GETITEMDATA, selection, 0);
    if (selection != CB_ERR && index >= 0 &&
        static_cast<size_t>(index) < languages_.size()) {
      settings_->SetInstallLanguage(languages_[index]);
    }
  }
  RefreshControls();
}

void InstallerWindow::OnPathEdited(bool typed) {
  page_node_->IncrementInteger(typed ? "edited_install_path"
                                     : "changed_install_path");
  if (!settings_->initialized()) {
    RefreshControls();
    return;
  }
  // What was typed is the edit text, even while the open list has selected
  // an entry that begins with it; a choice from the list is the entry.
  const std::u16string text = typed ? GetWindowString(GetControl(kInstallPath))
                                    : GetControlText(kInstallPath);
  settings_->SetInstallFolderFromString(text);
}

void InstallerWindow::BrowseForFolder() {
  std::u16string folder;
  if (!ShowFolderBrowser(
          dialog_,
          InReadingOrder(RcL10nHandler::GetString(kIdsBrowseForFolder)),
          GetControlText(kInstallPath), &folder)) {
    return;
  }
  SetComboText(kInstallPath, folder);
  settings_->SetInstallFolderFromString(folder);
}

}  // namespace installer
