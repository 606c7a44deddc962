// CrashLogWriter: writes the human-readable text crash log of one crash
// from the snapshot of the crashed process: a header naming the product,
// version and exception, the metadata lines, every thread with its
// registers and stack, the loaded modules, and hexadecimal dumps of the
// memory that registers and stack words point at.
//
// The log is bounded: at most kMaxStackBytes of stack per thread, a memory
// budget of kTotalMemoryBudget bytes for the ranges found from threads other
// than the crashed one (kThreadMemoryBudget at most per thread), and at most
// kMaxListedThreads - 1 threads besides the crashed one.
//
// Output is text with "\n" line ends; a stream opened in text mode on
// Windows stores "\r\n". One writer writes one log at a time.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_LOG_WRITER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_LOG_WRITER_H_

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "desktop/windows/crash_reporter/crash_log_info.h"
#include "desktop/windows/crash_reporter/memory_range_list.h"
#include "desktop/windows/crash_reporter/process_state.h"

namespace crash_reporter {

class CrashLogWriter {
 public:
  // Threads numbered from this one on are listed only when crashed.
  static constexpr size_t kMaxListedThreads = 500;
  static constexpr uint64_t kTotalMemoryBudget = 614400;
  static constexpr uint64_t kThreadMemoryBudget = 61440;
  static constexpr size_t kMaxStackBytes = 8192;
  static constexpr size_t kMinCrashedStackBytes = 512;
  // Bytes dumped on each side of a pointer into a module's code, and of any
  // other pointer.
  static constexpr uint64_t kCodePointerMargin = 16;
  static constexpr uint64_t kDataPointerMargin = 1024;
  static constexpr uint64_t kPageSize = 4096;

  CrashLogWriter();
  CrashLogWriter(const CrashLogWriter&) = delete;
  CrashLogWriter& operator=(const CrashLogWriter&) = delete;
  ~CrashLogWriter();

  // Creates |path| anew in text mode (CrashFileMode::kCreate: a name that
  // exists already, or a link, is refused), writes the log and closes it;
  // removes the file when anything failed.
  bool WriteToFile(ProcessState* state, const CrashLogInfo& info,
                   const base::FilePath& path);

  // Writes the log to |stream|, stopping at the first failed write (false).
  bool Write(ProcessState* state, const CrashLogInfo& info, FILE* stream);

  // The ranges collected by the last Write.
  const MemoryRangeList& ranges() const { return ranges_; }

 private:
  // A copy of the top of one thread's stack.
  struct StackBlock {
    uint64_t start = 0;
    std::vector<uint8_t> bytes;
    bool Contains(uint64_t address) const {
      return address >= start && address - start < bytes.size();
    }
  };

  bool WriteHeader(ProcessState* state, const CrashLogInfo& info);
  bool WriteMetadata(const CrashLogInfo& info);
  bool WriteThreads(ProcessState* state);
  bool WriteThread(ProcessState* state, const ThreadInfo& thread, bool is_last);
  bool WriteModules(ProcessState* state);
  bool WriteMemoryDumps(ProcessState* state);

  // The memory budget of a thread: negative means unlimited.
  int64_t ThreadBudget(const ThreadInfo& thread, bool is_last) const;
  // Gives |value| to AddRangeAroundPointer unless it lies in |stack|, and
  // takes what it added from |*budget| (unless unlimited).
  void CheckValue(ProcessState* state, const StackBlock& stack, uint64_t value,
                  int64_t* budget);
  // Adds the range around |value| and returns the bytes newly covered.
  uint64_t AddRangeAroundPointer(ProcessState* state, uint64_t value);

  static StackBlock ReadStack(ProcessMemoryReader* reader,
                              const ThreadInfo& thread);
  static size_t FramePointerLength(const StackBlock& block, uint64_t rbp);

  bool Put(const std::string& text);

  FILE* stream_ = nullptr;
  MemoryRangeList ranges_;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_LOG_WRITER_H_
