// Process-wide diagnostic logging.
//
//   LOG(INFO) << "Installing into " << folder;
//   VLOG(1) << "Step " << n;          // only when "v"/"vmodule" allow it
//   PLOG(ERROR) << "CreateFileW";     // appends the text of GetLastError()
//   CHECK(invariant);                 // stops the process, no text
//
// A statement builds one LogMessage, streams text into it and emits the line
// when the message is destroyed: to the log file InitLogging names, to the
// system debug log and standard error, as InitLogging says. There is no log
// file by any other name: a process that never calls InitLogging, or whose
// log cannot be opened, writes no log file at all (ERROR and above still
// reach standard error). Every line starts with a prefix in square
// brackets, by default "[MMDD/HHMMSS:SEVERITY:file.cc(line)] ".
//
// A FATAL message always ends the process through a breakpoint trap, which
// the crash client turns into a crash report, even when a message handler
// consumed the text. A failed CHECK ends the process at once with an access
// violation and writes no text.
//
// Settings are plain globals without a lock: set them at start-up, before
// other threads log. Logging leaves the thread's last system error as it
// found it.

#ifndef BASE_LOGGING_H_
#define BASE_LOGGING_H_

#include <stddef.h>
#include <stdint.h>

#include <iosfwd>
#include <sstream>
#include <string>

namespace logging {

// 0 INFO, 1 WARNING, 2 ERROR, 3 FATAL; -n is verbose level n.
using LogSeverity = int;
inline constexpr LogSeverity LOG_VERBOSE = -1;
inline constexpr LogSeverity LOG_INFO = 0;
inline constexpr LogSeverity LOG_WARNING = 1;
inline constexpr LogSeverity LOG_ERROR = 2;
inline constexpr LogSeverity LOG_FATAL = 3;
#if defined(NDEBUG)
inline constexpr LogSeverity LOG_DFATAL = LOG_ERROR;
#else
inline constexpr LogSeverity LOG_DFATAL = LOG_FATAL;
#endif

// Destination bits.
enum LoggingDestination : int {
  LOG_NONE = 0,
  LOG_TO_FILE = 1 << 0,
  // The system debug log (OutputDebugStringA) and standard error.
  LOG_TO_SYSTEM_DEBUG_LOG = 1 << 1,
};

enum OldFileDeletionState : int {
  DELETE_OLD_LOG_FILE = 0,
  APPEND_TO_OLD_LOG_FILE = 1,
};

struct LoggingSettings {
  int logging_dest = LOG_TO_FILE;
  // Required when logging_dest has LOG_TO_FILE; not copied until
  // InitLogging runs.
  const char16_t* log_file = nullptr;
  // Kept for callers that set it; not read.
  int lock_log = 0;
  // DELETE_OLD_LOG_FILE: the log is a file this process creates; a file it
  // cannot delete first (a link, a file someone keeps open) is left alone,
  // and there is no log until the name is free.
  int delete_old = APPEND_TO_OLD_LOG_FILE;
};

// Reads "v"/"vmodule" from the process command line (when it exists) into
// the verbose-level table, stores the destination and, with LOG_TO_FILE,
// (re)opens the log file under the given name, deleting it first when asked.
// False when the file cannot be opened under that name; every later line
// tries again, and no other file is ever written instead.
bool InitLogging(const LoggingSettings& settings);

// Stores min(level, FATAL). Messages below it are not created.
void SetMinLogLevel(int level);
int GetMinLogLevel();

// False below the minimum level; otherwise true when there is a destination
// or a handler, or for ERROR and above (which always reach standard error).
bool ShouldCreateLogMessage(LogSeverity severity);

// The verbose level in force for a source file: from "vmodule" when a
// pattern matches, else minus the minimum level (at least -1 while no table
// exists). |length| counts the terminating NUL.
int GetVlogLevelHelper(const char* file, size_t length);
template <size_t N>
int GetVlogLevel(const char (&file)[N]) {
  return GetVlogLevelHelper(file, N);
}

// Which items the prefix carries; time stamp only by default.
void SetLogItems(bool enable_process_id, bool enable_thread_id,
                 bool enable_timestamp, bool enable_tickcount);

// Sees every emitted line (prefix, text and newline) first; returning true
// suppresses every output of that line. A FATAL line still ends the process.
using LogMessageHandlerFunction = bool (*)(LogSeverity severity,
                                           const char* file, int line,
                                           size_t message_start,
                                           const std::string& str);
void SetLogMessageHandler(LogMessageHandlerFunction handler);
LogMessageHandlerFunction GetLogMessageHandler();

// Opens the log file InitLogging named, on first need. True when a file is
// open or none is needed; false when there is no name or it cannot be
// opened.
bool InitializeLogFileHandle();
// Closes the log file; the next line that needs it opens it again.
void CloseLogFile();

using SystemErrorCode = uint32_t;
SystemErrorCode GetLastSystemErrorCode();
// The system's text for |code|, white space collapsed, then " (0xCODE)".
std::string SystemErrorCodeToString(SystemErrorCode code);

// One log statement; emitted when destroyed.
class LogMessage {
 public:
  LogMessage(const char* file, int line, LogSeverity severity);
  LogMessage(const LogMessage&) = delete;
  LogMessage& operator=(const LogMessage&) = delete;
  ~LogMessage();

