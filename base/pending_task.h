// PendingTask: one posted task on its way to being run, with where it came
// from, when it may run and the numbers that order it. Records are moved
// between queues, never copied; destroying one releases its task's bind
// state on the destroying thread.

#ifndef BASE_PENDING_TASK_H_
#define BASE_PENDING_TASK_H_

#include <stdint.h>

#include <deque>
#include <vector>

#include "base/callback.h"
#include "base/location.h"
#include "base/time/time.h"
#include "base/tracked_objects.h"

namespace base {

struct PendingTask {
  // Counts a birth at |posted_from| when task tracking is on. The task is
  // copied (one more reference on its bind state).
  PendingTask(const Location& posted_from, const Closure& task);
  PendingTask(const Location& posted_from, const Closure& task,
              TimeTicks delayed_run_time, bool nestable);
  PendingTask(PendingTask&& other) noexcept;
  PendingTask& operator=(PendingTask&& other) noexcept;
  PendingTask(const PendingTask&) = delete;
  PendingTask& operator=(const PendingTask&) = delete;
  ~PendingTask();

  // Task tracking: the posting site's record (null while tracking is off)
  // and the tracking clock at posting time.
  const tracked_objects::Births* births;
  tracked_objects::TrackedTime time_posted;
  // When the task was queued, kept while tracing follows task flows
  // (whatever task tracking does); null otherwise.
  TimeTicks queue_time;

  // When the task may run; null for "as soon as possible".
  TimeTicks delayed_run_time;
  Closure task;
  Location posted_from;
  // Given by the incoming queue; orders equal run times (wraps around).
  int sequence_num = 0;
  // False for tasks that must not run inside a nested run loop.
  bool nestable = true;
  // The task asked for the high-resolution system timer.
  bool is_high_res = false;
};

// True when |a| is due before |b|: the earlier run time first, then the
// lower sequence number, compared as a signed 32-bit difference so that
// posting order holds across a wrap of the counter.
bool RunsBefore(const PendingTask& a, const PendingTask& b);

using TaskQueue = std::deque<PendingTask>;

// The delayed tasks of a loop, earliest (by RunsBefore) on top.
class DelayedTaskQueue {
 public:
  DelayedTaskQueue();
  DelayedTaskQueue(const DelayedTaskQueue&) = delete;
  DelayedTaskQueue& operator=(const DelayedTaskQueue&) = delete;
  ~DelayedTaskQueue();

  void Push(PendingTask task);
  const PendingTask& top() const { return heap_.front(); }
  // Removes and returns the top task.
  PendingTask Pop();
  bool empty() const { return heap_.empty(); }
  size_t size() const { return heap_.size(); }

 private:
  std::vector<PendingTask> heap_;
};

}  // namespace base

#endif  // BASE_PENDING_TASK_H_
