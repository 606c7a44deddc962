#include "base/synchronization/waitable_event.h"

#include <atomic>
#include <thread>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

using ResetPolicy = WaitableEvent::ResetPolicy;
using InitialState = WaitableEvent::InitialState;

TEST(WaitableEventTest, TimeoutsInWholeMilliseconds) {
  struct Case {
    TimeDelta max;
    uint32_t milliseconds;
  } cases[] = {
      {TimeDelta(), 0},
      {TimeDelta::FromMicroseconds(-1), 0},
      {-TimeDelta::Max(), 0},
      {TimeDelta::FromMicroseconds(999), 0},
      {TimeDelta::FromMicroseconds(1000), 1},
      // Truncated: a 1999 microsecond wait asks for 1 ms.
      {TimeDelta::FromMicroseconds(1999), 1},
      {TimeDelta::FromMilliseconds(0xFFFFFFFE), 0xFFFFFFFE},
      {TimeDelta::FromMilliseconds(0xFFFFFFFF), 0xFFFFFFFF},
      {TimeDelta::FromDays(60), 0xFFFFFFFF},
      {TimeDelta::Max(), 0xFFFFFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.max);
    EXPECT_EQ(c.milliseconds, WaitableEvent::TimeoutToMilliseconds(c.max));
  }
}

TEST(WaitableEventTest, ManualResetStaysSignaled) {
  WaitableEvent event(ResetPolicy::kManual, InitialState::kNotSignaled);
  EXPECT_FALSE(event.IsSignaled());
  EXPECT_FALSE(event.TimedWait(TimeDelta()));
  event.Signal();
  EXPECT_TRUE(event.IsSignaled());
  EXPECT_TRUE(event.TimedWait(TimeDelta::FromMilliseconds(10)));
  event.Wait();
  EXPECT_TRUE(event.IsSignaled());
  event.Reset();
  EXPECT_FALSE(event.TimedWait(TimeDelta::FromMicroseconds(1999)));
}

TEST(WaitableEventTest, AutomaticResetConsumesTheSignal) {
  WaitableEvent event(ResetPolicy::kAutomatic, InitialState::kSignaled);
  // Signalled before anybody waits: the first wait takes the signal.
  EXPECT_TRUE(event.TimedWait(TimeDelta()));
  EXPECT_FALSE(event.TimedWait(TimeDelta()));
  event.Signal();
  event.Wait();
  EXPECT_FALSE(event.IsSignaled());
}

TEST(WaitableEventTest, MaximumWaitEndsWithTheSignal) {
  WaitableEvent event(ResetPolicy::kManual, InitialState::kNotSignaled);
  std::thread signaler([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    event.Signal();
  });
  EXPECT_TRUE(event.TimedWait(TimeDelta::Max()));
  signaler.join();
}

TEST(WaitableEventTest, TimedWaitTimesOutUnsignaled) {
  WaitableEvent event(ResetPolicy::kAutomatic, InitialState::kNotSignaled);
  TimeTicks start = TimeTicks::Now();
  EXPECT_FALSE(event.TimedWait(TimeDelta::FromMilliseconds(20)));
  // A time-out may come up to a millisecond early, never much more.
  EXPECT_GE(TimeTicks::Now() - start, TimeDelta::FromMilliseconds(15));
}

// Waits until |counter| reaches |value|, at most 10 s.
bool WaitForCount(const std::atomic<int>& counter, int value) {
  TimeTicks end = TimeTicks::Now() + TimeDelta::FromSeconds(10);
  while (counter.load() < value) {
    if (TimeTicks::Now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

TEST(WaitableEventTest, AutomaticResetReleasesOneWaiterPerSignal) {
  WaitableEvent event(ResetPolicy::kAutomatic, InitialState::kNotSignaled);
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([&] {
      event.Wait();
      released.fetch_add(1);
    });
  }
  event.Signal();
  ASSERT_TRUE(WaitForCount(released, 1));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(1, released.load());
  event.Signal();
  ASSERT_TRUE(WaitForCount(released, 2));
  event.Signal();
  ASSERT_TRUE(WaitForCount(released, 3));
  for (std::thread& waiter : waiters) waiter.join();
}

TEST(WaitableEventTest, ManualResetReleasesEveryWaiter) {
  WaitableEvent event(ResetPolicy::kManual, InitialState::kNotSignaled);
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i) {
    waiters.emplace_back([&] {
      event.Wait();
      released.fetch_add(1);
    });
  }
  event.Signal();
  for (std::thread& waiter : waiters) waiter.join();
  EXPECT_EQ(4, released.load());
}

}  // namespace
}  // namespace base
