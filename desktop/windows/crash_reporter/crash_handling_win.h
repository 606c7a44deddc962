// What the crash reporter does for one crash: freeze the crashed process,
// snapshot it, write the text crash log and the minidump, ask the crash
// server whether the crash is known, queue the uploads and record the crash
// id. Also the text logs of the reporter's own crashes.
//
// OnCrashDumpRequest runs on a wait thread of the system thread pool, one
// per crashing client, possibly several at once; it holds one unit of
// ReporterLifetime while it runs. The other functions run on the calling
// thread. Every failure is logged and the work goes on with what it has.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_HANDLING_WIN_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_HANDLING_WIN_H_

#include <stdint.h>

#include <string>

#include "base/files/file_path.h"
#include "desktop/windows/crash_reporter/client_info_win.h"

namespace crash_reporter {

class CounterFileWriter;

// The dump callback's context, owned by the server mode.
struct ReporterDumpContext {
  // Null when there is no counter file.
  CounterFileWriter* counters = nullptr;
  bool keep_logs = false;
};

// The key that carries the crash's GUID, and what stands in for it in a
// custom log folder.
inline constexpr char16_t kCrashGuidFallback[] = u"0";
inline constexpr int32_t kDuplicateCheckTimeoutMs = 3000;

// CrashGenerationServer's dump callback; |context| is a
// ReporterDumpContext.
void OnCrashDumpRequest(void* context, ClientInfo* client,
                        const std::u16string* dump_path);

// Freezes the client, snapshots it through the process handle it was
// registered with and writes its text log to |log_path|; the client runs on
// afterwards. |modules| is the joined "modules" key of its crash keys.
// False when the snapshot or the log failed (no file is left then).
bool WriteCrashLogForClient(ClientInfo* client, const std::u16string& modules,
                            const base::FilePath& log_path);

// |process| is crashed reporter |pid|, opened with at least
// PROCESS_QUERY_INFORMATION and PROCESS_VM_READ.

// The text log of a crashed reporter from its SelfCrashRecord: no crash
// keys, no module list, no memory counters.
bool WriteCrashLogForOwnCrash(HANDLE process, uint32_t pid,
                              uint64_t record_address,
                              const base::FilePath& log_path);

// The own-crash log that carries its minidump (at most |limit| bytes)
// inline (own_crash_log.h). False, with no file left, when the process or
// its record cannot be read or the log cannot be written.
bool WriteCrashLogWithEmbeddedMinidump(HANDLE process, uint32_t pid,
                                       uint64_t record_address,
                                       const base::FilePath& log_path,
                                       uint64_t limit);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_HANDLING_WIN_H_
