// Time, TimeDelta, TimeTicks and ThreadTicks: the clocks and spans of the
// whole system. Each is one signed 64-bit count of microseconds, copied by
// value. Every sum, difference and conversion saturates instead of wrapping:
// results beyond the range become TimeDelta::Max() or minus it (never the
// most negative 64-bit value).
//
// Time: wall-clock time since 1601-01-01 00:00 UTC (the FILETIME epoch; one
//   unit is ten FILETIME units). 0 is the null time, INT64_MAX the maximum
//   time, and both survive every conversion.
// TimeTicks: a monotonic clock from an arbitrary origin, for deadlines and
//   time-outs; it never goes backwards within a process.
// ThreadTicks: the CPU time of a thread, for diagnostics only.
//
// All functions are safe to call from any thread.

#ifndef BASE_TIME_TIME_H_
#define BASE_TIME_TIME_H_

#include <stdint.h>

#include <compare>
#include <iosfwd>
#include <limits>

#if defined(_WIN32)
struct _FILETIME;
#endif

namespace base {

inline constexpr int64_t kMicrosecondsPerMillisecond = 1000;
inline constexpr int64_t kMillisecondsPerSecond = 1000;
inline constexpr int64_t kMicrosecondsPerSecond = 1000000;
inline constexpr int64_t kMicrosecondsPerMinute = 60 * kMicrosecondsPerSecond;
inline constexpr int64_t kMicrosecondsPerHour = 60 * kMicrosecondsPerMinute;
inline constexpr int64_t kMicrosecondsPerDay = 24 * kMicrosecondsPerHour;

class TimeDelta {
 public:
  // The largest span; minus it is the smallest.
  static constexpr int64_t kMaxValue = std::numeric_limits<int64_t>::max();

  // Validity codes of FromCheckedValue.
  static constexpr int kValid = 0;
  static constexpr int kUnderflow = 1;
  static constexpr int kOverflow = 2;

  constexpr TimeDelta() = default;

  // The most negative 64-bit value is taken as minus the maximum.
  static constexpr TimeDelta FromInternalValue(int64_t microseconds) {
    return TimeDelta(Clamp(microseconds));
  }
  static constexpr TimeDelta FromMicroseconds(int64_t microseconds) {
    return TimeDelta(Clamp(microseconds));
  }
  static TimeDelta FromMilliseconds(int64_t milliseconds) {
    return SaturatedFromProduct(milliseconds, kMicrosecondsPerMillisecond);
  }
  static TimeDelta FromSeconds(int64_t seconds) {
    return SaturatedFromProduct(seconds, kMicrosecondsPerSecond);
  }
  static TimeDelta FromMinutes(int64_t minutes) {
    return SaturatedFromProduct(minutes, kMicrosecondsPerMinute);
  }
  static TimeDelta FromHours(int64_t hours) {
    return SaturatedFromProduct(hours, kMicrosecondsPerHour);
  }
  static TimeDelta FromDays(int64_t days) {
    return SaturatedFromProduct(days, kMicrosecondsPerDay);
  }
  // Rounded toward zero; NaN gives 0, out-of-range values saturate.
  static TimeDelta FromSecondsD(double seconds);
  static TimeDelta FromMillisecondsD(double milliseconds);

  static constexpr TimeDelta Max() { return TimeDelta(kMaxValue); }

  // value x unit, clamped to [-Max, Max]. Both may be any 64-bit value;
  // |unit| is a positive count of microseconds per |value| step.
  static TimeDelta SaturatedFromProduct(int64_t value, int64_t unit);
  // a + b and a - b, clamped to [-Max, Max] on overflow.
  static int64_t SaturatedAdd(int64_t a, int64_t b);
  static int64_t SaturatedSub(int64_t a, int64_t b);
  // |value| for kValid, minus the maximum for kUnderflow, the maximum for
  // kOverflow (any other code counts as overflow).
  static TimeDelta FromCheckedValue(int64_t value, int validity);

  constexpr int64_t ToInternalValue() const { return delta_; }
  constexpr bool is_zero() const { return delta_ == 0; }
  constexpr bool is_max() const { return delta_ == kMaxValue; }
  constexpr bool is_min() const { return delta_ == -kMaxValue; }

  // Truncated toward zero; the maximum span gives the largest 64-bit value.
  int64_t InDays() const;
  int64_t InHours() const;
  int64_t InMinutes() const;
  int64_t InSeconds() const;
  int64_t InMilliseconds() const;
  // Rounded up toward +infinity, for time-outs that must not end early; the
  // maximum span gives the largest 64-bit value.
  int64_t InMillisecondsRoundedUp() const;
  constexpr int64_t InMicroseconds() const { return delta_; }
  double InSecondsF() const;
  double InMillisecondsF() const;

