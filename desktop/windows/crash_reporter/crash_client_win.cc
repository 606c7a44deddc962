#include "desktop/windows/crash_reporter/crash_client_win.h"

#include <psapi.h>
#include <signal.h>

#include <atomic>
#include <exception>
#include <memory>

#include "base/message_loop/message_pump_win.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/crash_key_table_win.h"
#include "desktop/windows/crash_reporter/crash_reporter_constants.h"
#include "desktop/windows/crash_reporter/exception_handler_win.h"
#include "desktop/windows/crash_reporter/exception_policy_win.h"
#include "desktop/windows/installer/common/installer_switches.h"

namespace crash_reporter {

namespace {

constexpr DWORD kEnvironmentBufferSize = 512;
constexpr DWORD kModulePathBufferSize = MAX_PATH;
// MiniDumpNormal: the reporter decides what it writes.
constexpr uint32_t kDumpType = 0;
// The window procedure's hook ends the process with this code.
constexpr UINT kWindowProcCrashExitCode = 1;

std::atomic<uint32_t> g_crash_reporter_pid{0};
std::atomic<DWORD> g_reporter_start_timeout_ms{kReporterStartTimeoutMs};
// Lives until the process ends once connected.
ExceptionHandler* g_crash_handler = nullptr;
// The thread that passed OnlyOneCrashFilter; 0 before any crash.
std::atomic<DWORD> g_crashing_thread_id{0};

// A module's "modules" entry, or empty when it is not loaded or cannot be
// described.
std::u16string DescribeModule(HMODULE module, const char16_t* name) {
  MODULEINFO info = {};
  if (!module ||
      !GetModuleInformation(GetCurrentProcess(), module, &info, sizeof(info))) {
    return std::u16string();
  }
  wchar_t path[kModulePathBufferSize];
  const DWORD length = GetModuleFileNameW(module, path, kModulePathBufferSize);
  if (length == 0 || length >= kModulePathBufferSize) return std::u16string();
  const std::u16string full_path(base::as_u16cstr(path), length);
  std::u16string module_name;
  if (name) {
    module_name = name;
  } else {
    // The main executable is named after the last part of its path.
    const size_t separator = full_path.rfind(u'\\');
    if (separator == std::u16string::npos ||
        separator + 1 == full_path.size()) {
      return std::u16string();
    }
    module_name = full_path.substr(separator + 1);
  }
  return FormatModuleListEntry(module_name,
                               reinterpret_cast<uintptr_t>(info.lpBaseOfDll),
                               info.SizeOfImage, full_path);
}

std::u16string BuildModuleList() {
  std::u16string list = DescribeModule(GetModuleHandleW(nullptr), nullptr);
  for (size_t i = 0; i < kCrashKeyModuleNameCount; ++i) {
    const char16_t* name = kCrashKeyModuleNames[i];
    list += DescribeModule(GetModuleHandleW(base::as_wcstr(name)), name);
  }
  return list;
}

// std::terminate and abort() end a gcc-built process with exit code 3 and
// reach no exception filter; a breakpoint reaches the handler instead. Not
// on the thread whose crash is being handled (a pure call that returned to
// the runtime): the filter would put it to sleep for good, and the process
// must end. Any other thread meets the filter and waits for that crash.
void BreakUnlessThisThreadCrashes() {
  if (g_crashing_thread_id.load() != GetCurrentThreadId()) DebugBreak();
}

[[noreturn]] void OnTerminate() {
  BreakUnlessThisThreadCrashes();
  abort();
}

void OnAbortSignal(int) {
  // The runtime puts the default action back before calling a handler: a
  // second thread's abort() would end the process in mid-report.
  signal(SIGABRT, &OnAbortSignal);
  BreakUnlessThisThreadCrashes();
}

}  // namespace

void DisableCallbackExceptionSwallowing() {
  const ExceptionPolicyFunctions functions = GetExceptionPolicyFunctions();
  if (!functions.get_policy || !functions.set_policy) return;
  DWORD flags = 0;
  if (functions.get_policy(&flags))
    functions.set_policy(flags & ~kSwallowCallbackExceptions);
}

bool StartCrashReporting() {
  uint32_t pid = 0;
  unsigned value = 0;
  if (base::WideStringToUintDigitsOnly(
          base::CommandLine::ForCurrentProcess()->GetSwitchValueNative(
              installer::switches::kCrashReporterPid),
          &value)) {
    pid = value;
  }
  if (pid == 0) pid = LaunchCrashReporter();
  SetCrashReporterPid(pid);
  return pid != 0;
}

uint32_t LaunchCrashReporter() {
  base::CommandLine command_line = BuildCrashReporterCommandLine();
  std::u16string event_name;
  if (!FormatObjectName(kInitEventNamePrefix, GetCurrentProcessId(),
                        &event_name)) {
    return 0;
  }
  base::win::ScopedHandle init_event(
      CreateEventW(nullptr, TRUE, FALSE, base::as_wcstr(event_name)));
  if (!init_event.IsValid()) return 0;

  std::u16string command = command_line.GetCommandLineString();
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process_info = {};
  if (!CreateProcessW(nullptr, base::as_writable_wcstr(command), nullptr,
                      nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process_info)) {
    return 0;
  }
  base::win::ScopedHandle process(process_info.hProcess);
  base::win::ScopedHandle thread(process_info.hThread);
  // A reporter that ends before it signals (metrics reporting off, say) is
  // no reporter; waiting longer would only delay the installer.
  const HANDLE handles[] = {init_event.Get(), process.Get()};
  if (WaitForMultipleObjects(2, handles, FALSE, GetReporterStartTimeoutMs()) !=
      WAIT_OBJECT_0) {
    return 0;
  }
  return process_info.dwProcessId;
}

DWORD GetReporterStartTimeoutMs() { return g_reporter_start_timeout_ms.load(); }

void SetReporterStartTimeoutForTesting(DWORD milliseconds) {
  g_reporter_start_timeout_ms.store(milliseconds);
}

base::CommandLine BuildCrashReporterCommandLine() {
  base::CommandLine command_line = base::CommandLine::CommandLineEmpty();
  command_line.AppendArguments(*base::CommandLine::ForCurrentProcess(), true);
  command_line.AppendSwitchASCII(installer::switches::kCrashReporterParentId,
                                 base::UintToString(GetCurrentProcessId()));
  return command_line;
}

uint32_t GetCrashReporterPid() { return g_crash_reporter_pid.load(); }

void SetCrashReporterPid(uint32_t pid) { g_crash_reporter_pid.store(pid); }

void ConnectToCrashReporter() {
  const uint32_t pid = GetCrashReporterPid();
  if (g_crash_handler || pid == 0) return;
  std::u16string pipe_name;
  if (!FormatObjectName(kPipeNamePrefix, pid, &pipe_name)) return;
  const CrashKeyEntries entries = CrashKeyTable::GetInstance()->GetEntries();
  auto handler = std::make_unique<ExceptionHandler>(
      std::u16string(), &OnlyOneCrashFilter, &OnCrashDumpWritten, nullptr,
      ExceptionHandler::kHandlerAll, kDumpType, std::move(pipe_name), entries);
  if (!handler->IsOutOfProcess()) return;
  // A FATAL log line ends in a breakpoint: report it like any crash.
  handler->set_handle_debug_exceptions(true);
  g_crash_handler = handler.release();
  base::SetWindowProcExceptionFilter(&WindowProcCrashHook);
  std::set_terminate(&OnTerminate);
  signal(SIGABRT, &OnAbortSignal);
}

void FillInstallerCrashKeys() {
  CrashKeyTable* table = CrashKeyTable::GetInstance();
  table->SetValue(kProcessTypeSlot, kInstallerProcessType);
  const std::u16string test = GetCrashEnvironmentString(kCrashTestVariable);
  if (!test.empty())
    table->SetValueRange(kVelautoTestFirstSlot, kVelautoTestLastSlot, test);
  const std::u16string origin = GetCrashEnvironmentString(kCrashOriginVariable);
  if (!origin.empty()) table->SetValue(kOriginSlot, origin.c_str());
  table->SetValueRange(kModulesFirstSlot, kModulesLastSlot, BuildModuleList());
}

std::u16string GetCrashEnvironmentString(const char16_t* name) {
  wchar_t buffer[kEnvironmentBufferSize];
  const DWORD length = GetEnvironmentVariableW(base::as_wcstr(name), buffer,
                                               kEnvironmentBufferSize);
  if (length == 0 || length >= kEnvironmentBufferSize) return std::u16string();
  return std::u16string(base::as_u16cstr(buffer), length);
}

bool OnlyOneCrashFilter(void* context, EXCEPTION_POINTERS* exception_pointers,
                        const AssertionRecord* assertion) {
  DWORD expected = 0;
  if (g_crashing_thread_id.compare_exchange_strong(expected,
                                                   GetCurrentThreadId())) {
    return true;
  }
  // A second crashing thread must not compete with the first one's dump;
  // the process ends with the first.
  for (;;) Sleep(INFINITE);
}

bool OnCrashDumpWritten(const char16_t* dump_folder, const char16_t* dump_id,
                        void* context, EXCEPTION_POINTERS* exception_pointers,
                        const AssertionRecord* assertion, bool succeeded) {
  return succeeded;
}

LONG WindowProcCrashHook(EXCEPTION_POINTERS* exception_pointers) {
  if (g_crash_handler)
    g_crash_handler->WriteMinidumpForException(exception_pointers);
  TerminateProcess(GetCurrentProcess(), kWindowProcCrashExitCode);
  return EXCEPTION_CONTINUE_SEARCH;
}

ExceptionHandler* GetCrashHandler() { return g_crash_handler; }

}  // namespace crash_reporter
