#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "base/logging.h"
#include "base/logging_platform.h"
#include "base/strings/utf_string_conversions.h"

namespace logging {

std::string SystemErrorCodeToString(SystemErrorCode code) {
  char text[320];
  snprintf(text, sizeof(text), "%s (0x%X)", strerror(static_cast<int>(code)),
           code);
  return text;
}

namespace internal {

namespace {

int g_log_file = -1;

// Paths built with FilePath carry "\\" separators.
std::string NativePath(const std::u16string& name) {
  std::string path = base::UTF16ToUTF8(name);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

}  // namespace

bool OpenLogFileHandle(const std::u16string& name, bool create_new) {
  g_log_file = open(
      NativePath(name).c_str(),
      O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | (create_new ? O_EXCL : 0),
      0644);
  return g_log_file >= 0;
}

bool HasLogFileHandle() { return g_log_file >= 0; }

void CloseLogFileHandle() {
  if (g_log_file >= 0) close(g_log_file);
  g_log_file = -1;
}

void WriteToLogFile(const std::string& text) {
  [[maybe_unused]] ssize_t written =
      write(g_log_file, text.data(), text.size());
}

void DeleteFileByName(const std::u16string& name) {
  unlink(NativePath(name).c_str());
}

// There is no system debug log here; the line still goes to standard error.
void WriteToSystemDebugLog(const std::string& text) {}

SystemErrorCode GetLastSystemError() { return errno; }

void SetLastSystemError(SystemErrorCode code) {
  errno = static_cast<int>(code);
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }

uint32_t CurrentThreadId() {
  return static_cast<uint32_t>(syscall(SYS_gettid));
}

uint32_t TickCount() {
  struct timespec now = {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

void LocalTime(time_t now, struct tm* local_time) {
  localtime_r(&now, local_time);
}

void KeepAlive(const char* data, size_t length) {
  asm volatile("" : : "r"(data), "r"(length) : "memory");
}

void BreakpointTrap() {
#if defined(__clang__)
  __builtin_debugtrap();
#endif
  __builtin_trap();
}

}  // namespace internal
}  // namespace logging
