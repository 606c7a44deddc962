#include "desktop/windows/installer/ui/installer_ui_controller_win.h"

#include <string.h>

#include <algorithm>
#include <iterator>
#include <utility>

#include "base/base_paths.h"
#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/path_service.h"
#include "base/strings/string_util_win.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/time/time.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/common/stats_document.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/core/installer_callbacks.h"
#include "desktop/windows/installer/core/status.h"
#include "desktop/windows/installer/service/installation_info.h"
#include "desktop/windows/installer/ui/message_box_win.h"
#include "desktop/windows/installer/ui/win32_dialog_dispatcher_win.h"
#include "desktop/windows/rc_l10n_handler/rc_l10n_handler.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"

namespace installer {

namespace {

// What each phase weighs in the overall progress, in phase order.
constexpr int kPhaseWeights[] = {1, 1000, 200, 1, 1, 100};

constexpr int kMaxFetcherRestarts = 3;
constexpr int kPendingErrorDelayMs = 100;

constexpr char16_t kUILockFileName[] = u"installer.lck";
constexpr wchar_t kUILockFormat[] = L"Local\\%ls/Installer/UI_lock";
// The UI's owner for every front end of the session, whatever its download
// folder: an elevated one downloads into a folder of its own, where no
// other would find its lock file.
constexpr wchar_t kUIOwnerFormat[] = L"Local\\%ls/Installer/UI_owner";
constexpr char kFullPackageUrlName[] = "download_full_windows";
constexpr char kFullPackageQueryFormat[] = "&product=%s%%20%s";
constexpr char16_t kHttpProtocol[] = u"http";

constexpr char kUnreportedInstallerError[] = "Unreported installer error.";
constexpr char kUnreportedUninstallerError[] = "Unreported uninstaller error.";
constexpr char kUnsupportedWindows[] =
    "This version of Velna doesn't support windows versions prior to "
    "Windows 7";

// Statistics keys.
constexpr char kInitialSettingsPrefix[] = "ui.initial_";
constexpr char kRunImmediatelyKey[] = "run_immediately";

base::Location NamedLocation(const char* name) {
  return base::Location(name, __FILE__, __LINE__, base::GetProgramCounter());
}

// The thread id in the owner record |record|; 0 when it cannot be read.
DWORD ReadUIOwner(HANDLE record) {
  const void* view = MapViewOfFile(record, FILE_MAP_READ, 0, 0, sizeof(DWORD));
  if (!view) return 0;
  DWORD owner = 0;
  memcpy(&owner, view, sizeof(owner));
  UnmapViewOfFile(view);
  return owner;
}

bool WriteUIOwner(HANDLE record, DWORD owner) {
  void* view = MapViewOfFile(record, FILE_MAP_WRITE, 0, 0, sizeof(DWORD));
  if (!view) return false;
  memcpy(view, &owner, sizeof(owner));
  UnmapViewOfFile(view);
  return true;
}

// Brings the first enabled and visible top-level window of a thread to the
// foreground.
BOOL CALLBACK BringForward(HWND window, LPARAM) {
  if (!IsWindowEnabled(window) || !IsWindowVisible(window)) return TRUE;
  SetForegroundWindow(window);
  return FALSE;
}

}  // namespace

InstallerUIController::InstallerUIController(
    std::unique_ptr<InstallerUIParts> parts)
    : parts_(std::move(parts)),
      task_runner_(base::MessageLoop::current()->task_runner()),
      phase_weights_(std::begin(kPhaseWeights), std::end(kPhaseWeights)),
      stats_(this) {
  weak_this_ = weak_factory_.GetWeakPtr();
}

// The settings' observer list takes an observer once and ignores the
// removal of an absent one: no flag mirrors it. An ended run let go of the
// settings already, and they may be gone since.
InstallerUIController::~InstallerUIController() {
  if (settings_ && !ended()) settings_->RemoveObserver(this);
  if (window_) window_->RemoveDelegate(this);
  if (runner_) runner_->RemoveObserver(this);
}

bool InstallerUIController::RunUI(Settings* settings, bool without_fetcher,
                                  const base::FilePath& download_folder,
                                  bool run_immediately) {
  const DWORD owner = TakeUILock(download_folder);
  if (owner != 0 && owner != GetCurrentThreadId()) {
    LOG(INFO) << "Another instance of the installer UI is running. "
                 "Switching to it";
    EnumThreadWindows(owner, &BringForward, 0);
    return false;
  }
  settings_ = settings;
  run_immediately_ = run_immediately;

  base::FilePath package_folder;
  if (without_fetcher) {
    LOG(INFO) << "Initializing controller without fetcher.";
    phase_ = Phase::kPackageReady;
    base::PathService::Get(base::DIR_EXE, &package_folder);
  } else {
    LOG(INFO) << "Initializing controller with fetcher.";
    fetcher_ = parts_->CreatePackageFetcher(download_folder, stats_.root_node(),
                                            this, this);
    package_folder = fetcher_->download_path().RemoveExtension();
  }
  runner_ = parts_->CreateInstallerRunner(package_folder);
  overrides_fetcher_ = parts_->CreateOverridesFetcher(package_folder, this);

  run_loop_ =
      std::make_unique<base::RunLoop>(Win32DialogDispatcher::GetInstance());
  task_runner_->PostTask(NamedLocation("RunUI"),
                         BindMemberFunction(&InstallerUIController::Init,
                                            weak_factory_.GetWeakPtr()));
  run_loop_->Run();
  LOG(INFO) << "Controller exiting";
  return state_ == State::kSucceeded;
}

// Every change of state passes here.
void InstallerUIController::SetState(State state) {
  if (state == state_) return;
  VLOG(1) << "UI state: " << StateName(state_) << " -> " << StateName(state);
  state_ = state;
}

// static
const char* InstallerUIController::StateName(State state) {
  switch (state) {
    case State::kChoosing:
      return "choosing";
    case State::kAcceptPending:
      return "accept pending";
    case State::kAccepted:
      return "accepted";
    case State::kEnded:
      return "ended";
    case State::kSucceeded:
      return "succeeded";
  }
  return "?";
}

DWORD InstallerUIController::TakeUILock(const base::FilePath& download_folder) {
  LOG(INFO) << "Getting installer UI mutex";
  const std::u16string product =
      base::UTF8ToUTF16(VersionInfo::GetProductName());
  wchar_t name[MAX_PATH] = {};
  swprintf(name, MAX_PATH, kUILockFormat, base::as_wcstr(product));
  base::win::ScopedHandle mutex(CreateMutexW(nullptr, FALSE, name));
  if (!mutex.IsValid()) {
    PLOG(ERROR) << "Failed to create installer UI mutex.";
    return 0;
  }
  WaitForSingleObject(mutex.Get(), INFINITE);

  DWORD owner = 0;
  swprintf(name, MAX_PATH, kUIOwnerFormat, base::as_wcstr(product));
  const HANDLE created = CreateFileMappingW(
      INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(DWORD), name);
  const bool existed = created && GetLastError() == ERROR_ALREADY_EXISTS;
  base::win::ScopedHandle record(created);
  if (existed) {
    LOG(INFO) << "Didn't obtain installer UI lock";
    owner = ReadUIOwner(record.Get());
  } else {
    owner = TakeUILockFile(download_folder);
    // Where the record cannot be made (another account's has the name),
    // the file decides alone, as between older front ends.
    if (owner == GetCurrentThreadId() && record.IsValid() &&
        WriteUIOwner(record.Get(), owner)) {
      ui_owner_record_ = std::move(record);
    }
  }
  ReleaseMutex(mutex.Get());
  return owner;
}

DWORD InstallerUIController::TakeUILockFile(
    const base::FilePath& download_folder) {
  DWORD owner = 0;
  const base::FilePath lock_path = download_folder.Append(kUILockFileName);
  ui_lock_file_.Set(
      CreateFileW(base::as_wcstr(lock_path.value()), GENERIC_WRITE,
                  FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (ui_lock_file_.IsValid()) {
    owner = GetCurrentThreadId();
    DWORD written = 0;
    WriteFile(ui_lock_file_.Get(), &owner, sizeof(owner), &written, nullptr);
    LOG(INFO) << "Obtained installer UI lock";
  } else {
    LOG(INFO) << "Didn't obtain installer UI lock";
    base::win::ScopedHandle existing(
        CreateFileW(base::as_wcstr(lock_path.value()), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD read = 0;
    if (!existing.IsValid() ||
        !ReadFile(existing.Get(), &owner, sizeof(owner), &read, nullptr) ||
        read != sizeof(owner)) {
      LOG(ERROR) << "Existing installer UI lock file is invalid";
      owner = 0;
    }
  }
  return owner;
}

void InstallerUIController::Init() {
  LOG(INFO) << "Initializing installer UI";
  settings_->AddObserver(this);
  runner_->AddObserver(this);

  window_ =
      InstallerWindow::Create(settings_, *stats_.root_node(), run_immediately_,
                              parts_->GetWindowsVersion());
  if (!window_) {
    WindowCreationFailed();
    return;
  }
  window_->AddDelegate(this);
  window_->ShowPhase(static_cast<int>(phase_));

  if (!parts_->ProcessorHasSse2()) {
    LOG(ERROR) << "SSE2 not supported by the computer";
    // The window reports OnCancelled, which ends the run.
    window_->ShowFatalError(RcL10nHandler::GetString(kIdsNoSse2));
    return;
  }
  if (fetcher_) {
    LOG(INFO) << "Starting the package fetcher";
    fetcher_->Start();
  }
  const bool status_known = !settings_->IsStatusPending();
  if (status_known) RecordInitialSettings();
  stats_.root_node()->SetInteger(kRunImmediatelyKey, run_immediately_);
  if (run_immediately_ && status_known) {
    LOG(INFO) << "runimmediately set and status already fetched.";
    task_runner_->PostTask(
        NamedLocation("Init"),
        BindMemberFunction(&InstallerUIController::OnAcceptClicked,
                           weak_factory_.GetWeakPtr()));
  }
}

// Nothing ends the run loop when the window cannot be made: say so to the
// user and end the run as failed instead of waiting for ever.
void InstallerUIController::WindowCreationFailed() {
  OnError(kIdsInstallError, std::u16string(), kWindowCreationFailure);
  LOG(ERROR) << kWindowCreationFailure;
  const UINT reading = IsRightToLeftLanguage(*RcL10nHandler::CurrentLangId())
                           ? MB_RTLREADING | MB_RIGHT
                           : 0;
  ShowLocalizedMessageBox(nullptr, RcL10nHandler::GetString(kIdsInstallError),
                          RcL10nHandler::GetString(kIdsInstallerTitle),
                          MB_OK | MB_ICONERROR | reading);
  Terminate(State::kEnded);
}

void InstallerUIController::RecordInitialSettings() {
  initial_settings_recorded_ = true;
  settings_->WriteSettingStats(kInitialSettingsPrefix, stats_.root_node());
}

void InstallerUIController::OnSettingChanged() {}

void InstallerUIController::OnLanguageChanged() {}

void InstallerUIController::OnPathChanged() {
  if (IgnoredAfterEnd("a new folder status")) return;
  LOG(INFO) << "New status obtained";
  if (phase_ == Phase::kInstalling && tracking_data_.empty()) {
    // The new folder's tracking data must be handled again.
    LOG(INFO) << "Need to handle tracking data from new path";
    phase_ = Phase::kPackageReady;
  }
  if (run_immediately_ || state_ == State::kAcceptPending) {
    LOG(INFO) << "runimmediately set or Accept already clicked";
    if (state_ == State::kAcceptPending) SetState(State::kChoosing);
    task_runner_->PostTask(
        NamedLocation("OnPathChanged"),
        BindMemberFunction(&InstallerUIController::OnAcceptClicked,
                           weak_factory_.GetWeakPtr()));
  }
  if (!initial_settings_recorded_) RecordInitialSettings();
}

void InstallerUIController::OnAcceptClicked() {
  LOG(INFO) << "Accept clicked.";
  if (IgnoredAfterEnd("Accept")) return;
  if (state_ == State::kAccepted) {
    LOG(INFO) << "Installation already in progress.";
    return;
  }
  if (settings_->IsStatusPending()) {
    LOG(INFO) << "Still waiting for status";
    SetState(State::kAcceptPending);
    return;
  }
  if (phase_ == Phase::kPackageReady) {
    LOG(INFO) << "Tracking data is ready for handling";
    HandleTrackingData();
  }
  settings_->RemoveObserver(this);
  settings_->WriteSettingStats(std::string(), stats_.root_node());

  if (parts_->GetWindowsVersion() < base::win::kVersionWin7) {
    window_->ShowError(RcL10nHandler::GetStringWithArgs(
                           kIdsUnsupportedWindows,
                           RcL10nHandler::GetString(kIdsGetFullInstaller)),
                       true, kUnsupportedWindows);
    return;
  }

  SetState(State::kAccepted);
  if (pending_error_) {
    LOG(INFO) << "An error is pending. Show it first.";
    HandlePendingError();
    return;
  }
  if (!runner_->Start(settings_)) {
    LOG(INFO) << "Failed to run the backend. Show whatever error was "
                 "reported";
    HandlePendingError();
    return;
  }
  if (!pending_fetcher_callback_.is_null()) {
    LOG(INFO) << "Running pending fetcher callback.";
    base::Closure callback = std::move(pending_fetcher_callback_);
    pending_fetcher_callback_ = base::Closure();
    callback.Run();
  }
  // Only while the package is not ready: a new run of the fetcher deletes
  // the package folder first, which a backend may be installing from.
  if (background_fetching_gave_up_ && phase_ < Phase::kPackageReady) {
    LOG(INFO) << "Restarting fetching after background tries failed.";
    background_fetching_gave_up_ = false;
    phase_ = Phase::kPreparing;
    fetcher_->Start();
  }
  window_->ShowProgress(GetProgress(), GetProgressRange());
  ShowPhaseCaption();
}

void InstallerUIController::HandleTrackingData() {
  const std::string& data = tracking_data_.empty()
                                ? settings_->GetStatus()->tracking_data
                                : tracking_data_;
  stats_.root_node()->SetString(kStatsTrackingDataKey, data);
  if (settings_->uninstall()) {
    OnTrackingDataHandled();
    return;
  }
  overrides_fetcher_->Fetch(
      data, base::Bind(&InstallerUIController::OnTrackingDataHandled,
                       weak_factory_.GetWeakPtr()));
}

void InstallerUIController::OnTrackingDataHandled() {
  if (IgnoredAfterEnd("the end of the tracking data actions")) return;
  LOG(INFO) << "Tracking data actions done: package complete.";
  phase_ = Phase::kInstalling;
  runner_->NotifyPackageReady();
  if (window_ && state_ == State::kAccepted) {
    LOG(INFO) << "Notifying installation phase change.";
    ShowPhaseCaption();
  }
}

void InstallerUIController::OnCancelled() {
  stats_.root_node()->SetInteger(kStatsInstallationCancelledKey, 1);
  Terminate(State::kEnded);
}

void InstallerUIController::OnObtainFullPackage() {
  LOG(INFO) << "Obtaining full package";
  const std::u16string url = base::UTF8ToUTF16(
      BrandingConfig::GetUrl(kFullPackageUrlName) +
      base::StringPrintf(kFullPackageQueryFormat,
                         VersionInfo::GetProductName().c_str(),
                         VersionInfo::GetStream().c_str()));
  InstallationInfo info(settings_->GetStatus()->install_folder);
  if (info.IsHandlerCommandOurs(kHttpProtocol, true) ||
      info.IsHandlerCommandOurs(kHttpProtocol, false)) {
    LOG(INFO) << "Downloading full package with IE";
    parts_->OpenPage(url, true);
  } else {
    LOG(INFO) << "Downloading full package with default browser";
    parts_->OpenPage(url, false);
  }
  stats_.root_node()->SetInteger(kStatsInstallationCancelledKey, 2);
  Terminate(State::kEnded);
}

void InstallerUIController::RunUICallbackAndPostReply(
    const UICallback& callback,
    const base::ScopedRefPtr<base::TaskRunner>& reply_runner,
    const ReplyCallback& reply) {
  // The downloads of the statistics and the overrides ask from WinINet's
  // threads: nothing is looked at before the request is on this thread.
  if (!task_runner_->RunsTasksOnCurrentThread()) {
    task_runner_->PostTask(
        NamedLocation("RunUICallbackAndPostReply"),
        base::Bind(&InstallerUIController::RunUICallbackAndPostReply,
                   weak_this_, callback, reply_runner, reply));
    return;
  }
  LOG(INFO) << "Obtained UI callback request from fetcher";
  if (ended()) {
    LOG(INFO) << "UI has been terminated already.";
    reply_runner->PostTask(NamedLocation("RunUICallbackAndPostReply"),
                           BindReplyWithResult(reply, ERROR_CANCELLED));
    return;
  }
  if (state_ == State::kAccepted && !pending_error_) {
    LOG(INFO) << "Run the callback at once.";
    DoRunUICallbackAndPostReply(callback, reply_runner, reply);
    return;
  }
  LOG(INFO) << "Store callback information for later.";
  pending_fetcher_callback_ =
      base::Bind(&InstallerUIController::DoRunUICallbackAndPostReply,
                 weak_factory_.GetWeakPtr(), callback, reply_runner, reply);
}

void InstallerUIController::DoRunUICallbackAndPostReply(
    const UICallback& callback,
    const base::ScopedRefPtr<base::TaskRunner>& reply_runner,
    const ReplyCallback& reply) {
  const int result = callback.Run(window_ ? window_->dialog() : nullptr);
  reply_runner->PostTask(NamedLocation("DoRunUICallbackAndPostReply"),
                         BindReplyWithResult(reply, result));
}

// --- Progress.

void InstallerUIController::SetTotalProgress(int total) {
  if (IgnoredAfterEnd("the fetcher's progress")) return;
  EndStall();
  current_ = 0;
  // Partner content never moves the bar.
  total_ = phase_ == Phase::kPartnerContent ? 0 : total;
}

void InstallerUIController::SetCurrentProgress(int current) {
  if (IgnoredAfterEnd("the fetcher's progress")) return;
  EndStall();
  if (total_ == 0) return;
  current_ = current;
  UpdateProgress();
}

// The downloader keeps retrying (every few seconds, for up to an hour
// without network); the progress page says what it waits for until data
// flows again.
void InstallerUIController::NotifyStalled() {
  if (IgnoredAfterEnd("the fetcher's stall")) return;
  if (fetcher_stalled_) return;
  LOG(INFO) << "Download stalled: waiting for the network";
  fetcher_stalled_ = true;
  ShowPhaseCaption();
}

void InstallerUIController::EndStall() {
  if (!fetcher_stalled_) return;
  LOG(INFO) << "Download resumed";
  fetcher_stalled_ = false;
  ShowPhaseCaption();
}

int InstallerUIController::GetProgress() const {
  int progress = 0;
  const int current_phase = static_cast<int>(phase_);
  for (int phase = 0; phase < current_phase; ++phase)
    progress += phase_weights_[phase];
  const float fraction =
      total_ == 0 ? 0.0f
                  : static_cast<float>(current_) / static_cast<float>(total_);
  return progress + static_cast<int>(phase_weights_[current_phase] * fraction);
}

int InstallerUIController::GetProgressRange() const {
  int range = 0;
  for (int weight : phase_weights_) range += weight;
  return std::max(range, 1);
}

void InstallerUIController::UpdateProgress() {
  VLOG(1) << "Updating installation progress";
  if (state_ == State::kAccepted && window_)
    window_->SetProgress(GetProgress());
}

// --- The fetcher.

void InstallerUIController::NotifyStatusChanged(FetcherStatus status) {
  if (IgnoredAfterEnd("the fetcher's status")) return;
  // A new status means the transfer that stalled moved on or ended.
  fetcher_stalled_ = false;
  switch (status) {
    case FETCHING_DOWNLOAD_URL:
      LOG(INFO) << "Package will be downloaded.";
      phase_ = Phase::kPreparing;
      package_will_be_downloaded_ = true;
      break;
    case DOWNLOADING:
      phase_ = Phase::kDownloading;
      break;
    case EXTRACTING:
      phase_ = Phase::kExtracting;
      break;
    case FETCHING_PARTNER_CONTENT:
      phase_ = Phase::kPartnerContent;
      break;
    case PACKAGE_READY:
      LOG(INFO) << "Package fetched successfully.";
      phase_ = Phase::kPackageReady;
      if (state_ == State::kAccepted) {
        LOG(INFO) << "Got tracking data from status.";
        HandleTrackingData();
      }
      break;
    case INITIALIZATION_FAILED:
    case DOWNLOAD_FAILED:
    case UNPACKING_FAILED:
      LOG(INFO) << "Package fetcher failed.";
      if (state_ == State::kAccepted) {
        LOG(INFO) << "Reporting fetcher error.";
        stats_.root_node()->SetString(kStatsFailureReasonKey,
                                      kStatsFetcherFailure);
        ReportError(status == UNPACKING_FAILED ? kIdsPackageCorrupted
                                               : kIdsDownloadFailed,
                    std::u16string(), kStatsFetcherFailure);
        background_fetching_gave_up_ = true;
      } else {
        LOG(INFO) << "Installation hasn't started yet";
        RestartFetcher();
      }
      break;
    default:
      break;
  }
  ShowPhaseCaption();
}

void InstallerUIController::ShowPhaseCaption() {
  if (!window_ || state_ != State::kAccepted) return;
  if (fetcher_stalled_ && phase_ < Phase::kPackageReady)
    window_->ShowWaitingForNetwork();
  else
    window_->ShowPhase(static_cast<int>(phase_));
}

void InstallerUIController::RestartFetcher() {
  if (fetcher_restarts_ < kMaxFetcherRestarts) {
    ++fetcher_restarts_;
    LOG(INFO) << "Restarting package fetching, " << fetcher_restarts_ << " of "
              << kMaxFetcherRestarts;
    phase_ = Phase::kPreparing;
    fetcher_->Start();
    return;
  }
  LOG(INFO) << "Exceeded maximum number of fetcher retries, we won't retry "
               "until user decides to.";
  background_fetching_gave_up_ = true;
}

void InstallerUIController::NotifyTrackingDataObtained(
    const std::string& tracking_data) {
  if (IgnoredAfterEnd("the fetcher's tracking data")) return;
  LOG(INFO) << "Tracking data obtained.";
  tracking_data_ = tracking_data;
  stats_.root_node()->SetString(kStatsTrackingDataKey, tracking_data);
}

// --- The backend.

void InstallerUIController::OnStarted() {}

void InstallerUIController::OnStartingNewMainProcess(bool value) {}

void InstallerUIController::OnReturnedToPreviousMainProcess() {}

void InstallerUIController::OnTotalSteps(uint32_t count) {
  if (IgnoredAfterEnd("the backend's step count")) return;
  total_ = static_cast<int>(count);
  current_ = 1;
}

void InstallerUIController::OnStep() {
  if (IgnoredAfterEnd("the backend's step")) return;
  ++current_;
  UpdateProgress();
}

void InstallerUIController::OnError(uint32_t string_id,
                                    const std::u16string& text,
                                    const std::string& detail) {
  if (IgnoredAfterEnd("the backend's error")) return;
  stats_.root_node()->SetString(kStatsFailureReasonKey, detail);
  ReportError(string_id, text, detail);
}

void InstallerUIController::ReportError(uint32_t string_id,
                                        const std::u16string& text,
                                        const std::string& detail) {
  LOG(INFO) << "Reporting error " << string_id;
  pending_error_ =
      std::make_unique<InstallerError>(InstallerError{string_id, text, detail});
  runner_->Stop();
}

// Progress only: anyone may write into the mailslot, and a backend that
// says so may still fail. A run that ends before the backend's end (the
// user quits) has not succeeded.
void InstallerUIController::OnSuccess() {
  LOG(INFO) << "Installer success reported";
}

void InstallerUIController::OnInstallerTerminated(bool success) {
  LOG(INFO) << "Installer termination reported";
  if (ended()) {
    LOG(INFO) << "UI already terminated";
    return;
  }
  if (success) {
    LOG(INFO) << "Installer terminated successfully. Finishing.";
    current_ = total_;
    UpdateProgress();
    Terminate(State::kSucceeded);
    return;
  }
  if (!pending_error_) {
    const bool uninstall = settings_->uninstall();
    const char* detail =
        uninstall ? kUnreportedUninstallerError : kUnreportedInstallerError;
    OnError(uninstall ? kIdsUninstallError : kIdsInstallError, std::u16string(),
            detail);
    LOG(ERROR) << detail;
  }
  task_runner_->PostDelayedTask(
      NamedLocation("OnInstallerTerminated"),
      BindMemberFunction(&InstallerUIController::HandlePendingError,
                         weak_factory_.GetWeakPtr()),
      base::TimeDelta::FromMilliseconds(kPendingErrorDelayMs));
}

void InstallerUIController::HandlePendingError() {
  LOG(INFO) << "Handling pending error";
  if (!pending_error_ || ended()) return;
  SetState(State::kChoosing);
  settings_->set_initialized(true);
  settings_->AddObserver(this);

  const Status& status = *settings_->GetStatus();
  const bool default_folder =
      base::FilePath::CompareIgnoreCase(
          status.install_folder.value(),
          settings_->GetDefaultInstallFolder(kFolderFromRegistry).value()) == 0;
  if (pending_error_->string_id == kIdsNoAdministratorPrivileges &&
      settings_->operation() == kOperationInstalling &&
      settings_->all_users() && (default_folder || status.has_write_access)) {
    LOG(INFO) << "Offering the user to switch to a Current User install";
    const bool move_folder = default_folder && !status.has_write_access;
    settings_->SetAllUsers(false);
    if (move_folder)
      settings_->SetInstallFolder(
          settings_->GetDefaultInstallFolder(kFolderComputed));
    pending_error_.reset();
    OnAcceptClicked();
    return;
  }

  const bool offer_full_package =
      error_shown_before_ && fetcher_ &&
      (phase_ < Phase::kPartnerContent || package_will_be_downloaded_);
  error_shown_before_ = true;
  const std::unique_ptr<InstallerError> error = std::move(pending_error_);
  window_->ShowError(
      RcL10nHandler::GetStringWithArgs(error->string_id, error->text),
      offer_full_package, error->detail);
}

// --- The end.

// Once the UI has ended nothing reacts any more: a late report of the
// fetcher, the overrides download or the backend, or an Accept posted
// before the end, would restart the fetcher or start a backend that nobody
// sees, and write into statistics already sent.
bool InstallerUIController::IgnoredAfterEnd(const char* event) const {
  if (!ended()) return false;
  VLOG(1) << "The UI has ended: ignored " << event;
  return true;
}

void InstallerUIController::Terminate(State end) {
  if (ended()) {
    LOG(INFO) << "Installer UI already terminated";
    return;
  }
  LOG(INFO) << "Terminating the UI";
  SetState(end);
  // No more reactions to the settings either.
  settings_->RemoveObserver(this);
  if (window_) {
    window_->RemoveDelegate(this);
    window_.reset();
  }
  if (runner_) runner_->Stop();
  ui_lock_file_.Close();

  const bool success = end == State::kSucceeded;
  StatsNode* root = stats_.root_node();
  root->SetInteger(kStatsInstallationSuccessKey, success);
  if (success) root->Remove(kStatsFailureReasonKey);
  if (settings_->enable_installer_stats() && !settings_->autoupdate()) {
    LOG(INFO) << "Sending stats";
    stats_.Send(run_loop_->QuitClosure(), package_will_be_downloaded_);
  } else {
    LOG(INFO) << "Not sending stats";
    run_loop_->Quit();
  }
}

}  // namespace installer
