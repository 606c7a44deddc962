// Starting a process that is not a child of the installer: through the
// Windows Management Instrumentation's Win32_Process.Create, so that the new
// process outlives the installer's process tree (the uninstaller starts its
// clean-up batch file this way). Needs COM initialised on the calling thread
// (the installer's threads do that). Every COM interface obtained is
// released on every path.
//
// And starting a helper whose output nobody reads, so that it never reaches
// the console of whoever started the installer.

#ifndef DESKTOP_WINDOWS_INSTALLER_CORE_PROCESS_HELPERS_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_CORE_PROCESS_HELPERS_WIN_H_

#include <stdint.h>

#include <string>

namespace base {
class CommandLine;
class Process;
struct LaunchOptions;
}  // namespace base

namespace installer {

// Launches |command_line| as LaunchProcessFromCommandLine() does with
// |options|, but with the null device as its standard input, output and
// error and no other handle inherited (whatever |options| says about
// inheritance). An invalid Process on failure.
base::Process LaunchWithoutOutput(const base::CommandLine& command_line,
                                  base::LaunchOptions options);
// The same for a command line written out (program first).
base::Process LaunchWithoutOutput(const std::u16string& command_line,
                                  base::LaunchOptions options);

// Starts |command_line| through WMI. True when the call succeeded, its
// "ReturnValue" is 0 and it reports a non-zero process id, which is then
// stored in |*pid| (when given).
bool LaunchProcessViaWmi(const std::u16string& command_line, uint32_t* pid);

namespace internal {

// The WMI call under LaunchProcessViaWmi(): false when WMI cannot be reached,
// the call fails or it gives no "ReturnValue"; otherwise true with that value
// and the "ProcessId" (0 when it cannot be read). A program that cannot be
// found gives 9 and 0.
bool CreateProcessThroughWmi(const std::u16string& command_line,
                             uint32_t* return_value, uint32_t* pid);

}  // namespace internal

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CORE_PROCESS_HELPERS_WIN_H_
