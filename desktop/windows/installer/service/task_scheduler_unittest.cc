// The scheduler factory, the sweep's program test, Task Scheduler 1.0 on
// this machine's real service, and the autoupdate task's life across the
// installer's processes (registered by one, removed by the uninstaller's).

#include "desktop/windows/installer/service/task_scheduler.h"

#include <objbase.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "base/test/scoped_temp_dir.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/service/task_scheduler_interfaces_win.h"
#include "desktop/windows/installer/service/task_scheduler_v1.h"
#include "desktop/windows/installer/service/task_scheduler_v2.h"
#include "desktop/windows/installer/service/test/integration_child.h"
#include "desktop/windows/installer/service/test/machine_state_snapshot.h"
#include "desktop/windows/installer/service/test/scoped_branding_value.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(TaskSchedulerFactoryTest, VersionChoosesTheScheduler) {
  for (int version = base::win::kVersionPreXP;
       version <= base::win::kVersionWinLast; ++version) {
    std::unique_ptr<TaskScheduler> scheduler =
        TaskScheduler::CreateForWindowsVersion(version);
    EXPECT_EQ(version >= base::win::kVersionVista,
              dynamic_cast<TaskSchedulerV2*>(scheduler.get()) != nullptr);
    EXPECT_EQ(version < base::win::kVersionVista,
              dynamic_cast<TaskSchedulerV1*>(scheduler.get()) != nullptr);
  }
  EXPECT_TRUE(dynamic_cast<TaskSchedulerV2*>(TaskScheduler::Create().get()));
}

TEST(TaskProgramExistsTest, UnquotesAndExpandsFirst) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const std::u16string folder = temp.GetPath().value();
  ASSERT_TRUE(
      test::WriteFileContents(temp.GetPath().Append(u"launcher.exe"), "x"));
  SetEnvironmentVariableW(L"VELNA_TEST_PROGRAM_DIR", base::as_wcstr(folder));
  const struct {
    std::u16string path;
    bool exists;
  } kCases[] = {
      {folder + u"\\launcher.exe", true},
      {folder + u"\\gone.exe", false},
      {u"\"" + folder + u"\\launcher.exe\"", true},
      {u"\"" + folder + u"\\gone.exe\"", false},
      {u"\"" + folder + u"\\launcher.exe", true},
      {u"%VELNA_TEST_PROGRAM_DIR%\\launcher.exe", true},
      {u"\"%VELNA_TEST_PROGRAM_DIR%\\gone.exe\"", false},
      // Cannot be judged here: kept.
      {u"%VELNA_TEST_NOT_SET%\\gone.exe", true},
      {u"gone.exe", true},
      {u"", true},
      {u"%" + std::u16string(40000, u'x') + u"%", true},
  };
  for (const auto& test_case : kCases) {
    SCOPED_TRACE(base::UTF16ToUTF8(test_case.path.substr(0, 80)));
    EXPECT_EQ(test_case.exists, TaskProgramExists(test_case.path));
  }
  SetEnvironmentVariableW(L"VELNA_TEST_PROGRAM_DIR", nullptr);
}

// A unique suffix per test, and an install folder whose launcher exists.
class ScheduledTaskTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    id_ = base::UintToString16(GetCurrentProcessId()) + u"-" +
          base::UintToString16(GetTickCount());
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    launcher_ = temp_.GetPath().Append(u"launcher.exe");
    ASSERT_TRUE(base::CopyOneFile(test::GetIntegrationChildPath(), launcher_));
  }
  void TearDown() override {
    for (int version : {base::win::kVersionXP, base::win::kVersionVista}) {
      std::unique_ptr<TaskScheduler> scheduler =
          TaskScheduler::CreateForWindowsVersion(version);
      if (!scheduler->Init()) continue;
      for (const std::u16string& suffix : suffixes_) scheduler->Delete(suffix);
    }
    CoUninitialize();
  }

  // A suffix of this test, removed at its end.
  std::u16string Suffix(const std::u16string& name) {
    suffixes_.push_back(name + u" " + id_);
    return suffixes_.back();
  }

  ScheduledTaskSpec Spec(const std::u16string& suffix,
                         const base::FilePath& program, ScheduleKind kind) {
    base::CommandLine command_line(program);
    command_line.AppendSwitch("scheduledautoupdate");
    ScheduledTaskSpec spec(command_line);
    spec.name_suffix = suffix;
    spec.description = u"Keeps Velna up to date.";
    spec.time_limit_seconds = 3600;
    spec.schedule_kind = kind;
    spec.logon_trigger = kind != kScheduleRunOnce;
    return spec;
  }

  std::u16string id_;
  base::ScopedTempDir temp_;
  base::FilePath launcher_;
  std::vector<std::u16string> suffixes_;
};

