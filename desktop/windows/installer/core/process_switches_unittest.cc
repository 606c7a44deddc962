#include "desktop/windows/installer/core/process_switches.h"

#include <iterator>

#include "base/command_line.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

ProcessSwitches Read(const std::u16string& arguments) {
  base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
  command_line.ParseFromString(u"installer.exe " + arguments);
  return ReadProcessSwitches(command_line);
}

TEST(ProcessSwitchesTest, EveryValueAsGiven) {
  const ProcessSwitches read = Read(
      u"--import-session=s --Initial-PID=12 --initial-proc-handle=A401 "
      u"--parent-pid=7 --wait-for-package=\"C:\\pack age\\\\\" "
      u"--post-elevated-install-tasks --temp-folder=C:\\t --v=2 "
      u"--server-tracking-data=\"tracking data\" --import-bookmarks "
      u"--silent --installfolder=C:\\x");
  EXPECT_EQ(u"12", read.initial_pid);
  EXPECT_EQ("A401", read.initial_proc_handle);
  EXPECT_EQ(u"7", read.parent_pid);
  EXPECT_EQ(base::FilePath(u"C:\\pack age\\"), read.wait_for_package);
  EXPECT_TRUE(read.post_elevated_install_tasks);
  EXPECT_EQ(u"C:\\t", read.temp_folder);
  EXPECT_EQ(u"2", read.verbose_level);
  EXPECT_EQ(base::FilePath(u"tracking data"), read.server_tracking_data);
  // In their fixed order, whatever the command line's.
  const std::vector<std::pair<std::string, std::u16string>> import = {
      {"import-bookmarks", u""}, {"import-session", u"s"}};
  EXPECT_EQ(import, read.browser_import);
}

TEST(ProcessSwitchesTest, AbsentSwitchesStayAbsent) {
  // An empty value is a given switch, unlike a missing one.
  const ProcessSwitches read = Read(u"--temp-folder --silent");
  EXPECT_EQ(u"", read.temp_folder);
  EXPECT_FALSE(read.initial_pid);
  EXPECT_FALSE(read.initial_proc_handle);
  EXPECT_FALSE(read.parent_pid);
  EXPECT_FALSE(read.wait_for_package);
  EXPECT_FALSE(read.post_elevated_install_tasks);
  EXPECT_FALSE(read.verbose_level);
  EXPECT_FALSE(read.server_tracking_data);
  EXPECT_TRUE(read.browser_import.empty());
  // A value that is not ASCII is no handle.
  EXPECT_EQ("", Read(u"--initial-proc-handle=\u00e91").initial_proc_handle);
}

TEST(ProcessSwitchesTest, ProcessIds) {
  const struct {
    const char16_t* arguments;
    bool parsed;
    unsigned pid;
  } cases[] = {
      {u"", false, 0},
      {u"--initial-pid --parent-pid", false, 0},
      {u"--initial-pid=12 --parent-pid=12", true, 12},
      {u"--initial-pid=4294967295 --parent-pid=4294967295", true, 4294967295u},
      {u"--initial-pid=4294967296 --parent-pid=4294967296", false, 0},
      {u"--initial-pid=12x --parent-pid=12x", false, 0},
      {u"--initial-pid=-1 --parent-pid=-1", false, 0},
      {u"--initial-pid=\uFF11 --parent-pid=\uFF11", false, 0},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    const auto& c = cases[i];
    const ProcessSwitches read = Read(c.arguments);
    unsigned initial = 0;
    unsigned parent = 0;
    EXPECT_EQ(c.parsed, read.GetInitialPid(&initial));
    EXPECT_EQ(c.parsed, read.GetParentPid(&parent));
    if (c.parsed) {
      EXPECT_EQ(c.pid, initial);
      EXPECT_EQ(c.pid, parent);
    }
  }
}

}  // namespace
}  // namespace installer
