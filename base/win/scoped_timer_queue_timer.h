// ScopedTimerQueueTimer: the single owner of a timer in the process's
// default timer queue (CreateTimerQueueTimer). Its callback runs on a pool
// thread when the timer is due (and then every period, if one was given).
//
// Deleting the timer (Delete(), Start() of another, the destructor) returns
// only once no callback of the timer runs: afterwards the callback's
// context may be destroyed. It must therefore never happen inside the
// timer's own callback. The timer is deleted once, whatever the system
// answered.
//
// Not movable; used by one thread at a time.

#ifndef BASE_WIN_SCOPED_TIMER_QUEUE_TIMER_H_
#define BASE_WIN_SCOPED_TIMER_QUEUE_TIMER_H_

#include <stdint.h>

#include "base/win/scoped_handle.h"

namespace base {
namespace win {

class ScopedTimerQueueTimer {
 public:
  // WAITORTIMERCALLBACK, spelt out so that this header needs no windows.h.
  using Callback = void(__stdcall*)(void* context, unsigned char timer_fired);

  ScopedTimerQueueTimer() = default;
  ScopedTimerQueueTimer(const ScopedTimerQueueTimer&) = delete;
  ScopedTimerQueueTimer& operator=(const ScopedTimerQueueTimer&) = delete;
  ~ScopedTimerQueueTimer() { Delete(); }

  // Deletes the timer held (blocking), then starts one that calls
  // |callback| with |context| after |due_ms|, and then every |period_ms|
  // when that is not 0; |flags| are those of CreateTimerQueueTimer. False
  // when the system refuses; the object is then empty and GetLastError()
  // tells why.
  bool Start(Callback callback, void* context, uint32_t due_ms,
             uint32_t period_ms, uint32_t flags);

  bool IsActive() const { return timer_ != nullptr; }

  // Deletes the timer, waiting for a running callback. Nothing when empty.
  // A system that refuses to delete a timer held here ends the process:
  // its callback could otherwise run on a context already gone.
  void Delete();

 private:
  Handle timer_ = nullptr;
  // Signalled by the system once the deleted timer has no callback left;
  // one per timer.
  ScopedHandle callbacks_done_;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_TIMER_QUEUE_TIMER_H_
