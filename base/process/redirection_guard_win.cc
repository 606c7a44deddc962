#include "base/process/redirection_guard_win.h"

#include <windows.h>

namespace base {

bool EnableRedirectionGuard() {
  // Looked up: the calls are missing before Windows 8.
  using SetPolicy = BOOL(WINAPI*)(PROCESS_MITIGATION_POLICY, PVOID, SIZE_T);
  using GetPolicy =
      BOOL(WINAPI*)(HANDLE, PROCESS_MITIGATION_POLICY, PVOID, SIZE_T);
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  const auto set = reinterpret_cast<SetPolicy>(reinterpret_cast<void*>(
      ::GetProcAddress(kernel, "SetProcessMitigationPolicy")));
  const auto get = reinterpret_cast<GetPolicy>(reinterpret_cast<void*>(
      ::GetProcAddress(kernel, "GetProcessMitigationPolicy")));
  if (!set || !get) {
    ::SetLastError(ERROR_NOT_SUPPORTED);
    return false;
  }
  PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY policy = {};
  policy.EnforceRedirectionTrust = 1;
  if (!set(ProcessRedirectionTrustPolicy, &policy, sizeof(policy)))
    return false;
  // A system may answer success without enforcing it: only what reads back
  // counts.
  PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY now = {};
  if (!get(::GetCurrentProcess(), ProcessRedirectionTrustPolicy, &now,
           sizeof(now)) ||
      !now.EnforceRedirectionTrust) {
    ::SetLastError(ERROR_NOT_SUPPORTED);
    return false;
  }
  return true;
}

}  // namespace base
