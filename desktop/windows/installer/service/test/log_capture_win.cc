#include <signal.h>
#include <stdio.h>
#include <windows.h>

#include <atomic>
#include <mutex>
#include <utility>

#include "desktop/windows/installer/service/test/log_capture.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {

namespace {

// How long a dying process tries to take the lines' lock, in 1 ms naps: the
// thread that died may be the one holding it.
constexpr int kDyingLockAttempts = 1000;

// Code under test may log from its worker threads too.
std::mutex g_lines_lock;
std::vector<std::pair<logging::LogSeverity, std::string>>* g_lines = nullptr;

LPTOP_LEVEL_EXCEPTION_FILTER g_previous_filter = nullptr;
void (*g_previous_abort_handler)(int) = SIG_DFL;
std::atomic<bool> g_printed_while_dying{false};

bool CaptureLine(logging::LogSeverity severity, const char* file, int line,
                 size_t message_start, const std::string& text) {
  std::string message = text.substr(message_start);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
    message.pop_back();
  std::lock_guard<std::mutex> lock(g_lines_lock);
  if (!g_lines) return false;
  g_lines->emplace_back(severity, std::move(message));
  return true;
}

// Straight to the handle, without the C runtime's locks or the heap, which
// a dying thread may have left taken or broken.
void WriteToStderr(const char* text, size_t size) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(size),
            &written, nullptr);
}

// The destructor of a dying process never runs: the lines go out here,
// whether the test had failed yet or not.
void PrintLinesWhileDying() {
  if (g_printed_while_dying.exchange(true)) return;
  std::unique_lock<std::mutex> lock(g_lines_lock, std::defer_lock);
  for (int attempt = 0; attempt < kDyingLockAttempts && !lock.try_lock();
       ++attempt) {
    Sleep(1);
  }
  constexpr char kBusy[] = "captured log: its lock is held by a dying thread\n";
  if (!lock.owns_lock()) return WriteToStderr(kBusy, sizeof(kBusy) - 1);
  if (!g_lines) return;
  constexpr char kHeading[] = "captured log of a dying test process:\n";
  WriteToStderr(kHeading, sizeof(kHeading) - 1);
  for (const auto& [severity, message] : *g_lines) {
    char prefix[32];
    const int length =
        snprintf(prefix, sizeof(prefix), "captured log (%d): ", severity);
    if (length > 0) WriteToStderr(prefix, static_cast<size_t>(length));
    WriteToStderr(message.data(), message.size());
    WriteToStderr("\n", 1);
  }
}

LONG WINAPI PrintLinesOnCrash(EXCEPTION_POINTERS* exception) {
  PrintLinesWhileDying();
  return g_previous_filter ? g_previous_filter(exception)
                           : EXCEPTION_CONTINUE_SEARCH;
}

// abort() ends the process without an exception.
void PrintLinesOnAbort(int signal_number) {
  PrintLinesWhileDying();
  if (g_previous_abort_handler != SIG_DFL &&
      g_previous_abort_handler != SIG_IGN &&
      g_previous_abort_handler != SIG_ERR) {
    g_previous_abort_handler(signal_number);
  }
}

}  // namespace

ScopedLogCapture::ScopedLogCapture()
    : previous_min_level_(logging::GetMinLogLevel()),
      previous_handler_(logging::GetLogMessageHandler()) {
  {
    std::lock_guard<std::mutex> lock(g_lines_lock);
    g_lines = new std::vector<std::pair<logging::LogSeverity, std::string>>();
  }
  g_printed_while_dying.store(false);
  g_previous_filter = SetUnhandledExceptionFilter(&PrintLinesOnCrash);
  g_previous_abort_handler = signal(SIGABRT, &PrintLinesOnAbort);
  // Verbose level 1 is on while the minimum level is -1.
  logging::SetMinLogLevel(-1);
  logging::SetLogMessageHandler(&CaptureLine);
}

ScopedLogCapture::~ScopedLogCapture() {
  logging::SetLogMessageHandler(previous_handler_);
  logging::SetMinLogLevel(previous_min_level_);
  signal(SIGABRT, g_previous_abort_handler);
  SetUnhandledExceptionFilter(g_previous_filter);
  std::lock_guard<std::mutex> lock(g_lines_lock);
  // What the code said is the best clue to a failure.
  if (testing::Test::HasFailure()) {
    for (const auto& [severity, message] : *g_lines)
      fprintf(stderr, "captured log (%d): %s\n", severity, message.c_str());
  }
  delete g_lines;
  g_lines = nullptr;
}

bool ScopedLogCapture::Has(logging::LogSeverity severity,
                           const std::string& text) const {
  std::lock_guard<std::mutex> lock(g_lines_lock);
  for (const auto& [line_severity, message] : *g_lines) {
    if (line_severity == severity && message == text) return true;
  }
  return false;
}

std::vector<std::string> ScopedLogCapture::Messages(
    logging::LogSeverity severity) const {
  std::lock_guard<std::mutex> lock(g_lines_lock);
  std::vector<std::string> messages;
  for (const auto& [line_severity, message] : *g_lines) {
    if (line_severity == severity) messages.push_back(message);
  }
  return messages;
}

}  // namespace test
}  // namespace installer
