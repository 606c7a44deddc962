// The crash reporter that serves this process, as the installer passes it on
// to every installer process it starts (switch "crash-reporter-pid",
// unsigned decimal), so that one process tree shares one reporter.

#ifndef DESKTOP_WINDOWS_INSTALLER_CORE_CRASH_REPORTER_PID_H_
#define DESKTOP_WINDOWS_INSTALLER_CORE_CRASH_REPORTER_PID_H_

#include <stdint.h>

#include <string>

#include "desktop/windows/crash_reporter/crash_client_win.h"

namespace installer {

// The value of "crash-reporter-pid": the reporter's process id, 0 when
// there is none.
inline std::string FormatCrashReporterPid() {
  return std::to_string(crash_reporter::GetCrashReporterPid());
}

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CORE_CRASH_REPORTER_PID_H_
