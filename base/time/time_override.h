// Test seams for the clocks behind Time and TimeTicks.
//
// Each override replaces one system source for the whole process while the
// scoped object lives, and Time::Now's synchronisation is reset when it is
// installed and when it is removed. Overrides do not nest across threads:
// install them on the test's main thread before starting other threads.

#ifndef BASE_TIME_TIME_OVERRIDE_H_
#define BASE_TIME_TIME_OVERRIDE_H_

#include <stdint.h>

#include "base/time/time.h"

#if defined(_WIN32)
struct _TIME_ZONE_INFORMATION;
#endif

namespace base {
namespace subtle {

// The wall clock in FILETIME units (100 ns since 1601-01-01 UTC).
using SystemTimeFunction = int64_t (*)();
// The monotonic clock.
using TimeTicksFunction = TimeTicks (*)();

class ScopedTimeClockOverrides {
 public:
  // A null function keeps the system's source.
  ScopedTimeClockOverrides(SystemTimeFunction system_time,
                           TimeTicksFunction ticks_now);
  ScopedTimeClockOverrides(const ScopedTimeClockOverrides&) = delete;
  ScopedTimeClockOverrides& operator=(const ScopedTimeClockOverrides&) = delete;
  ~ScopedTimeClockOverrides();
};

#if defined(_WIN32)
// Local-time conversions (Time::Explode with is_local, Time::FromExploded)
// use |zone| in place of the system's current time zone. |zone| must
// outlive the object.
class ScopedTimeZoneOverride {
 public:
  explicit ScopedTimeZoneOverride(const _TIME_ZONE_INFORMATION& zone);
  ScopedTimeZoneOverride(const ScopedTimeZoneOverride&) = delete;
  ScopedTimeZoneOverride& operator=(const ScopedTimeZoneOverride&) = delete;
  ~ScopedTimeZoneOverride();
};
#endif

}  // namespace subtle
}  // namespace base

#endif  // BASE_TIME_TIME_OVERRIDE_H_
