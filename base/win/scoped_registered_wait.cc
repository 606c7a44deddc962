#include "base/win/scoped_registered_wait.h"

#include <windows.h>

#include <type_traits>
#include <utility>

#include "base/logging.h"

namespace base {
namespace win {

static_assert(
    std::is_same_v<ScopedRegisteredWait::Callback, WAITORTIMERCALLBACK>);

ScopedRegisteredWait::ScopedRegisteredWait(
    ScopedRegisteredWait&& other) noexcept
    : wait_(std::exchange(other.wait_, nullptr)),
      callbacks_done_(std::move(other.callbacks_done_)) {}

ScopedRegisteredWait& ScopedRegisteredWait::operator=(
    ScopedRegisteredWait&& other) noexcept {
  if (this != &other) {
    Unregister();
    wait_ = std::exchange(other.wait_, nullptr);
    callbacks_done_ = std::move(other.callbacks_done_);
  }
  return *this;
}

bool ScopedRegisteredWait::Register(Handle object, Callback callback,
                                    void* context, uint32_t timeout_ms,
                                    uint32_t flags) {
  Unregister();
  // Made before the wait, so that unregistering it cannot fail for want of
  // an event; a fresh one per wait, so that no late signal of an earlier
  // wait can count for it.
  ScopedHandle callbacks_done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!callbacks_done.IsValid()) return false;
  HANDLE wait = nullptr;
  if (!RegisterWaitForSingleObject(&wait, object, callback, context, timeout_ms,
                                   flags)) {
    return false;
  }
  wait_ = wait;
  callbacks_done_ = std::move(callbacks_done);
  return true;
}

void ScopedRegisteredWait::Unregister() {
  if (!wait_) return;
  ScopedHandle callbacks_done = std::move(callbacks_done_);
  // Never the blocking form (INVALID_HANDLE_VALUE): it can return before a
  // callback that was about to start has run, and under Wine it races with
  // a wait thread waking for the same signal. The handle is spent whatever
  // the call returns; ERROR_IO_PENDING only says a callback still runs, and
  // the event comes once none does.
  if (UnregisterWaitEx(std::exchange(wait_, nullptr), callbacks_done.Get()) ||
      GetLastError() == ERROR_IO_PENDING) {
    WaitForSingleObject(callbacks_done.Get(), INFINITE);
    return;
  }
  // Only a handle that is not a wait gets here: a callback could then still
  // run on what its owner is about to free.
  PLOG(FATAL) << "UnregisterWaitEx failed";
}

void ScopedRegisteredWait::UnregisterFromItsCallback() {
  if (!wait_) return;
  callbacks_done_.Close();
  // ERROR_IO_PENDING only says that a callback (the caller) still runs;
  // the wait is unregistered all the same.
  if (!UnregisterWaitEx(std::exchange(wait_, nullptr), nullptr) &&
      GetLastError() != ERROR_IO_PENDING) {
    PLOG(ERROR) << "UnregisterWaitEx failed";
  }
}

}  // namespace win
}  // namespace base
