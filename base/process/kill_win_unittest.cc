#include <windows.h>

#include <string>

#include "base/command_line.h"
#include "base/process/kill.h"
#include "base/process/launch.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/test/test_child_process.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace base {
namespace {

Process LaunchChild(const std::string& exit_code, bool wait) {
  CommandLine command_line(test::GetTestChildProcessPath());
  command_line.AppendSwitchASCII(test::kChildExitCode, exit_code);
  LaunchOptions options;
  options.wait = wait;
  return LaunchProcessFromCommandLine(command_line, options);
}

TEST(TerminationStatusTest, ExitCodesOfRealChildren) {
  struct Case {
    uint32_t exit_code;
    TerminationStatus status;
  };
  const Case cases[] = {
      {0, TERMINATION_STATUS_NORMAL_TERMINATION},
      {1, TERMINATION_STATUS_PROCESS_WAS_KILLED},
      {0x40010004, TERMINATION_STATUS_PROCESS_WAS_KILLED},
      {0xC000013A, TERMINATION_STATUS_PROCESS_WAS_KILLED},
      {0xC0000354, TERMINATION_STATUS_PROCESS_WAS_KILLED},
      {7012, TERMINATION_STATUS_OOM},
      {0xE0000008, TERMINATION_STATUS_OOM},
      {2, TERMINATION_STATUS_PROCESS_CRASHED},
      {0xC0000005, TERMINATION_STATUS_PROCESS_CRASHED},
      {258, TERMINATION_STATUS_PROCESS_CRASHED},
      // Ended with the code that otherwise means "still running".
      {259, TERMINATION_STATUS_ABNORMAL_TERMINATION},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.exit_code);
    Process child = LaunchChild(UintToString(c.exit_code), true);
    ASSERT_TRUE(child.IsValid());
    int exit_code = 12345;
    EXPECT_EQ(c.status, GetTerminationStatus(child.Handle(), &exit_code));
    EXPECT_EQ(static_cast<int>(c.exit_code), exit_code);
  }
}

TEST(TerminationStatusTest, RunningChild) {
  CommandLine command_line(test::GetTestChildProcessPath());
  command_line.AppendSwitchASCII(test::kChildWaitMs, "60000");
  Process child = LaunchProcessFromCommandLine(command_line, LaunchOptions());
  ASSERT_TRUE(child.IsValid());
  int exit_code = 0;
  EXPECT_EQ(TERMINATION_STATUS_STILL_RUNNING,
            GetTerminationStatus(child.Handle(), &exit_code));
  EXPECT_EQ(258, exit_code);
  ASSERT_TRUE(child.Terminate(9, true));
  EXPECT_EQ(TERMINATION_STATUS_PROCESS_CRASHED,
            GetTerminationStatus(child.Handle(), &exit_code));
  EXPECT_EQ(9, exit_code);
}

// A query that fails must not look like a clean exit with code 0.
TEST(TerminationStatusTest, UnreadableExitCodeIsNoSuccess) {
  Process child = LaunchChild("0", true);
  ASSERT_TRUE(child.IsValid());
  HANDLE synchronize_only = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), child.Handle(),
                              GetCurrentProcess(), &synchronize_only,
                              SYNCHRONIZE, FALSE, 0));
  win::ScopedHandle owner(synchronize_only);
  int exit_code = 0;
  EXPECT_EQ(TERMINATION_STATUS_UNKNOWN,
            GetTerminationStatus(synchronize_only, &exit_code));
  EXPECT_EQ(kUnknownExitCode, exit_code);
  EXPECT_NE(0, exit_code);
}

}  // namespace
}  // namespace base
