// The child lookups of the process tests, with real processes (the test
// host waiting) and the parent ids a snapshot would give.

#include "desktop/windows/installer/test/process_test_util_win.h"

#include <windows.h>

#include <string>
#include <vector>

#include "base/process/launch.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/test/installer_process_test_base_win.h"
#include "desktop/windows/installer/test/installer_test_host.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {
namespace {

base::FilePath Host() { return InstallerProcessTestBase::Host(); }

// A test host that waits until the test ends it.
class WaitingHost {
 public:
  WaitingHost()
      : process_(base::LaunchProcess(Quoted(Host()) + u" --" +
                                         base::ASCIIToUTF16(kHostMode) + u"=" +
                                         base::ASCIIToUTF16(kHostModeWait),
                                     base::LaunchOptions())) {}
  WaitingHost(const WaitingHost&) = delete;
  WaitingHost& operator=(const WaitingHost&) = delete;
  ~WaitingHost() {
    if (process_.IsValid()) process_.Terminate(0, true);
  }

  const base::Process& process() const { return process_; }
  uint32_t pid() const { return process_.Pid(); }

  // Whether the host has started far enough for its command line to be
  // read, within a minute however loaded the machine.
  bool WaitUntilReadable() const {
    for (int i = 0; i < 600; ++i) {
      if (!GetProcessCommandLine(process_).empty()) return true;
      Sleep(100);
    }
    return false;
  }

 private:
  base::Process process_;
};

// Both lookups for |parent_pid|; the pid of what each found, 0 for
// nothing. A just-started process whose command line cannot be read yet is
// looked for again, until |expected| comes up or two seconds have passed.
std::vector<uint32_t> FoundChildren(uint32_t parent_pid, uint32_t expected) {
  std::vector<uint32_t> found;
  for (int i = 0; i < 200; ++i) {
    const base::Process by_program = FindChildProcess(parent_pid, Host());
    const base::Process below = FindChildProcessBelow(
        parent_pid, Host().DirName(), Host().BaseName().value());
    found = {by_program.IsValid() ? by_program.Pid() : 0u,
             below.IsValid() ? below.Pid() : 0u};
    if (found == std::vector<uint32_t>{expected, expected}) break;
    Sleep(10);
  }
  return found;
}

// A process that the snapshot gives the id of a later one as its parent id
// (its own parent ended, and the id went to a new process) is that
// process's child only when it began after it.
TEST(FindChildProcessTest, AProcessOlderThanTheParentIsNoChildOfIt) {
  WaitingHost orphan;
  ASSERT_TRUE(orphan.process().IsValid());
  WaitingHost parent;
  ASSERT_TRUE(parent.process().IsValid());
  WaitingHost child;
  ASSERT_TRUE(child.process().IsValid());
  ASSERT_LT(CreationTimeOf(orphan.process().Handle()),
            CreationTimeOf(parent.process().Handle()));
  ASSERT_LE(CreationTimeOf(parent.process().Handle()),
            CreationTimeOf(child.process().Handle()));
  for (const WaitingHost* host : {&orphan, &parent, &child})
    ASSERT_TRUE(host->WaitUntilReadable());
  const uint32_t self = GetCurrentProcessId();

  const struct {
    const char* name;
    std::vector<internal::ProcessIds> processes;
    uint32_t parent;
    uint32_t expected;  // 0: none
  } cases[] = {
      // This process began before the orphan: the orphan can be its child.
      {"older parent", {{orphan.pid(), self}}, self, orphan.pid()},
      {"orphan only", {{orphan.pid(), parent.pid()}}, parent.pid(), 0},
      {"orphan first",
       {{orphan.pid(), parent.pid()}, {child.pid(), parent.pid()}},
       parent.pid(),
       child.pid()},
      // A parent id that names no process: nothing is anybody's child.
      {"ended parent", {{child.pid(), 0xFFFFFFF0u}}, 0xFFFFFFF0u, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    internal::ScopedProcessListForTesting list(c.processes);
    EXPECT_EQ((std::vector<uint32_t>{c.expected, c.expected}),
              FoundChildren(c.parent, c.expected));
  }
}

}  // namespace
}  // namespace test
}  // namespace installer
