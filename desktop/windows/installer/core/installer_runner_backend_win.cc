#include <string.h>

#include <vector>

#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "desktop/windows/installer/common/installer_switches.h"
#include "desktop/windows/installer/core/installer_runner_backend.h"
#include "desktop/windows/installer/core/status.h"
#include "desktop/windows/installer/ipc/installer_message.h"

namespace installer {

namespace internal {

bool ParseInitialProcessHandle(const std::string& text, uint64_t* value) {
  std::vector<uint8_t> bytes;
  // Fewer bytes cannot be a handle value; more are not one either.
  if (!base::HexStringToBytes(text, &bytes) || bytes.size() != sizeof(*value))
    return false;
  memcpy(value, bytes.data(), sizeof(*value));
  return true;
}

}  // namespace internal

namespace {

// Whether |process| is a handle of another process, live or ended, and of
// the process |expected_pid| when that is not 0.
bool NamesProcess(HANDLE process, unsigned expected_pid) {
  const DWORD pid = GetProcessId(process);
  return pid != 0 && pid != GetCurrentProcessId() &&
         (expected_pid == 0 || pid == expected_pid);
}

}  // namespace

InstallerRunnerBackend::InstallerRunnerBackend() = default;

InstallerRunnerBackend::~InstallerRunnerBackend() {
  if (initial_process_.IsValid()) initial_process_watcher_.StopWatching();
  initial_process_.Close();
  // The members go in reverse order: the installer first (a run still going
  // is rolled back), then the sender, which writes what is queued.
}

bool InstallerRunnerBackend::OpenInitialProcess() {
  const ProcessSwitches& process = settings_->process_switches();
  unsigned initial_pid = 0;
  if (!process.initial_proc_handle) {
    if (!process.initial_pid) {
      LOG(ERROR) << "Missing information about initial process";
      return false;
    }
    VLOG(1) << "Using initial pid " << *process.initial_pid;
    if (!process.GetInitialPid(&initial_pid)) {
      LOG(ERROR) << "Failed parsing initial pid";
      return false;
    }
    initial_process_.Set(OpenProcess(SYNCHRONIZE, FALSE, initial_pid));
    if (!initial_process_.IsValid()) {
      PLOG(ERROR) << "Failed opening initial process";
      return false;
    }
    return true;
  }

  const std::string& value = *process.initial_proc_handle;
  VLOG(1) << "Using initial process handle " << value;
  uint64_t handle_value = 0;
  // The handle was inherited; the value alone proves nothing, so it must
  // name a process, and the front end's when its pid is given too.
  if (process.initial_pid && !process.GetInitialPid(&initial_pid))
    initial_pid = 0;
  if (!internal::ParseInitialProcessHandle(value, &handle_value) ||
      !NamesProcess(reinterpret_cast<HANDLE>(handle_value), initial_pid)) {
    LOG(ERROR) << "Failed parsing initial process handle";
    return false;
  }
  initial_process_.Set(reinterpret_cast<HANDLE>(handle_value));
  return true;
}

bool InstallerRunnerBackend::Run(Settings* settings) {
  settings_ = settings;
  if (!OpenInitialProcess()) return false;
  if (!initial_process_watcher_.StartWatchingOnce(initial_process_.Get(),
                                                  this)) {
    LOG(ERROR) << "Failed watching initial process";
    return false;
  }
  installer_.AddObserver(this);
  if (settings_->IsStatusPending()) {
    VLOG(1) << "Waiting for settings to be ready";
    settings_->AddObserver(this);
  } else {
    VLOG(1) << "Settings already obtained. Running.";
    StartInstallation();
  }
  run_loop_.Run();
  LOG(INFO) << "Installer backend exiting";
  // The front end may have gone while the settings were still inspected.
  settings_->RemoveObserver(this);
  // Nothing the destruction does reaches the front end.
  installer_.RemoveObserver(this);
  return installer_.succeeded();
}

void InstallerRunnerBackend::OnPathChanged() {
  VLOG(1) << "Settings obtained. Running.";
  settings_->RemoveObserver(this);
  StartInstallation();
}

void InstallerRunnerBackend::StartInstallation() {
  VLOG(2) << "Starting installation";
  // Without a channel the installation still runs, unreported.
  sender_.Connect(kInstallerMailslotNamePrefix +
                  settings_->GetStatus()->install_folder.value());
  installer_.Start(settings_);
}

void InstallerRunnerBackend::OnStarted() {
  sender_.Send(BuildInstallerMessage(kMessageStarted));
}

void InstallerRunnerBackend::OnStartingNewMainProcess(bool value) {
  VLOG(1) << "Sending IPC_MESSAGE_STARTING_NEW_MAIN_PROCESS(" << value << ")";
  sender_.Send(BuildStartingNewMainProcessMessage(value));
}

void InstallerRunnerBackend::OnReturnedToPreviousMainProcess() {
  VLOG(1) << "Sending IPC_MESSAGE_RETURNED_TO_PREVIOUS_MAIN_PROCESS";
  sender_.Send(BuildInstallerMessage(kMessageReturnedToPreviousMainProcess));
}

void InstallerRunnerBackend::OnTotalSteps(uint32_t count) {
  VLOG(1) << "Sending IPC_MESSAGE_TOTAL_STEPS(" << count << ")";
  sender_.Send(BuildTotalStepsMessage(count));
}

void InstallerRunnerBackend::OnStep() {
  VLOG(1) << "Sending IPC_MESSAGE_STEP";
  sender_.Send(BuildInstallerMessage(kMessageStep));
}

void InstallerRunnerBackend::OnError(uint32_t string_id,
                                     const std::u16string& text,
                                     const std::string& detail) {
  VLOG(1) << "Sending IPC_MESSAGE_ERROR(" << string_id << "," << text << ","
          << detail << ")";
  sender_.Send(BuildErrorMessage(string_id, text, detail));
  run_loop_.Quit();
}

void InstallerRunnerBackend::OnSuccess() {
  VLOG(1) << "Sending IPC_MESSAGE_SUCCESS";
  sender_.Send(BuildInstallerMessage(kMessageSuccess));
  run_loop_.Quit();
}

void InstallerRunnerBackend::OnInstallerTerminated(bool success) {
  VLOG(1) << "Installation is done: " << success;
  run_loop_.Quit();
}

void InstallerRunnerBackend::OnObjectSignaled(HANDLE object) {
  VLOG(1) << "Installer UI process ended";
  run_loop_.Quit();
}

}  // namespace installer
