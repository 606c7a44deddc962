#include "base/message_loop/message_loop.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop/incoming_task_queue.h"
#include "base/message_loop/message_pump_default.h"
#include "base/metrics/histogram.h"
#include "base/metrics/histogram_samples.h"
#include "base/metrics/statistics_recorder.h"
#include "base/run_loop.h"
#include "base/strings/string_number_conversions.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/platform_thread.h"
#include "base/threading/thread.h"
#include "base/threading/thread_task_runner_registration.h"
#include "base/time/time_override.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// A default pump that records what the loop asks of it.
class RecordingPump : public MessagePumpDefault {
 public:
  struct Record {
    std::atomic<int> schedule_work{0};
    std::vector<TimeTicks> delayed_work_times;
  };
  explicit RecordingPump(Record* record) : record_(record) {}
  void ScheduleWork() override {
    record_->schedule_work.fetch_add(1);
    MessagePumpDefault::ScheduleWork();
  }
  void ScheduleDelayedWork(const TimeTicks& time) override {
    record_->delayed_work_times.push_back(time);
    MessagePumpDefault::ScheduleDelayedWork(time);
  }

 private:
  Record* record_;
};

MessageLoop::MessagePumpFactory RecordingPumpFactory(
    RecordingPump::Record* record) {
  return Bind(
      [](RecordingPump::Record* r) -> std::unique_ptr<MessagePump> {
        return std::make_unique<RecordingPump>(r);
      },
      record);
}

// A frozen monotonic clock that tests move by hand.
std::atomic<int64_t> g_fake_ticks{1000000};
TimeTicks FakeTicks() {
  return TimeTicks::FromInternalValue(g_fake_ticks.load());
}
void AdvanceFakeTicks(TimeDelta delta) {
  g_fake_ticks.fetch_add(delta.InMicroseconds());
}

void Append(std::vector<std::string>* log, const std::string& entry) {
  log->push_back(entry);
}

Closure Log(std::vector<std::string>* log, const std::string& entry) {
  return Bind(&Append, log, entry);
}

// Counts destructions of the bound copies that own it.
class Tracker {
 public:
  explicit Tracker(std::atomic<int>* destroyed) : destroyed_(destroyed) {}
  Tracker(Tracker&& other) noexcept
      : destroyed_(std::exchange(other.destroyed_, nullptr)) {}
  Tracker(const Tracker&) = delete;
  ~Tracker() {
    if (destroyed_) destroyed_->fetch_add(1);
  }

 private:
  std::atomic<int>* destroyed_;
};

TEST(MessageLoopTest, ImmediateTasksRunInPostingOrder) {
  MessageLoop loop;
  std::vector<std::string> log;
  loop.PostTask(CURRENT_LOCATION, Log(&log, "a"));
  loop.PostTask(CURRENT_LOCATION, Bind(
                                      [](std::vector<std::string>* log) {
                                        log->push_back("b");
                                        // Runs after this task, never
                                        // inside it.
                                        MessageLoop::current()->PostTask(
                                            CURRENT_LOCATION, Log(log, "d"));
                                        log->push_back("b-end");
                                      },
                                      &log));
  loop.PostTask(CURRENT_LOCATION, Log(&log, "c"));
  RunLoop().RunUntilIdle();
  EXPECT_EQ(log, (std::vector<std::string>{"a", "b", "b-end", "c", "d"}));
}

TEST(MessageLoopTest, DelayedTasksRunByTimeThenPostingOrder) {
  subtle::ScopedTimeClockOverrides clock(nullptr, &FakeTicks);
  MessageLoop loop;
  std::vector<std::string> log;
  loop.PostDelayedTask(CURRENT_LOCATION, Log(&log, "late"),
                       TimeDelta::FromMilliseconds(50));
  loop.PostDelayedTask(CURRENT_LOCATION, Log(&log, "same-1"),
                       TimeDelta::FromMilliseconds(20));
  loop.PostDelayedTask(CURRENT_LOCATION, Log(&log, "early"),
                       TimeDelta::FromMilliseconds(10));
  loop.PostDelayedTask(CURRENT_LOCATION, Log(&log, "same-2"),
                       TimeDelta::FromMilliseconds(20));
  loop.PostTask(CURRENT_LOCATION, Log(&log, "now"));
  loop.PostDelayedTask(CURRENT_LOCATION, Log(&log, "later-than-run"),
                       TimeDelta::FromMilliseconds(500));

  RunLoop().RunUntilIdle();
  EXPECT_EQ(log, (std::vector<std::string>{"now"}));
  AdvanceFakeTicks(TimeDelta::FromMilliseconds(60));
  RunLoop().RunUntilIdle();
  EXPECT_EQ(log, (std::vector<std::string>{"now", "early", "same-1", "same-2",
                                           "late"}));
}