  TimeDelta operator+(TimeDelta other) const {
    return TimeDelta(SaturatedAdd(delta_, other.delta_));
  }
  TimeDelta operator-(TimeDelta other) const {
    return TimeDelta(SaturatedSub(delta_, other.delta_));
  }
  TimeDelta& operator+=(TimeDelta other) { return *this = *this + other; }
  TimeDelta& operator-=(TimeDelta other) { return *this = *this - other; }
  TimeDelta operator-() const { return TimeDelta(SaturatedSub(0, delta_)); }
  TimeDelta operator*(int64_t factor) const {
    return SaturatedFromProduct(delta_, factor);
  }
  // Division by zero is a programming error (checked).
  TimeDelta operator/(int64_t divisor) const;
  int64_t operator/(TimeDelta divisor) const;
  TimeDelta operator%(TimeDelta divisor) const;

  constexpr auto operator<=>(const TimeDelta&) const = default;

 private:
  constexpr explicit TimeDelta(int64_t delta) : delta_(delta) {}
  static constexpr int64_t Clamp(int64_t value) {
    return value == std::numeric_limits<int64_t>::min() ? -kMaxValue : value;
  }

  int64_t delta_ = 0;
};

inline TimeDelta operator*(int64_t factor, TimeDelta delta) {
  return delta * factor;
}

class Time {
 public:
  // Microseconds from 1601-01-01 to 1970-01-01 (the Unix epoch).
  static constexpr int64_t kTimeTToMicrosecondsOffset = 11644473600000000;
  static constexpr int64_t kMaxValue = std::numeric_limits<int64_t>::max();

  // Calendar fields, in this order. A time that cannot be exploded (before
  // 1601 or beyond the system's range) explodes to all zeros.
  struct Exploded {
    int year;          // four digits
    int month;         // 1 (January) to 12
    int day_of_week;   // 0 (Sunday) to 6; ignored by FromExploded
    int day_of_month;  // 1 to 31
    int hour;          // 0 to 23
    int minute;        // 0 to 59
    int second;        // 0 to 59
    int millisecond;   // 0 to 999

    // True when every field other than day_of_week is in its range and the
    // year is one the system can convert (1601 to 30827).
    bool HasValidValues() const;
  };

  constexpr Time() = default;

  static constexpr Time FromInternalValue(int64_t microseconds) {
    return Time(microseconds);
  }
  constexpr int64_t ToInternalValue() const { return us_; }
  constexpr bool is_null() const { return us_ == 0; }
  constexpr bool is_max() const { return us_ == kMaxValue; }
  static constexpr Time Max() { return Time(kMaxValue); }
  static constexpr Time UnixEpoch() { return Time(kTimeTToMicrosecondsOffset); }

  // The current wall-clock time: the system time at the last
  // synchronisation plus the monotonic time elapsed since, re-synchronised
  // after 60 seconds.
  static Time Now();
  // Re-synchronises with the system clock and returns the system time.
  static Time NowFromSystemTime();

  // FILETIME units (100 ns since 1601): 0 gives the null time, all ones the
  // maximum, anything else value / 10 with the value read as signed.
  static Time FromFileTime(uint64_t filetime);
  // The reverse: null gives 0, the maximum (or any time too large for a
  // FILETIME) gives all ones, a time before 1601 gives 0.
  uint64_t ToFileTimeValue() const;
#if defined(_WIN32)
  static Time FromFileTime(const _FILETIME& filetime);
  _FILETIME ToFileTime() const;
#endif

  // Whole seconds since 1970-01-01 UTC, truncated toward zero; 0 and the
  // maximum are kept as such.
  static Time FromTimeT(int64_t seconds);
  int64_t ToTimeT() const;
  // Milliseconds since 1970-01-01 UTC, truncated toward zero; 0 and the
  // maximum are kept as such.
  static Time FromMillisecondsSinceUnixEpoch(int64_t milliseconds);
  int64_t ToMillisecondsSinceUnixEpoch() const;

  // Local calendar fields to a time through the system's time-zone rules.
  // False, with |time| null, when the fields are invalid or the system
  // cannot convert them.
  static bool FromExploded(const Exploded& exploded, Time* time);
  // The same for UTC fields.
  static bool FromUTCExploded(const Exploded& exploded, Time* time);

