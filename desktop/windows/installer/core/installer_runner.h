// InstallerRunner: the front end's handle on its backend process. Start()
// claims the install folder with named mutexes, opens the mailslot on which
// the backend reports, creates the folder's InstallationInterrupted and
// (while the package is still on its way) PackageReady events, builds the
// backend's command line from the Settings and launches the backend: the
// package's own "installer.exe" when the package is ready, else this
// executable as a first backend that waits for it. Every message from the
// backends becomes a call on the InstallerObservers; the backend's end
// becomes OnInstallerTerminated, decided by its exit code alone.
//
// The messages are progress only: anyone may write into the mailslot, and
// a backend may report success and still fail. Observers take the outcome
// from OnInstallerTerminated, which comes after every message the backends
// wrote before they ended (the mailslot is read out first). A backend that
// ends with a failure leaves the InstallationInterrupted event set, so that
// the processes it started (the package's backend, an elevated copy) roll
// back too; the next Start() clears it.
//
// Used by the interactive front end (the UI controller) and the silent one.
// Everything runs on the thread that owns the runner, which must run a
// message loop: the mailslot is read on the "Installer IPC thread" and
// each message is handed to the owner thread; the backend's end is
// watched on the system thread pool and reported on the owner thread.
// Observers are not owned; they add and remove themselves.

#ifndef DESKTOP_WINDOWS_INSTALLER_CORE_INSTALLER_RUNNER_H_
#define DESKTOP_WINDOWS_INSTALLER_CORE_INSTALLER_RUNNER_H_

#include <windows.h>

#include <string>

#include "base/files/file_path.h"
#include "base/memory/weak_ptr.h"
#include "base/observer_list.h"
#include "base/pickle.h"
#include "base/process/process.h"
#include "base/time/time.h"
#include "base/win/object_watcher.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/common/installer_observer.h"
#include "desktop/windows/installer/ipc/ipc_receiver.h"

namespace base {
class CommandLine;
}  // namespace base

namespace installer {

class Settings;

class InstallerRunner : public base::win::ObjectWatcher::Delegate,
                        public IpcReceiver::Delegate {
 public:
  // |package_folder| holds, or will hold, the unpacked package with its
  // "installer.exe".
  explicit InstallerRunner(const base::FilePath& package_folder);
  InstallerRunner(const InstallerRunner&) = delete;
  InstallerRunner& operator=(const InstallerRunner&) = delete;
  // Stop(), then waits a while for a backend that still runs: it rolls
  // back and lets go of the package, which lies in the download folder that
  // the front end removes at its end. Then closes what is left.
  ~InstallerRunner() override;

  // Starts the backend for |settings| (not owned; must outlive the run,
  // and have their install folder's Status: no inspection outstanding),
  // whose setters refuse every change from now on. True when the backend
  // runs and is watched. On failure every observer gets OnError with the
  // string id (37057: another installer works on the folder; 37058: the
  // settings have no operation; 37055: anything else), an empty text and
  // the reason, and whatever was taken stays until Stop(). Starting again
  // with the settings already held does nothing and answers false; a start
  // while an earlier backend still runs fails with 37055.
  bool Start(Settings* settings);

  // The package is complete. At most once: a running first backend is told
  // through the PackageReady event; before Start() the fact is recorded,
  // and Start() then launches the package's backend directly.
  void NotifyPackageReady();

  // Interrupts a running backend (InstallationInterrupted) and releases
  // what Start() took: the mutexes, the events, the mailslot, the settings.
  // The backend's end is still reported (OnInstallerTerminated). Start()
  // may follow.
  void Stop();

  void AddObserver(InstallerObserver* observer) {
    observers_.AddObserver(observer);
  }
  void RemoveObserver(InstallerObserver* observer) {
    observers_.RemoveObserver(observer);
  }
  base::ObserverList<InstallerObserver>* observers() { return &observers_; }

  bool package_ready() const { return package_ready_; }
  bool backend_started() const { return backend_started_; }

  // IpcReceiver::Delegate: one installer message; a malformed one is
  // dropped (installer_message.h).
  void OnMessageReceived(const base::Pickle& message) override;

  // base::win::ObjectWatcher::Delegate: the backend process ended.
  void OnObjectSignaled(HANDLE object) override;

 private:
  // Start()'s failure: OnError on every observer, the reason logged.
  bool FailStart(uint32_t string_id, const std::string& reason);
  // Takes both folder mutexes; false after FailStart.
  bool ClaimInstallFolder(const base::FilePath& install_folder);
  // Creates (or opens) the folder's event |base|, manual-reset, not
  // signalled; logs its name under |label|.
  base::win::ScopedHandle CreateFolderEvent(
      const base::FilePath& install_folder, const char16_t* base,
      const char* label);
  // Launches |command_line| with an inheritable handle of this process;
  // false after FailStart.
  bool LaunchBackend(base::CommandLine* command_line);
  // After the mailslot has been read out: the backend's outcome.
  void ReportBackendEnd();
  // Names the logs of the backend started, of the elevated copy and the
  // package's backends it starts in this process's log, each with its last
  // error line. Those are the logs of the names given at the launch: the
  // log folder is the user's, and others there may be anyone's.
  void LogBackendLogs(bool success) const;
  void ReleaseMutexes();

  IpcReceiver receiver_;
  const base::FilePath package_folder_;
  base::Process backend_process_;
  // The log name given to the backend, new at each launch.
  std::u16string backend_log_name_;
  // The mutex named after the folder's text as given, and the one named
  // after its upper-cased form: older installers know the first, and the
  // second keeps out a spelling that differs only in case.
  base::win::ScopedHandle installer_mutex_;
  base::win::ScopedHandle folder_mutex_;
  base::win::ObjectWatcher watcher_;
  base::win::ScopedHandle package_ready_event_;
  base::win::ScopedHandle interrupted_event_;
  Settings* settings_ = nullptr;
  bool package_ready_ = false;
  bool backend_started_ = false;
  bool receiver_connected_ = false;
  // The backend has ended and its end is not reported yet.
  bool end_pending_ = false;
  base::ObserverList<InstallerObserver> observers_;
  base::WeakPtrFactory<InstallerRunner> weak_factory_{this};
};

namespace internal {

// The names of the folder's two mutexes: "Global\Velna/Installer/" and the
// folder with every "\" turned into "/"; and "Global\Velna/InstallerFolder/"
// and the folder upper-cased by the system's rule, without trailing
// separators, with every "\" turned into "/".
std::u16string GetInstallerMutexName(const base::FilePath& install_folder);
std::u16string GetInstallFolderMutexName(const base::FilePath& install_folder);

}  // namespace internal

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CORE_INSTALLER_RUNNER_H_
