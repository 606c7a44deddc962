// ScopedProcessInformation: owns the process and thread handles of a
// PROCESS_INFORMATION returned by process creation.

#ifndef BASE_PROCESS_SCOPED_PROCESS_INFORMATION_WIN_H_
#define BASE_PROCESS_SCOPED_PROCESS_INFORMATION_WIN_H_

#include <windows.h>

#include "base/win/scoped_handle.h"

namespace base {

class ScopedProcessInformation {
 public:
  ScopedProcessInformation() = default;
  explicit ScopedProcessInformation(const PROCESS_INFORMATION& info) {
    Set(info);
  }
  ScopedProcessInformation(const ScopedProcessInformation&) = delete;
  ScopedProcessInformation& operator=(const ScopedProcessInformation&) = delete;

  // Takes the handles of |info|, closing those held before.
  void Set(const PROCESS_INFORMATION& info) {
    process_handle_.Set(info.hProcess);
    thread_handle_.Set(info.hThread);
    process_id_ = info.dwProcessId;
    thread_id_ = info.dwThreadId;
  }

  bool IsValid() const { return process_handle_.IsValid(); }
  HANDLE process_handle() const { return process_handle_.Get(); }
  HANDLE thread_handle() const { return thread_handle_.Get(); }
  DWORD process_id() const { return process_id_; }
  DWORD thread_id() const { return thread_id_; }

  // Hands the process handle to the caller, who then owns it.
  HANDLE TakeProcessHandle() { return process_handle_.Take(); }

 private:
  win::ScopedHandle process_handle_;
  win::ScopedHandle thread_handle_;
  DWORD process_id_ = 0;
  DWORD thread_id_ = 0;
};

}  // namespace base

#endif  // BASE_PROCESS_SCOPED_PROCESS_INFORMATION_WIN_H_
