// InstallerUIController: the interactive front end of an installation or
// uninstallation. RunUI takes the single-instance UI lock, builds the
// package fetcher, the installer runner and the default-preference
// overrides fetcher (from InstallerUIParts), shows the installer window,
// starts fetching the package at once (so that the download runs while the
// user reads the first page) and runs a message loop until the
// installation has ended. In between it turns fetcher statuses, settings
// notifications, the window's buttons and the backend's messages into
// pages, progress, error pages and statistics, and at the end sends the
// statistics and quits its loop.
//
// Created by the entry point on the main thread, whose loop is a UI loop;
// everything runs there. The fetcher's calls arrive as posted tasks; UI
// callback requests from WinINet's threads (the statistics and overrides
// downloads) are posted to the main thread before anything is looked at.
// The settings outlive the controller.

#ifndef DESKTOP_WINDOWS_INSTALLER_UI_INSTALLER_UI_CONTROLLER_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_UI_INSTALLER_UI_CONTROLLER_WIN_H_

#include <stdint.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/callback.h"
#include "base/files/file_path.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"
#include "base/run_loop.h"
#include "base/task_runner.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/installer_observer.h"
#include "desktop/windows/installer/package_fetcher/package_fetcher.h"
#include "desktop/windows/installer/package_fetcher/ui_callback_runner.h"
#include "desktop/windows/installer/settings.h"
#include "desktop/windows/installer/stats_sender.h"
#include "desktop/windows/installer/ui/installer_ui_parts_win.h"
#include "desktop/windows/installer/ui/installer_window_win.h"

namespace installer {

// The failure reason of a window that could not be created.
inline constexpr char kWindowCreationFailure[] =
    "Could not initialize installer window";

class InstallerUIController : public Settings::Observer,
                              public InstallerWindow::Delegate,
                              public UICallbackRunner,
                              public PackageFetcher::Delegate,
                              public InstallerObserver {
 public:
  explicit InstallerUIController(std::unique_ptr<InstallerUIParts> parts);
  InstallerUIController(const InstallerUIController&) = delete;
  InstallerUIController& operator=(const InstallerUIController&) = delete;
  ~InstallerUIController() override;

  // The whole interactive run on |settings| (not owned). Without fetcher
  // the package is the folder of the running executable. True when the
  // backend ended successfully (the runner's OnInstallerTerminated; a
  // success message alone is not enough); false otherwise, also when the
  // user quit first, when another instance's window was brought forward or
  // when the window could not be created (after a message box saying so).
  bool RunUI(Settings* settings, bool without_fetcher,
             const base::FilePath& download_folder, bool run_immediately);

  // The statistics, for the tests; sent at the end of RunUI when enabled.
  StatsNode* stats_root() { return stats_.root_node(); }
  InstallerWindow* window() { return window_.get(); }

  // Settings::Observer:
  void OnSettingChanged() override;
  void OnLanguageChanged() override;
  void OnPathChanged() override;

  // InstallerWindow::Delegate:
  void OnAcceptClicked() override;
  void OnCancelled() override;
  void OnObtainFullPackage() override;

  // UICallbackRunner (any thread):
  void RunUICallbackAndPostReply(
      const UICallback& callback,
      const base::ScopedRefPtr<base::TaskRunner>& reply_runner,
      const ReplyCallback& reply) override;

  // PackageFetcher::Delegate:
  void SetTotalProgress(int total) override;
  void SetCurrentProgress(int current) override;
  void NotifyStalled() override;
  void NotifyStatusChanged(FetcherStatus status) override;
  void NotifyTrackingDataObtained(const std::string& tracking_data) override;

  // InstallerObserver:
  void OnStarted() override;
  void OnStartingNewMainProcess(bool value) override;
  void OnReturnedToPreviousMainProcess() override;
  void OnTotalSteps(uint32_t count) override;
  void OnStep() override;
  void OnError(uint32_t string_id, const std::u16string& text,
               const std::string& detail) override;
  void OnSuccess() override;
  void OnInstallerTerminated(bool success) override;

 private:
  struct InstallerError {
    uint32_t string_id;
    std::u16string text;
    std::string detail;
  };

  // The UI lock: the id of the thread that owns the installer UI (this
  // one when the lock was obtained), or 0 when that cannot be decided.
  DWORD TakeUILock(const base::FilePath& download_folder);
  void Init();
  void RecordInitialSettings();
  void HandleTrackingData();
  void OnTrackingDataHandled();
  void DoRunUICallbackAndPostReply(
      const UICallback& callback,
      const base::ScopedRefPtr<base::TaskRunner>& reply_runner,
      const ReplyCallback& reply);
  void ReportError(uint32_t string_id, const std::u16string& text,
                   const std::string& detail);
  void HandlePendingError();
  void RestartFetcher();
  int GetProgress() const;
  int GetProgressRange() const;
  void UpdateProgress();
  // The progress caption: the phase's, or that the download waits for the
  // network while the fetcher's transfer is stalled. Only once accepted.
  void ShowPhaseCaption();
  // Data flows again after NotifyStalled.
  void EndStall();
  void Terminate();
  void WindowCreationFailed();

  const std::unique_ptr<InstallerUIParts> parts_;
  const base::ScopedRefPtr<base::TaskRunner> task_runner_;
  std::unique_ptr<base::RunLoop> run_loop_;
  std::string tracking_data_;
  Settings* settings_ = nullptr;
  base::Closure pending_fetcher_callback_;
  bool accepted_ = false;
  std::unique_ptr<InstallerError> pending_error_;
  int phase_ = 0;
  const std::vector<int> phase_weights_;
  int total_ = 0;
  int current_ = 0;
  int fetcher_restarts_ = 0;
  bool run_immediately_ = false;
  bool without_fetcher_ = false;
  bool package_will_be_downloaded_ = false;
  bool error_shown_before_ = false;
  bool background_fetching_gave_up_ = false;
  bool accept_pending_ = false;
  // The fetcher's transfer failed repeatedly and is retrying.
  bool fetcher_stalled_ = false;
  bool initial_settings_recorded_ = false;
  bool success_ = false;
  bool terminated_ = false;
  bool observing_settings_ = false;
  base::win::ScopedHandle ui_lock_file_;
  StatsCollector stats_;
  std::unique_ptr<InstallerWindow> window_;
  std::unique_ptr<PackageFetcherHandle> fetcher_;
  std::unique_ptr<InstallerRunnerHandle> runner_;
  std::unique_ptr<OverridesFetcherHandle> overrides_fetcher_;

  // Made on this thread, copied on any (UI callback requests).
  base::WeakPtr<InstallerUIController> weak_this_;
  base::WeakPtrFactory<InstallerUIController> weak_factory_{this};
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UI_INSTALLER_UI_CONTROLLER_WIN_H_
