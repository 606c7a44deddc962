#include "desktop/windows/installer/service/task_scheduler_v2.h"

#include <oleauto.h>
#include <stdint.h>

#include <utility>

#include "base/logging.h"
#include "base/strings/string_util_win.h"
#include "base/win/scoped_bstr.h"
#include "base/win/scoped_variant.h"
#include "desktop/windows/installer/service/task_scheduler_interfaces_win.h"
#include "desktop/windows/installer/service/utils.h"

namespace installer {

namespace {

using base::win::ScopedBstr;
using base::win::ScopedVariant;
using Microsoft::WRL::ComPtr;

constexpr char16_t kRootFolder[] = u"\\";
constexpr char16_t kRunOnceTriggerId[] = u"Run once";
constexpr char16_t kDailyTriggerId[] = u"Daily run";
constexpr char16_t kLogonTriggerId[] = u"Logon run";
constexpr char16_t kLogonDelay[] = u"PT5M";
constexpr char16_t kSystemUser[] = u"SYSTEM";
// Read and execute for authenticated users.
constexpr char16_t kSystemTaskSddl[] = u"D:(A;;GRGX;;;AU)";
// A run-once task starts this long after its registration.
constexpr int kRunOnceDelaySeconds = 30;

ScopedBstr Bstr(const std::u16string& text) { return ScopedBstr(text.c_str()); }

bool FillRegistrationInfo(ITaskDefinition* task, const std::u16string& user,
                          const std::u16string& description) {
  ComPtr<IRegistrationInfo> info;
  return SUCCEEDED(task->get_RegistrationInfo(&info)) &&
         SUCCEEDED(info->put_Author(Bstr(user).Get())) &&
         SUCCEEDED(info->put_Description(Bstr(description).Get()));
}

bool FillSettings(ITaskDefinition* task, const ScheduledTaskSpec& spec) {
  ComPtr<ITaskSettings> settings;
  if (FAILED(task->get_Settings(&settings)) ||
      FAILED(settings->put_ExecutionTimeLimit(
          Bstr(FormatTaskDuration(spec.time_limit_seconds)).Get())) ||
      FAILED(settings->put_MultipleInstances(TASK_INSTANCES_IGNORE_NEW)) ||
      FAILED(settings->put_RunOnlyIfNetworkAvailable(
          spec.network_only ? VARIANT_TRUE : VARIANT_FALSE)) ||
      FAILED(settings->put_StopIfGoingOnBatteries(VARIANT_FALSE)) ||
      FAILED(settings->put_DisallowStartIfOnBatteries(VARIANT_FALSE)) ||
      FAILED(settings->put_StartWhenAvailable(VARIANT_TRUE))) {
    return false;
  }
  return spec.schedule_kind != kScheduleRunOnce ||
         SUCCEEDED(settings->put_DeleteExpiredTaskAfter(
             Bstr(FormatTaskDuration(0)).Get()));
}

// A new trigger of |type| as |Interface|, with its id set.
template <typename Interface>
ComPtr<Interface> CreateTrigger(ITaskDefinition* task, TASK_TRIGGER_TYPE2 type,
                                const char16_t* id) {
  ComPtr<ITriggerCollection> triggers;
  ComPtr<ITrigger> trigger;
  ComPtr<Interface> typed;
  if (FAILED(task->get_Triggers(&triggers)) ||
      FAILED(triggers->Create(type, &trigger)) || FAILED(trigger.As(&typed)) ||
      FAILED(typed->put_Id(Bstr(id).Get()))) {
    return nullptr;
  }
  return typed;
}

bool AddTimeTrigger(ITaskDefinition* task, ScheduleKind kind,
                    const std::u16string& start) {
  if (kind == kScheduleRunOnce) {
    ComPtr<IRegistrationTrigger> trigger = CreateTrigger<IRegistrationTrigger>(
        task, TASK_TRIGGER_REGISTRATION, kRunOnceTriggerId);
    return trigger && SUCCEEDED(trigger->put_EndBoundary(Bstr(start).Get()));
  }
  if (kind == kScheduleDaily) {
    ComPtr<IDailyTrigger> trigger =
        CreateTrigger<IDailyTrigger>(task, TASK_TRIGGER_DAILY, kDailyTriggerId);
    return trigger &&
           SUCCEEDED(trigger->put_StartBoundary(Bstr(start).Get())) &&
           SUCCEEDED(trigger->put_DaysInterval(1));
  }
  return true;
}

bool AddLogonTrigger(ITaskDefinition* task, bool system_task,
                     const std::u16string& user, const std::u16string& start) {
  if (system_task) {
    ComPtr<IBootTrigger> trigger =
        CreateTrigger<IBootTrigger>(task, TASK_TRIGGER_BOOT, kLogonTriggerId);
    return trigger &&
           SUCCEEDED(trigger->put_StartBoundary(Bstr(start).Get())) &&
           SUCCEEDED(trigger->put_Delay(Bstr(kLogonDelay).Get()));
  }
  ComPtr<ILogonTrigger> trigger =
      CreateTrigger<ILogonTrigger>(task, TASK_TRIGGER_LOGON, kLogonTriggerId);
  return trigger && SUCCEEDED(trigger->put_StartBoundary(Bstr(start).Get())) &&
         SUCCEEDED(trigger->put_UserId(Bstr(user).Get())) &&
         SUCCEEDED(trigger->put_Delay(Bstr(kLogonDelay).Get()));
}

bool AddExecAction(ITaskDefinition* task,
                   const base::CommandLine& command_line) {
  ComPtr<IActionCollection> actions;
  ComPtr<IAction> action;
  ComPtr<IExecAction> exec;
  return SUCCEEDED(task->get_Actions(&actions)) &&
         SUCCEEDED(actions->Create(TASK_ACTION_EXEC, &action)) &&
         SUCCEEDED(action->QueryInterface(
             kIidExecAction, reinterpret_cast<void**>(exec.GetAddressOf()))) &&
         SUCCEEDED(
             exec->put_Path(Bstr(command_line.GetProgram().value()).Get())) &&
         SUCCEEDED(exec->put_Arguments(
             Bstr(command_line.GetArgumentsString()).Get()));
}

bool SetHighestRunLevel(ITaskDefinition* task) {
  ComPtr<IPrincipal> principal;
  return SUCCEEDED(task->get_Principal(&principal)) &&
         SUCCEEDED(principal->put_RunLevel(TASK_RUNLEVEL_HIGHEST));
}

// The program of |task|'s only action, when it has exactly one executable
// action.
bool GetSingleExecPath(IRegisteredTask* task, std::u16string* path) {
  ComPtr<ITaskDefinition> definition;
  ComPtr<IActionCollection> actions;
  LONG count = 0;
  ComPtr<IAction> action;
  TASK_ACTION_TYPE type = TASK_ACTION_EXEC;
  ComPtr<IExecAction> exec;
  ScopedBstr program;
  if (FAILED(task->get_Definition(&definition)) ||
      FAILED(definition->get_Actions(&actions)) ||
      FAILED(actions->get_Count(&count)) || count != 1 ||
      FAILED(actions->get_Item(1, &action)) ||
      FAILED(action->get_Type(&type)) || type != TASK_ACTION_EXEC ||
      FAILED(action->QueryInterface(
          kIidExecAction, reinterpret_cast<void**>(exec.GetAddressOf()))) ||
      FAILED(exec->get_Path(program.Receive())) || !program.Get()) {
    return false;
  }
  *path = base::as_u16cstr(program.Get());
  return true;
}

}  // namespace

TaskSchedulerV2::TaskSchedulerV2() : clock_(&default_clock_) {}

TaskSchedulerV2::TaskSchedulerV2(ComPtr<ITaskService> service,
                                 base::Clock* clock)
    : clock_(clock), service_(std::move(service)) {}

TaskSchedulerV2::~TaskSchedulerV2() {
  folder_.Reset();
  service_.Reset();
}

bool TaskSchedulerV2::Init() {
  if (!service_ &&
      FAILED(CoCreateInstance(
          kClsidTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, kIidTaskService,
          reinterpret_cast<void**>(service_.ReleaseAndGetAddressOf())))) {
    return false;
  }
  ScopedVariant none[4];
  return SUCCEEDED(service_->Connect(none[0].Get(), none[1].Get(),
                                     none[2].Get(), none[3].Get())) &&
         SUCCEEDED(service_->GetFolder(Bstr(kRootFolder).Get(),
                                       folder_.ReleaseAndGetAddressOf()));
}

ComPtr<ITaskDefinition> TaskSchedulerV2::BuildDefinition(
    const ScheduledTaskSpec& spec, const std::u16string& user) {
  ComPtr<ITaskDefinition> task;
  if (FAILED(service_->NewTask(0, &task)) ||
      !FillRegistrationInfo(task.Get(), user, spec.description) ||
      !FillSettings(task.Get(), spec)) {
    return nullptr;
  }
  base::Time start = clock_->Now();
  if (spec.schedule_kind == kScheduleRunOnce)
    start += base::TimeDelta::FromSeconds(kRunOnceDelaySeconds);
  const std::u16string boundary = FormatTaskBoundary(start);
  if (!AddTimeTrigger(task.Get(), spec.schedule_kind, boundary) ||
      (spec.logon_trigger && spec.schedule_kind != kScheduleRunOnce &&
       !AddLogonTrigger(task.Get(), spec.system_task, user, boundary)) ||
      !AddExecAction(task.Get(), spec.command_line) ||
      (IsUserAdministrator(false) && !SetHighestRunLevel(task.Get()))) {
    return nullptr;
  }
  return task;
}

bool TaskSchedulerV2::Register(const ScheduledTaskSpec& spec) {
  std::u16string user;
  if (!GetCurrentUserNameEx(&user, NameSamCompatible)) return false;
  const std::u16string name = BuildTaskName(spec.name_suffix);
  folder_->DeleteTask(Bstr(name).Get(), 0);
  ComPtr<ITaskDefinition> task = BuildDefinition(spec, user);
  if (!task) return false;

  ScopedVariant account(spec.system_task ? kSystemUser : user.c_str());
  ScopedVariant no_password;
  ScopedVariant empty_sddl(u"");
  ComPtr<IRegisteredTask> registered;
  const HRESULT result = folder_->RegisterTaskDefinition(
      Bstr(name).Get(), task.Get(), TASK_CREATE_OR_UPDATE, account.Get(),
      no_password.Get(),
      spec.system_task ? TASK_LOGON_SERVICE_ACCOUNT
                       : TASK_LOGON_INTERACTIVE_TOKEN,
      empty_sddl.Get(), &registered);
  if (FAILED(result)) {
    LOG(ERROR) << "Failed task registration: " << static_cast<int32_t>(result);
    return false;
  }
  if (spec.system_task) {
    const HRESULT sddl_result =
        registered->SetSecurityDescriptor(Bstr(kSystemTaskSddl).Get(), 0);
    if (FAILED(sddl_result)) {
      LOG(ERROR) << "Failed setting SDDL: "
                 << static_cast<int32_t>(sddl_result);
    }
  }
  // The registration trigger has started the run; the definition is not
  // kept.
  if (spec.schedule_kind == kScheduleRunOnce) Delete(spec.name_suffix);
  return true;
}

bool TaskSchedulerV2::IsStale(IRegisteredTask* task) {
  ScopedBstr name;
  VARIANT_BOOL enabled = VARIANT_FALSE;
  std::u16string program;
  return SUCCEEDED(task->get_Name(name.Receive())) && name.Get() &&
         IsProductTaskName(base::as_u16cstr(name.Get())) &&
         SUCCEEDED(task->get_Enabled(&enabled)) && enabled == VARIANT_TRUE &&
         GetSingleExecPath(task, &program) && !TaskProgramExists(program);
}

void TaskSchedulerV2::DeleteStaleTasks() {
  ComPtr<IRegisteredTaskCollection> tasks;
  LONG count = 0;
  if (FAILED(folder_->GetTasks(0, &tasks)) ||
      FAILED(tasks->get_Count(&count))) {
    return;
  }
  // Names first: deleting while walking would shift the items.
  std::vector<std::u16string> stale;
  for (LONG i = 1; i <= count; ++i) {
    VARIANT index = {};
    index.vt = VT_I4;
    index.lVal = i;
    ComPtr<IRegisteredTask> task;
    ScopedBstr name;
    if (SUCCEEDED(tasks->get_Item(index, &task)) && IsStale(task.Get()) &&
        SUCCEEDED(task->get_Name(name.Receive()))) {
      stale.emplace_back(base::as_u16cstr(name.Get()));
    }
  }
  for (const std::u16string& name : stale)
    folder_->DeleteTask(Bstr(name).Get(), 0);
}

void TaskSchedulerV2::Delete(const std::u16string& name_suffix) {
  folder_->DeleteTask(Bstr(BuildTaskName(name_suffix)).Get(), 0);
}

ComPtr<IRegisteredTask> TaskSchedulerV2::GetTask(
    const std::u16string& name_suffix) {
  ComPtr<IRegisteredTask> task;
  if (FAILED(folder_->GetTask(Bstr(BuildTaskName(name_suffix)).Get(), &task)))
    return nullptr;
  return task;
}

void TaskSchedulerV2::SetDailyTrigger(const std::u16string& name_suffix,
                                      uint32_t days_interval) {
  ComPtr<IRegisteredTask> task = GetTask(name_suffix);
  ComPtr<ITaskDefinition> definition;
  ComPtr<ITriggerCollection> triggers;
  LONG count = 0;
  if (!task || FAILED(task->get_Definition(&definition)) ||
      FAILED(definition->get_Triggers(&triggers)) ||
      FAILED(triggers->get_Count(&count))) {
    return;
  }
  for (LONG i = 1; i <= count; ++i) {
    ComPtr<ITrigger> trigger;
    TASK_TRIGGER_TYPE2 type = TASK_TRIGGER_EVENT;
    ComPtr<IDailyTrigger> daily;
    if (FAILED(triggers->get_Item(i, &trigger)) ||
        FAILED(trigger->get_Type(&type)) || type != TASK_TRIGGER_DAILY ||
        FAILED(trigger.As(&daily))) {
      continue;
    }
    short current = 0;
    if (SUCCEEDED(daily->get_DaysInterval(&current)) &&
        current != static_cast<short>(days_interval) &&
        SUCCEEDED(daily->put_DaysInterval(static_cast<short>(days_interval)))) {
      ScopedVariant no_user;
      ScopedVariant no_password;
      ScopedVariant empty_sddl(u"");
      ComPtr<IRegisteredTask> updated;
      folder_->RegisterTaskDefinition(
          Bstr(BuildTaskName(name_suffix)).Get(), definition.Get(), TASK_UPDATE,
          no_user.Get(), no_password.Get(), TASK_LOGON_NONE, empty_sddl.Get(),
          &updated);
    }
    return;
  }
}

void TaskSchedulerV2::SetEnabled(const std::u16string& name_suffix,
                                 bool enabled) {
  ComPtr<IRegisteredTask> task = GetTask(name_suffix);
  if (task) task->put_Enabled(enabled ? VARIANT_TRUE : VARIANT_FALSE);
}

bool TaskSchedulerV2::Run(const std::u16string& name_suffix,
                          const std::vector<std::u16string>& arguments) {
  ComPtr<IRegisteredTask> task = GetTask(name_suffix);
  if (!task) return false;
  ScopedVariant parameters;
  if (!arguments.empty()) {
    SAFEARRAY* array =
        SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(arguments.size()));
    if (!array) return false;
    // Owned by |parameters| from here on.
    parameters.Receive()->vt = VT_ARRAY | VT_BSTR;
    parameters.AsInput()->parray = array;
    for (LONG i = 0; i < static_cast<LONG>(arguments.size()); ++i) {
      ScopedBstr element = Bstr(arguments[i]);
      if (!element.Get() ||
          FAILED(SafeArrayPutElement(array, &i, element.Get())))
        return false;
    }
  }
  ComPtr<IRunningTask> running;
  return SUCCEEDED(task->Run(parameters.Get(), &running));
}

TaskState TaskSchedulerV2::GetState(const std::u16string& name_suffix) {
  ComPtr<IRegisteredTask> task = GetTask(name_suffix);
  if (!task) return kTaskNotFound;
  TASK_STATE state = TASK_STATE_UNKNOWN;
  if (FAILED(task->get_State(&state))) return kTaskStateOther;
  switch (state) {
    case TASK_STATE_DISABLED:
      return kTaskDisabled;
    case TASK_STATE_QUEUED:
    case TASK_STATE_READY:
      return kTaskReady;
    case TASK_STATE_RUNNING:
      return kTaskRunning;
    default:
      return kTaskStateOther;
  }
}

base::Time TaskSchedulerV2::GetLastRunTime(const std::u16string& name_suffix) {
  ComPtr<IRegisteredTask> task = GetTask(name_suffix);
  DATE date = 0;
  SYSTEMTIME fields = {};
  if (!task || FAILED(task->get_LastRunTime(&date)) ||
      !VariantTimeToSystemTime(date, &fields)) {
    return base::Time();
  }
  return TimeFromLocalSystemTime(fields);
}

}  // namespace installer