  std::ostream& stream() { return stream_; }

 private:
  void WritePrefix();

  LogSeverity severity_;
  std::ostringstream stream_;
  size_t message_start_;
  const char* file_;
  int line_;
  SystemErrorCode last_error_;
};

// A LogMessage that ends with ": " and the text of a system error code.
class Win32ErrorLogMessage {
 public:
  Win32ErrorLogMessage(const char* file, int line, LogSeverity severity,
                       SystemErrorCode code);
  Win32ErrorLogMessage(const Win32ErrorLogMessage&) = delete;
  Win32ErrorLogMessage& operator=(const Win32ErrorLogMessage&) = delete;
  ~Win32ErrorLogMessage();

  std::ostream& stream() { return log_message_.stream(); }

 private:
  SystemErrorCode code_;
  LogMessage log_message_;
};

// The sink of a failed CHECK: accepts streamed text, drops it, and ends the
// process when destroyed.
class CheckFailure {
 public:
  CheckFailure() : stream_(nullptr) {}
  CheckFailure(const CheckFailure&) = delete;
  CheckFailure& operator=(const CheckFailure&) = delete;
  ~CheckFailure();

  std::ostream& stream() { return stream_; }

 private:
  std::ostream stream_;
};

// Stops the process with an access violation (a write to address zero).
[[noreturn]] void ImmediateCrash();

// Turns a stream expression into void, for the conditional macros.
class LogMessageVoidify {
 public:
  void operator&(std::ostream&) {}
};

}  // namespace logging

// Wide text is written as UTF-8; a null pointer writes nothing.
std::ostream& operator<<(std::ostream& out, const char16_t* text);
std::ostream& operator<<(std::ostream& out, const std::u16string& text);

// Severity names are pasted, never expanded on their own, so windows.h's
// ERROR macro cannot reach them.
#define VELNA_LOG_SEVERITY_INFO ::logging::LOG_INFO
#define VELNA_LOG_SEVERITY_WARNING ::logging::LOG_WARNING
#define VELNA_LOG_SEVERITY_ERROR ::logging::LOG_ERROR
#define VELNA_LOG_SEVERITY_FATAL ::logging::LOG_FATAL
#define VELNA_LOG_SEVERITY_DFATAL ::logging::LOG_DFATAL

#define VELNA_LAZY_STREAM(stream, condition) \
  !(condition) ? (void)0 : ::logging::LogMessageVoidify() & (stream)

#define VELNA_LOG_WITH(severity_value, condition)                         \
  VELNA_LAZY_STREAM(                                                      \
      ::logging::LogMessage(__FILE__, __LINE__, severity_value).stream(), \
      ::logging::ShouldCreateLogMessage(severity_value) && (condition))
