#include <windows.h>

// Needs windows.h first.
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/feature_list.h"
#include "base/files/file_util.h"
#include "base/process/kill.h"
#include "base/process/launch.h"
#include "base/process/redirection_guard_win.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_temp_dir.h"
#include "base/test/test_child_process.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using test::GetTestChildProcessPath;

CommandLine ChildCommandLine() {
  return CommandLine(GetTestChildProcessPath());
}

std::string HandleText(HANDLE handle) {
  return Uint64ToString(reinterpret_cast<uintptr_t>(handle));
}

// An unnamed event, optionally inheritable, owned by the test.
win::ScopedHandle MakeEvent(bool inheritable) {
  SECURITY_ATTRIBUTES security = {sizeof(security), nullptr, inheritable};
  return win::ScopedHandle(CreateEventW(&security, TRUE, FALSE, nullptr));
}

bool IsSignaled(HANDLE handle) {
  return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
}

// Launches |command_line| with its standard output on a pipe, reads it to
// the end and waits for the child. |options| gets the pipe; its other
// fields are kept.
std::string LaunchAndRead(const CommandLine& command_line,
                          LaunchOptions options, int* exit_code = nullptr) {
  SECURITY_ATTRIBUTES security = {sizeof(security), nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  EXPECT_TRUE(CreatePipe(&read_end, &write_end, &security, 0));
  win::ScopedHandle read_owner(read_end);
  win::ScopedHandle write_owner(write_end);
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  options.stdout_handle = write_end;
  options.inherit_handles = true;
  Process child = LaunchProcessFromCommandLine(command_line, options);
  EXPECT_TRUE(child.IsValid());
  write_owner.Close();
  std::string output;
  char buffer[512];
  DWORD read = 0;
  while (ReadFile(read_end, buffer, sizeof(buffer), &read, nullptr) && read)
    output.append(buffer, read);
  int code = -1;
  EXPECT_TRUE(child.WaitForExitWithTimeout(INFINITE, &code));
  if (exit_code) *exit_code = code;
  return output;
}

TEST(LaunchProcessTest, ShownStateFollowsStartHidden) {
  CommandLine command_line = ChildCommandLine();
  command_line.AppendSwitch(test::kChildPrintStartup);
  LaunchOptions options;
  EXPECT_EQ(0u, LaunchAndRead(command_line, options).find("show=5 "));
  options.start_hidden = true;
  EXPECT_EQ(0u, LaunchAndRead(command_line, options).find("show=0 "));
}

TEST(LaunchProcessTest, StandardHandlesAndEmptyDesktop) {
  CommandLine command_line = ChildCommandLine();
  command_line.AppendSwitch(test::kChildPrintStartup);
  LaunchOptions options;
  options.empty_desktop_name = true;
  EXPECT_EQ("show=5 usestdhandles=1 desktop=",
            LaunchAndRead(command_line, options));
}

TEST(LaunchProcessTest, CurrentDirectoryIsPassedWhenSet) {
  ScopedTempDir folder;
  ASSERT_TRUE(folder.CreateUniqueTempDir());
  FilePath own_folder;
  ASSERT_TRUE(GetCurrentDirectory(&own_folder));
  CommandLine command_line = ChildCommandLine();
  command_line.AppendSwitch(test::kChildPrintCwd);

  LaunchOptions options;
  options.current_directory = folder.GetPath();
  EXPECT_EQ(UTF16ToUTF8(folder.GetPath().value()),
            LaunchAndRead(command_line, options));
  options.current_directory = FilePath();
  EXPECT_EQ(UTF16ToUTF8(own_folder.value()),
            LaunchAndRead(command_line, options));
}

// Each child sets the events whose handle values it is given; only handles
// it really inherited reach the test's events.
TEST(LaunchProcessTest, OnlyListedHandlesAreInherited) {
  struct Case {
    const char* name;
    bool use_list;
    bool list_first_event;
    bool inherit_handles;
    bool first_set;
    bool second_set;
  };
  const Case cases[] = {
      {"list of one", true, true, true, true, false},
      {"list of one without the inherit flag", true, true, false, true, false},
      {"empty list beats the inherit flag", true, false, true, false, false},
      {"no list, inherit all", false, false, true, true, true},
      {"no list, inherit none", false, false, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    win::ScopedHandle first = MakeEvent(true);
    win::ScopedHandle second = MakeEvent(true);
    CommandLine command_line = ChildCommandLine();
    command_line.AppendSwitchASCII(
        test::kChildSetEvents,
        HandleText(first.Get()) + "," + HandleText(second.Get()));
    HandlesToInheritVector handles;
    if (c.list_first_event) handles.push_back(first.Get());
    LaunchOptions options;
    options.inherit_handles = c.inherit_handles;
    if (c.use_list) options.handles_to_inherit = &handles;
    Process child = LaunchProcessFromCommandLine(command_line, options);
    ASSERT_TRUE(child.IsValid());
    int exit_code = -1;
    ASSERT_TRUE(child.WaitForExitWithTimeout(INFINITE, &exit_code));
    EXPECT_EQ(c.first_set, IsSignaled(first.Get()));
    EXPECT_EQ(c.second_set, IsSignaled(second.Get()));
  }
}

// A system may answer that it took the guard without enforcing it (the
// test system does): it counts as on only when it reads back so.
TEST(RedirectionGuardTest, OnOnlyWhereTheSystemEnforcesIt) {
  const bool on = EnableRedirectionGuard();
  const DWORD error = GetLastError();
  PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY now = {};
  const bool read = GetProcessMitigationPolicy(
      GetCurrentProcess(), ProcessRedirectionTrustPolicy, &now, sizeof(now));
  EXPECT_EQ(on, read && now.EnforceRedirectionTrust);
  if (!on) {
    EXPECT_NE(0u, error);
  }
}

TEST(LaunchProcessTest, ListedHandleIsMadeInheritable) {
  win::ScopedHandle event = MakeEvent(false);
  HandlesToInheritVector handles = {event.Get()};
  CommandLine command_line = ChildCommandLine();
  command_line.AppendSwitchASCII(test::kChildSetEvents,
                                 HandleText(event.Get()));
  LaunchOptions options;
  options.handles_to_inherit = &handles;
  options.wait = true;
  Process child = LaunchProcessFromCommandLine(command_line, options);
  ASSERT_TRUE(child.IsValid());
  EXPECT_TRUE(IsSignaled(event.Get()));
}

TEST(LaunchProcessTest, ChildRunsInsideItsJob) {
  win::ScopedHandle job(CreateJobObjectW(nullptr, nullptr));
  ASSERT_TRUE(job.IsValid());
  CommandLine command_line = ChildCommandLine();
  command_line.AppendSwitch(test::kChildPrintInJob);
  LaunchOptions options;
  options.job_handle = job.Get();
  EXPECT_EQ("in job", LaunchAndRead(command_line, options));
}

// The launch gives no Process back, so the child is looked for by the name
// of a copy of the helper that only this test starts.
bool IsAnyProcessNamed(const std::u16string& exe_name) {
  win::ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
       more = Process32NextW(snapshot.Get(), &entry)) {
    if (_wcsicmp(entry.szExeFile, as_wcstr(exe_name)) == 0) return true;
  }
  return false;
}

TEST(LaunchProcessTest, ChildThatItsJobRefusesIsEnded) {
  ScopedTempDir folder;
  ASSERT_TRUE(folder.CreateUniqueTempDir());
  const std::u16string exe_name =
      u"job_refused_" + UintToString16(GetCurrentProcessId()) + u".exe";
  const FilePath copy = folder.GetPath().Append(exe_name);
  ASSERT_TRUE(CopyOneFile(GetTestChildProcessPath(), copy));

  win::ScopedHandle job(CreateJobObjectW(nullptr, nullptr));
  HANDLE query_only = nullptr;
  // Without JOB_OBJECT_ASSIGN_PROCESS the job cannot take the child.
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), job.Get(),
                              GetCurrentProcess(), &query_only,
                              JOB_OBJECT_QUERY, FALSE, 0));
  win::ScopedHandle refusing_job(query_only);

  CommandLine command_line(copy);
  command_line.AppendSwitchASCII(test::kChildWaitMs, "60000");
  LaunchOptions options;
  options.job_handle = refusing_job.Get();
  Process child = LaunchProcessFromCommandLine(command_line, options);
  EXPECT_FALSE(child.IsValid());
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_FALSE(IsAnyProcessNamed(exe_name));
}

