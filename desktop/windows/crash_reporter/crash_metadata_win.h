// The Windows side of the crash metadata: the machine's facts, the
// environment and the crashed process's times, and the field builders as
// the reporter calls them.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_METADATA_WIN_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_METADATA_WIN_H_

#include <windows.h>

#include "desktop/windows/crash_reporter/crash_metadata.h"

namespace crash_reporter {

// The OS version and service pack (GetVersionExW) and the processor
// (GetNativeSystemInfo).
MachineFacts ReadMachineFacts();

// The e-mail variable, the current time, and, when |process| is given, its
// creation time and its executable file's creation time.
CrashEnvironment ReadCrashEnvironment(HANDLE process);

// The builders of crash_metadata.h with what they read from the system.
// |process| (the crashed process, for its times) may be null.
void AddTextLogFields(const ResolvedCrashKeys& keys, FormFields* fields);
void AddOwnCrashTextLogFields(FormFields* fields);
void AddMinidumpFields(HANDLE process, const CrashKeyEntries& entries,
                       const ResolvedCrashKeys& keys, FormFields* fields);
void AddOwnCrashMinidumpFields(HANDLE process, FormFields* fields);
void BuildCrashLogMetadata(const CrashKeyEntries& entries, CrashLogInfo* info);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_METADATA_WIN_H_
