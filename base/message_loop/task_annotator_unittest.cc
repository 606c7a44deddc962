#include "base/message_loop/task_annotator.h"

#include <string>

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/threading/platform_thread.h"
#include "base/trace_event/heap_profiler_allocation_context_tracker.h"
#include "base/trace_event/test/parsed_trace.h"
#include "base/trace_event/trace_log.h"
#include "base/tracked_objects.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using trace_event::AllocationContextTracker;

// With task tracking off a task has no tracked post time; the flow's
// queue duration must still be the wait in the queue, not the uptime.
TEST(TaskAnnotatorTest, QueueDurationWithoutTaskTracking) {
  ASSERT_TRUE(tracked_objects::ThreadData::Now().is_null());
  MessageLoop loop;
  trace_event::TraceConfig config;
  std::string error;
  ASSERT_TRUE(trace_event::TraceConfig::ParseCategoryFilter(
      "disabled-by-default-toplevel.flow", &config, &error));
  trace_event::TraceLog* log = trace_event::TraceLog::GetInstance();
  const TimeTicks start = TimeTicks::Now();
  log->SetEnabled(config, trace_event::kTraceOptionRecordUntilFull);
  RunLoop run_loop;
  loop.task_runner()->PostTask(CURRENT_LOCATION, run_loop.QuitClosure());
  PlatformThread::Sleep(TimeDelta::FromMilliseconds(30));
  run_loop.Run();
  std::string json = log->FlushAsJSON(TimeDelta::FromSeconds(10));
  const int64_t elapsed_ms = (TimeTicks::Now() - start).InMilliseconds();

  trace_event::ParsedTrace trace;
  ASSERT_TRUE(trace.Parse(json, &error)) << error;
  auto ends = trace.Find("MessageLoop::PostTask", "f");
  ASSERT_EQ(ends.size(), 1u) << json;
  int queue_ms = -1;
  ASSERT_TRUE(ends[0]->args &&
              ends[0]->args->GetInteger("queue_duration", &queue_ms));
  EXPECT_GE(queue_ms, 25);
  EXPECT_LE(queue_ms, elapsed_ms);
}

// While heap profiling captures, a running task's context is the file it
// was posted from, and only while it runs.
TEST(TaskAnnotatorTest, TaskContextWhileCapturing) {
  AllocationContextTracker::SetCaptureMode();
  MessageLoop loop;
  RunLoop run_loop;
  std::string seen;
  size_t depth_inside = 0;
  loop.task_runner()->PostTask(
      CURRENT_LOCATION,
      Bind(
          [](std::string* seen, size_t* depth, RunLoop* run_loop) {
            AllocationContextTracker* tracker =
                AllocationContextTracker::GetForCurrentThread();
            *depth = tracker->task_contexts().size();
            if (*depth) *seen = tracker->task_contexts().back();
            run_loop->Quit();
          },
          &seen, &depth_inside, &run_loop));
  run_loop.Run();
  EXPECT_EQ(depth_inside, 1u);
  EXPECT_NE(seen.find("task_annotator_unittest.cc"), std::string::npos) << seen;
  EXPECT_TRUE(
      AllocationContextTracker::GetForCurrentThread()->task_contexts().empty());
}

}  // namespace
}  // namespace base
