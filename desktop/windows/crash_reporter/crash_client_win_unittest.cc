#include "desktop/windows/crash_reporter/crash_client_win.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/crash_generation_server_win.h"
#include "desktop/windows/crash_reporter/crash_reporter_constants.h"
#include "desktop/windows/crash_reporter/test/crash_client_test_host_switches.h"
#include "desktop/windows/crash_reporter/test/crash_test_util_win.h"
#include "desktop/windows/installer/common/installer_switches.h"
#include "desktop/windows/installer/common/version_info.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace test {
namespace {

// Exception policy flags the host's fake functions start with; the start-up
// clears the swallowing bit.
constexpr unsigned kFakePolicy = 0x7;
constexpr unsigned kPolicyAfterStartUp = 0x6;

// How long the host waits for its reporter where the test means "until it
// answers": far longer than a minidump takes under Wine on a loaded machine
// (seconds), and shorter than CTest's limit, so that a wait that runs out
// fails with the test's own message.
constexpr DWORD kLongWaitMs = 240000;

std::string OwnPid() { return base::UintToString(GetCurrentProcessId()); }

// One complete "modules" entry: name, base, size, path.
struct ModuleEntry {
  std::u16string name;
  uint64_t base = 0;
  uint64_t size = 0;
  std::u16string path;
};

// The complete entries of a module list (a cut last one is dropped); false
// when an entry does not parse.
bool ParseModuleList(const std::u16string& list,
                     std::vector<ModuleEntry>* entries) {
  size_t start = 0;
  for (size_t end; (end = list.find(u"::", start)) != std::u16string::npos;
       start = end + 2) {
    const std::u16string entry = list.substr(start, end - start);
    const size_t first = entry.find(u':');
    const size_t second = entry.find(u':', first + 1);
    const size_t third = entry.find(u':', second + 1);
    if (first == std::u16string::npos || second == std::u16string::npos ||
        third == std::u16string::npos) {
      return false;
    }
    ModuleEntry module;
    module.name = entry.substr(0, first);
    const std::string base =
        base::UTF16ToASCII(entry.substr(first + 1, second - first - 1));
    const std::string size =
        base::UTF16ToASCII(entry.substr(second + 1, third - second - 1));
    if (base.size() != 16 ||
        base.find_first_of("abcdef") != std::string::npos ||
        !base::HexStringToUInt64(base, &module.base) ||
        !base::HexStringToUInt64(size, &module.size) ||
        size.find_first_of("ABCDEF") != std::string::npos) {
      return false;
    }
    module.path = entry.substr(third + 1);
    entries->push_back(module);
  }
  return true;
}

struct CrashKind {
  const char* kind;
  DWORD exit_code;
  // 0: no crash is reported.
  DWORD exception_code;
  AssertionType assertion = AssertionType::kNone;
  // A minidump costs seconds under Wine: one for each way the exception
  // pointers are made.
  bool minidump = false;
};

void PrintTo(const CrashKind& kind, std::ostream* out) { *out << kind.kind; }

// A reporter's server under this test's process id, as the host's
// "crash-reporter-pid" names it.
class CrashClientTest : public testing::Test {
 protected:
  void StartServer(bool write_minidumps) {
    std::u16string pipe_name;
    ASSERT_TRUE(
        FormatObjectName(kPipeNamePrefix, GetCurrentProcessId(), &pipe_name));
    recorder_ = std::make_unique<CrashRecorder>(write_minidumps);
    server_ = std::make_unique<CrashGenerationServer>(
        pipe_name, nullptr, &CrashRecorder::OnDumpRequest, recorder_.get());
    ASSERT_TRUE(server_->Start());
  }

  // What the server saw; its shutdown waits for a dump callback that is
  // still running.
  std::vector<ReportedCrash> StopServer() {
    server_.reset();
    return recorder_->crashes();
  }

  // The host stays alive until the server has answered its dump request
  // (or |dump_wait_ms| have passed).
  HostRun RunCrash(const char* kind, DWORD dump_wait_ms = kLongWaitMs) {
    return RunHost({{installer::switches::kCrashReporterPid, OwnPid()},
                    {kFakeExceptionPolicy, base::UintToString(kFakePolicy)},
                    {kDumpRequestWait, base::UintToString(dump_wait_ms)},
                    {kCrash, kind}},
                   {{kCrashOriginVariable, u"unit-test"}});
  }

