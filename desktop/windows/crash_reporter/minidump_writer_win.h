// Minidumps of a crashed process, written by dbghelp's MiniDumpWriteDump
// (loaded at run time) with the crashed process's own exception pointers,
// and kept only when they fit under a size limit.
//
// Each dump carries a user stream of type kVersionStreamType with the
// product version, a blank and the build number (narrow text, no NUL), and
// for an invalid-parameter crash one of type kAssertionStreamType with the
// AssertionRecord.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_MINIDUMP_WRITER_WIN_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_MINIDUMP_WRITER_WIN_H_

#include <stdint.h>
#include <windows.h>

#include "base/files/file_path.h"
#include "desktop/windows/crash_reporter/self_crash_win.h"

namespace crash_reporter {

inline constexpr uint32_t kVersionStreamType = 0x10000;
inline constexpr uint32_t kAssertionStreamType = 0x10001;
// The limits of a client's dump and of the reporter's own.
inline constexpr uint64_t kClientMinidumpSizeLimit = 3072000;
inline constexpr uint64_t kOwnCrashMinidumpSizeLimit = 512000;

// The limits in force: the two above, unless a test has set others (Wine's
// dumps of a large test program exceed the own-crash limit). Set before any
// crash is handled.
uint64_t GetClientMinidumpSizeLimit();
uint64_t GetOwnCrashMinidumpSizeLimit();
void SetMinidumpSizeLimitsForTesting(uint64_t client, uint64_t own_crash);
// The dump types tried in turn: with indirectly referenced memory, normal.
inline constexpr uint32_t kMinidumpTypes[] = {0x40, 0};

// |process| is the crashed process |pid|, opened by the caller with at
// least PROCESS_QUERY_INFORMATION and PROCESS_VM_READ.

// A dump of a client from the addresses it registered: the variable holding
// its EXCEPTION_POINTERS address, its crashed thread's id, and its
// AssertionRecord (0: none).
bool WriteMinidumpForClient(HANDLE process, uint32_t pid,
                            uint64_t thread_id_address,
                            uint64_t exception_pointers_address,
                            uint64_t assertion_address,
                            const base::FilePath& dump_path, uint64_t limit);

// A dump of a crashed reporter from its SelfCrashRecord.
bool WriteMinidumpForOwnCrash(HANDLE process, uint32_t pid,
                              uint64_t record_address,
                              const base::FilePath& dump_path, uint64_t limit);

// Creates |path| anew and writes the dump into it; a failed dump leaves no
// file. A name that exists already (a file, or a link planted there) or a
// path that leads through a link is refused, and nothing is written.
bool WriteMinidumpFile(HANDLE process, uint32_t pid,
                       const SelfCrashRecord& record,
                       const base::FilePath& path, uint64_t limit);

class CrashReporter {
 public:
  CrashReporter() = delete;

  // Writes the dump into |file| with the types of kMinidumpTypes in turn:
  // a dump above |limit|, or a type the system refuses as an invalid
  // argument, empties the file and tries the next. True when one fits;
  // |written_type| (when given) tells which.
  static bool WriteMinidumpWithDbghelp(HANDLE process, uint32_t pid,
                                       const SelfCrashRecord& record,
                                       HANDLE file, uint64_t limit,
                                       uint32_t* written_type = nullptr);
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_MINIDUMP_WRITER_WIN_H_
