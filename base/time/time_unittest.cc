#include "base/time/time.h"

#include <stdint.h>
#include <string.h>

#include <cmath>
#include <limits>
#include <vector>

#include "base/cpu.h"
#include "base/time/time_internal.h"
#include "base/time/time_override.h"
#include "gtest/gtest.h"

namespace base {
namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

// 2000-01-01 00:00:00 UTC.
constexpr int64_t kY2kUnixSeconds = 946684800;
constexpr uint64_t kY2kFileTime = 125911584000000000ULL;

TEST(TimeDeltaTest, SaturatingAddAndSubtract) {
  struct Case {
    int64_t a;
    int64_t b;
    int64_t sum;
    int64_t difference;
  } cases[] = {
      {1, 2, 3, -1},
      {kMax, 1, kMax, kMax - 1},
      {-kMax, -1, -kMax, -kMax + 1},
      // Minus the maximum minus one would be the most negative value, which
      // no result may be.
      {-kMax, 1, -kMax + 1, -kMax},
      {-5, kMax, kMax - 5, -kMax},
      {kMax, -1, kMax - 1, kMax},
      {-kMax, -kMax, -kMax, 0},
      {kMax, kMax, kMax, 0},
      {kMin, 0, -kMax, -kMax},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << " and " << c.b);
    EXPECT_EQ(c.sum, TimeDelta::SaturatedAdd(c.a, c.b));
    EXPECT_EQ(c.difference, TimeDelta::SaturatedSub(c.a, c.b));
  }
}

TEST(TimeDeltaTest, SaturatedFromProductClampsAtTheLimits) {
  struct Case {
    int64_t value;
    int64_t unit;
    int64_t expected;
  } cases[] = {
      {9223372036854775, 1000, 9223372036854775000},
      {9223372036854776, 1000, kMax},
      {-9223372036854775, 1000, -9223372036854775000},
      {-9223372036854776, 1000, -kMax},
      {kMin, 1, -kMax},
      {kMax, 1, kMax},
      {0, 1000, 0},
      {-3, 1000, -3000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.value << " x " << c.unit);
    EXPECT_EQ(
        c.expected,
        TimeDelta::SaturatedFromProduct(c.value, c.unit).InMicroseconds());
  }
  EXPECT_EQ(-kMax, (TimeDelta::Max() * -2).InMicroseconds());
  EXPECT_EQ(kMax, (TimeDelta::FromSeconds(-1) * kMin).InMicroseconds());
}

TEST(TimeDeltaTest, FromCheckedValue) {
  EXPECT_EQ(5,
            TimeDelta::FromCheckedValue(5, TimeDelta::kValid).InMicroseconds());
  EXPECT_EQ(
      -kMax,
      TimeDelta::FromCheckedValue(5, TimeDelta::kUnderflow).InMicroseconds());
  EXPECT_EQ(
      kMax,
      TimeDelta::FromCheckedValue(5, TimeDelta::kOverflow).InMicroseconds());
}

TEST(TimeDeltaTest, ConversionsTruncateAndKeepTheMaximum) {
  struct Case {
    int64_t microseconds;
    int64_t milliseconds;
    int64_t milliseconds_rounded_up;
    int64_t seconds;
  } cases[] = {
      {0, 0, 0, 0},
      {999, 0, 1, 0},
      {1000, 1, 1, 0},
      {1999, 1, 2, 0},
      {-1999, -1, -1, 0},
      {-1000001, -1000, -1000, -1},
      {kMax, kMax, kMax, kMax},
      {-kMax, -kMax / 1000, -kMax / 1000, -kMax / 1000000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.microseconds);
    TimeDelta delta = TimeDelta::FromMicroseconds(c.microseconds);
    EXPECT_EQ(c.milliseconds, delta.InMilliseconds());
    EXPECT_EQ(c.milliseconds_rounded_up, delta.InMillisecondsRoundedUp());
    EXPECT_EQ(c.seconds, delta.InSeconds());
  }
  EXPECT_EQ(TimeDelta::Max(), TimeDelta::FromSecondsD(1e300));
  EXPECT_EQ(-TimeDelta::Max(), TimeDelta::FromSecondsD(-1e300));
  EXPECT_EQ(TimeDelta(), TimeDelta::FromSecondsD(std::nan("")));
  EXPECT_EQ(1500000, TimeDelta::FromSecondsD(1.5).InMicroseconds());
}

