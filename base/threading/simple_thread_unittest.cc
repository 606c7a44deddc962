#include "base/threading/simple_thread.h"

#include <atomic>
#include <string>

#include "base/synchronization/waitable_event.h"
#include "base/threading/thread_name_registry.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using ResetPolicy = WaitableEvent::ResetPolicy;
using InitialState = WaitableEvent::InitialState;

class WaitingThread : public SimpleThread {
 public:
  using SimpleThread::SimpleThread;

  void Run() override {
    id_in_run_ = PlatformThread::CurrentId();
    name_in_run_ = PlatformThread::GetName();
    running_.Signal();
    finish_.Wait();
  }

  std::atomic<PlatformThreadId> id_in_run_{kInvalidThreadId};
  std::string name_in_run_;
  WaitableEvent running_{ResetPolicy::kManual, InitialState::kNotSignaled};
  WaitableEvent finish_{ResetPolicy::kManual, InitialState::kNotSignaled};
};

TEST(SimpleThreadTest, StartReturnsWithTheIdAndName) {
  WaitingThread thread("Worker7");
  EXPECT_EQ("Worker7", thread.name());
  EXPECT_EQ(kInvalidThreadId, thread.tid());
  ASSERT_TRUE(thread.Start());
  // Known before Run has even been reached.
  PlatformThreadId id = thread.tid();
  EXPECT_NE(kInvalidThreadId, id);
  EXPECT_EQ("Worker7/" + std::to_string(id), thread.name());
  EXPECT_STREQ(thread.name().c_str(),
               ThreadNameRegistry::GetInstance()->GetName(id));

  thread.running_.Wait();
  EXPECT_EQ(id, thread.id_in_run_.load());
  EXPECT_EQ(thread.name(), thread.name_in_run_);
  thread.finish_.Signal();
  thread.Join();
  EXPECT_TRUE(thread.HasBeenJoined());
}

// Signals as the last thing it does, so the test may then destroy it.
class SignalingThread : public SimpleThread {
 public:
  using SimpleThread::SimpleThread;
  void Run() override { done_.Signal(); }
  WaitableEvent done_{ResetPolicy::kManual, InitialState::kNotSignaled};
};

TEST(SimpleThreadTest, NonJoinableThreadRuns) {
  SimpleThread::Options options;
  options.joinable = false;
  SignalingThread thread("Detached", options);
  ASSERT_TRUE(thread.Start());
  EXPECT_NE(kInvalidThreadId, thread.tid());
  thread.done_.Wait();
}

TEST(SimpleThreadTest, FailedStartDoesNotWait) {
  SimpleThread::Options options;
  options.stack_size = size_t{1} << 62;
  WaitingThread thread("Impossible", options);
  EXPECT_FALSE(thread.Start());
  EXPECT_FALSE(thread.HasBeenStarted());
  EXPECT_EQ(kInvalidThreadId, thread.tid());
}

}  // namespace
}  // namespace base
