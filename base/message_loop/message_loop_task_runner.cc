#include "base/message_loop/message_loop_task_runner.h"

#include <utility>

namespace base {

MessageLoopTaskRunner::MessageLoopTaskRunner(
    ScopedRefPtr<internal::IncomingTaskQueue> incoming_queue)
    : incoming_queue_(std::move(incoming_queue)) {}

MessageLoopTaskRunner::~MessageLoopTaskRunner() = default;

void MessageLoopTaskRunner::BindToCurrentThread() {
  AutoLock hold(valid_thread_id_lock_);
  valid_thread_id_ = PlatformThread::CurrentId();
}

bool MessageLoopTaskRunner::PostDelayedTask(const Location& from_here,
                                            const Closure& task,
                                            TimeDelta delay) {
  return incoming_queue_->AddToIncomingQueue(from_here, task, delay, true);
}

bool MessageLoopTaskRunner::PostNonNestableDelayedTask(
    const Location& from_here, const Closure& task, TimeDelta delay) {
  return incoming_queue_->AddToIncomingQueue(from_here, task, delay, false);
}

bool MessageLoopTaskRunner::RunsTasksOnCurrentThread() const {
  AutoLock hold(valid_thread_id_lock_);
  return valid_thread_id_ != kInvalidThreadId &&
         valid_thread_id_ == PlatformThread::CurrentId();
}

}  // namespace base
