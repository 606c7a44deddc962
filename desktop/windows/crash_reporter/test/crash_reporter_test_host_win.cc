// A crash host for the crash reporter's tests: a real installer process
// tree in small. See crash_reporter_test_host_switches.h.

#include <stdio.h>
#include <windows.h>

#include <string>

#include "base/at_exit.h"
#include "base/command_line.h"
#include "base/logging.h"
#include "base/process/launch.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/win/scoped_handle.h"
#include "base/win/scoped_handle_verifier.h"
#include "desktop/windows/crash_reporter/crash_client_win.h"
#include "desktop/windows/crash_reporter/crash_generation_client_win.h"
#include "desktop/windows/crash_reporter/crash_reporter_constants.h"
#include "desktop/windows/crash_reporter/crash_reporter_main_win.h"
#include "desktop/windows/crash_reporter/minidump_writer_win.h"
#include "desktop/windows/crash_reporter/self_crash_win.h"
#include "desktop/windows/crash_reporter/test/crash_reporter_test_host_switches.h"
#include "desktop/windows/installer/common/installer_switches.h"

namespace {

using namespace crash_reporter::test;

void PrintValue(const char* label, uint64_t value) {
  printf("%s %llu\n", label, static_cast<unsigned long long>(value));
  fflush(stdout);
}

[[noreturn]] void NullWrite() {
  *static_cast<volatile int*>(nullptr) = 0;
  __builtin_unreachable();
}

// A handle owned twice: the verifier stops the process.
void OwnAHandleTwice() {
  const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  base::win::ScopedHandle first(event);
  base::win::ScopedHandle second(event);
}

void Crash(const std::string& kind, const char* thread_label) {
  if (kind.empty() || kind == kCrashNone) return;
  PrintValue(thread_label, GetCurrentThreadId());
  if (kind == kCrashNullWrite) NullWrite();
  if (kind == kCrashFatalLog) LOG(FATAL) << "fatal check failed";
}

// Starts this program as a child served by the same reporter and waits for
// its end; prints its exit code.
void RunChild(const std::string& crash) {
  base::CommandLine child = base::CommandLine::CommandLineFromProgram(
      base::CommandLine::ForCurrentProcess()->GetProgram());
  child.AppendSwitchASCII(
      installer::switches::kCrashReporterPid,
      base::UintToString(crash_reporter::GetCrashReporterPid()));
  child.AppendSwitchASCII(kCrash, crash);
  child.AppendSwitch(kChildThreadLabel);
  const base::CommandLine& own = *base::CommandLine::ForCurrentProcess();
  if (own.HasSwitch(kReportWait))
    child.AppendSwitchASCII(kReportWait, own.GetSwitchValueASCII(kReportWait));
  base::LaunchOptions options;
  options.inherit_handles = true;
  options.stdin_handle = GetStdHandle(STD_INPUT_HANDLE);
  options.stdout_handle = GetStdHandle(STD_OUTPUT_HANDLE);
  options.stderr_handle = GetStdHandle(STD_ERROR_HANDLE);
  base::Process process = base::LaunchProcessFromCommandLine(child, options);
  if (!process.IsValid()) return;
  WaitForSingleObject(process.Handle(), INFINITE);
  DWORD exit_code = 0;
  GetExitCodeProcess(process.Handle(), &exit_code);
  PrintValue(kChildExitLabel, exit_code);
}

int RunClient(const base::CommandLine& command_line) {
  base::AtExitManager at_exit;
  crash_reporter::DisableCallbackExceptionSwallowing();
  if (crash_reporter::StartCrashReporting())
    crash_reporter::ConnectToCrashReporter();
  crash_reporter::FillInstallerCrashKeys();
  PrintValue(kReporterLabel, crash_reporter::GetCrashReporterPid());
  if (command_line.HasSwitch(kChild))
    RunChild(command_line.GetSwitchValueASCII(kChild));
  if (command_line.HasSwitch(kWaitEvent)) {
    const std::u16string name = command_line.GetSwitchValueNative(kWaitEvent);
    HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, base::as_wcstr(name));
    if (event) {
      WaitForSingleObject(event, INFINITE);
      CloseHandle(event);
    }
  }
  Crash(command_line.GetSwitchValueASCII(kCrash),
        command_line.HasSwitch(kChildThreadLabel) ? kChildThreadLabel
                                                  : kThreadLabel);
  return 0;
}

// Crashes as a reporter whose self-crash reporting is set up, when asked.
void CrashAsReporter(const base::CommandLine& command_line) {
  const std::string mode = command_line.GetSwitchValueASCII(kReporterCrash);
  const bool reporting =
      command_line.HasSwitch(installer::switches::kCrashReporterExceptionInfo);
  const bool embedded = command_line.HasSwitch(crash_reporter::kMinidumpSwitch);
  if (mode.empty() || embedded) return;
  if (reporting && mode != kReporterCrashTwice) return;
  crash_reporter::InstallCrashReporterSelfCrashHooks();
  if (reporting) {
    unsigned parent = 0;
    base::StringToUint(command_line.GetSwitchValueASCII(
                           installer::switches::kCrashReporterParentId),
                       &parent);
    crash_reporter::SignalSelfCrashEvent(parent);
  }
  crash_reporter::SetUpSelfCrashReporting(/*with_minidump=*/reporting);
  if (mode == kReporterCrashVerifier) OwnAHandleTwice();
  NullWrite();
}

// The waits of kReportWait, when given.
void SetReportWaits(const base::CommandLine& command_line) {
  unsigned wait_ms = 0;
  if (!base::StringToUint(command_line.GetSwitchValueASCII(kReportWait),
                          &wait_ms)) {
    return;
  }
  crash_reporter::SetReporterStartTimeoutForTesting(wait_ms);
  crash_reporter::CrashGenerationClient::SetDumpRequestTimeoutForTesting(
      wait_ms);
  crash_reporter::SetSelfCrashReportWaitForTesting(wait_ms);
}

}  // namespace

// Exported as the installer exports it, so that the handle verifier is on
// here as in the product.
extern "C" __declspec(dllexport) void* GetHandleVerifier() {
  return base::win::GetHandleVerifierForExport();
}

int wmain() {
  base::CommandLine::Init();
  const base::CommandLine& command_line =
      *base::CommandLine::ForCurrentProcess();
  SetReportWaits(command_line);
  if (!command_line.HasSwitch(installer::switches::kCrashReporterParentId))
    return RunClient(command_line);
  uint64_t own_dump_limit = 0;
  if (base::StringToUint64(command_line.GetSwitchValueASCII(kOwnDumpLimit),
                           &own_dump_limit)) {
    crash_reporter::SetMinidumpSizeLimitsForTesting(
        crash_reporter::kClientMinidumpSizeLimit, own_dump_limit);
  }
  CrashAsReporter(command_line);
  crash_reporter::RunCrashReporter(command_line);
  return 0;
}
