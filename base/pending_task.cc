#include "base/pending_task.h"

#include <algorithm>
#include <utility>

namespace base {

namespace {

// std heap functions keep the largest element on top; "larger" here means
// "due earlier".
bool RunsAfter(const PendingTask& a, const PendingTask& b) {
  return RunsBefore(b, a);
}

}  // namespace

PendingTask::PendingTask(const Location& posted_from, const Closure& task)
    : PendingTask(posted_from, task, TimeTicks(), true) {}

PendingTask::PendingTask(const Location& posted_from, const Closure& task,
                         TimeTicks delayed_run_time, bool nestable)
    : births(tracked_objects::ThreadData::TallyABirthIfActive(posted_from)),
      time_posted(tracked_objects::ThreadData::Now()),
      delayed_run_time(delayed_run_time),
      task(task),
      posted_from(posted_from),
      nestable(nestable) {}

PendingTask::PendingTask(PendingTask&& other) noexcept = default;
PendingTask& PendingTask::operator=(PendingTask&& other) noexcept = default;
PendingTask::~PendingTask() = default;

bool RunsBefore(const PendingTask& a, const PendingTask& b) {
  if (a.delayed_run_time != b.delayed_run_time)
    return a.delayed_run_time < b.delayed_run_time;
  int32_t difference =
      static_cast<int32_t>(static_cast<uint32_t>(a.sequence_num) -
                           static_cast<uint32_t>(b.sequence_num));
  return difference < 0;
}

DelayedTaskQueue::DelayedTaskQueue() = default;
DelayedTaskQueue::~DelayedTaskQueue() = default;

void DelayedTaskQueue::Push(PendingTask task) {
  heap_.push_back(std::move(task));
  std::push_heap(heap_.begin(), heap_.end(), &RunsAfter);
}

PendingTask DelayedTaskQueue::Pop() {
  std::pop_heap(heap_.begin(), heap_.end(), &RunsAfter);
  PendingTask task = std::move(heap_.back());
  heap_.pop_back();
  return task;
}

}  // namespace base
