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
#include "desktop/windows/installer/common/installer_observer.h"
#include "desktop/windows/installer/common/ui_callback_runner.h"
#include "desktop/windows/installer/core/settings.h"
#include "desktop/windows/installer/core/stats_sender.h"
#include "desktop/windows/installer/package_fetcher/package_fetcher.h"
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
  // The package stays even when a copy takes over: "Try again" installs
  // from it.
  void OnStartingNewMainProcess(bool value) override;
  void OnReturnedToPreviousMainProcess() override;
  void OnTotalSteps(uint32_t count) override;
  void OnStep() override;
  void OnError(uint32_t string_id, const std::u16string& text,
               const std::string& detail) override;
  void OnSuccess() override;
  void OnInstallerTerminated(bool success) override;

 private:
  // Where the run stands; SetState alone changes it.
  enum class State {
    // Not accepted, yet or again after an error page: the settings are
    // editable, Accept (or Retry) starts the installation. The fetcher
    // works in the background and restarts itself after a failure.
    kChoosing,
    // Accept was pressed while the chosen folder was still being
    // inspected: the inspection's arrival accepts.
    kAcceptPending,
    // Accepted: the backend runs (or is being started), the progress page
    // shows. An error reported now waits in |pending_error_| until the
    // backend has ended.
    kAccepted,
    // The UI has ended (cancelled, the full installer chosen, no window)
    // without a successful backend. Nothing reacts any more.
    kEnded,
    // The UI has ended after the backend ended successfully.
    kSucceeded,
  };

  // The phases of the package's progress. The numbers are what
  // InstallerWindow::ShowPhase takes and index |phase_weights_|.
  enum class Phase {
    // The fetcher starts (again), clears its folders, asks for the URL.
    kPreparing = 0,
    kDownloading = 1,
    kExtracting = 2,
    // Its progress never moves the bar.
    kPartnerContent = 3,
    // The package is complete; its tracking data is not handled yet.
    kPackageReady = 4,
    // Tracking data handled: the backend installs.
    kInstalling = 5,
  };

  struct InstallerError {
    uint32_t string_id;
    std::u16string text;
    std::string detail;
  };

  // The UI lock: the id of the thread that owns the installer UI (this
  // one when the lock was obtained), or 0 when that cannot be decided. The
  // session's owner record decides first, then the lock file in
  // |download_folder|, which older front ends sharing the folder hold.
  DWORD TakeUILock(const base::FilePath& download_folder);
  // The lock file alone, under the UI mutex.
  DWORD TakeUILockFile(const base::FilePath& download_folder);
  void SetState(State state);
  static const char* StateName(State state);
  bool ended() const {
    return state_ == State::kEnded || state_ == State::kSucceeded;
  }
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
  // Ends the UI in |end|, kEnded or kSucceeded; once only.
  void Terminate(State end);
  // True, after a verbose log line naming |event|, once the UI has ended.
  bool IgnoredAfterEnd(const char* event) const;
  void WindowCreationFailed();

  const std::unique_ptr<InstallerUIParts> parts_;
  const base::ScopedRefPtr<base::TaskRunner> task_runner_;
  std::unique_ptr<base::RunLoop> run_loop_;
  std::string tracking_data_;
  Settings* settings_ = nullptr;
  base::Closure pending_fetcher_callback_;
  State state_ = State::kChoosing;
  std::unique_ptr<InstallerError> pending_error_;
  Phase phase_ = Phase::kPreparing;
  const std::vector<int> phase_weights_;
  int total_ = 0;
  int current_ = 0;
  int fetcher_restarts_ = 0;
  // The flags below are independent of |state_|: a choice of the command
  // line, what the fetcher did (it runs before acceptance and after), and
  // what happened once in the run.
  bool run_immediately_ = false;
  // The fetcher reported that it downloads: the full installer is offered
  // even once the package is unpacked, the statistics wait for a network.
  bool package_will_be_downloaded_ = false;
  // From the second error page on, the full installer is offered.
  bool error_shown_before_ = false;
  // The fetcher failed and does not retry by itself (after its third
  // restart, or after a failure shown to the user): the next start of a
  // backend before the package is ready restarts it.
  bool background_fetching_gave_up_ = false;
  // The fetcher's transfer failed repeatedly and is retrying.
  bool fetcher_stalled_ = false;
  bool initial_settings_recorded_ = false;
  // Held for the whole run once the UI lock is obtained.
  base::win::ScopedHandle ui_lock_file_;
  base::win::ScopedHandle ui_owner_record_;
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
