// Task Scheduler 2.0: the task definitions, the sweep and the task
// operations against a recording stand-in (this machine's service stores no
// triggers or actions and lists no tasks), and what the real service does
// do here.

#include "desktop/windows/installer/service/task_scheduler_v2.h"

#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_temp_dir.h"
#include "desktop/windows/installer/service/access_control.h"
#include "desktop/windows/installer/service/test/fake_task_service.h"
#include "desktop/windows/installer/service/test/log_capture.h"
#include "desktop/windows/installer/service/test/machine_state_snapshot.h"
#include "desktop/windows/installer/service/test/security_test_util.h"
#include "desktop/windows/installer/service/utils.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

class FixedClock : public base::Clock {
 public:
  explicit FixedClock(base::Time now) : now_(now) {}
  base::Time Now() override { return now_; }

 private:
  const base::Time now_;
};

base::Time LocalTime(int year, int month, int day, int hour, int minute,
                     int second) {
  base::Time::Exploded exploded = {year, month,  0,      day,
                                   hour, minute, second, 0};
  base::Time time;
  EXPECT_TRUE(base::Time::FromExploded(exploded, &time));
  return time;
}

// The autoupdate task as the installer's finalising step describes it.
ScheduledTaskSpec AutoupdateSpec(bool system_task, ScheduleKind kind,
                                 bool logon_trigger) {
  base::CommandLine program(base::FilePath(u"C:\\Velna\\launcher.exe"));
  program.AppendSwitch("scheduledautoupdate");
  program.AppendArg("$(Arg0)");
  ScheduledTaskSpec spec(program);
  spec.name_suffix = u"Autoupdate app-1";
  spec.description = u"Keeps Velna up to date.";
  spec.time_limit_seconds = 3600;
  spec.system_task = system_task;
  spec.schedule_kind = kind;
  spec.logon_trigger = logon_trigger;
  spec.network_only = true;
  return spec;
}

class TaskSchedulerV2FakeTest : public testing::Test {
 protected:
  TaskSchedulerV2FakeTest()
      : clock_(LocalTime(2016, 10, 12, 17, 0, 1)),
        scheduler_(fake_.service(), &clock_) {}

  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ASSERT_TRUE(GetCurrentUserNameEx(&user_, NameSamCompatible));
    user8_ = base::UTF16ToUTF8(user_);
    ASSERT_TRUE(scheduler_.Init());
    EXPECT_EQ((std::vector<std::string>{
                  "Connect (empty) (empty) (empty) (empty)", "GetFolder \\"}),
              fake_.log);
    fake_.log.clear();
  }
  void TearDown() override { CoUninitialize(); }

  // The lines of a registration up to its actions.
  std::vector<std::string> DefinitionStart(const std::string& limit) const {
    return {"DeleteTask Velna scheduled Autoupdate app-1",
            "NewTask",
            "RegistrationInfo.Author=" + user8_,
            "RegistrationInfo.Description=Keeps Velna up to date.",
            "Settings.ExecutionTimeLimit=" + limit,
            "Settings.MultipleInstances=2",
            "Settings.RunOnlyIfNetworkAvailable=1",
            "Settings.StopIfGoingOnBatteries=0",
            "Settings.DisallowStartIfOnBatteries=0",
            "Settings.StartWhenAvailable=1"};
  }

  test::FakeTaskService fake_;
  FixedClock clock_;
  TaskSchedulerV2 scheduler_;
  std::u16string user_;
  std::string user8_;
};