TEST(LaunchProcessTest, WaitReturnsAfterTheChildEnded) {
  CommandLine command_line = ChildCommandLine();
  command_line.AppendSwitchASCII(test::kChildWaitMs, "200");
  command_line.AppendSwitchASCII(test::kChildExitCode, "3");
  LaunchOptions options;
  options.wait = true;
  Process child = LaunchProcessFromCommandLine(command_line, options);
  ASSERT_TRUE(child.IsValid());
  int exit_code = -1;
  EXPECT_TRUE(child.WaitForExitWithTimeout(0, &exit_code));
  EXPECT_EQ(3, exit_code);
}

TEST(LaunchProcessTest, WithoutWaitTheChildStillRuns) {
  const std::u16string event_name =
      u"Local\\VelnaLaunchTest" + UintToString16(GetCurrentProcessId());
  win::ScopedHandle release(
      CreateEventW(nullptr, TRUE, FALSE, as_wcstr(event_name)));
  CommandLine command_line = ChildCommandLine();
  command_line.AppendSwitchNative(test::kChildWaitEvent, event_name);
  Process child = LaunchProcessFromCommandLine(command_line, LaunchOptions());
  ASSERT_TRUE(child.IsValid());
  EXPECT_NE(0u, child.Pid());
  int exit_code = -1;
  EXPECT_EQ(TERMINATION_STATUS_STILL_RUNNING,
            GetTerminationStatus(child.Handle(), &exit_code));
  EXPECT_EQ(static_cast<int>(WAIT_TIMEOUT), exit_code);
  SetEvent(release.Get());
  EXPECT_TRUE(child.WaitForExitWithTimeout(INFINITE, &exit_code));
  EXPECT_EQ(0, exit_code);
}

