// RunningChild: a child process of a test that keeps running while the test
// reads the lines it prints and looks at it from outside; terminated when
// the object goes out of scope.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_TEST_RUNNING_CHILD_WIN_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_TEST_RUNNING_CHILD_WIN_H_

#include <stdint.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/process/process.h"
#include "base/win/scoped_handle.h"

namespace crash_reporter {
namespace test {

class RunningChild {
 public:
  RunningChild();
  RunningChild(const RunningChild&) = delete;
  RunningChild& operator=(const RunningChild&) = delete;
  // Terminates the child when it still runs.
  ~RunningChild();

  // Starts |command_line| with its standard output on a pipe.
  bool Start(const std::u16string& command_line);
  // The next line the child printed, without its line end; false when the
  // output ended first.
  bool ReadLine(std::string* line);
  // The decimal numbers of the next line.
  std::vector<uint64_t> ReadNumbers();

  uint32_t pid() const { return process_.Pid(); }
  HANDLE handle() const { return process_.Handle(); }

 private:
  base::Process process_;
  base::win::ScopedHandle output_;
  std::string pending_;
};

// The folder of the running test executable, with a trailing backslash,
// followed by |file_name|.
std::u16string BesideTestExecutable(const char16_t* file_name);

// What snapshot_test_child.exe prints about the crash it lays out: the
// address of the variable holding its EXCEPTION_POINTERS address, the
// address of its crashed thread's id, that id, and the exception address.
struct SnapshotChildCrash {
  uint64_t pointers_variable = 0;
  uint64_t thread_id_variable = 0;
  uint32_t thread_id = 0;
  uint64_t exception_address = 0;
};

// Starts snapshot_test_child.exe (beside the test) and reads its line.
bool StartSnapshotChild(RunningChild* child, SnapshotChildCrash* crash);

}  // namespace test
}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_TEST_RUNNING_CHILD_WIN_H_
