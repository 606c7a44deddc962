#include "base/win/scoped_timer_queue_timer.h"

#include <windows.h>

#include <type_traits>
#include <utility>

#include "base/logging.h"

namespace base {
namespace win {

static_assert(
    std::is_same_v<ScopedTimerQueueTimer::Callback, WAITORTIMERCALLBACK>);

bool ScopedTimerQueueTimer::Start(Callback callback, void* context,
                                  uint32_t due_ms, uint32_t period_ms,
                                  uint32_t flags) {
  Delete();
  // Made before the timer, so that deleting it cannot fail for want of an
  // event; a fresh one per timer, so that no late signal of an earlier
  // timer can count for it.
  ScopedHandle callbacks_done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!callbacks_done.IsValid()) return false;
  HANDLE timer = nullptr;
  if (!CreateTimerQueueTimer(&timer, nullptr, callback, context, due_ms,
                             period_ms, flags)) {
    return false;
  }
  timer_ = timer;
  callbacks_done_ = std::move(callbacks_done);
  return true;
}

void ScopedTimerQueueTimer::Delete() {
  if (!timer_) return;
  ScopedHandle callbacks_done = std::move(callbacks_done_);
  // As for a registered wait: the timer is spent whatever the call returns
  // (ERROR_IO_PENDING only says a callback still runs), and the event
  // comes once no callback runs.
  if (DeleteTimerQueueTimer(nullptr, std::exchange(timer_, nullptr),
                            callbacks_done.Get()) ||
      GetLastError() == ERROR_IO_PENDING) {
    WaitForSingleObject(callbacks_done.Get(), INFINITE);
    return;
  }
  // Only a handle that is not a timer gets here: a callback could then
  // still run on what its owner is about to free.
  PLOG(FATAL) << "DeleteTimerQueueTimer failed";
}

}  // namespace win
}  // namespace base
