// Reading a crashed process from the crash reporter: opening it for
// queries and memory reads, and reads that must be complete.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_PROCESS_READING_WIN_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_PROCESS_READING_WIN_H_

#include <stddef.h>
#include <stdint.h>
#include <windows.h>

#include "base/win/scoped_handle.h"

namespace crash_reporter {

// |pid| opened with PROCESS_QUERY_INFORMATION and PROCESS_VM_READ; an
// invalid handle (logged) when it cannot be.
base::win::ScopedHandle OpenProcessForReading(uint32_t pid);

// Reads exactly |size| bytes at |address| of |process|; false for a failed
// or partial read.
bool ReadProcessMemoryExactly(HANDLE process, uint64_t address, void* data,
                              size_t size);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_PROCESS_READING_WIN_H_
