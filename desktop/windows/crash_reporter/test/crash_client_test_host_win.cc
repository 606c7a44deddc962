// A watched installer process for the crash client's tests. It runs the
// client's start-up in the entry point's order, prints what it found and the
// id of the thread about to crash, and crashes as its switches say
// (crash_client_test_host_switches.h). Started as a reporter, it stands in
// for one; it can also serve the crash pipe and die in mid-request.

#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>

#include "base/at_exit.h"
#include "base/bind.h"
#include "base/command_line.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/message_loop/message_pump_win.h"
#include "base/run_loop.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/test/child_process_win.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/crash_client_win.h"
#include "desktop/windows/crash_reporter/crash_generation_client_win.h"
#include "desktop/windows/crash_reporter/crash_generation_server_win.h"
#include "desktop/windows/crash_reporter/crash_reporter_constants.h"
#include "desktop/windows/crash_reporter/exception_policy_win.h"
#include "desktop/windows/crash_reporter/test/crash_client_test_host_switches.h"
#include "desktop/windows/installer/common/installer_switches.h"

namespace crash_reporter {
namespace test {

// A pure virtual call as gcc code makes it: through the vtable of a base
// under construction. Outside the unnamed namespace, so that the compiler
// cannot know every class of the hierarchy and call the derived one directly.
class PureBase {
 public:
  PureBase();
  virtual ~PureBase() = default;
  virtual void Run() = 0;
};
PureBase* volatile g_under_construction = nullptr;
__attribute__((noinline)) void CallThroughBase() {
  g_under_construction->Run();
}
PureBase::PureBase() {
  g_under_construction = this;
  CallThroughBase();
}
class PureDerived : public PureBase {
 public:
  void Run() override {}
};

namespace {

void PrintValue(const char* label, unsigned long long value) {
  printf("%s %llu\n", label, value);
  fflush(stdout);
}

void PrintCrashingThread() { PrintValue(kThreadLabel, GetCurrentThreadId()); }

// The exception-policy functions that Wine lacks.
DWORD g_fake_policy = 0;
BOOL WINAPI FakeGetPolicy(LPDWORD flags) {
  *flags = g_fake_policy;
  return TRUE;
}
BOOL WINAPI FakeSetPolicy(DWORD flags) {
  g_fake_policy = flags;
  return TRUE;
}
const ExceptionPolicyFunctions kFakePolicyFunctions = {&FakeGetPolicy,
                                                       &FakeSetPolicy};

[[noreturn]] void NullWrite() {
  volatile int* volatile address = nullptr;
  *address = 1;
  abort();
}

void RunIfArmed(void (*task)(base::RunLoop*), base::RunLoop* run_loop,
                const bool* armed, bool* ran_early) {
  if (*armed)
    task(run_loop);
  else
    *ran_early = true;
}

// Runs |task| inside the UI pump's window procedure, as the pump's timer
// message runs a delayed task: the task waits in the delayed queue until it
// is due, and the timer message is the first message of the run. Should a
// loaded machine let the delay pass before the pump has taken the task, the
// pump runs it at once, outside the procedure: unarmed, it only notes that,
// and it is posted again.
void RunInUiMessageHandler(void (*task)(base::RunLoop*)) {
  base::MessageLoop loop(base::MessageLoop::TYPE_UI);
  base::RunLoop run_loop;
  bool armed = false;
  bool ran_early = true;
  while (ran_early) {
    ran_early = false;
    loop.PostDelayedTask(
        CURRENT_LOCATION,
        base::Bind(&RunIfArmed, task, &run_loop, &armed, &ran_early),
        base::TimeDelta::FromMilliseconds(50));
    base::RunLoop().RunUntilIdle();
  }
  armed = true;
  Sleep(80);
  auto* pump = static_cast<base::MessagePumpForUI*>(loop.pump());
  PostMessageW(pump->message_window(), WM_TIMER, reinterpret_cast<WPARAM>(pump),
               0);
  run_loop.Run();
}

void UiNullWrite(base::RunLoop*) {
  PrintCrashingThread();
  NullWrite();
}

void UiOutputDebugString(base::RunLoop* run_loop) {
  // Both raise an exception that is handled inside the handler.
  OutputDebugStringA("crash client test host\n");
  try {
    throw std::runtime_error("caught inside the handler");
  } catch (const std::runtime_error&) {
  }
  PrintValue("handled", 1);
  run_loop->Quit();
}

void CrashOnTwoThreads() {
  base::win::ScopedHandle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::atomic<int> ready{0};
  auto crash = [&] {
    PrintCrashingThread();
    ++ready;
    WaitForSingleObject(go.Get(), INFINITE);
    NullWrite();
  };
  std::thread first(crash);
  std::thread second(crash);
  while (ready.load() < 2) Sleep(1);
  SetEvent(go.Get());
  first.join();
  second.join();
}

int Crash(const std::string& kind) {
  if (kind == kCrashNone) return 0;
  if (kind == kCrashUiNullWrite) {
    RunInUiMessageHandler(&UiNullWrite);
    return 0;
  }
  if (kind == kCrashUiOutputDebugString) {
    RunInUiMessageHandler(&UiOutputDebugString);
    return 0;
  }
  if (kind == kCrashTwoThreads) {
    CrashOnTwoThreads();
    return 0;
  }
  PrintCrashingThread();
  if (kind == kCrashNullWrite) NullWrite();
  if (kind == kCrashFatalLog) LOG(FATAL) << "fatal log line";
  if (kind == kCrashCheck) CHECK(kind.empty());
  if (kind == kCrashImmediate) logging::ImmediateCrash();
  if (kind == kCrashPureCall) {
    PureDerived derived;
    derived.Run();
  }
  if (kind == kCrashInvalidParameter) {
    // Wine's runtime never calls the handler: call it as the runtime would.
    const std::u16string expression(kInvalidParameterExpressionLength, u'e');
    _get_invalid_parameter_handler()(base::as_wcstr(expression), L"Function",
                                     L"file.cc", kInvalidParameterLine, 0);
  }
  if (kind == kCrashCxxException) throw std::runtime_error("uncaught");
  if (kind == kCrashStackOverflow)
    RaiseException(STATUS_STACK_OVERFLOW, 0, 0, nullptr);
  printf("unknown crash %s\n", kind.c_str());
  return 2;
}

// Stands in for a launched reporter of the process named by the switch.
int RunStandInReporter(const base::CommandLine& command_line) {
  unsigned parent = 0;
  base::StringToUint(command_line.GetSwitchValueASCII(
                         installer::switches::kCrashReporterParentId),
                     &parent);
  const std::string behaviour = command_line.GetSwitchValueASCII(kStandIn);
  if (behaviour == "exit") return kStandInExitCode;
  if (behaviour == "signal") {
    std::u16string name;
    FormatObjectName(kInitEventNamePrefix, parent, &name);
    base::win::ScopedHandle event(
        OpenEventW(EVENT_MODIFY_STATE, FALSE, base::as_wcstr(name)));
    SetEvent(event.Get());
  }
  base::win::ScopedHandle parent_process(
      OpenProcess(SYNCHRONIZE, FALSE, parent));
  WaitForSingleObject(parent_process.Get(), INFINITE);
  return 0;
}

// Returns the event's handle: a sleeping host keeps it, so that its
// handles stay as they were when it said it was ready.
base::win::ScopedHandle SignalReady(const base::CommandLine& command_line) {
  base::win::ScopedHandle ready(OpenEventW(
      EVENT_MODIFY_STATE, FALSE,
      base::as_wcstr(command_line.GetSwitchValueNative(kReadyEvent))));
  SetEvent(ready.Get());
  return ready;
}

void DieInDumpCallback(void*, ClientInfo*, const std::u16string*) {
  TerminateProcess(GetCurrentProcess(), kServerKilledExitCode);
}

int ServeAndDie(const base::CommandLine& command_line) {
  std::u16string pipe_name;
  FormatObjectName(kPipeNamePrefix, GetCurrentProcessId(), &pipe_name);
  CrashGenerationServer server(pipe_name, nullptr, &DieInDumpCallback, nullptr);
  if (!server.Start()) return 1;
  SignalReady(command_line);
  base::WaitForParentToEnd();
  return 0;
}

int Run() {
  base::AtExitManager at_exit;
  base::CommandLine::Init();
  const base::CommandLine& command_line =
      *base::CommandLine::ForCurrentProcess();
  if (command_line.HasSwitch(installer::switches::kCrashReporterParentId))
    return RunStandInReporter(command_line);
  const std::string mode = command_line.GetSwitchValueASCII(kMode);
  if (mode == kModeServeAndDie) return ServeAndDie(command_line);
  if (mode == kModeSleep) {
    const base::win::ScopedHandle ready = SignalReady(command_line);
    base::WaitForParentToEnd();
    return 0;
  }
  unsigned wait_ms = 0;
  if (base::StringToUint(command_line.GetSwitchValueASCII(kReporterStartWait),
                         &wait_ms)) {
    SetReporterStartTimeoutForTesting(wait_ms);
  }
  if (base::StringToUint(command_line.GetSwitchValueASCII(kDumpRequestWait),
                         &wait_ms)) {
    CrashGenerationClient::SetDumpRequestTimeoutForTesting(wait_ms);
  }
  unsigned fake_policy = 0;
  if (base::StringToUint(command_line.GetSwitchValueASCII(kFakeExceptionPolicy),
                         &fake_policy)) {
    g_fake_policy = fake_policy;
    SetExceptionPolicyFunctionsForTesting(&kFakePolicyFunctions);
  }

  // The entry point's order.
  const base::TimeTicks start = base::TimeTicks::Now();
  DisableCallbackExceptionSwallowing();
  if (StartCrashReporting()) ConnectToCrashReporter();
  FillInstallerCrashKeys();
  PrintValue(kElapsedLabel, (base::TimeTicks::Now() - start).InMilliseconds());
  PrintValue(kReporterLabel, GetCrashReporterPid());
  PrintValue(kConnectedLabel, GetCrashHandler() != nullptr);
  PrintValue(kPolicyLabel, g_fake_policy);
  if (mode == kModeStart) return 0;
  return Crash(command_line.GetSwitchValueASCII(kCrash));
}

}  // namespace
}  // namespace test
}  // namespace crash_reporter

int wmain() { return crash_reporter::test::Run(); }
