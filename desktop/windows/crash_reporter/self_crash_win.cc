#include "desktop/windows/crash_reporter/self_crash_win.h"

#include <stdlib.h>

#include <atomic>
#include <string>

#include "base/command_line.h"
#include "base/logging.h"
#include "base/strings/string_util_win.h"
#include "base/time/time.h"
#include "base/win/registry.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/crash_reporter_constants.h"
#include "desktop/windows/crash_reporter/util/crash_upload_urls.h"
#include "desktop/windows/installer/common/installer_names.h"
#include "desktop/windows/installer/common/installer_switches.h"

namespace crash_reporter {

namespace {

constexpr uint64_t kFileTimeUnitsPerDay = 864000000000ull;
constexpr DWORD kInvalidParameterCode = 0xC000000D;  // STATUS_INVALID_PARAMETER
constexpr DWORD kPureCallCode = 0xC0000025;  // STATUS_NONCONTINUABLE_EXCEPTION

// Read by the reporting instance from outside, at the address its command
// line names.
SelfCrashRecord g_record;
std::atomic<int> g_crashing{0};
std::atomic<bool> g_hooks_installed{false};
std::atomic<bool> g_set_up{false};
HANDLE g_event = nullptr;
std::u16string* g_command_line = nullptr;
std::atomic<DWORD> g_report_wait_ms{kSelfCrashReportWaitMs};

// Owns the two handles of a started process. Closed directly, not through
// ScopedHandle: the crash being reported may be the handle verifier's own,
// raised on this thread while it holds the verifier's lock.
class ScopedProcessInformation {
 public:
  ScopedProcessInformation() = default;
  ScopedProcessInformation(const ScopedProcessInformation&) = delete;
  ScopedProcessInformation& operator=(const ScopedProcessInformation&) = delete;
  ~ScopedProcessInformation() {
    if (info_.hThread) CloseHandle(info_.hThread);
    if (info_.hProcess) CloseHandle(info_.hProcess);
  }

  // For CreateProcessW to fill in.
  PROCESS_INFORMATION* Receive() { return &info_; }

 private:
  PROCESS_INFORMATION info_ = {};
};

// Only the first crashing thread goes on; the others stop for good.
bool EnterCrash() {
  int expected = 0;
  if (g_crashing.compare_exchange_strong(expected, 1)) return true;
  for (;;) SuspendThread(GetCurrentThread());
}

// Records an assertion of |type| with a context taken here, and reports it.
void ReportAssertion(const AssertionRecord& assertion, DWORD code) {
  CONTEXT context = {};
  RtlCaptureContext(&context);
  EXCEPTION_RECORD exception = {};
  exception.ExceptionCode = code;
  exception.ExceptionAddress = reinterpret_cast<void*>(context.Rip);
  EXCEPTION_POINTERS pointers = {&exception, &context};
  g_record.assertion = assertion;
  g_record.thread_id = GetCurrentThreadId();
  g_record.exception_pointers = reinterpret_cast<uint64_t>(&pointers);
  LaunchSelfCrashReporter();
}

LONG WINAPI SelfCrashFilter(EXCEPTION_POINTERS* pointers) {
  EnterCrash();
  if (g_set_up.load()) {
    g_record.assertion.type = static_cast<uint32_t>(AssertionType::kNone);
    g_record.thread_id = GetCurrentThreadId();
    g_record.exception_pointers = reinterpret_cast<uint64_t>(pointers);
    LaunchSelfCrashReporter();
  }
  return EXCEPTION_EXECUTE_HANDLER;
}

void SelfCrashInvalidParameterHandler(const wchar_t* expression,
                                      const wchar_t* function,
                                      const wchar_t* file, unsigned int line,
                                      uintptr_t) {
  EnterCrash();
  if (g_set_up.load()) {
    ReportAssertion(
        MakeAssertionRecord(reinterpret_cast<const char16_t*>(expression),
                            reinterpret_cast<const char16_t*>(function),
                            reinterpret_cast<const char16_t*>(file), line,
                            AssertionType::kInvalidParameter),
        kInvalidParameterCode);
  }
  exit(0);
}

void SelfCrashPurecallHandler() {
  EnterCrash();
  if (g_set_up.load()) {
    ReportAssertion(MakeAssertionRecord(nullptr, nullptr, nullptr, 0,
                                        AssertionType::kPureVirtualCall),
                    kPureCallCode);
  }
  exit(0);
}

// The company key, opened for reading and writing the value.
bool OpenCompanyKey(base::win::RegKey* key) {
  const LONG result = key->Create(HKEY_CURRENT_USER,
                                  installer::GetCompanyRegistryPath().c_str(),
                                  KEY_QUERY_VALUE | KEY_SET_VALUE);
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << "Could not open the company key: "
               << logging::SystemErrorCodeToString(result);
    return false;
  }
  return true;
}

bool WriteFileTime(base::win::RegKey* key, uint64_t file_time) {
  return key->WriteValue(kLastReporterCrashValue, &file_time, sizeof(file_time),
                         REG_QWORD) == ERROR_SUCCESS;
}

}  // namespace

