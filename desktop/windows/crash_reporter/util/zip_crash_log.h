// Packs a text crash log into a zip archive with one entry, "crashlog.txt",
// as the crash server expects the text-log upload. The archive is made in
// memory: where it goes on disk, and how, is the caller's choice.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_ZIP_CRASH_LOG_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_ZIP_CRASH_LOG_H_

#include <string>

#include "base/files/file_path.h"

namespace crash_reporter {

// The name of the one entry of the archive.
inline constexpr char kCrashLogEntryName[] = "crashlog.txt";

// Fills |archive| with a zip holding |log_path| deflated at level 9, without
// a time stamp. The path may hold any characters. False, with |archive|
// empty, when the log is empty or unreadable or the archive cannot be made.
bool ZipCrashLog(const base::FilePath& log_path, std::string* archive);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_ZIP_CRASH_LOG_H_
