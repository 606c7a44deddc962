// The text log of a crash of the crash reporter itself, in the variant that
// carries its minidump inline: the header lines, the metadata lines, then
// "minidump:" and the raw minidump bytes. Written in binary mode with
// explicit "\r\n" line ends, since the minidump follows in the same file.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_OWN_CRASH_LOG_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_OWN_CRASH_LOG_H_

#include <stdint.h>
#include <stdio.h>

#include <string>

#include "base/strings/string_piece.h"
#include "desktop/windows/crash_reporter/crash_log_info.h"

namespace crash_reporter {

// Writes the log to |stream|: |image_name| is the crashed reporter's
// executable name, |exception_code| and |exception_address| its exception
// (0 when they could not be read). False when a write failed.
bool WriteOwnCrashLog(FILE* stream, const CrashLogInfo& info,
                      base::StringPiece16 image_name, uint32_t exception_code,
                      uint64_t exception_address, const std::string& minidump);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_OWN_CRASH_LOG_H_
