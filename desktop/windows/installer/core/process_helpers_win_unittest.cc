#include "desktop/windows/installer/core/process_helpers_win.h"

#include <windows.h>

#include "base/strings/string_util_win.h"
#include "base/test/child_process_win.h"
#include "base/test/scoped_temp_dir.h"
#include "base/win/scoped_com_initializer.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/test/installer_test_host.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

std::u16string HostCommand(const std::u16string& arguments) {
  return u"\"" + base::GetTestExecutableFolder() +
         u"installer_test_host.exe\" " + arguments;
}

TEST(ProcessHelpersTest, WmiStartsTheProgramAndReportsItsProcessId) {
  base::win::ScopedComInitializer com;
  uint32_t pid = 0;
  ASSERT_TRUE(LaunchProcessViaWmi(
      HostCommand(u"--host-mode=exit --exit-code=42"), &pid));
  ASSERT_NE(0u, pid);
  // The reported id is the started program's: its exit code is ours to
  // read. (The test system runs it as a child; Windows detaches it.)
  base::win::ScopedHandle process(
      OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  ASSERT_TRUE(process.IsValid());
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.Get(), 60000));
  DWORD exit_code = 0;
  ASSERT_TRUE(GetExitCodeProcess(process.Get(), &exit_code));
  EXPECT_EQ(42u, exit_code);
}

TEST(ProcessHelpersTest, AMissingProgramIsAFailureWithoutProcessId) {
  base::win::ScopedComInitializer com;
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  const std::u16string missing =
      u"\"" + dir.GetPath().Append(u"missing.exe").value() + u"\"";
  uint32_t return_value = 0;
  uint32_t pid = 12345;
  ASSERT_TRUE(internal::CreateProcessThroughWmi(missing, &return_value, &pid));
  EXPECT_EQ(9u, return_value);
  EXPECT_EQ(0u, pid);
  pid = 12345;
  EXPECT_FALSE(LaunchProcessViaWmi(missing, &pid));
  EXPECT_EQ(12345u, pid);
}

}  // namespace
}  // namespace installer
