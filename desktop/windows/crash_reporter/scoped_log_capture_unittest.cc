#include "desktop/windows/crash_reporter/scoped_log_capture.h"

#include <thread>

#include "gtest/gtest.h"

namespace crash_reporter {

namespace {

TEST(ScopedLogCaptureTest, CopiesOnlyTheCapturingThreadsMessages) {
  const std::string line = "[1234:ERROR:x.cc(5)] the text\n";
  const size_t start = line.find("the");
  // No capture: nothing happens, and the message is never consumed.
  EXPECT_FALSE(OnReporterLogMessage(logging::LOG_ERROR, "C:\\src\\x.cc", 5,
                                    start, line));
  {
    ScopedLogCapture capture;
    EXPECT_FALSE(OnReporterLogMessage(logging::LOG_ERROR, "C:\\src\\x.cc", 5,
                                      start, line));
    std::thread other([&] {
      OnReporterLogMessage(logging::LOG_INFO, "y.cc", 9, 0, "other\n");
    });
    other.join();
    OnReporterLogMessage(logging::LOG_INFO, "dir/y.cc", 7, 0, "plain\n");
    OnReporterLogMessage(logging::LOG_INFO, nullptr, 1, 99, "short");
    EXPECT_EQ("x.cc:5:the text\ny.cc:7:plain\n:1:", capture.text());
    capture.Clear();
    EXPECT_EQ("", capture.text());
  }
  // The capture has ended with its scope.
  ScopedLogCapture next;
  EXPECT_EQ("", next.text());
  {
    ScopedLogCapture inner;
    OnReporterLogMessage(logging::LOG_INFO, "a.cc", 1, 0, "inner\n");
    EXPECT_EQ("a.cc:1:inner\n", inner.text());
  }
  OnReporterLogMessage(logging::LOG_INFO, "a.cc", 2, 0, "outer\n");
  EXPECT_EQ("a.cc:2:outer\n", next.text());
}

TEST(ScopedLogCaptureTest, ReceivesRealLogLines) {
  logging::LogMessageHandlerFunction previous = logging::GetLogMessageHandler();
  logging::SetLogMessageHandler(&OnReporterLogMessage);
  {
    ScopedLogCapture capture;
    LOG(ERROR) << "DebugActiveProcess failed";
    EXPECT_NE(std::string::npos,
              capture.text().find(":DebugActiveProcess failed\n"));
    EXPECT_EQ(std::string::npos, capture.text().find("ERROR"));
  }
  logging::SetLogMessageHandler(previous);
}

}  // namespace

}  // namespace crash_reporter
