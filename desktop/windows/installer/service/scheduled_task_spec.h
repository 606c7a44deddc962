// ScheduledTaskSpec: one scheduled task as the installer asks for it (the
// browser's autoupdate task), and the naming rules of the product's tasks.
// Portable: the schedulers that register a spec are in task_scheduler.h.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_SCHEDULED_TASK_SPEC_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_SCHEDULED_TASK_SPEC_H_

#include <stdint.h>

#include <string>

#include "base/command_line.h"
#include "base/strings/string_piece.h"
#include "base/time/time.h"

namespace installer {

// Between the product name and the name suffix of every product task.
inline constexpr char16_t kTaskNameInfix[] = u" scheduled ";

enum ScheduleKind : uint32_t {
  kScheduleRunOnce = 0,
  kScheduleDaily = 1,
  kScheduleNoTimeTrigger = 2,
};

enum TaskState : uint32_t {
  kTaskNotFound = 0,
  kTaskDisabled = 1,
  kTaskStateOther = 2,
  kTaskReady = 3,
  kTaskRunning = 4,
  kTaskNoMoreRuns = 5,
};

// Filled by the caller, read by TaskScheduler::Register.
struct ScheduledTaskSpec {
  // Everything else empty, zero or false; the caller sets every field.
  explicit ScheduledTaskSpec(const base::CommandLine& command_line);
  ~ScheduledTaskSpec();

  // The program to start with its switches and arguments.
  base::CommandLine command_line;
  // The task's name is BuildTaskName(name_suffix).
  std::u16string name_suffix;
  std::u16string description;
  // Run as the local system account for every user; else as the user who
  // registers it.
  bool system_task = false;
  // The longest run; 0 means no limit.
  uint32_t time_limit_seconds = 0;
  ScheduleKind schedule_kind = kScheduleRunOnce;
  // Also start at logon (a per-user task) or at system start (a system
  // task); never for a task that runs once.
  bool logon_trigger = false;
  // Start only with a network connection (Task Scheduler 2.0 only).
  bool network_only = false;
};

// The product name (widened from UTF-8), kTaskNameInfix and |suffix|.
std::u16string BuildTaskName(const std::u16string& suffix);

// Whether |name| is one of the product's tasks: it begins with the product
// name and kTaskNameInfix, ignoring the case of ASCII letters.
bool IsProductTaskName(base::StringPiece16 name);

// |name| without a trailing ".job" (any case): Task Scheduler 1.0 lists its
// work items by file name but takes them by task name.
std::u16string StripJobSuffix(const std::u16string& name);

// "PT" + |seconds| + "S", the 2.0 form of a duration ("PT0S": no limit).
std::u16string FormatTaskDuration(uint32_t seconds);

// |time| in local time as "yyyy-mm-ddThh:mm:ss", without a time zone: the
// 2.0 form of a trigger boundary.
std::u16string FormatTaskBoundary(base::Time time);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_SCHEDULED_TASK_SPEC_H_
