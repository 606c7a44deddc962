#include <windows.h>

#include "base/command_line.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/test/test_child_process.h"
#include "gtest/gtest.h"

namespace base {
namespace {

Process LaunchWaitingChild() {
  CommandLine command_line(test::GetTestChildProcessPath());
  command_line.AppendSwitchASCII(test::kChildWaitMs, "60000");
  return LaunchProcessFromCommandLine(command_line, LaunchOptions());
}

TEST(ProcessTest, EmptyAndCurrent) {
  Process empty;
  EXPECT_FALSE(empty.IsValid());
  EXPECT_EQ(0u, empty.Pid());
  int exit_code = 5;
  EXPECT_FALSE(empty.WaitForExitWithTimeout(0, &exit_code));
  EXPECT_EQ(5, exit_code);

  Process current = Process::Current();
  EXPECT_TRUE(current.IsValid());
  EXPECT_EQ(GetCurrentProcess(), current.Handle());
  EXPECT_EQ(GetCurrentProcessId(), current.Pid());
}

TEST(ProcessTest, MoveAssignKeepsTheLastError) {
  Process child = LaunchWaitingChild();
  ASSERT_TRUE(child.IsValid());
  const ProcessId pid = child.Pid();
  Process target = Process::Current();
  SetLastError(1234);
  target.MoveAssign(std::move(child));
  EXPECT_EQ(1234u, GetLastError());
  EXPECT_FALSE(child.IsValid());
  EXPECT_EQ(pid, target.Pid());
  EXPECT_NE(GetCurrentProcess(), target.Handle());
  EXPECT_TRUE(target.Terminate(0, true));
}

TEST(ProcessTest, WaitAndTerminate) {
  Process child = LaunchWaitingChild();
  ASSERT_TRUE(child.IsValid());
  int exit_code = -7;
  EXPECT_FALSE(child.WaitForExitWithTimeout(0, &exit_code));
  EXPECT_EQ(-7, exit_code);
  EXPECT_TRUE(child.Terminate(42, true));
  EXPECT_TRUE(child.WaitForExitWithTimeout(0, &exit_code));
  EXPECT_EQ(42, exit_code);
}

TEST(ProcessDeathTest, PseudoHandleIsNotOwned) {
  EXPECT_DEATH(Process process(GetCurrentProcess()), "");
}

}  // namespace
}  // namespace base
