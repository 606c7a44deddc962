#include "base/threading/thread_local_storage.h"

#include <stdio.h>
#include <stdlib.h>

#include <atomic>
#include <thread>
#include <vector>

#include "base/threading/platform_thread.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using StaticSlot = ThreadLocalStorage::StaticSlot;

std::atomic<int> g_destroyed_sum{0};
std::atomic<int> g_destructor_calls{0};

void AddValueOnDestruction(void* value) {
  g_destroyed_sum.fetch_add(*static_cast<int*>(value));
  g_destructor_calls.fetch_add(1);
}

constinit StaticSlot g_counting_slot;

void InitializeCountingSlotOnce() {
  static bool initialized = [] {
    g_counting_slot.Initialize(&AddValueOnDestruction);
    return true;
  }();
  (void)initialized;
}

TEST(ThreadLocalStorageTest, DestructorRunsWhenTheThreadEnds) {
  InitializeCountingSlotOnce();
  g_destroyed_sum = 0;
  g_destructor_calls = 0;
  static int seven = 7;
  std::thread([] {
    EXPECT_EQ(nullptr, g_counting_slot.Get());
    g_counting_slot.Set(&seven);
    EXPECT_EQ(&seven, g_counting_slot.Get());
  }).join();
  EXPECT_EQ(1, g_destructor_calls.load());
  EXPECT_EQ(7, g_destroyed_sum.load());
}

class SlotSettingDelegate : public PlatformThread::Delegate {
 public:
  void ThreadMain() override { g_counting_slot.Set(&value_); }
  int value_ = 5;
};

TEST(ThreadLocalStorageTest, DestructorRunsForPlatformThreads) {
  InitializeCountingSlotOnce();
  g_destroyed_sum = 0;
  g_destructor_calls = 0;
  SlotSettingDelegate delegate;
  PlatformThreadHandle handle{};
  ASSERT_TRUE(PlatformThread::Create(0, &delegate, &handle));
  PlatformThread::Join(handle);
  EXPECT_EQ(5, g_destroyed_sum.load());
}

TEST(ThreadLocalStorageTest, ThreadWithoutSlotsRunsNoDestructor) {
  InitializeCountingSlotOnce();
  g_destructor_calls = 0;
  static int value = 3;
  g_counting_slot.Set(&value);  // on this thread only
  std::thread([] {}).join();
  std::thread([] { EXPECT_EQ(nullptr, g_counting_slot.Get()); }).join();
  EXPECT_EQ(0, g_destructor_calls.load());
  g_counting_slot.Set(nullptr);
}

// Slot A's destructor hands a value to slot B, whose destructor runs in a
// later pass.
constinit StaticSlot g_slot_a;
constinit StaticSlot g_slot_b;
std::vector<int> g_chain;

void DestroyB(void* value) { g_chain.push_back(*static_cast<int*>(value)); }
void DestroyA(void* value) {
  g_chain.push_back(*static_cast<int*>(value));
  static int handed_on = 2;
  g_slot_b.Set(&handed_on);
}

TEST(ThreadLocalStorageTest, DestructorSettingAnotherSlotCausesAnotherPass) {
  g_slot_a.Initialize(&DestroyA);
  g_slot_b.Initialize(&DestroyB);
  // B's number is above A's, so B is visited first in each pass and is
  // empty in the first one.
  ASSERT_GT(g_slot_b.slot_number(), g_slot_a.slot_number());
  g_chain.clear();
  std::thread([] {
    static int one = 1;
    g_slot_a.Set(&one);
  }).join();
  EXPECT_EQ((std::vector<int>{1, 2}), g_chain);
}

constinit StaticSlot g_stubborn_slot;
std::atomic<int> g_stubborn_calls{0};
void SetItselfAgain(void* value) {
  g_stubborn_calls.fetch_add(1);
  g_stubborn_slot.Set(value);
}

TEST(ThreadLocalStorageTest, PassesEndAfterTwoHundredFiftySix) {
  g_stubborn_slot.Initialize(&SetItselfAgain);
  g_stubborn_calls = 0;
  std::thread([] {
    static int value = 1;
    g_stubborn_slot.Set(&value);
  }).join();
  EXPECT_EQ(ThreadLocalStorage::kThreadLocalStorageSize,
            g_stubborn_calls.load());
}

// Slot numbers are counted per process: these run in a fresh child.

TEST(ThreadLocalStorageDeathTest, FirstSlotIsNumberOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        static StaticSlot slot;
        slot.Initialize(nullptr);
        exit(slot.slot_number() == 1 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(ThreadLocalStorageDeathTest, TwoHundredFiftySixthSlotStops) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        static StaticSlot slots[ThreadLocalStorage::kThreadLocalStorageSize];
        for (int i = 0; i < ThreadLocalStorage::kThreadLocalStorageSize - 1;
             ++i) {
          slots[i].Initialize(nullptr);
        }
        // The 255th worked; any other outcome must not pass as the death.
        if (slots[254].slot_number() != 255) {
          fprintf(stderr, "numbering is off\n");
          exit(3);
        }
        slots[255].Initialize(nullptr);
      },
      "slots are in use");
}

}  // namespace
}  // namespace base
