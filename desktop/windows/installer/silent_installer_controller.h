// SilentInstallerController: the front end that shows no window (switch
// "silent"). It obtains the package (through a package fetcher, or from its
// own folder when it already runs from inside an unpacked package), passes
// the tracking data on to the default-preference overrides, waits until the
// Settings know their install folder, starts the backend through an
// InstallerRunner, and ends with one result once everything has ended; the
// installer statistics go out at the end.
//
// The result is the backend's exit status alone (OnInstallerTerminated):
// the backends' messages are progress, and a success message, written by
// whichever process, decides nothing. A failure before the backend runs
// (unsupported system, no SSE2, a fetcher failure, a runner that cannot
// start) ends the run at once with false.
//
// Created, run and destroyed on the entry point's main thread, which has a
// default message loop; Run() spins it until the end.

#ifndef DESKTOP_WINDOWS_INSTALLER_SILENT_INSTALLER_CONTROLLER_H_
#define DESKTOP_WINDOWS_INSTALLER_SILENT_INSTALLER_CONTROLLER_H_

#include <stdint.h>

#include <memory>
#include <string>

#include "base/files/file_path.h"
#include "base/memory/weak_ptr.h"
#include "base/run_loop.h"
#include "desktop/windows/installer/common/installer_observer.h"
#include "desktop/windows/installer/common/ui_callback_runner.h"
#include "desktop/windows/installer/core/installer_runner.h"
#include "desktop/windows/installer/core/pref_default_overrides_fetcher.h"
#include "desktop/windows/installer/core/settings.h"
#include "desktop/windows/installer/core/stats_sender.h"
#include "desktop/windows/installer/package_fetcher/package_fetcher.h"

namespace installer {

namespace internal {

// Makes the fetchers of later runs, with PackageFetcher's constructor
// arguments, so that tests can put a package in place of a download. Null
// restores the real PackageFetcher. Main thread, before Run().
using SilentPackageFetcherFactory = std::unique_ptr<PackageFetcherHandle> (*)(
    const base::FilePath& download_folder, StatsNode* node,
    UICallbackRunner* ui_runner, PackageFetcher::Delegate* delegate);
void SetSilentPackageFetcherFactoryForTesting(
    SilentPackageFetcherFactory factory);

}  // namespace internal

class SilentInstallerController : public Settings::Observer,
                                  public UICallbackRunner,
                                  public PackageFetcher::Delegate,
                                  public InstallerObserver {
 public:
  SilentInstallerController();
  SilentInstallerController(const SilentInstallerController&) = delete;
  SilentInstallerController& operator=(const SilentInstallerController&) =
      delete;
  // Destroys the overrides fetcher, the runner (which interrupts a backend
  // still running), the package fetcher and the statistics, in that order.
  ~SilentInstallerController() override;

  // Runs the whole silent installation of |settings| (not owned). With
  // |inside_package| the package is the running executable's folder;
  // otherwise it is fetched into |download_folder|. Call once.
  bool Run(Settings* settings, bool inside_package,
           const base::FilePath& download_folder);

  // Settings::Observer: the install folder's inspection has arrived.
  void OnSettingChanged() override {}
  void OnLanguageChanged() override {}
  void OnPathChanged() override;

  // UICallbackRunner: nothing is shown; the reply is 0 (declined).
  void RunUICallbackAndPostReply(
      const UICallback& callback,
      const base::ScopedRefPtr<base::TaskRunner>& reply_runner,
      const ReplyCallback& reply) override;

  // PackageFetcher::Delegate.
  void SetTotalProgress(int total) override {}
  void SetCurrentProgress(int current) override {}
  void NotifyStalled() override {}
  void NotifyStatusChanged(FetcherStatus status) override;
  void NotifyTrackingDataObtained(const std::string& tracking_data) override;

  // InstallerObserver: errors are recorded for the statistics; the end
  // decides.
  void OnStarted() override {}
  // With a protected copy taking over, the fetched package goes at once,
  // while the installation goes on: a silent run is never retried.
  void OnStartingNewMainProcess(bool package_copied) override;
  void OnReturnedToPreviousMainProcess() override {}
  void OnTotalSteps(uint32_t count) override {}
  void OnStep() override {}
  void OnError(uint32_t string_id, const std::u16string& text,
               const std::string& detail) override;
  void OnSuccess() override;
  void OnInstallerTerminated(bool success) override;

 private:
  void StartInstallation();
  // Passes the tracking data to the overrides fetcher, which then lets the
  // backend have the package.
  void ApplyTrackingData();
  void OnTrackingDataActionsDone();
  // Once: records the result, sends the statistics (or not) and quits.
  void Terminate();

  base::RunLoop run_loop_;
  bool result_ = false;
  bool terminated_ = false;
  bool package_downloaded_ = false;
  bool package_complete_ = false;
  std::string tracking_data_;
  Settings* settings_ = nullptr;
  StatsCollector stats_collector_;
  std::unique_ptr<PackageFetcherHandle> package_fetcher_;
  std::unique_ptr<InstallerRunner> runner_;
  std::unique_ptr<PrefDefaultOverridesFetcher> overrides_fetcher_;
  base::WeakPtrFactory<SilentInstallerController> weak_factory_{this};
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SILENT_INSTALLER_CONTROLLER_H_
