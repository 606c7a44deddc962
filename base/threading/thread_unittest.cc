#include "base/threading/thread.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/message_loop/message_pump_default.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/platform_thread.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(ThreadTest, RunsTasksOnItsOwnNamedThread) {
  Thread thread("ThreadTest worker");
  EXPECT_EQ(thread.task_runner(), nullptr);
  ASSERT_TRUE(thread.Start());
  ASSERT_TRUE(thread.WaitUntilThreadStarted());
  EXPECT_TRUE(thread.IsRunning());

  std::string name;
  PlatformThreadId id = kInvalidThreadId;
  bool runs_here = true;
  bool runs_there = false;
  WaitableEvent done(WaitableEvent::ResetPolicy::kManual,
                     WaitableEvent::InitialState::kNotSignaled);
  ScopedRefPtr<SequencedTaskRunner> runner = thread.task_runner();
  runs_here = runner->RunsTasksOnCurrentThread();
  runner->PostTask(
      CURRENT_LOCATION,
      Bind(
          [](std::string* name, PlatformThreadId* id, bool* runs_there,
             SequencedTaskRunner* runner, WaitableEvent* done) {
            *name = PlatformThread::GetName();
            *id = PlatformThread::CurrentId();
            *runs_there = runner->RunsTasksOnCurrentThread();
            done->Signal();
          },
          &name, &id, &runs_there, runner.get(), &done));
  done.Wait();
  EXPECT_EQ(name, "ThreadTest worker");
  EXPECT_EQ(id, thread.GetThreadId());
  EXPECT_NE(id, PlatformThread::CurrentId());
  EXPECT_FALSE(runs_here);
  EXPECT_TRUE(runs_there);
  thread.Stop();
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(thread.task_runner(), nullptr);
}

TEST(ThreadTest, StopRunsWhatWasPostedBefore) {
  std::atomic<int> ran{0};
  auto thread = std::make_unique<Thread>("ThreadTest stop");
  ASSERT_TRUE(thread->Start());
  ScopedRefPtr<SequencedTaskRunner> runner = thread->task_runner();
  for (int i = 0; i < 100; ++i) {
    runner->PostTask(
        CURRENT_LOCATION,
        Bind(
            [](std::atomic<int>* ran) {
              PlatformThread::Sleep(TimeDelta::FromMicroseconds(100));
              ran->fetch_add(1);
            },
            &ran));
  }
  thread->StopSoon();
  thread->StopSoon();
  thread->Stop();
  EXPECT_EQ(ran.load(), 100);
  // The loop is gone: the runner refuses.
  EXPECT_FALSE(runner->PostTask(CURRENT_LOCATION, Closure(Bind([] {}))));
  // Destroying a stopped thread and stopping one never started are no-ops.
  thread.reset();
  Thread never_started("ThreadTest idle");
  never_started.Stop();
  never_started.StopSoon();
}

TEST(ThreadTest, CanBeStartedAgain) {
  Thread thread("ThreadTest restart");
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(thread.Start());
    std::atomic<bool> ran{false};
    thread.task_runner()->PostTask(
        CURRENT_LOCATION,
        Bind([](std::atomic<bool>* ran) { ran->store(true); }, &ran));
    thread.Stop();
    EXPECT_TRUE(ran.load());
  }
}

TEST(ThreadTest, PumpFactoryGivesACustomLoop) {
  Thread thread("ThreadTest custom");
  Thread::Options options;
  std::atomic<int> pumps_made{0};
  options.message_pump_factory = Bind(
      [](std::atomic<int>* made) -> std::unique_ptr<MessagePump> {
        made->fetch_add(1);
        return std::make_unique<MessagePumpDefault>();
      },
      &pumps_made);
  ASSERT_TRUE(thread.StartWithOptions(options));
  std::atomic<int> type{-1};
  thread.task_runner()->PostTask(
      CURRENT_LOCATION, Bind(
                            [](std::atomic<int>* type) {
                              type->store(MessageLoop::current()->type());
                            },
                            &type));
  thread.Stop();
  EXPECT_EQ(type.load(), MessageLoop::TYPE_CUSTOM);
  EXPECT_EQ(pumps_made.load(), 1);
}

// Overrides the hooks, which run on the new thread around the loop.
class HookedThread : public Thread {
 public:
  explicit HookedThread(std::vector<std::string>* log)
      : Thread("ThreadTest hooks"), log_(log) {}
  ~HookedThread() override { Stop(); }

 private:
  void Init() override {
    log_->push_back(MessageLoop::current() ? "init-with-loop" : "init");
  }
  void CleanUp() override {
    log_->push_back(MessageLoop::current() ? "cleanup-with-loop" : "cleanup");
  }

  std::vector<std::string>* log_;
};

TEST(ThreadTest, HooksRunOnTheThreadAroundTheLoop) {
  std::vector<std::string> log;
  {
    HookedThread thread(&log);
    ASSERT_TRUE(thread.Start());
    thread.WaitUntilThreadStarted();
  }
  EXPECT_EQ(log,
            (std::vector<std::string>{"init-with-loop", "cleanup-with-loop"}));
}

}  // namespace
}  // namespace base
