// The crash client: what every installer process that is not itself a crash
// reporter runs before anything else, so that its crashes are reported.
//
// The entry point calls, in this order, on the main thread, after its
// at-exit scope is opened and only without the switch
// "crash-reporter-parent-id":
//   DisableCallbackExceptionSwallowing();
//   if (StartCrashReporting()) ConnectToCrashReporter();
//   FillInstallerCrashKeys();
// and hands GetCrashReporterPid() on to every installer process it starts as
// the switch "crash-reporter-pid" (unsigned decimal), so that a process tree
// shares one reporter.
//
// Once connected, the process has one ExceptionHandler for its whole life:
// unhandled exceptions (breakpoints included), invalid-parameter reports and
// pure virtual calls go to the reporter; an exception that no handler inside
// a UI message handler takes ends the process with exit code 1 after its
// dump; std::terminate and abort() raise a breakpoint, so that they are
// reported too, unless they come from the thread whose crash is being
// handled.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_CLIENT_WIN_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_CLIENT_WIN_H_

#include <stdint.h>
#include <windows.h>

#include <string>

#include "base/command_line.h"
#include "desktop/windows/crash_reporter/protocol_message.h"

namespace crash_reporter {

class ExceptionHandler;

// How long a new reporter may take to signal that it listens.
inline constexpr DWORD kReporterStartTimeoutMs = 2000;
// The value of the "process_type" key of an installer process.
inline constexpr char16_t kInstallerProcessType[] = u"installer";

// Clears the exception-policy bit that has the system swallow exceptions
// raised inside user-mode callbacks, when the system offers the policy
// functions (exception_policy_win.h).
void DisableCallbackExceptionSwallowing();

// The reporter is the one named by "crash-reporter-pid" or, when that is
// missing, 0 or not a number, a newly launched one. Stores its id (0: none)
// and returns whether there is one.
bool StartCrashReporting();

// Starts this program again as the crash reporter of this process and waits
// up to GetReporterStartTimeoutMs for it to signal its init event. Its
// process id, or 0 when it could not start, ended first, or did not signal
// in time (it is then left running).
uint32_t LaunchCrashReporter();

// kReporterStartTimeoutMs, or what a test host set before its start-up, so
// that its test decides how long a slow start may take.
DWORD GetReporterStartTimeoutMs();
void SetReporterStartTimeoutForTesting(DWORD milliseconds);

// This process's program, switches and arguments, and
// "crash-reporter-parent-id" = this process's id.
base::CommandLine BuildCrashReporterCommandLine();

uint32_t GetCrashReporterPid();
void SetCrashReporterPid(uint32_t pid);

// Registers the process's ExceptionHandler with the reporter's pipe; does
// nothing when there is no reporter or a handler exists already. When the
// registration fails the process stays without a handler.
void ConnectToCrashReporter();

// Fills the "process_type", test, origin and "modules" keys.
void FillInstallerCrashKeys();

// The value of an environment variable, empty when it is absent, empty, or
// 512 characters or longer.
std::u16string GetCrashEnvironmentString(const char16_t* name);

// The handler's callbacks. The filter lets the first crashing thread of the
// process go on and puts any later one to sleep for good; the dump callback
// leaves the request's result as it is.
bool OnlyOneCrashFilter(void* context, EXCEPTION_POINTERS* exception_pointers,
                        const AssertionRecord* assertion);
bool OnCrashDumpWritten(const char16_t* dump_folder, const char16_t* dump_id,
                        void* context, EXCEPTION_POINTERS* exception_pointers,
                        const AssertionRecord* assertion, bool succeeded);
// The UI message pump's exception hook: requests a dump, then ends the
// process with exit code 1.
LONG WindowProcCrashHook(EXCEPTION_POINTERS* exception_pointers);

// The process's handler once connected, else null.
ExceptionHandler* GetCrashHandler();

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_CLIENT_WIN_H_
