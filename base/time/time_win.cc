// The Windows clocks: GetSystemTimeAsFileTime for the wall clock; the
// performance counter, or the rollover-protected timeGetTime counter where
// the performance counter is unreliable, for the monotonic clock; the CPU
// cycle counter for thread time.

#include <windows.h>
// After windows.h, whose types they use.
#include <intrin.h>
#include <mmsystem.h>

#include <atomic>

#include "base/cpu.h"
#include "base/logging.h"
#include "base/synchronization/lock.h"
#include "base/time/time.h"
#include "base/time/time_internal.h"
#include "base/time/time_override.h"

namespace base {

namespace {

// The system timer period that Time::ActivateHighResolutionTimer asks for.
constexpr UINT kHighResolutionTimerPeriodMs = 4;

using TickFunction = TimeTicks (*)();

TimeTicks InitialTicks();

// The clock behind TimeTicks::Now: first an entry that chooses the clock,
// then the chosen clock. The frequency is stored before the function, so a
// thread that sees the performance-counter function also sees it.
std::atomic<TickFunction> g_tick_function{&InitialTicks};
std::atomic<int64_t> g_performance_frequency{0};

std::atomic<const TIME_ZONE_INFORMATION*> g_time_zone_override{nullptr};

TimeTicks PerformanceCounterTicks() {
  LARGE_INTEGER count;
  QueryPerformanceCounter(&count);
  return TimeTicks::FromInternalValue(
      time_internal::PerformanceCounterToMicroseconds(
          count.QuadPart,
          g_performance_frequency.load(std::memory_order_relaxed)));
}

uint32_t ReadTimeGetTime() { return timeGetTime(); }

constinit time_internal::RolloverProtectedClock g_millisecond_clock(
    &ReadTimeGetTime);

TimeTicks MillisecondTicks() { return g_millisecond_clock.Now(); }

TimeTicks InitialTicks() {
  LARGE_INTEGER frequency;
  int64_t counts_per_second =
      QueryPerformanceFrequency(&frequency) ? frequency.QuadPart : 0;
  CPU cpu;
  TickFunction chosen =
      time_internal::IsPerformanceCounterReliable(counts_per_second, cpu)
          ? &PerformanceCounterTicks
          : &MillisecondTicks;
  // Two threads may choose at once; both choose the same clock.
  g_performance_frequency.store(counts_per_second, std::memory_order_relaxed);
  g_tick_function.store(chosen, std::memory_order_release);
  return chosen();
}

bool TimeStampCounterIsUsable() {
  CPU cpu;
  return cpu.has_non_stop_time_stamp_counter() &&
         !(cpu.vendor_name() == "AuthenticAMD" && cpu.family() == 15);
}

void CopyToExploded(const SYSTEMTIME& st, Time::Exploded* exploded) {
  exploded->year = st.wYear;
  exploded->month = st.wMonth;
  exploded->day_of_week = st.wDayOfWeek;
  exploded->day_of_month = st.wDay;
  exploded->hour = st.wHour;
  exploded->minute = st.wMinute;
  exploded->second = st.wSecond;
  exploded->millisecond = st.wMilliseconds;
}

SYSTEMTIME ToSystemTime(const Time::Exploded& exploded) {
  SYSTEMTIME st;
  st.wYear = static_cast<WORD>(exploded.year);
  st.wMonth = static_cast<WORD>(exploded.month);
  st.wDayOfWeek = static_cast<WORD>(exploded.day_of_week);
  st.wDay = static_cast<WORD>(exploded.day_of_month);
  st.wHour = static_cast<WORD>(exploded.hour);
  st.wMinute = static_cast<WORD>(exploded.minute);
  st.wSecond = static_cast<WORD>(exploded.second);
  st.wMilliseconds = static_cast<WORD>(exploded.millisecond);
  return st;
}

// UTC calendar fields to a time; false when the system refuses them.
bool UtcSystemTimeToTime(const SYSTEMTIME& utc, Time* time) {
  FILETIME filetime;
  if (!SystemTimeToFileTime(&utc, &filetime)) return false;
  ULARGE_INTEGER value;
  value.LowPart = filetime.dwLowDateTime;
  value.HighPart = filetime.dwHighDateTime;
  *time = Time::FromInternalValue(static_cast<int64_t>(value.QuadPart / 10));
  return true;
}

}  // namespace

namespace time_internal {

int64_t SystemTimeAsFileTime() {
  FILETIME filetime;
  GetSystemTimeAsFileTime(&filetime);
  ULARGE_INTEGER value;
  value.LowPart = filetime.dwLowDateTime;
  value.HighPart = filetime.dwHighDateTime;
  return static_cast<int64_t>(value.QuadPart);
}

TimeTicks SystemTicksNow() {
  return g_tick_function.load(std::memory_order_acquire)();
}

void BeginTimerPeriod() { timeBeginPeriod(kHighResolutionTimerPeriodMs); }
void EndTimerPeriod() { timeEndPeriod(kHighResolutionTimerPeriodMs); }

const TIME_ZONE_INFORMATION* CurrentTimeZoneOverride() {
  return g_time_zone_override.load(std::memory_order_acquire);
}

}  // namespace time_internal

// static
Time Time::FromFileTime(const FILETIME& filetime) {
  ULARGE_INTEGER value;
  value.LowPart = filetime.dwLowDateTime;
  value.HighPart = filetime.dwHighDateTime;
  return FromFileTime(value.QuadPart);
}

FILETIME Time::ToFileTime() const {
  ULARGE_INTEGER value;
  value.QuadPart = ToFileTimeValue();
  FILETIME filetime;
  filetime.dwLowDateTime = value.LowPart;
  filetime.dwHighDateTime = value.HighPart;
  return filetime;
}

// static
bool Time::FromExploded(const Exploded& exploded, Time* time) {
  *time = Time();
  // Checked before the fields are narrowed to 16 bits, so that e.g. year
  // 67137 cannot pass as year 1601.
  if (!exploded.HasValidValues()) return false;
  SYSTEMTIME local = ToSystemTime(exploded);
  SYSTEMTIME utc;
  if (!TzSpecificLocalTimeToSystemTime(time_internal::CurrentTimeZoneOverride(),
                                       &local, &utc)) {
    return false;
  }
  return UtcSystemTimeToTime(utc, time);
}

// static
bool Time::FromUTCExploded(const Exploded& exploded, Time* time) {
  *time = Time();
  if (!exploded.HasValidValues()) return false;
  return UtcSystemTimeToTime(ToSystemTime(exploded), time);
}

bool Time::Explode(bool is_local, Exploded* exploded) const {
  *exploded = Exploded();
  // Before 1601, or too late to be a FILETIME.
  if (us_ < 0 || us_ > kMaxValue / 10) return false;
  ULARGE_INTEGER value;
  value.QuadPart = static_cast<uint64_t>(us_) * 10;
  FILETIME filetime;
  filetime.dwLowDateTime = value.LowPart;
  filetime.dwHighDateTime = value.HighPart;
  SYSTEMTIME utc;
  if (!FileTimeToSystemTime(&filetime, &utc)) return false;
  if (!is_local) {
    CopyToExploded(utc, exploded);
    return true;
  }
  SYSTEMTIME local;
  if (!SystemTimeToTzSpecificLocalTime(time_internal::CurrentTimeZoneOverride(),
                                       &utc, &local)) {
    return false;
  }
  CopyToExploded(local, exploded);
  return true;
}

// static
bool TimeTicks::IsHighResolution() {
  if (g_tick_function.load(std::memory_order_acquire) == &InitialTicks) Now();
  return g_tick_function.load(std::memory_order_acquire) ==
         &PerformanceCounterTicks;
}

// static
bool ThreadTicks::IsSupported() {
  // Some Windows emulations report an invariant counter but cannot give a
  // thread's cycles.
  static const bool supported = [] {
    ULONG64 cycles = 0;
    return TimeStampCounterIsUsable() &&
           QueryThreadCycleTime(GetCurrentThread(), &cycles);
  }();
  return supported;
}

// static
double ThreadTicks::TSCTicksPerSecond() {
  // Measured over the time since the first call: the rate is known once at
  // least 50 ms lie between the two samples.
  static constinit Lock lock;
  static double ticks_per_second = 0;
  static uint64_t initial_tsc = 0;
  static int64_t initial_counter = 0;
  static bool have_initial_sample = false;

  AutoLock hold(lock);
  if (ticks_per_second != 0) return ticks_per_second;

  // Both samples are taken at high priority so that no other thread runs
  // between them.
  HANDLE thread = GetCurrentThread();
  int previous_priority = GetThreadPriority(thread);
  SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST);
  LARGE_INTEGER counter;
  if (!have_initial_sample) {
    initial_tsc = __rdtsc();
    QueryPerformanceCounter(&counter);
    initial_counter = counter.QuadPart;
    have_initial_sample = true;
  }
  uint64_t tsc_now = __rdtsc();
  QueryPerformanceCounter(&counter);
  SetThreadPriority(thread, previous_priority);

