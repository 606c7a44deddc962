// Collects the log lines written while it lives (verbose level 1 included),
// instead of writing them anywhere, and prints them to standard error at its
// end when the running test has failed. A process that dies while one lives
// (an unhandled exception on any thread, a failed CHECK, abort()) never
// gets there: it prints them as it dies. One at a time per process.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_LOG_CAPTURE_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_LOG_CAPTURE_H_

#include <string>
#include <vector>

#include "base/logging.h"

namespace installer {
namespace test {

class ScopedLogCapture {
 public:
  ScopedLogCapture();
  ScopedLogCapture(const ScopedLogCapture&) = delete;
  ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;
  ~ScopedLogCapture();

  // True when a line of |severity| carries |text| as its whole message.
  bool Has(logging::LogSeverity severity, const std::string& text) const;
  // The messages (without prefix and newline) of |severity|.
  std::vector<std::string> Messages(logging::LogSeverity severity) const;

 private:
  int previous_min_level_;
  logging::LogMessageHandlerFunction previous_handler_;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_LOG_CAPTURE_H_
