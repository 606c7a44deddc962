// Finding the processes an installer process started, for tests that must
// wait for, or end, a backend they did not start themselves.

#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_PROCESS_TEST_UTIL_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_PROCESS_TEST_UTIL_WIN_H_

#include <stdint.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/process/process.h"

namespace installer {
namespace test {

// A running child of the process |parent_pid| whose program is |program|
// (compared without case), opened to wait for it, read its exit code and
// end it. Invalid when there is none, or when |parent_pid| names no process
// (any more). A process that began before the one now called |parent_pid|
// is not its child, whatever parent id it keeps.
base::Process FindChildProcess(uint32_t parent_pid,
                               const base::FilePath& program);

// FindChildProcess asked again until the child shows, for a minute at
// most: a loaded machine may take seconds to start it.
base::Process WaitForChildProcess(uint32_t parent_pid,
                                  const base::FilePath& program);

// The same for a program named |name| anywhere below |folder|: the package's
// installer that an elevated process starts from a protected copy of the
// package, whose folder name is random.
base::Process FindChildProcessBelow(uint32_t parent_pid,
                                    const base::FilePath& folder,
                                    const std::u16string& name);

// The command line |process| was started with (the handle needs
// PROCESS_QUERY_INFORMATION and PROCESS_VM_READ); empty when it cannot be
// read.
std::u16string GetProcessCommandLine(const base::Process& process);

// When |process| was created, in FILETIME units; 0 when unknown.
uint64_t CreationTimeOf(HANDLE process);

namespace internal {

// A process's id and the id its parent had, as a snapshot lists them.
struct ProcessIds {
  uint32_t pid;
  uint32_t parent_pid;
};

// Lets the lookups above see |processes| instead of the system's snapshot
// while it lives: a parent id the system has given to another process
// cannot be brought about on purpose.
class ScopedProcessListForTesting {
 public:
  explicit ScopedProcessListForTesting(std::vector<ProcessIds> processes);
  ScopedProcessListForTesting(const ScopedProcessListForTesting&) = delete;
  ScopedProcessListForTesting& operator=(const ScopedProcessListForTesting&) =
      delete;
  ~ScopedProcessListForTesting();

 private:
  std::vector<ProcessIds> processes_;
};

}  // namespace internal

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_PROCESS_TEST_UTIL_WIN_H_
