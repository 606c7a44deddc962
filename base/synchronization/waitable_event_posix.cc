#include <errno.h>
#include <time.h>

#include "base/logging.h"
#include "base/synchronization/waitable_event.h"

namespace base {

namespace {

constexpr uint32_t kInfinite = 0xFFFFFFFF;

int64_t MonotonicMilliseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t{now.tv_sec} * kMillisecondsPerSecond + now.tv_nsec / 1000000;
}

}  // namespace

WaitableEvent::WaitableEvent(ResetPolicy reset_policy,
                             InitialState initial_state)
    : manual_reset_(reset_policy == ResetPolicy::kManual),
      signaled_(initial_state == InitialState::kSignaled) {
  pthread_mutex_init(&mutex_, nullptr);
  pthread_condattr_t attributes;
  pthread_condattr_init(&attributes);
  pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
  int result = pthread_cond_init(&condition_, &attributes);
  pthread_condattr_destroy(&attributes);
  CHECK(result == 0) << "pthread_cond_init: " << result;
}

WaitableEvent::~WaitableEvent() {
  pthread_cond_destroy(&condition_);
  pthread_mutex_destroy(&mutex_);
}

void WaitableEvent::Signal() {
  pthread_mutex_lock(&mutex_);
  signaled_ = true;
  // A manual event releases every waiter; an automatic one only one.
  if (manual_reset_)
    pthread_cond_broadcast(&condition_);
  else
    pthread_cond_signal(&condition_);
  pthread_mutex_unlock(&mutex_);
}

void WaitableEvent::Reset() {
  pthread_mutex_lock(&mutex_);
  signaled_ = false;
  pthread_mutex_unlock(&mutex_);
}

bool WaitableEvent::IsSignaled() { return TimedWait(TimeDelta()); }

void WaitableEvent::Wait() { WaitUntil(-1); }

bool WaitableEvent::TimedWait(TimeDelta max) {
  uint32_t milliseconds = TimeoutToMilliseconds(max);
  if (milliseconds == kInfinite) return WaitUntil(-1);
  return WaitUntil(MonotonicMilliseconds() + milliseconds);
}

bool WaitableEvent::WaitUntil(int64_t deadline_ms) {
  timespec deadline;
  if (deadline_ms >= 0) {
    deadline.tv_sec = deadline_ms / kMillisecondsPerSecond;
    deadline.tv_nsec = (deadline_ms % kMillisecondsPerSecond) * 1000000;
  }
  pthread_mutex_lock(&mutex_);
  while (!signaled_) {
    int result = deadline_ms < 0
                     ? pthread_cond_wait(&condition_, &mutex_)
                     : pthread_cond_timedwait(&condition_, &mutex_, &deadline);
    if (result == ETIMEDOUT) break;
    CHECK(result == 0) << "pthread_cond_wait: " << result;
  }
  bool signaled = signaled_;
  if (signaled && !manual_reset_) signaled_ = false;
  pthread_mutex_unlock(&mutex_);
  return signaled;
}

}  // namespace base
