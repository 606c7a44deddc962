#include "base/time/clock.h"

#include <memory>

#include "gtest/gtest.h"

namespace base {
namespace {

class FixedClock : public Clock {
 public:
  explicit FixedClock(Time now) : now_(now) {}
  Time Now() override { return now_; }

 private:
  Time now_;
};

TEST(ClockTest, DefaultClockFollowsTheSystemAndFakesReplaceIt) {
  std::unique_ptr<Clock> clock = std::make_unique<DefaultClock>();
  const Time before = Time::Now();
  const Time now = clock->Now();
  const Time after = Time::Now();
  EXPECT_LE(before, now);
  EXPECT_LE(now, after);

  const Time fixed = Time::FromInternalValue(13'000'000'000'000'000LL);
  clock = std::make_unique<FixedClock>(fixed);
  EXPECT_EQ(fixed, clock->Now());
}

}  // namespace
}  // namespace base
