// The switches of crash_client_test_host.exe, shared by it and the tests
// that run it.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_TEST_CRASH_CLIENT_TEST_HOST_SWITCHES_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_TEST_CRASH_CLIENT_TEST_HOST_SWITCHES_H_

#include <stddef.h>

namespace crash_reporter {
namespace test {

inline constexpr char16_t kHostFileName[] = u"crash_client_test_host.exe";

// What the host does (default: the client's start-up, then kCrash):
inline constexpr char kMode[] = "mode";
// Only the client's start-up.
inline constexpr char kModeStart[] = "start";
// A reporter stand-in that serves the pipe under its own id, signals the
// event named by kReadyEvent, and kills itself in its dump callback with
// kServerKilledExitCode.
inline constexpr char kModeServeAndDie[] = "serve-and-die";
inline constexpr char kReadyEvent[] = "ready-event";
inline constexpr unsigned kServerKilledExitCode = 7;
// Signals the event named by kReadyEvent and sleeps up to a minute: a
// process that others can name.
inline constexpr char kModeSleep[] = "sleep";

// How the host crashes after its start-up.
inline constexpr char kCrash[] = "crash";
inline constexpr char kCrashNone[] = "none";
inline constexpr char kCrashNullWrite[] = "null-write";
inline constexpr char kCrashFatalLog[] = "fatal-log";
inline constexpr char kCrashCheck[] = "check";
inline constexpr char kCrashImmediate[] = "immediate-crash";
inline constexpr char kCrashUiNullWrite[] = "ui-null-write";
inline constexpr char kCrashUiOutputDebugString[] = "ui-output-debug-string";
inline constexpr char kCrashPureCall[] = "pure-call";
inline constexpr char kCrashInvalidParameter[] = "invalid-parameter";
inline constexpr char kCrashCxxException[] = "cxx-exception";
inline constexpr char kCrashStackOverflow[] = "stack-overflow";
inline constexpr char kCrashTwoThreads[] = "two-threads";
// The expression the invalid-parameter crash reports: 200 characters.
inline constexpr size_t kInvalidParameterExpressionLength = 200;
inline constexpr unsigned kInvalidParameterLine = 321;

// Replaces the exception-policy functions with fakes holding these flags
// (decimal) before the start-up.
inline constexpr char kFakeExceptionPolicy[] = "fake-exception-policy";

// How long, in milliseconds (decimal), the start-up waits for a launched
// reporter and a crash waits for its dump (instead of the product's
// waits), so that the test decides how long the host stays alive.
inline constexpr char kReporterStartWait[] = "reporter-start-wait-ms";
inline constexpr char kDumpRequestWait[] = "dump-request-wait-ms";

// Run as a launched reporter (with "crash-reporter-parent-id"): "signal"
// signals the parent's init event, "exit" ends at once with
// kStandInExitCode, "silent" does neither; the first and last then wait for
// the parent's end.
inline constexpr char kStandIn[] = "stand-in";
inline constexpr unsigned kStandInExitCode = 5;

// Lines the host prints: "<label> <decimal>".
inline constexpr char kReporterLabel[] = "reporter";
inline constexpr char kConnectedLabel[] = "connected";
inline constexpr char kElapsedLabel[] = "elapsed-ms";
inline constexpr char kThreadLabel[] = "thread";
inline constexpr char kPolicyLabel[] = "policy";

}  // namespace test
}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_TEST_CRASH_CLIENT_TEST_HOST_SWITCHES_H_
