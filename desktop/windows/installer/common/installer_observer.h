// InstallerObserver: what an installation tells the world, one call per
// event, in the order the events happen. The backend's step machine
// (Installer) fires the calls; the backend runner turns each into an
// installer message for the front end, and the front end's runners turn the
// messages back into calls on their own observers.
//
// Calls arrive on the thread of the object that fires them. An observer
// removes itself before it goes.

#ifndef DESKTOP_WINDOWS_INSTALLER_COMMON_INSTALLER_OBSERVER_H_
#define DESKTOP_WINDOWS_INSTALLER_COMMON_INSTALLER_OBSERVER_H_

#include <stdint.h>

#include <string>

namespace installer {

class InstallerObserver {
 public:
  virtual ~InstallerObserver() = default;

  // The install folder exists and the work is about to begin.
  virtual void OnStarted() = 0;
  // Another installer process is about to take over (an elevated copy, the
  // package's own backend). |value| is true only when that process is the
  // package's backend started from a protected copy of the package: the
  // front end's unpacked package is no longer read.
  virtual void OnStartingNewMainProcess(bool value) = 0;
  // That process has ended.
  virtual void OnReturnedToPreviousMainProcess() = 0;
  // Once, before the first step: how many OnStep calls a full run makes,
  // plus one.
  virtual void OnTotalSteps(uint32_t count) = 0;
  virtual void OnStep() = 0;
  // An error ended the run. |string_id| names a localised message, |text|
  // replaces its "$1", |detail| is the English log text.
  virtual void OnError(uint32_t string_id, const std::u16string& text,
                       const std::string& detail) = 0;
  virtual void OnSuccess() = 0;
  // The installation has ended; |success| is its outcome, the one a front
  // end acts on. The Installer reports success with OnSuccess and sends
  // this only for a run that ended without it (cancelled, or after
  // OnError), with false. A front end's runner (installer_runner.h) sends
  // it once its backend process has ended, true when that process exited
  // with 0: the other calls it relays are progress only.
  virtual void OnInstallerTerminated(bool success) = 0;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_COMMON_INSTALLER_OBSERVER_H_
