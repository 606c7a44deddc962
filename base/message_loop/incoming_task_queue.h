// IncomingTaskQueue: the hand-over point between the threads that post to a
// MessageLoop and the loop itself. Posters append under a lock; the loop
// takes the whole queue at once when its own work queue runs dry. The queue
// numbers tasks, decides when the loop's pump must be woken, and refuses
// tasks once its loop is gone.
//
// Shared (reference counted) by the loop and its task runners; it outlives
// the loop while runners hold it and then keeps refusing posts.

#ifndef BASE_MESSAGE_LOOP_INCOMING_TASK_QUEUE_H_
#define BASE_MESSAGE_LOOP_INCOMING_TASK_QUEUE_H_

#include <shared_mutex>

#include "base/callback.h"
#include "base/location.h"
#include "base/memory/ref_counted.h"
#include "base/pending_task.h"
#include "base/synchronization/lock.h"
#include "base/time/time.h"

namespace base {

class MessageLoop;

namespace internal {

class IncomingTaskQueue : public RefCounted<IncomingTaskQueue> {
 public:
  explicit IncomingTaskQueue(MessageLoop* message_loop);
  IncomingTaskQueue(const IncomingTaskQueue&) = delete;
  IncomingTaskQueue& operator=(const IncomingTaskQueue&) = delete;

  // Any thread. Builds the record (run time now + |delay| when the delay is
  // positive) and queues it. False once the loop is gone; the task is then
  // released on the calling thread.
  bool AddToIncomingQueue(const Location& from_here, const Closure& task,
                          TimeDelta delay, bool nestable);

  // Loop thread. Moves every queued record into |work_queue| (which must be
  // empty) and returns the number of high-resolution tasks queued since the
  // previous reload.
  int ReloadWorkQueue(TaskQueue* work_queue);

  // Loop thread, once, when the loop is bound: from now on posts wake the
  // pump; wakes it now when tasks are already waiting.
  void StartScheduling();

  // Loop thread, from the loop's destructor: every later post fails. The
  // tasks still queued are handed back, for the loop to release on its own
  // thread (otherwise the last runner reference would free them, anywhere).
  TaskQueue WillDestroyCurrentMessageLoop();

  // A delay asks for the high-resolution timer when it lies between 1
  // microsecond and 31.999 milliseconds.
  static bool IsHighResolutionDelay(TimeDelta delay);

  // The run time of a task posted now with |delay|: null for no delay,
  // saturating at the maximum.
  static TimeTicks CalculateDelayedRuntime(TimeDelta delay);

  // Overrides the number the following task gets, to exercise the
  // counter's wrap. Loop thread, before anything is posted.
  void SetNextSequenceNumberForTesting(int next);

 private:
  friend class RefCounted<IncomingTaskQueue>;
  ~IncomingTaskQueue();

  bool PostPendingTask(PendingTask* pending_task);

  // Queued since the last reload, for the loop's high-resolution bookkeeping.
  int high_res_task_count_ = 0;
  // Guards everything below except message_loop_.
  Lock incoming_queue_lock_;
  // Shared while posting, exclusive while the loop detaches: a poster that
  // saw the loop can use it (wake its pump) until it lets go.
  std::shared_mutex message_loop_lock_;
  TaskQueue incoming_queue_;
  MessageLoop* message_loop_;
  int next_sequence_num_ = 0;
  // A wake-up is outstanding: the loop has not yet found the queue empty.
  bool message_loop_scheduled_ = false;
  bool is_ready_for_scheduling_ = false;
};

}  // namespace internal
}  // namespace base

#endif  // BASE_MESSAGE_LOOP_INCOMING_TASK_QUEUE_H_
