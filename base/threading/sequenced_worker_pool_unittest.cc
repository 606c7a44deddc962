#include "base/threading/sequenced_worker_pool.h"

#include <atomic>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/synchronization/lock.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/platform_thread.h"
#include "base/threading/worker_pool.h"
#include "gtest/gtest.h"

namespace base {
namespace {

constexpr TimeDelta kLongWait = TimeDelta::FromMicroseconds(10 * 1000 * 1000);

WaitableEvent MakeEvent() {
  return WaitableEvent(WaitableEvent::ResetPolicy::kManual,
                       WaitableEvent::InitialState::kNotSignaled);
}

// Records the order of runs and catches two runs of one sequence at once.
struct SequenceRecorder {
  Lock lock;
  std::vector<int> order;
  std::atomic<int> running{0};
  std::atomic<bool> overlapped{false};

  void Run(int index) {
    if (running.fetch_add(1) != 0) overlapped = true;
    PlatformThread::YieldCurrentThread();
    {
      AutoLock hold(lock);
      order.push_back(index);
    }
    running.fetch_sub(1);
  }
};

TEST(SequencedWorkerPoolTest, TasksOfOneTokenRunOneAtATimeInPostingOrder) {
  auto pool = MakeRefCounted<SequencedWorkerPool>(4, "OrderPool");
  SequenceRecorder first, second;
  auto runner1 =
      pool->GetSequencedTaskRunner(pool->GetNamedSequenceToken("first"),
                                   SequencedWorkerPool::BLOCK_SHUTDOWN);
  auto runner2 =
      pool->GetSequencedTaskRunner(SequencedWorkerPool::GetSequenceToken(),
                                   SequencedWorkerPool::BLOCK_SHUTDOWN);
  for (int i = 0; i < 30; ++i) {
    ASSERT_TRUE(runner1->PostTask(CURRENT_LOCATION,
                                  Bind(&SequenceRecorder::Run, &first, i)));
    ASSERT_TRUE(runner2->PostTask(CURRENT_LOCATION,
                                  Bind(&SequenceRecorder::Run, &second, i)));
  }
  pool->Shutdown(0);

  std::vector<int> expected;
  for (int i = 0; i < 30; ++i) expected.push_back(i);
  EXPECT_EQ(expected, first.order);
  EXPECT_EQ(expected, second.order);
  EXPECT_FALSE(first.overlapped);
  EXPECT_FALSE(second.overlapped);
}

TEST(SequencedWorkerPoolTest, DifferentTokensRunSideBySide) {
  auto pool = MakeRefCounted<SequencedWorkerPool>(2, "ParallelPool");
  WaitableEvent a_started = MakeEvent();
  WaitableEvent b_done = MakeEvent();
  std::atomic<bool> a_saw_b{false};
  // A waits for B: only possible when both run at once.
  pool->GetSequencedTaskRunner(SequencedWorkerPool::GetSequenceToken(),
                               SequencedWorkerPool::BLOCK_SHUTDOWN)
      ->PostTask(CURRENT_LOCATION,
                 Bind(
                     [](WaitableEvent* started, WaitableEvent* done,
                        std::atomic<bool>* saw) {
                       started->Signal();
                       *saw = done->TimedWait(kLongWait);
                     },
                     &a_started, &b_done, &a_saw_b));
  ASSERT_TRUE(a_started.TimedWait(kLongWait));
  pool->GetSequencedTaskRunner(SequencedWorkerPool::GetSequenceToken(),
                               SequencedWorkerPool::BLOCK_SHUTDOWN)
      ->PostTask(CURRENT_LOCATION,
                 Bind([](WaitableEvent* done) { done->Signal(); }, &b_done));
  pool->Shutdown(0);
  EXPECT_TRUE(a_saw_b);
  EXPECT_EQ(2u, pool->GetWorkerCountForTesting());
}

// Each delayed task runs no earlier than its delay after its post, and the
// tasks run in the order they fall due: the one posted first, with the
// longest delay, runs last. Each due time is known between the clock read
// before its post and the one after, so that a test thread descheduled
// between two posts (a loaded machine) changes the order expected only
// where the due times really swap.
TEST(SequencedWorkerPoolTest, DelayedTasksRunAfterTheirDelayInTimeOrder) {
  auto pool = MakeRefCounted<SequencedWorkerPool>(1, "DelayPool");
  auto runner =
      pool->GetSequencedTaskRunner(SequencedWorkerPool::GetSequenceToken(),
                                   SequencedWorkerPool::BLOCK_SHUTDOWN);
  struct Posted {
    TimeDelta delay;
    TimeTicks before;
    TimeTicks after;
    TimeTicks ran;
  };
  // Recorded as 2, 1 and 0: on a quiet machine the order is 0, 1, 2.
  Posted posted[] = {{TimeDelta::FromMilliseconds(60), {}, {}, {}},
                     {TimeDelta::FromMilliseconds(20), {}, {}, {}},
                     {TimeDelta(), {}, {}, {}}};
  SequenceRecorder recorder;
  std::atomic<int> runs{0};
  WaitableEvent all_ran = MakeEvent();
  for (int i = 0; i < 3; ++i) {
    posted[i].before = TimeTicks::Now();
    ASSERT_TRUE(runner->PostDelayedTask(
        CURRENT_LOCATION,
        Bind(
            [](SequenceRecorder* recorder, int label, TimeTicks* ran,
               std::atomic<int>* runs, WaitableEvent* all_ran) {
              *ran = TimeTicks::Now();
              recorder->Run(label);
              if (runs->fetch_add(1) == 2) all_ran->Signal();
            },
            &recorder, 2 - i, &posted[i].ran, &runs, &all_ran),
        posted[i].delay));
    posted[i].after = TimeTicks::Now();
  }
  ASSERT_TRUE(all_ran.TimedWait(kLongWait));
  pool->Shutdown(0);
  for (const Posted& task : posted)
    EXPECT_GE(task.ran - task.before, task.delay);
  ASSERT_EQ(3u, recorder.order.size());
  // No task ran before one that certainly fell due earlier.
  for (size_t first = 0; first < 3; ++first) {
    for (size_t later = first + 1; later < 3; ++later) {
      const Posted& a = posted[2 - recorder.order[first]];
      const Posted& b = posted[2 - recorder.order[later]];
      EXPECT_FALSE(b.after + b.delay < a.before + a.delay)
          << recorder.order[first] << " ran before " << recorder.order[later];
    }
  }
}

TEST(SequencedWorkerPoolTest, FirstWorkerIsNamedWithPrefixNumberAndId) {
  auto pool = MakeRefCounted<SequencedWorkerPool>(1, "NamePool");
  std::string name;
  PlatformThreadId id = kInvalidThreadId;
  pool->PostTask(CURRENT_LOCATION,
                 Bind(
                     [](std::string* name, PlatformThreadId* id) {
                       *name = PlatformThread::GetName();
                       *id = PlatformThread::CurrentId();
                     },
                     &name, &id));
  pool->Shutdown(0);
  EXPECT_EQ("NamePoolWorker1/" + std::to_string(id), name);
  EXPECT_EQ(1u, pool->GetWorkerCountForTesting());
}

// Shutdown with a blocking task running: what happens to a task of each
// behaviour that is still pending when shutdown starts.
TEST(SequencedWorkerPoolTest, ShutdownRunsOnlyPendingBlockingTasks) {
  struct Case {
    SequencedWorkerPool::WorkerShutdown behavior;
    TimeDelta delay;
    bool runs;
  };
  const Case kCases[] = {
      {SequencedWorkerPool::CONTINUE_ON_SHUTDOWN, TimeDelta(), false},
      {SequencedWorkerPool::SKIP_ON_SHUTDOWN, TimeDelta(), false},
      {SequencedWorkerPool::BLOCK_SHUTDOWN, TimeDelta(), true},
      // A delayed task never blocks shutdown, whatever its runner says.
      {SequencedWorkerPool::BLOCK_SHUTDOWN, TimeDelta::FromMilliseconds(1),
       false},
  };
  for (const Case& test : kCases) {
    SCOPED_TRACE(testing::Message()
                 << test.behavior << " delay " << test.delay.InMicroseconds());
    auto pool = MakeRefCounted<SequencedWorkerPool>(1, "ShutdownPool");
    WaitableEvent blocker_started = MakeEvent();
    std::atomic<bool> ran{false};
    // Holds the only worker until shutdown has started.
    pool->PostTask(
        CURRENT_LOCATION,
        Bind(
            [](SequencedWorkerPool* pool, WaitableEvent* started) {
              started->Signal();
              while (pool->GetSequencedTaskRunner(
                             SequencedWorkerPool::SequenceToken(),
                             SequencedWorkerPool::CONTINUE_ON_SHUTDOWN)
                         ->PostTask(CURRENT_LOCATION, Bind([] {}))) {
                PlatformThread::Sleep(TimeDelta::FromMilliseconds(1));
              }
            },
            pool.get(), &blocker_started));
    ASSERT_TRUE(blocker_started.TimedWait(kLongWait));
    ASSERT_TRUE(pool->GetSequencedTaskRunner(
                        SequencedWorkerPool::GetSequenceToken(), test.behavior)
                    ->PostDelayedTask(
                        CURRENT_LOCATION,
                        Bind([](std::atomic<bool>* ran) { *ran = true; }, &ran),
                        test.delay));
    pool->Shutdown(0);
    EXPECT_EQ(test.runs, ran.load());
  }
}

TEST(SequencedWorkerPoolTest, ShutdownDoesNotWaitForRunningSkipTask) {
  auto pool = MakeRefCounted<SequencedWorkerPool>(1, "SkipPool");
  WaitableEvent started = MakeEvent();
  WaitableEvent release = MakeEvent();
  std::atomic<bool> finished{false};
  pool->GetSequencedTaskRunner(SequencedWorkerPool::GetSequenceToken(),
                               SequencedWorkerPool::SKIP_ON_SHUTDOWN)
      ->PostTask(CURRENT_LOCATION,
                 Bind(
                     [](WaitableEvent* started, WaitableEvent* release,
                        std::atomic<bool>* finished) {
                       started->Signal();
                       release->TimedWait(kLongWait);
                       *finished = true;
                     },
                     &started, &release, &finished));
  ASSERT_TRUE(started.TimedWait(kLongWait));
  pool->Shutdown(0);
  EXPECT_FALSE(finished);
  release.Signal();
  while (!finished) PlatformThread::Sleep(TimeDelta::FromMilliseconds(1));
}

TEST(SequencedWorkerPoolTest, PostsAfterShutdownZeroAreRefused) {
  auto pool = MakeRefCounted<SequencedWorkerPool>(1, "RefusePool");
  pool->PostTask(CURRENT_LOCATION, Bind([] {}));
  pool->Shutdown(0);
  for (auto behavior : {SequencedWorkerPool::CONTINUE_ON_SHUTDOWN,
                        SequencedWorkerPool::SKIP_ON_SHUTDOWN,
                        SequencedWorkerPool::BLOCK_SHUTDOWN}) {
    EXPECT_FALSE(pool->GetSequencedTaskRunner(
                         SequencedWorkerPool::GetSequenceToken(), behavior)
                     ->PostTask(CURRENT_LOCATION, Bind([] {})));
  }
  EXPECT_FALSE(pool->PostTask(CURRENT_LOCATION, Bind([] {})));
}

// A blocking task running when shutdown starts may post one more blocking
// task under Shutdown(1), which then runs before Shutdown returns; a task
// that does not block shutdown may not post any.
TEST(SequencedWorkerPoolTest, ShutdownAllowanceIsForBlockingTasksOnly) {
  struct Case {
    SequencedWorkerPool::WorkerShutdown running_behavior;
    bool first_accepted;
  };
  const Case kCases[] = {
      {SequencedWorkerPool::BLOCK_SHUTDOWN, true},
      {SequencedWorkerPool::SKIP_ON_SHUTDOWN, false},
  };
  for (const Case& test : kCases) {
    SCOPED_TRACE(test.running_behavior);
    auto pool = MakeRefCounted<SequencedWorkerPool>(1, "AllowancePool");
    const auto token = SequencedWorkerPool::GetSequenceToken();
    auto blocking_runner = pool->GetSequencedTaskRunner(
        token, SequencedWorkerPool::BLOCK_SHUTDOWN);
    struct Outcome {
      std::atomic<int> accepted{0};
      std::atomic<bool> follow_up_ran{false};
      std::atomic<bool> done{false};
    } outcome;
    WaitableEvent started = MakeEvent();
    pool->GetSequencedTaskRunner(token, test.running_behavior)
        ->PostTask(
            CURRENT_LOCATION,
            Bind(
                [](SequencedWorkerPool* pool, SequencedTaskRunner* runner,
                   WaitableEvent* started, Outcome* outcome) {
                  started->Signal();
                  // Wait until shutdown has started.
                  while (pool->PostDelayedTask(CURRENT_LOCATION, Bind([] {}),
                                               TimeDelta::FromHours(1))) {
                    PlatformThread::Sleep(TimeDelta::FromMilliseconds(1));
                  }
                  for (int i = 0; i < 2; ++i) {
                    if (runner->PostTask(CURRENT_LOCATION,
                                         Bind(
                                             [](Outcome* outcome) {
                                               outcome->follow_up_ran = true;
                                             },
                                             outcome))) {
                      ++outcome->accepted;
                    }
                  }
                  outcome->done = true;
                },
                pool.get(), blocking_runner.get(), &started, &outcome));
    ASSERT_TRUE(started.TimedWait(kLongWait));
    pool->Shutdown(1);
    if (test.first_accepted) {
      EXPECT_TRUE(outcome.done);
      EXPECT_EQ(1, outcome.accepted.load());
      EXPECT_TRUE(outcome.follow_up_ran);
    } else {
      while (!outcome.done)
        PlatformThread::Sleep(TimeDelta::FromMilliseconds(1));
      EXPECT_EQ(0, outcome.accepted.load());
    }
    blocking_runner = nullptr;
    pool = nullptr;
    EXPECT_EQ(test.first_accepted, outcome.follow_up_ran.load());
  }
}

TEST(SequencedWorkerPoolTest, RunnersKnowTheirSequenceAndPool) {
  auto pool = MakeRefCounted<SequencedWorkerPool>(2, "RunsPool");
  auto mine =
      pool->GetSequencedTaskRunner(SequencedWorkerPool::GetSequenceToken(),
                                   SequencedWorkerPool::BLOCK_SHUTDOWN);
  auto other =
      pool->GetSequencedTaskRunner(SequencedWorkerPool::GetSequenceToken(),
                                   SequencedWorkerPool::BLOCK_SHUTDOWN);
  struct Seen {
    bool mine = false, other = true, pool = false, current = false;
  } seen;
  mine->PostTask(
      CURRENT_LOCATION,
      Bind(
          [](SequencedTaskRunner* mine, SequencedTaskRunner* other,
             SequencedWorkerPool* pool, Seen* seen) {
            seen->mine = mine->RunsTasksOnCurrentThread();
            seen->other = other->RunsTasksOnCurrentThread();
            seen->pool = pool->RunsTasksOnCurrentThread();
            seen->current =
                GetCurrentSequencedTaskRunner()->RunsTasksOnCurrentThread();
          },
          mine.get(), other.get(), pool.get(), &seen));
  pool->Shutdown(0);
  EXPECT_TRUE(seen.mine);
  EXPECT_FALSE(seen.other);
  EXPECT_TRUE(seen.pool);
  EXPECT_TRUE(seen.current);
  EXPECT_FALSE(mine->RunsTasksOnCurrentThread());
  EXPECT_FALSE(pool->RunsTasksOnCurrentThread());
}

// A reply posted from a pool task comes back to the task's own sequence.
TEST(SequencedWorkerPoolTest, ReplyReturnsToThePostingSequence) {
  auto pool = MakeRefCounted<SequencedWorkerPool>(2, "ReplyPool");
  auto runner =
      pool->GetSequencedTaskRunner(SequencedWorkerPool::GetSequenceToken(),
                                   SequencedWorkerPool::BLOCK_SHUTDOWN);
  auto helper = MakeRefCounted<SequencedWorkerPool>(1, "HelperPool");
  struct State {
    std::atomic<bool> task_ran{false};
    std::atomic<bool> reply_on_sequence{false};
    WaitableEvent done = MakeEvent();
  } state;
  runner->PostTask(
      CURRENT_LOCATION,
      Bind(
          [](SequencedWorkerPool* helper, SequencedTaskRunner* runner,
             State* state) {
            helper->PostTaskAndReply(
                CURRENT_LOCATION,
                Bind([](State* state) { state->task_ran = true; }, state),
                Bind(
                    [](SequencedTaskRunner* runner, State* state) {
                      state->reply_on_sequence =
                          state->task_ran && runner->RunsTasksOnCurrentThread();
                      state->done.Signal();
                    },
                    runner, state));
          },
          helper.get(), runner.get(), &state));
  ASSERT_TRUE(state.done.TimedWait(kLongWait));
  EXPECT_TRUE(state.reply_on_sequence);
  helper->Shutdown(0);
  pool->Shutdown(0);
}

TEST(SequencedWorkerPoolTest, NamedTokensAreStablePerPool) {
  auto pool = MakeRefCounted<SequencedWorkerPool>(1, "TokenPool");
  const auto a = pool->GetNamedSequenceToken("a");
  EXPECT_TRUE(a.IsValid());
  EXPECT_TRUE(a.Equals(pool->GetNamedSequenceToken("a")));
  EXPECT_FALSE(a.Equals(pool->GetNamedSequenceToken("b")));
  EXPECT_FALSE(SequencedWorkerPool::SequenceToken().IsValid());
  pool->Shutdown(0);
}

// The last reference dropped on a worker: the pool is deleted on the thread
// that built it, which joins the worker.
TEST(SequencedWorkerPoolTest, ReleasedOnItsWorkerIsDeletedOnItsOwnThread) {
  MessageLoop loop;
  auto pool = MakeRefCounted<SequencedWorkerPool>(1, "OrphanPool");
  WaitableEvent release = MakeEvent();
  WaitableEvent task_done = MakeEvent();
  pool->PostTask(CURRENT_LOCATION,
                 Bind(
                     [](const ScopedRefPtr<SequencedWorkerPool>& pool,
                        WaitableEvent* release, WaitableEvent* done) {
                       release->TimedWait(kLongWait);
                       done->Signal();
                     },
                     pool, &release, &task_done));
  pool = nullptr;
  release.Signal();
  ASSERT_TRUE(task_done.TimedWait(kLongWait));
  // The deletion arrives as a task (a leak here is caught by the native
  // build's leak checker).
  for (int i = 0; i < 20; ++i) {
    RunLoop().RunUntilIdle();
    PlatformThread::Sleep(TimeDelta::FromMilliseconds(5));
  }
}

}  // namespace
}  // namespace base
