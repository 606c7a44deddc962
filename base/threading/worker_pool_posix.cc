#include <algorithm>
#include <deque>

#include "base/lazy_instance.h"
#include "base/synchronization/condition_variable.h"
#include "base/synchronization/lock.h"
#include "base/threading/platform_thread.h"
#include "base/threading/worker_pool.h"

namespace base {
namespace internal {

namespace {

// The portable stand-in for the system pool: threads started on demand, up
// to a limit, that wait for items and live as long as the process (so none
// is still tearing down while the process exits).
class WorkItemQueue : public PlatformThread::Delegate {
 public:
  bool Enqueue(PendingTask* item) {
    bool start_thread = false;
    {
      AutoLock hold(lock_);
      items_.push_back(item);
      if (idle_threads_ == 0 && threads_ < kMaxThreads) {
        ++threads_;
        start_thread = true;
      } else {
        has_work_.Signal();
      }
    }
    if (!start_thread || PlatformThread::CreateNonJoinable(0, this))
      return true;
    AutoLock hold(lock_);
    --threads_;
    // Another thread may still take the item; only when none exists is the
    // post refused.
    if (threads_ > 0) return true;
    items_.erase(std::find(items_.begin(), items_.end(), item));
    return false;
  }

 private:
  static constexpr int kMaxThreads = 16;

  void ThreadMain() override {
    while (true) {
      PendingTask* item;
      {
        AutoLock hold(lock_);
        while (items_.empty()) {
          ++idle_threads_;
          has_work_.Wait();
          --idle_threads_;
        }
        item = items_.front();
        items_.pop_front();
      }
      RunWorkerPoolItem(item);
    }
  }

  Lock lock_;
  ConditionVariable has_work_{&lock_};
  std::deque<PendingTask*> items_;
  int idle_threads_ = 0;
  int threads_ = 0;
};

LeakyLazyInstance<WorkItemQueue> g_work_item_queue;

}  // namespace

bool QueueWorkItemToSystemPool(PendingTask* item, bool task_is_slow) {
  return g_work_item_queue.Get().Enqueue(item);
}

}  // namespace internal
}  // namespace base
