#include "base/synchronization/lock.h"

#include <stdint.h>

#include "base/logging.h"

namespace base {

namespace {

#if !defined(NDEBUG)
// The address of a thread-local byte tells threads apart without a system
// call and is never 0.
unsigned long long CurrentThreadToken() {
  static thread_local char token;
  return reinterpret_cast<uintptr_t>(&token);
}
#endif

}  // namespace

void Lock::AssertAcquired() const {
#if !defined(NDEBUG)
  CHECK(owner_.load(std::memory_order_relaxed) == CurrentThreadToken())
      << "Lock not held by the calling thread";
#endif
}

void Lock::CheckHeldAndUnmark() {
#if !defined(NDEBUG)
  AssertAcquired();
  owner_.store(0, std::memory_order_relaxed);
#endif
}

void Lock::CheckNotHeldByCaller() const {
#if !defined(NDEBUG)
  // Checked before waiting: a second Acquire by the holder would deadlock.
  CHECK(owner_.load(std::memory_order_relaxed) != CurrentThreadToken())
      << "Lock taken twice by one thread";
#endif
}

void Lock::MarkHeld() {
#if !defined(NDEBUG)
  owner_.store(CurrentThreadToken(), std::memory_order_relaxed);
#endif
}

}  // namespace base
