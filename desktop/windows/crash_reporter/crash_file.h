// The crash reporter's text files beside its dumps: the crash logs and the
// crash-id map. The crash folder may be one that other accounts write (the
// system's temporary folder, for a reporter running as the system), so
// these files are opened through no link: a file or link planted at a name
// is refused, never overwritten nor followed.
//
// No state; any thread.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_FILE_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_FILE_H_

#include <stdio.h>

#include "base/files/file_path.h"

namespace crash_reporter {

enum class CrashFileMode {
  // A new file only: a name that exists already is refused.
  kCreate,
  // A new file, or an existing plain file with no second name, emptied.
  kReplace,
  // An existing plain file with no second name, written at its end.
  kAppend,
};

// A stdio stream on |path| (text mode when |text|, so that lines end with
// CR LF on Windows), or nullptr with the system's error set. On Windows the
// file is opened by base::OpenWithoutLinks; elsewhere with O_NOFOLLOW and
// the same checks. The caller closes it with CloseCrashFile.
FILE* OpenCrashFile(const base::FilePath& path, CrashFileMode mode, bool text);

// Closes |stream| of the file at |path|. Unless |keep|, the file is removed
// first: on Windows through the stream's own handle (the name may lead
// elsewhere by now), elsewhere by |path|. True when kept and every byte
// reached the file.
bool CloseCrashFile(FILE* stream, const base::FilePath& path, bool keep);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_FILE_H_
