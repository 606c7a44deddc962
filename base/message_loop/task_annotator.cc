#include "base/message_loop/task_annotator.h"

#include "base/pending_task.h"
#include "base/trace_event/heap_profiler_allocation_context_tracker.h"
#include "base/trace_event/trace_event.h"
#include "base/tracked_objects.h"

namespace base {

namespace {

const unsigned char* FlowCategory() {
  static const unsigned char* const state =
      trace_event::TraceCategoryState("disabled-by-default-toplevel.flow");
  return state;
}

}  // namespace

void TaskAnnotator::DidQueueTask(const char* queue_function,
                                 PendingTask* pending_task) {
  const unsigned char* flow = FlowCategory();
  if (!trace_event::IsCategoryEnabled(flow)) return;
  // Task tracking may be off: the flow keeps its own queue time.
  pending_task->queue_time = TimeTicks::Now();
  trace_event::AddFlowEvent(trace_event::kPhaseFlowBegin, flow, queue_function,
                            GetTaskTraceID(*pending_task));
}

void TaskAnnotator::RunTask(const char* queue_function,
                            const PendingTask& pending_task) {
  tracked_objects::TaskStopwatch stopwatch;
  stopwatch.Start();

  const unsigned char* flow = FlowCategory();
  if (trace_event::IsCategoryEnabled(flow)) {
    TimeTicks queued = pending_task.delayed_run_time;
    if (queued.is_null()) queued = pending_task.queue_time;
    // Queued before the flows were traced: the wait is unknown.
    int64_t queue_ms =
        queued.is_null() ? 0 : (TimeTicks::Now() - queued).InMilliseconds();
    trace_event::AddFlowEvent(trace_event::kPhaseFlowEnd, flow, queue_function,
                              GetTaskTraceID(pending_task), "queue_duration",
                              queue_ms);
  }

  trace_event::HeapProfilerScopedTaskContext task_context(
      pending_task.posted_from.file_name());
  // Kept in a live stack slot, so that a crash dump of this frame shows
  // where the running task was posted from.
  const void* volatile program_counter =
      pending_task.posted_from.program_counter();
  pending_task.task.Run();
  (void)program_counter;

  stopwatch.Stop();
  tracked_objects::ThreadData::TallyADeathIfActive(
      pending_task.births, pending_task.time_posted, stopwatch);
}

uint64_t TaskAnnotator::GetTaskTraceID(const PendingTask& task) const {
  return (static_cast<uint64_t>(static_cast<uint32_t>(task.sequence_num))
          << 32) |
         static_cast<uint32_t>(reinterpret_cast<uintptr_t>(this));
}

}  // namespace base