std::vector<std::string> Join(std::vector<std::string> a,
                              const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const std::vector<std::string> kAction = {
    "Actions.Create 0", "ExecAction.Path=C:\\Velna\\launcher.exe",
    "ExecAction.Arguments=--scheduledautoupdate $(Arg0)"};

TEST_F(TaskSchedulerV2FakeTest, SystemTaskForAnAdministrator) {
  ASSERT_TRUE(IsUserAdministrator(false));
  ASSERT_TRUE(scheduler_.Register(AutoupdateSpec(true, kScheduleDaily, true)));
  EXPECT_EQ(
      Join(Join(Join(DefinitionStart("PT3600S"),
                     {"Triggers.Create 2", "DailyTrigger.Id=Daily run",
                      "DailyTrigger.StartBoundary=2016-10-12T17:00:01",
                      "DailyTrigger.DaysInterval=1", "Triggers.Create 8",
                      "BootTrigger.Id=Logon run",
                      "BootTrigger.StartBoundary=2016-10-12T17:00:01",
                      "BootTrigger.Delay=PT5M"}),
                kAction),
           {"Principal.RunLevel=1",
            "RegisterTaskDefinition Velna scheduled Autoupdate app-1 flags=6 "
            "user=SYSTEM password=(empty) logon=5 sddl=",
            "Task.SetSecurityDescriptor D:(A;;GRGX;;;AU)"}),
      fake_.log);
  EXPECT_EQ(1u, fake_.tasks.count(u"Velna scheduled Autoupdate app-1"));
}

TEST_F(TaskSchedulerV2FakeTest, UserTaskForAUserWhoIsNoAdministrator) {
  base::win::ScopedHandle token =
      test::MakeRestrictedToken({WinBuiltinAdministratorsSid}, false);
  ASSERT_TRUE(token.IsValid());
  internal::ScopedAccessTokenForTesting scoped_token(token.Get());
  ASSERT_TRUE(scheduler_.Register(AutoupdateSpec(false, kScheduleDaily, true)));
  EXPECT_EQ(
      Join(Join(Join(DefinitionStart("PT3600S"),
                     {"Triggers.Create 2", "DailyTrigger.Id=Daily run",
                      "DailyTrigger.StartBoundary=2016-10-12T17:00:01",
                      "DailyTrigger.DaysInterval=1", "Triggers.Create 9",
                      "LogonTrigger.Id=Logon run",
                      "LogonTrigger.StartBoundary=2016-10-12T17:00:01",
                      "LogonTrigger.UserId=" + user8_,
                      "LogonTrigger.Delay=PT5M"}),
                kAction),
           {"RegisterTaskDefinition Velna scheduled Autoupdate app-1 flags=6 "
            "user=" +
            user8_ + " password=(empty) logon=3 sddl="}),
      fake_.log);
}

TEST_F(TaskSchedulerV2FakeTest, WithoutScheduleNoTriggerAtAll) {
  base::win::ScopedHandle token =
      test::MakeRestrictedToken({WinBuiltinAdministratorsSid}, false);
  internal::ScopedAccessTokenForTesting scoped_token(token.Get());
  ASSERT_TRUE(scheduler_.Register(
      AutoupdateSpec(false, kScheduleNoTimeTrigger, false)));
  EXPECT_EQ(Join(Join(DefinitionStart("PT3600S"), kAction),
                 {"RegisterTaskDefinition Velna scheduled Autoupdate app-1 "
                  "flags=6 user=" +
                  user8_ + " password=(empty) logon=3 sddl="}),
            fake_.log);
}

TEST_F(TaskSchedulerV2FakeTest, RunOnceExpiresAndIsNotKept) {
  ScheduledTaskSpec spec = AutoupdateSpec(false, kScheduleRunOnce, true);
  spec.time_limit_seconds = 0;
  ASSERT_TRUE(scheduler_.Register(spec));
  EXPECT_EQ(
      Join(Join(Join(DefinitionStart("PT0S"),
                     {"Settings.DeleteExpiredTaskAfter=PT0S",
                      "Triggers.Create 7", "RegistrationTrigger.Id=Run once",
                      "RegistrationTrigger.EndBoundary=2016-10-12T17:00:31"}),
                kAction),
           {"Principal.RunLevel=1",
            "RegisterTaskDefinition Velna scheduled Autoupdate app-1 flags=6 "
            "user=" +
                user8_ + " password=(empty) logon=3 sddl=",
            "DeleteTask Velna scheduled Autoupdate app-1"}),
      fake_.log);
  EXPECT_TRUE(fake_.tasks.empty());
}

TEST_F(TaskSchedulerV2FakeTest, AFailingStepRegistersNothing) {
  const char* kFailingSteps[] = {
      "NewTask",
      "RegistrationInfo.Author",
      "RegistrationInfo.Description",
      "Settings.ExecutionTimeLimit",
      "Settings.MultipleInstances",
      "Settings.RunOnlyIfNetworkAvailable",
      "Settings.StopIfGoingOnBatteries",
      "Settings.DisallowStartIfOnBatteries",
      "Settings.StartWhenAvailable",
      "Triggers.Create 2",
      "DailyTrigger.StartBoundary",
      "DailyTrigger.DaysInterval",
      "Triggers.Create 8",
      "BootTrigger.Id",
      "BootTrigger.Delay",
      "Actions.Create",
      "ExecAction.Path",
      "ExecAction.Arguments",
      "Principal.RunLevel",
      "RegisterTaskDefinition",
  };
  for (const char* step : kFailingSteps) {
    SCOPED_TRACE(step);
    fake_.log.clear();
    fake_.fail_on = step;
    test::ScopedLogCapture log;
    EXPECT_FALSE(
        scheduler_.Register(AutoupdateSpec(true, kScheduleDaily, true)));
    EXPECT_TRUE(fake_.tasks.empty());
    EXPECT_EQ(
        std::string(step) == "RegisterTaskDefinition",
        log.Has(logging::LOG_ERROR, "Failed task registration: -2147467263"));
  }
}

TEST_F(TaskSchedulerV2FakeTest, ARefusedDescriptorKeepsTheTask) {
  fake_.fail_on = "Task.SetSecurityDescriptor";
  test::ScopedLogCapture log;
  EXPECT_TRUE(scheduler_.Register(AutoupdateSpec(true, kScheduleDaily, true)));
  EXPECT_TRUE(log.Has(logging::LOG_ERROR, "Failed setting SDDL: -2147467263"));
  EXPECT_EQ(1u, fake_.tasks.size());
}

TEST_F(TaskSchedulerV2FakeTest, SweepDeletesOnlyTheProductsOrphans) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const std::u16string live = temp.GetPath().Append(u"launcher.exe").value();
  ASSERT_TRUE(test::WriteFileContents(base::FilePath(live), "x"));
  const std::u16string gone = temp.GetPath().Append(u"gone.exe").value();
  const std::u16string quoted_live = u"\"" + live + u"\"";
  SetEnvironmentVariableW(L"VELNA_TEST_TASK_DIR",
                          base::as_wcstr(temp.GetPath().value()));
  const struct {
    const char16_t* name;
    bool enabled;
    std::vector<const char16_t*> actions;
    bool deleted;
  } kTasks[] = {
      {u"Velna scheduled Autoupdate gone", true, {gone.c_str()}, true},
      {u"velna SCHEDULED other", true, {gone.c_str()}, true},
      {u"Velna scheduled live", true, {live.c_str()}, false},
      {u"Velna scheduled quoted", true, {quoted_live.c_str()}, false},
      {u"Velna scheduled expanded",
       true,
       {u"%VELNA_TEST_TASK_DIR%\\launcher.exe"},
       false},
      {u"Velna scheduled expanded gone",
       true,
       {u"%VELNA_TEST_TASK_DIR%\\gone.exe"},
       true},
      {u"Velna scheduled unknown variable",
       true,
       {u"%VELNA_TEST_NOT_SET%\\gone.exe"},
       false},
      {u"Velna scheduled relative", true, {u"gone.exe"}, false},
      {u"Velna scheduled disabled", false, {gone.c_str()}, false},
      {u"Velna scheduled two", true, {gone.c_str(), gone.c_str()}, false},
      {u"Velna scheduled mail", true, {nullptr}, false},
      {u"Velna scheduled none", true, {}, false},
      {u"Other scheduled Autoupdate", true, {gone.c_str()}, false},
      {u" scheduled Autoupdate x", true, {gone.c_str()}, false},
  };
  for (const auto& task : kTasks)
    fake_.AddTask(task.name, task.enabled, task.actions);
  scheduler_.DeleteStaleTasks();
  for (const auto& task : kTasks) {
    SCOPED_TRACE(base::UTF16ToUTF8(task.name));
    EXPECT_EQ(task.deleted, fake_.tasks.count(task.name) == 0);
  }
  SetEnvironmentVariableW(L"VELNA_TEST_TASK_DIR", nullptr);
}

