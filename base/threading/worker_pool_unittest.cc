#include "base/threading/worker_pool.h"

#include <atomic>

#include "base/bind.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/platform_thread.h"
#include "gtest/gtest.h"

namespace base {
namespace {

constexpr TimeDelta kLongWait = TimeDelta::FromMicroseconds(10 * 1000 * 1000);

// Notes the thread its bound state is destroyed on, and whether the reply
// had run by then.
struct DestructionProbe {
  PlatformThreadId* destroyed_on;
  const std::atomic<bool>* reply_ran;
  bool* reply_ran_before_destruction;
  ~DestructionProbe() {
    if (!destroyed_on) return;
    *destroyed_on = PlatformThread::CurrentId();
    *reply_ran_before_destruction = *reply_ran;
  }
};

TEST(WorkerPoolTest, TaskRunsOnAPoolThreadWithTheFlagSet) {
  WaitableEvent done(WaitableEvent::ResetPolicy::kManual,
                     WaitableEvent::InitialState::kNotSignaled);
  std::atomic<bool> flag_inside{false};
  PlatformThreadId task_thread = kInvalidThreadId;
  for (bool slow : {false, true}) {
    done.Reset();
    ASSERT_TRUE(WorkerPool::PostTask(
        CURRENT_LOCATION,
        Bind(
            [](std::atomic<bool>* flag, PlatformThreadId* thread,
               WaitableEvent* done) {
              *flag = WorkerPool::RunsTasksOnCurrentThread();
              *thread = PlatformThread::CurrentId();
              done->Signal();
            },
            &flag_inside, &task_thread, &done),
        slow));
    ASSERT_TRUE(done.TimedWait(kLongWait));
    EXPECT_TRUE(flag_inside);
    EXPECT_NE(PlatformThread::CurrentId(), task_thread);
    EXPECT_FALSE(WorkerPool::RunsTasksOnCurrentThread());
  }
}

TEST(WorkerPoolTest, ReplyRunsOnThePostingThreadAfterTheTaskIsReleased) {
  MessageLoop loop;
  RunLoop run_loop;
  std::atomic<bool> task_ran{false};
  std::atomic<bool> reply_ran{false};
  bool reply_saw_task = false;
  PlatformThreadId reply_thread = kInvalidThreadId;
  PlatformThreadId task_state_destroyed_on = kInvalidThreadId;
  bool reply_before_task_state_destroyed = true;

  auto probe = std::make_shared<DestructionProbe>(
      DestructionProbe{&task_state_destroyed_on, &reply_ran,
                       &reply_before_task_state_destroyed});
  Closure task = Bind([](const std::shared_ptr<DestructionProbe>&,
                         std::atomic<bool>* ran) { *ran = true; },
                      std::move(probe), &task_ran);
  Closure reply = Bind(
      [](std::atomic<bool>* task_ran, std::atomic<bool>* reply_ran,
         bool* saw_task, PlatformThreadId* thread, Closure quit) {
        *saw_task = task_ran->load();
        *thread = PlatformThread::CurrentId();
        *reply_ran = true;
        quit.Run();
      },
      &task_ran, &reply_ran, &reply_saw_task, &reply_thread,
      run_loop.QuitClosure());
  ASSERT_TRUE(
      WorkerPool::PostTaskAndReply(CURRENT_LOCATION, task, reply, false));
  task.Reset();
  run_loop.Run();

  EXPECT_TRUE(reply_saw_task);
  EXPECT_EQ(PlatformThread::CurrentId(), reply_thread);
  EXPECT_EQ(PlatformThread::CurrentId(), task_state_destroyed_on);
  EXPECT_FALSE(reply_before_task_state_destroyed);
}

bool RefuseWorkItem(PendingTask*, bool) { return false; }

TEST(WorkerPoolTest, RefusedWorkItemReleasesTheTaskAndReportsFalse) {
  MessageLoop loop;
  internal::SetQueueWorkItemFunctionForTesting(&RefuseWorkItem);
  PlatformThreadId destroyed_on = kInvalidThreadId;
  std::atomic<bool> never{false};
  bool unused = false;
  auto probe = std::make_shared<DestructionProbe>(
      DestructionProbe{&destroyed_on, &never, &unused});
  std::atomic<bool> ran{false};
  Closure task = Bind([](const std::shared_ptr<DestructionProbe>&,
                         std::atomic<bool>* ran) { *ran = true; },
                      std::move(probe), &ran);

  EXPECT_FALSE(WorkerPool::PostTask(CURRENT_LOCATION, task, false));
  EXPECT_FALSE(WorkerPool::PostTaskAndReply(
      CURRENT_LOCATION, task,
      Bind([](std::atomic<bool>* ran) { *ran = true; }, &ran), true));
  task.Reset();
  internal::SetQueueWorkItemFunctionForTesting(nullptr);
  // Every copy is gone at once, on this thread, and nothing ran.
  EXPECT_EQ(PlatformThread::CurrentId(), destroyed_on);
  RunLoop().RunUntilIdle();
  EXPECT_FALSE(ran);
}

TEST(WorkerPoolTest, CurrentSequencedRunnerIsTheThreadsLoopRunner) {
  EXPECT_FALSE(GetCurrentSequencedTaskRunner());
  MessageLoop loop;
  EXPECT_EQ(loop.task_runner(), GetCurrentSequencedTaskRunner());
}

}  // namespace
}  // namespace base
