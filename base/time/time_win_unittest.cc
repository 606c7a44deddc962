#include <windows.h>

#include "base/time/time.h"
#include "base/time/time_override.h"
#include "gtest/gtest.h"

namespace base {
namespace {

constexpr uint64_t kY2kFileTime = 125911584000000000ULL;

TEST(TimeWinTest, FileTimeRecords) {
  FILETIME filetime;
  filetime.dwLowDateTime = static_cast<DWORD>(kY2kFileTime);
  filetime.dwHighDateTime = static_cast<DWORD>(kY2kFileTime >> 32);
  Time time = Time::FromFileTime(filetime);
  EXPECT_EQ(Time::FromFileTime(kY2kFileTime), time);
  FILETIME back = time.ToFileTime();
  EXPECT_EQ(filetime.dwLowDateTime, back.dwLowDateTime);
  EXPECT_EQ(filetime.dwHighDateTime, back.dwHighDateTime);

  FILETIME all_ones = {0xFFFFFFFF, 0xFFFFFFFF};
  EXPECT_TRUE(Time::FromFileTime(all_ones).is_max());
  FILETIME max = Time::Max().ToFileTime();
  EXPECT_EQ(0xFFFFFFFFu, max.dwLowDateTime);
  EXPECT_EQ(0xFFFFFFFFu, max.dwHighDateTime);
  FILETIME zero = {0, 0};
  EXPECT_TRUE(Time::FromFileTime(zero).is_null());
}

TEST(TimeWinTest, NowMatchesTheSystemClock) {
  FILETIME filetime;
  GetSystemTimeAsFileTime(&filetime);
  Time system = Time::FromFileTime(filetime);
  EXPECT_LT((Time::Now() - system).InSeconds(), 2);
  EXPECT_GT((Time::Now() - system).InSeconds(), -2);
}

// Central European time: UTC+1, UTC+2 from the last Sunday of March 02:00
// to the last Sunday of October 03:00.
TIME_ZONE_INFORMATION CentralEuropeanZone() {
  TIME_ZONE_INFORMATION zone = {};
  zone.Bias = -60;
  zone.StandardBias = 0;
  zone.StandardDate.wMonth = 10;
  zone.StandardDate.wDayOfWeek = 0;
  zone.StandardDate.wDay = 5;
  zone.StandardDate.wHour = 3;
  zone.DaylightBias = -60;
  zone.DaylightDate.wMonth = 3;
  zone.DaylightDate.wDayOfWeek = 0;
  zone.DaylightDate.wDay = 5;
  zone.DaylightDate.wHour = 2;
  return zone;
}

TEST(TimeWinTest, LocalTimeUsesTheTimeZone) {
  TIME_ZONE_INFORMATION zone = CentralEuropeanZone();
  subtle::ScopedTimeZoneOverride override_zone(zone);
  struct Case {
    Time::Exploded utc;
    int local_hour;
  } cases[] = {
      {{2000, 1, 6, 1, 12, 0, 0, 0}, 13},
      {{2000, 7, 6, 1, 12, 0, 0, 0}, 14},
      // The last day of summer time, and the day after.
      {{2000, 10, 6, 28, 12, 0, 0, 0}, 14},
      {{2000, 10, 1, 30, 12, 0, 0, 0}, 13},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.utc.month << "-" << c.utc.day_of_month);
    Time time;
    ASSERT_TRUE(Time::FromUTCExploded(c.utc, &time));
    Time::Exploded local;
    ASSERT_TRUE(time.Explode(true, &local));
    EXPECT_EQ(c.local_hour, local.hour);
    EXPECT_EQ(c.utc.day_of_month, local.day_of_month);
    // And back through the same zone.
    Time back;
    ASSERT_TRUE(Time::FromExploded(local, &back));
    EXPECT_EQ(time, back);
  }
}

TEST(TimeWinTest, UtcIsNotShiftedByTheTimeZone) {
  TIME_ZONE_INFORMATION zone = CentralEuropeanZone();
  subtle::ScopedTimeZoneOverride override_zone(zone);
  Time time = Time::FromFileTime(kY2kFileTime);
  Time::Exploded utc;
  ASSERT_TRUE(time.Explode(false, &utc));
  EXPECT_EQ(0, utc.hour);
  EXPECT_EQ(1, utc.day_of_month);
  EXPECT_EQ(6, utc.day_of_week);
}

TEST(TimeWinTest, ClockChoiceIsStable) {
  bool high_resolution = TimeTicks::IsHighResolution();
  TimeTicks::Now();
  EXPECT_EQ(high_resolution, TimeTicks::IsHighResolution());
}

}  // namespace
}  // namespace base
