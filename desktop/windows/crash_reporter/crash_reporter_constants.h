// The names shared by a watched installer process and its crash reporter:
// environment variables and the kernel objects named after a process id.
// The switches are the installer's (installer_switches.h).

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_REPORTER_CONSTANTS_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_REPORTER_CONSTANTS_H_

#include <stdint.h>

#include <string>

namespace crash_reporter {

// Copied into crash keys of every installer process.
inline constexpr char16_t kCrashOriginVariable[] = u"VELNA_CRASH_ORIGIN";
inline constexpr char16_t kCrashTestVariable[] =
    u"VELNA_CRASH_REPORTER_VELAUTO_TEST";

// Followed by a process id in decimal: the event that a new reporter
// signals once its pipe listens (named after the watched process), and the
// reporter's pipe (named after the reporter).
inline constexpr char16_t kInitEventNamePrefix[] =
    u"VelnaCrashReporterInitEvent";
inline constexpr char16_t kPipeNamePrefix[] =
    u"\\\\.\\pipe\\VelnaCrashReporter";

// Room for a kernel-object name, its terminating NUL included.
inline constexpr size_t kObjectNameCapacity = 38;

// |prefix| followed by |pid| in decimal. False, with |name| empty, when the
// name and its NUL would not fit in kObjectNameCapacity characters.
bool FormatObjectName(const char16_t* prefix, uint32_t pid,
                      std::u16string* name);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_REPORTER_CONSTANTS_H_
