// ConditionVariable: lets threads wait, under a Lock, for a state change
// that another thread announces with Signal (one waiter) or Broadcast (all).
//
// Wait and TimedWait must be called with the lock held; they release it
// while waiting and hold it again when they return. Wake-ups may be
// spurious: callers re-test their condition in a loop.

#ifndef BASE_SYNCHRONIZATION_CONDITION_VARIABLE_H_
#define BASE_SYNCHRONIZATION_CONDITION_VARIABLE_H_

#include "base/synchronization/lock.h"
#include "base/time/time.h"

#if !defined(_WIN32)
#include <pthread.h>
#endif

namespace base {

class ConditionVariable {
 public:
  // |user_lock| must outlive this object.
  explicit ConditionVariable(Lock* user_lock);
  ConditionVariable(const ConditionVariable&) = delete;
  ConditionVariable& operator=(const ConditionVariable&) = delete;
  ~ConditionVariable();

  void Wait();
  // Waits at most |max| (rounded up to whole milliseconds on Windows); the
  // maximum span waits without limit.
  void TimedWait(TimeDelta max);
  void Signal();
  void Broadcast();

 private:
  Lock* const user_lock_;
#if defined(_WIN32)
  // A CONDITION_VARIABLE: one pointer-sized word.
  void* condition_ = nullptr;
#else
  pthread_cond_t condition_;
#endif
};

}  // namespace base

#endif  // BASE_SYNCHRONIZATION_CONDITION_VARIABLE_H_
