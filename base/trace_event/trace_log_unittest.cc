#include "base/trace_event/trace_log.h"

#include <string.h>

#include <string>
#include <thread>
#include <vector>

#include "base/trace_event/trace_event.h"
#include "gtest/gtest.h"

namespace base {
namespace trace_event {
namespace {

TEST(TraceLogTest, CategoryGroupsAreRegisteredOnce) {
  TraceLog* log = TraceLog::GetInstance();
  ASSERT_EQ(log, TraceLog::GetInstance());
  const unsigned char* toplevel = log->GetCategoryGroupEnabled("toplevel");
  EXPECT_STREQ(log->GetCategoryGroupName(toplevel), "toplevel");
  const unsigned char* flow =
      log->GetCategoryGroupEnabled("disabled-by-default-toplevel.flow");
  EXPECT_NE(flow, toplevel);
  EXPECT_EQ(flow,
            log->GetCategoryGroupEnabled("disabled-by-default-toplevel.flow"));
  EXPECT_STREQ(log->GetCategoryGroupName(flow),
               "disabled-by-default-toplevel.flow");
  // Nothing switches recording on: every byte reads "off".
  EXPECT_FALSE(IsCategoryEnabled(toplevel));
  EXPECT_FALSE(IsCategoryEnabled(flow));
}

TEST(TraceLogTest, ConcurrentLookupsAgree) {
  constexpr int kThreads = 8;
  std::vector<const unsigned char*> found(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&found, i] {
      found[i] = TraceCategoryState("TraceLogTest.concurrent");
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const unsigned char* state : found) EXPECT_EQ(state, found[0]);
}

TEST(TraceLogTest, ExhaustedRegistryFallsBackToOneGroup) {
  TraceLog* log = TraceLog::GetInstance();
  const unsigned char* last = nullptr;
  for (int i = 0; i < TraceLog::kMaxCategoryGroups + 5; ++i) {
    std::string name = "TraceLogTest.many." + std::to_string(i);
    last = log->GetCategoryGroupEnabled(name.c_str());
    ASSERT_NE(last, nullptr);
  }
  EXPECT_EQ(strncmp(log->GetCategoryGroupName(last),
                    "tracing categories exhausted", 28),
            0);
  EXPECT_FALSE(IsCategoryEnabled(last));
}

TEST(TraceLogTest, DisabledTracePointsStoreNothing) {
  const unsigned char* state = TraceCategoryState("toplevel");
  {
    ScopedTraceEvent event(state, "TraceLogTest::Scope", "src_file", "a.cc",
                           "src_func", "Run");
    ScopedTraceEvent numbered(state, "TraceLogTest::Message", "message", 15);
  }
  AddFlowEvent(kPhaseFlowBegin, state, "TraceLogTest::Flow", 1ull << 32);
  TraceEventHandle handle =
      TraceLog::GetInstance()->AddTraceEventWithThreadIdAndTimestamp(
          kPhaseComplete, state, "x", nullptr, 0, 0, 0, TimeTicks(), 0, nullptr,
          nullptr, nullptr, nullptr, kFlagNone);
  EXPECT_TRUE(handle.is_null());
}

}  // namespace
}  // namespace trace_event
}  // namespace base
