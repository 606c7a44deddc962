#include "base/sequenced_task_runner.h"

namespace base {

bool SequencedTaskRunner::PostNonNestableTask(const Location& from_here,
                                              const Closure& task) {
  return PostNonNestableDelayedTask(from_here, task, TimeDelta());
}

bool SequencedTaskRunner::DeleteSoonInternal(const Location& from_here,
                                             void (*deleter)(const void*),
                                             const void* object) {
  return PostNonNestableDelayedTask(from_here, Bind(deleter, object),
                                    TimeDelta());
}

}  // namespace base