TEST(MessageLoopTest, OnlyANewEarliestDelayedTaskMovesTheWakeUp) {
  subtle::ScopedTimeClockOverrides clock(nullptr, &FakeTicks);
  RecordingPump::Record record;
  MessageLoop loop(RecordingPumpFactory(&record));
  TimeTicks start = FakeTicks();
  loop.PostDelayedTask(CURRENT_LOCATION, Closure(Bind([] {})),
                       TimeDelta::FromMilliseconds(30));
  loop.PostDelayedTask(CURRENT_LOCATION, Closure(Bind([] {})),
                       TimeDelta::FromMilliseconds(40));
  loop.PostDelayedTask(CURRENT_LOCATION, Closure(Bind([] {})),
                       TimeDelta::FromMilliseconds(10));
  RunLoop().RunUntilIdle();
  std::vector<TimeTicks> want = {start + TimeDelta::FromMilliseconds(30),
                                 start + TimeDelta::FromMilliseconds(10)};
  EXPECT_EQ(record.delayed_work_times, want);
}

TEST(MessageLoopTest, IncomingQueueWakesThePumpOncePerBatch) {
  RecordingPump::Record record;
  std::unique_ptr<MessageLoop> loop = MessageLoop::CreateUnbound(
      MessageLoop::TYPE_CUSTOM, RecordingPumpFactory(&record));
  ScopedRefPtr<SequencedTaskRunner> runner = loop->task_runner();
  std::vector<std::string> log;
  // Not bound yet: nothing to wake, and the runner runs nothing anywhere.
  runner->PostTask(CURRENT_LOCATION, Log(&log, "early-1"));
  runner->PostTask(CURRENT_LOCATION, Log(&log, "early-2"));
  EXPECT_FALSE(runner->RunsTasksOnCurrentThread());
  loop->BindToCurrentThread();
  EXPECT_EQ(record.schedule_work.load(), 1);
  EXPECT_TRUE(runner->RunsTasksOnCurrentThread());

  RunLoop().RunUntilIdle();
  EXPECT_EQ(log, (std::vector<std::string>{"early-1", "early-2"}));

  // The reload found the queue empty: the following post wakes the pump,
  // the ones behind it do not.
  runner->PostTask(CURRENT_LOCATION, Log(&log, "a"));
  runner->PostTask(CURRENT_LOCATION, Log(&log, "b"));
  runner->PostTask(CURRENT_LOCATION, Log(&log, "c"));
  EXPECT_EQ(record.schedule_work.load(), 2);
  RunLoop().RunUntilIdle();
  runner->PostTask(CURRENT_LOCATION, Log(&log, "d"));
  EXPECT_EQ(record.schedule_work.load(), 3);
  RunLoop().RunUntilIdle();
  EXPECT_EQ(log.back(), "d");
}

TEST(MessageLoopTest, RunsTasksOnCurrentThreadOnlyOnTheBoundThread) {
  MessageLoop loop;
  ScopedRefPtr<SequencedTaskRunner> runner = loop.task_runner();
  EXPECT_TRUE(runner->RunsTasksOnCurrentThread());
  bool elsewhere = true;
  std::thread other([&] { elsewhere = runner->RunsTasksOnCurrentThread(); });
  other.join();
  EXPECT_FALSE(elsewhere);
  EXPECT_EQ(ThreadTaskRunnerRegistration::Get(), runner);
}

TEST(MessageLoopTest, HighResolutionDelayBoundaries) {
  struct Case {
    int64_t delay_us;
    bool high_res;
  } cases[] = {
      {-1, false},   {0, false},     {1, true},
      {31999, true}, {32000, false}, {TimeDelta::kMaxValue, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.delay_us);
    EXPECT_EQ(internal::IncomingTaskQueue::IsHighResolutionDelay(
                  TimeDelta::FromMicroseconds(c.delay_us)),
              c.high_res);
  }
  EXPECT_TRUE(
      internal::IncomingTaskQueue::CalculateDelayedRuntime(TimeDelta::Max())
          .is_max());
  EXPECT_TRUE(internal::IncomingTaskQueue::CalculateDelayedRuntime(TimeDelta())
                  .is_null());
}

