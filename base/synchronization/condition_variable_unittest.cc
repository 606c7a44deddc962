#include "base/synchronization/condition_variable.h"

#include <thread>
#include <vector>

#include "base/synchronization/lock.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(ConditionVariableTest, SignalWakesAWaiterThatHoldsTheLockAgain) {
  Lock lock;
  ConditionVariable condition(&lock);
  bool ready = false;
  bool seen = false;
  std::thread waiter([&] {
    AutoLock hold(lock);
    while (!ready) condition.Wait();
    lock.AssertAcquired();
    seen = true;
  });
  {
    AutoLock hold(lock);
    ready = true;
    condition.Signal();
  }
  waiter.join();
  EXPECT_TRUE(seen);
}

TEST(ConditionVariableTest, BroadcastWakesEveryWaiter) {
  Lock lock;
  ConditionVariable condition(&lock);
  bool go = false;
  int woken = 0;
  std::vector<std::thread> waiters;
  for (int i = 0; i < 5; ++i) {
    waiters.emplace_back([&] {
      AutoLock hold(lock);
      while (!go) condition.Wait();
      ++woken;
    });
  }
  {
    AutoLock hold(lock);
    go = true;
    condition.Broadcast();
  }
  for (std::thread& waiter : waiters) waiter.join();
  EXPECT_EQ(5, woken);
}

TEST(ConditionVariableTest, TimedWaitEndsWithoutASignal) {
  Lock lock;
  ConditionVariable condition(&lock);
  AutoLock hold(lock);
  TimeTicks start = TimeTicks::Now();
  condition.TimedWait(TimeDelta::FromMilliseconds(30));
  // Spurious wake-ups may end it early, never a missing time-out late
  // enough to hang; the lock is held again either way.
  lock.AssertAcquired();
  EXPECT_LT(TimeTicks::Now() - start, TimeDelta::FromSeconds(30));
  condition.TimedWait(TimeDelta());
  condition.TimedWait(TimeDelta::FromMilliseconds(-5));
}

}  // namespace
}  // namespace base
