// ScopedLogCapture: while one lives on a thread, the log messages of that
// thread are also copied into it, so that the crash reporter can append
// what it logged while handling a crash to that crash's text log.
//
// OnReporterLogMessage is the reporter's log message handler: it copies a
// message into the calling thread's capture, if any, as the source file's
// base name (after the last separator), ':', the line, ':' and the text without
// its prefix. It never consumes the message. Captures do not nest: one per
// thread at a time.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_SCOPED_LOG_CAPTURE_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_SCOPED_LOG_CAPTURE_H_

#include <stddef.h>

#include <string>

#include "base/logging.h"

namespace crash_reporter {

class ScopedLogCapture {
 public:
  ScopedLogCapture();
  ScopedLogCapture(const ScopedLogCapture&) = delete;
  ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;
  ~ScopedLogCapture();

  const std::string& text() const { return text_; }
  void Clear() { text_.clear(); }

 private:
  friend bool OnReporterLogMessage(logging::LogSeverity severity,
                                   const char* file, int line,
                                   size_t message_start,
                                   const std::string& str);
  ScopedLogCapture* const previous_;
  std::string text_;
};

bool OnReporterLogMessage(logging::LogSeverity severity, const char* file,
                          int line, size_t message_start,
                          const std::string& str);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_SCOPED_LOG_CAPTURE_H_
