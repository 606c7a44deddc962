// A fixture for tests of the installer window: real Settings on a folder
// of the test's own (with a UI message loop), a statistics document, and
// the window with a delegate that counts its notifications.

#ifndef DESKTOP_WINDOWS_INSTALLER_UI_TEST_INSTALLER_WINDOW_TEST_BASE_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_UI_TEST_INSTALLER_WINDOW_TEST_BASE_WIN_H_

#include <windows.h>

#include <memory>
#include <string>

#include "base/at_exit.h"
#include "base/memory/ref_counted.h"
#include "base/values.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/common/stats_document.h"
#include "desktop/windows/installer/test/settings_fixture.h"
#include "desktop/windows/installer/ui/installer_window_win.h"

namespace installer {
namespace test {

class CountingWindowDelegate : public InstallerWindow::Delegate {
 public:
  int accepted = 0;
  int cancelled = 0;
  int full_package = 0;
  // Runs at OnCancelled (the UI controller destroys the window there).
  std::function<void()> on_cancelled;

  void OnAcceptClicked() override { ++accepted; }
  void OnCancelled() override {
    ++cancelled;
    if (on_cancelled) on_cancelled();
  }
  void OnObtainFullPackage() override { ++full_package; }
};

// Real Settings on a folder of the test's own, with a UI loop.
class UITestBase : public SettingsTestBase {
 protected:
  UITestBase();
  ~UITestBase() override;

  // The install folder the settings start with: "Velna" in the test's
  // folder.
  base::FilePath InstallFolder() const;
  // Settings from |arguments| plus the install folder and, unless
  // |arguments| names one or |system_language| is set, the language
  // "en-US", once their first inspection has arrived.
  std::unique_ptr<Settings> MakeInstallSettings(const std::u16string& arguments,
                                                bool system_language = false);
  // Waits for the inspection that a folder change started.
  static bool WaitForStatus(Settings* settings);

 private:
  base::AtExitManager at_exit_;
};

class InstallerWindowTestBase : public UITestBase {
 protected:
  InstallerWindowTestBase();
  ~InstallerWindowTestBase() override;

  // Settings as MakeInstallSettings makes them, then the window on them.
  void Open(const std::u16string& arguments = std::u16string(),
            bool run_immediately = false,
            base::win::WindowsVersion version = base::win::kVersionWin10);
  // Destroys the window (and keeps the settings).
  void Close();
  // Opens the window in |language| and shows |page| as the user or the UI
  // controller reaches it; for UNINSTALL, the window of an uninstallation.
  // The delegate's counts start again from 0.
  void OpenOn(InstallerPage page, const std::u16string& language = u"en-US",
              base::win::WindowsVersion version = base::win::kVersionWin10);
  // Shows |page| on the open window: the terms through their link, the
  // options through their button, progress and an error (offering the full
  // installer) as the controller shows them.
  void GoTo(InstallerPage page);

  // A control of the main dialog, else of the options dialog.
  HWND Control(int id) const;
  // The focused control, with the window active again first (the dialog
  // gives the focus back to the control that had it).
  HWND FocusInWindow();
  bool Shown(int id) const { return IsWindowVisible(Control(id)) != FALSE; }
  // Presses a button as a user does (BM_CLICK).
  void Click(int id);
  // The page sequence of the statistics.
  const base::ListValue* Pages();
  std::unique_ptr<base::DictionaryValue> Stats() const;

  // Waits for the inspection that a folder change started.
  bool WaitForStatus();

  std::unique_ptr<Settings> settings_;
  base::ScopedRefPtr<StatsDocument> document_;
  std::unique_ptr<InstallerWindow> window_;
  CountingWindowDelegate delegate_;

 private:
  std::unique_ptr<base::DictionaryValue> snapshot_;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UI_TEST_INSTALLER_WINDOW_TEST_BASE_WIN_H_
