// The process's user-mode exception policy: whether the system swallows
// exceptions raised inside user-mode callbacks (window procedures called
// from the kernel). The two functions exist only on some Windows versions,
// and Wine has neither, so they are looked up at run time and tests may put
// their own in place.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_EXCEPTION_POLICY_WIN_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_EXCEPTION_POLICY_WIN_H_

#include <windows.h>

namespace crash_reporter {

// The policy bit that has the system swallow callback exceptions.
inline constexpr DWORD kSwallowCallbackExceptions = 1;

struct ExceptionPolicyFunctions {
  BOOL(WINAPI* get_policy)(LPDWORD flags) = nullptr;
  BOOL(WINAPI* set_policy)(DWORD flags) = nullptr;
};

// The functions of "kernel32.dll" (each null when missing), or those put in
// place for a test.
ExceptionPolicyFunctions GetExceptionPolicyFunctions();

// Replaces the looked-up functions until called again with null. Tests only,
// before other threads use them.
void SetExceptionPolicyFunctionsForTesting(
    const ExceptionPolicyFunctions* functions);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_EXCEPTION_POLICY_WIN_H_
