#include "desktop/windows/installer/test/recording_ipc_delegate.h"

#include "base/test/run_loop_for.h"
#include "base/time/time.h"
#include "desktop/windows/installer/ipc/installer_message.h"

namespace installer {
namespace test {

RecordingIpcDelegate::RecordingIpcDelegate() {
  observers_.AddObserver(&recorder_);
}

RecordingIpcDelegate::~RecordingIpcDelegate() = default;

void RecordingIpcDelegate::OnMessageReceived(const base::Pickle& message) {
  ++received_;
  InstallerMessage parsed;
  if (ParseInstallerMessage(message, &parsed))
    NotifyInstallerMessage(parsed, &observers_);
  else
    ++dropped_;
}

bool RecordingIpcDelegate::WaitForEvents(size_t count) {
  const base::TimeTicks deadline =
      base::TimeTicks::Now() + base::TimeDelta::FromSeconds(30);
  while (recorder_.events().size() < count &&
         base::TimeTicks::Now() < deadline) {
    base::RunLoopFor(20);
  }
  return recorder_.events().size() >= count;
}

std::vector<unsigned char> BytesOf(const base::Pickle& pickle) {
  const auto* data = static_cast<const unsigned char*>(pickle.data());
  return std::vector<unsigned char>(data, data + pickle.size());
}

}  // namespace test
}  // namespace installer
