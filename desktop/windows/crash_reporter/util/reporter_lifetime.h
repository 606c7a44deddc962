// ReporterLifetime: the crash reporter's count of outstanding work. The
// reporter's main thread waits until it falls to zero before the process
// ends: the watch on the parent process holds one unit, each crash being
// handled one, and each queued upload one from before it is queued until
// its work item has destroyed it (so its files are gone by then).
//
// One process-wide instance, created on first use and deleted at exit. Any
// thread may call it. Once the count has reached zero the event stays
// signalled until WaitUntilIdle finds work taken again afterwards.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_REPORTER_LIFETIME_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_REPORTER_LIFETIME_H_

#include <stdint.h>

#include <atomic>

#include "base/synchronization/waitable_event.h"
#include "base/time/time.h"

namespace crash_reporter {

class ReporterLifetime {
 public:
  ReporterLifetime();
  ReporterLifetime(const ReporterLifetime&) = delete;
  ReporterLifetime& operator=(const ReporterLifetime&) = delete;
  ~ReporterLifetime();

  static void AddRef();
  // Signals the event when the count falls to zero.
  static void Release();
  // Waits, without a time limit, until the count is zero: also when it
  // fell to zero before and work has been taken again since.
  static void WaitUntilIdle();
  // The same for at most |max|; true when idle.
  static bool TimedWaitUntilIdle(base::TimeDelta max);

 private:
  static ReporterLifetime& Get();

  std::atomic<int32_t> pending_{0};
  base::WaitableEvent idle_;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_REPORTER_LIFETIME_H_
