// Finding the processes an installer process started, for tests that must
// wait for, or end, a backend they did not start themselves.

#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_PROCESS_TEST_UTIL_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_PROCESS_TEST_UTIL_WIN_H_

#include <stdint.h>

#include <string>

#include "base/files/file_path.h"
#include "base/process/process.h"

namespace installer {
namespace test {

// A running child of the process |parent_pid| whose program is |program|
// (compared without case), opened to wait for it, read its exit code and
// end it. Invalid when there is none.
base::Process FindChildProcess(uint32_t parent_pid,
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

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_PROCESS_TEST_UTIL_WIN_H_
