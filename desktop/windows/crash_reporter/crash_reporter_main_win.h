// The crash-reporter process: the installer library running in a process
// of its own, started by an installer process with the switch
// "crash-reporter-parent-id".
//
// Server mode serves the crash pipe for the whole installer process tree
// and handles each crash (crash_handling_win.h) until the process that
// launched it has ended and no crash or upload is in flight. Own-crash mode
// reports the crash of an earlier reporter instance (self_crash_win.h).
//
// The entry point calls RunCrashReporter, which installs the self-crash
// hooks (InstallCrashReporterSelfCrashHooks) and then runs one of the two
// modes on its main thread.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_REPORTER_MAIN_WIN_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_REPORTER_MAIN_WIN_H_

namespace base {
class CommandLine;
}  // namespace base

namespace crash_reporter {

// The reporter's role: own-crash mode when |command_line| has
// "crash-reporter-exception-info", else server mode.
void RunCrashReporter(const base::CommandLine& command_line);

// 0 after a normal end; -1 on any failure during start-up (the parent then
// runs without crash reporting once its wait for the reporter ends).
int RunCrashReporterServer();

void RunCrashReporterForOwnCrash();

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_REPORTER_MAIN_WIN_H_
