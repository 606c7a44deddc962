#include "base/win/scoped_handle.h"

#include <windows.h>

#include <utility>

#include "base/location.h"
#include "base/win/scoped_handle_verifier.h"

namespace base {
namespace win {

namespace {

// Keeps the thread's last-error value across a wrapper operation.
class PreserveLastError {
 public:
  PreserveLastError() : error_(GetLastError()) {}
  ~PreserveLastError() { SetLastError(error_); }

 private:
  DWORD error_;
};

}  // namespace

// The operations stay out of line so that the return address names the
// caller in the verifier's records.

__attribute__((noinline)) ScopedHandle::ScopedHandle(Handle handle) {
  if (!IsHandleValid(handle)) return;
  PreserveLastError preserve;
  handle_ = handle;
  StartHandleTracking(handle_, this, __builtin_return_address(0),
                      GetProgramCounter());
}

__attribute__((noinline))
ScopedHandle::ScopedHandle(ScopedHandle&& other) noexcept {
  Set(other.Take());
}

__attribute__((noinline)) ScopedHandle& ScopedHandle::operator=(
    ScopedHandle&& other) noexcept {
  if (this != &other) Set(other.Take());
  return *this;
}

__attribute__((noinline)) void ScopedHandle::Set(Handle handle) {
  if (handle == handle_) return;
  PreserveLastError preserve;
  Close();
  if (!IsHandleValid(handle)) return;
  handle_ = handle;
  StartHandleTracking(handle_, this, __builtin_return_address(0),
                      GetProgramCounter());
}

__attribute__((noinline)) Handle ScopedHandle::Take() {
  Handle handle = handle_;
  if (IsHandleValid(handle)) {
    PreserveLastError preserve;
    StopHandleTracking(handle, this, __builtin_return_address(0),
                       GetProgramCounter());
  }
  handle_ = nullptr;
  return handle;
}

__attribute__((noinline)) void ScopedHandle::Close() {
  if (!IsHandleValid(handle_)) return;
  PreserveLastError preserve;
  StopHandleTracking(handle_, this, __builtin_return_address(0),
                     GetProgramCounter());
  GetActiveVerifier()->CloseHandle(handle_);
  handle_ = nullptr;
}

bool CloseHandleWrapper(Handle handle) {
  return GetActiveVerifier()->CloseHandle(handle);
}

}  // namespace win
}  // namespace base
