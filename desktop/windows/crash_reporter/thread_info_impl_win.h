// The Windows side of ThreadInfoImpl: registers from a CONTEXT, and how
// much of a thread's stack is in use.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_THREAD_INFO_IMPL_WIN_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_THREAD_INFO_IMPL_WIN_H_

#include <stdint.h>
#include <windows.h>

#include "desktop/windows/crash_reporter/thread_info.h"

namespace crash_reporter {

// The 16 general registers, RIP, the flags, the x87 registers with their
// status and control words, and the XMM registers of |context|.
RegisterSet RegisterSetFromContext(const CONTEXT& context);

// The bytes from |stack_pointer| to the end of its memory region in
// |process|, when that region is committed, private, read-write and holds
// the pointer; else 0 (a guard page, for one, fails). Failures are logged.
uint64_t GetStackSizeInUse(HANDLE process, uint64_t stack_pointer);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_THREAD_INFO_IMPL_WIN_H_
