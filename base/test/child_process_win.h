// Runs a test's child process to its end and collects what it printed.

#ifndef BASE_TEST_CHILD_PROCESS_WIN_H_
#define BASE_TEST_CHILD_PROCESS_WIN_H_

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace base {

using EnvironmentChanges =
    std::vector<std::pair<std::u16string, std::u16string>>;

// Starts |command_line| with the parent's environment plus
// |extra_environment| (name, value pairs replacing variables of the same
// name), waits for it, and returns its standard output and exit code.
// With |token| (a primary token), the child runs with that token's rights.
// False when the process cannot be started.
bool RunChildProcess(const std::u16string& command_line,
                     const EnvironmentChanges& extra_environment,
                     std::string* output, DWORD* exit_code,
                     HANDLE token = nullptr);

// Starts |command_line| as RunChildProcess does, with the parent's standard
// handles, and returns at once: its process handle, or null on failure.
// With |job|, the child is in that job before it runs.
HANDLE LaunchChildProcess(const std::u16string& command_line,
                          const EnvironmentChanges& extra_environment,
                          HANDLE token = nullptr, HANDLE job = nullptr);

// A primary token for the limited token linked to this process's: an
// administrator's rights as user account control filters them, without
// elevation. Null when the process has no linked token.
HANDLE DuplicateLimitedToken();

// For a test's helper process that lives until the test ends it: waits
// until the process that started this one has ended (at once when that
// one cannot be found), so that none outlives its test, however slowly the
// test runs.
void WaitForParentToEnd();

// The folder of the running test executable, with a trailing backslash.
std::u16string GetTestExecutableFolder();

}  // namespace base

#endif  // BASE_TEST_CHILD_PROCESS_WIN_H_
