// The crash reporter's handling of its own crashes: a crashing reporter
// records its crash in a SelfCrashRecord in its own memory and starts a
// second instance of the program in own-crash mode, which reads the record
// from outside, reports the crash and then releases the crashed reporter
// through an event. At most one own crash is reported every three days.
//
// The hooks admit one crashing thread; any other suspends itself. Set-up
// runs once, on the main thread, before other threads exist.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_SELF_CRASH_WIN_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_SELF_CRASH_WIN_H_

#include <stddef.h>
#include <stdint.h>
#include <windows.h>

#include "desktop/windows/crash_reporter/protocol_message.h"

namespace crash_reporter {

// What a crashing reporter leaves in its memory for the instance that
// reports it.
struct SelfCrashRecord {
  uint32_t thread_id;
  uint32_t zero;
  // The address of the EXCEPTION_POINTERS, in the crashed process.
  uint64_t exception_pointers;
  AssertionRecord assertion;
};
static_assert(sizeof(SelfCrashRecord) == 792, "read by another process");
static_assert(offsetof(SelfCrashRecord, exception_pointers) == 8);
static_assert(offsetof(SelfCrashRecord, assertion) == 16);

// The own-crash mode of an instance that reports its parent's crash in a
// text log that carries the minidump.
inline constexpr char kMinidumpSwitch[] = "crash-reporter-minidump";
// Followed by the crashed reporter's id: signalled once it may end.
inline constexpr char16_t kSelfCrashEventPrefix[] =
    u"VelnaCrashReporterException";
// Under the company's key in HKEY_CURRENT_USER: a FILETIME (REG_QWORD).
inline constexpr char16_t kLastReporterCrashValue[] =
    u"Last crash in crash reporter";
inline constexpr int kDaysBetweenReportedOwnCrashes = 3;
// How long a crashed reporter waits for the instance that reports it.
inline constexpr DWORD kSelfCrashReportWaitMs = 20000;

// Installs the unhandled-exception filter, the invalid-parameter handler
// and the pure-call handler of the reporter; once per process.
void InstallCrashReporterSelfCrashHooks();

// Once per process: creates the own-crash event and the command line of the
// reporting instance: this program with this process's switches, the
// record's address, this process as parent, and with |with_minidump| the
// minidump switch. False when either cannot be made (a crash then ends the
// process unreported).
bool SetUpSelfCrashReporting(bool with_minidump);

// Starts the reporting instance and waits until it signals the own-crash
// event, at most GetSelfCrashReportWaitMs.
void LaunchSelfCrashReporter();

// kSelfCrashReportWaitMs, or what a test host set before any crash, so that
// its test decides how long a crashed reporter stays alive.
DWORD GetSelfCrashReportWaitMs();
void SetSelfCrashReportWaitForTesting(DWORD milliseconds);

// Lets the crashed reporter |pid| end.
void SignalSelfCrashEvent(uint32_t pid);

// The whole days since the last reported own crash (0 when none was
// stored, which is then stored as 0). False when the company key or the
// value cannot be read or written, or the stored time lies in the future.
bool GetDaysSinceLastReporterCrash(int64_t* days);
bool StoreLastReporterCrashTime(const SYSTEMTIME& time);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_SELF_CRASH_WIN_H_
