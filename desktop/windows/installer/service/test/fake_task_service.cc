#include "desktop/windows/installer/service/test/fake_task_service.h"

#include <oleauto.h>

#include <atomic>
#include <utility>

#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/service/task_scheduler_interfaces_win.h"

// The many members of the interfaces that the scheduler never calls.
#define FAKE_NOT_USED(name, ...) \
  HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) override { return E_NOTIMPL; }

namespace installer {
namespace test {

namespace {

using Microsoft::WRL::ComPtr;

std::string Text(BSTR text) {
  return text ? base::UTF16ToUTF8(base::as_u16cstr(text)) : std::string();
}

std::string Text(const VARIANT& value) {
  if (value.vt == VT_EMPTY) return "(empty)";
  if (value.vt == VT_BSTR) return Text(value.bstrVal);
  if (value.vt == (VT_ARRAY | VT_BSTR)) {
    LONG low = 0;
    LONG high = -1;
    SafeArrayGetLBound(value.parray, 1, &low);
    SafeArrayGetUBound(value.parray, 1, &high);
    std::vector<std::string> items;
    for (LONG i = low; i <= high; ++i) {
      BSTR item = nullptr;
      SafeArrayGetElement(value.parray, &i, &item);
      items.push_back(Text(item));
      SysFreeString(item);
    }
    return "[" + base::JoinString(items, ",") + "]";
  }
  return "(type " + base::IntToString(value.vt) + ")";
}

HRESULT Copy(const std::string& text, BSTR* out) {
  *out = SysAllocString(base::as_wcstr(base::UTF8ToUTF16(text)));
  return S_OK;
}

// IUnknown and empty IDispatch for one interface (and its |Base|).
template <typename Interface, typename Base = Interface>
class FakeDispatch : public Interface {
 public:
  explicit FakeDispatch(FakeTaskService* service) : service_(service) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) ||
        iid == __uuidof(Base) || iid == __uuidof(Interface)) {
      *out = static_cast<Interface*>(this);
      this->AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  FAKE_NOT_USED(GetTypeInfoCount, UINT*)
  FAKE_NOT_USED(GetTypeInfo, UINT, LCID, ITypeInfo**)
  FAKE_NOT_USED(GetIDsOfNames, REFIID, LPOLESTR*, UINT, LCID, DISPID*)
  FAKE_NOT_USED(Invoke, DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                EXCEPINFO*, UINT*)

 protected:
  virtual ~FakeDispatch() = default;

  HRESULT Record(const std::string& line) { return service_->Record(line); }

  FakeTaskService* const service_;

 private:
  std::atomic<ULONG> references_{0};
};

class FakeRegistrationInfo : public FakeDispatch<IRegistrationInfo> {
 public:
  using FakeDispatch::FakeDispatch;
  HRESULT STDMETHODCALLTYPE put_Description(BSTR text) override {
    return Record("RegistrationInfo.Description=" + Text(text));
  }
  HRESULT STDMETHODCALLTYPE put_Author(BSTR text) override {
    return Record("RegistrationInfo.Author=" + Text(text));
  }
  FAKE_NOT_USED(get_Description, BSTR*)
  FAKE_NOT_USED(get_Author, BSTR*)
  FAKE_NOT_USED(get_Version, BSTR*)
  FAKE_NOT_USED(put_Version, BSTR)
  FAKE_NOT_USED(get_Date, BSTR*)
  FAKE_NOT_USED(put_Date, BSTR)
  FAKE_NOT_USED(get_Documentation, BSTR*)
  FAKE_NOT_USED(put_Documentation, BSTR)
  FAKE_NOT_USED(get_XmlText, BSTR*)
  FAKE_NOT_USED(put_XmlText, BSTR)
  FAKE_NOT_USED(get_URI, BSTR*)
  FAKE_NOT_USED(put_URI, BSTR)
  FAKE_NOT_USED(get_SecurityDescriptor, VARIANT*)
  FAKE_NOT_USED(put_SecurityDescriptor, VARIANT)
  FAKE_NOT_USED(get_Source, BSTR*)
  FAKE_NOT_USED(put_Source, BSTR)
};

class FakeSettings : public FakeDispatch<ITaskSettings> {
 public:
  using FakeDispatch::FakeDispatch;
  HRESULT STDMETHODCALLTYPE
  put_MultipleInstances(TASK_INSTANCES_POLICY policy) override {
    return Record("Settings.MultipleInstances=" + base::IntToString(policy));
  }
  HRESULT STDMETHODCALLTYPE
  put_StopIfGoingOnBatteries(VARIANT_BOOL value) override {
    return Record("Settings.StopIfGoingOnBatteries=" + Flag(value));
  }
  HRESULT STDMETHODCALLTYPE
  put_DisallowStartIfOnBatteries(VARIANT_BOOL value) override {
    return Record("Settings.DisallowStartIfOnBatteries=" + Flag(value));
  }
  HRESULT STDMETHODCALLTYPE
  put_StartWhenAvailable(VARIANT_BOOL value) override {
    return Record("Settings.StartWhenAvailable=" + Flag(value));
  }
  HRESULT STDMETHODCALLTYPE
  put_RunOnlyIfNetworkAvailable(VARIANT_BOOL value) override {
    return Record("Settings.RunOnlyIfNetworkAvailable=" + Flag(value));
  }
  HRESULT STDMETHODCALLTYPE put_ExecutionTimeLimit(BSTR limit) override {
    return Record("Settings.ExecutionTimeLimit=" + Text(limit));
  }
  HRESULT STDMETHODCALLTYPE put_DeleteExpiredTaskAfter(BSTR delay) override {
    return Record("Settings.DeleteExpiredTaskAfter=" + Text(delay));
  }
  FAKE_NOT_USED(get_AllowDemandStart, VARIANT_BOOL*)
  FAKE_NOT_USED(put_AllowDemandStart, VARIANT_BOOL)
  FAKE_NOT_USED(get_RestartInterval, BSTR*)
  FAKE_NOT_USED(put_RestartInterval, BSTR)
  FAKE_NOT_USED(get_RestartCount, INT*)
  FAKE_NOT_USED(put_RestartCount, INT)
  FAKE_NOT_USED(get_MultipleInstances, TASK_INSTANCES_POLICY*)
  FAKE_NOT_USED(get_StopIfGoingOnBatteries, VARIANT_BOOL*)
  FAKE_NOT_USED(get_DisallowStartIfOnBatteries, VARIANT_BOOL*)
  FAKE_NOT_USED(get_AllowHardTerminate, VARIANT_BOOL*)
  FAKE_NOT_USED(put_AllowHardTerminate, VARIANT_BOOL)
  FAKE_NOT_USED(get_StartWhenAvailable, VARIANT_BOOL*)
  FAKE_NOT_USED(get_XmlText, BSTR*)
  FAKE_NOT_USED(put_XmlText, BSTR)
  FAKE_NOT_USED(get_RunOnlyIfNetworkAvailable, VARIANT_BOOL*)
  FAKE_NOT_USED(get_ExecutionTimeLimit, BSTR*)
  FAKE_NOT_USED(get_Enabled, VARIANT_BOOL*)
  FAKE_NOT_USED(put_Enabled, VARIANT_BOOL)
  FAKE_NOT_USED(get_DeleteExpiredTaskAfter, BSTR*)
  FAKE_NOT_USED(get_Priority, INT*)
  FAKE_NOT_USED(put_Priority, INT)
  FAKE_NOT_USED(get_Compatibility, TASK_COMPATIBILITY*)
  FAKE_NOT_USED(put_Compatibility, TASK_COMPATIBILITY)
  FAKE_NOT_USED(get_Hidden, VARIANT_BOOL*)
  FAKE_NOT_USED(put_Hidden, VARIANT_BOOL)
  FAKE_NOT_USED(get_IdleSettings, IIdleSettings**)
  FAKE_NOT_USED(put_IdleSettings, IIdleSettings*)
  FAKE_NOT_USED(get_RunOnlyIfIdle, VARIANT_BOOL*)
  FAKE_NOT_USED(put_RunOnlyIfIdle, VARIANT_BOOL)
  FAKE_NOT_USED(get_WakeToRun, VARIANT_BOOL*)
  FAKE_NOT_USED(put_WakeToRun, VARIANT_BOOL)
  FAKE_NOT_USED(get_NetworkSettings, INetworkSettings**)
  FAKE_NOT_USED(put_NetworkSettings, INetworkSettings*)

