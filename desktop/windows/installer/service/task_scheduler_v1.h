// TaskSchedulerV1: TaskScheduler over Task Scheduler 1.0 (Windows XP and
// Server 2003). Tasks are work items saved as job files; arguments given to
// Run() are not passed on, and a task's network condition is not kept.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V1_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V1_H_

#include <windows.h>
// After windows.h.
#include <mstask.h>
#include <wrl/client.h>

#include "desktop/windows/installer/service/task_scheduler.h"

namespace installer {

class TaskSchedulerV1 : public TaskScheduler {
 public:
  TaskSchedulerV1();
  ~TaskSchedulerV1() override;

  // TaskScheduler.
  bool Init() override;
  bool Register(const ScheduledTaskSpec& spec) override;
  void DeleteStaleTasks() override;
  void Delete(const std::u16string& name_suffix) override;
  void SetDailyTrigger(const std::u16string& name_suffix,
                       uint32_t days_interval) override;
  // Saves the changed flags, so that the change lasts.
  void SetEnabled(const std::u16string& name_suffix, bool enabled) override;
  bool Run(const std::u16string& name_suffix,
           const std::vector<std::u16string>& arguments) override;
  TaskState GetState(const std::u16string& name_suffix) override;
  base::Time GetLastRunTime(const std::u16string& name_suffix) override;

 private:
  // The work item |name| (a full task name); null when it cannot be had.
  Microsoft::WRL::ComPtr<ITask> Activate(const std::u16string& name);
  // Whether the sweep deletes the work item |name|.
  bool IsStale(const std::u16string& name);

  Microsoft::WRL::ComPtr<ITaskScheduler> scheduler_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V1_H_
