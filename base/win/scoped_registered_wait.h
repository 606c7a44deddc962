// ScopedRegisteredWait: the single owner of a wait registered with the
// system thread pool (RegisterWaitForSingleObject). The wait's callback
// runs on a pool thread whenever the watched object is signalled (once with
// WT_EXECUTEONLYONCE) until the wait is unregistered.
//
// Unregistering comes in two forms, and the difference matters to whoever
// owns what the callback touches. Either way the wait is unregistered once
// and is gone afterwards, whatever the system answered.
// - Unregister() (also the destructor and assignment) returns only once no
//   callback of the wait runs, one that was about to start included:
//   afterwards the callback's context may be destroyed. It must never be
//   called from inside that wait's own callback, which would wait for
//   itself.
// - UnregisterFromItsCallback() returns at once. It is the form for the
//   wait's own callback; a callback of this wait already running on
//   another thread may still run to its end.
//
// Movable; the object itself is used by one thread at a time (guard it
// with a lock where a callback and its owner both reach it).

#ifndef BASE_WIN_SCOPED_REGISTERED_WAIT_H_
#define BASE_WIN_SCOPED_REGISTERED_WAIT_H_

#include <stdint.h>

#include "base/win/scoped_handle.h"

namespace base {
namespace win {

class ScopedRegisteredWait {
 public:
  // WAITORTIMERCALLBACK, spelt out so that this header needs no windows.h.
  using Callback = void(__stdcall*)(void* context, unsigned char timed_out);

  ScopedRegisteredWait() = default;
  ScopedRegisteredWait(ScopedRegisteredWait&& other) noexcept;
  // Unregisters the wait held (blocking) before taking |other|'s.
  ScopedRegisteredWait& operator=(ScopedRegisteredWait&& other) noexcept;
  ScopedRegisteredWait(const ScopedRegisteredWait&) = delete;
  ScopedRegisteredWait& operator=(const ScopedRegisteredWait&) = delete;
  ~ScopedRegisteredWait() { Unregister(); }

  // Registers a wait on |object| (not owned; it must stay open while the
  // wait is registered) that calls |callback| with |context|; |timeout_ms|
  // and |flags| are those of RegisterWaitForSingleObject. A wait already
  // held is unregistered first (blocking). False when the system refuses;
  // the object is then empty and GetLastError() tells why.
  bool Register(Handle object, Callback callback, void* context,
                uint32_t timeout_ms, uint32_t flags);

  bool IsRegistered() const { return wait_ != nullptr; }

  // Blocking unregistration (see above). Nothing when empty. A system that
  // refuses to unregister a wait held here ends the process: its callback
  // could otherwise run on a context already gone.
  void Unregister();
  // Non-blocking unregistration, for the wait's own callback. Nothing when
  // empty.
  void UnregisterFromItsCallback();

 private:
  Handle wait_ = nullptr;
  // Signalled by the system once the unregistered wait has no callback
  // left; one per registration.
  ScopedHandle callbacks_done_;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_REGISTERED_WAIT_H_
