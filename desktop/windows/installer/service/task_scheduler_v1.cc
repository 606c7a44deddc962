#include "desktop/windows/installer/service/task_scheduler_v1.h"

#include <objidl.h>

#include <algorithm>
#include <limits>

#include "base/strings/string_util_win.h"
#include "desktop/windows/installer/service/task_scheduler_interfaces_win.h"
#include "desktop/windows/installer/service/utils.h"

namespace installer {

namespace {

using Microsoft::WRL::ComPtr;

// Owns a string the task scheduler allocated.
class ScopedCoMemString {
 public:
  ScopedCoMemString() = default;
  ScopedCoMemString(const ScopedCoMemString&) = delete;
  ScopedCoMemString& operator=(const ScopedCoMemString&) = delete;
  ~ScopedCoMemString() { CoTaskMemFree(text_); }

  LPWSTR* Receive() {
    CoTaskMemFree(text_);
    text_ = nullptr;
    return &text_;
  }
  // Up to the first NUL; empty for none.
  std::u16string Get() const {
    return text_ ? std::u16string(base::as_u16cstr(text_)) : std::u16string();
  }

 private:
  LPWSTR text_ = nullptr;
};

// The longest run in milliseconds; INFINITE for no limit. A limit beyond
// what the field holds is the longest finite one.
DWORD MaxRunTime(uint32_t seconds) {
  if (seconds == 0) return INFINITE;
  const uint64_t milliseconds = uint64_t{seconds} * 1000;
  return static_cast<DWORD>(std::min<uint64_t>(milliseconds, INFINITE - 1));
}

// A trigger starting today at the current local hour and minute.
TASK_TRIGGER TriggerFromNow() {
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  TASK_TRIGGER trigger = {};
  trigger.cbTriggerSize = sizeof(trigger);
  trigger.wBeginYear = now.wYear;
  trigger.wBeginMonth = now.wMonth;
  trigger.wBeginDay = now.wDay;
  trigger.wStartHour = now.wHour;
  trigger.wStartMinute = now.wMinute;
  return trigger;
}

bool AddTrigger(ITask* task, const TASK_TRIGGER& data, bool set) {
  WORD index = 0;
  ComPtr<ITaskTrigger> trigger;
  if (FAILED(task->CreateTrigger(&index, &trigger))) return false;
  TASK_TRIGGER copy = data;
  return !set || SUCCEEDED(trigger->SetTrigger(&copy));
}

// Saves the work item to its job file; null on failure.
ComPtr<IPersistFile> Save(ITask* task) {
  ComPtr<IPersistFile> file;
  if (FAILED(task->QueryInterface(
          IID_IPersistFile, reinterpret_cast<void**>(file.GetAddressOf()))) ||
      FAILED(file->Save(nullptr, TRUE))) {
    return nullptr;
  }
  return file;
}

}  // namespace

TaskSchedulerV1::TaskSchedulerV1() = default;

TaskSchedulerV1::~TaskSchedulerV1() = default;

bool TaskSchedulerV1::Init() {
  return SUCCEEDED(CoCreateInstance(
      kClsidCTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, kIidITaskScheduler,
      reinterpret_cast<void**>(scheduler_.ReleaseAndGetAddressOf())));
}

ComPtr<ITask> TaskSchedulerV1::Activate(const std::u16string& name) {
  ComPtr<ITask> task;
  if (FAILED(scheduler_->Activate(
          base::as_wcstr(name), kIidITask,
          reinterpret_cast<IUnknown**>(task.GetAddressOf())))) {
    return nullptr;
  }
  return task;
}

bool TaskSchedulerV1::Register(const ScheduledTaskSpec& spec) {
  std::u16string user;
  if (!GetCurrentUserNameEx(&user, NameSamCompatible)) return false;
  const std::u16string name = BuildTaskName(spec.name_suffix);
  scheduler_->Delete(base::as_wcstr(name));

  ComPtr<ITask> task;
  if (FAILED(scheduler_->NewWorkItem(
          base::as_wcstr(name), kClsidCTask, kIidITask,
          reinterpret_cast<IUnknown**>(task.GetAddressOf())))) {
    return false;
  }
  const bool run_once = spec.schedule_kind == kScheduleRunOnce;
  DWORD flags = TASK_FLAG_RUN_ONLY_IF_LOGGED_ON;
  if (run_once) flags |= TASK_FLAG_DELETE_WHEN_DONE;
  // An empty account is the local system account.
  if (FAILED(task->SetAccountInformation(
          spec.system_task ? L"" : base::as_wcstr(user), nullptr)) ||
      FAILED(task->SetApplicationName(
          base::as_wcstr(spec.command_line.GetProgram().value()))) ||
      FAILED(task->SetComment(base::as_wcstr(spec.description))) ||
      FAILED(task->SetCreator(base::as_wcstr(user))) ||
      FAILED(task->SetFlags(flags)) ||
      FAILED(task->SetMaxRunTime(MaxRunTime(spec.time_limit_seconds))) ||
      FAILED(task->SetParameters(
          base::as_wcstr(spec.command_line.GetArgumentsString())))) {
    return false;
  }

  TASK_TRIGGER time_trigger = TriggerFromNow();
  if (spec.schedule_kind == kScheduleDaily) {
    time_trigger.TriggerType = TASK_TIME_TRIGGER_DAILY;
    time_trigger.Type.Daily.DaysInterval = 1;
  } else {
    time_trigger.TriggerType = TASK_TIME_TRIGGER_ONCE;
  }
  // With no time trigger the created trigger stays as the scheduler made it.
  if (!AddTrigger(task.Get(), time_trigger,
                  spec.schedule_kind != kScheduleNoTimeTrigger)) {
    return false;
  }
  if (spec.logon_trigger && !run_once) {
    TASK_TRIGGER logon_trigger = TriggerFromNow();
    logon_trigger.TriggerType = TASK_EVENT_TRIGGER_AT_LOGON;
    if (!AddTrigger(task.Get(), logon_trigger, true)) return false;
  }

  ComPtr<IPersistFile> file = Save(task.Get());
  if (!file) return false;
  if (run_once) {
    task->Run();
  } else if (spec.system_task) {
    ScopedCoMemString job_file;
    if (SUCCEEDED(file->GetCurFile(job_file.Receive())))
      GrantAuthenticatedUsersReadExecute(base::FilePath(job_file.Get()));
  }
  return true;
}

bool TaskSchedulerV1::IsStale(const std::u16string& name) {
  ComPtr<ITask> task = Activate(name);
  HRESULT status = S_OK;
  DWORD flags = 0;
  ScopedCoMemString program;
  // The flag is read as well: not every scheduler reports a disabled task
  // through its status.
  return task && SUCCEEDED(task->GetStatus(&status)) &&
         status != SCHED_S_TASK_DISABLED && SUCCEEDED(task->GetFlags(&flags)) &&
         !(flags & TASK_FLAG_DISABLED) &&
         SUCCEEDED(task->GetApplicationName(program.Receive())) &&
         !TaskProgramExists(program.Get());
}

void TaskSchedulerV1::DeleteStaleTasks() {
  ComPtr<IEnumWorkItems> items;
  if (FAILED(scheduler_->Enum(&items))) return;
  std::vector<std::u16string> candidates;
  LPWSTR* names = nullptr;
  ULONG fetched = 0;
  while (items->Next(1, &names, &fetched) == S_OK && fetched == 1) {
    // Listed by job file name, taken by task name.
    const std::u16string name =
        StripJobSuffix(std::u16string(base::as_u16cstr(names[0])));
    CoTaskMemFree(names[0]);
    CoTaskMemFree(names);
    names = nullptr;
    if (IsProductTaskName(name)) candidates.push_back(name);
  }
  for (const std::u16string& name : candidates) {
    if (IsStale(name)) scheduler_->Delete(base::as_wcstr(name));
  }
}

void TaskSchedulerV1::Delete(const std::u16string& name_suffix) {
  scheduler_->Delete(base::as_wcstr(BuildTaskName(name_suffix)));
}

void TaskSchedulerV1::SetDailyTrigger(const std::u16string& name_suffix,
                                      uint32_t days_interval) {
  ComPtr<ITask> task = Activate(BuildTaskName(name_suffix));
  WORD count = 0;
  if (!task || FAILED(task->GetTriggerCount(&count))) return;
  for (WORD i = 0; i < count; ++i) {
    ComPtr<ITaskTrigger> trigger;
    TASK_TRIGGER data = {};
    data.cbTriggerSize = sizeof(data);
    if (FAILED(task->GetTrigger(i, &trigger)) ||
        FAILED(trigger->GetTrigger(&data)) ||
        data.TriggerType != TASK_TIME_TRIGGER_DAILY) {
      continue;
    }
    if (data.Type.Daily.DaysInterval != days_interval) {
      data.Type.Daily.DaysInterval = static_cast<WORD>(days_interval);
      if (SUCCEEDED(trigger->SetTrigger(&data))) Save(task.Get());
    }
    return;
  }
}

void TaskSchedulerV1::SetEnabled(const std::u16string& name_suffix,
                                 bool enabled) {
  ComPtr<ITask> task = Activate(BuildTaskName(name_suffix));
  DWORD flags = 0;
  if (!task || FAILED(task->GetFlags(&flags))) return;
  flags = enabled ? flags & ~TASK_FLAG_DISABLED : flags | TASK_FLAG_DISABLED;
  if (SUCCEEDED(task->SetFlags(flags))) Save(task.Get());
}

bool TaskSchedulerV1::Run(const std::u16string& name_suffix,
                          const std::vector<std::u16string>& arguments) {
  ComPtr<ITask> task = Activate(BuildTaskName(name_suffix));
  return task && SUCCEEDED(task->Run());
}

TaskState TaskSchedulerV1::GetState(const std::u16string& name_suffix) {
  ComPtr<ITask> task = Activate(BuildTaskName(name_suffix));
  if (!task) return kTaskNotFound;
  HRESULT status = S_OK;
  if (FAILED(task->GetStatus(&status))) return kTaskStateOther;
  switch (status) {
    case SCHED_S_TASK_DISABLED:
      return kTaskDisabled;
    case SCHED_S_TASK_READY:
    case SCHED_S_TASK_HAS_NOT_RUN:
      return kTaskReady;
    case SCHED_S_TASK_RUNNING:
      return kTaskRunning;
    case SCHED_S_TASK_NO_MORE_RUNS:
    case SCHED_S_TASK_NOT_SCHEDULED:
    case SCHED_S_TASK_NO_VALID_TRIGGERS:
      return kTaskNoMoreRuns;
    default:
      return kTaskStateOther;
  }
}

base::Time TaskSchedulerV1::GetLastRunTime(const std::u16string& name_suffix) {
  ComPtr<ITask> task = Activate(BuildTaskName(name_suffix));
  SYSTEMTIME last_run = {};
  if (!task) return base::Time();
  const HRESULT result = task->GetMostRecentRunTime(&last_run);
  if (FAILED(result) || result == SCHED_S_TASK_HAS_NOT_RUN) return base::Time();
  return TimeFromLocalSystemTime(last_run);
}

}  // namespace installer
