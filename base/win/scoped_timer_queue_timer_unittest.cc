#include "base/win/scoped_timer_queue_timer.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <optional>
#include <thread>

#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

constexpr DWORD kLongWaitMs = 10000;
// Long enough for a non-blocking deletion to have returned.
constexpr DWORD kStillBlockedMs = 200;

ScopedHandle MakeEvent() {
  return ScopedHandle(CreateEventW(nullptr, FALSE, FALSE, nullptr));
}

// A callback that counts its runs and stays inside until it is released.
struct Blocker {
  ScopedHandle entered = MakeEvent();
  ScopedHandle release = MakeEvent();
  std::atomic<int> runs{0};
  std::atomic<bool> returned{false};

  static void __stdcall Run(void* context, unsigned char) {
    auto* blocker = static_cast<Blocker*>(context);
    blocker->runs.fetch_add(1);
    SetEvent(blocker->entered.Get());
    WaitForSingleObject(blocker->release.Get(), kLongWaitMs);
    blocker->returned.store(true);
  }
};

// Every way of deleting a timer returns only after its running callback:
// the callback's context may go right then.
TEST(ScopedTimerQueueTimerTest, DeletingATimerWaitsForItsRunningCallback) {
  const struct {
    const char* name;
    std::function<void(std::optional<ScopedTimerQueueTimer>*)> end;
  } cases[] = {
      {"Delete", [](auto* timer) { (*timer)->Delete(); }},
      {"destructor", [](auto* timer) { timer->reset(); }},
      {"starting another",
       [](auto* timer) {
         ASSERT_TRUE((*timer)->Start([](void*, unsigned char) {}, nullptr,
                                     kLongWaitMs, 0, WT_EXECUTEONLYONCE));
         (*timer)->Delete();
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Blocker blocker;
    std::optional<ScopedTimerQueueTimer> timer(std::in_place);
    ASSERT_TRUE(
        timer->Start(&Blocker::Run, &blocker, 1, 0, WT_EXECUTEONLYONCE));
    EXPECT_TRUE(timer->IsActive());
    ASSERT_EQ(WAIT_OBJECT_0,
              WaitForSingleObject(blocker.entered.Get(), kLongWaitMs));

    ScopedHandle ended = MakeEvent();
    bool returned_before_end = false;
    std::thread ender([&] {
      c.end(&timer);
      returned_before_end = blocker.returned.load();
      SetEvent(ended.Get());
    });
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT),
              WaitForSingleObject(ended.Get(), kStillBlockedMs));
    SetEvent(blocker.release.Get());
    ender.join();
    EXPECT_TRUE(returned_before_end);
    EXPECT_EQ(1, blocker.runs.load());
    EXPECT_FALSE(timer && timer->IsActive());
  }
}

TEST(ScopedTimerQueueTimerTest, ATimerDeletedBeforeItIsDueNeverRuns) {
  Blocker blocker;
  SetEvent(blocker.release.Get());
  {
    ScopedTimerQueueTimer timer;
    ASSERT_TRUE(timer.Start(&Blocker::Run, &blocker, kLongWaitMs * 6, 0,
                            WT_EXECUTEONLYONCE));
  }
  EXPECT_EQ(0, blocker.runs.load());
}

}  // namespace
}  // namespace win
}  // namespace base