  LARGE_INTEGER frequency;
  if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0)
    return 0;
  double elapsed_seconds =
      static_cast<double>(counter.QuadPart - initial_counter) /
      static_cast<double>(frequency.QuadPart);
  if (elapsed_seconds < 0.05) return 0;
  ticks_per_second =
      static_cast<double>(tsc_now - initial_tsc) / elapsed_seconds;
  return ticks_per_second;
}

// static
ThreadTicks ThreadTicks::Now() {
  if (!IsSupported()) return ThreadTicks();
  ULONG64 cycles = 0;
  if (!QueryThreadCycleTime(GetCurrentThread(), &cycles)) return ThreadTicks();
  double ticks_per_second = TSCTicksPerSecond();
  if (ticks_per_second == 0) return ThreadTicks();
  return ThreadTicks(static_cast<int64_t>(
      static_cast<double>(cycles) / ticks_per_second * kMicrosecondsPerSecond));
}

namespace subtle {

ScopedTimeZoneOverride::ScopedTimeZoneOverride(
    const TIME_ZONE_INFORMATION& zone) {
  g_time_zone_override.store(&zone, std::memory_order_release);
}

ScopedTimeZoneOverride::~ScopedTimeZoneOverride() {
  g_time_zone_override.store(nullptr, std::memory_order_release);
}

}  // namespace subtle

}  // namespace base
