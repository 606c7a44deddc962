#include "base/time/time.h"

#include <atomic>
#include <cmath>
#include <ostream>

#include "base/cpu.h"
#include "base/logging.h"
#include "base/synchronization/lock.h"
#include "base/time/time_internal.h"
#include "base/time/time_override.h"

namespace base {

namespace {

constexpr int64_t kMax = TimeDelta::kMaxValue;
constexpr int64_t kMin = -TimeDelta::kMaxValue;

// The largest FILETIME value; also the maximum time's FILETIME.
constexpr uint64_t kMaxFileTime = ~uint64_t{0};

// Time::Now re-reads the system clock once the monotonic clock has run this
// long since the last synchronisation, so that clock adjustments show.
constexpr int64_t kMaxMillisecondsBetweenSyncs = 60000;

std::atomic<subtle::SystemTimeFunction> g_system_time_override{nullptr};
std::atomic<subtle::TimeTicksFunction> g_ticks_override{nullptr};

// The system time at the last synchronisation and the tick reading taken
// just before it. Kept under a lock as one pair: a reader that paired a new
// tick with an old time would go back by up to a minute.
struct TimeSync {
  Lock lock;
  int64_t time_us = 0;
  TimeTicks ticks;
};
constinit TimeSync g_sync;

int64_t ReadSystemTime() {
  subtle::SystemTimeFunction override_function =
      g_system_time_override.load(std::memory_order_acquire);
  return override_function ? override_function()
                           : time_internal::SystemTimeAsFileTime();
}

// Takes a fresh pair; g_sync.lock must be held.
void SynchronizeLocked() {
  g_sync.ticks = TimeTicks::Now();
  g_sync.time_us = ReadSystemTime() / 10;
}

void ResetSynchronization() {
  AutoLock lock(g_sync.lock);
  g_sync.time_us = 0;
  g_sync.ticks = TimeTicks();
}

void BeginSystemTimerPeriod() { time_internal::BeginTimerPeriod(); }
void EndSystemTimerPeriod() { time_internal::EndTimerPeriod(); }

constinit time_internal::TimerPeriodActivations g_timer_activations(
    &BeginSystemTimerPeriod, &EndSystemTimerPeriod);

// A span given in microseconds as a double, truncated toward zero and
// clamped to [-Max, Max]; NaN gives 0.
TimeDelta FromDouble(double microseconds) {
  if (std::isnan(microseconds)) return TimeDelta();
  if (microseconds >= static_cast<double>(kMax)) return TimeDelta::Max();
  if (microseconds <= static_cast<double>(kMin)) return -TimeDelta::Max();
  return TimeDelta::FromMicroseconds(static_cast<int64_t>(microseconds));
}

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30,
                                  31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

// TimeDelta ------------------------------------------------------------------

// static
int64_t TimeDelta::SaturatedAdd(int64_t a, int64_t b) {
  int64_t result;
  if (__builtin_add_overflow(a, b, &result)) return result >= 0 ? kMin : kMax;
  return result == std::numeric_limits<int64_t>::min() ? kMin : result;
}

// static
int64_t TimeDelta::SaturatedSub(int64_t a, int64_t b) {
  int64_t result;
  if (__builtin_sub_overflow(a, b, &result)) return result >= 0 ? kMin : kMax;
  return result == std::numeric_limits<int64_t>::min() ? kMin : result;
}

// static
TimeDelta TimeDelta::SaturatedFromProduct(int64_t value, int64_t unit) {
  int64_t result;
  if (__builtin_mul_overflow(value, unit, &result))
    return TimeDelta(((value < 0) != (unit < 0)) ? kMin : kMax);
  return TimeDelta(Clamp(result));
}

// static
TimeDelta TimeDelta::FromCheckedValue(int64_t value, int validity) {
  if (validity == kValid) return FromMicroseconds(value);
  return TimeDelta(validity == kUnderflow ? kMin : kMax);
}

// static
TimeDelta TimeDelta::FromSecondsD(double seconds) {
  return FromDouble(seconds * kMicrosecondsPerSecond);
}

// static
TimeDelta TimeDelta::FromMillisecondsD(double milliseconds) {
  return FromDouble(milliseconds * kMicrosecondsPerMillisecond);
}

int64_t TimeDelta::InDays() const {
  return is_max() ? kMax : delta_ / kMicrosecondsPerDay;
}

int64_t TimeDelta::InHours() const {
  return is_max() ? kMax : delta_ / kMicrosecondsPerHour;
}

int64_t TimeDelta::InMinutes() const {
  return is_max() ? kMax : delta_ / kMicrosecondsPerMinute;
}

int64_t TimeDelta::InSeconds() const {
  return is_max() ? kMax : delta_ / kMicrosecondsPerSecond;
}

int64_t TimeDelta::InMilliseconds() const {
  return is_max() ? kMax : delta_ / kMicrosecondsPerMillisecond;
}

int64_t TimeDelta::InMillisecondsRoundedUp() const {
  if (is_max()) return kMax;
  int64_t result = delta_ / kMicrosecondsPerMillisecond;
  if (delta_ % kMicrosecondsPerMillisecond > 0) ++result;
  return result;
}

double TimeDelta::InSecondsF() const {
  if (is_max()) return std::numeric_limits<double>::infinity();
  if (is_min()) return -std::numeric_limits<double>::infinity();
  return static_cast<double>(delta_) / kMicrosecondsPerSecond;
}

double TimeDelta::InMillisecondsF() const {
  if (is_max()) return std::numeric_limits<double>::infinity();
  if (is_min()) return -std::numeric_limits<double>::infinity();
  return static_cast<double>(delta_) / kMicrosecondsPerMillisecond;
}

TimeDelta TimeDelta::operator/(int64_t divisor) const {
  CHECK(divisor != 0) << "TimeDelta divided by zero";
  if (divisor == -1) return -*this;
  return TimeDelta(delta_ / divisor);
}

int64_t TimeDelta::operator/(TimeDelta divisor) const {
  CHECK(divisor.delta_ != 0) << "TimeDelta divided by zero";
  return delta_ / divisor.delta_;
}

TimeDelta TimeDelta::operator%(TimeDelta divisor) const {
  CHECK(divisor.delta_ != 0) << "TimeDelta divided by zero";
  return TimeDelta(delta_ % divisor.delta_);
}

// Time -----------------------------------------------------------------------

bool Time::Exploded::HasValidValues() const {
  // The system converts years 1601 to 30827 only.
  if (year < 1601 || year > 30827) return false;
  if (month < 1 || month > 12) return false;
  if (day_of_month < 1 || day_of_month > DaysInMonth(year, month)) return false;
  return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 &&
         second >= 0 && second <= 59 && millisecond >= 0 && millisecond <= 999;
}

// static
Time Time::Now() {
  AutoLock lock(g_sync.lock);
  if (g_sync.time_us == 0) SynchronizeLocked();
  for (;;) {
    TimeDelta elapsed = TimeTicks::Now() - g_sync.ticks;
    if (elapsed.is_max() ||
        elapsed.InMilliseconds() > kMaxMillisecondsBetweenSyncs) {
      SynchronizeLocked();
      continue;
    }
    return Time(g_sync.time_us) + elapsed;
  }
}

// static
Time Time::NowFromSystemTime() {
  AutoLock lock(g_sync.lock);
  SynchronizeLocked();
  return Time(g_sync.time_us);
}

// static
Time Time::FromFileTime(uint64_t filetime) {
  if (filetime == 0) return Time();
  if (filetime == kMaxFileTime) return Max();
  return Time(static_cast<int64_t>(filetime) / 10);
}

uint64_t Time::ToFileTimeValue() const {
  if (is_null()) return 0;
  if (us_ < 0) return 0;
  if (is_max() || us_ > kMax / 10) return kMaxFileTime;
  return static_cast<uint64_t>(us_) * 10;
}

// static
Time Time::FromTimeT(int64_t seconds) {
  if (seconds == 0) return Time();
  if (seconds == kMax) return Max();
  return UnixEpoch() + TimeDelta::FromSeconds(seconds);
}

int64_t Time::ToTimeT() const {
  if (is_null()) return 0;
  // At and above this value the seconds since 1970 would not reach back
  // from the maximum time: such times are "the end of time".
  if (us_ >= kMax - kTimeTToMicrosecondsOffset) return kMax;
  return TimeDelta::SaturatedSub(us_, kTimeTToMicrosecondsOffset) /
         kMicrosecondsPerSecond;
}

// static
Time Time::FromMillisecondsSinceUnixEpoch(int64_t milliseconds) {
  if (milliseconds == 0) return Time();
  if (milliseconds == kMax) return Max();
  return UnixEpoch() + TimeDelta::FromMilliseconds(milliseconds);
}

int64_t Time::ToMillisecondsSinceUnixEpoch() const {
  if (is_null()) return 0;
  if (is_max()) return kMax;
  return TimeDelta::SaturatedSub(us_, kTimeTToMicrosecondsOffset) /
         kMicrosecondsPerMillisecond;
}

// static
void Time::ActivateHighResolutionTimer(bool activate) {
  g_timer_activations.Activate(activate);
}

// static
bool Time::IsHighResolutionTimerInUse() {
  return g_timer_activations.count() > 0;
}

// TimeTicks ------------------------------------------------------------------

// static
TimeTicks TimeTicks::Now() {
  subtle::TimeTicksFunction override_function =
      g_ticks_override.load(std::memory_order_acquire);
  return override_function ? override_function()
                           : time_internal::SystemTicksNow();
}

// Printing -------------------------------------------------------------------

std::ostream& operator<<(std::ostream& out, TimeDelta delta) {
  return out << delta.InMicroseconds() << " us";
}

std::ostream& operator<<(std::ostream& out, Time time) {
  return out << "Time(" << time.ToInternalValue() << ")";
}

std::ostream& operator<<(std::ostream& out, TimeTicks ticks) {
  return out << "TimeTicks(" << ticks.ToInternalValue() << ")";
}

// Internals ------------------------------------------------------------------

namespace time_internal {

int64_t PerformanceCounterToMicroseconds(int64_t count, int64_t frequency) {
  // Below this count, count x 1e6 fits in 64 bits; above it the whole
  // seconds and the remainder are converted apart.
  constexpr int64_t kLargestSafeCount = 0x8637BD05AF7;
  if (count < kLargestSafeCount)
    return count * kMicrosecondsPerSecond / frequency;
  int64_t whole_seconds = count / frequency;
  int64_t remainder = count % frequency;
  return whole_seconds * kMicrosecondsPerSecond +
         remainder * kMicrosecondsPerSecond / frequency;
}

bool IsPerformanceCounterReliable(int64_t frequency, const CPU& cpu) {
  if (frequency <= 0) return false;
  if (!cpu.has_non_stop_time_stamp_counter()) return false;
  return !(cpu.vendor_name() == "AuthenticAMD" && cpu.family() == 15);
}

TimeTicks RolloverProtectedClock::Now() {
  AutoLock lock(lock_);
  uint32_t reading = read_();
  if (reading < last_reading_) rollover_ms_ += int64_t{1} << 32;
  last_reading_ = reading;
  return MillisecondsToTicks(reading + rollover_ms_);
}

// static
TimeTicks RolloverProtectedClock::MillisecondsToTicks(int64_t milliseconds) {
  return TimeTicks() + TimeDelta::FromMilliseconds(milliseconds);
}

void TimerPeriodActivations::Activate(bool activate) {
  AutoLock lock(lock_);
  if (activate) {
    if (++count_ == 1) begin_();
    return;
  }
  if (count_ == 0) {
    LOG(ERROR) << "High-resolution timer deactivated more often than "
                  "activated";
    return;
  }
  if (--count_ == 0) end_();
}

int TimerPeriodActivations::count() {
  AutoLock lock(lock_);
  return count_;
}

}  // namespace time_internal

// Overrides ------------------------------------------------------------------

namespace subtle {

ScopedTimeClockOverrides::ScopedTimeClockOverrides(
    SystemTimeFunction system_time, TimeTicksFunction ticks_now) {
  g_system_time_override.store(system_time, std::memory_order_release);
  g_ticks_override.store(ticks_now, std::memory_order_release);
  ResetSynchronization();
}

ScopedTimeClockOverrides::~ScopedTimeClockOverrides() {
  g_system_time_override.store(nullptr, std::memory_order_release);
  g_ticks_override.store(nullptr, std::memory_order_release);
  ResetSynchronization();
}

}  // namespace subtle

}  // namespace base
