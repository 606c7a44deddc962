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
    : wait_(std::exchange(other.wait_, nullptr)) {}

ScopedRegisteredWait& ScopedRegisteredWait::operator=(
    ScopedRegisteredWait&& other) noexcept {
  if (this != &other) {
    Unregister();
    wait_ = std::exchange(other.wait_, nullptr);
  }
  return *this;
}

bool ScopedRegisteredWait::Register(Handle object, Callback callback,
                                    void* context, uint32_t timeout_ms,
                                    uint32_t flags) {
  Unregister();
  HANDLE wait = nullptr;
  if (!RegisterWaitForSingleObject(&wait, object, callback, context, timeout_ms,
                                   flags)) {
    return false;
  }
  wait_ = wait;
  return true;
}

void ScopedRegisteredWait::Unregister() {
  if (!wait_) return;
  // INVALID_HANDLE_VALUE: waits for a callback that is running now.
  if (!UnregisterWaitEx(std::exchange(wait_, nullptr), INVALID_HANDLE_VALUE))
    PLOG(ERROR) << "UnregisterWaitEx failed";
}

void ScopedRegisteredWait::UnregisterFromItsCallback() {
  if (!wait_) return;
  // ERROR_IO_PENDING only says that a callback (the caller) still runs;
  // the wait is unregistered all the same.
  if (!UnregisterWaitEx(std::exchange(wait_, nullptr), nullptr) &&
      GetLastError() != ERROR_IO_PENDING) {
    PLOG(ERROR) << "UnregisterWaitEx failed";
  }
}

}  // namespace win
}  // namespace base
