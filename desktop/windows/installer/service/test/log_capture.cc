#include "desktop/windows/installer/service/test/log_capture.h"

#include <stdio.h>

#include <mutex>
#include <utility>

#include "gtest/gtest.h"

namespace installer {
namespace test {

namespace {

// Code under test may log from its worker threads too.
std::mutex g_lines_lock;
std::vector<std::pair<logging::LogSeverity, std::string>>* g_lines = nullptr;

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

}  // namespace

ScopedLogCapture::ScopedLogCapture()
    : previous_min_level_(logging::GetMinLogLevel()),
      previous_handler_(logging::GetLogMessageHandler()) {
  {
    std::lock_guard<std::mutex> lock(g_lines_lock);
    g_lines = new std::vector<std::pair<logging::LogSeverity, std::string>>();
  }
  // Verbose level 1 is on while the minimum level is -1.
  logging::SetMinLogLevel(-1);
  logging::SetLogMessageHandler(&CaptureLine);
}

ScopedLogCapture::~ScopedLogCapture() {
  std::lock_guard<std::mutex> lock(g_lines_lock);
  // What the code said is the best clue to a failure.
  if (testing::Test::HasFailure()) {
    for (const auto& [severity, message] : *g_lines)
      fprintf(stderr, "captured log (%d): %s\n", severity, message.c_str());
  }
  logging::SetLogMessageHandler(previous_handler_);
  logging::SetMinLogLevel(previous_min_level_);
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