 private:
  static std::string Flag(VARIANT_BOOL value) {
    return value == VARIANT_TRUE ? "1" : "0";
  }
};

// The members every trigger has; records under |kind_|.
template <typename Interface>
class FakeTrigger : public FakeDispatch<Interface, ITrigger> {
 public:
  FakeTrigger(FakeTaskService* service, TASK_TRIGGER_TYPE2 type,
              const char* kind)
      : FakeDispatch<Interface, ITrigger>(service), type_(type), kind_(kind) {}

  HRESULT STDMETHODCALLTYPE get_Type(TASK_TRIGGER_TYPE2* type) override {
    *type = type_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Id(BSTR id) override {
    return RecordProperty("Id", Text(id));
  }
  HRESULT STDMETHODCALLTYPE put_StartBoundary(BSTR start) override {
    return RecordProperty("StartBoundary", Text(start));
  }
  HRESULT STDMETHODCALLTYPE put_EndBoundary(BSTR end) override {
    return RecordProperty("EndBoundary", Text(end));
  }
  FAKE_NOT_USED(get_Id, BSTR*)
  FAKE_NOT_USED(get_Repetition, IRepetitionPattern**)
  FAKE_NOT_USED(put_Repetition, IRepetitionPattern*)
  FAKE_NOT_USED(get_ExecutionTimeLimit, BSTR*)
  FAKE_NOT_USED(put_ExecutionTimeLimit, BSTR)
  FAKE_NOT_USED(get_StartBoundary, BSTR*)
  FAKE_NOT_USED(get_EndBoundary, BSTR*)
  FAKE_NOT_USED(get_Enabled, VARIANT_BOOL*)
  FAKE_NOT_USED(put_Enabled, VARIANT_BOOL)

 protected:
  HRESULT RecordProperty(const char* name, const std::string& value) {
    return this->Record(std::string(kind_) + "." + name + "=" + value);
  }

 private:
  const TASK_TRIGGER_TYPE2 type_;
  const char* const kind_;
};

class FakeDailyTrigger : public FakeTrigger<IDailyTrigger> {
 public:
  explicit FakeDailyTrigger(FakeTaskService* service)
      : FakeTrigger(service, TASK_TRIGGER_DAILY, "DailyTrigger") {}
  HRESULT STDMETHODCALLTYPE get_DaysInterval(short* days) override {
    *days = days_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_DaysInterval(short days) override {
    days_ = days;
    return RecordProperty("DaysInterval", base::IntToString(days));
  }
  FAKE_NOT_USED(get_RandomDelay, BSTR*)
  FAKE_NOT_USED(put_RandomDelay, BSTR)

 private:
  short days_ = 0;
};

class FakeLogonTrigger : public FakeTrigger<ILogonTrigger> {
 public:
  explicit FakeLogonTrigger(FakeTaskService* service)
      : FakeTrigger(service, TASK_TRIGGER_LOGON, "LogonTrigger") {}
  HRESULT STDMETHODCALLTYPE put_Delay(BSTR delay) override {
    return RecordProperty("Delay", Text(delay));
  }
  HRESULT STDMETHODCALLTYPE put_UserId(BSTR user) override {
    return RecordProperty("UserId", Text(user));
  }
  FAKE_NOT_USED(get_Delay, BSTR*)
  FAKE_NOT_USED(get_UserId, BSTR*)
};

// Boot and registration triggers have only a delay of their own.
template <typename Interface>
class FakeDelayTrigger : public FakeTrigger<Interface> {
 public:
  FakeDelayTrigger(FakeTaskService* service, TASK_TRIGGER_TYPE2 type,
                   const char* kind)
      : FakeTrigger<Interface>(service, type, kind) {}
  HRESULT STDMETHODCALLTYPE put_Delay(BSTR delay) override {
    return this->RecordProperty("Delay", Text(delay));
  }
  FAKE_NOT_USED(get_Delay, BSTR*)
};

class FakeTriggerCollection : public FakeDispatch<ITriggerCollection> {
 public:
  using FakeDispatch::FakeDispatch;
  HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
    *count = static_cast<LONG>(triggers_.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Item(LONG index, ITrigger** out) override {
    if (index < 1 || index > static_cast<LONG>(triggers_.size()))
      return E_INVALIDARG;
    return triggers_[index - 1].CopyTo(out);
  }
  HRESULT STDMETHODCALLTYPE Create(TASK_TRIGGER_TYPE2 type,
                                   ITrigger** out) override {
    const HRESULT result = Record("Triggers.Create " + base::IntToString(type));
    if (FAILED(result)) return result;
    ComPtr<ITrigger> trigger;
    switch (type) {
      case TASK_TRIGGER_DAILY:
        trigger = new FakeDailyTrigger(service_);
        break;
      case TASK_TRIGGER_LOGON:
        trigger = new FakeLogonTrigger(service_);
        break;
      case TASK_TRIGGER_BOOT:
        trigger =
            new FakeDelayTrigger<IBootTrigger>(service_, type, "BootTrigger");
        break;
      case TASK_TRIGGER_REGISTRATION:
        trigger = new FakeDelayTrigger<IRegistrationTrigger>(
            service_, type, "RegistrationTrigger");
        break;
      default:
        return E_NOTIMPL;
    }
    triggers_.push_back(trigger);
    return trigger.CopyTo(out);
  }
  FAKE_NOT_USED(get__NewEnum, IUnknown**)
  FAKE_NOT_USED(Remove, VARIANT)
  FAKE_NOT_USED(Clear)

 private:
  std::vector<ComPtr<ITrigger>> triggers_;
};

class FakeExecAction : public FakeDispatch<IExecAction, IAction> {
 public:
  FakeExecAction(FakeTaskService* service, TASK_ACTION_TYPE type,
                 const std::string& path)
      : FakeDispatch(service), type_(type), path_(path) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    // Only an executable action is one.
    if (iid == kIidExecAction && type_ != TASK_ACTION_EXEC) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    return FakeDispatch::QueryInterface(iid, out);
  }
  HRESULT STDMETHODCALLTYPE get_Type(TASK_ACTION_TYPE* type) override {
    *type = type_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Path(BSTR* path) override {
    return Copy(path_, path);
  }
  HRESULT STDMETHODCALLTYPE put_Path(BSTR path) override {
    path_ = Text(path);
    return Record("ExecAction.Path=" + path_);
  }
  HRESULT STDMETHODCALLTYPE put_Arguments(BSTR arguments) override {
    return Record("ExecAction.Arguments=" + Text(arguments));
  }
  FAKE_NOT_USED(get_Id, BSTR*)
  FAKE_NOT_USED(put_Id, BSTR)
  FAKE_NOT_USED(get_Arguments, BSTR*)
  FAKE_NOT_USED(get_WorkingDirectory, BSTR*)
  FAKE_NOT_USED(put_WorkingDirectory, BSTR)

 private:
  const TASK_ACTION_TYPE type_;
  std::string path_;
};

class FakeActionCollection : public FakeDispatch<IActionCollection> {
 public:
  using FakeDispatch::FakeDispatch;
  HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
    *count = static_cast<LONG>(actions_.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Item(LONG index, IAction** out) override {
    if (index < 1 || index > static_cast<LONG>(actions_.size()))
      return E_INVALIDARG;
    return actions_[index - 1].CopyTo(out);
  }
  HRESULT STDMETHODCALLTYPE Create(TASK_ACTION_TYPE type,
                                   IAction** out) override {
    const HRESULT result = Record("Actions.Create " + base::IntToString(type));
    if (FAILED(result)) return result;
    Add(type, std::string());
    return actions_.back().CopyTo(out);
  }
  void Add(TASK_ACTION_TYPE type, const std::string& path) {
    actions_.push_back(new FakeExecAction(service_, type, path));
  }
  FAKE_NOT_USED(get__NewEnum, IUnknown**)
  FAKE_NOT_USED(get_XmlText, BSTR*)
  FAKE_NOT_USED(put_XmlText, BSTR)
  FAKE_NOT_USED(Remove, VARIANT)
  FAKE_NOT_USED(Clear)
  FAKE_NOT_USED(get_Context, BSTR*)
  FAKE_NOT_USED(put_Context, BSTR)

 private:
  std::vector<ComPtr<IAction>> actions_;
};

class FakePrincipal : public FakeDispatch<IPrincipal> {
 public:
  using FakeDispatch::FakeDispatch;
  HRESULT STDMETHODCALLTYPE put_RunLevel(TASK_RUNLEVEL_TYPE level) override {
    return Record("Principal.RunLevel=" + base::IntToString(level));
  }
  FAKE_NOT_USED(get_Id, BSTR*)
  FAKE_NOT_USED(put_Id, BSTR)
  FAKE_NOT_USED(get_DisplayName, BSTR*)
  FAKE_NOT_USED(put_DisplayName, BSTR)
  FAKE_NOT_USED(get_UserId, BSTR*)
  FAKE_NOT_USED(put_UserId, BSTR)
  FAKE_NOT_USED(get_LogonType, TASK_LOGON_TYPE*)
  FAKE_NOT_USED(put_LogonType, TASK_LOGON_TYPE)
  FAKE_NOT_USED(get_GroupId, BSTR*)
  FAKE_NOT_USED(put_GroupId, BSTR)
  FAKE_NOT_USED(get_RunLevel, TASK_RUNLEVEL_TYPE*)
};

class FakeDefinition : public FakeDispatch<ITaskDefinition> {
 public:
  explicit FakeDefinition(FakeTaskService* service)
      : FakeDispatch(service),
        info_(new FakeRegistrationInfo(service)),
        settings_(new FakeSettings(service)),
        triggers_(new FakeTriggerCollection(service)),
        actions_(new FakeActionCollection(service)),
        principal_(new FakePrincipal(service)) {}

