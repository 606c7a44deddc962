#include "base/threading/parallel_for.h"

#include <atomic>
#include <mutex>
#include <set>
#include <vector>

#include "base/synchronization/waitable_event.h"
#include "base/threading/platform_thread.h"
#include "base/time/time.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using ResetPolicy = WaitableEvent::ResetPolicy;
using InitialState = WaitableEvent::InitialState;

TEST(ParallelForTest, WorksEveryIndexOnceOnSeveralThreads) {
  constexpr size_t kCount = 1000;
  std::vector<std::atomic<int>> runs(kCount);
  std::mutex lock;
  std::set<PlatformThreadId> threads;
  // Index 0 holds its thread until another index has been worked, which
  // must then be on another thread: a serial run times out here.
  WaitableEvent other_thread_worked(ResetPolicy::kManual,
                                    InitialState::kNotSignaled);
  bool waited = false;
  EXPECT_TRUE(ParallelFor(kCount, 4, [&](size_t index) {
    ++runs[index];
    {
      std::lock_guard<std::mutex> hold(lock);
      threads.insert(PlatformThread::CurrentId());
    }
    if (index != 0)
      other_thread_worked.Signal();
    else
      waited = other_thread_worked.TimedWait(TimeDelta::FromSeconds(30));
    return true;
  }));
  EXPECT_TRUE(waited);
  for (size_t i = 0; i < kCount; ++i) EXPECT_EQ(1, runs[i].load()) << i;
  EXPECT_GE(threads.size(), 2u);
  EXPECT_LE(threads.size(), 4u);
}

TEST(ParallelForTest, StopsHandingOutWorkAfterAFailure) {
  // One thread: exactly the indices up to the failing one.
  std::vector<size_t> worked;
  EXPECT_FALSE(ParallelFor(100, 1, [&](size_t index) {
    worked.push_back(index);
    return index != 3;
  }));
  EXPECT_EQ((std::vector<size_t>{0, 1, 2, 3}), worked);

  // Several: at most one more piece per other thread.
  std::atomic<size_t> count{0};
  EXPECT_FALSE(ParallelFor(10000, 4, [&](size_t index) {
    ++count;
    return index != 10;
  }));
  EXPECT_LE(count.load(), 11u + 3u);
}

TEST(ParallelForTest, EmptyRangesAndThreadCounts) {
  int calls = 0;
  EXPECT_TRUE(ParallelFor(0, 4, [&](size_t) { return ++calls, true; }));
  EXPECT_EQ(0, calls);
  // No thread count still works, on the calling thread.
  const PlatformThreadId caller = PlatformThread::CurrentId();
  bool on_caller = true;
  EXPECT_TRUE(ParallelFor(5, 0, [&](size_t) {
    on_caller = on_caller && PlatformThread::CurrentId() == caller;
    return ++calls, true;
  }));
  EXPECT_EQ(5, calls);
  EXPECT_TRUE(on_caller);
}

}  // namespace
}  // namespace base