TEST_F(TaskSchedulerV2FakeTest, OperationsOnARegisteredTask) {
  const std::u16string suffix = u"Autoupdate app-1";
  const std::u16string name = BuildTaskName(suffix);
  EXPECT_EQ(kTaskNotFound, scheduler_.GetState(suffix));
  EXPECT_TRUE(scheduler_.GetLastRunTime(suffix).is_null());
  EXPECT_FALSE(scheduler_.Run(suffix, {}));
  ASSERT_TRUE(scheduler_.Register(AutoupdateSpec(true, kScheduleDaily, true)));
  fake_.log.clear();

  scheduler_.SetDailyTrigger(suffix, 3);
  scheduler_.SetDailyTrigger(suffix, 3);  // unchanged: no registration
  EXPECT_EQ((std::vector<std::string>{
                "DailyTrigger.DaysInterval=3",
                "RegisterTaskDefinition " + base::UTF16ToUTF8(name) +
                    " flags=4 user=(empty) password=(empty) logon=0 sddl="}),
            fake_.log);
  fake_.log.clear();

  scheduler_.SetEnabled(suffix, false);
  scheduler_.SetEnabled(suffix, true);
  EXPECT_TRUE(scheduler_.Run(suffix, {u"a b", u"c"}));
  EXPECT_TRUE(scheduler_.Run(suffix, {}));
  EXPECT_EQ((std::vector<std::string>{"Task.Enabled=0", "Task.Enabled=1",
                                      "Task.Run [a b,c]", "Task.Run (empty)"}),
            fake_.log);

  const struct {
    TASK_STATE state;
    TaskState expected;
  } kStates[] = {
      {TASK_STATE_UNKNOWN, kTaskStateOther},
      {TASK_STATE_DISABLED, kTaskDisabled},
      {TASK_STATE_QUEUED, kTaskReady},
      {TASK_STATE_READY, kTaskReady},
      {TASK_STATE_RUNNING, kTaskRunning},
      {static_cast<TASK_STATE>(9), kTaskStateOther},
  };
  for (const auto& state : kStates) {
    fake_.tasks[name].state = state.state;
    EXPECT_EQ(state.expected, scheduler_.GetState(suffix));
  }

  SYSTEMTIME fields = {2016, 10, 3, 12, 17, 0, 1, 0};
  DATE date = 0;
  ASSERT_TRUE(SystemTimeToVariantTime(&fields, &date));
  fake_.tasks[name].last_run_time = date;
  EXPECT_EQ(LocalTime(2016, 10, 12, 17, 0, 1),
            scheduler_.GetLastRunTime(suffix));

  scheduler_.Delete(suffix);
  EXPECT_EQ(kTaskNotFound, scheduler_.GetState(suffix));
}

