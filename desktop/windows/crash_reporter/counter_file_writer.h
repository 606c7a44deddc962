// CounterFileWriter: counts crashes by process type and merges the counts
// into the counter file on a worker thread of its own, so that handling a
// crash never waits for the file.
//
// Counts that could not be written stay pending: a failed merge is retried
// after 100 ms, up to kMaxFailuresInARow times in a row, and then at the
// next wake-up. Destroying the writer stops the worker after its last
// attempts (up to kMaxFinalAttempts, 50 ms apart), so a count added just
// before is still written when the file allows it.
//
// Add and AddAll may be called from any thread; only the worker touches the
// file. The file work itself is a function given at construction
// (WriteCounterFile in counter_file_win.h for the real file).

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_COUNTER_FILE_WRITER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_COUNTER_FILE_WRITER_H_

#include <atomic>
#include <string>

#include "base/files/file_path.h"
#include "base/synchronization/lock.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/platform_thread.h"
#include "base/time/time.h"
#include "desktop/windows/crash_reporter/crash_counts.h"

namespace crash_reporter {

class CounterFileWriter : public base::PlatformThread::Delegate {
 public:
  // Merges |counts| into the file at |path|; false leaves them pending.
  using WriteCountsFunction = bool (*)(const base::FilePath& path,
                                       const CrashCounts& counts);

  static constexpr int kMaxFailuresInARow = 10;
  static constexpr int kMaxFinalAttempts = 10;
  static constexpr base::TimeDelta kRetryDelay =
      base::TimeDelta::FromMicroseconds(100 *
                                        base::kMicrosecondsPerMillisecond);
  static constexpr base::TimeDelta kFinalRetryDelay =
      base::TimeDelta::FromMicroseconds(50 * base::kMicrosecondsPerMillisecond);

  // Starts the worker thread.
  CounterFileWriter(const base::FilePath& path,
                    WriteCountsFunction write_counts);
  CounterFileWriter(const CounterFileWriter&) = delete;
  CounterFileWriter& operator=(const CounterFileWriter&) = delete;
  // Stops the worker, which makes its last attempts first, and joins it.
  ~CounterFileWriter() override;

  // Adds |count| to the pending count of |key|; |wake| wakes the worker.
  void Add(const std::string& key, int count, bool wake);
  void AddAll(const CrashCounts& counts, bool wake);

  // Takes the pending counts and merges them into the file; on failure
  // they are pending again. True when nothing was pending or the merge
  // succeeded.
  bool FlushOnce();

 private:
  // PlatformThread::Delegate:
  void ThreadMain() override;

  CrashCounts TakePending();
  bool HasPending();
  void FinalAttempts();

  const base::FilePath path_;
  const WriteCountsFunction write_counts_;
  base::WaitableEvent wake_up_;
  base::Lock lock_;
  CrashCounts pending_;  // guarded by |lock_|
  std::atomic<bool> stop_{false};
  base::PlatformThreadHandle thread_{};
  bool thread_started_ = false;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_COUNTER_FILE_WRITER_H_
