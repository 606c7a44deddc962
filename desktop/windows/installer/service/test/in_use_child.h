// A child process for tests that need a file held by another process: it
// loads a module and keeps it (and its own image) in use until told to end.
//
//   installer_service_test_child.exe --load=<dll> --ready-event=<name>
//       --wait-event=<name>
//
// It loads the module (exit code 2 when that fails), sets the ready event,
// and waits up to 60 seconds for the wait event (exit code 3 on time-out).

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_IN_USE_CHILD_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_IN_USE_CHILD_H_

#include <windows.h>

#include <string>

#include "base/files/file_path.h"
#include "base/process/process.h"

namespace installer {
namespace test {

inline constexpr char kChildLoad[] = "load";
inline constexpr char kChildReadyEvent[] = "ready-event";
inline constexpr char kChildWaitEvent[] = "wait-event";

// The child executable and the module it loads in tests, both beside the
// running test executable.
base::FilePath GetInUseChildPath();
base::FilePath GetTestModulePath();

// Runs |executable| (a copy of the child, wherever it lies) with |module|
// loaded, and keeps both in use until destroyed.
class InUseChild {
 public:
  InUseChild();
  InUseChild(const InUseChild&) = delete;
  InUseChild& operator=(const InUseChild&) = delete;
  // Tells the child to end and waits for it.
  ~InUseChild();

  // True once the child runs with the module loaded.
  bool Start(const base::FilePath& executable, const base::FilePath& module);

 private:
  std::u16string event_prefix_;
  HANDLE ready_event_ = nullptr;
  HANDLE release_event_ = nullptr;
  base::Process process_;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_IN_USE_CHILD_H_
