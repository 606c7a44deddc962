#include "base/logging.h"

#include <stdio.h>

namespace logging {

namespace {

const char* const kSeverityNames[] = {"INFO", "WARNING", "ERROR", "FATAL"};

const char* SeverityName(LogSeverity severity) {
  if (severity >= LOG_INFO && severity <= LOG_FATAL)
    return kSeverityNames[severity];
  return "VERBOSE";
}

}  // namespace

LogMessage::LogMessage(const char* file, int line, LogSeverity severity)
    : file_(file), line_(line), severity_(severity) {}

LogMessage::LogMessage(const char* file, int line,
                       const char* failed_condition)
    : file_(file), line_(line), severity_(LOG_FATAL) {
  stream_ << "Check failed: " << failed_condition << ". ";
}

LogMessage::~LogMessage() {
  fprintf(stderr, "[%s:%s(%d)] %s\n", SeverityName(severity_), file_, line_,
          stream_.str().c_str());
  fflush(stderr);
  if (severity_ == LOG_FATAL) __builtin_trap();
}

}  // namespace logging
