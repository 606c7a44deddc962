// WaitableEvent: the signalling primitive between threads (start
// hand-shakes, cancel and package-ready signals, shutdown waits).
//
// A manual-reset event stays signalled until Reset; an automatic-reset event
// releases one waiter per Signal and becomes unsignalled again. On Windows
// it is an event object held in a ScopedHandle (so other code may wait on
// handle() together with other objects); elsewhere a mutex and a condition
// variable. All operations are thread-safe.

#ifndef BASE_SYNCHRONIZATION_WAITABLE_EVENT_H_
#define BASE_SYNCHRONIZATION_WAITABLE_EVENT_H_

#include "base/time/time.h"

#if defined(_WIN32)
#include "base/win/scoped_handle.h"
#else
#include <pthread.h>
#endif

namespace base {

class WaitableEvent {
 public:
  enum class ResetPolicy { kManual = 0, kAutomatic = 1 };
  enum class InitialState { kSignaled = 0, kNotSignaled = 1 };

  // Creation failure stops the process.
  WaitableEvent(ResetPolicy reset_policy, InitialState initial_state);
#if defined(_WIN32)
  // Adopts an existing event object, e.g. a named one opened elsewhere.
  explicit WaitableEvent(win::ScopedHandle event_handle);
#endif
  WaitableEvent(const WaitableEvent&) = delete;
  WaitableEvent& operator=(const WaitableEvent&) = delete;
  ~WaitableEvent();

  void Signal();
  void Reset();
  // True when signalled; for an automatic-reset event this consumes the
  // signal, as a zero-length wait would.
  bool IsSignaled();

  // Waits without limit.
  void Wait();
  // Waits at most |max|, taken in whole milliseconds truncated toward zero
  // (so a time-out may end up to 1 ms early); zero or less polls, and the
  // maximum span, or any span of 2^32-1 ms or more, waits without limit.
  // True only when the event was signalled.
  bool TimedWait(TimeDelta max);

  // The milliseconds that TimedWait passes to the system for |max|.
  static uint32_t TimeoutToMilliseconds(TimeDelta max);

#if defined(_WIN32)
  win::Handle handle() const { return handle_.Get(); }
#endif

 private:
#if defined(_WIN32)
  win::ScopedHandle handle_;
#else
  // Waits until signalled or |deadline_ms| (a CLOCK_MONOTONIC reading in
  // milliseconds; negative: no limit) passes.
  bool WaitUntil(int64_t deadline_ms);

  pthread_mutex_t mutex_;
  pthread_cond_t condition_;
  bool manual_reset_;
  bool signaled_;
#endif
};

}  // namespace base

#endif  // BASE_SYNCHRONIZATION_WAITABLE_EVENT_H_
