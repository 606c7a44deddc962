// TaskScheduler: registers, changes and removes the product's scheduled
// tasks (the browser's autoupdate task), over Task Scheduler 2.0
// (TaskSchedulerV2, Vista and later) or 1.0 (TaskSchedulerV1).
//
// Every operation that takes a name suffix works on the task named
// BuildTaskName(suffix) in the root folder. Init() must succeed before any
// other call. A scheduler is made for one piece of work and used on one
// thread with COM initialised; the tasks themselves outlive it.
//
// Init(), Register() and Run() report failure through their result; the
// others report nothing.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_H_

#include <stdint.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/time/time.h"
#include "desktop/windows/installer/service/scheduled_task_spec.h"

namespace installer {

class TaskScheduler {
 public:
  // TaskSchedulerV2 from Vista (version index 3) on, else TaskSchedulerV1.
  static std::unique_ptr<TaskScheduler> Create();
  static std::unique_ptr<TaskScheduler> CreateForWindowsVersion(int version);

  TaskScheduler(const TaskScheduler&) = delete;
  TaskScheduler& operator=(const TaskScheduler&) = delete;
  virtual ~TaskScheduler();

  // Connects to the scheduler.
  virtual bool Init() = 0;
  // Registers |spec|, replacing a task of the same name.
  virtual bool Register(const ScheduledTaskSpec& spec) = 0;
  // Deletes the product's enabled tasks whose single action starts a
  // program that no longer exists (left by removed installations).
  virtual void DeleteStaleTasks() = 0;
  virtual void Delete(const std::u16string& name_suffix) = 0;
  // Sets the interval of the task's first daily trigger.
  virtual void SetDailyTrigger(const std::u16string& name_suffix,
                               uint32_t days_interval) = 0;
  virtual void SetEnabled(const std::u16string& name_suffix, bool enabled) = 0;
  // Starts the task now; |arguments| fill "$(Arg0)" and on (2.0 only).
  virtual bool Run(const std::u16string& name_suffix,
                   const std::vector<std::u16string>& arguments) = 0;
  virtual TaskState GetState(const std::u16string& name_suffix) = 0;
  // The null time when it cannot be read.
  virtual base::Time GetLastRunTime(const std::u16string& name_suffix) = 0;

 protected:
  TaskScheduler() = default;
};

// Whether the program of a stale-task candidate still exists: |path| loses
// enclosing double quotes and has its environment variables expanded
// first. A path that cannot be expanded (or still names a variable
// afterwards) counts as existing, so that the sweep never deletes a task it
// cannot judge.
bool TaskProgramExists(const std::u16string& path);

// The local calendar fields of |fields| (milliseconds dropped) as a time;
// the null time when they are invalid.
base::Time TimeFromLocalSystemTime(const SYSTEMTIME& fields);

// Grants Authenticated Users (S-1-5-11) read and execute on |file|, explicitly
// and without inheritance. Failures are ignored.
void GrantAuthenticatedUsersReadExecute(const base::FilePath& file);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_H_
