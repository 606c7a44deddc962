#include "desktop/windows/crash_reporter/counter_file_writer.h"

#include <memory>
#include <thread>
#include <vector>

#include "base/synchronization/lock.h"
#include "gtest/gtest.h"

namespace crash_reporter {

namespace {

// A counter "file" in memory, reached through a plain function as the
// writer expects; one test at a time uses it.
struct FakeCounterFile {
  base::Lock lock;
  CrashCounts contents;
  int calls = 0;
  int failures_left = 0;  // -1: fail for good
};
FakeCounterFile* g_file = nullptr;

bool WriteToFakeFile(const base::FilePath& path, const CrashCounts& counts) {
  base::AutoLock locked(g_file->lock);
  ++g_file->calls;
  if (g_file->failures_left != 0) {
    if (g_file->failures_left > 0) --g_file->failures_left;
    return false;
  }
  AddCrashCounts(counts, &g_file->contents);
  return true;
}

class CounterFileWriterTest : public testing::Test {
 protected:
  CounterFileWriterTest() { g_file = &file_; }
  ~CounterFileWriterTest() override { g_file = nullptr; }

  std::unique_ptr<CounterFileWriter> MakeWriter() {
    return std::make_unique<CounterFileWriter>(base::FilePath(u"counts"),
                                               &WriteToFakeFile);
  }
  CrashCounts Contents() {
    base::AutoLock locked(file_.lock);
    return file_.contents;
  }
  int Calls() {
    base::AutoLock locked(file_.lock);
    return file_.calls;
  }

  FakeCounterFile file_;
};

TEST_F(CounterFileWriterTest, CountsFromManyThreadsInAnyOrder) {
  auto writer = MakeWriter();
  std::vector<std::thread> threads;
  for (const char* key : {"installer", "crash_reporter", "installer"})
    threads.emplace_back([&writer, key] { writer->Add(key, 1, true); });
  for (std::thread& thread : threads) thread.join();
  writer.reset();
  EXPECT_EQ((CrashCounts{{"crash_reporter", 1}, {"installer", 2}}), Contents());
}

TEST_F(CounterFileWriterTest, ACountAddedJustBeforeTheEndIsWritten) {
  auto writer = MakeWriter();
  writer->Add("installer", 1, /*wake=*/false);
  writer.reset();
  EXPECT_EQ((CrashCounts{{"installer", 1}}), Contents());
  EXPECT_EQ(1, Calls());
}

TEST_F(CounterFileWriterTest, FailedCountsStayPendingAndMergeWithNewOnes) {
  file_.failures_left = 1;
  auto writer = MakeWriter();
  EXPECT_TRUE(writer->FlushOnce());  // nothing pending
  writer->Add("installer", 1, /*wake=*/false);
  EXPECT_FALSE(writer->FlushOnce());
  writer->Add("installer", 2, /*wake=*/false);
  EXPECT_TRUE(writer->FlushOnce());
  EXPECT_EQ((CrashCounts{{"installer", 3}}), Contents());
  EXPECT_EQ(2, Calls());
}

TEST_F(CounterFileWriterTest, RetriesTenTimesThenWaitsThenGivesUp) {
  file_.failures_left = -1;
  auto writer = MakeWriter();
  writer->Add("installer", 1, /*wake=*/true);
  // Ten attempts 100 ms apart, then the worker waits for a wake-up.
  while (Calls() < CounterFileWriter::kMaxFailuresInARow)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(CounterFileWriter::kMaxFailuresInARow, Calls());
  // The end makes ten more attempts, and the counts are lost.
  writer.reset();
  EXPECT_EQ(CounterFileWriter::kMaxFailuresInARow +
                CounterFileWriter::kMaxFinalAttempts,
            Calls());
  EXPECT_TRUE(Contents().empty());
}

TEST_F(CounterFileWriterTest, AFailureDuringRetriesRecovers) {
  file_.failures_left = 3;
  auto writer = MakeWriter();
  writer->Add("crash_reporter", 1, /*wake=*/true);
  while (Contents().empty())
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(4, Calls());
  writer.reset();
  EXPECT_EQ((CrashCounts{{"crash_reporter", 1}}), Contents());
}

}  // namespace

}  // namespace crash_reporter
