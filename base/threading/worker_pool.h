// WorkerPool: single tasks on the operating system's thread pool, for work
// that needs no thread of its own (inspecting a folder, uploading a report).
// Tasks may run on any pool thread, several at once, in no set order.
//
//   WorkerPool::PostTaskAndReply(CURRENT_LOCATION, Bind(&Inspect, status),
//                                Bind(&Settings::OnInspected, weak, status),
//                                true);
//
// The portable build runs each task on a short-lived thread of its own.

#ifndef BASE_THREADING_WORKER_POOL_H_
#define BASE_THREADING_WORKER_POOL_H_

#include "base/callback.h"
#include "base/location.h"
#include "base/memory/ref_counted.h"
#include "base/sequenced_task_runner.h"

namespace base {

struct PendingTask;

class WorkerPool {
 public:
  WorkerPool() = delete;

  // Queues |task|; |task_is_slow| tells the system pool that it may block
  // for long. False, with the task released at once, when the system
  // refuses the work item.
  static bool PostTask(const Location& from_here, const Closure& task,
                       bool task_is_slow);

  // Runs |task| on the pool, then |reply| on the calling thread's runner
  // (which must exist). The task's bound state is released on the calling
  // thread, before the reply runs. False, with neither run, when the task
  // cannot be queued.
  static bool PostTaskAndReply(const Location& from_here, const Closure& task,
                               const Closure& reply, bool task_is_slow);

  // True only while the calling thread runs a task of this pool.
  static bool RunsTasksOnCurrentThread();
};

// The runner that stands for the sequence the calling code runs on: the
// sequence of the sequenced-worker-pool task running on this thread, else
// the thread's registered runner; null when there is neither.
ScopedRefPtr<SequencedTaskRunner> GetCurrentSequencedTaskRunner();

namespace internal {

// Hands |item| to the system pool, which runs RunWorkerPoolItem(item) on
// one of its threads. False when refused; |item| stays the caller's.
using QueueWorkItemFunction = bool (*)(PendingTask* item, bool task_is_slow);
bool QueueWorkItemToSystemPool(PendingTask* item, bool task_is_slow);

// Runs and then deletes a queued item; called on the pool thread.
void RunWorkerPoolItem(PendingTask* item);

// Replaces the system call for tests (to make queueing fail); null restores
// it.
void SetQueueWorkItemFunctionForTesting(QueueWorkItemFunction function);

}  // namespace internal

}  // namespace base

#endif  // BASE_THREADING_WORKER_POOL_H_
