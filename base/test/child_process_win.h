// Runs a test's child process to its end and collects what it printed.

#ifndef BASE_TEST_CHILD_PROCESS_WIN_H_
#define BASE_TEST_CHILD_PROCESS_WIN_H_

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace base {

// Starts |command_line| with the parent's environment plus
// |extra_environment| (name, value pairs replacing variables of the same
// name), waits for it, and returns its standard output and exit code.
// False when the process cannot be started.
bool RunChildProcess(
    const std::u16string& command_line,
    const std::vector<std::pair<std::u16string, std::u16string>>&
        extra_environment,
    std::string* output, DWORD* exit_code);

// The folder of the running test executable, with a trailing backslash.
std::u16string GetTestExecutableFolder();

}  // namespace base

#endif  // BASE_TEST_CHILD_PROCESS_WIN_H_
