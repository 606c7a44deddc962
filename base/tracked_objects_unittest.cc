#include "base/tracked_objects.h"

#include <string>
#include <thread>

#include "base/command_line.h"
#include "base/location.h"
#include "gtest/gtest.h"

namespace tracked_objects {
namespace {

TEST(TrackedObjectsTest, TimingSwitch) {
  struct Case {
    std::u16string value;
    bool has_switch;
    bool enabled;
  } cases[] = {
      {u"", false, true}, {u"0", true, false}, {u"1", true, true},
      {u"", true, true},  {u"00", true, true},
  };
  for (const Case& c : cases) {
    base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
    if (c.has_switch)
      command_line.AppendSwitchNative(kProfilerTimingSwitch, c.value);
    EXPECT_EQ(ThreadData::IsProfilerTimingEnabledFor(command_line), c.enabled);
  }
}

TEST(TrackedObjectsTest, NothingIsTalliedBeforeAThreadIsNamed) {
  // Each test runs in a process of its own: nothing has named a thread.
  ASSERT_FALSE(ThreadData::TrackingStatus());
  EXPECT_EQ(ThreadData::TallyABirthIfActive(CURRENT_LOCATION), nullptr);
  EXPECT_TRUE(ThreadData::Now().is_null());
  EXPECT_EQ(ThreadData::Get(), nullptr);
  TaskStopwatch stopwatch;
  stopwatch.Start();
  stopwatch.Stop();
  EXPECT_TRUE(stopwatch.StartTime().is_null());
  EXPECT_EQ(stopwatch.GetThreadData(), nullptr);
}

TEST(TrackedObjectsTest, BirthsAndDeathsPerLocation) {
  ThreadData::InitializeThreadContext("TrackedObjectsTest main");
  ASSERT_TRUE(ThreadData::TrackingStatus());
  ThreadData* data = ThreadData::Get();
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->thread_name(), "TrackedObjectsTest main");
  EXPECT_EQ(data->worker_thread_number(), 0);

  const base::Location here = CURRENT_LOCATION;
  const Births* births = nullptr;
  for (int i = 0; i < 3; ++i) births = ThreadData::TallyABirthIfActive(here);
  ASSERT_NE(births, nullptr);
  EXPECT_EQ(births->birth_count(), 3);
  EXPECT_EQ(data->FindBirths(here), births);

  for (int i = 0; i < 2; ++i) {
    TaskStopwatch stopwatch;
    stopwatch.Start();
    stopwatch.Stop();
    ThreadData::TallyADeathIfActive(births, stopwatch.StartTime(), stopwatch);
  }
  const DeathData* deaths = data->FindDeathData(births);
  ASSERT_NE(deaths, nullptr);
  EXPECT_EQ(deaths->count(), 2);
  EXPECT_EQ(deaths->queue_duration_sum(), 0);
  EXPECT_GE(deaths->run_duration_sum(), 0);
}

TEST(TrackedObjectsTest, NestedStopwatchIsNotChargedToItsParent) {
  ThreadData::InitializeThreadContext("TrackedObjectsTest nesting");
  TaskStopwatch outer;
  outer.Start();
  TaskStopwatch inner;
  inner.Start();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  inner.Stop();
  outer.Stop();
  EXPECT_GE(inner.RunDurationMs(), 95);
  // The parent ran only for the bits around the inner one: charged with the
  // inner one it would have run longer than that. A loaded machine may stop
  // the thread for some milliseconds in those bits, not for the inner
  // one's sleep.
  EXPECT_LT(outer.RunDurationMs(), inner.RunDurationMs());
  EXPECT_GE(outer.RunDurationMs(), 0);
}

TEST(TrackedObjectsTest, UnnamedWorkersAreNumberedAndReused) {
  ThreadData::InitializeThreadContext("TrackedObjectsTest workers");
  ThreadData* first = nullptr;
  std::thread([&first] { first = ThreadData::Get(); }).join();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->thread_name(), "WorkerThread-1");
  EXPECT_EQ(first->worker_thread_number(), 1);

  // The worker has ended: the next unnamed thread takes over its record.
  ThreadData* second = nullptr;
  std::thread([&second] { second = ThreadData::Get(); }).join();
  EXPECT_EQ(second, first);
}

TEST(TrackedObjectsTest, SampleCountsSaturate) {
  DeathData data;
  data.RecordDeath(5, 7, 0);
  EXPECT_EQ(data.count(), 1);
  EXPECT_EQ(data.queue_duration_sample(), 5);
  EXPECT_EQ(data.run_duration_sample(), 7);
  // A random number that is no multiple of the count keeps the sample.
  data.RecordDeath(50, 70, 1);
  EXPECT_EQ(data.count(), 2);
  EXPECT_EQ(data.queue_duration_sample(), 5);
  EXPECT_EQ(data.run_duration_max(), 70);
  EXPECT_EQ(data.queue_duration_sum(), 55);
}

}  // namespace
}  // namespace tracked_objects
