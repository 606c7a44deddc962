// SequencedTaskRunner: a task runner whose tasks run one at a time in
// posting order (delayed tasks by their run time). It can also post tasks
// that must not run inside a nested run loop, and deletions.

#ifndef BASE_SEQUENCED_TASK_RUNNER_H_
#define BASE_SEQUENCED_TASK_RUNNER_H_

#include "base/bind.h"
#include "base/task_runner.h"

namespace base {

class SequencedTaskRunner : public TaskRunner {
 public:
  // Like PostDelayedTask, but the task waits for the outermost run loop
  // when it comes up inside a nested one.
  virtual bool PostNonNestableDelayedTask(const Location& from_here,
                                          const Closure& task,
                                          TimeDelta delay) = 0;

  bool PostNonNestableTask(const Location& from_here, const Closure& task);

  // Deletes |object| in a non-nestable task. When the post is refused the
  // object is leaked rather than deleted on the wrong thread.
  template <typename T>
  bool DeleteSoon(const Location& from_here, const T* object) {
    return DeleteSoonInternal(from_here, &DeleteObject<T>, object);
  }

 protected:
  ~SequencedTaskRunner() override = default;

 private:
  template <typename T>
  static void DeleteObject(const void* object) {
    delete static_cast<const T*>(object);
  }

  bool DeleteSoonInternal(const Location& from_here,
                          void (*deleter)(const void*), const void* object);
};

}  // namespace base

#endif  // BASE_SEQUENCED_TASK_RUNNER_H_