TEST(TimeTest, FileTimeConversionsKeepNullAndMaximum) {
  EXPECT_TRUE(Time::FromFileTime(0).is_null());
  EXPECT_TRUE(Time::FromFileTime(~uint64_t{0}).is_max());
  EXPECT_EQ(0u, Time().ToFileTimeValue());
  EXPECT_EQ(~uint64_t{0}, Time::Max().ToFileTimeValue());

  Time y2k = Time::FromFileTime(kY2kFileTime);
  EXPECT_EQ(kY2kUnixSeconds, y2k.ToTimeT());
  EXPECT_EQ(kY2kFileTime, y2k.ToFileTimeValue());
  // Sub-microsecond FILETIME units are truncated.
  EXPECT_EQ(y2k, Time::FromFileTime(kY2kFileTime + 9));
  // A FILETIME with its top bit set is a negative (pre-1601) time.
  EXPECT_EQ(static_cast<int64_t>(0x8000000000000000ULL) / 10,
            Time::FromFileTime(0x8000000000000000ULL).ToInternalValue());
  // Times a FILETIME cannot hold.
  EXPECT_EQ(0u, Time::FromInternalValue(-1).ToFileTimeValue());
  EXPECT_EQ(~uint64_t{0},
            Time::FromInternalValue(kMax / 10 + 1).ToFileTimeValue());
}

TEST(TimeTest, UnixConversionsKeepNullAndMaximum) {
  EXPECT_EQ(0, Time().ToTimeT());
  EXPECT_EQ(0, Time().ToMillisecondsSinceUnixEpoch());
  EXPECT_EQ(kMax, Time::Max().ToTimeT());
  EXPECT_EQ(kMax, Time::Max().ToMillisecondsSinceUnixEpoch());

  // At the maximum minus the epoch offset the seconds saturate; one below
  // it they are an ordinary count.
  constexpr int64_t kLimit = 0x7fd6a169b779bfff;
  EXPECT_EQ(kMax, Time::FromInternalValue(kLimit).ToTimeT());
  EXPECT_EQ((kLimit - 1 - Time::kTimeTToMicrosecondsOffset) / 1000000,
            Time::FromInternalValue(kLimit - 1).ToTimeT());

  EXPECT_EQ(0, Time::UnixEpoch().ToTimeT());
  EXPECT_EQ(kY2kUnixSeconds * 1000 + 1, (Time::FromTimeT(kY2kUnixSeconds) +
                                         TimeDelta::FromMicroseconds(1999))
                                            .ToMillisecondsSinceUnixEpoch());
  // Before 1970 the counts are negative and truncated toward zero.
  EXPECT_EQ(-1, (Time::UnixEpoch() - TimeDelta::FromMicroseconds(1999))
                    .ToMillisecondsSinceUnixEpoch());
  EXPECT_EQ(Time::FromTimeT(kY2kUnixSeconds),
            Time::FromMillisecondsSinceUnixEpoch(kY2kUnixSeconds * 1000));
  EXPECT_TRUE(Time::FromTimeT(kMax).is_max());
}

TEST(TimeTest, ArithmeticSaturates) {
  EXPECT_TRUE((Time::Max() + TimeDelta::FromMicroseconds(1)).is_max());
  EXPECT_TRUE((TimeTicks::Max() + TimeDelta::FromSeconds(1)).is_max());
  EXPECT_EQ(-TimeDelta::Max(),
            TimeTicks::FromInternalValue(-5) - TimeTicks::Max());
  EXPECT_EQ(TimeDelta::FromSeconds(1), Time::FromTimeT(2) - Time::FromTimeT(1));
}

