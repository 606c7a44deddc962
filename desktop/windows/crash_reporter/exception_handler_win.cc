#include "desktop/windows/crash_reporter/exception_handler_win.h"

#include <stdio.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <utility>
#include <vector>

#include "base/strings/string_util_win.h"

namespace crash_reporter {

namespace {

// The process's handlers, the last installed on top, and how deep the hooks
// are nested; both under the critical section, which the first handler
// initialises and the last one deletes.
std::vector<ExceptionHandler*>* g_handler_stack = nullptr;
size_t g_handler_stack_depth = 0;
CRITICAL_SECTION g_handler_stack_lock;
std::atomic<int> g_handler_count{0};

// The C runtime's own invalid-parameter report, where it has one.
void ReportInvalidParameterToRuntime(const wchar_t* expression,
                                     const wchar_t* function,
                                     const wchar_t* file, unsigned int line,
                                     uintptr_t reserved) {
  HMODULE runtime = GetModuleHandleW(L"msvcrt.dll");
  if (!runtime) return;
  auto report = reinterpret_cast<_invalid_parameter_handler>(
      reinterpret_cast<void*>(GetProcAddress(runtime, "_invalid_parameter")));
  if (report) report(expression, function, file, line, reserved);
}

}  // namespace

// Holds the hooks' critical section for the time a hook runs and finds the
// handler in charge. Meanwhile the previous invalid-parameter and pure-call
// handlers stand in, so that such a fault inside the hook reaches them. The
// unhandled-exception filter stays: it is process-wide, and another thread
// that crashes meanwhile must wait here for this crash, not go past it to
// the system, which would end the process in mid-report. A fault inside the
// hook meets it again one level deeper, finds no handler there and goes on
// to the system.
class ExceptionHandler::HookScope {
 public:
  HookScope() {
    EnterCriticalSection(&g_handler_stack_lock);
    ++g_handler_stack_depth;
    if (g_handler_stack && g_handler_stack_depth <= g_handler_stack->size()) {
      handler_ =
          (*g_handler_stack)[g_handler_stack->size() - g_handler_stack_depth];
      handler_->RestorePreviousRuntimeHandlers();
    }
  }
  HookScope(const HookScope&) = delete;
  HookScope& operator=(const HookScope&) = delete;
  ~HookScope() {
    if (handler_) handler_->InstallRuntimeHandlers();
    --g_handler_stack_depth;
    LeaveCriticalSection(&g_handler_stack_lock);
  }

  // Null when no handler is installed at this depth.
  ExceptionHandler* handler() const { return handler_; }

