// TaskServiceWarmUp: connects to the task scheduler on a worker thread of
// its own while the installation copies its files, so that a service that
// is started only when first asked for is up by the time the autoupdate
// task is registered. Only the connection is made: the worker's COM objects
// belong to its apartment and go with it.
//
// The worker is never joined: a scheduler that does not answer must not
// hold up the exit of a cancelled or failed installation. It keeps this
// module loaded until it has ended.
//
// The object is used on one thread.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SERVICE_WARM_UP_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SERVICE_WARM_UP_WIN_H_

#include <memory>

#include "base/synchronization/waitable_event.h"
#include "base/time/time.h"
#include "desktop/windows/installer/service/task_scheduler.h"

namespace installer {

class TaskServiceWarmUp {
 public:
  using Factory = std::unique_ptr<TaskScheduler> (*)();

  // Starts the worker, which calls Init() on a scheduler from |factory|.
  // When no thread can be started there is nothing to wait for.
  explicit TaskServiceWarmUp(Factory factory);
  TaskServiceWarmUp(const TaskServiceWarmUp&) = delete;
  TaskServiceWarmUp& operator=(const TaskServiceWarmUp&) = delete;
  // Does not wait for the worker.
  ~TaskServiceWarmUp();

  // Waits at most |timeout| for the worker to be done, connected or not.
  // True when it is done, or never started.
  bool Wait(base::TimeDelta timeout);

 private:
  // Null when no worker was started.
  std::unique_ptr<base::WaitableEvent> done_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SERVICE_WARM_UP_WIN_H_
