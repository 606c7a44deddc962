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
  HANDLE timer = nullptr;
  if (!CreateTimerQueueTimer(&timer, nullptr, callback, context, due_ms,
                             period_ms, flags)) {
    return false;
  }
  timer_ = timer;
  return true;
}

void ScopedTimerQueueTimer::Delete() {
  if (!timer_) return;
  // INVALID_HANDLE_VALUE: waits for a callback that is running now.
  if (!DeleteTimerQueueTimer(nullptr, std::exchange(timer_, nullptr),
                             INVALID_HANDLE_VALUE)) {
    PLOG(ERROR) << "DeleteTimerQueueTimer failed";
  }
}

}  // namespace win
}  // namespace base
