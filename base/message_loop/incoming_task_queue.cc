#include "base/message_loop/incoming_task_queue.h"

#include <mutex>
#include <utility>

#include "base/logging.h"
#include "base/message_loop/message_loop.h"

namespace base {
namespace internal {

namespace {

// Delays below this many milliseconds ask for the high-resolution timer.
constexpr int64_t kHighResolutionDelayLimitMs = 32;

}  // namespace

IncomingTaskQueue::IncomingTaskQueue(MessageLoop* message_loop)
    : message_loop_(message_loop) {}

IncomingTaskQueue::~IncomingTaskQueue() = default;

// static
bool IncomingTaskQueue::IsHighResolutionDelay(TimeDelta delay) {
  return delay >= TimeDelta::FromMicroseconds(1) && !delay.is_max() &&
         delay.InMilliseconds() < kHighResolutionDelayLimitMs;
}

// static
TimeTicks IncomingTaskQueue::CalculateDelayedRuntime(TimeDelta delay) {
  if (delay <= TimeDelta()) return TimeTicks();
  // TimeTicks addition saturates at the maximum.
  return TimeTicks::Now() + delay;
}

bool IncomingTaskQueue::AddToIncomingQueue(const Location& from_here,
                                           const Closure& task, TimeDelta delay,
                                           bool nestable) {
  PendingTask pending_task(from_here, task, CalculateDelayedRuntime(delay),
                           nestable);
  pending_task.is_high_res = IsHighResolutionDelay(delay);
  return PostPendingTask(&pending_task);
}

bool IncomingTaskQueue::PostPendingTask(PendingTask* pending_task) {
  bool schedule_work = false;
  std::shared_lock<std::shared_mutex> loop_hold(message_loop_lock_);
  if (!message_loop_) {
    // Released here, on the posting thread: the loop is gone.
    pending_task->task.Reset();
    return false;
  }
  {
    AutoLock hold(incoming_queue_lock_);
    if (pending_task->is_high_res) ++high_res_task_count_;
    pending_task->sequence_num = next_sequence_num_;
    // The counter wraps; the delayed-task order copes with that.
    next_sequence_num_ =
        static_cast<int>(static_cast<unsigned>(next_sequence_num_) + 1u);
    message_loop_->task_annotator()->DidQueueTask("MessageLoop::PostTask",
                                                  pending_task);
    bool was_empty = incoming_queue_.empty();
    incoming_queue_.push_back(std::move(*pending_task));
    // One wake-up per batch: the loop takes the whole queue when it wakes
    // and keeps reloading until it finds it empty.
    if (is_ready_for_scheduling_ && !message_loop_scheduled_ && was_empty) {
      message_loop_scheduled_ = true;
      schedule_work = true;
    }
  }
  // Outside the queue lock, but still holding the loop shared, so the loop
  // (and its pump) cannot go away during the call.
  if (schedule_work) message_loop_->ScheduleWork();
  return true;
}

int IncomingTaskQueue::ReloadWorkQueue(TaskQueue* work_queue) {
  CHECK(work_queue->empty());
  AutoLock hold(incoming_queue_lock_);
  if (incoming_queue_.empty()) {
    // The loop found nothing and may sleep: the following post wakes it.
    message_loop_scheduled_ = false;
  } else {
    incoming_queue_.swap(*work_queue);
  }
  int high_res_tasks = high_res_task_count_;
  high_res_task_count_ = 0;
  return high_res_tasks;
}

void IncomingTaskQueue::StartScheduling() {
  bool has_tasks;
  {
    AutoLock hold(incoming_queue_lock_);
    is_ready_for_scheduling_ = true;
    has_tasks = !incoming_queue_.empty();
  }
  if (has_tasks) message_loop_->ScheduleWork();
}

TaskQueue IncomingTaskQueue::WillDestroyCurrentMessageLoop() {
  {
    std::unique_lock<std::shared_mutex> loop_hold(message_loop_lock_);
    message_loop_ = nullptr;
  }
  TaskQueue leftovers;
  AutoLock hold(incoming_queue_lock_);
  leftovers.swap(incoming_queue_);
  return leftovers;
}

void IncomingTaskQueue::SetNextSequenceNumberForTesting(int next) {
  AutoLock hold(incoming_queue_lock_);
  next_sequence_num_ = next;
}

}  // namespace internal
}  // namespace base
