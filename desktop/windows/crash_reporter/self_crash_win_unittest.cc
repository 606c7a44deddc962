#include "desktop/windows/crash_reporter/self_crash_win.h"

#include <windows.h>

#include "base/time/time.h"
#include "desktop/windows/crash_reporter/test/scoped_last_reporter_crash_win.h"
#include "gtest/gtest.h"

namespace crash_reporter {

namespace {

constexpr uint64_t kDay = 864000000000ull;

TEST(SelfCrashTest, DaysSinceTheLastReportedOwnCrash) {
  test::ScopedLastReporterCrash value;
  const uint64_t now = base::Time::Now().ToFileTimeValue();
  int64_t days = -1;

  // Absent: stored as 0 and taken as 0, so a crash is reported.
  value.Delete();
  ASSERT_TRUE(GetDaysSinceLastReporterCrash(&days));
  EXPECT_GT(days, 100000);
  EXPECT_EQ(0u, value.Get());

  struct {
    uint64_t stored;
    bool known;
    int64_t days;
  } cases[] = {
      {now - 2 * kDay - kDay / 2, true, 2},
      {now - 3 * kDay - 60 * 10000000ull, true, 3},
      {now - kDay / 24, true, 0},
      {now + kDay, false, -1},  // in the future
  };
  for (const auto& test : cases) {
    value.Set(test.stored);
    days = -1;
    EXPECT_EQ(test.known, GetDaysSinceLastReporterCrash(&days));
    if (test.known) {
      EXPECT_EQ(test.days, days);
    }
  }

  // A value of another type or size is not read.
  value.SetRaw(REG_DWORD, {1, 0, 0, 0});
  EXPECT_FALSE(GetDaysSinceLastReporterCrash(&days));
}

TEST(SelfCrashTest, StoresTheTimeOfAReportedOwnCrash) {
  test::ScopedLastReporterCrash value;
  SYSTEMTIME time = {2016, 10, 3, 12, 17, 0, 1, 500};
  ASSERT_TRUE(StoreLastReporterCrashTime(time));
  FILETIME expected;
  ASSERT_TRUE(SystemTimeToFileTime(&time, &expected));
  EXPECT_EQ((uint64_t{expected.dwHighDateTime} << 32) | expected.dwLowDateTime,
            value.Get());
  int64_t days = 0;
  ASSERT_TRUE(GetDaysSinceLastReporterCrash(&days));
  EXPECT_GT(days, 365);
}

}  // namespace

}  // namespace crash_reporter
