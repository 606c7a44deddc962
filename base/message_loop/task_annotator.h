// TaskAnnotator: what happens around a posted task besides running it:
// the trace flow from posting to running, and task tracking.

#ifndef BASE_MESSAGE_LOOP_TASK_ANNOTATOR_H_
#define BASE_MESSAGE_LOOP_TASK_ANNOTATOR_H_

#include <stdint.h>

namespace base {

struct PendingTask;

class TaskAnnotator {
 public:
  TaskAnnotator() = default;
  TaskAnnotator(const TaskAnnotator&) = delete;
  TaskAnnotator& operator=(const TaskAnnotator&) = delete;

  // Called when |pending_task| (already numbered) is queued: begins its
  // flow event, named |queue_function|, and notes the queue time for it.
  void DidQueueTask(const char* queue_function, PendingTask* pending_task);

  // Runs |pending_task| under a task-tracking stopwatch, ends its flow event
  // and tallies the run. While heap profiling captures, the posting file is
  // the thread's task context for the run.
  void RunTask(const char* queue_function, const PendingTask& pending_task);

  // The flow id of a task: its sequence number in the high 32 bits, the
  // low 32 bits of this annotator's address in the low ones.
  uint64_t GetTaskTraceID(const PendingTask& task) const;
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_TASK_ANNOTATOR_H_
