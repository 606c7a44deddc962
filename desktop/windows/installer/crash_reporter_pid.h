// The crash reporter that serves this process, as the installer passes it on
// to every installer process it starts (switch "crash-reporter-pid",
// unsigned decimal), so that one process tree shares one reporter.

#ifndef DESKTOP_WINDOWS_INSTALLER_CRASH_REPORTER_PID_H_
#define DESKTOP_WINDOWS_INSTALLER_CRASH_REPORTER_PID_H_

#include <stdint.h>

#include <string>

namespace installer {

// The reporter's process id, 0 when there is none. This build starts no
// crash client (see StartCrashClient in the entry point): always 0.
inline uint32_t GetCrashReporterPid() { return 0; }

// The value of "crash-reporter-pid".
inline std::string FormatCrashReporterPid() {
  return std::to_string(GetCrashReporterPid());
}

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CRASH_REPORTER_PID_H_
