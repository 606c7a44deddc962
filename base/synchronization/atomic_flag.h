// AtomicFlag: a flag that one thread sets once and any thread may test,
// e.g. a cancel request. Setting it publishes the setter's earlier writes to
// a thread that then sees IsSet() true.

#ifndef BASE_SYNCHRONIZATION_ATOMIC_FLAG_H_
#define BASE_SYNCHRONIZATION_ATOMIC_FLAG_H_

#include <stdint.h>

#include <atomic>

namespace base {

class AtomicFlag {
 public:
  constexpr AtomicFlag() = default;
  AtomicFlag(const AtomicFlag&) = delete;
  AtomicFlag& operator=(const AtomicFlag&) = delete;

  void Set() { flag_.store(1, std::memory_order_release); }
  bool IsSet() const { return flag_.load(std::memory_order_acquire) != 0; }

  // For tests that reuse one flag.
  void UnsafeResetForTesting() { flag_.store(0, std::memory_order_release); }

 private:
  std::atomic<uint32_t> flag_{0};
};

}  // namespace base

#endif  // BASE_SYNCHRONIZATION_ATOMIC_FLAG_H_
