// ScopedHandle: the single owner of a Windows kernel-object handle, which it
// closes when it goes out of scope. Both 0 and INVALID_HANDLE_VALUE mean "no
// handle". Every owned handle is registered with the process's handle
// verifier (scoped_handle_verifier.h) under the address of its owner, so a
// handle owned twice or closed behind its owner's back stops the process.
//
// A ScopedHandle may be moved; it is used by one thread at a time. Every
// operation keeps the thread's last-error value, so a caller can read
// GetLastError() after handing a failed result to a ScopedHandle.
//
// The header takes handles as void* (what Handle is) so that headers of
// portable classes can hold a ScopedHandle without pulling in windows.h.

#ifndef BASE_WIN_SCOPED_HANDLE_H_
#define BASE_WIN_SCOPED_HANDLE_H_

#include <stdint.h>

namespace base {
namespace win {

// A Windows HANDLE.
using Handle = void*;

class ScopedHandle {
 public:
  ScopedHandle() = default;
  // Takes ownership of |handle| (an invalid value leaves the object empty).
  explicit ScopedHandle(Handle handle);
  ScopedHandle(ScopedHandle&& other) noexcept;
  ScopedHandle& operator=(ScopedHandle&& other) noexcept;
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ~ScopedHandle() { Close(); }

  // Neither 0 nor INVALID_HANDLE_VALUE.
  static bool IsHandleValid(Handle handle) {
    // INVALID_HANDLE_VALUE is all bits set.
    return handle != nullptr &&
           handle != reinterpret_cast<Handle>(~uintptr_t{0});
  }

  bool IsValid() const { return IsHandleValid(handle_); }
  Handle Get() const { return handle_; }

  // Closes the held handle and takes |handle|; no effect when |handle| is
  // the one already held.
  void Set(Handle handle);
  // Gives up ownership without closing; the caller owns the result.
  Handle Take();
  // Closes the held handle through the verifier; the object becomes empty.
  void Close();

 private:
  Handle handle_ = nullptr;
};

// Closes a handle that no ScopedHandle holds, through the verifier. False
// only for a protected process handle that refused to close; any other
// failed close stops the process.
bool CloseHandleWrapper(Handle handle);

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_HANDLE_H_
