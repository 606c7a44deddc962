// TaskSchedulerV2: TaskScheduler over Task Scheduler 2.0 (Vista and
// later). Holds the service and its root folder; releases the folder before
// the service.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V2_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V2_H_

#include <windows.h>
// After windows.h.
#include <taskschd.h>
#include <wrl/client.h>

#include "base/time/clock.h"
#include "desktop/windows/installer/service/task_scheduler.h"

namespace installer {

class TaskSchedulerV2 : public TaskScheduler {
 public:
  // The system's scheduler and clock.
  TaskSchedulerV2();
  // |service| (connected by Init()) instead of the system's, and |clock|
  // (not owned, outlives this) for the trigger boundaries.
  TaskSchedulerV2(Microsoft::WRL::ComPtr<ITaskService> service,
                  base::Clock* clock);
  ~TaskSchedulerV2() override;

  // TaskScheduler.
  bool Init() override;
  bool Register(const ScheduledTaskSpec& spec) override;
  void DeleteStaleTasks() override;
  void Delete(const std::u16string& name_suffix) override;
  void SetDailyTrigger(const std::u16string& name_suffix,
                       uint32_t days_interval) override;
  void SetEnabled(const std::u16string& name_suffix, bool enabled) override;
  bool Run(const std::u16string& name_suffix,
           const std::vector<std::u16string>& arguments) override;
  TaskState GetState(const std::u16string& name_suffix) override;
  base::Time GetLastRunTime(const std::u16string& name_suffix) override;

 private:
  // The task of that name in the root folder; null when it cannot be got.
  Microsoft::WRL::ComPtr<IRegisteredTask> GetTask(
      const std::u16string& name_suffix);
  // Whether the sweep deletes |task|.
  bool IsStale(IRegisteredTask* task);
  // The definition to register: registration information, settings, the
  // time trigger, a logon trigger when |spec| asks for one, the action and,
  // for an administrator, the highest run level. Null on failure.
  Microsoft::WRL::ComPtr<ITaskDefinition> BuildDefinition(
      const ScheduledTaskSpec& spec, const std::u16string& user);

  base::DefaultClock default_clock_;
  base::Clock* const clock_;
  Microsoft::WRL::ComPtr<ITaskService> service_;
  Microsoft::WRL::ComPtr<ITaskFolder> folder_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V2_H_
