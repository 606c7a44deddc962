#include "base/threading/sequenced_worker_pool.h"

#include <atomic>
#include <iterator>
#include <optional>
#include <utility>

#include "base/bind.h"
#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/metrics/histogram.h"
#include "base/strings/stringprintf.h"
#include "base/threading/simple_thread.h"
#include "base/threading/thread_local.h"
#include "base/threading/thread_task_runner_registration.h"
#include "base/threading/worker_pool.h"
#include "base/trace_event/trace_event.h"

namespace base {

namespace {

// Shared by all pools, so that tokens never collide across pools.
std::atomic<int> g_last_sequence_token_id{0};

// Set once any pool has started a worker; until then Shutdown has nothing
// to wait for.
std::atomic<bool> g_pool_thread_started{false};

const char kPostTaskName[] = "SequencedWorkerPool::Inner::PostTask";

}  // namespace

class SequencedWorkerPool::Worker : public SimpleThread {
 public:
  Worker(SequencedWorkerPool* pool, int thread_number,
         const std::string& prefix, ThreadPriority priority)
      : SimpleThread(prefix + StringPrintf("Worker%d", thread_number),
                     Options{0, priority, true}),
        pool_(pool) {}

  void Run() override;

  static Worker* GetForCurrentThread() { return current_worker_.Get().Get(); }

  SequencedWorkerPool* pool() const { return pool_; }
  // Written and read on the worker's own thread only.
  void SetRunningTaskInfo(int token_id, WorkerShutdown behavior) {
    task_token_id_ = token_id;
    task_shutdown_behavior_ = behavior;
    is_processing_task_ = true;
  }
  void ResetRunningTaskInfo() { is_processing_task_ = false; }
  int task_token_id() const { return task_token_id_; }
  WorkerShutdown task_shutdown_behavior() const {
    return task_shutdown_behavior_;
  }
  bool is_processing_task() const { return is_processing_task_; }

 private:
  // Leaky: workers may still run while static destructors do.
  static LeakyLazyInstance<ThreadLocalPointer<Worker>> current_worker_;