// The real service of this machine: it stores a task without triggers.
class TaskSchedulerV2RealTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    suffix_ = u"Test " + base::UintToString16(GetCurrentProcessId()) + u"-" +
              base::UintToString16(GetTickCount());
  }
  void TearDown() override {
    TaskSchedulerV2 scheduler;
    if (scheduler.Init()) scheduler.Delete(suffix_);
    CoUninitialize();
  }

  ScheduledTaskSpec Spec(ScheduleKind kind, bool logon_trigger) {
    ScheduledTaskSpec spec = AutoupdateSpec(false, kind, logon_trigger);
    spec.name_suffix = suffix_;
    return spec;
  }

  std::u16string suffix_;
};

TEST_F(TaskSchedulerV2RealTest, StoresTheTaskOfAUserWhoIsNoAdministrator) {
  base::win::ScopedHandle token =
      test::MakeRestrictedToken({WinBuiltinAdministratorsSid}, false);
  internal::ScopedAccessTokenForTesting scoped_token(token.Get());
  TaskSchedulerV2 scheduler;
  ASSERT_TRUE(scheduler.Init());
  ASSERT_TRUE(scheduler.Register(Spec(kScheduleNoTimeTrigger, false)));
  EXPECT_NE(kTaskNotFound, scheduler.GetState(suffix_));
  // This machine's service takes the change but keeps no trace of it.
  scheduler.SetEnabled(suffix_, false);
  scheduler.SetEnabled(suffix_, true);
  EXPECT_NE(kTaskNotFound, scheduler.GetState(suffix_));
  scheduler.Delete(suffix_);
  EXPECT_EQ(kTaskNotFound, scheduler.GetState(suffix_));
}

TEST_F(TaskSchedulerV2RealTest, RefusedRunLevelLeavesNoTask) {
  ASSERT_TRUE(IsUserAdministrator(false));
  TaskSchedulerV2 scheduler;
  ASSERT_TRUE(scheduler.Init());
  EXPECT_FALSE(scheduler.Register(Spec(kScheduleNoTimeTrigger, false)));
  EXPECT_EQ(kTaskNotFound, scheduler.GetState(suffix_));
}

}  // namespace
}  // namespace installer