  // The calendar fields in local time or UTC. False, with all fields 0, for
  // a time before 1601 or one the system cannot convert.
  bool Explode(bool is_local, Exploded* exploded) const;
  void LocalExplode(Exploded* exploded) const { Explode(true, exploded); }
  void UTCExplode(Exploded* exploded) const { Explode(false, exploded); }

  // Reference-counted request for a 4 ms system timer period: the first
  // activation starts it, the matching last deactivation ends it. An
  // unmatched deactivation is ignored.
  static void ActivateHighResolutionTimer(bool activate);
  // True while at least one activation is in force.
  static bool IsHighResolutionTimerInUse();

  Time operator+(TimeDelta delta) const {
    return Time(TimeDelta::SaturatedAdd(us_, delta.InMicroseconds()));
  }
  Time operator-(TimeDelta delta) const {
    return Time(TimeDelta::SaturatedSub(us_, delta.InMicroseconds()));
  }
  TimeDelta operator-(Time other) const {
    return TimeDelta::FromMicroseconds(TimeDelta::SaturatedSub(us_, other.us_));
  }
  Time& operator+=(TimeDelta delta) { return *this = *this + delta; }
  Time& operator-=(TimeDelta delta) { return *this = *this - delta; }

  constexpr auto operator<=>(const Time&) const = default;

 private:
  constexpr explicit Time(int64_t us) : us_(us) {}

  int64_t us_ = 0;
};

class TimeTicks {
 public:
  constexpr TimeTicks() = default;

  // The monotonic clock. On Windows the performance counter when it is
  // reliable on this processor, else the rollover-protected millisecond
  // counter; chosen once, on the first call.
  static TimeTicks Now();
  // True when Now() reads a clock finer than a millisecond.
  static bool IsHighResolution();

  static constexpr TimeTicks FromInternalValue(int64_t microseconds) {
    return TimeTicks(microseconds);
  }
  constexpr int64_t ToInternalValue() const { return us_; }
  constexpr bool is_null() const { return us_ == 0; }
  constexpr bool is_max() const { return us_ == TimeDelta::kMaxValue; }
  static constexpr TimeTicks Max() { return TimeTicks(TimeDelta::kMaxValue); }

  TimeTicks operator+(TimeDelta delta) const {
    return TimeTicks(TimeDelta::SaturatedAdd(us_, delta.InMicroseconds()));
  }
  TimeTicks operator-(TimeDelta delta) const {
    return TimeTicks(TimeDelta::SaturatedSub(us_, delta.InMicroseconds()));
  }
  TimeDelta operator-(TimeTicks other) const {
    return TimeDelta::FromMicroseconds(TimeDelta::SaturatedSub(us_, other.us_));
  }
  TimeTicks& operator+=(TimeDelta delta) { return *this = *this + delta; }
  TimeTicks& operator-=(TimeDelta delta) { return *this = *this - delta; }

  constexpr auto operator<=>(const TimeTicks&) const = default;

 private:
  constexpr explicit TimeTicks(int64_t us) : us_(us) {}

  int64_t us_ = 0;
};

class ThreadTicks {
 public:
  constexpr ThreadTicks() = default;

  // Whether Now() can measure thread time here, computed once (on Windows:
  // a non-stop time-stamp counter, not an AMD family-15 processor, and a
  // system that gives a thread's cycle count).
  static bool IsSupported();
  // The time-stamp counter's ticks per second; 0 until at least 50 ms have
  // passed since the first call (the value is cached once measured).
  static double TSCTicksPerSecond();
  // The calling thread's CPU time; null while it cannot be measured.
  static ThreadTicks Now();

  static constexpr ThreadTicks FromInternalValue(int64_t microseconds) {
    return ThreadTicks(microseconds);
  }
  constexpr int64_t ToInternalValue() const { return us_; }
  constexpr bool is_null() const { return us_ == 0; }

  TimeDelta operator-(ThreadTicks other) const {
    return TimeDelta::FromMicroseconds(TimeDelta::SaturatedSub(us_, other.us_));
  }

  constexpr auto operator<=>(const ThreadTicks&) const = default;

 private:
  constexpr explicit ThreadTicks(int64_t us) : us_(us) {}

  int64_t us_ = 0;
};

// For test failure messages and logs: the span in microseconds ("1500 us"),
// the times as their internal values.
std::ostream& operator<<(std::ostream& out, TimeDelta delta);
std::ostream& operator<<(std::ostream& out, Time time);
std::ostream& operator<<(std::ostream& out, TimeTicks ticks);

}  // namespace base

#endif  // BASE_TIME_TIME_H_
