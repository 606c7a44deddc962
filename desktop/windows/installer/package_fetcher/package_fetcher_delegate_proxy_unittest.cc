#include "desktop/windows/installer/package_fetcher/package_fetcher_delegate_proxy.h"

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/platform_thread.h"
#include "base/threading/thread.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// Forwards to the creator's loop and records where each post came from.
class RecordingTaskRunner : public base::SequencedTaskRunner {
 public:
  explicit RecordingTaskRunner(
      base::ScopedRefPtr<base::SequencedTaskRunner> target)
      : target_(std::move(target)) {}

  bool PostDelayedTask(const base::Location& from_here,
                       const base::Closure& task,
                       base::TimeDelta delay) override {
    {
      std::lock_guard<std::mutex> hold(lock_);
      locations_.push_back(from_here.function_name());
    }
    return target_->PostDelayedTask(from_here, task, delay);
  }
  bool PostNonNestableDelayedTask(const base::Location& from_here,
                                  const base::Closure& task,
                                  base::TimeDelta delay) override {
    return PostDelayedTask(from_here, task, delay);
  }
  bool RunsTasksOnCurrentThread() const override {
    return target_->RunsTasksOnCurrentThread();
  }

  std::vector<std::string> locations() {
    std::lock_guard<std::mutex> hold(lock_);
    return locations_;
  }

 private:
  ~RecordingTaskRunner() override = default;

  const base::ScopedRefPtr<base::SequencedTaskRunner> target_;
  std::mutex lock_;
  std::vector<std::string> locations_;
};

// Records the calls it gets, with the thread they came on.
class RecordingDelegate : public PackageFetcher::Delegate,
                          public UICallbackRunner {
 public:
  void SetTotalProgress(int total) override {
    Add("total " + std::to_string(total));
  }
  void SetCurrentProgress(int current) override {
    Add("current " + std::to_string(current));
  }
  void NotifyStalled() override { Add("stalled"); }
  void NotifyStatusChanged(FetcherStatus status) override {
    Add("status " + std::to_string(status));
  }
  void NotifyTrackingDataObtained(const std::string& data) override {
    Add("tracking " + data);
  }
  void RunUICallbackAndPostReply(
      const UICallback& callback,
      const base::ScopedRefPtr<base::TaskRunner>& reply_runner,
      const ReplyCallback& reply) override {
    Add("ui");
    reply_runner->PostTask(CURRENT_LOCATION,
                           base::Bind(reply, callback.Run(nullptr)));
  }

  std::vector<std::string> calls;
  std::vector<base::PlatformThreadId> threads;

 private:
  void Add(const std::string& call) {
    calls.push_back(call);
    threads.push_back(base::PlatformThread::CurrentId());
  }
};

class PackageFetcherDelegateProxyTest : public testing::Test {
 protected:
  void SetUp() override {
    creator_runner_ =
        base::MakeRefCounted<RecordingTaskRunner>(loop_.task_runner());
    proxy_ = base::MakeRefCounted<PackageFetcherDelegateProxy>(
        creator_runner_, &delegate_, &delegate_);
    ASSERT_TRUE(worker_.Start());
  }

  // Runs |task| on the worker thread and waits until it ran.
  void OnWorker(const base::Closure& task) {
    base::RunLoop run_loop;
    worker_.task_runner()->PostTaskAndReply(CURRENT_LOCATION, task,
                                            run_loop.QuitClosure());
    run_loop.Run();
  }

  base::MessageLoop loop_;
  base::Thread worker_{"Package fetcher worker"};
  RecordingDelegate delegate_;
  base::ScopedRefPtr<RecordingTaskRunner> creator_runner_;
  base::ScopedRefPtr<PackageFetcherDelegateProxy> proxy_;
};

TEST_F(PackageFetcherDelegateProxyTest, CallsArriveInOrderOnTheCreatorThread) {
  int reply = 0;
  int reply_calls = 0;
  base::ScopedRefPtr<base::SequencedTaskRunner> worker_runner =
      worker_.task_runner();
  OnWorker(base::Bind(
      [](PackageFetcherDelegateProxy* proxy,
         base::ScopedRefPtr<base::SequencedTaskRunner> reply_runner, int* reply,
         int* reply_calls) {
        proxy->NotifyStatusChanged(STARTED);
        proxy->SetTotalProgress(1000);
        proxy->SetCurrentProgress(10);
        proxy->NotifyStalled();
        proxy->NotifyTrackingDataObtained("partner=1");
        proxy->RunUICallbackAndPostReply(
            base::Bind([](HWND__* window) { return window ? 1 : 42; }),
            reply_runner,
            base::Bind(
                [](int* reply, int* calls, int value) {
                  *reply = value;
                  ++*calls;
                },
                reply, reply_calls));
        proxy->NotifyStatusChanged(PACKAGE_READY);
      },
      proxy_.get(), worker_runner, &reply, &reply_calls));
  base::RunLoop().RunUntilIdle();

  const std::vector<std::string> expected = {
      "status 0",           "total 1000", "current 10", "stalled",
      "tracking partner=1", "ui",         "status 6"};
  EXPECT_EQ(expected, delegate_.calls);
  for (base::PlatformThreadId thread : delegate_.threads)
    EXPECT_EQ(base::PlatformThread::CurrentId(), thread);
  const std::vector<std::string> locations = {
      "NotifyStatusChanged",        "SetTotalProgress",
      "SetCurrentProgress",         "NotifyStalled",
      "NotifyTrackingDataObtained", "RunUICallbackAndPostReply",
      "NotifyStatusChanged"};
  EXPECT_EQ(locations, creator_runner_->locations());

  // The reply went back to the worker's runner.
  OnWorker(base::Bind([] {}));
  EXPECT_EQ(1, reply_calls);
  EXPECT_EQ(42, reply);
}

TEST_F(PackageFetcherDelegateProxyTest, ClearDropsCallsInFlight) {
  // This thread runs no task until the worker has cleared the proxy, so
  // every call is still in flight then.
  base::WaitableEvent done(base::WaitableEvent::ResetPolicy::kManual,
                           base::WaitableEvent::InitialState::kNotSignaled);
  worker_.task_runner()->PostTask(
      CURRENT_LOCATION,
      base::Bind(
          [](PackageFetcherDelegateProxy* proxy, base::WaitableEvent* done) {
            proxy->NotifyStatusChanged(DOWNLOADING);
            proxy->SetCurrentProgress(5);
            proxy->RunUICallbackAndPostReply(
                base::Bind([](HWND__*) { return 0; }), nullptr,
                base::Bind([](int) { ADD_FAILURE() << "no reply expected"; }));
            proxy->Clear();
            proxy->NotifyStatusChanged(PACKAGE_READY);
            done->Signal();
          },
          proxy_.get(), &done));
  done.Wait();
  // The tasks hold the proxy: it outlives the last outside reference.
  proxy_ = nullptr;
  base::RunLoop().RunUntilIdle();
  EXPECT_TRUE(delegate_.calls.empty());
  EXPECT_EQ(4u, creator_runner_->locations().size());
}

}  // namespace
}  // namespace installer
