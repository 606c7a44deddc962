// An InstallerObserver that writes down every call as one line, in order:
// "Started", "StartingNewMainProcess(0)", "ReturnedToPreviousMainProcess",
// "TotalSteps(9)", "Step", "Error(37059,<text in UTF-8>,<detail>)",
// "Success", "InstallerTerminated(0)". Portable.

#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_RECORDING_INSTALLER_OBSERVER_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_RECORDING_INSTALLER_OBSERVER_H_

#include <functional>
#include <string>
#include <vector>

#include "desktop/windows/installer/common/installer_observer.h"

namespace installer {
namespace test {

class RecordingInstallerObserver : public InstallerObserver {
 public:
  RecordingInstallerObserver();
  ~RecordingInstallerObserver() override;

  const std::vector<std::string>& events() const { return events_; }
  void Clear() { events_.clear(); }
  // Runs after each call is written down, with the new line.
  void set_on_event(std::function<void(const std::string&)> on_event) {
    on_event_ = std::move(on_event);
  }

  // InstallerObserver:
  void OnStarted() override;
  void OnStartingNewMainProcess(bool value) override;
  void OnReturnedToPreviousMainProcess() override;
  void OnTotalSteps(uint32_t count) override;
  void OnStep() override;
  void OnError(uint32_t string_id, const std::u16string& text,
               const std::string& detail) override;
  void OnSuccess() override;
  void OnInstallerTerminated(bool success) override;

 private:
  void Add(std::string event);

  std::vector<std::string> events_;
  std::function<void(const std::string&)> on_event_;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_RECORDING_INSTALLER_OBSERVER_H_
