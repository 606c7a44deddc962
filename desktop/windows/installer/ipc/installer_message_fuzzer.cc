// Feeds arbitrary bytes to the front end's reading of an installer message:
// the framing check, the parse and the notification of a recording
// observer. An accepted message must build into one that parses back to
// the same fields and has the same size (padding bytes are not compared:
// a reader skips them).

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <memory>

#include "base/pickle.h"
#include "desktop/windows/installer/ipc/installer_message.h"
#include "desktop/windows/installer/test/recording_installer_observer.h"

namespace {

std::unique_ptr<base::Pickle> Rebuild(const installer::InstallerMessage& m) {
  switch (m.type) {
    case installer::kMessageStartingNewMainProcess:
      return installer::BuildStartingNewMainProcessMessage(
          m.new_main_process_flag);
    case installer::kMessageTotalSteps:
      return installer::BuildTotalStepsMessage(m.total_steps);
    case installer::kMessageError:
      return installer::BuildErrorMessage(m.string_id, m.text, m.detail);
    default:
      return installer::BuildInstallerMessage(m.type);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<char[]> bytes(new char[size]);
  if (size) memcpy(bytes.get(), data, size);
  if (!installer::CheckInstallerMessageFraming(bytes.get(), size)) return 0;
  base::Pickle view(bytes.get(), size);
  installer::InstallerMessage message;
  if (!installer::ParseInstallerMessage(view, &message)) return 0;

  base::ObserverList<installer::InstallerObserver> observers;
  installer::test::RecordingInstallerObserver observer;
  observers.AddObserver(&observer);
  installer::NotifyInstallerMessage(message, &observers);
  if (observer.events().size() != 1) abort();

  std::unique_ptr<base::Pickle> rebuilt = Rebuild(message);
  installer::InstallerMessage reparsed;
  if (rebuilt->size() != size ||
      !installer::ParseInstallerMessage(*rebuilt, &reparsed) ||
      !(reparsed == message)) {
    abort();
  }
  return 0;
}
