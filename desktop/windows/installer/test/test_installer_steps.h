// Step lists for tests of the Installer, in place of the real steps: real
// operations through the run's transaction (file copies, registry values),
// a failure with a chosen error, and a wait on a named event that does not
// block the thread (so that the front end's interrupt can come meanwhile).
//
// A TestStepFactory is installed with
// internal::SetInstallerStepFactoryForTesting, in a test or, from a JSON
// description, in the test host before RunInstaller (see
// installer_test_host.h). Every list it builds ends with ReportSuccess.

#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_TEST_INSTALLER_STEPS_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_TEST_INSTALLER_STEPS_H_

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "base/values.h"
#include "desktop/windows/installer/core/installer.h"

namespace installer {
namespace test {

struct TestStep {
  enum Kind {
    // Copies every line of the files list from the package folder to
    // |path| + "\" + line, one task per file, like the real copy step.
    kCopyListedFiles,
    // Sets the REG_SZ value |name| = |data| under HKCU\|path|.
    kSetValue,
    // Removes the value |name| under HKCU\|path|.
    kRemoveValue,
    // Reports error |id| with |data| (as text) and |name| (as detail).
    kFail,
    // Sets the event named |name| (when given), then goes on only when the
    // event named |path| is set.
    kWaitForEvent,
  };
  Kind kind;
  std::u16string path;
  std::u16string name;
  std::u16string data;
  uint32_t id = 0;
};

// JSON form, one object per step: {"kind": "copy_listed_files" |
// "set_value" | "remove_value" | "fail" | "wait_for_event", "path": ...,
// "name": ..., "data": ..., "id": ...}. False for an unknown kind or a
// value of the wrong type.
bool ParseTestSteps(const base::ListValue& list, std::vector<TestStep>* steps);

class TestStepFactory : public InstallerStepFactory {
 public:
  explicit TestStepFactory(std::vector<TestStep> steps);
  ~TestStepFactory() override;

  // InstallerStepFactory: the same list for every operation.
  std::vector<base::Closure> BuildSteps(
      Installer* installer, InstallationOperation operation) override;

 private:
  class Run;

  const std::vector<TestStep> steps_;
  std::vector<std::unique_ptr<Run>> runs_;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_TEST_INSTALLER_STEPS_H_
