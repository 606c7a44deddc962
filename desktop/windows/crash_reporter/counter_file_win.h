// The crash counter file on disk: merging counts into it with the file
// opened exclusively, for CounterFileWriter.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_COUNTER_FILE_WIN_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_COUNTER_FILE_WIN_H_

#include <stdint.h>

#include "base/files/file.h"
#include "base/files/file_path.h"
#include "desktop/windows/crash_reporter/crash_counts.h"

namespace crash_reporter {

// Opens (or creates) |path| for reading and writing without sharing, reads
// it whole, merges |counts| into it (MergeCrashCounts) and writes the
// result in its place. False when the file cannot be opened, does not hold
// a JSON object, or the new text was not written whole; the file then
// keeps its earlier text (a file made by this call is removed).
bool WriteCounterFile(const base::FilePath& path, const CrashCounts& counts);

// The same with the writes of the new text going through |write|, which
// has the contract of File::Write; for tests that inject short writes.
using FileWriteFunction = int (*)(base::File* file, int64_t offset,
                                  const char* data, int size);
bool WriteCounterFileWith(const base::FilePath& path, const CrashCounts& counts,
                          FileWriteFunction write);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_COUNTER_FILE_WIN_H_
