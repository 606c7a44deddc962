// Throughput of task posting: 1,000,000 empty tasks posted and run on one
// thread, and posted from one thread to another. Prints tasks per second.
// Usage: message_loop_benchmark [task count]

#include <stdio.h>
#include <stdlib.h>

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/thread.h"
#include "base/time/time.h"

namespace {

void Nothing() {}

void Report(const char* what, int tasks, base::TimeDelta elapsed) {
  double seconds = elapsed.InSecondsF();
  printf("%-34s %9d tasks in %8.3f s: %12.0f tasks/s\n", what, tasks, seconds,
         seconds > 0 ? tasks / seconds : 0.0);
}

// Posts everything first, then runs the loop dry.
void OneThreadBatch(int tasks) {
  base::MessageLoop loop;
  base::Closure task = base::Bind(&Nothing);
  base::TimeTicks start = base::TimeTicks::Now();
  for (int i = 0; i < tasks; ++i) loop.PostTask(CURRENT_LOCATION, task);
  base::RunLoop().RunUntilIdle();
  Report("one thread, post all then run", tasks,
         base::TimeTicks::Now() - start);
}

// Each task posts the following one, so the queue holds one task at a time.
void PostNext(int* remaining) {
  if (--*remaining > 0) {
    base::MessageLoop::current()->PostTask(CURRENT_LOCATION,
                                           base::Bind(&PostNext, remaining));
  }
}

void OneThreadChain(int tasks) {
  base::MessageLoop loop;
  int remaining = tasks;
  base::TimeTicks start = base::TimeTicks::Now();
  loop.PostTask(CURRENT_LOCATION, base::Bind(&PostNext, &remaining));
  base::RunLoop().RunUntilIdle();
  Report("one thread, each task posts next", tasks,
         base::TimeTicks::Now() - start);
}

void SignalWhenLast(int* remaining, base::WaitableEvent* done) {
  if (--*remaining == 0) done->Signal();
}

void TwoThreads(int tasks) {
  base::Thread worker("Benchmark worker");
  worker.Start();
  worker.WaitUntilThreadStarted();
  base::ScopedRefPtr<base::SequencedTaskRunner> runner = worker.task_runner();
  base::WaitableEvent done(base::WaitableEvent::ResetPolicy::kManual,
                           base::WaitableEvent::InitialState::kNotSignaled);
  // Only the worker touches the count.
  int remaining = tasks;
  base::Closure task = base::Bind(&SignalWhenLast, &remaining, &done);
  base::TimeTicks start = base::TimeTicks::Now();
  for (int i = 0; i < tasks; ++i) runner->PostTask(CURRENT_LOCATION, task);
  done.Wait();
  Report("two threads, post to the other", tasks,
         base::TimeTicks::Now() - start);
  worker.Stop();
}

}  // namespace

int main(int argc, char** argv) {
  int tasks = argc > 1 ? atoi(argv[1]) : 1000000;
  if (tasks < 1) tasks = 1000000;
  OneThreadBatch(tasks);
  OneThreadChain(tasks);
  TwoThreads(tasks);
  return 0;
}
