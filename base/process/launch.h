// Starting other programs: the launch options, how each reaches process
// creation, and reading a child's standard output. Windows only; any thread
// may launch.

#ifndef BASE_PROCESS_LAUNCH_H_
#define BASE_PROCESS_LAUNCH_H_

#include <stdint.h>

#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/process/process.h"

namespace base {

class CommandLine;

using HandlesToInheritVector = std::vector<win::Handle>;

struct LaunchOptions {
  // Wait without limit for the child to end before returning.
  bool wait = false;
  // The child's current folder; empty: the parent's.
  FilePath current_directory;
  // Shown state SW_HIDE instead of SW_SHOW.
  bool start_hidden = false;
  // When given, only these handles are inherited (each is made inheritable,
  // a process-wide change); an empty list means none at all, whatever
  // |inherit_handles| says. Not owned.
  const HandlesToInheritVector* handles_to_inherit = nullptr;
  // Whether the child inherits the parent's inheritable handles.
  bool inherit_handles = false;
  // A user token: the child runs as that user with that user's environment.
  win::Handle as_user = nullptr;
  // The child's desktop name is the empty text.
  bool empty_desktop_name = false;
  // The child is put into this job before it runs its first instruction.
  win::Handle job_handle = nullptr;
  // When any is set, all three are passed as the child's standard handles.
  win::Handle stdin_handle = nullptr;
  win::Handle stdout_handle = nullptr;
  win::Handle stderr_handle = nullptr;
  // Create the child outside the parent's job.
  bool force_breakaway_from_job = false;
  // A process (opened with PROCESS_CREATE_PROCESS and
  // PROCESS_QUERY_LIMITED_INFORMATION) that becomes the child's parent in
  // place of this one (PROC_THREAD_ATTRIBUTE_PARENT_PROCESS): the system
  // documents that the child then takes that process's token, job and
  // inheritable handles. The child gets the environment of that token's
  // user and inherits no handle; the handle options, |as_user|, |job_handle|
  // and the standard handles cannot be combined with it. Whether the child
  // takes its mitigation policies from that parent or from this process is
  // not documented. Not owned.
  win::Handle parent_process = nullptr;
};

// Starts |command_line| (program first, no application name). Returns an
// invalid Process on failure; GetLastError() then tells why. A child that
// its job refuses is ended (exit code 1) before the failure is returned, so
// that nothing runs outside its job.
Process LaunchProcess(const std::u16string& command_line,
                      const LaunchOptions& options);
Process LaunchProcessFromCommandLine(const CommandLine& command_line,
                                     const LaunchOptions& options);

// Runs the program, appends everything it writes to standard output to
// |*output| (which is not cleared first), and waits for its end. With
// |include_stderr| its standard error goes to |*output| too; otherwise it
// shares the parent's. False when it cannot be started, when its end cannot
// be classified, or when it crashed or ended abnormally; an exit code that
// means it was killed still counts as success.
bool GetAppOutputInternal(const std::u16string& command_line,
                          bool include_stderr, std::string* output);
bool GetAppOutputFromCommandLine(const CommandLine& command_line,
                                 std::string* output);

namespace internal {

// The process-creation flags of a launch with |options| on Windows version
// |windows_version| (the index of base/win/windows_version.h), without the
// extended-startup flag that a handle list adds.
uint32_t GetLaunchCreationFlags(const LaunchOptions& options,
                                int windows_version);

}  // namespace internal

}  // namespace base

#endif  // BASE_PROCESS_LAUNCH_H_
