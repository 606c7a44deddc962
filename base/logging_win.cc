#include <stdio.h>
#include <windows.h>

#include <iterator>

#include "base/files/open_without_links_win.h"
#include "base/logging.h"
#include "base/logging_platform.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"

namespace logging {

std::string SystemErrorCodeToString(SystemErrorCode code) {
  // The wide text: the narrow one comes in the system's code page, not the
  // UTF-8 of the log, and a language's text may well leave ASCII.
  wchar_t message[1024];
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
      0, message, static_cast<DWORD>(std::size(message)), nullptr);
  char suffix[64];
  if (length == 0) {
    snprintf(suffix, sizeof(suffix),
             "Error (0x%lX) while retrieving error. (0x%X)", ::GetLastError(),
             code);
    return suffix;
  }
  snprintf(suffix, sizeof(suffix), " (0x%X)", code);
  return base::CollapseWhitespaceASCII(base::UTF16ToUTF8(
             base::StringPiece16(base::as_u16cstr(message), length))) +
         suffix;
}

namespace internal {

namespace {

// A raw handle on purpose: the log file lives as long as the process, and
// the handle verifier itself logs, so it must not track this one.
HANDLE g_log_file = nullptr;

}  // namespace

// An elevated process logs into the user's temporary folder, which the
// user's other processes can write: the log is never opened, nor deleted,
// through a link planted there.
bool OpenLogFileHandle(const std::u16string& name, bool create_new) {
  HANDLE file = base::OpenWithoutLinks(name, FILE_APPEND_DATA,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       create_new ? CREATE_NEW : OPEN_ALWAYS);
  if (file == INVALID_HANDLE_VALUE) {
    g_log_file = nullptr;
    return false;
  }
  g_log_file = file;
  return true;
}

bool HasLogFileHandle() { return g_log_file != nullptr; }

void CloseLogFileHandle() {
  if (g_log_file) ::CloseHandle(g_log_file);
  g_log_file = nullptr;
}

void WriteToLogFile(const std::string& text) {
  DWORD written = 0;
  ::WriteFile(g_log_file, text.data(), static_cast<DWORD>(text.size()),
              &written, nullptr);
}

void DeleteFileByName(const std::u16string& name) {
  HANDLE file = base::OpenWithoutLinks(
      name, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return;
  base::DeleteOpened(file);
  ::CloseHandle(file);
}

void WriteToSystemDebugLog(const std::string& text) {
  ::OutputDebugStringA(text.c_str());
}

SystemErrorCode GetLastSystemError() { return ::GetLastError(); }

void SetLastSystemError(SystemErrorCode code) { ::SetLastError(code); }

uint32_t CurrentProcessId() { return ::GetCurrentProcessId(); }

uint32_t CurrentThreadId() { return ::GetCurrentThreadId(); }

uint32_t TickCount() { return ::GetTickCount(); }

void LocalTime(time_t now, struct tm* local_time) {
  // The runtime library keeps localtime's result per thread.
  if (const struct tm* result = localtime(&now)) *local_time = *result;
}

void KeepAlive(const char* data, size_t length) {
  asm volatile("" : : "r"(data), "r"(length) : "memory");
}

void BreakpointTrap() {
  ::DebugBreak();
  // Someone handled the breakpoint and carried on: FATAL still never
  // returns.
  __builtin_trap();
}

}  // namespace internal
}  // namespace logging