 private:
  ExceptionHandler* handler_ = nullptr;
};

ExceptionHandler::ExceptionHandler(std::u16string dump_folder,
                                   FilterCallback filter,
                                   MinidumpCallback callback,
                                   void* callback_context, int handler_types,
                                   uint32_t dump_type, std::u16string pipe_name,
                                   CrashKeyEntries custom_info)
    : filter_(filter),
      callback_(callback),
      callback_context_(callback_context),
      dump_folder_(std::move(dump_folder)),
      handler_types_(handler_types) {
  if (g_handler_count.fetch_add(1) == 0)
    InitializeCriticalSection(&g_handler_stack_lock);
  client_ = std::make_unique<CrashGenerationClient>(std::move(pipe_name),
                                                    dump_type, custom_info);
  if (!client_->Register()) client_.reset();
  if (handler_types_ == kHandlerNone) return;

  EnterCriticalSection(&g_handler_stack_lock);
  if (!g_handler_stack) g_handler_stack = new std::vector<ExceptionHandler*>;
  g_handler_stack->push_back(this);
  if (handler_types_ & kHandlerException)
    previous_filter_ = SetUnhandledExceptionFilter(&HandleException);
  if (handler_types_ & kHandlerInvalidParameter) {
    previous_invalid_parameter_handler_ =
        _set_invalid_parameter_handler(&HandleInvalidParameter);
  }
  if (handler_types_ & kHandlerPureCall)
    previous_pure_call_handler_ = _set_purecall_handler(&HandlePureVirtualCall);
  LeaveCriticalSection(&g_handler_stack_lock);
}

ExceptionHandler::~ExceptionHandler() {
  if (handler_types_ != kHandlerNone) {
    EnterCriticalSection(&g_handler_stack_lock);
    if (handler_types_ & kHandlerException)
      SetUnhandledExceptionFilter(previous_filter_);
    RestorePreviousRuntimeHandlers();
    if (g_handler_stack->back() == this) {
      g_handler_stack->pop_back();
    } else {
      fprintf(stderr, "warning: removing crash handler out of order\n");
      g_handler_stack->erase(
          std::find(g_handler_stack->begin(), g_handler_stack->end(), this));
    }
    if (g_handler_stack->empty()) {
      delete g_handler_stack;
      g_handler_stack = nullptr;
    }
    LeaveCriticalSection(&g_handler_stack_lock);
  }
  if (g_handler_count.fetch_sub(1) == 1)
    DeleteCriticalSection(&g_handler_stack_lock);
}

void ExceptionHandler::InstallRuntimeHandlers() {
  if (handler_types_ & kHandlerInvalidParameter)
    _set_invalid_parameter_handler(&HandleInvalidParameter);
  if (handler_types_ & kHandlerPureCall)
    _set_purecall_handler(&HandlePureVirtualCall);
}

void ExceptionHandler::RestorePreviousRuntimeHandlers() {
  if (handler_types_ & kHandlerInvalidParameter)
    _set_invalid_parameter_handler(previous_invalid_parameter_handler_);
  if (handler_types_ & kHandlerPureCall)
    _set_purecall_handler(previous_pure_call_handler_);
}

bool ExceptionHandler::WriteMinidumpForException(
    EXCEPTION_POINTERS* exception_pointers) {
  return WriteMinidumpWithException(exception_pointers, nullptr);
}

bool ExceptionHandler::WriteMinidumpWithException(
    EXCEPTION_POINTERS* exception_pointers, const AssertionRecord* assertion) {
  if (filter_ && !filter_(callback_context_, exception_pointers, assertion))
    return false;
  bool success = client_ && client_->RequestDump(exception_pointers, assertion);
  if (callback_) {
    success =
        callback_(dump_folder_.c_str(), dump_id_.c_str(), callback_context_,
                  exception_pointers, assertion, success);
  }
  return success;
}

bool ExceptionHandler::WriteMinidumpForAssertion(const AssertionRecord& record,
                                                 DWORD code) {
  CONTEXT context;
  RtlCaptureContext(&context);
  EXCEPTION_RECORD exception = {};
  exception.ExceptionCode = code;
  exception.ExceptionAddress = reinterpret_cast<void*>(context.Rip);
  exception.NumberParameters = 3;
  exception.ExceptionInformation[0] =
      reinterpret_cast<ULONG_PTR>(&record.expression);
  exception.ExceptionInformation[1] = reinterpret_cast<ULONG_PTR>(&record.file);
  exception.ExceptionInformation[2] = record.line;
  EXCEPTION_POINTERS pointers = {&exception, &context};
  return WriteMinidumpWithException(&pointers, &record);
}

// static
LONG WINAPI
ExceptionHandler::HandleException(EXCEPTION_POINTERS* exception_pointers) {
  HookScope scope;
  ExceptionHandler* handler = scope.handler();
  if (!handler) return EXCEPTION_CONTINUE_SEARCH;
  const DWORD code = exception_pointers->ExceptionRecord->ExceptionCode;
  const bool is_debug_exception =
      code == EXCEPTION_BREAKPOINT || code == EXCEPTION_SINGLE_STEP;
  if ((!is_debug_exception || handler->handle_debug_exceptions_) &&
      handler->WriteMinidumpWithException(exception_pointers, nullptr)) {
    return EXCEPTION_EXECUTE_HANDLER;
  }
  if (handler->previous_filter_)
    return handler->previous_filter_(exception_pointers);
  return EXCEPTION_CONTINUE_SEARCH;
}

// static
void ExceptionHandler::HandleInvalidParameter(const wchar_t* expression,
                                              const wchar_t* function,
                                              const wchar_t* file,
                                              unsigned int line,
                                              uintptr_t reserved) {
  {
    HookScope scope;
    ExceptionHandler* handler = scope.handler();
    // The runtime's texts are copied with a bound: they are wide, and
    // nothing promises their length.
    const AssertionRecord record = MakeAssertionRecord(
        base::as_u16cstr(expression), base::as_u16cstr(function),
        base::as_u16cstr(file), line, AssertionType::kInvalidParameter);
    if (!handler ||
        !handler->WriteMinidumpForAssertion(record, STATUS_INVALID_PARAMETER)) {
      _invalid_parameter_handler previous =
          handler ? handler->previous_invalid_parameter_handler_ : nullptr;
      if (previous) {
        previous(expression, function, file, line, reserved);
      } else {
        ReportInvalidParameterToRuntime(expression, function, file, line,
                                        reserved);
      }
    }
  }
  exit(kAssertionExitCode);
}

// static
void ExceptionHandler::HandlePureVirtualCall() {
  {
    HookScope scope;
    ExceptionHandler* handler = scope.handler();
    const AssertionRecord record = MakeAssertionRecord(
        nullptr, nullptr, nullptr, 0, AssertionType::kPureVirtualCall);
    if (!handler || !handler->WriteMinidumpForAssertion(
                        record, STATUS_NONCONTINUABLE_EXCEPTION)) {
      _purecall_handler previous =
          handler ? handler->previous_pure_call_handler_ : nullptr;
      // Without a previous handler the runtime ends the process its own way.
      if (!previous) return;
      previous();
    }
  }
  exit(kAssertionExitCode);
}

}  // namespace crash_reporter

// gcc-built code calls this for a pure virtual call, not the C runtime's
// handler; route it to the installed pure-call handler. The runtime keeps no
// getter for it, so it is read by swapping it out and back.
extern "C" void __cxa_pure_virtual() {
  _purecall_handler handler = _set_purecall_handler(nullptr);
  _set_purecall_handler(handler);
  if (handler) handler();
  // No handler, or it returned to the runtime.
  std::terminate();
}
