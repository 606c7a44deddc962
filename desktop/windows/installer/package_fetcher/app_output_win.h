// GetAppOutputWithTimeout: runs a program to read what it prints, as the
// package fetcher runs a downloaded installer for its version and stream,
// without ever waiting for it longer than a time limit.

#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_APP_OUTPUT_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_APP_OUTPUT_WIN_H_

#include <stddef.h>

#include <atomic>
#include <string>

#include "base/time/time.h"

namespace base {
class CommandLine;
}

namespace installer {

enum class AppOutputResult {
  // The program ended; |*output| holds everything it printed.
  kOk,
  kLaunchFailed,
  // The program was still running at the time limit and has been ended.
  kTimedOut,
  // |*cancel| was set; the program has been ended.
  kCancelled,
  // It printed more than the limit; |*output| holds the first bytes.
  kTooLong,
};

// Runs |command_line| hidden, with a pipe as its standard output (the only
// handle it inherits; no standard input or error), and collects what it
// writes there, at most |max_output| bytes, until it ends. A program that
// runs longer than |timeout|, or past the moment |*cancel| (may be null)
// becomes true, is terminated. Never blocks on the pipe: a grandchild that
// keeps it open does not hold the call up. Its exit code is not looked at.
AppOutputResult GetAppOutputWithTimeout(const base::CommandLine& command_line,
                                        base::TimeDelta timeout,
                                        size_t max_output,
                                        const std::atomic<bool>* cancel,
                                        std::string* output);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_APP_OUTPUT_WIN_H_
