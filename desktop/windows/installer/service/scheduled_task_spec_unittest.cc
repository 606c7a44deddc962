#include "desktop/windows/installer/service/scheduled_task_spec.h"

#include <string>

#include "base/strings/utf_string_conversions.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(ScheduledTaskSpecTest, StartsEmpty) {
  base::CommandLine command_line(base::FilePath(u"C:\\v\\launcher.exe"));
  command_line.AppendSwitch("scheduledautoupdate");
  ScheduledTaskSpec spec(command_line);
  EXPECT_EQ(command_line.GetCommandLineString(),
            spec.command_line.GetCommandLineString());
  EXPECT_TRUE(spec.name_suffix.empty());
  EXPECT_TRUE(spec.description.empty());
  EXPECT_FALSE(spec.system_task);
  EXPECT_EQ(0u, spec.time_limit_seconds);
  EXPECT_EQ(kScheduleRunOnce, spec.schedule_kind);
  EXPECT_FALSE(spec.logon_trigger);
  EXPECT_FALSE(spec.network_only);
}

TEST(ScheduledTaskSpecTest, ProductTaskNames) {
  EXPECT_EQ(u"Velna scheduled Autoupdate 1234",
            BuildTaskName(u"Autoupdate 1234"));
  const struct {
    const char* name;
    bool ours;
  } kCases[] = {
      {"Velna scheduled Autoupdate 1234", true},
      {"velna SCHEDULED autoupdate", true},
      {"Velna scheduled ", true},
      // What the sweep used to look for, and near misses.
      {" scheduled Autoupdate 1234", false},
      {"Velna scheduled", false},
      {"Velnax scheduled Autoupdate", false},
      {"Other Velna scheduled Autoupdate", false},
      {"Velna  scheduled Autoupdate", false},
      // Only ASCII letters fold.
      {"Vel\xc5\x84"
       "a scheduled x",
       false},
      {"", false},
  };
  for (const auto& test_case : kCases) {
    SCOPED_TRACE(test_case.name);
    EXPECT_EQ(test_case.ours,
              IsProductTaskName(base::UTF8ToUTF16(test_case.name)));
  }
}

TEST(ScheduledTaskSpecTest, JobFileNamesBecomeTaskNames) {
  const struct {
    const char16_t* listed;
    const char16_t* task;
  } kCases[] = {
      {u"Velna scheduled Autoupdate 1.job", u"Velna scheduled Autoupdate 1"},
      {u"Velna scheduled x.JOB", u"Velna scheduled x"},
      {u"Velna scheduled x", u"Velna scheduled x"},
      {u"x.jobs", u"x.jobs"},
      {u".job", u""},
      {u"job", u"job"},
  };
  for (const auto& test_case : kCases)
    EXPECT_EQ(test_case.task, StripJobSuffix(test_case.listed));
}

TEST(ScheduledTaskSpecTest, DurationsAndBoundaries) {
  EXPECT_EQ(u"PT3600S", FormatTaskDuration(3600));
  EXPECT_EQ(u"PT0S", FormatTaskDuration(0));
  EXPECT_EQ(u"PT4294967295S", FormatTaskDuration(0xFFFFFFFF));

  const struct {
    base::Time::Exploded local;
    const char16_t* boundary;
  } kCases[] = {
      {{2016, 10, 0, 12, 17, 0, 1, 0}, u"2016-10-12T17:00:01"},
      {{2021, 3, 0, 4, 5, 6, 7, 0}, u"2021-03-04T05:06:07"},
      {{2020, 12, 0, 31, 23, 59, 59, 0}, u"2020-12-31T23:59:59"},
  };
  for (const auto& test_case : kCases) {
    base::Time time;
    ASSERT_TRUE(base::Time::FromExploded(test_case.local, &time));
    EXPECT_EQ(test_case.boundary, FormatTaskBoundary(time));
  }
}

}  // namespace
}  // namespace installer
