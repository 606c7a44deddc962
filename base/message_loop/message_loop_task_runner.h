// MessageLoopTaskRunner: the runner through which other threads post to a
// MessageLoop. It only holds the loop's incoming queue, so it may outlive
// the loop; posts then fail.

#ifndef BASE_MESSAGE_LOOP_MESSAGE_LOOP_TASK_RUNNER_H_
#define BASE_MESSAGE_LOOP_MESSAGE_LOOP_TASK_RUNNER_H_

#include "base/memory/ref_counted.h"
#include "base/message_loop/incoming_task_queue.h"
#include "base/sequenced_task_runner.h"
#include "base/synchronization/lock.h"
#include "base/threading/platform_thread.h"

namespace base {

class MessageLoopTaskRunner : public SequencedTaskRunner {
 public:
  explicit MessageLoopTaskRunner(
      ScopedRefPtr<internal::IncomingTaskQueue> incoming_queue);

  // Records the calling thread as the one that runs the tasks.
  void BindToCurrentThread();

  bool PostDelayedTask(const Location& from_here, const Closure& task,
                       TimeDelta delay) override;
  bool PostNonNestableDelayedTask(const Location& from_here,
                                  const Closure& task,
                                  TimeDelta delay) override;
  // False on every thread until the loop is bound.
  bool RunsTasksOnCurrentThread() const override;

 private:
  ~MessageLoopTaskRunner() override;

  const ScopedRefPtr<internal::IncomingTaskQueue> incoming_queue_;
  mutable Lock valid_thread_id_lock_;
  PlatformThreadId valid_thread_id_ = kInvalidThreadId;
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_MESSAGE_LOOP_TASK_RUNNER_H_
