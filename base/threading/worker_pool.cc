#include "base/threading/worker_pool.h"

#include <atomic>

#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/message_loop/task_annotator.h"
#include "base/pending_task.h"
#include "base/threading/sequenced_worker_pool.h"
#include "base/threading/task_reply_relay.h"
#include "base/threading/thread_local.h"
#include "base/threading/thread_task_runner_registration.h"
#include "base/trace_event/trace_event.h"

namespace base {

namespace {

// Leaky: pool threads may still run while static destructors do.
LeakyLazyInstance<ThreadLocalBoolean> g_running_on_worker_pool;

std::atomic<internal::QueueWorkItemFunction> g_queue_function_for_testing{
    nullptr};

// Sends the task step of PostTaskAndReply to the system pool.
class WorkerPoolAdapter : public internal::TaskReplyPoster {
 public:
  explicit WorkerPoolAdapter(bool task_is_slow) : task_is_slow_(task_is_slow) {}

 private:
  bool PostTask(const Location& from_here, const Closure& task) override {
    return WorkerPool::PostTask(from_here, task, task_is_slow_);
  }

  const bool task_is_slow_;
};

}  // namespace

// static
bool WorkerPool::PostTask(const Location& from_here, const Closure& task,
                          bool task_is_slow) {
  CHECK(!task.is_null());
  auto* item = new PendingTask(from_here, task);
  internal::QueueWorkItemFunction queue =
      g_queue_function_for_testing.load(std::memory_order_acquire);
  if (!queue) queue = &internal::QueueWorkItemToSystemPool;
  if (queue(item, task_is_slow)) return true;
  // The task's bound state goes now, on the posting thread.
  delete item;
  return false;
}

// static
bool WorkerPool::PostTaskAndReply(const Location& from_here,
                                  const Closure& task, const Closure& reply,
                                  bool task_is_slow) {
  return WorkerPoolAdapter(task_is_slow)
      .PostTaskAndReply(from_here, task, reply);
}

// static
bool WorkerPool::RunsTasksOnCurrentThread() {
  return g_running_on_worker_pool.Get().Get();
}

ScopedRefPtr<SequencedTaskRunner> GetCurrentSequencedTaskRunner() {
  if (ScopedRefPtr<SequencedTaskRunner> runner =
          SequencedWorkerPool::GetSequencedTaskRunnerForCurrentWorker()) {
    return runner;
  }
  return ThreadTaskRunnerRegistration::Get();
}

namespace internal {

void RunWorkerPoolItem(PendingTask* item) {
  static const unsigned char* const toplevel =
      trace_event::TraceCategoryState("toplevel");
  {
    trace_event::ScopedTraceEvent event(
        toplevel, "WorkerThread::ThreadMain::Run", "src_file",
        item->posted_from.file_name(), "src_func",
        item->posted_from.function_name());
    g_running_on_worker_pool.Get().Set(true);
    TaskAnnotator().RunTask("WorkerPool::PostTask", *item);
    g_running_on_worker_pool.Get().Set(false);
  }
  delete item;
}

void SetQueueWorkItemFunctionForTesting(QueueWorkItemFunction function) {
  g_queue_function_for_testing.store(function, std::memory_order_release);
}

}  // namespace internal

}  // namespace base