TEST(MessageLoopTest, RunLoopInsideATaskRunsNoTasks) {
  MessageLoop loop;
  std::vector<std::string> log;
  loop.PostTask(CURRENT_LOCATION, Bind(
                                      [](std::vector<std::string>* log) {
                                        MessageLoop::current()->PostTask(
                                            CURRENT_LOCATION,
                                            Log(log, "posted"));
                                        RunLoop nested;
                                        nested.QuitWhenIdle();
                                        nested.Run();
                                        log->push_back("nested-returned");
                                      },
                                      &log));
  RunLoop().RunUntilIdle();
  EXPECT_EQ(log, (std::vector<std::string>{"nested-returned", "posted"}));
}

TEST(MessageLoopTest, QuitRules) {
  MessageLoop loop;
  {
    // Quit before Run: Run returns at once.
    RunLoop run_loop;
    run_loop.Quit();
    bool ran = false;
    loop.PostTask(CURRENT_LOCATION, Bind([](bool* ran) { *ran = true; }, &ran));
    run_loop.Run();
    EXPECT_FALSE(ran);
    RunLoop().RunUntilIdle();
    EXPECT_TRUE(ran);
  }
  {
    // A quit closure outliving its run loop does nothing.
    Closure quit;
    {
      RunLoop run_loop;
      quit = run_loop.QuitClosure();
    }
    quit.Run();
  }
  {
    // Quit posted as a task ends the run after the tasks before it.
    std::vector<std::string> log;
    RunLoop run_loop;
    loop.PostTask(CURRENT_LOCATION, Log(&log, "before"));
    loop.PostTask(CURRENT_LOCATION, run_loop.QuitClosure());
    loop.PostTask(CURRENT_LOCATION, Log(&log, "after"));
    run_loop.Run();
    EXPECT_EQ(log, (std::vector<std::string>{"before"}));
    RunLoop().RunUntilIdle();
    EXPECT_EQ(log, (std::vector<std::string>{"before", "after"}));
  }
}

TEST(MessageLoopTest, OuterQuitWaitsForTheNestedRun) {
  MessageLoop loop;
  std::vector<std::string> log;
  RunLoop outer;
  loop.PostTask(CURRENT_LOCATION,
                Bind(
                    [](RunLoop* outer, std::vector<std::string>* log) {
                      RunLoop nested;
                      // Quitting the outer run now must not end the nested
                      // one; it takes effect once the nested one returns.
                      outer->Quit();
                      nested.QuitWhenIdle();
                      nested.Run();
                      log->push_back("nested-done");
                    },
                    &outer, &log));
  loop.PostTask(CURRENT_LOCATION, Log(&log, "after"));
  outer.Run();
  EXPECT_EQ(log, (std::vector<std::string>{"nested-done"}));
  RunLoop().RunUntilIdle();
  EXPECT_EQ(log, (std::vector<std::string>{"nested-done", "after"}));
}

TEST(MessageLoopTest, DestructionReleasesQueuedTasksOnItsThread) {
  std::atomic<int> destroyed{0};
  PlatformThreadId destroying_thread = kInvalidThreadId;
  ScopedRefPtr<SequencedTaskRunner> runner;
  {
    MessageLoop loop;
    runner = loop.task_runner();
    loop.PostTask(CURRENT_LOCATION,
                  Bind([](const Tracker&) {}, Tracker(&destroyed)));
    loop.PostDelayedTask(CURRENT_LOCATION,
                         Bind([](const Tracker&) {}, Tracker(&destroyed)),
                         TimeDelta::FromHours(1));
    loop.PostNonNestableTask(CURRENT_LOCATION,
                             Bind([](const Tracker&) {}, Tracker(&destroyed)));
    destroying_thread = PlatformThread::CurrentId();
  }
  EXPECT_EQ(destroyed.load(), 3);
  EXPECT_EQ(destroying_thread, PlatformThread::CurrentId());
  // The runner outlives the loop; its posts fail and release at once.
  EXPECT_FALSE(runner->PostTask(
      CURRENT_LOCATION, Bind([](const Tracker&) {}, Tracker(&destroyed))));
  EXPECT_EQ(destroyed.load(), 4);
}