TEST(TimeTest, UTCExplodeAndBack) {
  Time time = Time::FromFileTime(kY2kFileTime) + TimeDelta::FromDays(59) +
              TimeDelta::FromHours(13) + TimeDelta::FromMilliseconds(123);
  Time::Exploded exploded;
  ASSERT_TRUE(time.Explode(false, &exploded));
  // 2000-02-29 (a Tuesday) 13:00:00.123.
  EXPECT_EQ(2000, exploded.year);
  EXPECT_EQ(2, exploded.month);
  EXPECT_EQ(2, exploded.day_of_week);
  EXPECT_EQ(29, exploded.day_of_month);
  EXPECT_EQ(13, exploded.hour);
  EXPECT_EQ(0, exploded.minute);
  EXPECT_EQ(0, exploded.second);
  EXPECT_EQ(123, exploded.millisecond);

  Time back;
  ASSERT_TRUE(Time::FromUTCExploded(exploded, &back));
  EXPECT_EQ(time, back);
}

TEST(TimeTest, TimesThatCannotBeExplodedGiveZeros) {
  for (Time time : {Time::FromInternalValue(-1), Time::Max()}) {
    Time::Exploded exploded;
    memset(&exploded, 0x55, sizeof(exploded));
    EXPECT_FALSE(time.Explode(false, &exploded));
    EXPECT_EQ(0, exploded.year);
    EXPECT_EQ(0, exploded.month);
    EXPECT_EQ(0, exploded.day_of_week);
    EXPECT_EQ(0, exploded.day_of_month);
    EXPECT_EQ(0, exploded.hour);
    EXPECT_EQ(0, exploded.minute);
    EXPECT_EQ(0, exploded.second);
    EXPECT_EQ(0, exploded.millisecond);
  }
}

TEST(TimeTest, InvalidFieldsAreRefused) {
  const Time::Exploded kInvalid[] = {
      {2023, 2, 0, 29, 0, 0, 0, 0},  // not a leap year
      {1900, 2, 0, 29, 0, 0, 0, 0},  // centuries are not leap years
      {2000, 13, 0, 1, 0, 0, 0, 0},
      {2000, 4, 0, 31, 0, 0, 0, 0},
      {2000, 1, 0, 1, 24, 0, 0, 0},
      {2000, 1, 0, 1, 0, 0, 60, 0},
      {2000, 1, 0, 1, 0, 0, 0, 1000},
      {1600, 12, 0, 31, 0, 0, 0, 0},
      // 67137 would pass as 1601 once narrowed to 16 bits.
      {67137, 1, 0, 1, 0, 0, 0, 0},
  };
  for (const Time::Exploded& exploded : kInvalid) {
    SCOPED_TRACE(testing::Message() << exploded.year << "-" << exploded.month
                                    << "-" << exploded.day_of_month);
    Time time = Time::FromTimeT(5);
    EXPECT_FALSE(Time::FromUTCExploded(exploded, &time));
    EXPECT_TRUE(time.is_null());
    time = Time::FromTimeT(5);
    EXPECT_FALSE(Time::FromExploded(exploded, &time));
    EXPECT_TRUE(time.is_null());
  }
  Time time;
  EXPECT_TRUE(Time::FromUTCExploded({2024, 2, 0, 29, 23, 59, 59, 999}, &time));
}

TEST(TimeTest, LocalExplodeRoundTrips) {
  Time time = Time::FromTimeT(kY2kUnixSeconds + 12345) +
              TimeDelta::FromMilliseconds(678);
  Time::Exploded local;
  ASSERT_TRUE(time.Explode(true, &local));
  Time back;
  ASSERT_TRUE(Time::FromExploded(local, &back));
  EXPECT_EQ(time, back);
}

// Fake clocks for Time::Now.
int64_t g_fake_file_time = 0;
TimeTicks g_fake_ticks;
int64_t FakeSystemTime() { return g_fake_file_time; }
TimeTicks FakeTicks() { return g_fake_ticks; }

