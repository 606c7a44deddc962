// A TaskScheduler for tests that does nothing and finds nothing: Init and
// Register answer true, the rest have no task to act on. Tests override
// what they watch.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_NULL_TASK_SCHEDULER_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_NULL_TASK_SCHEDULER_H_

#include <stdint.h>

#include <string>
#include <vector>

#include "base/time/time.h"
#include "desktop/windows/installer/service/scheduled_task_spec.h"
#include "desktop/windows/installer/service/task_scheduler.h"

namespace installer {
namespace test {

class NullTaskScheduler : public TaskScheduler {
 public:
  bool Init() override { return true; }
  bool Register(const ScheduledTaskSpec&) override { return true; }
  void DeleteStaleTasks() override {}
  void Delete(const std::u16string&) override {}
  void SetDailyTrigger(const std::u16string&, uint32_t) override {}
  void SetEnabled(const std::u16string&, bool) override {}
  bool Run(const std::u16string&, const std::vector<std::u16string>&) override {
    return false;
  }
  TaskState GetState(const std::u16string&) override { return kTaskNotFound; }
  base::Time GetLastRunTime(const std::u16string&) override {
    return base::Time();
  }
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_NULL_TASK_SCHEDULER_H_