  std::unique_ptr<CrashRecorder> recorder_;
  std::unique_ptr<CrashGenerationServer> server_;
};

class CrashKindTest : public CrashClientTest,
                      public testing::WithParamInterface<CrashKind> {};

TEST_P(CrashKindTest, ReportsOnceAndExitsWithItsCode) {
  const CrashKind& expected = GetParam();
  StartServer(expected.minidump);
  const HostRun run = RunCrash(expected.kind);
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exit_code, expected.exit_code)
      << std::hex << run.exit_code << "\n"
      << run.output;
  EXPECT_EQ(run.Value(kConnectedLabel), 1u) << run.output;
  EXPECT_EQ(run.Value(kReporterLabel), GetCurrentProcessId());
  EXPECT_EQ(run.Value(kPolicyLabel), kPolicyAfterStartUp);

  const std::vector<ReportedCrash> crashes = StopServer();
  if (expected.exception_code == 0) {
    EXPECT_TRUE(crashes.empty());
    EXPECT_EQ(run.Value("handled"), 1u) << run.output;
    return;
  }
  ASSERT_EQ(crashes.size(), 1u) << run.output;
  const ReportedCrash& crash = crashes[0];
  // The crashing thread is one the host announced (two for two threads).
  const std::vector<unsigned long long> threads = run.Values(kThreadLabel);
  EXPECT_NE(std::find(threads.begin(), threads.end(), crash.thread_id),
            threads.end())
      << crash.thread_id << "\n"
      << run.output;
  EXPECT_EQ(crash.exception_code, expected.exception_code)
      << std::hex << crash.exception_code;
  EXPECT_EQ(crash.assertion.type, static_cast<uint32_t>(expected.assertion));
  if (expected.assertion == AssertionType::kInvalidParameter) {
    EXPECT_EQ(std::u16string(crash.assertion.expression),
              std::u16string(kAssertionTextCapacity - 1, u'e'));
    EXPECT_EQ(std::u16string(crash.assertion.function), u"Function");
    EXPECT_EQ(std::u16string(crash.assertion.file), u"file.cc");
    EXPECT_EQ(crash.assertion.line, kInvalidParameterLine);
  }

  // The minidump written with the client's pointers names the same thread
  // and code.
  if (expected.minidump) {
    EXPECT_TRUE(crash.dump_read);
    EXPECT_EQ(crash.dump_thread_id, crash.thread_id);
    EXPECT_EQ(crash.dump_exception_code, expected.exception_code);
  }

  // The crash keys, with the uptime last.
  ASSERT_EQ(crash.keys.size(), kCrashKeyCount + 1);
  EXPECT_EQ(std::u16string(crash.keys.back().name), u"ptime");
  uint64_t uptime = 0;
  EXPECT_TRUE(base::StringToUint64(base::UTF16ToASCII(crash.keys.back().value),
                                   &uptime));
  EXPECT_EQ(JoinedCrashKeyValue(crash.keys, kProcessTypeKey), u"installer");
  EXPECT_EQ(JoinedCrashKeyValue(crash.keys, kVersionKey),
            base::UTF8ToUTF16(installer::VersionInfo::GetProductVersion()));
  EXPECT_EQ(JoinedCrashKeyValue(crash.keys, kOriginKey), u"unit-test");
  EXPECT_EQ(JoinedCrashKeyValue(crash.keys, kExceptionPolicyKey), u"0x0006");
  std::vector<ModuleEntry> modules;
  ASSERT_TRUE(
      ParseModuleList(JoinedCrashKeyValue(crash.keys, kModulesKey), &modules));
  ASSERT_GE(modules.size(), 3u);
  EXPECT_EQ(modules[0].name, kHostFileName);
  EXPECT_EQ(modules[0].path, base::GetTestExecutableFolder() + kHostFileName);
  EXPECT_NE(modules[0].base, 0u);
  EXPECT_NE(modules[0].size, 0u);
  // velna.dll is not loaded in the host: KernelBase.dll comes next.
  EXPECT_EQ(modules[1].name, u"KernelBase.dll");
  EXPECT_EQ(modules[2].name, u"kernel32.dll");
}

constexpr DWORD kAccessViolation = 0xC0000005;
constexpr DWORD kBreakpoint = 0x80000003;
constexpr DWORD kIllegalInstruction = 0xC000001D;

