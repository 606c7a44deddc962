#include "base/lazy_instance.h"

#include <atomic>
#include <thread>
#include <vector>

#include "base/at_exit.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/platform_thread.h"
#include "gtest/gtest.h"

namespace base {
namespace {

std::atomic<int> g_constructed{0};
std::atomic<int> g_destroyed{0};

// Slow to build, to widen the race window.
class SlowSingleton {
 public:
  SlowSingleton() {
    g_constructed.fetch_add(1);
    PlatformThread::Sleep(TimeDelta::FromMilliseconds(20));
  }
  ~SlowSingleton() { g_destroyed.fetch_add(1); }
};

LazyInstance<SlowSingleton> g_slow;
LeakyLazyInstance<SlowSingleton> g_leaky_slow;

TEST(LazyInstanceTest, RacingThreadsCreateExactlyOneInstance) {
  g_constructed = 0;
  g_destroyed = 0;
  {
    AtExitManager manager;
    WaitableEvent go(WaitableEvent::ResetPolicy::kManual,
                     WaitableEvent::InitialState::kNotSignaled);
    constexpr int kThreads = 16;
    SlowSingleton* seen[kThreads] = {};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
      threads.emplace_back([&, i] {
        go.Wait();
        seen[i] = g_slow.Pointer();
      });
    }
    go.Signal();
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(1, g_constructed.load());
    for (SlowSingleton* pointer : seen) EXPECT_EQ(seen[0], pointer);
    EXPECT_TRUE(g_slow.IsCreated());
    EXPECT_EQ(0, g_destroyed.load());
  }
  // Deleted when the at-exit scope ended; made afresh on the next use.
  EXPECT_EQ(1, g_destroyed.load());
  EXPECT_FALSE(g_slow.IsCreated());
  {
    AtExitManager manager;
    g_slow.Get();
    EXPECT_EQ(2, g_constructed.load());
  }
  EXPECT_EQ(2, g_destroyed.load());
}

TEST(LazyInstanceTest, LeakyInstanceOutlivesTheAtExitScope) {
  g_destroyed = 0;
  SlowSingleton* instance;
  {
    AtExitManager manager;
    instance = g_leaky_slow.Pointer();
  }
  EXPECT_EQ(0, g_destroyed.load());
  EXPECT_EQ(instance, g_leaky_slow.Pointer());
}

TEST(LazyInstanceTest, WaitForInstanceReturnsASetWordAtOnce) {
  std::atomic<uintptr_t> word{0x1230};
  EXPECT_EQ(0x1230u, LazyInstanceHelper::WaitForInstance(&word));
  // A word that is still 0 is returned too: nobody is creating.
  std::atomic<uintptr_t> empty{0};
  EXPECT_EQ(0u, LazyInstanceHelper::WaitForInstance(&empty));
}

TEST(LazyInstanceTest, LoserWaitsForTheWinnersInstance) {
  std::atomic<uintptr_t> word{0};
  ASSERT_TRUE(LazyInstanceHelper::NeedsInstance(&word));
  EXPECT_FALSE(LazyInstanceHelper::NeedsInstance(&word));
  std::thread creator([&] {
    PlatformThread::Sleep(TimeDelta::FromMilliseconds(30));
    LazyInstanceHelper::CompleteInstance(&word, 0x4560, nullptr);
  });
  EXPECT_EQ(0x4560u, LazyInstanceHelper::WaitForInstance(&word));
  creator.join();
}

}  // namespace
}  // namespace base
