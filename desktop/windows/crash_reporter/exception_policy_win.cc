#include "desktop/windows/crash_reporter/exception_policy_win.h"

namespace crash_reporter {

namespace {

const ExceptionPolicyFunctions* g_functions_for_testing = nullptr;

template <typename Function>
Function LookUp(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

ExceptionPolicyFunctions GetExceptionPolicyFunctions() {
  if (g_functions_for_testing) return *g_functions_for_testing;
  ExceptionPolicyFunctions functions;
  HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  if (!kernel32) return functions;
  functions.get_policy = LookUp<decltype(functions.get_policy)>(
      kernel32, "GetProcessUserModeExceptionPolicy");
  functions.set_policy = LookUp<decltype(functions.set_policy)>(
      kernel32, "SetProcessUserModeExceptionPolicy");
  return functions;
}

void SetExceptionPolicyFunctionsForTesting(
    const ExceptionPolicyFunctions* functions) {
  g_functions_for_testing = functions;
}

}  // namespace crash_reporter
