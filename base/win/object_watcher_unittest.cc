#include "base/win/object_watcher.h"

#include <string.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/test/scoped_busy_thread_pool_win.h"
#include "base/threading/platform_thread.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

ScopedHandle MakeEvent(bool signaled) {
  return ScopedHandle(CreateEventW(nullptr, TRUE, signaled, nullptr));
}

class RecordingDelegate : public ObjectWatcher::Delegate {
 public:
  explicit RecordingDelegate(std::vector<std::string>* log) : log_(log) {}
  void OnObjectSignaled(Handle object) override {
    ++calls_;
    object_ = object;
    thread_ = PlatformThread::CurrentId();
    log_->push_back("signaled");
    if (after_) after_();
  }
  int calls() const { return calls_; }
  Handle object() const { return object_; }
  PlatformThreadId thread() const { return thread_; }
  void set_after(std::function<void()> after) { after_ = std::move(after); }

 private:
  std::vector<std::string>* log_;
  std::function<void()> after_;
  int calls_ = 0;
  Handle object_ = nullptr;
  PlatformThreadId thread_ = kInvalidThreadId;
};

// Runs the loop until |done| is set, or fails after a few seconds.
void RunUntil(const bool& done) {
  TimeTicks deadline = TimeTicks::Now() + TimeDelta::FromSeconds(5);
  while (!done && TimeTicks::Now() < deadline) {
    RunLoop run_loop;
    MessageLoop::current()->PostDelayedTask(CURRENT_LOCATION,
                                            run_loop.QuitClosure(),
                                            TimeDelta::FromMilliseconds(5));
    run_loop.Run();
  }
  EXPECT_TRUE(done);
}

TEST(ObjectWatcherTest, AlreadySignaledObjectFiresOnceAfterTheCurrentTask) {
  MessageLoop loop;
  ScopedHandle event = MakeEvent(true);
  std::vector<std::string> log;
  RecordingDelegate delegate(&log);
  ObjectWatcher watcher;
  loop.PostTask(
      CURRENT_LOCATION,
      Bind(
          [](ObjectWatcher* watcher, Handle event, RecordingDelegate* delegate,
             std::vector<std::string>* log) {
            EXPECT_TRUE(watcher->StartWatchingOnce(event, delegate));
            EXPECT_TRUE(watcher->IsWatching());
            // The wait thread posts meanwhile; the delegate must
            // still wait for this task to end.
            Sleep(100);
            log->push_back("task-end");
          },
          &watcher, event.Get(), &delegate, &log));
  bool done = false;
  delegate.set_after([&done] { done = true; });
  RunUntil(done);
  // The event stays signalled, but the watch ended with the first signal.
  RunLoop().RunUntilIdle();
  Sleep(50);
  RunLoop().RunUntilIdle();
  EXPECT_EQ(log, (std::vector<std::string>{"task-end", "signaled"}));
  EXPECT_EQ(delegate.calls(), 1);
  EXPECT_EQ(delegate.object(), event.Get());
  EXPECT_EQ(delegate.thread(), PlatformThread::CurrentId());
  EXPECT_FALSE(watcher.IsWatching());
  EXPECT_EQ(watcher.GetWatchedObject(), nullptr);
}

TEST(ObjectWatcherTest, SignalFromAnotherThread) {
  MessageLoop loop;
  ScopedHandle event = MakeEvent(false);
  std::vector<std::string> log;
  RecordingDelegate delegate(&log);
  ObjectWatcher watcher;
  ASSERT_TRUE(watcher.StartWatchingOnce(event.Get(), &delegate));
  bool done = false;
  delegate.set_after([&done] { done = true; });
  std::thread signaler([&event] {
    PlatformThread::Sleep(TimeDelta::FromMilliseconds(50));
    SetEvent(event.Get());
  });
  RunUntil(done);
  signaler.join();
  EXPECT_EQ(delegate.calls(), 1);
}

TEST(ObjectWatcherTest, StopAfterTheSignalWasPostedCallsNothing) {
  MessageLoop loop;
  ScopedHandle event = MakeEvent(true);
  std::vector<std::string> log;
  RecordingDelegate delegate(&log);
  ObjectWatcher watcher;
  ASSERT_TRUE(watcher.StartWatchingOnce(event.Get(), &delegate));
  // Give the wait thread time to post the signal.
  Sleep(200);
  EXPECT_TRUE(watcher.StopWatching());
  EXPECT_FALSE(watcher.StopWatching());
  RunLoop().RunUntilIdle();
  EXPECT_EQ(delegate.calls(), 0);
}

