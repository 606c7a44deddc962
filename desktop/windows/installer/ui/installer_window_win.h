// InstallerWindow: the installer's one window, a modeless dialog (template
// 101) with pages (welcome, uninstall, terms of service, options, progress,
// error) and a child dialog (template 138) that holds the options.
//
// It shows the Settings and changes them when the user edits an option,
// reports its buttons to its delegates (the UI controller), shows progress
// and errors when the controller asks, and records the pages and the user's
// navigation in the installation statistics ("ui.page_sequence"). Dialogs,
// icon, pictures and the terms text are resources of the executable that
// started the process.
//
// Main thread only; its messages arrive through the UI loop and the dialog
// dispatcher. The window observes the settings (unless it runs
// immediately) and stops before it goes; the settings and the statistics
// outlive it.

#ifndef DESKTOP_WINDOWS_INSTALLER_UI_INSTALLER_WINDOW_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_UI_INSTALLER_WINDOW_WIN_H_

#include <windows.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/observer_list.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/common/stats_node.h"
#include "desktop/windows/installer/core/settings.h"
#include "desktop/windows/installer/ui/anchor_markup.h"
#include "desktop/windows/installer/ui/scoped_gdi_object_win.h"

namespace installer {

enum class InstallerPage : int {
  kNone = -1,
  kWelcome = 0,
  kUninstall = 1,
  kTos = 2,
  kOptions = 3,
  kProgress = 4,
  kError = 5,
};

// The colour of the terms line's link.
inline constexpr COLORREF kTermsLinkColor = RGB(104, 104, 104);
// The slogan, and the colour of its product word.
inline constexpr COLORREF kSloganColor = RGB(255, 27, 44);
inline constexpr COLORREF kSloganProductColor = RGB(0, 0, 0);

class InstallerWindow : public Settings::Observer {
 public:
  // Told of the buttons; every delegate, in the order added.
  class Delegate {
   public:
    virtual ~Delegate() = default;
    // Accept, uninstall and retry.
    virtual void OnAcceptClicked() = 0;
    // The user confirmed the quit, or a fatal error was shown.
    virtual void OnCancelled() = 0;
    // The full-installer button.
    virtual void OnObtainFullPackage() = 0;
  };

  // "WELCOME", "UNINSTALL", "TOS", "OPTIONS", "PROGRESS", "ERROR", and
  // "invalid" for any other value.
  static const char* PageName(InstallerPage page);

  // Prepares common controls and rich edit (failures are logged and
  // ignored), then builds the window on |settings| (not owned) and
  // |root_node| (copied) and shows it. |windows_version| decides the
  // elevation shields and the default-browser option. Null, with "Window
  // creation failed." in the log, when a dialog cannot be created.
  static std::unique_ptr<InstallerWindow> Create(
      Settings* settings, const StatsNode& root_node, bool run_immediately,
      base::win::WindowsVersion windows_version);

  InstallerWindow(const InstallerWindow&) = delete;
  InstallerWindow& operator=(const InstallerWindow&) = delete;
  // Stops observing the settings and destroys both dialogs.
  ~InstallerWindow() override;

  void AddDelegate(Delegate* delegate) { delegates_.AddObserver(delegate); }
  void RemoveDelegate(Delegate* delegate) {
    delegates_.RemoveObserver(delegate);
  }

  // The progress caption for the UI controller's |phase| (0 to 5).
  void ShowPhase(int phase);
  // The progress caption that says a download waits for the network.
  void ShowWaitingForNetwork();
  // The PROGRESS page, its bar counting from |position| to |range|.
  void ShowProgress(int position, int range);
  // Moves the bar forward to |position|; never back.
  void SetProgress(int position);
  // The ERROR page with |message|, offering the full installer or not;
  // |detail| goes to the page's statistics as "failure_reason".
  void ShowError(const std::u16string& message, bool offer_full_package,
                 const std::string& detail);
  // An error message box, then OnCancelled.
  void ShowFatalError(const std::u16string& message);