// Posts a copy of itself to the current loop when its bound state dies.
class Reposter {
 public:
  explicit Reposter(int* count) : count_(count) {}
  Reposter(Reposter&& other) noexcept
      : count_(std::exchange(other.count_, nullptr)) {}
  ~Reposter() {
    if (!count_) return;
    ++*count_;
    if (MessageLoop* loop = MessageLoop::current()) {
      loop->PostTask(CURRENT_LOCATION,
                     Bind([](const Reposter&) {}, Reposter(count_)));
    }
  }

 private:
  int* count_;
};

TEST(MessageLoopTest, DestructionStopsAfterAHundredPasses) {
  int count = 0;
  {
    MessageLoop loop;
    loop.PostTask(CURRENT_LOCATION,
                  Bind([](const Reposter&) {}, Reposter(&count)));
  }
  // One per pass for 100 passes; the last re-post is released when the
  // loop is already gone from its thread, so it posts nothing more.
  EXPECT_EQ(count, 101);
}

class Observer : public MessageLoop::DestructionObserver {
 public:
  explicit Observer(std::vector<std::string>* log) : log_(log) {}
  void WillDestroyCurrentMessageLoop() override {
    log_->push_back("destroying");
    // The loop still takes posts now.
    EXPECT_TRUE(MessageLoop::current()->task_runner()->PostTask(
        CURRENT_LOCATION, Closure(Bind([] {}))));
  }

 private:
  std::vector<std::string>* log_;
};

TEST(MessageLoopTest, DestructionObservers) {
  std::vector<std::string> log;
  Observer kept(&log), removed(&log);
  {
    MessageLoop loop;
    loop.AddDestructionObserver(&kept);
    loop.AddDestructionObserver(&kept);
    loop.AddDestructionObserver(&removed);
    loop.RemoveDestructionObserverFor(&removed);
  }
  EXPECT_EQ(log, (std::vector<std::string>{"destroying"}));
}

TEST(MessageLoopTest, DeleteSoonDeletesInALaterTask) {
  MessageLoop loop;
  std::atomic<int> destroyed{0};
  auto* tracker = new Tracker(&destroyed);
  loop.DeleteSoon(CURRENT_LOCATION, tracker);
  EXPECT_EQ(destroyed.load(), 0);
  RunLoop().RunUntilIdle();
  EXPECT_EQ(destroyed.load(), 1);
}

TEST(MessageLoopTest, PostTaskAndReplyReturnsToTheOrigin) {
  MessageLoop loop;
  Thread worker("PostTaskAndReplyTest");
  ASSERT_TRUE(worker.Start());
  PlatformThreadId main_id = PlatformThread::CurrentId();

  struct Seen {
    PlatformThreadId task_thread = kInvalidThreadId;
    PlatformThreadId task_state_released_on = kInvalidThreadId;
    bool task_state_gone_before_reply = false;
    PlatformThreadId reply_thread = kInvalidThreadId;
  } seen;
  // Records the thread that drops the task's bound state.
  struct ReleaseProbe {
    Seen* seen;
    explicit ReleaseProbe(Seen* s) : seen(s) {}
    ReleaseProbe(ReleaseProbe&& other) noexcept
        : seen(std::exchange(other.seen, nullptr)) {}
    ~ReleaseProbe() {
      if (seen) seen->task_state_released_on = PlatformThread::CurrentId();
    }
  };

  RunLoop run_loop;
  Closure quit = run_loop.QuitClosure();
  ASSERT_TRUE(worker.task_runner()->PostTaskAndReply(
      CURRENT_LOCATION,
      Bind(
          [](const ReleaseProbe& probe) {
            probe.seen->task_thread = PlatformThread::CurrentId();
          },
          ReleaseProbe(&seen)),
      Bind(
          [](Seen* seen, const Closure& quit) {
            seen->reply_thread = PlatformThread::CurrentId();
            seen->task_state_gone_before_reply =
                seen->task_state_released_on != kInvalidThreadId;
            quit.Run();
          },
          &seen, quit)));
  run_loop.Run();
  PlatformThreadId worker_id = worker.GetThreadId();
  worker.Stop();

  EXPECT_EQ(seen.task_thread, worker_id);
  EXPECT_NE(seen.task_thread, main_id);
  EXPECT_EQ(seen.reply_thread, main_id);
  EXPECT_EQ(seen.task_state_released_on, main_id);
  EXPECT_TRUE(seen.task_state_gone_before_reply);
}

