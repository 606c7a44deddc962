#include "desktop/windows/crash_reporter/util/reporter_lifetime.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "base/at_exit.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

TEST(ReporterLifetimeTest, IdleOnlyWhenTheLastReferenceGoes) {
  base::AtExitManager at_exit;
  ReporterLifetime::AddRef();
  ReporterLifetime::AddRef();
  ReporterLifetime::Release();
  EXPECT_FALSE(ReporterLifetime::TimedWaitUntilIdle(base::TimeDelta()));
  ReporterLifetime::Release();
  EXPECT_TRUE(ReporterLifetime::TimedWaitUntilIdle(base::TimeDelta()));
  ReporterLifetime::WaitUntilIdle();
}

TEST(ReporterLifetimeTest, WorkFromManyThreadsKeepsItBusyUntilDone) {
  base::AtExitManager at_exit;
  // The test holds a unit, as the watch on the parent process does.
  ReporterLifetime::AddRef();
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([] {
      for (int i = 0; i < 1000; ++i) {
        ReporterLifetime::AddRef();
        ReporterLifetime::AddRef();
        ReporterLifetime::Release();
        ReporterLifetime::Release();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_FALSE(ReporterLifetime::TimedWaitUntilIdle(base::TimeDelta()));

  std::thread last([] { ReporterLifetime::Release(); });
  ReporterLifetime::WaitUntilIdle();
  last.join();
}

TEST(ReporterLifetimeTest, WaitsAgainForWorkTakenAfterIdle) {
  base::AtExitManager at_exit;
  ReporterLifetime::AddRef();
  ReporterLifetime::Release();
  // A dump callback takes its unit just after the count fell to zero.
  ReporterLifetime::AddRef();
  std::atomic<bool> released{false};
  std::thread late([&released] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    released = true;
    ReporterLifetime::Release();
  });
  ReporterLifetime::WaitUntilIdle();
  EXPECT_TRUE(released);
  late.join();
  // Idle again: the wait returns at once.
  ReporterLifetime::WaitUntilIdle();
}

}  // namespace
}  // namespace crash_reporter
