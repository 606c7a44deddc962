#include <windows.h>

#include "base/logging.h"
#include "base/process/kill.h"

namespace base {

namespace {

// Codes a process gets when something else ends it: TerminateProcess by the
// task manager or a parent (1), a debugger (0x40010004, DBG_TERMINATE_
// PROCESS), Ctrl+C (0xC000013A, STATUS_CONTROL_C_EXIT) and the shutdown of a
// debugged process (0xC0000354, STATUS_DEBUGGER_INACTIVE).
constexpr DWORD kKilledExitCodes[] = {1, 0x40010004, 0xC000013A, 0xC0000354};
// Exit codes that processes of ours use for an allocation that failed.
constexpr DWORD kOutOfMemoryExitCodes[] = {7012, 0xE0000008};

bool IsOneOf(DWORD code, const DWORD* codes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (codes[i] == code) return true;
  }
  return false;
}

}  // namespace

TerminationStatus GetTerminationStatus(ProcessHandle handle, int* exit_code) {
  DWORD code = 0;
  if (!GetExitCodeProcess(handle, &code)) {
    // Reporting this as a clean exit would pass a failure off as success.
    PLOG(ERROR) << "GetExitCodeProcess failed";
    *exit_code = kUnknownExitCode;
    return TERMINATION_STATUS_UNKNOWN;
  }
  if (code == STILL_ACTIVE) {
    const DWORD wait_result = WaitForSingleObject(handle, 0);
    if (wait_result == WAIT_TIMEOUT) {
      *exit_code = WAIT_TIMEOUT;
      return TERMINATION_STATUS_STILL_RUNNING;
    }
    if (wait_result != WAIT_OBJECT_0) {
      PLOG(ERROR) << "WaitForSingleObject failed";
      *exit_code = kUnknownExitCode;
      return TERMINATION_STATUS_UNKNOWN;
    }
    // The process has ended, with the one code that looks like running.
    *exit_code = static_cast<int>(code);
    return TERMINATION_STATUS_ABNORMAL_TERMINATION;
  }
  *exit_code = static_cast<int>(code);
  if (code == 0) return TERMINATION_STATUS_NORMAL_TERMINATION;
  if (IsOneOf(code, kKilledExitCodes, std::size(kKilledExitCodes)))
    return TERMINATION_STATUS_PROCESS_WAS_KILLED;
  if (IsOneOf(code, kOutOfMemoryExitCodes, std::size(kOutOfMemoryExitCodes)))
    return TERMINATION_STATUS_OOM;
  return TERMINATION_STATUS_PROCESS_CRASHED;
}

}  // namespace base
