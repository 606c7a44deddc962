// How a process ended, classified from its exit code. Windows only.

#ifndef BASE_PROCESS_KILL_H_
#define BASE_PROCESS_KILL_H_

#include "base/process/process.h"

namespace base {

enum TerminationStatus {
  TERMINATION_STATUS_NORMAL_TERMINATION = 0,    // exit code 0
  TERMINATION_STATUS_ABNORMAL_TERMINATION = 1,  // really ended with 259
  TERMINATION_STATUS_PROCESS_WAS_KILLED = 2,    // ended by someone
  TERMINATION_STATUS_PROCESS_CRASHED = 3,       // any other exit code
  TERMINATION_STATUS_STILL_RUNNING = 4,
  // The exit code could not be read (for example a handle without query
  // access): nothing is known about the process, least of all success.
  TERMINATION_STATUS_UNKNOWN = 5,
  TERMINATION_STATUS_OOM = 6,
};

// The exit code stored with TERMINATION_STATUS_UNKNOWN; never 0, so that a
// caller who only looks at the code does not take it for success.
inline constexpr int kUnknownExitCode = -1;

// Classifies the process of |handle| and always stores an exit code: the
// process's own, 258 (WAIT_TIMEOUT) while it runs, or kUnknownExitCode.
// Exit code 0 is normal; 1, 0x40010004, 0xC000013A and 0xC0000354 mean
// killed; 7012 and 0xE0000008 out of memory; 259 of an ended process
// abnormal; every other code crashed.
TerminationStatus GetTerminationStatus(ProcessHandle handle, int* exit_code);

}  // namespace base

#endif  // BASE_PROCESS_KILL_H_