  HRESULT STDMETHODCALLTYPE
  get_RegistrationInfo(IRegistrationInfo** out) override {
    return info_.CopyTo(out);
  }
  HRESULT STDMETHODCALLTYPE get_Triggers(ITriggerCollection** out) override {
    return triggers_.CopyTo(out);
  }
  HRESULT STDMETHODCALLTYPE get_Settings(ITaskSettings** out) override {
    return settings_.CopyTo(out);
  }
  HRESULT STDMETHODCALLTYPE get_Principal(IPrincipal** out) override {
    return principal_.CopyTo(out);
  }
  HRESULT STDMETHODCALLTYPE get_Actions(IActionCollection** out) override {
    return actions_.CopyTo(out);
  }
  FAKE_NOT_USED(put_RegistrationInfo, IRegistrationInfo*)
  FAKE_NOT_USED(put_Triggers, ITriggerCollection*)
  FAKE_NOT_USED(put_Settings, ITaskSettings*)
  FAKE_NOT_USED(get_Data, BSTR*)
  FAKE_NOT_USED(put_Data, BSTR)
  FAKE_NOT_USED(put_Principal, IPrincipal*)
  FAKE_NOT_USED(put_Actions, IActionCollection*)
  FAKE_NOT_USED(get_XmlText, BSTR*)
  FAKE_NOT_USED(put_XmlText, BSTR)

