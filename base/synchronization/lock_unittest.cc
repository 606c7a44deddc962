#include "base/synchronization/lock.h"

#include <thread>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(LockTest, ExcludesOtherThreads) {
  Lock lock;
  // Not atomic on purpose: only the lock keeps the count right.
  int64_t counter = 0;
  constexpr int kThreads = 8;
  constexpr int kIncrements = 20000;
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&] {
      for (int j = 0; j < kIncrements; ++j) {
        AutoLock hold(lock);
        int64_t value = counter;
        if (j % 1000 == 0) std::this_thread::yield();
        counter = value + 1;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(kThreads * kIncrements, counter);
}

TEST(LockTest, TryFailsWhileAnotherThreadHoldsTheLock) {
  Lock lock;
  lock.Acquire();
  bool taken_elsewhere = true;
  std::thread([&] { taken_elsewhere = lock.Try(); }).join();
  EXPECT_FALSE(taken_elsewhere);
  lock.Release();
  std::thread([&] {
    taken_elsewhere = lock.Try();
    if (taken_elsewhere) lock.Release();
  }).join();
  EXPECT_TRUE(taken_elsewhere);
}

TEST(LockTest, AutoUnlockReleasesForItsScope) {
  Lock lock;
  AutoLock hold(lock);
  {
    AutoUnlock release(lock);
    bool taken = false;
    std::thread([&] {
      taken = lock.Try();
      if (taken) lock.Release();
    }).join();
    EXPECT_TRUE(taken);
  }
  lock.AssertAcquired();
}

// A Lock at namespace scope is usable by static constructors.
Lock g_static_lock;
struct UsesLockAtStartUp {
  UsesLockAtStartUp() {
    g_static_lock.Acquire();
    g_static_lock.Release();
  }
} g_uses_lock_at_start_up;

TEST(LockTest, NamespaceScopeLockWorks) {
  AutoLock hold(g_static_lock);
  EXPECT_FALSE(g_static_lock.Try());
}

#if !defined(NDEBUG)
TEST(LockDeathTest, SecondAcquireByTheHolderStops) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Lock lock;
  lock.Acquire();
  EXPECT_DEATH(lock.Acquire(), "");
  lock.Release();
}
#endif

}  // namespace
}  // namespace base