TEST(TimeTest, NowFollowsTheTicksAndResynchronisesAfterSixtySeconds) {
  constexpr int64_t kFileTimePerSecond = 10000000;
  g_fake_file_time = kY2kFileTime;
  g_fake_ticks = TimeTicks::FromInternalValue(5000000);
  subtle::ScopedTimeClockOverrides overrides(&FakeSystemTime, &FakeTicks);
  Time y2k = Time::FromFileTime(kY2kFileTime);
  EXPECT_EQ(y2k, Time::Now());

  // The system clock is set an hour ahead; for a minute the monotonic
  // clock alone carries the time.
  g_fake_file_time += 3600 * kFileTimePerSecond;
  g_fake_ticks += TimeDelta::FromSeconds(60);
  EXPECT_EQ(y2k + TimeDelta::FromSeconds(60), Time::Now());

  // Past 60 seconds the system clock is read again.
  g_fake_ticks += TimeDelta::FromMilliseconds(1);
  EXPECT_EQ(y2k + TimeDelta::FromHours(1), Time::Now());
  g_fake_ticks += TimeDelta::FromSeconds(2);
  EXPECT_EQ(y2k + TimeDelta::FromHours(1) + TimeDelta::FromSeconds(2),
            Time::Now());

  // NowFromSystemTime re-reads the system clock at once.
  g_fake_file_time += 10 * kFileTimePerSecond;
  EXPECT_EQ(y2k + TimeDelta::FromHours(1) + TimeDelta::FromSeconds(10),
            Time::NowFromSystemTime());
  EXPECT_EQ(Time::NowFromSystemTime(), Time::Now());
}

TEST(TimeTest, NowIsCloseToTheSystemClock) {
  Time now = Time::Now();
  Time system = Time::NowFromSystemTime();
  EXPECT_LT((system - now).InSeconds(), 5);
  EXPECT_GT(now.ToTimeT(), kY2kUnixSeconds);
}

TEST(TimeTicksTest, NeverGoesBackwards) {
  TimeTicks previous = TimeTicks::Now();
  for (int i = 0; i < 100000; ++i) {
    TimeTicks now = TimeTicks::Now();
    ASSERT_GE(now, previous);
    previous = now;
  }
}

TEST(TimeInternalTest, PerformanceCounterConversionIsExact) {
  const int64_t kFrequencies[] = {1000000, 3579545, 10000000, 2400000000};
  const int64_t kCounts[] = {
      0,   1, 0x8637BD05AF6, 0x8637BD05AF7, 0x8637BD05AF8, 123456789012345678,
      kMax};
  for (int64_t frequency : kFrequencies) {
    for (int64_t count : kCounts) {
      SCOPED_TRACE(testing::Message() << count << " at " << frequency);
      __int128 expected = static_cast<__int128>(count) * 1000000 / frequency;
      EXPECT_EQ(
          static_cast<int64_t>(expected),
          time_internal::PerformanceCounterToMicroseconds(count, frequency));
    }
  }
}

// A scripted processor for the clock choice.
struct FakeProcessor {
  const char* vendor;
  uint32_t family;
  bool non_stop_tsc;
};
FakeProcessor g_processor;

CPU::Registers FakeCpuid(uint32_t leaf, uint32_t subleaf) {
  CPU::Registers registers;
  if (leaf == 0) {
    registers.eax = 1;
    memcpy(&registers.ebx, g_processor.vendor, 4);
    memcpy(&registers.edx, g_processor.vendor + 4, 4);
    memcpy(&registers.ecx, g_processor.vendor + 8, 4);
  } else if (leaf == 1) {
    registers.eax = g_processor.family << 8;
  } else if (leaf == 0x80000000) {
    registers.eax = 0x80000007;
  } else if (leaf == 0x80000007) {
    registers.edx = g_processor.non_stop_tsc ? 1u << 8 : 0;
  }
  return registers;
}

uint64_t NoXgetbv(uint32_t) { return 0; }

TEST(TimeInternalTest, PerformanceCounterIsUsedOnlyWhereReliable) {
  struct Case {
    FakeProcessor processor;
    int64_t frequency;
    bool reliable;
  } cases[] = {
      {{"GenuineIntel", 6, true}, 10000000, true},
      {{"GenuineIntel", 6, true}, 0, false},
      {{"GenuineIntel", 6, false}, 10000000, false},
      {{"AuthenticAMD", 15, true}, 10000000, false},
      {{"AuthenticAMD", 16, true}, 10000000, true},
      {{"GenuineIntel", 15, true}, 10000000, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.processor.vendor << " family " << c.processor.family);
    g_processor = c.processor;
    CPU cpu(&FakeCpuid, &NoXgetbv);
    EXPECT_EQ(c.reliable,
              time_internal::IsPerformanceCounterReliable(c.frequency, cpu));
  }
}

