#include "base/threading/thread_local.h"

#include <thread>
#include <vector>

#include "base/synchronization/waitable_event.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(ThreadLocalTest, EachThreadSeesItsOwnPointer) {
  static ThreadLocalPointer<int> pointer;
  int main_value = 1;
  EXPECT_EQ(nullptr, pointer.Get());
  pointer.Set(&main_value);
  int* seen_before_set = &main_value;
  int* seen_after_set = nullptr;
  int thread_value = 2;
  std::thread([&] {
    seen_before_set = pointer.Get();
    pointer.Set(&thread_value);
    seen_after_set = pointer.Get();
  }).join();
  EXPECT_EQ(nullptr, seen_before_set);
  EXPECT_EQ(&thread_value, seen_after_set);
  EXPECT_EQ(&main_value, pointer.Get());
  pointer.Set(nullptr);
  EXPECT_EQ(nullptr, pointer.Get());
}

TEST(ThreadLocalTest, BooleanIsPerThread) {
  static ThreadLocalBoolean flag;
  EXPECT_FALSE(flag.Get());
  flag.Set(true);
  bool seen_on_thread = true;
  std::thread([&] { seen_on_thread = flag.Get(); }).join();
  EXPECT_FALSE(seen_on_thread);
  EXPECT_TRUE(flag.Get());
  flag.Set(false);
  EXPECT_FALSE(flag.Get());
}

TEST(ThreadLocalTest, RacingFirstSetsShareOneIndex) {
  // A fresh pointer, set first by many threads at once.
  ThreadLocalPointer<int> pointer;
  WaitableEvent go(WaitableEvent::ResetPolicy::kManual,
                   WaitableEvent::InitialState::kNotSignaled);
  constexpr int kThreads = 16;
  int values[kThreads];
  bool kept[kThreads] = {};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      go.Wait();
      pointer.Set(&values[i]);
      std::this_thread::yield();
      kept[i] = pointer.Get() == &values[i];
    });
  }
  go.Signal();
  for (std::thread& thread : threads) thread.join();
  for (int i = 0; i < kThreads; ++i) EXPECT_TRUE(kept[i]) << i;
}

}  // namespace
}  // namespace base
