// Tracing from the command line, for development: the entry point calls
// EnableTracingFromCommandLine once, right after opening its at-exit scope.
//
//   --trace-file=<path>          records (until the buffer is full) and
//                                writes the trace to <path> when the
//                                at-exit scope closes
//   --trace-categories=<filter>  which categories: comma-separated
//                                patterns, "-" excludes, patterns starting
//                                "disabled-by-default-" switch those on;
//                                without it every category that is not
//                                disabled by default is recorded
//
// Nothing is recorded without "trace-file". A bad filter or a trace file
// that cannot be written is logged as an error and changes nothing else.

#ifndef BASE_TRACE_EVENT_TRACE_STARTUP_H_
#define BASE_TRACE_EVENT_TRACE_STARTUP_H_

#include "base/time/time.h"

namespace base {

class CommandLine;

namespace switches {

inline constexpr char kTraceFile[] = "trace-file";
inline constexpr char kTraceCategories[] = "trace-categories";

}  // namespace switches

namespace trace_event {

// How long the final flush waits for threads with a message loop to hand
// their events back.
inline constexpr TimeDelta kStartupTraceFlushWait =
    TimeDelta::FromMicroseconds(5 * 1000 * 1000);

// Reads the switches of |command_line| (the process's when null) and starts
// recording as they say; the write is registered with the current at-exit
// scope. Returns true when recording started.
bool EnableTracingFromCommandLine(const CommandLine* command_line = nullptr);

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_STARTUP_H_
