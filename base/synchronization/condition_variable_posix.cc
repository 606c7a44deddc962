#include <errno.h>
#include <time.h>

#include "base/logging.h"
#include "base/synchronization/condition_variable.h"

namespace base {

ConditionVariable::ConditionVariable(Lock* user_lock) : user_lock_(user_lock) {
  pthread_condattr_t attributes;
  pthread_condattr_init(&attributes);
  // Deadlines on the monotonic clock: wall-clock changes must not stretch
  // or cut a wait.
  pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
  int result = pthread_cond_init(&condition_, &attributes);
  pthread_condattr_destroy(&attributes);
  CHECK(result == 0) << "pthread_cond_init: " << result;
}

ConditionVariable::~ConditionVariable() { pthread_cond_destroy(&condition_); }

void ConditionVariable::Wait() {
  user_lock_->CheckHeldAndUnmark();
  int result = pthread_cond_wait(&condition_, &user_lock_->mutex_);
  CHECK(result == 0) << "pthread_cond_wait: " << result;
  user_lock_->MarkHeld();
}

void ConditionVariable::TimedWait(TimeDelta max) {
  if (max.is_max()) {
    Wait();
    return;
  }
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  int64_t deadline_us = TimeDelta::SaturatedAdd(
      int64_t{now.tv_sec} * kMicrosecondsPerSecond + now.tv_nsec / 1000,
      max.InMicroseconds() < 0 ? 0 : max.InMicroseconds());
  timespec deadline;
  deadline.tv_sec = deadline_us / kMicrosecondsPerSecond;
  deadline.tv_nsec = (deadline_us % kMicrosecondsPerSecond) * 1000;
  user_lock_->CheckHeldAndUnmark();
  int result =
      pthread_cond_timedwait(&condition_, &user_lock_->mutex_, &deadline);
  CHECK(result == 0 || result == ETIMEDOUT)
      << "pthread_cond_timedwait: " << result;
  user_lock_->MarkHeld();
}

void ConditionVariable::Signal() { pthread_cond_signal(&condition_); }

void ConditionVariable::Broadcast() { pthread_cond_broadcast(&condition_); }

}  // namespace base
