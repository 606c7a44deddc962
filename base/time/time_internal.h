// The pieces of the clocks that the platform files share, kept apart so
// that tests can drive them with fake readings.

#ifndef BASE_TIME_TIME_INTERNAL_H_
#define BASE_TIME_TIME_INTERNAL_H_

#include <stdint.h>

#include "base/synchronization/lock.h"
#include "base/time/time.h"

namespace base {

class CPU;

namespace time_internal {

// Provided by time_win.cc / time_posix.cc: the system's wall clock in
// FILETIME units and the system's monotonic clock, ignoring overrides.
int64_t SystemTimeAsFileTime();
TimeTicks SystemTicksNow();
// Start and end the 4 ms system timer period.
void BeginTimerPeriod();
void EndTimerPeriod();

// Performance-counter reading |count| at |frequency| (> 0) counts per
// second, in microseconds, without overflow for any count.
int64_t PerformanceCounterToMicroseconds(int64_t count, int64_t frequency);

// Whether the performance counter may serve as the monotonic clock: it
// ticks (|frequency| > 0), the processor's time-stamp counter is non-stop,
// and it is not an AMD family-15 processor, whose counters drift apart.
bool IsPerformanceCounterReliable(int64_t frequency, const CPU& cpu);

// A monotonic clock built on a 32-bit millisecond counter that wraps every
// 49.7 days: each wrap seen adds 2^32 ms. The counter must be read at least
// once per wrap period.
class RolloverProtectedClock {
 public:
  using ReadFunction = uint32_t (*)();

  constexpr explicit RolloverProtectedClock(ReadFunction read) : read_(read) {}
  RolloverProtectedClock(const RolloverProtectedClock&) = delete;
  RolloverProtectedClock& operator=(const RolloverProtectedClock&) = delete;

  TimeTicks Now();

  // Milliseconds to ticks, saturating at the maximum.
  static TimeTicks MillisecondsToTicks(int64_t milliseconds);

 private:
  Lock lock_;
  const ReadFunction read_;
  uint32_t last_reading_ = 0;
  int64_t rollover_ms_ = 0;
};

// The reference count behind Time::ActivateHighResolutionTimer: the first
// activation calls |begin|, the deactivation that brings the count back to
// 0 calls |end|; a deactivation at 0 is ignored.
class TimerPeriodActivations {
 public:
  using PeriodFunction = void (*)();

  constexpr TimerPeriodActivations(PeriodFunction begin, PeriodFunction end)
      : begin_(begin), end_(end) {}
  TimerPeriodActivations(const TimerPeriodActivations&) = delete;
  TimerPeriodActivations& operator=(const TimerPeriodActivations&) = delete;

  void Activate(bool activate);
  int count();

 private:
  Lock lock_;
  const PeriodFunction begin_;
  const PeriodFunction end_;
  int count_ = 0;
};

#if defined(_WIN32)
// The time zone for local-time conversions: the override, or null for the
// system's current zone.
const struct _TIME_ZONE_INFORMATION* CurrentTimeZoneOverride();
#endif

}  // namespace time_internal
}  // namespace base

#endif  // BASE_TIME_TIME_INTERNAL_H_
