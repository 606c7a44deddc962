#include "base/base_paths.h"
#include "base/bind.h"
#include "base/cpu.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/path_service.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/common/stats_document.h"
#include "desktop/windows/installer/core/installer_callbacks.h"
#include "desktop/windows/installer/core/status.h"
#include "desktop/windows/installer/service/utils.h"
#include "desktop/windows/installer/silent_installer_controller.h"

namespace installer {

namespace {

base::Location NamedLocation(const char* name) {
  return base::Location(name, __FILE__, __LINE__, nullptr);
}

internal::SilentPackageFetcherFactory g_fetcher_factory_for_testing = nullptr;

}  // namespace

namespace internal {

void SetSilentPackageFetcherFactoryForTesting(
    SilentPackageFetcherFactory factory) {
  g_fetcher_factory_for_testing = factory;
}

}  // namespace internal

SilentInstallerController::SilentInstallerController()
    : stats_collector_(this) {}

SilentInstallerController::~SilentInstallerController() = default;

bool SilentInstallerController::Run(Settings* settings, bool inside_package,
                                    const base::FilePath& download_folder) {
  settings_ = settings;
  settings_->AddObserver(this);
  base::FilePath package_folder;
  if (inside_package) {
    VLOG(1) << "Initializing controller without fetcher.";
    base::PathService::Get(base::DIR_EXE, &package_folder);
    package_complete_ = true;
  } else {
    VLOG(1) << "Initializing controller with fetcher.";
    const internal::SilentPackageFetcherFactory factory =
        g_fetcher_factory_for_testing ? g_fetcher_factory_for_testing
                                      : &CreatePackageFetcherHandle;
    package_fetcher_ =
        factory(download_folder, stats_collector_.root_node(), this, this);
    package_fetcher_->Start();
    package_folder = GetPackageFolder(package_fetcher_->download_path());
  }
  runner_ = std::make_unique<InstallerRunner>(package_folder);
  overrides_fetcher_ =
      std::make_unique<PrefDefaultOverridesFetcher>(package_folder, this);
  runner_->AddObserver(this);

  if (!settings_->IsStatusPending()) {
    VLOG(1) << "Settings already obtained. Starting.";
    base::MessageLoop::current()->task_runner()->PostTask(
        NamedLocation("Run"),
        base::Bind(&SilentInstallerController::StartInstallation,
                   weak_factory_.GetWeakPtr()));
  }
  run_loop_.Run();

  LOG(INFO) << "Controller exiting";
  runner_->RemoveObserver(this);
  settings_->RemoveObserver(this);
  return result_;
}

void SilentInstallerController::OnPathChanged() {
  if (!settings_->autoupdate() &&
      RequiresElevation(settings_->all_users(),
                        settings_->GetStatus()->has_write_access)) {
    // Nobody can answer an elevation prompt: the default folder instead,
    // when that is another one (its inspection calls here again).
    const base::FilePath folder =
        settings_->GetDefaultInstallFolder(kFolderFromCommandLine);
    if (folder != settings_->GetStatus()->install_folder) {
      settings_->SetInstallFolder(folder);
      return;
    }
  }
  VLOG(1) << "Settings obtained. Starting.";
  StartInstallation();
}

void SilentInstallerController::StartInstallation() {
  settings_->WriteSettingStats("", stats_collector_.root_node());
  if (base::win::GetWindowsVersion() < base::win::kVersionWin7) {
    LOG(ERROR) << "This version of Velna doesn't support windows versions "
               << "prior to Windows 7";
    return Terminate();
  }
  if (!base::CPU().has_sse2()) {
    LOG(ERROR) << "SSE2 not supported by the computer";
    return Terminate();
  }
  if (package_complete_) {
    VLOG(2) << "Got tracking data from package.";
    ApplyTrackingData();
  }
  VLOG(2) << "Preparing to run the installer.";
  if (!runner_->Start(settings_)) Terminate();
}

void SilentInstallerController::ApplyTrackingData() {
  const std::string& data = tracking_data_.empty()
                                ? settings_->GetStatus()->tracking_data
                                : tracking_data_;
  stats_collector_.root_node()->SetString(kStatsTrackingDataKey, data);
  if (settings_->operation() == kOperationUninstalling) {
    OnTrackingDataActionsDone();
    return;
  }
  overrides_fetcher_->Fetch(
      data, base::Bind(&SilentInstallerController::OnTrackingDataActionsDone,
                       weak_factory_.GetWeakPtr()));
}

void SilentInstallerController::OnTrackingDataActionsDone() {
  VLOG(2) << "Tracking data actions done: package complete.";
  runner_->NotifyPackageReady();
}

void SilentInstallerController::NotifyStatusChanged(FetcherStatus status) {
  switch (status) {
    case FETCHING_DOWNLOAD_URL:
      VLOG(2) << "Package will be downloaded.";
      package_downloaded_ = true;
      return;
    case PACKAGE_READY:
      VLOG(1) << "Package fetched successfully.";
      package_complete_ = true;
      // StartInstallation applies the data once the settings are ready.
      if (settings_->IsStatusPending() || terminated_) return;
      VLOG(2) << "Got tracking data from status.";
      ApplyTrackingData();
      return;
    case INITIALIZATION_FAILED:
    case DOWNLOAD_FAILED:
    case UNPACKING_FAILED:
      VLOG(1) << "Package fetcher failed.";
      stats_collector_.root_node()->SetString(kStatsFailureReasonKey,
                                              kStatsFetcherFailure);
      Terminate();
      return;
    default:
      return;
  }
}

void SilentInstallerController::NotifyTrackingDataObtained(
    const std::string& tracking_data) {
  VLOG(2) << "Tracking data obtained.";
  tracking_data_ = tracking_data;
  stats_collector_.root_node()->SetString(kStatsTrackingDataKey, tracking_data);
}

void SilentInstallerController::RunUICallbackAndPostReply(
    const UICallback& callback,
    const base::ScopedRefPtr<base::TaskRunner>& reply_runner,
    const ReplyCallback& reply) {
  LOG(ERROR) << "Cannot display UI requested by fetcher when running silently";
  reply_runner->PostTask(NamedLocation("RunUICallbackAndPostReply"),
                         BindReplyWithResult(reply, 0));
}

void SilentInstallerController::OnError(uint32_t string_id,
                                        const std::u16string& text,
                                        const std::string& detail) {
  stats_collector_.root_node()->SetString(kStatsFailureReasonKey, detail);
  VLOG(2) << "Installer error: waiting for the installer to end";
}

void SilentInstallerController::OnStartingNewMainProcess(bool package_copied) {
  if (!package_copied || !package_fetcher_) return;
  LOG(INFO) << "The package's backend runs from a copy: removing the package";
  package_fetcher_->RemovePackage();
}

void SilentInstallerController::OnSuccess() {
  VLOG(2) << "Installer reported success: waiting for the installer to end";
}

void SilentInstallerController::OnInstallerTerminated(bool success) {
  // After a local failure ended the run the outcome stands.
  if (terminated_) {
    VLOG(2) << "Installer ended after termination";
    return;
  }
  result_ = success;
  VLOG(2) << "Installer ended. Success is " << (success ? 1 : 0)
          << ". terminating";
  // Nothing more comes from the backend: the runner read the mailslot out
  // before it reported the end, so no grace period is needed.
  base::MessageLoop::current()->PostTask(
      NamedLocation("OnInstallerTerminated"),
      base::Bind(&SilentInstallerController::Terminate,
                 weak_factory_.GetWeakPtr()));
}

void SilentInstallerController::Terminate() {
  if (terminated_) {
    VLOG(2) << "Termination already done.";
    return;
  }
  terminated_ = true;
  stats_collector_.root_node()->SetInteger(kStatsInstallationSuccessKey,
                                           result_ ? 1 : 0);
  // A successful autoupdate is not worth a report; a failed one is.
  if (settings_->enable_installer_stats() &&
      (!settings_->autoupdate() || !result_)) {
    LOG(INFO) << "Sending stats";
    stats_collector_.Send(run_loop_.QuitClosure(), package_downloaded_);
    return;
  }
  LOG(INFO) << "Not sending stats";
  run_loop_.Quit();
}

}  // namespace installer
