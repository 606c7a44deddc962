// What the UI controller drives, seen as it drives it: the package fetcher,
// the installer runner and the default-preference-overrides fetcher, and
// the facts of the system it asks about (the Windows version, SSE2) and the
// shell's "open". InstallerUIParts makes them: production builds the real
// classes (CreateInstallerUIParts), tests give fakes.
//
// Everything is created and called on the UI thread.

#ifndef DESKTOP_WINDOWS_INSTALLER_UI_INSTALLER_UI_PARTS_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_UI_INSTALLER_UI_PARTS_WIN_H_

#include <memory>
#include <string>

#include "base/callback.h"
#include "base/files/file_path.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/package_fetcher/package_fetcher.h"

namespace installer {

class InstallerObserver;
class Settings;
class StatsNode;
class UICallbackRunner;

// InstallerRunner: starts the backend for the settings and reports it to
// its observers. The outcome is OnInstallerTerminated alone; the backend's
// other messages are progress.
class InstallerRunnerHandle {
 public:
  virtual ~InstallerRunnerHandle() = default;
  // Freezes |settings| (clears their initialized flag). False after
  // reporting the failure to the observers (OnError with 37057, 37058 or
  // 37055); false without a word while the settings of an earlier Start
  // are still held, that is before Stop.
  virtual bool Start(Settings* settings) = 0;
  // Interrupts a running backend and releases what Start took, the
  // settings too (which stay frozen until their owner thaws them); the
  // backend's end is still reported afterwards. Start may follow.
  virtual void Stop() = 0;
  // The package is complete; a waiting backend goes on.
  virtual void NotifyPackageReady() = 0;
  virtual void AddObserver(InstallerObserver* observer) = 0;
  virtual void RemoveObserver(InstallerObserver* observer) = 0;
};

// PrefDefaultOverridesFetcher: |done| runs exactly once.
class OverridesFetcherHandle {
 public:
  virtual ~OverridesFetcherHandle() = default;
  virtual void Fetch(const std::string& tracking_data, base::Closure done) = 0;
};

class InstallerUIParts {
 public:
  virtual ~InstallerUIParts() = default;

  // A fetcher into |download_folder| that writes its statistics under
  // |node| and reports to |delegate|; |ui_runner| shows its dialogs.
  virtual std::unique_ptr<PackageFetcherHandle> CreatePackageFetcher(
      const base::FilePath& download_folder, StatsNode* node,
      UICallbackRunner* ui_runner, PackageFetcher::Delegate* delegate) = 0;
  // A runner for the package in |package_folder|.
  virtual std::unique_ptr<InstallerRunnerHandle> CreateInstallerRunner(
      const base::FilePath& package_folder) = 0;
  // An overrides fetcher that stores into |package_folder|.
  virtual std::unique_ptr<OverridesFetcherHandle> CreateOverridesFetcher(
      const base::FilePath& package_folder, UICallbackRunner* ui_runner) = 0;

  virtual base::win::WindowsVersion GetWindowsVersion() = 0;
  virtual bool ProcessorHasSse2() = 0;
  // Opens the page |url| for the user: in the system browser when
  // |in_system_browser|, else with the shell's "open" (ShellExecuteExW),
  // shown normally. An elevated process opens it in the system browser
  // started as the desktop's user (desktop_user_start_win.h), or not at all.
  // False when nothing was started.
  virtual bool OpenPage(const std::u16string& url, bool in_system_browser) = 0;
};

// The real parts.
std::unique_ptr<InstallerUIParts> CreateInstallerUIParts();

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UI_INSTALLER_UI_PARTS_WIN_H_
