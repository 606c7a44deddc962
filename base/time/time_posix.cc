// The clocks where Windows is not: CLOCK_REALTIME for the wall clock,
// CLOCK_MONOTONIC for the ticks, CLOCK_THREAD_CPUTIME_ID for thread time,
// and the C library's calendar functions for exploding times.

#include <time.h>

#include "base/time/time.h"
#include "base/time/time_internal.h"

namespace base {

namespace {

int64_t TimespecToMicroseconds(const timespec& ts) {
  return static_cast<int64_t>(ts.tv_sec) * kMicrosecondsPerSecond +
         ts.tv_nsec / 1000;
}

// Splits microseconds since 1970 into whole seconds and milliseconds, both
// rounded toward minus infinity (times before 1970 are negative).
void SplitUnixMicroseconds(int64_t unix_us, time_t* seconds,
                           int* milliseconds) {
  int64_t whole = unix_us / kMicrosecondsPerSecond;
  int64_t rest = unix_us % kMicrosecondsPerSecond;
  if (rest < 0) {
    --whole;
    rest += kMicrosecondsPerSecond;
  }
  *seconds = static_cast<time_t>(whole);
  *milliseconds = static_cast<int>(rest / kMicrosecondsPerMillisecond);
}

bool ExplodedToTime(const Time::Exploded& exploded, bool is_local, Time* time) {
  *time = Time();
  if (!exploded.HasValidValues()) return false;
  struct tm fields = {};
  fields.tm_year = exploded.year - 1900;
  fields.tm_mon = exploded.month - 1;
  fields.tm_mday = exploded.day_of_month;
  fields.tm_hour = exploded.hour;
  fields.tm_min = exploded.minute;
  fields.tm_sec = exploded.second;
  fields.tm_isdst = -1;
  time_t seconds = is_local ? mktime(&fields) : timegm(&fields);
  if (seconds == static_cast<time_t>(-1) && exploded.year != 1969 &&
      exploded.year != 1970) {
    return false;
  }
  *time = Time::UnixEpoch() + TimeDelta::FromSeconds(seconds) +
          TimeDelta::FromMilliseconds(exploded.millisecond);
  return true;
}

}  // namespace

namespace time_internal {

int64_t SystemTimeAsFileTime() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return (TimespecToMicroseconds(ts) + Time::kTimeTToMicrosecondsOffset) * 10;
}

TimeTicks SystemTicksNow() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return TimeTicks::FromInternalValue(TimespecToMicroseconds(ts));
}

// No system timer period to change here.
void BeginTimerPeriod() {}
void EndTimerPeriod() {}

}  // namespace time_internal

// static
bool Time::FromExploded(const Exploded& exploded, Time* time) {
  return ExplodedToTime(exploded, true, time);
}

// static
bool Time::FromUTCExploded(const Exploded& exploded, Time* time) {
  return ExplodedToTime(exploded, false, time);
}

bool Time::Explode(bool is_local, Exploded* exploded) const {
  *exploded = Exploded();
  if (us_ < 0 || us_ > kMaxValue / 10) return false;
  time_t seconds;
  int milliseconds;
  SplitUnixMicroseconds(us_ - kTimeTToMicrosecondsOffset, &seconds,
                        &milliseconds);
  struct tm fields;
  if (!(is_local ? localtime_r(&seconds, &fields)
                 : gmtime_r(&seconds, &fields))) {
    return false;
  }
  exploded->year = fields.tm_year + 1900;
  exploded->month = fields.tm_mon + 1;
  exploded->day_of_week = fields.tm_wday;
  exploded->day_of_month = fields.tm_mday;
  exploded->hour = fields.tm_hour;
  exploded->minute = fields.tm_min;
  exploded->second = fields.tm_sec;
  exploded->millisecond = milliseconds;
  return true;
}

// static
bool TimeTicks::IsHighResolution() { return true; }

// static
bool ThreadTicks::IsSupported() { return true; }

// static
double ThreadTicks::TSCTicksPerSecond() { return 0; }

// static
ThreadTicks ThreadTicks::Now() {
  timespec ts;
  if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts) != 0) return ThreadTicks();
  return ThreadTicks(TimespecToMicroseconds(ts));
}

}  // namespace base
