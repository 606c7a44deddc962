// The front end's reading of the mailslot, for tests: every message that
// parses becomes a call recorded by a RecordingInstallerObserver; the rest
// is counted as dropped. Lives on the thread of the IpcReceiver's creator.

#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_RECORDING_IPC_DELEGATE_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_RECORDING_IPC_DELEGATE_H_

#include <stddef.h>

#include <string>
#include <vector>

#include "base/observer_list.h"
#include "base/pickle.h"
#include "desktop/windows/installer/ipc/ipc_receiver.h"
#include "desktop/windows/installer/test/recording_installer_observer.h"

namespace installer {
namespace test {

class RecordingIpcDelegate : public IpcReceiver::Delegate {
 public:
  RecordingIpcDelegate();
  RecordingIpcDelegate(const RecordingIpcDelegate&) = delete;
  RecordingIpcDelegate& operator=(const RecordingIpcDelegate&) = delete;
  ~RecordingIpcDelegate() override;

  // IpcReceiver::Delegate:
  void OnMessageReceived(const base::Pickle& message) override;

  // Runs the loop until |count| calls are recorded (at most 30 s); false
  // when fewer arrived.
  bool WaitForEvents(size_t count);

  // The recorded calls, in RecordingInstallerObserver's lines.
  const std::vector<std::string>& events() const { return recorder_.events(); }
  // Every message that arrived, and those of them that did not parse.
  int received() const { return received_; }
  int dropped() const { return dropped_; }

 private:
  base::ObserverList<InstallerObserver> observers_;
  RecordingInstallerObserver recorder_;
  int received_ = 0;
  int dropped_ = 0;
};

// The bytes of |pickle|, as a mailslot message carries them.
std::vector<unsigned char> BytesOf(const base::Pickle& pickle);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_RECORDING_IPC_DELEGATE_H_
