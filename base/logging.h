// The logging facility: LOG(severity) << ..., VLOG(level), CHECK(condition).
//
// A FATAL message and a failed CHECK end the process through a trap that the
// crash handler can catch.

#ifndef BASE_LOGGING_H_
#define BASE_LOGGING_H_

#include <sstream>
#include <string>

namespace logging {

using LogSeverity = int;
inline constexpr LogSeverity LOG_VERBOSE = -1;
inline constexpr LogSeverity LOG_INFO = 0;
inline constexpr LogSeverity LOG_WARNING = 1;
inline constexpr LogSeverity LOG_ERROR = 2;
inline constexpr LogSeverity LOG_FATAL = 3;

// One log statement; written when destroyed.
class LogMessage {
 public:
  LogMessage(const char* file, int line, LogSeverity severity);
  // For CHECK: "Check failed: <condition>. " starts the message.
  LogMessage(const char* file, int line, const char* failed_condition);
  LogMessage(const LogMessage&) = delete;
  LogMessage& operator=(const LogMessage&) = delete;
  ~LogMessage();

  std::ostream& stream() { return stream_; }

 private:
  const char* file_;
  int line_;
  LogSeverity severity_;
  std::ostringstream stream_;
};

// Turns a stream expression into void, for the conditional macros.
class LogMessageVoidify {
 public:
  void operator&(std::ostream&) {}
};

}  // namespace logging

#define VELNA_LOG_SEVERITY_INFO ::logging::LOG_INFO
#define VELNA_LOG_SEVERITY_WARNING ::logging::LOG_WARNING
#define VELNA_LOG_SEVERITY_ERROR ::logging::LOG_ERROR
#define VELNA_LOG_SEVERITY_FATAL ::logging::LOG_FATAL

#define LOG(severity)                                 \
  ::logging::LogMessage(__FILE__, __LINE__,           \
                        VELNA_LOG_SEVERITY_##severity) \
      .stream()

#define LOG_IF(severity, condition) \
  !(condition) ? (void)0 : ::logging::LogMessageVoidify() & LOG(severity)

#define CHECK(condition)                                             \
  (condition) ? (void)0                                              \
              : ::logging::LogMessageVoidify() &                     \
                    ::logging::LogMessage(__FILE__, __LINE__, #condition) \
                        .stream()

#define CHECK_EQ(a, b) CHECK((a) == (b))
#define CHECK_NE(a, b) CHECK((a) != (b))
#define CHECK_LT(a, b) CHECK((a) < (b))
#define CHECK_LE(a, b) CHECK((a) <= (b))
#define CHECK_GT(a, b) CHECK((a) > (b))
#define CHECK_GE(a, b) CHECK((a) >= (b))

#if defined(NDEBUG)
#define DCHECK(condition) \
  while (false) CHECK(condition)
#else
#define DCHECK(condition) CHECK(condition)
#endif
#define DCHECK_EQ(a, b) DCHECK((a) == (b))
#define DCHECK_NE(a, b) DCHECK((a) != (b))
#define DCHECK_LT(a, b) DCHECK((a) < (b))
#define DCHECK_LE(a, b) DCHECK((a) <= (b))
#define DCHECK_GT(a, b) DCHECK((a) > (b))
#define DCHECK_GE(a, b) DCHECK((a) >= (b))

#define NOTREACHED() CHECK(false)

#endif  // BASE_LOGGING_H_
