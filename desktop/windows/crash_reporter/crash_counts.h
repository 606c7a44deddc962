// The crash counts of the counter file: a JSON object whose members are
// process types ("installer", "crash_reporter") with integer counts, which
// other programs may read. These functions merge new counts into its text;
// CounterFileWriter does the file work.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_COUNTS_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_COUNTS_H_

#include <map>
#include <string>

#include "base/strings/string_piece.h"

namespace crash_reporter {

// Key to count, ordered by key.
using CrashCounts = std::map<std::string, int>;

// Adds |from| into |to|; a sum beyond the largest int stays at it.
void AddCrashCounts(const CrashCounts& from, CrashCounts* to);

// The text of the counter file after adding |counts|. |existing| is the
// file's text, or null for a file that did not exist. False, with
// |*merged| untouched, when the existing text is not a JSON object: such a
// file is never overwritten. Members whose value is not an integer are
// dropped.
bool MergeCrashCounts(const std::string* existing, const CrashCounts& counts,
                      std::string* merged);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_COUNTS_H_
