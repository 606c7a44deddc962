#include "base/logging.h"

#include <stdio.h>
#include <string.h>
#include <time.h>

#include <algorithm>
#include <iomanip>
#include <mutex>
#include <ostream>

#include "base/command_line.h"
#include "base/logging_platform.h"
#include "base/strings/utf_string_conversions.h"
#include "base/vlog.h"

namespace logging {

namespace {

int g_min_log_level = LOG_INFO;
// No log file until InitLogging names one: any name chosen here (beside the
// executable, in the current folder) could lie in a folder that others
// write.
int g_logging_destination = LOG_NONE;
// Created by the first InitLogging and never freed: lines may still be
// logged while the process's static objects are destroyed.
std::u16string* g_log_file_name = nullptr;
// The next open must create the file: the old one was to be deleted, and a
// file found at the name is someone else's.
bool g_log_file_must_be_new = false;
LogMessageHandlerFunction g_log_message_handler = nullptr;

bool g_log_process_id = false;
bool g_log_thread_id = false;
bool g_log_timestamp = true;
bool g_log_tickcount = false;

// Replaced tables stay allocated: a thread may be reading one.
VlogInfo* g_vlog_info = nullptr;
int g_vlog_tables_built = 0;

// Guards the lazy opening of the log file (and the writes through it) when
// several threads log their first line at once.
std::mutex g_log_file_lock;

const char* const kSeverityNames[] = {"INFO", "WARNING", "ERROR", "FATAL"};

void WriteSeverityName(std::ostream& out, LogSeverity severity) {
  if (severity >= LOG_INFO && severity <= LOG_FATAL)
    out << kSeverityNames[severity];
  else if (severity < 0)
    out << "VERBOSE" << -severity;
  else
    out << "UNKNOWN";
}

const char* FileBaseName(const char* file) {
  if (!file) return "";
  const char* base = file;
  for (const char* p = file; *p; ++p) {
    if (*p == '\\' || *p == '/') base = p + 1;
  }
  return base;
}

// Ends the process after a FATAL line. The text stays on the stack so that a
// crash dump shows it.
[[noreturn]] void TrapAfterFatal(const std::string& text) {
  char message[1024];
  const size_t length = std::min(text.size(), sizeof(message));
  memcpy(message, text.data(), length);
  internal::KeepAlive(message, length);
  internal::BreakpointTrap();
}

}  // namespace

bool InitLogging(const LoggingSettings& settings) {
  base::CommandLine* command_line = base::CommandLine::ForCurrentProcess();
  if (command_line &&
      (command_line->HasSwitch("v") || command_line->HasSwitch("vmodule"))) {
    CHECK_LT(g_vlog_tables_built, 2);
    ++g_vlog_tables_built;
    g_vlog_info = new VlogInfo(command_line->GetSwitchValueASCII("v"),
                               command_line->GetSwitchValueASCII("vmodule"),
                               &g_min_log_level);
  }

  g_logging_destination = settings.logging_dest;
  if (!(g_logging_destination & LOG_TO_FILE)) return true;

  std::lock_guard<std::mutex> lock(g_log_file_lock);
  internal::CloseLogFileHandle();
  CHECK(settings.log_file);
  if (!g_log_file_name) g_log_file_name = new std::u16string();
  *g_log_file_name = settings.log_file;
  g_log_file_must_be_new = settings.delete_old == DELETE_OLD_LOG_FILE;
  if (g_log_file_must_be_new) internal::DeleteFileByName(*g_log_file_name);
  return InitializeLogFileHandle();
}

void SetMinLogLevel(int level) { g_min_log_level = std::min(level, LOG_FATAL); }

int GetMinLogLevel() { return g_min_log_level; }

bool ShouldCreateLogMessage(LogSeverity severity) {
  if (severity < g_min_log_level) return false;
  return g_logging_destination != LOG_NONE || g_log_message_handler ||
         severity >= LOG_ERROR;
}

int GetVlogLevelHelper(const char* file, size_t length) {
  if (g_vlog_info)
    return g_vlog_info->GetVlogLevel(
        base::StringPiece(file, length > 0 ? length - 1 : 0));
  return std::max(-1, -g_min_log_level);
}

void SetLogItems(bool enable_process_id, bool enable_thread_id,
                 bool enable_timestamp, bool enable_tickcount) {
  g_log_process_id = enable_process_id;
  g_log_thread_id = enable_thread_id;
  g_log_timestamp = enable_timestamp;
  g_log_tickcount = enable_tickcount;
}

void SetLogMessageHandler(LogMessageHandlerFunction handler) {
  g_log_message_handler = handler;
}

LogMessageHandlerFunction GetLogMessageHandler() {
  return g_log_message_handler;
}

bool InitializeLogFileHandle() {
  if (internal::HasLogFileHandle()) return true;
  if (!(g_logging_destination & LOG_TO_FILE)) return true;
  // A log that cannot be opened under its name is written nowhere else: a
  // privileged process must not leave its lines where others may read them.
  if (!g_log_file_name ||
      !internal::OpenLogFileHandle(*g_log_file_name, g_log_file_must_be_new)) {
    return false;
  }
  g_log_file_must_be_new = false;
  return true;
}

void CloseLogFile() {
  std::lock_guard<std::mutex> lock(g_log_file_lock);
  internal::CloseLogFileHandle();
}

SystemErrorCode GetLastSystemErrorCode() {
  return internal::GetLastSystemError();
}

LogMessage::LogMessage(const char* file, int line, LogSeverity severity)
    : severity_(severity),
      message_start_(0),
      file_(file),
      line_(line),
      last_error_(internal::GetLastSystemError()) {
  WritePrefix();
}

void LogMessage::WritePrefix() {
  stream_ << '[';
  if (g_log_process_id) stream_ << internal::CurrentProcessId() << ':';
  if (g_log_thread_id) stream_ << internal::CurrentThreadId() << ':';
  if (g_log_timestamp) {
    const time_t now = time(nullptr);
    struct tm local_time = {};
    internal::LocalTime(now, &local_time);
    // The fill stays '0' for the rest of the message.
    stream_ << std::setfill('0') << std::setw(2) << 1 + local_time.tm_mon
            << std::setw(2) << local_time.tm_mday << '/' << std::setw(2)
            << local_time.tm_hour << std::setw(2) << local_time.tm_min
            << std::setw(2) << local_time.tm_sec << ':';
  }
  if (g_log_tickcount) stream_ << internal::TickCount() << ':';
  WriteSeverityName(stream_, severity_);
  stream_ << ':' << FileBaseName(file_) << '(' << line_ << ")] ";
  message_start_ = static_cast<size_t>(stream_.tellp());
}

LogMessage::~LogMessage() {
  stream_ << '\n';
  const std::string text = stream_.str();

  const bool consumed =
      g_log_message_handler &&
      g_log_message_handler(severity_, file_, line_, message_start_, text);
  if (!consumed) {
    if (g_logging_destination & LOG_TO_SYSTEM_DEBUG_LOG)
      internal::WriteToSystemDebugLog(text);
    if ((g_logging_destination & LOG_TO_SYSTEM_DEBUG_LOG) ||
        severity_ >= LOG_ERROR) {
      fwrite(text.data(), text.size(), 1, stderr);
      fflush(stderr);
    }
    if (g_logging_destination & LOG_TO_FILE) {
      std::lock_guard<std::mutex> lock(g_log_file_lock);
      if (InitializeLogFileHandle()) internal::WriteToLogFile(text);
    }
  }
  // A handler may hide the text of a FATAL line, never its end: callers rely
  // on FATAL not returning.
  if (severity_ == LOG_FATAL) TrapAfterFatal(text);

  internal::SetLastSystemError(last_error_);
}

Win32ErrorLogMessage::Win32ErrorLogMessage(const char* file, int line,
                                           LogSeverity severity,
                                           SystemErrorCode code)
    : code_(code), log_message_(file, line, severity) {}

Win32ErrorLogMessage::~Win32ErrorLogMessage() {
  stream() << ": " << SystemErrorCodeToString(code_);
}

CheckFailure::~CheckFailure() { ImmediateCrash(); }

// An illegal-instruction trap, never a write to address zero: the crash
// handler catches it, and the compiler cannot reason the crash away.
void ImmediateCrash() { __builtin_trap(); }

}  // namespace logging

std::ostream& operator<<(std::ostream& out, const char16_t* text) {
  if (text) out << base::UTF16ToUTF8(text);
  return out;
}

std::ostream& operator<<(std::ostream& out, const std::u16string& text) {
  return out << base::UTF16ToUTF8(text);
}