std::vector<uint32_t> g_readings;
size_t g_next_reading = 0;
uint32_t NextReading() { return g_readings[g_next_reading++]; }

TEST(TimeInternalTest, MillisecondClockSurvivesTheWrap) {
  g_readings = {0xFFFFFF00u, 0xFFFFFFFFu, 0x10u, 0x20u, 0x05u};
  g_next_reading = 0;
  time_internal::RolloverProtectedClock clock(&NextReading);
  constexpr int64_t kWrap = int64_t{1} << 32;
  EXPECT_EQ(0xFFFFFF00LL * 1000, clock.Now().ToInternalValue());
  EXPECT_EQ(0xFFFFFFFFLL * 1000, clock.Now().ToInternalValue());
  EXPECT_EQ((kWrap + 0x10) * 1000, clock.Now().ToInternalValue());
  EXPECT_EQ((kWrap + 0x20) * 1000, clock.Now().ToInternalValue());
  EXPECT_EQ((2 * kWrap + 0x05) * 1000, clock.Now().ToInternalValue());

  EXPECT_TRUE(time_internal::RolloverProtectedClock::MillisecondsToTicks(
                  9223372036854776)
                  .is_max());
  EXPECT_EQ(9223372036854775000,
            time_internal::RolloverProtectedClock::MillisecondsToTicks(
                9223372036854775)
                .ToInternalValue());
}

int g_begin_calls = 0;
int g_end_calls = 0;
void CountBegin() { ++g_begin_calls; }
void CountEnd() { ++g_end_calls; }

TEST(TimeInternalTest, TimerPeriodIsReferenceCounted) {
  g_begin_calls = g_end_calls = 0;
  time_internal::TimerPeriodActivations activations(&CountBegin, &CountEnd);
  activations.Activate(true);
  activations.Activate(true);
  activations.Activate(false);
  // Two activations and one deactivation leave the period in force.
  EXPECT_EQ(1, g_begin_calls);
  EXPECT_EQ(0, g_end_calls);
  EXPECT_EQ(1, activations.count());
  activations.Activate(false);
  EXPECT_EQ(1, g_end_calls);
  // An unmatched deactivation neither ends the period again nor leaves a
  // debt that would swallow the next activation.
  activations.Activate(false);
  EXPECT_EQ(1, g_end_calls);
  activations.Activate(true);
  EXPECT_EQ(2, g_begin_calls);
  EXPECT_EQ(1, activations.count());
}

TEST(TimeTest, HighResolutionTimerActivationsNest) {
  ASSERT_FALSE(Time::IsHighResolutionTimerInUse());
  Time::ActivateHighResolutionTimer(true);
  Time::ActivateHighResolutionTimer(true);
  Time::ActivateHighResolutionTimer(false);
  EXPECT_TRUE(Time::IsHighResolutionTimerInUse());
  Time::ActivateHighResolutionTimer(false);
  EXPECT_FALSE(Time::IsHighResolutionTimerInUse());
}

TEST(ThreadTicksTest, MeasuresThisThreadsWork) {
  // Where thread time cannot be had it stays null, never a made-up value.
  if (!ThreadTicks::IsSupported()) {
    EXPECT_TRUE(ThreadTicks::Now().is_null());
    GTEST_SKIP() << "no thread time here";
  }
  ThreadTicks start = ThreadTicks::Now();
  // Burn CPU until the rate is known and some thread time has passed.
  volatile uint64_t sink = 0;
  TimeTicks until = TimeTicks::Now() + TimeDelta::FromMilliseconds(200);
  while (TimeTicks::Now() < until) sink = sink + 1;
  ThreadTicks end = ThreadTicks::Now();
  if (start.is_null()) start = end;  // the rate was not yet measured
  EXPECT_FALSE(end.is_null());
  EXPECT_GE(end - start, TimeDelta());
}

}  // namespace
}  // namespace base
