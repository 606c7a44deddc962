#include "desktop/windows/crash_reporter/scoped_log_capture.h"

#include "base/threading/thread_local.h"

namespace crash_reporter {

namespace {

base::ThreadLocalPointer<ScopedLogCapture> g_capture;

}  // namespace

ScopedLogCapture::ScopedLogCapture() : previous_(g_capture.Get()) {
  g_capture.Set(this);
}

ScopedLogCapture::~ScopedLogCapture() { g_capture.Set(previous_); }

bool OnReporterLogMessage(logging::LogSeverity severity, const char* file,
                          int line, size_t message_start,
                          const std::string& str) {
  ScopedLogCapture* capture = g_capture.Get();
  if (!capture) return false;
  // The build may name sources with either separator.
  const char* base_name = file ? file : "";
  for (const char* at = base_name; *at; ++at)
    if (*at == '\\' || *at == '/') base_name = at + 1;
  capture->text_ += std::string(base_name) + ":" + std::to_string(line) + ":";
  if (message_start < str.size()) capture->text_.append(str, message_start);
  return false;
}

}  // namespace crash_reporter