TEST(ObjectWatcherTest, SecondStartIsRefusedAndKeepsTheFirstWatch) {
  MessageLoop loop;
  ScopedHandle first = MakeEvent(false), second = MakeEvent(true);
  std::vector<std::string> log;
  RecordingDelegate delegate(&log);
  ObjectWatcher watcher;
  ASSERT_TRUE(watcher.StartWatchingOnce(first.Get(), &delegate));
  EXPECT_FALSE(watcher.StartWatchingOnce(second.Get(), &delegate));
  EXPECT_EQ(watcher.GetWatchedObject(), first.Get());
  SetEvent(first.Get());
  bool done = false;
  delegate.set_after([&done] { done = true; });
  RunUntil(done);
  EXPECT_EQ(delegate.object(), first.Get());
}

TEST(ObjectWatcherTest, NoLoopNoWatch) {
  ScopedHandle event = MakeEvent(true);
  std::vector<std::string> log;
  RecordingDelegate delegate(&log);
  bool started = true;
  std::thread without_loop([&] {
    ObjectWatcher watcher;
    started = watcher.StartWatchingOnce(event.Get(), &delegate);
  });
  without_loop.join();
  EXPECT_FALSE(started);
}

TEST(ObjectWatcherTest, DestroyingTheLoopCancelsTheWatch) {
  ScopedHandle event = MakeEvent(false);
  std::vector<std::string> log;
  RecordingDelegate delegate(&log);
  ObjectWatcher watcher;
  {
    MessageLoop loop;
    ASSERT_TRUE(watcher.StartWatchingOnce(event.Get(), &delegate));
  }
  EXPECT_FALSE(watcher.IsWatching());
  SetEvent(event.Get());
  Sleep(50);
  EXPECT_EQ(delegate.calls(), 0);
}

TEST(ObjectWatcherTest, DelegateMayRestartOrDestroyTheWatcher) {
  MessageLoop loop;
  ScopedHandle event = MakeEvent(true);
  std::vector<std::string> log;
  RecordingDelegate delegate(&log);
  auto watcher = std::make_unique<ObjectWatcher>();
  bool done = false;
  // First signal: watch again. Second: destroy the watcher.
  delegate.set_after([&] {
    if (delegate.calls() == 1) {
      EXPECT_TRUE(watcher->StartWatchingOnce(event.Get(), &delegate));
    } else {
      watcher.reset();
      done = true;
    }
  });
  ASSERT_TRUE(watcher->StartWatchingOnce(event.Get(), &delegate));
  RunUntil(done);
  EXPECT_EQ(delegate.calls(), 2);
  EXPECT_EQ(watcher, nullptr);
}

// The interrupt's pattern, many times on several threads while the pool is
// busy: a watch stopped right after its object was signalled, while a wait
// thread wakes for that very signal. Once StopWatching has returned nothing
// may touch the watcher: its memory is wiped as soon as it is destroyed, so
// a late callback finds no loop there.
TEST(ObjectWatcherTest, StopsRightAfterTheSignalLeaveNothingBehind) {
  constexpr int kThreads = 4;
  constexpr int kCyclesPerThread = 1500;
  struct CountingDelegate : ObjectWatcher::Delegate {
    void OnObjectSignaled(Handle) override { calls.fetch_add(1); }
    std::atomic<int> calls{0};
  } delegate;
  std::atomic<int> refused_stops{0}, failed_starts{0};
  auto cycle = [&] {
    MessageLoop loop;
    ScopedHandle event = MakeEvent(false);
    alignas(ObjectWatcher) unsigned char storage[sizeof(ObjectWatcher)];
    for (int i = 0; i < kCyclesPerThread; ++i) {
      ResetEvent(event.Get());
      auto* watcher = new (storage) ObjectWatcher;
      if (watcher->StartWatchingOnce(event.Get(), &delegate)) {
        SetEvent(event.Get());
        // Every other stop gives the wait thread a moment to wake first.
        if (i % 2) SwitchToThread();
        if (!watcher->StopWatching()) refused_stops.fetch_add(1);
      } else {
        failed_starts.fetch_add(1);
      }
      watcher->~ObjectWatcher();
      memset(storage, 0, sizeof(storage));
    }
    RunLoop().RunUntilIdle();
  };
  {
    test::ScopedBusyThreadPool busy(8);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) threads.emplace_back(cycle);
    for (std::thread& thread : threads) thread.join();
  }
  EXPECT_EQ(0, failed_starts.load());
  EXPECT_EQ(0, refused_stops.load());
  EXPECT_EQ(0, delegate.calls.load());
}

}  // namespace
}  // namespace win
}  // namespace base
