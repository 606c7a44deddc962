// ScopedBusyThreadPool: keeps the process's system thread pool busy while it
// lives, with work items that each spin a little and queue themselves
// again. For tests of code whose races with the pool's threads show only
// when those threads are slow to come.

#ifndef BASE_TEST_SCOPED_BUSY_THREAD_POOL_WIN_H_
#define BASE_TEST_SCOPED_BUSY_THREAD_POOL_WIN_H_

#include <atomic>

#include "base/win/scoped_handle.h"

namespace base {
namespace test {

class ScopedBusyThreadPool {
 public:
  // Queues |work_items| work items (WT_EXECUTEDEFAULT); each runs again and
  // again until the destructor.
  explicit ScopedBusyThreadPool(int work_items);
  ScopedBusyThreadPool(const ScopedBusyThreadPool&) = delete;
  ScopedBusyThreadPool& operator=(const ScopedBusyThreadPool&) = delete;
  // Returns once none of its work items runs any more.
  ~ScopedBusyThreadPool();

 private:
  static unsigned long __stdcall Work(void* context);
  // One work item has ended for good.
  void Ended();

  std::atomic<bool> stopping_{false};
  std::atomic<int> in_flight_{0};
  base::win::ScopedHandle all_ended_;
};

}  // namespace test
}  // namespace base

#endif  // BASE_TEST_SCOPED_BUSY_THREAD_POOL_WIN_H_