  FakeActionCollection* actions() { return actions_.Get(); }

 private:
  ComPtr<FakeRegistrationInfo> info_;
  ComPtr<FakeSettings> settings_;
  ComPtr<FakeTriggerCollection> triggers_;
  ComPtr<FakeActionCollection> actions_;
  ComPtr<FakePrincipal> principal_;
};

class FakeRegisteredTask : public FakeDispatch<IRegisteredTask> {
 public:
  FakeRegisteredTask(FakeTaskService* service, const std::u16string& name)
      : FakeDispatch(service), name_(name) {}

  HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) override {
    *name = SysAllocString(base::as_wcstr(name_));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_State(TASK_STATE* state) override {
    *state = task().state;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* enabled) override {
    *enabled = task().enabled ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL enabled) override {
    task().enabled = enabled == VARIANT_TRUE;
    return Record(std::string("Task.Enabled=") +
                  (enabled == VARIANT_TRUE ? "1" : "0"));
  }
  HRESULT STDMETHODCALLTYPE Run(VARIANT parameters,
                                IRunningTask** running) override {
    *running = nullptr;
    return Record("Task.Run " + Text(parameters));
  }
  HRESULT STDMETHODCALLTYPE get_LastRunTime(DATE* date) override {
    *date = task().last_run_time;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Definition(ITaskDefinition** out) override {
    return task().definition.CopyTo(out);
  }
  HRESULT STDMETHODCALLTYPE SetSecurityDescriptor(BSTR sddl,
                                                  LONG flags) override {
    return Record("Task.SetSecurityDescriptor " + Text(sddl));
  }
  FAKE_NOT_USED(get_Path, BSTR*)
  FAKE_NOT_USED(RunEx, VARIANT, LONG, LONG, BSTR, IRunningTask**)
  FAKE_NOT_USED(GetInstances, LONG, IRunningTaskCollection**)
  FAKE_NOT_USED(get_LastTaskResult, LONG*)
  FAKE_NOT_USED(get_NumberOfMissedRuns, LONG*)
  FAKE_NOT_USED(get_NextRunTime, DATE*)
  FAKE_NOT_USED(get_Xml, BSTR*)
  FAKE_NOT_USED(GetSecurityDescriptor, LONG, BSTR*)
  FAKE_NOT_USED(Stop, LONG)
  FAKE_NOT_USED(GetRunTimes, const LPSYSTEMTIME, const LPSYSTEMTIME, DWORD*,
                LPSYSTEMTIME*)

 private:
  // Deleted tasks keep answering with an empty record.
  FakeTaskService::Task& task() {
    auto found = service_->tasks.find(name_);
    if (found != service_->tasks.end()) return found->second;
    static FakeTaskService::Task deleted;
    return deleted;
  }

  const std::u16string name_;
};

class FakeTaskCollection : public FakeDispatch<IRegisteredTaskCollection> {
 public:
  explicit FakeTaskCollection(FakeTaskService* service)
      : FakeDispatch(service) {
    for (const auto& [name, task] : service->tasks) names_.push_back(name);
  }
  HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
    *count = static_cast<LONG>(names_.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Item(VARIANT index,
                                     IRegisteredTask** out) override {
    if (index.vt != VT_I4 || index.lVal < 1 ||
        index.lVal > static_cast<LONG>(names_.size())) {
      return E_INVALIDARG;
    }
    ComPtr<IRegisteredTask> task =
        new FakeRegisteredTask(service_, names_[index.lVal - 1]);
    return task.CopyTo(out);
  }
  FAKE_NOT_USED(get__NewEnum, IUnknown**)

 private:
  std::vector<std::u16string> names_;
};

class FakeFolder : public FakeDispatch<ITaskFolder> {
 public:
  using FakeDispatch::FakeDispatch;
  HRESULT STDMETHODCALLTYPE GetTask(BSTR path, IRegisteredTask** out) override {
    const std::u16string name = base::as_u16cstr(path);
    if (!service_->tasks.count(name))
      return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    ComPtr<IRegisteredTask> task = new FakeRegisteredTask(service_, name);
    return task.CopyTo(out);
  }
  HRESULT STDMETHODCALLTYPE GetTasks(LONG flags,
                                     IRegisteredTaskCollection** out) override {
    ComPtr<IRegisteredTaskCollection> tasks = new FakeTaskCollection(service_);
    return tasks.CopyTo(out);
  }
  HRESULT STDMETHODCALLTYPE DeleteTask(BSTR name, LONG flags) override {
    const HRESULT result = Record("DeleteTask " + Text(name));
    if (FAILED(result)) return result;
    return service_->tasks.erase(base::as_u16cstr(name))
               ? S_OK
               : HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  }
  HRESULT STDMETHODCALLTYPE
  RegisterTaskDefinition(BSTR path, ITaskDefinition* definition, LONG flags,
                         VARIANT user, VARIANT password, TASK_LOGON_TYPE logon,
                         VARIANT sddl, IRegisteredTask** out) override {
    const HRESULT result =
        Record("RegisterTaskDefinition " + Text(path) +
               " flags=" + base::IntToString(flags) + " user=" + Text(user) +
               " password=" + Text(password) +
               " logon=" + base::IntToString(logon) + " sddl=" + Text(sddl));
    if (FAILED(result)) return result;
    const std::u16string name = base::as_u16cstr(path);
    FakeTaskService::Task& task = service_->tasks[name];
    task.definition = definition;
    ComPtr<IRegisteredTask> registered = new FakeRegisteredTask(service_, name);
    return registered.CopyTo(out);
  }
  FAKE_NOT_USED(get_Name, BSTR*)
  FAKE_NOT_USED(get_Path, BSTR*)
  FAKE_NOT_USED(GetFolder, BSTR, ITaskFolder**)
  FAKE_NOT_USED(GetFolders, LONG, ITaskFolderCollection**)
  FAKE_NOT_USED(CreateFolder, BSTR, VARIANT, ITaskFolder**)
  FAKE_NOT_USED(DeleteFolder, BSTR, LONG)
  FAKE_NOT_USED(RegisterTask, BSTR, BSTR, LONG, VARIANT, VARIANT,
                TASK_LOGON_TYPE, VARIANT, IRegisteredTask**)
  FAKE_NOT_USED(GetSecurityDescriptor, LONG, BSTR*)
  FAKE_NOT_USED(SetSecurityDescriptor, BSTR, LONG)
};

class FakeService : public FakeDispatch<ITaskService> {
 public:
  using FakeDispatch::FakeDispatch;
  HRESULT STDMETHODCALLTYPE GetFolder(BSTR path, ITaskFolder** out) override {
    const HRESULT result = Record("GetFolder " + Text(path));
    if (FAILED(result)) return result;
    ComPtr<ITaskFolder> folder = new FakeFolder(service_);
    return folder.CopyTo(out);
  }
  HRESULT STDMETHODCALLTYPE NewTask(DWORD flags,
                                    ITaskDefinition** out) override {
    const HRESULT result = Record("NewTask");
    if (FAILED(result)) return result;
    ComPtr<ITaskDefinition> definition = new FakeDefinition(service_);
    return definition.CopyTo(out);
  }
  HRESULT STDMETHODCALLTYPE Connect(VARIANT server, VARIANT user,
                                    VARIANT domain, VARIANT password) override {
    return Record("Connect " + Text(server) + " " + Text(user) + " " +
                  Text(domain) + " " + Text(password));
  }
  FAKE_NOT_USED(GetRunningTasks, LONG, IRunningTaskCollection**)
  FAKE_NOT_USED(get_Connected, VARIANT_BOOL*)
  FAKE_NOT_USED(get_TargetServer, BSTR*)
  FAKE_NOT_USED(get_ConnectedUser, BSTR*)
  FAKE_NOT_USED(get_ConnectedDomain, BSTR*)
  FAKE_NOT_USED(get_HighestVersion, DWORD*)
};

}  // namespace

FakeTaskService::FakeTaskService() = default;

FakeTaskService::~FakeTaskService() = default;

ComPtr<ITaskService> FakeTaskService::service() {
  return ComPtr<ITaskService>(new FakeService(this));
}

void FakeTaskService::AddTask(const std::u16string& name, bool enabled,
                              const std::vector<const char16_t*>& actions) {
  ComPtr<FakeDefinition> definition = new FakeDefinition(this);
  for (const char16_t* path : actions) {
    if (path) {
      definition->actions()->Add(TASK_ACTION_EXEC, base::UTF16ToUTF8(path));
    } else {
      definition->actions()->Add(TASK_ACTION_SEND_EMAIL, std::string());
    }
  }
  Task& task = tasks[name];
  task.definition = definition;
  task.enabled = enabled;
}

HRESULT FakeTaskService::Record(const std::string& line) {
  if (!fail_on.empty() && base::StartsWith(line, fail_on)) {
    log.push_back(line + " (failed)");
    return E_NOTIMPL;
  }
  log.push_back(line);
  return S_OK;
}

}  // namespace test
}  // namespace installer
