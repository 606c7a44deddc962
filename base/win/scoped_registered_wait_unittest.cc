#include "base/win/scoped_registered_wait.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "base/test/scoped_busy_thread_pool_win.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

constexpr DWORD kLongWaitMs = 10000;
// Long enough for a non-blocking unregistration to have returned.
constexpr DWORD kStillBlockedMs = 200;

ScopedHandle MakeEvent() {
  return ScopedHandle(CreateEventW(nullptr, FALSE, FALSE, nullptr));
}

// A callback that stays inside until it is released.
struct Blocker {
  ScopedHandle entered = MakeEvent();
  ScopedHandle release = MakeEvent();
  std::atomic<bool> returned{false};

  static void __stdcall Run(void* context, unsigned char) {
    auto* blocker = static_cast<Blocker*>(context);
    SetEvent(blocker->entered.Get());
    WaitForSingleObject(blocker->release.Get(), kLongWaitMs);
    blocker->returned.store(true);
  }
};

// Every way of ending a wait, from another thread than its callback's,
// returns only after the running callback: its context may go right then.
TEST(ScopedRegisteredWaitTest, EndingAWaitWaitsForItsRunningCallback) {
  const struct {
    const char* name;
    std::function<void(std::optional<ScopedRegisteredWait>*)> end;
  } cases[] = {
      {"Unregister", [](auto* wait) { (*wait)->Unregister(); }},
      {"destructor", [](auto* wait) { wait->reset(); }},
      {"assignment", [](auto* wait) { **wait = ScopedRegisteredWait(); }},
      {"registering again",
       [](auto* wait) {
         ScopedHandle other = MakeEvent();
         ASSERT_TRUE((*wait)->Register(
             other.Get(), [](void*, unsigned char) {}, nullptr, INFINITE,
             WT_EXECUTEONLYONCE));
         (*wait)->Unregister();
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Blocker blocker;
    ScopedHandle trigger = MakeEvent();
    std::optional<ScopedRegisteredWait> wait(std::in_place);
    ASSERT_TRUE(wait->Register(trigger.Get(), &Blocker::Run, &blocker, INFINITE,
                               WT_EXECUTEONLYONCE));
    EXPECT_TRUE(wait->IsRegistered());
    SetEvent(trigger.Get());
    ASSERT_EQ(WAIT_OBJECT_0,
              WaitForSingleObject(blocker.entered.Get(), kLongWaitMs));

    ScopedHandle ended = MakeEvent();
    bool returned_before_end = false;
    std::thread ender([&] {
      c.end(&wait);
      returned_before_end = blocker.returned.load();
      SetEvent(ended.Get());
    });
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT),
              WaitForSingleObject(ended.Get(), kStillBlockedMs));
    SetEvent(blocker.release.Get());
    ender.join();
    EXPECT_TRUE(returned_before_end);
    EXPECT_FALSE(wait && wait->IsRegistered());
  }
}

// From inside its own callback, the blocking form would wait for itself.
TEST(ScopedRegisteredWaitTest, ACallbackUnregistersItsOwnWait) {
  struct Context {
    ScopedRegisteredWait wait;
    ScopedHandle done = MakeEvent();
    std::atomic<int> calls{0};
  } context;
  ScopedHandle trigger = MakeEvent();
  ASSERT_TRUE(context.wait.Register(
      trigger.Get(),
      [](void* raw, unsigned char) {
        auto* context = static_cast<Context*>(raw);
        context->calls.fetch_add(1);
        context->wait.UnregisterFromItsCallback();
        SetEvent(context->done.Get());
      },
      &context, INFINITE, 0));
  SetEvent(trigger.Get());
  ASSERT_EQ(WAIT_OBJECT_0,
            WaitForSingleObject(context.done.Get(), kLongWaitMs));
  EXPECT_FALSE(context.wait.IsRegistered());
  EXPECT_EQ(1, context.calls.load());
  // Nothing left to unregister: this returns at once.
  context.wait.Unregister();
}

TEST(ScopedRegisteredWaitTest, MovedWaitKeepsCallingItsCallback) {
  struct Context {
    ScopedHandle called = MakeEvent();
    std::atomic<int> calls{0};
  } context;
  ScopedHandle trigger = MakeEvent();
  ScopedRegisteredWait first;
  ASSERT_TRUE(first.Register(
      trigger.Get(),
      [](void* raw, unsigned char) {
        auto* context = static_cast<Context*>(raw);
        context->calls.fetch_add(1);
        SetEvent(context->called.Get());
      },
      &context, INFINITE, 0));
  ScopedRegisteredWait second(std::move(first));
  EXPECT_FALSE(first.IsRegistered());
  ASSERT_TRUE(second.IsRegistered());
  for (int i = 1; i <= 2; ++i) {
    SetEvent(trigger.Get());
    ASSERT_EQ(WAIT_OBJECT_0,
              WaitForSingleObject(context.called.Get(), kLongWaitMs));
    EXPECT_EQ(i, context.calls.load());
  }
  second.Unregister();
  EXPECT_FALSE(second.IsRegistered());
}

// A one-shot wait in the wait thread, unregistered right after its object
// was signalled, many times on several threads while the pool is busy: once
// Unregister has returned, its callback neither runs nor starts.
TEST(ScopedRegisteredWaitTest,
     UnregisteringRightAfterTheSignalLeavesNoCallback) {
  constexpr int kThreads = 4;
  constexpr int kCyclesPerThread = 1500;
  struct Cycle {
    std::atomic<bool> unregistered{false};
    std::atomic<int> late{0};
    static void __stdcall Run(void* context, unsigned char) {
      auto* cycle = static_cast<Cycle*>(context);
      if (cycle->unregistered.load()) cycle->late.fetch_add(1);
      for (int i = 0; i < 100; ++i) YieldProcessor();
      if (cycle->unregistered.load()) cycle->late.fetch_add(1);
    }
  };
  // Never reused: a late callback of one cycle cannot hide in the next.
  std::vector<std::vector<Cycle>> cycles(kThreads);
  for (auto& per_thread : cycles)
    per_thread = std::vector<Cycle>(kCyclesPerThread);
  std::atomic<int> failed_registrations{0};
  auto run = [&](std::vector<Cycle>* per_thread) {
    ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ScopedRegisteredWait wait;
    for (int i = 0; i < kCyclesPerThread; ++i) {
      Cycle& cycle = (*per_thread)[i];
      ResetEvent(event.Get());
      if (!wait.Register(event.Get(), &Cycle::Run, &cycle, INFINITE,
                         WT_EXECUTEINWAITTHREAD | WT_EXECUTEONLYONCE)) {
        failed_registrations.fetch_add(1);
        continue;
      }
      SetEvent(event.Get());
      // Every other unregistration gives the wait thread a moment first.
      if (i % 2) SwitchToThread();
      wait.Unregister();
      cycle.unregistered.store(true);
    }
  };
  {
    test::ScopedBusyThreadPool busy(8);
    std::vector<std::thread> threads;
    for (auto& per_thread : cycles) threads.emplace_back(run, &per_thread);
    for (std::thread& thread : threads) thread.join();
  }
  int late = 0;
  for (const auto& per_thread : cycles) {
    for (const Cycle& cycle : per_thread) late += cycle.late.load();
  }
  EXPECT_EQ(0, failed_registrations.load());
  EXPECT_EQ(0, late);
}

}  // namespace
}  // namespace win
}  // namespace base
