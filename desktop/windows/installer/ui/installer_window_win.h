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
#include "desktop/windows/installer/settings.h"
#include "desktop/windows/installer/stats_node.h"
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
  void OnOptionsCommand(int id, int code);
  bool OnLinkNotification(const NMHDR* header);

  // Pages and navigation.
  void ShowPage(InstallerPage page);
  void FocusPageControl(InstallerPage page);
  void RecordNavigation(const char* action);
  void NotifyAccept();
  void ConfirmCancel();
  // A message box on the main dialog whose buttons carry the current
  // language's texts.
  int ShowMessageBox(const std::u16string& text, UINT type);

  // Texts and controls.
  HWND GetControl(int id) const;
  void SetControlText(int id, const std::u16string& text);
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
  void CreateFonts();
  void SetIcons();
  void LoadTermsText();
  void SetSlogan();
  void BuildBackground(bool force);
  bool EraseBackground(HDC dc);
  HBRUSH MainControlColor(UINT message, HDC dc, HWND control);
  HBRUSH OptionsControlColor(UINT message, HDC dc, HWND control);
  // Paints the logo control |logo| into |dc|.
  void PaintLogo(HWND logo, HDC dc);
  // Shows |markup| in |rich_edit| with its anchors as links in
  // |link_color|; returns the links' ranges and targets.
  std::vector<TextLink> SetRichTextWithLinks(HWND rich_edit,
                                             const std::u16string& markup,
                                             COLORREF link_color);
  static LRESULT CALLBACK LogoSubclassProc(HWND hwnd, UINT message,
                                           WPARAM wparam, LPARAM lparam,
                                           UINT_PTR id, DWORD_PTR data);
  static LRESULT CALLBACK CaretHiderProc(HWND hwnd, UINT message, WPARAM wparam,
                                         LPARAM lparam, UINT_PTR id,
                                         DWORD_PTR data);

  Settings* const settings_;
  const bool run_immediately_;
  const base::win::WindowsVersion windows_version_;
  bool observing_settings_ = false;

  HWND dialog_ = nullptr;
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