TEST(LaunchProcessTest, AsUserGetsTheUsersEnvironment) {
  const std::u16string variable =
      u"VELNA_PARENT_ONLY_" + UintToString16(GetCurrentProcessId());
  ASSERT_TRUE(SetEnvironmentVariableW(as_wcstr(variable), L"parent"));
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &token));
  win::ScopedHandle token_owner(token);
  CommandLine command_line = ChildCommandLine();
  command_line.AppendSwitchNative(test::kChildPrintEnv, variable);

  LaunchOptions options;
  EXPECT_EQ("parent", LaunchAndRead(command_line, options));
  options.as_user = token;
  EXPECT_EQ("", LaunchAndRead(command_line, options));
}

TEST(LaunchProcessTest, MissingProgramFails) {
  CommandLine command_line(FilePath(u"C:\\velna\\no such program.exe"));
  EXPECT_FALSE(
      LaunchProcessFromCommandLine(command_line, LaunchOptions()).IsValid());
  const DWORD error = GetLastError();
  EXPECT_TRUE(error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND)
      << error;
}

TEST(LaunchProcessTest, FeatureOverridesReachTheChild) {
  FeatureList features;
  features.AddFeature("child-feature", false, true);
  ScopedFeatureOverride on(&features, "child-feature", true);
  CommandLine command_line = ChildCommandLine();
  command_line.AppendSwitchASCII(test::kChildPrintFeature, "child-feature");
  EXPECT_EQ("off", LaunchAndRead(command_line, LaunchOptions()));
  features.AppendToCommandLine(&command_line);
  EXPECT_EQ("on", LaunchAndRead(command_line, LaunchOptions()));
}