  // Not owned: the pool joins its workers before it goes.
  SequencedWorkerPool* const pool_;
  int task_token_id_ = 0;
  WorkerShutdown task_shutdown_behavior_ = BLOCK_SHUTDOWN;
  bool is_processing_task_ = false;
};

LeakyLazyInstance<ThreadLocalPointer<SequencedWorkerPool::Worker>>
    SequencedWorkerPool::Worker::current_worker_;

void SequencedWorkerPool::Worker::Run() {
  const bool left_apartment_needed = internal::EnterWorkerApartment();
  current_worker_.Get().Set(this);
  pool_->ThreadLoop(this);
  current_worker_.Get().Set(nullptr);
  if (left_apartment_needed) internal::LeaveWorkerApartment();
}

class SequencedWorkerPool::PoolSequencedTaskRunner
    : public SequencedTaskRunner {
 public:
  PoolSequencedTaskRunner(ScopedRefPtr<SequencedWorkerPool> pool, int token_id,
                          WorkerShutdown shutdown_behavior)
      : pool_(std::move(pool)),
        token_id_(token_id),
        shutdown_behavior_(shutdown_behavior) {}

  bool PostDelayedTask(const Location& from_here, const Closure& task,
                       TimeDelta delay) override {
    // A delayed task never holds up shutdown.
    return pool_->PostTaskInternal(
        token_id_, delay.is_zero() ? shutdown_behavior_ : SKIP_ON_SHUTDOWN,
        from_here, task, delay);
  }
  bool RunsTasksOnCurrentThread() const override {
    return pool_->RunsTasksOnCurrentThreadForToken(token_id_);
  }
  // Workers never nest loops, so every task is non-nestable already.
  bool PostNonNestableDelayedTask(const Location& from_here,
                                  const Closure& task,
                                  TimeDelta delay) override {
    return PostDelayedTask(from_here, task, delay);
  }

 private:
  ~PoolSequencedTaskRunner() override = default;

  const ScopedRefPtr<SequencedWorkerPool> pool_;
  const int token_id_;
  const WorkerShutdown shutdown_behavior_;
};

SequencedWorkerPool::SequencedTask::SequencedTask(const Location& from_here,
                                                  const Closure& task)
    : PendingTask(from_here, task) {}

bool SequencedWorkerPool::TaskOrder::operator()(const SequencedTask& a,
                                                const SequencedTask& b) const {
  if (a.time_to_run != b.time_to_run) return a.time_to_run < b.time_to_run;
  return a.sequence_task_number < b.sequence_task_number;
}

SequencedWorkerPool::SequencedWorkerPool(size_t max_threads,
                                         const std::string& thread_name_prefix,
                                         ThreadPriority priority)
    : constructor_task_runner_(ThreadTaskRunnerRegistration::Get()),
      max_threads_(max_threads),
      thread_name_prefix_(thread_name_prefix),
      priority_(priority) {
  CHECK_GT(max_threads, 0u);
}

SequencedWorkerPool::~SequencedWorkerPool() {
  // Nobody can post any more. Let the workers run what blocks shutdown and
  // leave their loops, then join them.
  std::map<PlatformThreadId, std::unique_ptr<Worker>> workers;
  {
    AutoLock lock(lock_);
    shutdown_called_ = true;
    max_blocking_tasks_after_shutdown_ = 0;
    has_work_cv_.Broadcast();
    while (thread_being_created_) can_shutdown_cv_.Wait();
    workers.swap(threads_);
  }
  for (auto& [id, worker] : workers) worker->Join();
  // Tasks that never ran are released here, with no lock held.
  pending_tasks_.clear();
}

void SequencedWorkerPool::OnDestruct() const {
  if (!RunsTasksOnCurrentThread()) {
    delete this;
    return;
  }
  // A worker cannot join itself: the thread that built the pool deletes it,
  // or, when that thread has no loop (any more), a system-pool thread.
  const Location from_here("OnDestruct", __FILE__, __LINE__,
                           GetProgramCounter());
  if (constructor_task_runner_ &&
      constructor_task_runner_->DeleteSoon(from_here, this)) {
    return;
  }
  if (WorkerPool::PostTask(from_here, Bind(&DeletePool, this), false)) return;
  LOG(ERROR) << "Worker pool " << thread_name_prefix_
             << " released on its own worker with nowhere to delete it; "
                "leaking it";
}

// static
void SequencedWorkerPool::DeletePool(const SequencedWorkerPool* pool) {
  delete pool;
}

// static
SequencedWorkerPool::SequenceToken SequencedWorkerPool::GetSequenceToken() {
  return SequenceToken(g_last_sequence_token_id.fetch_add(1) + 1);
}

SequencedWorkerPool::SequenceToken SequencedWorkerPool::GetNamedSequenceToken(
    const std::string& name) {
  AutoLock lock(lock_);
  auto found = named_sequence_tokens_.find(name);
  if (found != named_sequence_tokens_.end())
    return SequenceToken(found->second);
  const int id = GetSequenceToken().id();
  named_sequence_tokens_.emplace(name, id);
  return SequenceToken(id);
}

ScopedRefPtr<SequencedTaskRunner> SequencedWorkerPool::GetSequencedTaskRunner(
    SequenceToken token, WorkerShutdown shutdown_behavior) {
  return MakeRefCounted<PoolSequencedTaskRunner>(ScopedRefPtr(this), token.id(),
                                                 shutdown_behavior);
}

// static
ScopedRefPtr<SequencedTaskRunner>
SequencedWorkerPool::GetSequencedTaskRunnerForCurrentWorker() {
  Worker* worker = Worker::GetForCurrentThread();
  if (!worker || !worker->is_processing_task()) return nullptr;
  return MakeRefCounted<PoolSequencedTaskRunner>(
      ScopedRefPtr(worker->pool()), worker->task_token_id(), BLOCK_SHUTDOWN);
}

bool SequencedWorkerPool::PostDelayedTask(const Location& from_here,
                                          const Closure& task,
                                          TimeDelta delay) {
  return PostTaskInternal(0,
                          delay.is_zero() ? BLOCK_SHUTDOWN : SKIP_ON_SHUTDOWN,
                          from_here, task, delay);
}

bool SequencedWorkerPool::RunsTasksOnCurrentThread() const {
  Worker* worker = Worker::GetForCurrentThread();
  return worker && worker->pool() == this;
}

bool SequencedWorkerPool::RunsTasksOnCurrentThreadForToken(int token_id) const {
  Worker* worker = Worker::GetForCurrentThread();
  return worker && worker->pool() == this && worker->is_processing_task() &&
         worker->task_token_id() == token_id;
}

bool SequencedWorkerPool::PostTaskInternal(int token_id,
                                           WorkerShutdown shutdown_behavior,
                                           const Location& from_here,
                                           const Closure& task,
                                           TimeDelta delay) {
  CHECK(!task.is_null());
  SequencedTask sequenced(from_here, task);
  sequenced.sequence_token_id = token_id;
  sequenced.shutdown_behavior = shutdown_behavior;
  sequenced.time_to_run = TimeTicks::Now() + delay;
  if (!delay.is_zero()) sequenced.delayed_run_time = sequenced.time_to_run;

  int create_thread_id = 0;
  {
    AutoLock lock(lock_);
    if (shutdown_called_) {
      if (shutdown_behavior != BLOCK_SHUTDOWN) return false;
      // A task that does not block shutdown may still be running: it must
      // not extend shutdown with work of its own.
      Worker* worker = Worker::GetForCurrentThread();
      if (worker && worker->pool() == this && worker->is_processing_task() &&
          worker->task_shutdown_behavior() != BLOCK_SHUTDOWN) {
        return false;
      }
      if (max_blocking_tasks_after_shutdown_ <= 0) return false;
      // With every worker gone the task would never run: say so.
      if (threads_in_loop_ == 0 && !thread_being_created_) return false;
      --max_blocking_tasks_after_shutdown_;
    }
    sequenced.sequence_num = next_trace_id_++;
    sequenced.sequence_task_number = next_sequence_task_number_++;
    task_annotator_.DidQueueTask(kPostTaskName, &sequenced);
    if (shutdown_behavior == BLOCK_SHUTDOWN)
      ++blocking_shutdown_pending_task_count_;
    pending_tasks_.insert(std::move(sequenced));
    create_thread_id = PrepareToStartAdditionalThreadIfHelpful();
  }
  if (create_thread_id)
    FinishStartingAdditionalThread(create_thread_id);
  else
    has_work_cv_.Signal();
  return true;
}

int SequencedWorkerPool::PrepareToStartAdditionalThreadIfHelpful() {
  lock_.AssertAcquired();
  if (shutdown_called_ || thread_being_created_ ||
      threads_.size() >= max_threads_ || waiting_thread_count_ != 0) {
    return 0;
  }
  for (const SequencedTask& task : pending_tasks_) {
    if (task.sequence_token_id == 0 ||
        current_sequences_.count(task.sequence_token_id) == 0) {
      thread_being_created_ = true;
      return static_cast<int>(threads_.size() + 1);
    }
  }
  return 0;
}

void SequencedWorkerPool::FinishStartingAdditionalThread(int thread_number) {
  g_pool_thread_started.store(true);
  // The worker adopts itself into threads_ once it runs.
  auto worker = std::make_unique<Worker>(this, thread_number,
                                         thread_name_prefix_, priority_);
  if (worker->Start()) {
    worker.release();
    return;
  }
  AutoLock lock(lock_);
  thread_being_created_ = false;
  can_shutdown_cv_.Broadcast();
}

void SequencedWorkerPool::ThreadLoop(Worker* worker) {
  std::vector<Closure> delete_these_outside_lock;
  {
    AutoLock lock(lock_);
    CHECK(thread_being_created_);
    thread_being_created_ = false;
    threads_.emplace(worker->tid(), std::unique_ptr<Worker>(worker));
    ++threads_in_loop_;

    while (true) {
      std::optional<SequencedTask> task;
      TimeDelta wait_time;
      const GetWorkStatus status =
          GetWork(&task, &wait_time, &delete_these_outside_lock);
      if (status == GetWorkStatus::kFound) {
        const int token_id = task->sequence_token_id;
        const bool blocks = task->shutdown_behavior == BLOCK_SHUTDOWN;
        if (token_id) current_sequences_.insert(token_id);
        if (blocks) ++blocking_shutdown_thread_count_;
        const int create_thread_id = PrepareToStartAdditionalThreadIfHelpful();
        {
          AutoUnlock unlock(lock_);
          has_work_cv_.Signal();
          delete_these_outside_lock.clear();
          if (create_thread_id)
            FinishStartingAdditionalThread(create_thread_id);
          RunTask(worker, &*task);
        }
        if (blocks) --blocking_shutdown_thread_count_;
        if (token_id) current_sequences_.erase(token_id);
        continue;
      }

      if (shutdown_called_ && blocking_shutdown_pending_task_count_ == 0) {
        --threads_in_loop_;
        break;
      }
      if (!delete_these_outside_lock.empty()) {
        AutoUnlock unlock(lock_);
        delete_these_outside_lock.clear();
        continue;
      }
      ++waiting_thread_count_;
      if (status == GetWorkStatus::kNotFound) {
        has_work_cv_.Wait();
      } else {
        has_work_cv_.TimedWait(
            TimeDelta::FromMilliseconds(wait_time.InMilliseconds()));
      }
      --waiting_thread_count_;
    }
  }
  delete_these_outside_lock.clear();
  // Let the other workers see shutdown too, and tell Shutdown.
  has_work_cv_.Signal();
  can_shutdown_cv_.Broadcast();
}

void SequencedWorkerPool::RunTask(Worker* worker, SequencedTask* task) {
  static const unsigned char* const toplevel =
      trace_event::TraceCategoryState("toplevel");
  worker->SetRunningTaskInfo(task->sequence_token_id, task->shutdown_behavior);
  {
    // Replies and timers of the task come back to its own sequence.
    ThreadTaskRunnerRegistration registration(
        MakeRefCounted<PoolSequencedTaskRunner>(
            ScopedRefPtr(this), task->sequence_token_id, BLOCK_SHUTDOWN));
    trace_event::ScopedTraceEvent event(
        toplevel, "SequencedWorkerPool::Inner::ThreadLoop", "src_file",
        task->posted_from.file_name(), "src_func",
        task->posted_from.function_name());
    task_annotator_.RunTask(kPostTaskName, *task);
    // The bound state goes before the lock is taken again.
    task->task.Reset();
  }
  worker->ResetRunningTaskInfo();
}

SequencedWorkerPool::GetWorkStatus SequencedWorkerPool::GetWork(
    std::optional<SequencedTask>* task, TimeDelta* wait_time,
    std::vector<Closure>* delete_these_outside_lock) {
  lock_.AssertAcquired();
  const TimeTicks now = TimeTicks::Now();
  for (auto it = pending_tasks_.begin(); it != pending_tasks_.end();) {
    if (it->sequence_token_id &&
        current_sequences_.count(it->sequence_token_id)) {
      ++it;
      continue;
    }
    if (shutdown_called_ && it->shutdown_behavior != BLOCK_SHUTDOWN) {
      auto next = std::next(it);
      auto node = pending_tasks_.extract(it);
      delete_these_outside_lock->push_back(std::move(node.value().task));
      it = next;
      continue;
    }
    if (it->time_to_run > now) {
      *wait_time = it->time_to_run - now;
      return GetWorkStatus::kWait;
    }
    auto node = pending_tasks_.extract(it);
    task->emplace(std::move(node.value()));
    if ((*task)->shutdown_behavior == BLOCK_SHUTDOWN)
      --blocking_shutdown_pending_task_count_;
    return GetWorkStatus::kFound;
  }
  return GetWorkStatus::kNotFound;
}

void SequencedWorkerPool::Shutdown(int max_new_blocking_tasks_after_shutdown) {
  CHECK(!RunsTasksOnCurrentThread());
  AutoLock lock(lock_);
  if (shutdown_called_) return;
  shutdown_called_ = true;
  if (!g_pool_thread_started.load()) return;

  max_blocking_tasks_after_shutdown_ = max_new_blocking_tasks_after_shutdown;
  has_work_cv_.Signal();
  if (!thread_being_created_ && blocking_shutdown_thread_count_ == 0 &&
      blocking_shutdown_pending_task_count_ == 0) {
    return;
  }

  const TimeTicks start = TimeTicks::Now();
  while (thread_being_created_ || blocking_shutdown_thread_count_ != 0 ||
         blocking_shutdown_pending_task_count_ != 0) {
    can_shutdown_cv_.Wait();
  }
  if (HistogramBase* histogram = GetShutdownDelayTimeHistogram())
    histogram->Add(static_cast<HistogramBase::Sample>(
        (TimeTicks::Now() - start).InMilliseconds()));
}

size_t SequencedWorkerPool::GetWorkerCountForTesting() {
  AutoLock lock(lock_);
  return threads_.size();
}

}  // namespace base
