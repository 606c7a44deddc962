// Where tests find the child-process helper (test_child_process_win.cc), and
// the switches it understands.

#ifndef BASE_TEST_TEST_CHILD_PROCESS_H_
#define BASE_TEST_TEST_CHILD_PROCESS_H_

#include "base/files/file_path.h"

namespace base {
namespace test {

// Handled in this order.
inline constexpr char kChildSignalEvent[] = "signal-event";  // set it
inline constexpr char kChildPrint[] = "print";               // text to stdout
inline constexpr char kChildPrintRepeat[] = "print-repeat";  // times
inline constexpr char kChildPrintStderr[] = "print-stderr";
inline constexpr char kChildPrintCwd[] = "print-cwd";
inline constexpr char kChildPrintEnv[] = "print-env";  // variable name
// "show=<wShowWindow> usestdhandles=<0|1> desktop=<name>"
inline constexpr char kChildPrintStartup[] = "print-startup";
// Comma-separated decimal values of inherited event handles, each set.
inline constexpr char kChildSetEvents[] = "set-events";
// A feature registered off and overridable: "on" or "off".
inline constexpr char kChildPrintFeature[] = "print-feature";
inline constexpr char kChildPrintInJob[] = "print-in-job";  // "in job"
inline constexpr char kChildWaitEvent[] = "wait-event";     // up to 60 s
inline constexpr char kChildWaitMs[] = "wait-ms";
inline constexpr char kChildExitCode[] = "exit-code";  // decimal, 32 bits

// test_child_process.exe beside the running test executable.
FilePath GetTestChildProcessPath();

}  // namespace test
}  // namespace base

#endif  // BASE_TEST_TEST_CHILD_PROCESS_H_
