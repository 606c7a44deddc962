// Packs a text crash log into a zip archive with one entry, "crashlog.txt",
// as the crash server expects the text-log upload.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_ZIP_CRASH_LOG_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_ZIP_CRASH_LOG_H_

#include "base/files/file_path.h"

namespace crash_reporter {

// The name of the one entry of the archive.
inline constexpr char kCrashLogEntryName[] = "crashlog.txt";

// Creates (or replaces) |zip_path| holding |log_path| deflated at level 9,
// without a time stamp. Both paths may hold any characters. False when the
// log is empty or unreadable or the archive cannot be written; no archive is
// left then.
bool ZipCrashLog(const base::FilePath& log_path,
                 const base::FilePath& zip_path);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_ZIP_CRASH_LOG_H_