#define VELNA_PLOG_WITH(severity_value, condition)                         \
  VELNA_LAZY_STREAM(                                                       \
      ::logging::Win32ErrorLogMessage(__FILE__, __LINE__, severity_value,  \
                                      ::logging::GetLastSystemErrorCode()) \
          .stream(),                                                       \
      ::logging::ShouldCreateLogMessage(severity_value) && (condition))

#define LOG_IS_ON(severity) \
  (::logging::ShouldCreateLogMessage(VELNA_LOG_SEVERITY_##severity))
#define LOG(severity) VELNA_LOG_WITH(VELNA_LOG_SEVERITY_##severity, true)
#define LOG_IF(severity, condition) \
  VELNA_LOG_WITH(VELNA_LOG_SEVERITY_##severity, condition)
#define PLOG(severity) VELNA_PLOG_WITH(VELNA_LOG_SEVERITY_##severity, true)
#define PLOG_IF(severity, condition) \
  VELNA_PLOG_WITH(VELNA_LOG_SEVERITY_##severity, condition)

// A verbose statement of level n is written, with severity -n, when its own
// source file's verbose level is at least n.
#define VLOG_IS_ON(verbose_level) \
  ((verbose_level) <= ::logging::GetVlogLevel(__FILE__))
#define VLOG(verbose_level)                                                 \
  VELNA_LAZY_STREAM(                                                        \
      ::logging::LogMessage(__FILE__, __LINE__, -(verbose_level)).stream(), \
      VLOG_IS_ON(verbose_level))
#define VLOG_IF(verbose_level, condition)                                   \
  VELNA_LAZY_STREAM(                                                        \
      ::logging::LogMessage(__FILE__, __LINE__, -(verbose_level)).stream(), \
      VLOG_IS_ON(verbose_level) && (condition))
#define VPLOG(verbose_level)                                                \
  VELNA_LAZY_STREAM(                                                        \
      ::logging::Win32ErrorLogMessage(__FILE__, __LINE__, -(verbose_level), \
                                      ::logging::GetLastSystemErrorCode())  \
          .stream(),                                                        \
      VLOG_IS_ON(verbose_level))

#if defined(NDEBUG)
#define DCHECK_IS_ON() 0
#else
#define DCHECK_IS_ON() 1
#endif

#define DLOG(severity) \
  VELNA_LOG_WITH(VELNA_LOG_SEVERITY_##severity, DCHECK_IS_ON())
#define DLOG_IF(severity, condition) \
  VELNA_LOG_WITH(VELNA_LOG_SEVERITY_##severity, DCHECK_IS_ON() && (condition))
#define DPLOG(severity) \
  VELNA_PLOG_WITH(VELNA_LOG_SEVERITY_##severity, DCHECK_IS_ON())
#define DVLOG(verbose_level) VLOG_IF(verbose_level, DCHECK_IS_ON())

#define CHECK(condition) \
  VELNA_LAZY_STREAM(::logging::CheckFailure().stream(), !(condition))

#define CHECK_EQ(a, b) CHECK((a) == (b))
#define CHECK_NE(a, b) CHECK((a) != (b))
#define CHECK_LT(a, b) CHECK((a) < (b))
#define CHECK_LE(a, b) CHECK((a) <= (b))
#define CHECK_GT(a, b) CHECK((a) > (b))
#define CHECK_GE(a, b) CHECK((a) >= (b))

#if DCHECK_IS_ON()
#define DCHECK(condition) CHECK(condition)
#else
#define DCHECK(condition) \
  while (false) CHECK(condition)
#endif
#define DCHECK_EQ(a, b) DCHECK((a) == (b))
#define DCHECK_NE(a, b) DCHECK((a) != (b))
#define DCHECK_LT(a, b) DCHECK((a) < (b))
#define DCHECK_LE(a, b) DCHECK((a) <= (b))
#define DCHECK_GT(a, b) DCHECK((a) > (b))
#define DCHECK_GE(a, b) DCHECK((a) >= (b))

#define NOTREACHED() CHECK(false)

#endif  // BASE_LOGGING_H_
