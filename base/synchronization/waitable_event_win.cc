#include <windows.h>

#include "base/logging.h"
#include "base/synchronization/waitable_event.h"

namespace base {

WaitableEvent::WaitableEvent(ResetPolicy reset_policy,
                             InitialState initial_state)
    : handle_(CreateEventW(nullptr, reset_policy == ResetPolicy::kManual,
                           initial_state == InitialState::kSignaled, nullptr)) {
  CHECK(handle_.IsValid()) << "CreateEvent failed: " << GetLastError();
}

WaitableEvent::WaitableEvent(win::ScopedHandle event_handle)
    : handle_(std::move(event_handle)) {
  CHECK(handle_.IsValid()) << "WaitableEvent given no event";
}

WaitableEvent::~WaitableEvent() = default;

void WaitableEvent::Signal() { SetEvent(handle_.Get()); }

void WaitableEvent::Reset() { ResetEvent(handle_.Get()); }

bool WaitableEvent::IsSignaled() { return TimedWait(TimeDelta()); }

void WaitableEvent::Wait() {
  DWORD result = WaitForSingleObject(handle_.Get(), INFINITE);
  CHECK(result == WAIT_OBJECT_0)
      << "WaitForSingleObject gave " << result << ", error " << GetLastError();
}

bool WaitableEvent::TimedWait(TimeDelta max) {
  return WaitForSingleObject(handle_.Get(), TimeoutToMilliseconds(max)) ==
         WAIT_OBJECT_0;
}

}  // namespace base
