// SequencedWorkerPool: a small set of worker threads that run posted tasks.
// Tasks that share a sequence token run one at a time, in posting order
// (delayed ones by their run time); tasks without a token may run side by
// side, up to the thread maximum. Workers are created on demand, one at a
// time, and live until the pool is destroyed.
//
// Every task carries a shutdown behaviour that decides what Shutdown does
// with it: CONTINUE_ON_SHUTDOWN and SKIP_ON_SHUTDOWN tasks that have not
// started are dropped (a started one is not waited for), BLOCK_SHUTDOWN
// tasks all run and Shutdown waits for them.
//
//   ScopedRefPtr<SequencedWorkerPool> pool =
//       MakeRefCounted<SequencedWorkerPool>(1, "PrefsTaskPool");
//   ScopedRefPtr<SequencedTaskRunner> runner = pool->GetSequencedTaskRunner(
//       pool->GetNamedSequenceToken("file"),
//       SequencedWorkerPool::BLOCK_SHUTDOWN);
//   runner->PostTask(CURRENT_LOCATION, write);
//   pool->Shutdown(0);
//
// While a worker runs a task, the runner of that task's sequence is the
// thread's registered runner, so PostTaskAndReply and timers used inside a
// task come back to the same sequence. All methods are thread-safe.
// Destroying the pool (its last reference) shuts it down as Shutdown(0)
// would and joins its workers; when that happens on one of its own workers
// the deletion goes to the thread that built the pool (or, without a loop
// there, to the system thread pool).

#ifndef BASE_THREADING_SEQUENCED_WORKER_POOL_H_
#define BASE_THREADING_SEQUENCED_WORKER_POOL_H_

#include <stddef.h>
#include <stdint.h>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/callback.h"
#include "base/location.h"
#include "base/memory/ref_counted.h"
#include "base/message_loop/task_annotator.h"
#include "base/pending_task.h"
#include "base/sequenced_task_runner.h"
#include "base/synchronization/condition_variable.h"
#include "base/synchronization/lock.h"
#include "base/task_runner.h"
#include "base/threading/platform_thread.h"
#include "base/time/time.h"

namespace base {

class SequencedWorkerPool : public TaskRunner {
 public:
  enum WorkerShutdown {
    // Not run once shutdown has started, and not waited for.
    CONTINUE_ON_SHUTDOWN = 0,
    // Dropped when not started before shutdown; a started one is not waited
    // for.
    SKIP_ON_SHUTDOWN = 1,
    // Runs even when shutdown starts before it does; Shutdown waits for it.
    BLOCK_SHUTDOWN = 2,
  };

  // Names one sequence. Tokens come from one process-wide counter, so a
  // token is never shared by two unrelated sequences; 0 is "no sequence".
  class SequenceToken {
   public:
    SequenceToken() = default;
    bool Equals(const SequenceToken& other) const { return id_ == other.id_; }
    bool IsValid() const { return id_ != 0; }
    int id() const { return id_; }

   private:
    friend class SequencedWorkerPool;
    explicit SequenceToken(int id) : id_(id) {}
    int id_ = 0;
  };

  // Creates no thread yet. Keeps the calling thread's registered runner (if
  // any) for deletions that must leave a worker.
  SequencedWorkerPool(size_t max_threads, const std::string& thread_name_prefix,
                      ThreadPriority priority = ThreadPriority::kNormal);

  // A fresh token of the process-wide counter.
  static SequenceToken GetSequenceToken();
  // The pool's token for |name|, made on first use.
  SequenceToken GetNamedSequenceToken(const std::string& name);

  // A runner that posts into |token|'s sequence with |shutdown_behavior|
  // (delayed posts are always SKIP_ON_SHUTDOWN). The runner keeps the pool
  // alive.
  ScopedRefPtr<SequencedTaskRunner> GetSequencedTaskRunner(
      SequenceToken token, WorkerShutdown shutdown_behavior);

  // The runner of the sequence the calling thread's current task belongs
  // to, when the calling thread is a worker of any pool that is running a
  // task (BLOCK_SHUTDOWN); else null.
  static ScopedRefPtr<SequencedTaskRunner>
  GetSequencedTaskRunnerForCurrentWorker();

