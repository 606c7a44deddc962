#include "base/threading/platform_thread.h"

#include <atomic>
#include <string>
#include <vector>

#include "base/synchronization/waitable_event.h"
#include "base/threading/thread_name_registry.h"
#include "base/time/time_override.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using ResetPolicy = WaitableEvent::ResetPolicy;
using InitialState = WaitableEvent::InitialState;

class RecordingDelegate : public PlatformThread::Delegate {
 public:
  void ThreadMain() override {
    id_ = PlatformThread::CurrentId();
    ran_.Signal();
  }

  WaitableEvent& ran() { return ran_; }
  PlatformThreadId id() const { return id_; }

 private:
  WaitableEvent ran_{ResetPolicy::kManual, InitialState::kNotSignaled};
  std::atomic<PlatformThreadId> id_{kInvalidThreadId};
};

TEST(PlatformThreadTest, JoinableThreadRunsItsDelegate) {
  RecordingDelegate delegate;
  PlatformThreadHandle handle{};
  ASSERT_TRUE(PlatformThread::Create(0, &delegate, &handle));
  PlatformThread::Join(handle);
  EXPECT_TRUE(delegate.ran().IsSignaled());
  EXPECT_NE(kInvalidThreadId, delegate.id());
  EXPECT_NE(PlatformThread::CurrentId(), delegate.id());
}

TEST(PlatformThreadTest, NonJoinableThreadRuns) {
  RecordingDelegate delegate;
  ASSERT_TRUE(PlatformThread::CreateNonJoinable(0, &delegate));
  // Signalling is the delegate's last act, so it may go once signalled.
  EXPECT_TRUE(delegate.ran().TimedWait(TimeDelta::FromSeconds(30)));
}

TEST(PlatformThreadTest, CreationFailureReportsFalseAndRunsNothing) {
  RecordingDelegate delegate;
  PlatformThreadHandle handle{};
  // No system reserves this much stack.
  const size_t kImpossibleStack = size_t{1} << 62;
  EXPECT_FALSE(PlatformThread::Create(kImpossibleStack, &delegate, &handle));
  EXPECT_FALSE(PlatformThread::CreateNonJoinable(kImpossibleStack, &delegate));
  EXPECT_FALSE(delegate.ran().TimedWait(TimeDelta::FromMilliseconds(50)));
}

// Names itself, reports, then waits until told to end.
class NamingDelegate : public PlatformThread::Delegate {
 public:
  explicit NamingDelegate(std::string name) : name_(std::move(name)) {}

  void ThreadMain() override {
    id_ = PlatformThread::CurrentId();
    PlatformThread::SetName(name_);
    own_name_ = PlatformThread::GetName();
    named_.Signal();
    finish_.Wait();
  }

  std::string name_;
  std::atomic<PlatformThreadId> id_{kInvalidThreadId};
  std::string own_name_;
  WaitableEvent named_{ResetPolicy::kManual, InitialState::kNotSignaled};
  WaitableEvent finish_{ResetPolicy::kManual, InitialState::kNotSignaled};
};

TEST(PlatformThreadTest, NamesAreVisibleInTheRegistryWhileTheThreadRuns) {
  NamingDelegate delegate("PlatformThreadTest worker");
  PlatformThreadHandle handle{};
  ASSERT_TRUE(PlatformThread::Create(0, &delegate, &handle));
  delegate.named_.Wait();
  EXPECT_EQ("PlatformThreadTest worker", delegate.own_name_);
  ThreadNameRegistry* registry = ThreadNameRegistry::GetInstance();
  EXPECT_STREQ("PlatformThreadTest worker", registry->GetName(delegate.id_));
  // The main thread keeps its own name.
  EXPECT_STRNE("PlatformThreadTest worker",
               registry->GetName(PlatformThread::CurrentId()));
  delegate.finish_.Signal();
  PlatformThread::Join(handle);
  // Unregistered when its delegate returned.
  EXPECT_STREQ("", registry->GetName(delegate.id_));
}

std::vector<std::string> g_tracked_names;
void RecordTrackedName(const std::string& name) {
  g_tracked_names.push_back(name);
}

TEST(PlatformThreadTest, TaskTrackingHearsEveryNameButBrokerEvent) {
  g_tracked_names.clear();
  PlatformThread::SetTaskTrackingNameObserver(&RecordTrackedName);
  for (const char* name : {"BrokerEvent", "Worker", "BrokerEvents"}) {
    NamingDelegate delegate(name);
    PlatformThreadHandle handle{};
    ASSERT_TRUE(PlatformThread::Create(0, &delegate, &handle));
    delegate.named_.Wait();
    delegate.finish_.Signal();
    PlatformThread::Join(handle);
  }
  PlatformThread::SetTaskTrackingNameObserver(nullptr);
  EXPECT_EQ((std::vector<std::string>{"Worker", "BrokerEvents"}),
            g_tracked_names);
}

// A clock that only the fake sleep moves, waking |g_early_wake| early.
TimeTicks g_now;
int64_t g_early_wake_us = 0;
std::vector<uint32_t> g_sleep_requests;
TimeTicks FakeNow() { return g_now; }
void FakeSleep(uint32_t milliseconds) {
  g_sleep_requests.push_back(milliseconds);
  g_now += TimeDelta::FromMilliseconds(milliseconds) -
           TimeDelta::FromMicroseconds(g_early_wake_us);
}

TEST(PlatformThreadTest, SleepRoundsUpAndNeverEndsEarly) {
  subtle::ScopedTimeClockOverrides overrides(nullptr, &FakeNow);
  internal::SetSystemSleepFunctionForTesting(&FakeSleep);
  struct Case {
    int64_t microseconds;
    int64_t early_wake_us;
    std::vector<uint32_t> requests;
  } cases[] = {
      {1500, 0, {2}},
      // The system wakes 600 us early: the rest is slept again.
      {1500, 600, {2, 1}},
      {1000, 0, {1}},
      {1, 0, {1}},
      {0, 0, {}},
      {-5000, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.microseconds);
    g_now = TimeTicks::FromInternalValue(1000000);
    g_early_wake_us = c.early_wake_us;
    g_sleep_requests.clear();
    TimeTicks start = g_now;
    PlatformThread::Sleep(TimeDelta::FromMicroseconds(c.microseconds));
    EXPECT_EQ(c.requests, g_sleep_requests);
    EXPECT_GE(g_now - start, TimeDelta::FromMicroseconds(c.microseconds));
  }
  internal::SetSystemSleepFunctionForTesting(nullptr);
}

TEST(PlatformThreadTest, RealSleepLastsAtLeastTheSpan) {
  TimeTicks start = TimeTicks::Now();
  PlatformThread::Sleep(TimeDelta::FromMilliseconds(15));
  EXPECT_GE(TimeTicks::Now() - start, TimeDelta::FromMilliseconds(15));
}

}  // namespace
}  // namespace base