TEST(LaunchProcessTest, CreationFlags) {
  struct Case {
    bool job;
    bool force_breakaway;
    int windows_version;
    uint32_t flags;
  };
  const Case cases[] = {
      {false, false, 4, 0},
      {true, false, 4, CREATE_SUSPENDED | CREATE_BREAKAWAY_FROM_JOB},
      {true, false, 5, CREATE_SUSPENDED},
      {true, false, 8, CREATE_SUSPENDED},
      {false, true, 8, CREATE_BREAKAWAY_FROM_JOB},
      {true, true, 8, CREATE_SUSPENDED | CREATE_BREAKAWAY_FROM_JOB},
  };
  for (const Case& c : cases) {
    LaunchOptions options;
    options.job_handle = c.job ? GetCurrentProcess() : nullptr;
    options.force_breakaway_from_job = c.force_breakaway;
    EXPECT_EQ(c.flags,
              internal::GetLaunchCreationFlags(options, c.windows_version))
        << c.job << c.force_breakaway << c.windows_version;
  }
}

TEST(GetAppOutputTest, OutputAndResult) {
  struct Case {
    const char* name;
    const char* print;
    unsigned repeat;
    const char* exit_code;
    std::string initial;
    bool expected;
    std::string output;
  };
  const std::string big(100000, '7');
  const Case cases[] = {
      {"text", "hello", 1, "0", "", true, "hello"},
      {"appends", "hello", 1, "0", "pre:", true, "pre:hello"},
      {"nothing printed", nullptr, 1, "0", "kept", true, "kept"},
      {"many chunks", "0123456789", 10000, "0", "", true, ""},
      {"killed counts as success", "x", 1, "1", "", true, "x"},
      {"crashed", "x", 1, "7", "", false, "x"},
      {"access violation", nullptr, 1, "3221225477", "", false, ""},
      {"ended with 259", nullptr, 1, "259", "", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CommandLine command_line = ChildCommandLine();
    if (c.print) {
      command_line.AppendSwitchASCII(test::kChildPrint, c.print);
      command_line.AppendSwitchASCII(test::kChildPrintRepeat,
                                     UintToString(c.repeat));
    }
    command_line.AppendSwitchASCII(test::kChildExitCode, c.exit_code);
    std::string output = c.initial;
    EXPECT_EQ(c.expected, GetAppOutputFromCommandLine(command_line, &output));
    if (c.repeat > 1) {
      std::string expected;
      for (unsigned i = 0; i < c.repeat; ++i) expected += c.print;
      EXPECT_EQ(expected, output);
    } else {
      EXPECT_EQ(c.output, output);
    }
  }
}

TEST(GetAppOutputTest, StandardErrorOnlyWhenAsked) {
  CommandLine command_line = ChildCommandLine();
  command_line.AppendSwitchASCII(test::kChildPrint, "out");
  command_line.AppendSwitchASCII(test::kChildPrintStderr, "err");
  std::string output;
  EXPECT_TRUE(GetAppOutputFromCommandLine(command_line, &output));
  EXPECT_EQ("out", output);
  output.clear();
  EXPECT_TRUE(
      GetAppOutputInternal(command_line.GetCommandLineString(), true, &output));
  EXPECT_EQ("outerr", output);
}

TEST(GetAppOutputTest, MissingProgramFails) {
  std::string output = "kept";
  EXPECT_FALSE(GetAppOutputFromCommandLine(
      CommandLine(FilePath(u"C:\\velna\\missing.exe")), &output));
  EXPECT_EQ("kept", output);
}

}  // namespace
}  // namespace base
