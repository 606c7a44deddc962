// InstallerRunnerBackend: the main object of a backend process. It watches
// the process that started it (the front end, named by "initial-proc-handle"
// or "initial-pid"), runs the Installer, and reports every observer call of
// the Installer to the front end as an installer message over the mailslot
// of the install folder. Run() returns when the installation has succeeded,
// failed or was cancelled, or when the front end has gone.
//
// Main thread only, with a default message loop. The settings are not
// owned and must outlive the runner. Destruction rolls back an installation
// that is still running (the Installer's own cancel) and then writes every
// message still queued before the mailslot closes.

#ifndef DESKTOP_WINDOWS_INSTALLER_CORE_INSTALLER_RUNNER_BACKEND_H_
#define DESKTOP_WINDOWS_INSTALLER_CORE_INSTALLER_RUNNER_BACKEND_H_

#include <stdint.h>

#include <string>

#include "base/run_loop.h"
#include "base/win/object_watcher.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/common/installer_observer.h"
#include "desktop/windows/installer/common/installer_switches.h"
#include "desktop/windows/installer/core/installer.h"
#include "desktop/windows/installer/core/settings.h"
#include "desktop/windows/installer/ipc/ipc_sender.h"

namespace installer {

class InstallerRunnerBackend : public Settings::Observer,
                               public InstallerObserver,
                               public base::win::ObjectWatcher::Delegate {
 public:
  InstallerRunnerBackend();
  InstallerRunnerBackend(const InstallerRunnerBackend&) = delete;
  InstallerRunnerBackend& operator=(const InstallerRunnerBackend&) = delete;
  ~InstallerRunnerBackend() override;

  // Runs the whole backend. The Installer's result; false at once (with an
  // error line) when the initial process is missing, cannot be parsed,
  // opened or watched, and false when the front end went away first.
  bool Run(Settings* settings);

  // Settings::Observer:
  void OnSettingChanged() override {}
  void OnLanguageChanged() override {}
  void OnPathChanged() override;

  // InstallerObserver: one message each, except OnInstallerTerminated.
  void OnStarted() override;
  void OnStartingNewMainProcess(bool value) override;
  void OnReturnedToPreviousMainProcess() override;
  void OnTotalSteps(uint32_t count) override;
  void OnStep() override;
  void OnError(uint32_t string_id, const std::u16string& text,
               const std::string& detail) override;
  void OnSuccess() override;
  void OnInstallerTerminated(bool success) override;

  // base::win::ObjectWatcher::Delegate: the initial process ended.
  void OnObjectSignaled(HANDLE object) override;

 private:
  // Opens or takes the initial process. False after an error line.
  bool OpenInitialProcess();
  void StartInstallation();

  base::RunLoop run_loop_;
  base::win::ScopedHandle initial_process_;
  base::win::ObjectWatcher initial_process_watcher_;
  IpcSender sender_;
  Installer installer_;
  Settings* settings_ = nullptr;
};

namespace internal {

// The process handle written as "initial-proc-handle": exactly 16
// hexadecimal digits (either case), the handle value's 8 bytes in memory
// order. False for any other text.
bool ParseInitialProcessHandle(const std::string& text, uint64_t* value);

}  // namespace internal

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CORE_INSTALLER_RUNNER_BACKEND_H_
