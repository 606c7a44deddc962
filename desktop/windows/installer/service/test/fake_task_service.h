// A recording stand-in for Task Scheduler 2.0, whose real service on this
// test machine stores no triggers or actions, lists no tasks and refuses
// logon, boot and registration triggers, run levels and security
// descriptors. Hand service() to TaskSchedulerV2's test constructor.
//
// Every call that changes something is written to |log| as one line, in
// order: "Connect", "GetFolder \", "NewTask", "RegistrationInfo.Author=...",
// "Settings.ExecutionTimeLimit=PT3600S", "Triggers.Create 2",
// "DailyTrigger.Id=Daily run", "Actions.Create 0", "ExecAction.Path=...",
// "Principal.RunLevel=1", "DeleteTask <name>", "RegisterTaskDefinition
// <name> flags=6 user=<user> password=(empty) logon=3 sddl=",
// "Task.SetSecurityDescriptor D:...", "Task.Enabled=0", "Task.Run [a,b]".
// A line that begins with |fail_on| fails with E_NOTIMPL.
//
// Registered tasks are kept by name with their definition objects, so a
// later GetTask() sees what was registered. Objects refer back to this one,
// which must outlive them.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_FAKE_TASK_SERVICE_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_FAKE_TASK_SERVICE_H_

#include <windows.h>
// After windows.h.
#include <taskschd.h>
#include <wrl/client.h>

#include <map>
#include <string>
#include <vector>

namespace installer {
namespace test {

class FakeTaskService {
 public:
  struct Task {
    Microsoft::WRL::ComPtr<ITaskDefinition> definition;
    bool enabled = true;
    TASK_STATE state = TASK_STATE_READY;
    DATE last_run_time = 0;
  };

  FakeTaskService();
  FakeTaskService(const FakeTaskService&) = delete;
  FakeTaskService& operator=(const FakeTaskService&) = delete;
  ~FakeTaskService();

  Microsoft::WRL::ComPtr<ITaskService> service();

  // Adds a registered task whose definition has one action per entry of
  // |actions|: an executable action starting that program, or, for an
  // entry of null, an action of another type.
  void AddTask(const std::u16string& name, bool enabled,
               const std::vector<const char16_t*>& actions);

  // Records |line|; E_NOTIMPL when it begins with |fail_on|.
  HRESULT Record(const std::string& line);

  std::vector<std::string> log;
  std::string fail_on;
  std::map<std::u16string, Task> tasks;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_FAKE_TASK_SERVICE_H_
