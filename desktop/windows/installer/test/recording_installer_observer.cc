#include "desktop/windows/installer/test/recording_installer_observer.h"

#include "base/strings/utf_string_conversions.h"

namespace installer {
namespace test {

RecordingInstallerObserver::RecordingInstallerObserver() = default;

RecordingInstallerObserver::~RecordingInstallerObserver() = default;

void RecordingInstallerObserver::OnStarted() { Add("Started"); }

void RecordingInstallerObserver::OnStartingNewMainProcess(bool value) {
  Add(std::string("StartingNewMainProcess(") + (value ? "1" : "0") + ")");
}

void RecordingInstallerObserver::OnReturnedToPreviousMainProcess() {
  Add("ReturnedToPreviousMainProcess");
}

void RecordingInstallerObserver::OnTotalSteps(uint32_t count) {
  Add("TotalSteps(" + std::to_string(count) + ")");
}

void RecordingInstallerObserver::OnStep() { Add("Step"); }

void RecordingInstallerObserver::OnError(uint32_t string_id,
                                         const std::u16string& text,
                                         const std::string& detail) {
  Add("Error(" + std::to_string(string_id) + "," + base::UTF16ToUTF8(text) +
      "," + detail + ")");
}

void RecordingInstallerObserver::OnSuccess() { Add("Success"); }

void RecordingInstallerObserver::OnInstallerTerminated(bool success) {
  Add(std::string("InstallerTerminated(") + (success ? "1" : "0") + ")");
}

void RecordingInstallerObserver::Add(std::string event) {
  events_.push_back(event);
  if (on_event_) on_event_(events_.back());
}

}  // namespace test
}  // namespace installer