INSTANTIATE_TEST_SUITE_P(
    EveryKind, CrashKindTest,
    testing::Values(
        // Pointers from the system's dispatch.
        CrashKind{kCrashNullWrite, kAccessViolation, kAccessViolation,
                  AssertionType::kNone, true},
        // A FATAL log line ends in a breakpoint.
        CrashKind{kCrashFatalLog, kBreakpoint, kBreakpoint},
        // CHECK stops through ImmediateCrash's illegal instruction.
        CrashKind{kCrashCheck, kIllegalInstruction, kIllegalInstruction},
        CrashKind{kCrashImmediate, kIllegalInstruction, kIllegalInstruction},
        // Pointers handed to the window procedure's hook.
        CrashKind{kCrashUiNullWrite, 1, kAccessViolation, AssertionType::kNone,
                  true},
        CrashKind{kCrashUiOutputDebugString, 0, 0},
        CrashKind{kCrashPureCall, 1, STATUS_NONCONTINUABLE_EXCEPTION,
                  AssertionType::kPureVirtualCall},
        // Pointers built by the handler itself.
        CrashKind{kCrashInvalidParameter, 1, STATUS_INVALID_PARAMETER,
                  AssertionType::kInvalidParameter, true},
        CrashKind{kCrashCxxException, kBreakpoint, kBreakpoint},
        CrashKind{kCrashStackOverflow, STATUS_STACK_OVERFLOW,
                  STATUS_STACK_OVERFLOW},
        CrashKind{kCrashTwoThreads, kAccessViolation, kAccessViolation}),
    [](const testing::TestParamInfo<CrashKind>& info) {
      std::string name = info.param.kind;
      std::replace(name.begin(), name.end(), '-', '_');
      return name;
    });

// A reporter that answers a dump request only once the crashed process has
// ended, whatever its wait.
struct SlowReporter {
  static void OnDumpRequest(void* context, ClientInfo* client,
                            const std::u16string* dump_path) {
    auto* reporter = static_cast<SlowReporter*>(context);
    ++reporter->requests;
    if (WaitForSingleObject(client->process_handle(), kLongWaitMs) ==
        WAIT_OBJECT_0) {
      ++reporter->client_ends_seen;
    }
  }

  std::atomic<int> requests{0};
  std::atomic<int> client_ends_seen{0};
};

// The crashed host's wait for its dump runs out, and each kind of crash
// still ends the host with its own exit code.
TEST_F(CrashClientTest, ASlowReporterLeavesEachCrashItsExitCode) {
  const struct {
    const char* kind;
    DWORD exit_code;
  } cases[] = {
      {kCrashNullWrite, kAccessViolation},
      {kCrashUiNullWrite, 1},
      // The runtime's own report, then the handler's exit.
      {kCrashInvalidParameter, 1},
      // Back to the runtime, which aborts.
      {kCrashPureCall, 3},
  };
  std::u16string pipe_name;
  ASSERT_TRUE(
      FormatObjectName(kPipeNamePrefix, GetCurrentProcessId(), &pipe_name));
  for (const auto& test : cases) {
    SCOPED_TRACE(test.kind);
    SlowReporter reporter;
    server_ = std::make_unique<CrashGenerationServer>(
        pipe_name, nullptr, &SlowReporter::OnDumpRequest, &reporter);
    ASSERT_TRUE(server_->Start());
    const HostRun run = RunCrash(test.kind, /*dump_wait_ms=*/100);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.Value(kConnectedLabel), 1u) << run.output;
    EXPECT_EQ(run.exit_code, test.exit_code)
        << std::hex << run.exit_code << "\n"
        << run.output;
    // The server's end waits for the callback.
    server_.reset();
    EXPECT_EQ(reporter.requests.load(), 1);
    EXPECT_EQ(reporter.client_ends_seen.load(), 1);
  }
}

