// TaskRunner: the interface through which every subsystem posts work to a
// thread or a pool. Runners are reference counted and thread-safe: any
// thread may post. A post that is refused (the target is gone) returns false
// and releases the task on the posting thread.

#ifndef BASE_TASK_RUNNER_H_
#define BASE_TASK_RUNNER_H_

#include "base/callback.h"
#include "base/location.h"
#include "base/memory/ref_counted.h"
#include "base/time/time.h"

namespace base {

class TaskRunner;

// Calls the runner's destruct hook instead of deleting it, so that a runner
// may choose the thread it is destroyed on.
struct TaskRunnerTraits {
  static void Destruct(const TaskRunner* task_runner);
};

class TaskRunner : public RefCounted<TaskRunner, TaskRunnerTraits> {
 public:
  // Posts |task| to run after |delay| (zero: as soon as possible). False
  // when it will never run.
  virtual bool PostDelayedTask(const Location& from_here, const Closure& task,
                               TimeDelta delay) = 0;
  // True when tasks posted here run on the calling thread.
  virtual bool RunsTasksOnCurrentThread() const = 0;

  bool PostTask(const Location& from_here, const Closure& task);

  // Runs |task| here and then |reply| on the calling thread's task runner
  // (which must exist). The task's bound state is released on the calling
  // thread after the task ran and before the reply runs; the reply's too,
  // after it ran. False, with nothing run, when the post is refused.
  bool PostTaskAndReply(const Location& from_here, const Closure& task,
                        const Closure& reply);

 protected:
  friend struct TaskRunnerTraits;

  TaskRunner();
  virtual ~TaskRunner();

  // Called when the last reference is dropped; deletes the runner.
  virtual void OnDestruct() const;
};

}  // namespace base

#endif  // BASE_TASK_RUNNER_H_