TEST(MessageLoopTest, RefusedPostTaskAndReplyRunsNothing) {
  MessageLoop loop;
  ScopedRefPtr<SequencedTaskRunner> gone;
  {
    Thread worker("RefusedReplyTest");
    ASSERT_TRUE(worker.Start());
    gone = worker.task_runner();
    worker.Stop();
  }
  std::atomic<int> destroyed{0};
  bool ran = false;
  EXPECT_FALSE(gone->PostTaskAndReply(
      CURRENT_LOCATION, Bind([](const Tracker&) {}, Tracker(&destroyed)),
      Bind([](bool* ran) { *ran = true; }, &ran)));
  EXPECT_EQ(destroyed.load(), 1);
  RunLoop().RunUntilIdle();
  EXPECT_FALSE(ran);
}

TEST(MessageLoopTest, PostsFromManyThreadsAllRun) {
  MessageLoop loop;
  constexpr int kThreads = 4;
  constexpr int kPostsPerThread = 2000;
  ScopedRefPtr<SequencedTaskRunner> runner = loop.task_runner();
  int ran = 0;
  RunLoop run_loop;
  Closure quit = run_loop.QuitClosure();
  Closure count = Bind(
      [](int* ran, const Closure& quit) {
        if (++*ran == kThreads * kPostsPerThread) quit.Run();
      },
      &ran, quit);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([runner, count] {
      for (int j = 0; j < kPostsPerThread; ++j)
        runner->PostTask(CURRENT_LOCATION, count);
    });
  }
  run_loop.Run();
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(ran, kThreads * kPostsPerThread);
}

// With the statistics recorder active, a loop counts the tasks it runs in
// "MsgLoop:" + its thread's name; without it, no such histogram appears.
TEST(MessageLoopTest, CountsItsTasksInItsHistogramWhileStatisticsAreActive) {
  static int thread_number = 0;
  for (const bool active : {true, false}) {
    SCOPED_TRACE(active);
    const std::string thread_name =
        "MessageLoopHistogram" + IntToString(++thread_number);
    std::optional<StatisticsRecorder::ScopedHideForTesting> hidden;
    if (active)
      StatisticsRecorder::EnsureStarted();
    else
      hidden.emplace();
    ASSERT_EQ(active, StatisticsRecorder::IsActive());

    Thread thread(thread_name);
    ASSERT_TRUE(thread.Start());
    WaitableEvent done(WaitableEvent::ResetPolicy::kManual,
                       WaitableEvent::InitialState::kNotSignaled);
    for (int i = 0; i < 3; ++i)
      thread.task_runner()->PostTask(CURRENT_LOCATION, Bind([] {}));
    thread.task_runner()->PostDelayedTask(CURRENT_LOCATION, Bind([] {}),
                                          TimeDelta::FromMilliseconds(1));
    thread.task_runner()->PostDelayedTask(CURRENT_LOCATION,
                                          Bind(&WaitableEvent::Signal, &done),
                                          TimeDelta::FromMilliseconds(1));
    done.Wait();
    std::unique_ptr<HistogramSamples> samples;
    if (active) {
      HistogramBase* histogram =
          StatisticsRecorder::FindHistogram("MsgLoop:" + thread_name);
      ASSERT_TRUE(histogram);
      samples = histogram->SnapshotSamples();
      EXPECT_EQ(LINEAR_HISTOGRAM, histogram->GetHistogramType());
      EXPECT_TRUE(histogram->HasConstructionArguments(1, 1099, 1100));
      EXPECT_EQ(HistogramBase::kHexRangesFlag, histogram->flags());
      std::string graph;
      histogram->WriteAscii(&graph);
      EXPECT_NE(std::string::npos, graph.find("ImmediateTask")) << graph;
      EXPECT_NE(std::string::npos, graph.find("DelayedTask")) << graph;
    }
    thread.Stop();
    hidden.reset();
    if (active) {
      EXPECT_EQ(3, samples->GetCount(MessageLoop::kImmediateTaskEvent));
      EXPECT_EQ(2, samples->GetCount(MessageLoop::kDelayedTaskEvent));
      EXPECT_EQ(5, samples->TotalCount());
    } else {
      EXPECT_FALSE(StatisticsRecorder::FindHistogram("MsgLoop:" + thread_name));
    }
  }
}

}  // namespace
}  // namespace base
