#include "components/prefs/prefs_task_pool.h"

#include <atomic>
#include <memory>
#include <string>

#include "base/at_exit.h"
#include "base/bind.h"
#include "base/files/file_util.h"
#include "base/message_loop/message_loop.h"
#include "base/synchronization/waitable_event.h"
#include "base/test/scoped_temp_dir.h"
#include "base/threading/platform_thread.h"
#include "base/threading/simple_thread.h"
#include "gtest/gtest.h"

namespace prefs {
namespace {

using base::FilePath;

constexpr base::TimeDelta kLongWait =
    base::TimeDelta::FromMicroseconds(10 * 1000 * 1000);

class GetInstanceThread : public base::SimpleThread {
 public:
  GetInstanceThread(base::WaitableEvent* go)
      : SimpleThread("GetInstanceThread"), go_(go) {}
  void Run() override {
    go_->Wait();
    instance = PrefsTaskPool::GetInstance();
  }

  std::atomic<PrefsTaskPool*> instance{nullptr};

 private:
  base::WaitableEvent* const go_;
};

TEST(PrefsTaskPoolTest, ThreadsRacingForTheInstanceGetTheSameOne) {
  base::AtExitManager exit_manager;
  base::WaitableEvent go(base::WaitableEvent::ResetPolicy::kManual,
                         base::WaitableEvent::InitialState::kNotSignaled);
  GetInstanceThread first(&go), second(&go);
  ASSERT_TRUE(first.Start());
  ASSERT_TRUE(second.Start());
  go.Signal();
  first.Join();
  second.Join();
  EXPECT_NE(nullptr, first.instance.load());
  EXPECT_EQ(first.instance.load(), second.instance.load());
  EXPECT_EQ(first.instance.load(), PrefsTaskPool::GetInstance());
}

TEST(PrefsTaskPoolTest, StoresRunOnTheOneNamedWorker) {
  base::AtExitManager exit_manager;
  base::MessageLoop loop;
  base::ScopedTempDir temp_dir;
  ASSERT_TRUE(temp_dir.CreateUniqueTempDir());
  PrefsTaskPool* pool = PrefsTaskPool::GetInstance();
  const FilePath path = temp_dir.GetPath().AppendASCII("installer_prefs.json");

  auto runner = JsonPrefStore::GetTaskRunnerForFile(path, pool->pool());
  auto same_file = JsonPrefStore::GetTaskRunnerForFile(path, pool->pool());
  auto other_file = JsonPrefStore::GetTaskRunnerForFile(
      temp_dir.GetPath().AppendASCII("other.json"), pool->pool());
  struct Seen {
    std::string name;
    base::PlatformThreadId id = base::kInvalidThreadId;
    bool same_file = false;
    bool other_file = true;
    base::WaitableEvent done{base::WaitableEvent::ResetPolicy::kManual,
                             base::WaitableEvent::InitialState::kNotSignaled};
  } seen;
  runner->PostTask(CURRENT_LOCATION,
                   base::Bind(
                       [](base::SequencedTaskRunner* same,
                          base::SequencedTaskRunner* other, Seen* seen) {
                         seen->name = base::PlatformThread::GetName();
                         seen->id = base::PlatformThread::CurrentId();
                         seen->same_file = same->RunsTasksOnCurrentThread();
                         seen->other_file = other->RunsTasksOnCurrentThread();
                         seen->done.Signal();
                       },
                       same_file.get(), other_file.get(), &seen));
  ASSERT_TRUE(seen.done.TimedWait(kLongWait));
  EXPECT_EQ("PrefsTaskPoolWorker1/" + std::to_string(seen.id), seen.name);
  // One file, one sequence, however many stores ask for it.
  EXPECT_TRUE(seen.same_file);
  EXPECT_FALSE(seen.other_file);
  EXPECT_EQ(1u, pool->pool()->GetWorkerCountForTesting());
}

TEST(PrefsTaskPoolTest, CreatedStoreIsAlreadyRead) {
  base::AtExitManager exit_manager;
  base::MessageLoop loop;
  base::ScopedTempDir temp_dir;
  ASSERT_TRUE(temp_dir.CreateUniqueTempDir());
  const FilePath path = temp_dir.GetPath().AppendASCII("installer_prefs.json");
  const std::string contents = "{\"stream\":\"stable\"}";
  ASSERT_EQ(static_cast<int>(contents.size()),
            base::WriteBufferToFile(path, contents.data(),
                                    static_cast<int>(contents.size())));
  auto store = PrefsTaskPool::GetInstance()->CreateJsonPrefStore(path);
  EXPECT_TRUE(store->IsInitializationComplete());
  EXPECT_EQ(PREF_READ_ERROR_NONE, store->GetReadError());
  EXPECT_TRUE(store->GetValue("stream", nullptr));
}

// The at-exit phase waits for a preference write that was posted before
// it, even when the file's sequence is still busy.
TEST(PrefsTaskPoolTest, ExitWaitsForPostedPreferenceWrites) {
  base::ScopedTempDir temp_dir;
  ASSERT_TRUE(temp_dir.CreateUniqueTempDir());
  const FilePath path = temp_dir.GetPath().AppendASCII("installer_prefs.json");
  // Outlives the exit phase, which waits for the task that waits on it.
  base::WaitableEvent release(base::WaitableEvent::ResetPolicy::kManual,
                              base::WaitableEvent::InitialState::kNotSignaled);
  {
    base::AtExitManager exit_manager;
    base::MessageLoop loop;
    PrefsTaskPool* pool = PrefsTaskPool::GetInstance();
    // Keeps the file's sequence busy until the exit phase has begun (the
    // callback that releases it is the last registered, so the first to
    // run), so the write is still queued then.
    JsonPrefStore::GetTaskRunnerForFile(path, pool->pool())
        ->PostTask(
            CURRENT_LOCATION,
            base::Bind([](base::WaitableEvent* release) { release->Wait(); },
                       &release));
    auto store = pool->CreateJsonPrefStore(path);
    store->SetValue("install.done",
                    std::make_unique<base::FundamentalValue>(true), 0);
    store = nullptr;
    EXPECT_FALSE(base::PathExists(path));
    base::AtExitManager::RegisterCallback(
        [](void* release) {
          static_cast<base::WaitableEvent*>(release)->Signal();
        },
        &release);
  }
  std::string written;
  ASSERT_TRUE(base::FileUtil::ReadFileToString(path, &written));
  EXPECT_EQ("{\"install\":{\"done\":true}}", written);
}

}  // namespace
}  // namespace prefs