using TaskSchedulerV1Test = ScheduledTaskTest;

// The work item's first trigger and flags, read straight from the service.
bool ReadJob(const std::u16string& suffix, TASK_TRIGGER* trigger,
             DWORD* flags) {
  Microsoft::WRL::ComPtr<ITaskScheduler> scheduler;
  Microsoft::WRL::ComPtr<ITask> task;
  Microsoft::WRL::ComPtr<ITaskTrigger> first;
  trigger->cbTriggerSize = sizeof(*trigger);
  return SUCCEEDED(CoCreateInstance(
             kClsidCTaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
             kIidITaskScheduler,
             reinterpret_cast<void**>(scheduler.GetAddressOf()))) &&
         SUCCEEDED(scheduler->Activate(
             base::as_wcstr(BuildTaskName(suffix)), kIidITask,
             reinterpret_cast<IUnknown**>(task.GetAddressOf()))) &&
         SUCCEEDED(task->GetTrigger(0, &first)) &&
         SUCCEEDED(first->GetTrigger(trigger)) &&
         SUCCEEDED(task->GetFlags(flags));
}

TEST_F(TaskSchedulerV1Test, RegistersChangesAndDeletesRealTasks) {
  TaskSchedulerV1 scheduler;
  ASSERT_TRUE(scheduler.Init());
  const std::u16string suffix = Suffix(u"Autoupdate");
  EXPECT_EQ(kTaskNotFound, scheduler.GetState(suffix));
  ASSERT_TRUE(scheduler.Register(Spec(suffix, launcher_, kScheduleDaily)));
  // Registering again replaces it.
  ASSERT_TRUE(scheduler.Register(Spec(suffix, launcher_, kScheduleDaily)));
  EXPECT_EQ(kTaskReady, scheduler.GetState(suffix));
  EXPECT_TRUE(scheduler.GetLastRunTime(suffix).is_null());

  TASK_TRIGGER trigger = {};
  DWORD flags = 0;
  ASSERT_TRUE(ReadJob(suffix, &trigger, &flags));
  EXPECT_EQ(TASK_TIME_TRIGGER_DAILY, trigger.TriggerType);
  EXPECT_EQ(1, trigger.Type.Daily.DaysInterval);
  EXPECT_EQ(static_cast<DWORD>(TASK_FLAG_RUN_ONLY_IF_LOGGED_ON), flags);

  scheduler.SetDailyTrigger(suffix, 3);
  ASSERT_TRUE(ReadJob(suffix, &trigger, &flags));
  EXPECT_EQ(3, trigger.Type.Daily.DaysInterval);

  // Disabling lasts: it is saved. (This machine's status does not show it.)
  scheduler.SetEnabled(suffix, false);
  ASSERT_TRUE(ReadJob(suffix, &trigger, &flags));
  EXPECT_EQ(
      static_cast<DWORD>(TASK_FLAG_RUN_ONLY_IF_LOGGED_ON | TASK_FLAG_DISABLED),
      flags);
  scheduler.SetEnabled(suffix, true);
  ASSERT_TRUE(ReadJob(suffix, &trigger, &flags));
  EXPECT_EQ(static_cast<DWORD>(TASK_FLAG_RUN_ONLY_IF_LOGGED_ON), flags);
  EXPECT_EQ(kTaskReady, scheduler.GetState(suffix));

  scheduler.Delete(suffix);
  EXPECT_EQ(kTaskNotFound, scheduler.GetState(suffix));
  EXPECT_FALSE(scheduler.Run(suffix, {}));

  // Run on a task of its own: the service writes a job's status back when a
  // run ends, which could bring back a job deleted while it ran.
  const std::u16string run = Suffix(u"Run");
  ASSERT_TRUE(scheduler.Register(Spec(run, launcher_, kScheduleDaily)));
  EXPECT_TRUE(scheduler.Run(run, {u"ignored"}));
}

