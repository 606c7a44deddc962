// ExceptionHandler: the in-process half of crash reporting. It installs
// itself as the process's unhandled-exception filter, invalid-parameter
// handler and pure-call handler, and on any of these asks the crash
// reporter, through its CrashGenerationClient, to collect the crash while
// the crashing thread waits (up to 15 seconds). It never writes a dump
// itself.
//
// How each hook ends the process:
// - an unhandled exception: after a successful dump request the filter
//   answers EXCEPTION_EXECUTE_HANDLER and the system ends the process with
//   the exception code; otherwise the previous filter (or the system's
//   default handling) decides;
// - an invalid-parameter report or a pure virtual call: the process exits
//   with kAssertionExitCode, whether the request succeeded or not, so that a
//   parent never mistakes the crash for success; when the request failed,
//   the previous handler of that kind runs first. A pure call with neither a
//   successful request nor a previous handler returns to the runtime.
//
// Handlers form a process-wide stack; the hooks serialise on one critical
// section, so a second crashing thread waits for the first. While a hook
// runs, the previous invalid-parameter and pure-call handlers are back in
// place, so such a fault inside the hook reaches them; the unhandled-exception
// filter stays, and a fault inside the hook goes past it to the system. Create
// and destroy handlers on one thread; the crash client keeps its one handler
// for the life of the process.
//
// With gcc, a pure virtual call reaches __cxa_pure_virtual rather than the C
// runtime; this file defines it to call the installed pure-call handler.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_EXCEPTION_HANDLER_WIN_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_EXCEPTION_HANDLER_WIN_H_

#include <stdint.h>
#include <stdlib.h>
#include <windows.h>

#include <memory>
#include <string>

#include "desktop/windows/crash_reporter/crash_generation_client_win.h"
#include "desktop/windows/crash_reporter/crash_keys.h"
#include "desktop/windows/crash_reporter/protocol_message.h"

namespace crash_reporter {

class ExceptionHandler {
 public:
  // Decides whether a dump is requested at all; false: no request.
  using FilterCallback = bool (*)(void* context,
                                  EXCEPTION_POINTERS* exception_pointers,
                                  const AssertionRecord* assertion);
  // Sees the request's result and gives the result of the dump write.
  using MinidumpCallback = bool (*)(const char16_t* dump_folder,
                                    const char16_t* dump_id, void* context,
                                    EXCEPTION_POINTERS* exception_pointers,
                                    const AssertionRecord* assertion,
                                    bool succeeded);

  enum HandlerType : int {
    kHandlerNone = 0,
    kHandlerException = 1 << 0,
    kHandlerInvalidParameter = 1 << 1,
    kHandlerPureCall = 1 << 2,
    kHandlerAll =
        kHandlerException | kHandlerInvalidParameter | kHandlerPureCall,
  };

  // The exit code after an invalid-parameter report or a pure virtual call.
  static constexpr int kAssertionExitCode = 1;

  // Registers with the reporter at |pipe_name| (see IsOutOfProcess) and
  // installs the hooks that |handler_types| names. Callbacks may be null;
  // |custom_info| must outlive the handler.
  ExceptionHandler(std::u16string dump_folder, FilterCallback filter,
                   MinidumpCallback callback, void* callback_context,
                   int handler_types, uint32_t dump_type,
                   std::u16string pipe_name, CrashKeyEntries custom_info);
  ExceptionHandler(const ExceptionHandler&) = delete;
  ExceptionHandler& operator=(const ExceptionHandler&) = delete;
  // Puts back the hooks it replaced; a handler that is not the last one
  // installed writes a warning to standard error first.
  ~ExceptionHandler();

  // Requests a dump for exception pointers that the caller holds.
  bool WriteMinidumpForException(EXCEPTION_POINTERS* exception_pointers);
  // The filter callback, the dump request (on the calling thread), then the
  // dump callback, whose answer becomes the result.
  bool WriteMinidumpWithException(EXCEPTION_POINTERS* exception_pointers,
                                  const AssertionRecord* assertion);

  // True when the handler registered with the reporter.
  bool IsOutOfProcess() const { return client_ != nullptr; }

  // Breakpoints and single steps are handled only once this is set.
  void set_handle_debug_exceptions(bool handle) {
    handle_debug_exceptions_ = handle;
  }

  // The hooks, as installed.
  static LONG WINAPI HandleException(EXCEPTION_POINTERS* exception_pointers);
  static void HandleInvalidParameter(const wchar_t* expression,
                                     const wchar_t* function,
                                     const wchar_t* file, unsigned int line,
                                     uintptr_t reserved);
  static void HandlePureVirtualCall();

 private:
  class HookScope;

  // The invalid-parameter and pure-call handlers that |handler_types_|
  // names: this system's, or the ones they replaced.
  void InstallRuntimeHandlers();
  void RestorePreviousRuntimeHandlers();
  // Requests a dump for |record|, with an exception record of |code| built
  // from the current thread's context.
  bool WriteMinidumpForAssertion(const AssertionRecord& record, DWORD code);

  const FilterCallback filter_;
  const MinidumpCallback callback_;
  void* const callback_context_;
  const std::u16string dump_folder_;
  const std::u16string dump_id_;
  const int handler_types_;
  std::unique_ptr<CrashGenerationClient> client_;
  bool handle_debug_exceptions_ = false;

  LPTOP_LEVEL_EXCEPTION_FILTER previous_filter_ = nullptr;
  _invalid_parameter_handler previous_invalid_parameter_handler_ = nullptr;
  _purecall_handler previous_pure_call_handler_ = nullptr;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_EXCEPTION_HANDLER_WIN_H_
