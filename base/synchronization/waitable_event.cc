#include "base/synchronization/waitable_event.h"

namespace base {

// static
uint32_t WaitableEvent::TimeoutToMilliseconds(TimeDelta max) {
  // 0xFFFFFFFF is INFINITE on Windows.
  constexpr int64_t kInfinite = 0xFFFFFFFF;
  int64_t milliseconds = max.InMilliseconds();
  if (milliseconds < 0) return 0;
  if (milliseconds >= kInfinite) return static_cast<uint32_t>(kInfinite);
  return static_cast<uint32_t>(milliseconds);
}

}  // namespace base