TEST_F(TaskSchedulerV1Test, SweepDeletesTheProductsOrphansOnly) {
  TaskSchedulerV1 scheduler;
  ASSERT_TRUE(scheduler.Init());
  const base::FilePath gone = temp_.GetPath().Append(u"gone.exe");
  const std::u16string orphan = Suffix(u"Orphan");
  const std::u16string live = Suffix(u"Live");
  const std::u16string disabled = Suffix(u"Disabled");
  ASSERT_TRUE(scheduler.Register(Spec(orphan, gone, kScheduleDaily)));
  ASSERT_TRUE(scheduler.Register(Spec(live, launcher_, kScheduleDaily)));
  ASSERT_TRUE(scheduler.Register(Spec(disabled, gone, kScheduleDaily)));
  scheduler.SetEnabled(disabled, false);
  // Another product's task, whose program is gone as well.
  const std::u16string foreign = Suffix(u"Foreign");
  {
    test::ScopedBrandingValue other_product("product_name", "Velnatest");
    ASSERT_TRUE(scheduler.Register(Spec(foreign, gone, kScheduleDaily)));
  }

  scheduler.DeleteStaleTasks();
  EXPECT_EQ(kTaskNotFound, scheduler.GetState(orphan));
  EXPECT_EQ(kTaskReady, scheduler.GetState(live));
  EXPECT_NE(kTaskNotFound, scheduler.GetState(disabled));
  test::ScopedBrandingValue other_product("product_name", "Velnatest");
  EXPECT_NE(kTaskNotFound, scheduler.GetState(foreign));
  scheduler.Delete(foreign);
}

TEST_F(TaskSchedulerV1Test, RunOnceRunsAtOnce) {
  TaskSchedulerV1 scheduler;
  ASSERT_TRUE(scheduler.Init());
  const std::u16string suffix = Suffix(u"Once");
  ASSERT_TRUE(scheduler.Register(Spec(suffix, launcher_, kScheduleRunOnce)));
  TASK_TRIGGER trigger = {};
  DWORD flags = 0;
  if (ReadJob(suffix, &trigger, &flags)) {
    EXPECT_EQ(TASK_TIME_TRIGGER_ONCE, trigger.TriggerType);
    EXPECT_TRUE(flags & TASK_FLAG_DELETE_WHEN_DONE);
  }
}

// Runs the integration child; its exit code, or -1 when it cannot start.
int RunChild(const std::u16string& arguments) {
  std::string output;
  DWORD exit_code = 0;
  if (!base::RunChildProcess(
          u"\"" + test::GetIntegrationChildPath().value() + u"\" " + arguments,
          {}, &output, &exit_code)) {
    return -1;
  }
  return static_cast<int>(exit_code);
}

using AutoupdateTaskTest = ScheduledTaskTest;

TEST_F(AutoupdateTaskTest, RegisteredByOneProcessRemovedByTheUninstaller) {
  const struct {
    int version;
    const char16_t* options;
  } kCases[] = {
      {base::win::kVersionVista,
       u"--not-administrator --no-autoupdate-schedule"},
      {base::win::kVersionXP, u""},
      {base::win::kVersionXP, u"--system-task"},
  };
  for (const auto& test_case : kCases) {
    SCOPED_TRACE(testing::Message() << test_case.version << " "
                                    << base::UTF16ToUTF8(test_case.options));
    const std::u16string id = u"App-" + id_;
    suffixes_.push_back(u"Autoupdate " + id);
    const std::u16string version = u" --task-version=" +
                                   base::IntToString16(test_case.version) +
                                   u" --task-suffix=" + id;
    ASSERT_EQ(0, RunChild(u"--register-task --install-folder=\"" +
                          temp_.GetPath().value() + u"\" " + test_case.options +
                          version));
    std::unique_ptr<TaskScheduler> scheduler =
        TaskScheduler::CreateForWindowsVersion(test_case.version);
    ASSERT_TRUE(scheduler->Init());
    EXPECT_NE(kTaskNotFound, scheduler->GetState(u"Autoupdate " + id));

    ASSERT_EQ(0, RunChild(u"--uninstall-task" + version));
    EXPECT_EQ(kTaskNotFound, scheduler->GetState(u"Autoupdate " + id));
  }
}

TEST_F(AutoupdateTaskTest, RefusedAdministratorRegistrationLeavesNoTask) {
  const std::u16string id = u"Admin-" + id_;
  suffixes_.push_back(u"Autoupdate " + id);
  EXPECT_EQ(3, RunChild(u"--register-task --install-folder=\"" +
                        temp_.GetPath().value() +
                        u"\" --task-version=3 --task-suffix=" + id));
  TaskSchedulerV2 scheduler;
  ASSERT_TRUE(scheduler.Init());
  EXPECT_EQ(kTaskNotFound, scheduler.GetState(u"Autoupdate " + id));
}

}  // namespace
}  // namespace installer