  // TaskRunner: no sequence; BLOCK_SHUTDOWN without delay, SKIP_ON_SHUTDOWN
  // with one. False when refused because shutdown has started.
  bool PostDelayedTask(const Location& from_here, const Closure& task,
                       TimeDelta delay) override;
  // True on any of this pool's workers.
  bool RunsTasksOnCurrentThread() const override;

  // Stops taking tasks, except up to |max_new_blocking_tasks_after_shutdown|
  // more BLOCK_SHUTDOWN ones (none from a worker running a task that does
  // not block shutdown, and none once every worker has left), drops pending
  // tasks that do not block, and waits until every BLOCK_SHUTDOWN task has
  // run. A second call does nothing.
  // Must not be called from one of the pool's own workers.
  void Shutdown(int max_new_blocking_tasks_after_shutdown);

  // The number of workers started so far.
  size_t GetWorkerCountForTesting();

 protected:
  ~SequencedWorkerPool() override;
  void OnDestruct() const override;

 private:
  friend class SequencedTaskRunner;
  class PoolSequencedTaskRunner;
  class Worker;

  struct SequencedTask : PendingTask {
    SequencedTask(const Location& from_here, const Closure& task);
    SequencedTask(SequencedTask&& other) noexcept = default;
    SequencedTask& operator=(SequencedTask&& other) noexcept = default;

    int sequence_token_id = 0;
    WorkerShutdown shutdown_behavior = BLOCK_SHUTDOWN;
    TimeTicks time_to_run;
    // Posting order within the pool; breaks ties of equal run times.
    uint64_t sequence_task_number = 0;
  };
  struct TaskOrder {
    bool operator()(const SequencedTask& a, const SequencedTask& b) const;
  };

  enum class GetWorkStatus { kFound, kNotFound, kWait };

  static void DeletePool(const SequencedWorkerPool* pool);

  bool PostTaskInternal(int token_id, WorkerShutdown shutdown_behavior,
                        const Location& from_here, const Closure& task,
                        TimeDelta delay);
  bool RunsTasksOnCurrentThreadForToken(int token_id) const;

  // Lock held: decides whether one more worker would help and, if so,
  // claims its creation; returns its number (from 1), or 0.
  int PrepareToStartAdditionalThreadIfHelpful();
  // Lock not held: builds and starts worker |thread_number|.
  void FinishStartingAdditionalThread(int thread_number);
  // The worker's loop, entered on the worker thread.
  void ThreadLoop(Worker* worker);
  // Lock held: the next task that may run now, the wait until one may, or
  // nothing. Tasks dropped by shutdown land in |delete_these_outside_lock|.
  GetWorkStatus GetWork(std::optional<SequencedTask>* task,
                        TimeDelta* wait_time,
                        std::vector<Closure>* delete_these_outside_lock);
  void RunTask(Worker* worker, SequencedTask* task);

  // The registered runner of the thread that built the pool, may be null.
  const ScopedRefPtr<SequencedTaskRunner> constructor_task_runner_;
  const size_t max_threads_;
  const std::string thread_name_prefix_;
  const ThreadPriority priority_;
  TaskAnnotator task_annotator_;

  mutable Lock lock_;
  ConditionVariable has_work_cv_{&lock_};
  ConditionVariable can_shutdown_cv_{&lock_};
  std::map<std::string, int> named_sequence_tokens_;
  // Registered workers by thread id; owned.
  std::map<PlatformThreadId, std::unique_ptr<Worker>> threads_;
  // Workers that have not left their loop.
  size_t threads_in_loop_ = 0;
  bool thread_being_created_ = false;
  size_t waiting_thread_count_ = 0;
  // Workers running a BLOCK_SHUTDOWN task now.
  size_t blocking_shutdown_thread_count_ = 0;
  std::set<SequencedTask, TaskOrder> pending_tasks_;
  size_t blocking_shutdown_pending_task_count_ = 0;
  // Tokens of the tasks running now.
  std::set<int> current_sequences_;
  uint64_t next_sequence_task_number_ = 0;
  int next_trace_id_ = 0;
  bool shutdown_called_ = false;
  int max_blocking_tasks_after_shutdown_ = 0;
};

namespace internal {

// The worker's apartment: single-threaded COM on Windows, nothing
// elsewhere. True when it must be left again.
bool EnterWorkerApartment();
void LeaveWorkerApartment();

}  // namespace internal

}  // namespace base

#endif  // BASE_THREADING_SEQUENCED_WORKER_POOL_H_
