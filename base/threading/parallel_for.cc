#include "base/threading/parallel_for.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

#include "base/threading/simple_thread.h"

namespace base {

namespace {

// What the threads share: the next index and whether any work failed.
class Range {
 public:
  Range(size_t count, const std::function<bool(size_t)>& work)
      : count_(count), work_(work) {}

  void Work() {
    while (!failed_.load(std::memory_order_relaxed)) {
      const size_t index = next_.fetch_add(1, std::memory_order_relaxed);
      if (index >= count_) return;
      if (!work_(index)) failed_.store(true, std::memory_order_relaxed);
    }
  }

  // Once every thread has stopped.
  bool succeeded() const { return !failed_.load() && next_.load() >= count_; }

 private:
  const size_t count_;
  const std::function<bool(size_t)>& work_;
  std::atomic<size_t> next_{0};
  std::atomic<bool> failed_{false};
};

class Worker : public SimpleThread {
 public:
  explicit Worker(Range* range)
      : SimpleThread("Parallel work"), range_(range) {}
  void Run() override { range_->Work(); }

 private:
  Range* const range_;
};

}  // namespace

bool ParallelFor(size_t count, size_t max_threads,
                 const std::function<bool(size_t)>& work) {
  Range range(count, work);
  // The calling thread is one of them.
  const size_t threads = std::min(count, std::max<size_t>(max_threads, 1));
  const size_t helpers = threads > 0 ? threads - 1 : 0;
  std::vector<std::unique_ptr<Worker>> workers;
  for (size_t i = 0; i < helpers; ++i) {
    auto worker = std::make_unique<Worker>(&range);
    // Fewer threads only make it slower.
    if (!worker->Start()) break;
    workers.push_back(std::move(worker));
  }
  range.Work();
  for (const std::unique_ptr<Worker>& worker : workers) worker->Join();
  return range.succeeded();
}

}  // namespace base