// A reporter that dies while the crashing thread waits for it: the wait
// ends at once on the abandoned mutex, and the host still ends with its own
// crash.
TEST(CrashClientReporterDiesTest, HostKeepsItsOwnExitCode) {
  const std::u16string ready_name =
      u"VelnaCrashTestReady" + base::UintToString16(GetCurrentProcessId());
  base::win::ScopedHandle ready(
      CreateEventW(nullptr, TRUE, FALSE, base::as_wcstr(ready_name)));
  ASSERT_TRUE(ready.IsValid());
  std::u16string command =
      HostCommandLine({{kMode, kModeServeAndDie},
                       {kReadyEvent, base::UTF16ToUTF8(ready_name)}});
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(CreateProcessW(nullptr, base::as_writable_wcstr(command), nullptr,
                             nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &info));
  base::win::ScopedHandle server(info.hProcess);
  base::win::ScopedHandle server_thread(info.hThread);
  const HANDLE started[] = {ready.Get(), server.Get()};
  ASSERT_EQ(WaitForMultipleObjects(2, started, FALSE, 60000), WAIT_OBJECT_0);

  const DWORD begin = GetTickCount();
  const HostRun run =
      RunHost({{installer::switches::kCrashReporterPid,
                base::UintToString(info.dwProcessId)},
               {kDumpRequestWait, base::UintToString(kLongWaitMs)},
               {kCrash, kCrashNullWrite}});
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.Value(kConnectedLabel), 1u) << run.output;
  EXPECT_EQ(run.exit_code, kAccessViolation) << std::hex << run.exit_code;
  // Not the end of the host's wait: the reporter's death ended it.
  EXPECT_LT(GetTickCount() - begin, kLongWaitMs);
  ASSERT_EQ(WaitForSingleObject(server.Get(), 60000), WAIT_OBJECT_0);
  DWORD server_exit = 0;
  GetExitCodeProcess(server.Get(), &server_exit);
  EXPECT_EQ(server_exit, kServerKilledExitCode);
}

// The start-up's choice of reporter: the one named by the switch, or a
// launched one, whose signal alone makes it the reporter.
TEST(CrashClientStartTest, ReporterIsNamedOrLaunched) {
  const struct {
    const char* pid_switch;  // null: absent
    const char* stand_in;
    bool launched;
    bool reporter_found;
  } cases[] = {
      {nullptr, "signal", true, true},
      {"0", "signal", true, true},
      {"12ab", "signal", true, true},
      // It ends before signalling: no reporter, without the full wait.
      {nullptr, "exit", true, false},
      // It neither ends nor signals: no reporter after the full wait.
      {nullptr, "silent", true, false},
      // Named: nothing is launched, and nothing listens on its pipe.
      {"4000000000", "signal", false, true},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(std::string(test.pid_switch ? test.pid_switch : "none") + " " +
                 test.stand_in);
    Switches switches = {{kMode, kModeStart}, {kStandIn, test.stand_in}};
    if (test.pid_switch)
      switches.push_back(
          {installer::switches::kCrashReporterPid, test.pid_switch});
    // The silent stand-in meets the product's wait; the others a wait that
    // their signal or end cuts short, however slowly they start.
    const bool silent = std::string(test.stand_in) == "silent";
    if (!silent)
      switches.push_back({kReporterStartWait, base::UintToString(kLongWaitMs)});
    const HostRun run = RunHost(switches);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exit_code, 0u) << run.output;
    EXPECT_EQ(run.Value(kConnectedLabel, 2), 0u) << run.output;
    const unsigned long long reporter = run.Value(kReporterLabel, 1);
    const unsigned long long elapsed = run.Value(kElapsedLabel);
    if (!test.launched) {
      EXPECT_EQ(reporter, 4000000000u);
      continue;
    }
    EXPECT_EQ(reporter != 0, test.reporter_found) << run.output;
    if (std::string(test.stand_in) == "exit") {
      EXPECT_LT(elapsed, kLongWaitMs) << run.output;
    }
    if (silent) {
      EXPECT_GE(elapsed + 50, kReporterStartTimeoutMs) << run.output;
    }
  }
}

TEST(CrashClientStartTest, ReporterCommandLineAddsTheParentId) {
  base::CommandLine::Init();
  const base::CommandLine command_line = BuildCrashReporterCommandLine();
  EXPECT_EQ(command_line.GetProgram().value(),
            base::CommandLine::ForCurrentProcess()->GetProgram().value());
  EXPECT_EQ(command_line.GetSwitchValueASCII(
                installer::switches::kCrashReporterParentId),
            OwnPid());
  EXPECT_EQ(command_line.GetSwitches().size(),
            base::CommandLine::ForCurrentProcess()->GetSwitches().size() + 1);
}

}  // namespace
}  // namespace test
}  // namespace crash_reporter