void InstallCrashReporterSelfCrashHooks() {
  bool expected = false;
  if (!g_hooks_installed.compare_exchange_strong(expected, true)) return;
  SetUnhandledExceptionFilter(&SelfCrashFilter);
  _set_invalid_parameter_handler(&SelfCrashInvalidParameterHandler);
  _set_purecall_handler(&SelfCrashPurecallHandler);
}

bool SetUpSelfCrashReporting(bool with_minidump) {
  if (g_set_up.load()) return true;
  char16_t program[MAX_PATH] = {};
  const DWORD length =
      GetModuleFileNameW(nullptr, base::as_writable_wcstr(program), MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    PLOG(ERROR) << "GetModuleFileName failed";
    return false;
  }
  std::u16string event_name;
  if (!FormatObjectName(kSelfCrashEventPrefix, GetCurrentProcessId(),
                        &event_name)) {
    return false;
  }
  g_event = CreateEventW(nullptr, TRUE, FALSE, base::as_wcstr(event_name));
  if (!g_event) {
    PLOG(ERROR) << "Could not create the own-crash event";
    return false;
  }

  // The reporting instance runs with this process's switches, so that it
  // finds the same user-data folder and features.
  base::CommandLine command_line =
      base::CommandLine::CommandLineFromProgram(base::FilePath(program));
  if (const base::CommandLine* current = base::CommandLine::ForCurrentProcess())
    command_line.AppendArguments(*current, /*include_program=*/false);
  command_line.AppendSwitchNative(
      installer::switches::kCrashReporterExceptionInfo,
      Uint64ToWString(reinterpret_cast<uint64_t>(&g_record)));
  command_line.AppendSwitchNative(installer::switches::kCrashReporterParentId,
                                  UintToWString(GetCurrentProcessId()));
  if (with_minidump) command_line.AppendSwitch(kMinidumpSwitch);
  g_command_line = new std::u16string(command_line.GetCommandLineString());
  g_set_up.store(true);
  return true;
}

DWORD GetSelfCrashReportWaitMs() { return g_report_wait_ms.load(); }

void SetSelfCrashReportWaitForTesting(DWORD milliseconds) {
  g_report_wait_ms.store(milliseconds);
}

void LaunchSelfCrashReporter() {
  if (!g_command_line) return;
  // CreateProcessW may write into the command line.
  std::u16string command_line = *g_command_line;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  ScopedProcessInformation process;
  if (!CreateProcessW(nullptr, base::as_writable_wcstr(command_line), nullptr,
                      nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      process.Receive())) {
    return;
  }
  if (g_event)
    WaitForSingleObject(g_event, GetSelfCrashReportWaitMs());
  else
    Sleep(GetSelfCrashReportWaitMs());
}

void SignalSelfCrashEvent(uint32_t pid) {
  std::u16string name;
  if (!FormatObjectName(kSelfCrashEventPrefix, pid, &name)) return;
  base::win::ScopedHandle event(
      OpenEventW(EVENT_MODIFY_STATE, FALSE, base::as_wcstr(name)));
  if (!event.IsValid()) {
    PLOG(ERROR) << "Could not open the own-crash event of " << pid;
    return;
  }
  SetEvent(event.Get());
}

bool GetDaysSinceLastReporterCrash(int64_t* days) {
  base::win::RegKey key;
  if (!OpenCompanyKey(&key)) return false;
  uint64_t stored = 0;
  DWORD type = 0;
  DWORD size = sizeof(stored);
  const LONG result =
      RegQueryValueExW(key.Handle(), base::as_wcstr(kLastReporterCrashValue),
                       nullptr, &type, reinterpret_cast<BYTE*>(&stored), &size);
  if (result == ERROR_FILE_NOT_FOUND) {
    stored = 0;
    if (!WriteFileTime(&key, stored)) return false;
  } else if (result != ERROR_SUCCESS || type != REG_QWORD ||
             size != sizeof(stored)) {
    return false;
  }
  const uint64_t now = base::Time::Now().ToFileTimeValue();
  if (stored > now) return false;
  *days = static_cast<int64_t>((now - stored) / kFileTimeUnitsPerDay);
  return true;
}

bool StoreLastReporterCrashTime(const SYSTEMTIME& time) {
  FILETIME file_time;
  if (!SystemTimeToFileTime(&time, &file_time)) return false;
  base::win::RegKey key;
  return OpenCompanyKey(&key) &&
         WriteFileTime(&key, (uint64_t{file_time.dwHighDateTime} << 32) |
                                 file_time.dwLowDateTime);
}

}  // namespace crash_reporter