  HWND dialog() const { return dialog_; }
  HWND options_dialog() const { return options_dialog_; }
  InstallerPage page() const { return page_; }
  // Whether the window is mirrored for a right-to-left language.
  bool right_to_left() const { return right_to_left_; }
  // The pixels per inch the window is laid out and drawn for.
  int dpi() const { return dpi_; }
  // The label ranges and targets of the terms line's links.
  const std::vector<TextLink>& terms_links() const { return terms_links_; }

  // Settings::Observer:
  void OnSettingChanged() override;
  void OnLanguageChanged() override;
  void OnPathChanged() override;

 private:
  // One control's share of the background: the picture under its rectangle
  // and a pattern brush made of it.
  struct ControlBackgroundBrush {
    ScopedBitmap bitmap;
    ScopedBrush brush;
  };

  InstallerWindow(Settings* settings, const StatsNode& root_node,
                  bool run_immediately,
                  base::win::WindowsVersion windows_version);

  // Creates both dialogs and shows the first page; false when a dialog
  // cannot be created.
  bool Init();

  static INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message,
                                         WPARAM wparam, LPARAM lparam);
  static INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message,
                                            WPARAM wparam, LPARAM lparam);
  INT_PTR HandleMainMessage(UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR HandleOptionsMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void OnMainCommand(int id, int code);
  // Whether button |id| belongs to the page shown: a hidden button must not
  // act (a default button left over from another page, say).
  bool IsOnCurrentPage(int id) const;
  void OnOptionsCommand(int id, int code);
  bool OnLinkNotification(const NMHDR* header);

  // Pages and navigation.
  void ShowPage(InstallerPage page);
  // Focuses the page's own control, or its substitute while that one cannot
  // hold the focus.
  void FocusPageControl(InstallerPage page);
  // Whether |control| is shown and enabled.
  bool CanHoldFocus(HWND control) const;
  // The control that takes the focus when |control| cannot hold it: the one
  // before it in the Tab order that can (in a row of buttons, its
  // neighbour), else the one after it; null when none can.
  HWND FocusSubstitute(HWND control) const;
  // Moves the focus to |control|'s substitute when |control| (or a part of
  // it) holds it: a control that is disabled or hidden with the focus
  // would leave the keyboard nothing to act on.
  void MoveFocusFrom(HWND control);
  // Enable and show controls of either dialog, the focus moved first.
  void SetControlEnabled(HWND control, bool enabled);
  void SetControlShown(HWND control, bool shown);
  // Accept, back and the welcome page's invalid-path notice, by whether the
  // install path is valid and by the page shown.
  void ShowPathValidity();
  // Opens the page the terms line's link names (a click or the keyboard).
  void OpenTermsLink(size_t position);
  void RecordNavigation(const char* action);
  void NotifyAccept();
  void ConfirmCancel();
  // A message box on the main dialog whose buttons carry the current
  // language's texts.
  int ShowMessageBox(const std::u16string& text, UINT type);

  // Texts and controls.
  HWND GetControl(int id) const;
  // Sets |text| (nothing when it is empty) in the window's reading order.
  void SetControlText(int id, const std::u16string& text);
  // |text| as it reads in the window's language: embedded in a
  // right-to-left run for a right-to-left language.
  std::u16string InReadingOrder(const std::u16string& text) const;
  std::u16string GetControlText(int id) const;
  void SetComboText(int id, const std::u16string& text);
  void FillLanguageList();
  void FillInstallForList();
  void FitFullInstallerButton();
  void RefreshControls();
  void RefreshPathField();
  void SetShield(int id, bool shield);
  void RepaintControl(HWND parent, int id);

  // The options page.
  void PrepareOptionsPage();
  void OnCheckbox(int id);
  void OnInstallForSelected();
  void OnLanguageSelected();
  // |typed|: the user typed into the field, else chose from its list.
  void OnPathEdited(bool typed);
  void BrowseForFolder();

  // Appearance (installer_window_appearance_win.cc).
  void OnInitDialog();
  // The display's pixels per inch for this window.
  int QueryDpi() const;
  // Pictures and fonts for |dpi_|.
  void LoadPictures();
  void CreateFonts();
  void ApplyFonts();
  // Moves to another display's pixels per inch: |suggested| is the window
  // rectangle the system proposes there.
  void OnDpiChanged(int dpi, const RECT& suggested);
  // Mirrors the window for a right-to-left language, or back.
  void SetLayoutDirection(bool right_to_left);
  // The paragraph direction of the slogan and the terms line.
  void SetRichEditDirection(HWND rich_edit);
  void SetIcons();
  void LoadTermsText();
  void SetSlogan();
  void BuildBackground(bool force);
  bool EraseBackground(HDC dc);
  HBRUSH MainControlColor(UINT message, HDC dc, HWND control);
  HBRUSH OptionsControlColor(UINT message, HDC dc, HWND control);
  // |control|'s rectangle in the main dialog's client area as the screen
  // shows it (left to right also in a mirrored window): where the
  // background under it lies.
  RECT BackgroundRect(HWND control) const;
  // Paints the logo control |logo| into |dc|.
  void PaintLogo(HWND logo, HDC dc);
  // Paints the slogan or the terms line into |dc| over the background
  // under it.
  void PaintRichEdit(HWND rich_edit, HDC dc);
  // Shows |markup| in |rich_edit| with its anchors as links in
  // |link_color|; returns the links' ranges and targets.
  std::vector<TextLink> SetRichTextWithLinks(HWND rich_edit,
                                             const std::u16string& markup,
                                             COLORREF link_color);
  static LRESULT CALLBACK LogoSubclassProc(HWND hwnd, UINT message,
                                           WPARAM wparam, LPARAM lparam,
                                           UINT_PTR id, DWORD_PTR data);
  // The slogan and the terms line: no caret, painted over the background;
  // the terms line also takes Enter and Space for its link.
  static LRESULT CALLBACK RichEditSubclassProc(HWND hwnd, UINT message,
                                               WPARAM wparam, LPARAM lparam,
                                               UINT_PTR id, DWORD_PTR data);

  Settings* const settings_;
  const bool run_immediately_;
  const base::win::WindowsVersion windows_version_;
  bool observing_settings_ = false;

  HWND dialog_ = nullptr;
  int dpi_ = 96;
  bool right_to_left_ = false;
  // Set while a rich edit draws itself for PaintRichEdit.
  bool painting_rich_edit_ = false;
  ScopedFont small_font_;
  ScopedFont bold_font_;
  ScopedFont heading_font_;
  ScopedFont slogan_font_;
  ScopedIcon small_icon_;
  ScopedIcon big_icon_;

  std::vector<std::u16string> languages_;
  base::ObserverList<Delegate> delegates_;

  ScopedBitmap logo_;
  ScopedBitmap error_badge_;
  ScopedBitmap background_picture_;
  bool error_page_ = false;

  ScopedBitmap background_;
  HWND options_dialog_ = nullptr;
  InstallerPage page_ = InstallerPage::kNone;
  // Whether the install path of the last folder status is valid; true
  // until one has arrived.
  bool path_valid_ = true;
  // The control that had the focus when the window was last deactivated.
  HWND focus_when_inactive_ = nullptr;
  HWND tooltip_ = nullptr;
  std::unordered_map<HWND, std::unique_ptr<ControlBackgroundBrush>> brushes_;

  StatsNode root_node_;
  std::unique_ptr<StatsNode> page_node_;
  std::vector<TextLink> terms_links_;
};

namespace internal {

// Whether installing needs an elevated process (decides the elevation
// shields): RequiresElevation() unless a test installs its own; null
// restores it.
using ElevationCheck = bool (*)(bool all_users, bool has_write_access);
void SetElevationCheckForTesting(ElevationCheck check);

}  // namespace internal

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UI_INSTALLER_WINDOW_WIN_H_
