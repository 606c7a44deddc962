// The few system calls behind the logging facility, one implementation per
// platform (logging_win.cc, logging_posix.cc). Not for use outside it.

#ifndef BASE_LOGGING_PLATFORM_H_
#define BASE_LOGGING_PLATFORM_H_

#include <stddef.h>
#include <stdint.h>
#include <time.h>

#include <string>

#include "base/logging.h"

namespace logging::internal {

// The log file: opened for appending, shared for reading and writing (and
// deletion), never through a link; see base/files/open_without_links_win.h.
// With |create_new| only a file that this call creates.
bool OpenLogFileHandle(const std::u16string& name, bool create_new);
bool HasLogFileHandle();
void CloseLogFileHandle();
// One write of the whole line; errors are ignored.
void WriteToLogFile(const std::string& text);
// Also never through a link: a link planted at |name| stays, and the open
// that follows refuses it.
void DeleteFileByName(const std::u16string& name);

void WriteToSystemDebugLog(const std::string& text);

SystemErrorCode GetLastSystemError();
void SetLastSystemError(SystemErrorCode code);

uint32_t CurrentProcessId();
uint32_t CurrentThreadId();
uint32_t TickCount();
void LocalTime(time_t now, struct tm* local_time);

// Makes the compiler keep |data| on the stack up to the trap.
void KeepAlive(const char* data, size_t length);
[[noreturn]] void BreakpointTrap();

}  // namespace logging::internal

#endif  // BASE_LOGGING_PLATFORM_H_
