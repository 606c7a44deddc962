// ThreadTaskRunnerRegistration: makes a task runner the calling thread's
// registered runner for the life of the object. A message loop registers
// its runner when it is bound to its thread; replies of PostTaskAndReply
// and timers find the thread's runner here.

#ifndef BASE_THREADING_THREAD_TASK_RUNNER_REGISTRATION_H_
#define BASE_THREADING_THREAD_TASK_RUNNER_REGISTRATION_H_

#include "base/memory/ref_counted.h"
#include "base/sequenced_task_runner.h"

namespace base {

class ThreadTaskRunnerRegistration {
 public:
  // Registers |task_runner| (non-null) on the calling thread, which must
  // have no registration yet. Destroy on the same thread.
  explicit ThreadTaskRunnerRegistration(
      ScopedRefPtr<SequencedTaskRunner> task_runner);
  ThreadTaskRunnerRegistration(const ThreadTaskRunnerRegistration&) = delete;
  ThreadTaskRunnerRegistration& operator=(const ThreadTaskRunnerRegistration&) =
      delete;
  ~ThreadTaskRunnerRegistration();

  // The calling thread's registered runner, or null.
  static ScopedRefPtr<SequencedTaskRunner> Get();
  static bool IsSet();

 private:
  ScopedRefPtr<SequencedTaskRunner> task_runner_;
};

}  // namespace base

#endif  // BASE_THREADING_THREAD_TASK_RUNNER_REGISTRATION_H_
