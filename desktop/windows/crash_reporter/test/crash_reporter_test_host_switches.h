// The switches and output of crash_reporter_test_host.exe, shared by it and
// the tests that run it.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_TEST_CRASH_REPORTER_TEST_HOST_SWITCHES_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_TEST_CRASH_REPORTER_TEST_HOST_SWITCHES_H_

namespace crash_reporter {
namespace test {

inline constexpr char16_t kReporterHostFileName[] =
    u"crash_reporter_test_host.exe";

// Without "crash-reporter-parent-id" the host runs the crash client's
// start-up as the entry point does, then, with kChild, starts itself as a
// child of the same reporter that crashes as kChild says and waits for it,
// then crashes as kCrash says.
inline constexpr char kChild[] = "test-child";
inline constexpr char kCrash[] = "test-crash";
inline constexpr char kCrashNone[] = "none";
inline constexpr char kCrashNullWrite[] = "null-write";
// A failed check of the installer's own: a FATAL log line, which ends the
// process through a breakpoint (a CHECK ends it with an illegal
// instruction).
inline constexpr char kCrashFatalLog[] = "fatal-log";
// Before its own crash the host waits for this named event.
inline constexpr char kWaitEvent[] = "test-wait-event";
// How long, in milliseconds (decimal), a crashed host waits for its dump, a
// crashed reporter for the instance that reports it, and the start-up for
// the launched reporter, instead of the product's waits: the test decides
// how long a crashed process stays alive. Handed on to the child, the
// reporter and its reporting instances.
inline constexpr char kReportWait[] = "test-report-wait-ms";

// With "crash-reporter-parent-id" the host is the reporter: it runs the
// reporter's role (RunCrashReporter), unless kReporterCrash makes it crash
// after its self-crash hooks are set: "server" as a reporter serving its
// parent; "twice" also as the instance that reports that crash (which then
// releases the first one and is reported by a third); "verifier" stopped by the
// handle verifier, which holds its lock while it stops the process.
inline constexpr char kReporterCrash[] = "test-reporter-crash";
inline constexpr char kReporterCrashServer[] = "server";
inline constexpr char kReporterCrashTwice[] = "twice";
inline constexpr char kReporterCrashVerifier[] = "verifier";
// The reporter's own-crash minidump limit, in bytes: Wine's dumps of this
// program are larger than the product's limit.
inline constexpr char kOwnDumpLimit[] = "test-own-dump-limit";

// Lines the host prints: "<label> <decimal>".
inline constexpr char kReporterLabel[] = "reporter";
inline constexpr char kThreadLabel[] = "thread";
inline constexpr char kChildThreadLabel[] = "child-thread";
inline constexpr char kChildExitLabel[] = "child-exit";

}  // namespace test
}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_TEST_CRASH_REPORTER_TEST_HOST_SWITCHES_H_
