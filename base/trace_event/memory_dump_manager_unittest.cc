#include "base/trace_event/memory_dump_manager.h"

#include <memory>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/timer/timer.h"
#include "base/trace_event/trace_log.h"
#include "gtest/gtest.h"

namespace base {
namespace trace_event {
namespace {

using Level = MemoryDumpLevelOfDetail;
using Trigger = TraceConfig::MemoryDumpConfig::Trigger;

class CountingProvider : public MemoryDumpProvider {
 public:
  bool OnMemoryDump(const MemoryDumpArgs&, ProcessMemoryDump*) override {
    return true;
  }
  void OnHeapProfilingEnabled(bool enabled) override { ++heap_profiling_told; }
  int heap_profiling_told = 0;
};

// Records every request and completes it at once.
class RecordingDelegate : public MemoryDumpManager::Delegate {
 public:
  void RequestGlobalMemoryDump(
      const MemoryDumpRequestArgs& args,
      const GlobalMemoryDumpCallback& callback) override {
    requests.push_back(args);
    callback.Run(args.dump_guid, true);
  }
  std::vector<MemoryDumpRequestArgs> requests;
};

TraceConfig MemoryInfraConfig(std::vector<Trigger> triggers) {
  TraceConfig config;
  std::string error;
  EXPECT_TRUE(TraceConfig::ParseCategoryFilter(
      MemoryDumpManager::kTraceCategory, &config, &error));
  for (int level : {0, 1, 2})
    config.memory_dump_config().allowed_dump_modes.insert(level);
  config.memory_dump_config().triggers = std::move(triggers);
  return config;
}

TEST(MemoryDumpManagerTest, ProviderRegistrationAndWhitelist) {
  MemoryDumpManager* manager = MemoryDumpManager::GetInstance();
  // The trace log registers itself while it is built.
  EXPECT_TRUE(manager->IsDumpProviderRegistered(TraceLog::GetInstance()));
  EXPECT_TRUE(TraceLog::GetInstance()->HasEnabledStateObserver(manager));

  CountingProvider malloc_like, lower_case, never;
  manager->RegisterDumpProvider(&malloc_like, "Malloc", nullptr, {});
  manager->RegisterDumpProvider(&lower_case, "malloc", nullptr, {});
  EXPECT_TRUE(manager->IsDumpProviderWhitelisted(&malloc_like));
  EXPECT_FALSE(manager->IsDumpProviderWhitelisted(&lower_case));
  manager->UnregisterDumpProvider(&never);  // not registered: nothing
  manager->UnregisterDumpProvider(&malloc_like);
  manager->UnregisterDumpProvider(&lower_case);
  EXPECT_FALSE(manager->IsDumpProviderRegistered(&malloc_like));
  EXPECT_EQ(malloc_like.heap_profiling_told, 0);
}

TEST(MemoryDumpManagerTest, PeriodicLevels) {
  const struct {
    std::vector<Trigger> triggers;
    std::vector<Level> expected;
  } kCases[] = {
      {{{250, 1}, {2000, 2}},
       {Level::DETAILED, Level::LIGHT, Level::LIGHT, Level::LIGHT, Level::LIGHT,
        Level::LIGHT, Level::LIGHT, Level::LIGHT, Level::DETAILED,
        Level::LIGHT}},
      // No light trigger: background except every heavy-rate-th.
      {{{100, 0}, {300, 2}},
       {Level::DETAILED, Level::BACKGROUND, Level::BACKGROUND, Level::DETAILED,
        Level::BACKGROUND}},
  };
  for (const auto& test : kCases) {
    PeriodicDumpSchedule schedule;
    ASSERT_TRUE(schedule.Start(test.triggers));
    EXPECT_EQ(schedule.period_ms(), test.triggers[0].periodic_interval_ms);
    for (size_t i = 0; i < test.expected.size(); ++i)
      EXPECT_EQ(schedule.NextLevel(), test.expected[i]) << i;
  }
  PeriodicDumpSchedule none;
  EXPECT_FALSE(none.Start({}));
}

TEST(MemoryDumpManagerTest, RequestsOutsideTracingFail) {
  MemoryDumpManager* manager = MemoryDumpManager::GetInstance();
  RecordingDelegate delegate;
  manager->Initialize(&delegate, false);
  uint64_t reported_guid = 99;
  bool reported_success = true;
  manager->RequestGlobalDump(
      Level::DETAILED, Bind(
                           [](uint64_t* guid, bool* success, uint64_t dump_guid,
                              bool dump_success) {
                             *guid = dump_guid;
                             *success = dump_success;
                           },
                           &reported_guid, &reported_success));
  EXPECT_EQ(reported_guid, 0u);
  EXPECT_FALSE(reported_success);
  EXPECT_TRUE(delegate.requests.empty());
  manager->Initialize(nullptr, false);
}

TEST(MemoryDumpManagerTest, TracingRunsTheThreadAndTheTimer) {
  MessageLoop loop;
  MemoryDumpManager* manager = MemoryDumpManager::GetInstance();
  RecordingDelegate delegate;
  manager->Initialize(&delegate, true);
  TraceLog* log = TraceLog::GetInstance();

  log->SetEnabled(MemoryInfraConfig({{1, 1}, {4, 2}}),
                  kTraceOptionRecordUntilFull);
  EXPECT_TRUE(manager->IsDumpThreadRunningForTesting());
  EXPECT_TRUE(manager->IsPeriodicDumpTimerRunningForTesting());
  // Periodic requests: detailed, light, light, light, detailed, ...
  RunLoop run_loop;
  RepeatingTimer watcher;
  watcher.Start(CURRENT_LOCATION, TimeDelta::FromMilliseconds(2),
                Bind(
                    [](RecordingDelegate* delegate, RunLoop* run_loop) {
                      if (delegate->requests.size() >= 5) run_loop->Quit();
                    },
                    &delegate, &run_loop));
  run_loop.Run();
  watcher.Stop();
  ASSERT_GE(delegate.requests.size(), 5u);
  const Level expected[] = {Level::DETAILED, Level::LIGHT, Level::LIGHT,
                            Level::LIGHT, Level::DETAILED};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(delegate.requests[i].level_of_detail, expected[i]) << i;
    EXPECT_EQ(delegate.requests[i].dump_type,
              MemoryDumpType::PERIODIC_INTERVAL);
  }
  // Ids: the process hash XOR a sequence that rises by one.
  EXPECT_EQ(delegate.requests[0].dump_guid ^ delegate.requests[1].dump_guid,
            (delegate.requests[0].dump_guid ^ log->process_id_hash()) ^
                (delegate.requests[1].dump_guid ^ log->process_id_hash()));
  EXPECT_EQ((delegate.requests[1].dump_guid ^ log->process_id_hash()) -
                (delegate.requests[0].dump_guid ^ log->process_id_hash()),
            1u);

  std::string json = log->FlushAsJSON(TimeDelta::FromSeconds(10));
  EXPECT_FALSE(manager->IsDumpThreadRunningForTesting());
  EXPECT_FALSE(manager->IsPeriodicDumpTimerRunningForTesting());
  EXPECT_EQ(manager->GetTracingStateForTesting(), nullptr);
  // Each request is bracketed by its begin and end events.
  EXPECT_NE(json.find("\"name\":\"GlobalMemoryDump\""), std::string::npos);
  EXPECT_NE(json.find("\"ph\":\"b\""), std::string::npos);
  EXPECT_NE(json.find("\"success\":true"), std::string::npos) << json;
  manager->Initialize(nullptr, false);
}

}  // namespace
}  // namespace trace_event
}  // namespace base
