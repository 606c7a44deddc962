#include "base/logging.h"

#include <stdlib.h>
#include <time.h>

#include <regex>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/logging_platform.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_temp_dir.h"
#include "gtest/gtest.h"

#if defined(_WIN32)
#include <direct.h>
#else
#include <unistd.h>
#endif

namespace logging {
namespace {

using base::FilePath;

constexpr char kSharedFolderVariable[] = "VELNA_LOGGING_TEST_DIR";

struct Captured {
  LogSeverity severity;
  std::string file;
  int line;
  size_t message_start;
  std::string text;
};

std::vector<Captured>* g_captured = nullptr;
bool g_handler_result = true;

bool CapturingHandler(LogSeverity severity, const char* file, int line,
                      size_t message_start, const std::string& text) {
  g_captured->push_back(
      {severity, file ? file : "", line, message_start, text});
  return g_handler_result;
}

void SetEnvironment(const char* name, const std::string& value) {
#if defined(_WIN32)
  _putenv_s(name, value.c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

bool ChangeDirectory(const FilePath& folder) {
#if defined(_WIN32)
  return _wchdir(reinterpret_cast<const wchar_t*>(folder.value().c_str())) == 0;
#else
  return chdir(folder.NormalizePathSeparatorsTo(u'/').AsUTF8().c_str()) == 0;
#endif
}

std::string ReadFile(const FilePath& path) {
  std::string contents;
  base::FileUtil::ReadFileToString(path, &contents);
  return contents;
}

class LoggingTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetLogging();
    g_captured = &captured_;
    g_handler_result = true;
  }

  void TearDown() override {
    ResetLogging();
    CloseLogFile();
    g_captured = nullptr;
    if (temp_dir_.IsValid()) SetEnvironment(kSharedFolderVariable, "");
  }

  static void ResetLogging() {
    LoggingSettings settings;
    settings.logging_dest = LOG_NONE;
    InitLogging(settings);
    SetLogItems(false, false, true, false);
    SetLogMessageHandler(nullptr);
    SetMinLogLevel(LOG_INFO);
  }

  // A folder that a death-test child (which runs the test again in a new
  // process on Windows) finds too: the parent passes it in the environment.
  FilePath SharedFolder() {
    const char* inherited = getenv(kSharedFolderVariable);
    if (inherited && *inherited) return FilePath(base::UTF8ToUTF16(inherited));
    EXPECT_TRUE(temp_dir_.CreateUniqueTempDir());
    SetEnvironment(kSharedFolderVariable, temp_dir_.GetPath().AsUTF8());
    return temp_dir_.GetPath();
  }

  void LogToFile(const FilePath& path, int delete_old) {
    log_file_ = path.value();
    LoggingSettings settings;
    settings.logging_dest = LOG_TO_FILE;
    settings.log_file = log_file_.c_str();
    settings.delete_old = delete_old;
    ASSERT_TRUE(InitLogging(settings));
  }

  std::vector<Captured> captured_;
  base::ScopedTempDir temp_dir_;
  std::u16string log_file_;
};

TEST_F(LoggingTest, PrefixCarriesTheEnabledItemsInOrder) {
  SetLogMessageHandler(&CapturingHandler);
  const std::string pid = std::to_string(internal::CurrentProcessId());
  const std::string tid = std::to_string(internal::CurrentThreadId());
  struct {
    bool process_id, thread_id, timestamp, tickcount;
    const char* pattern;
  } cases[] = {
      {false, false, false, false, R"(\[INFO:logging_unittest\.cc\(\d+\)\] )"},
      {false, false, true, false,
       R"(\[\d{4}/\d{6}:INFO:logging_unittest\.cc\(\d+\)\] )"},
      {true, false, false, false,
       R"(\[PID:INFO:logging_unittest\.cc\(\d+\)\] )"},
      {true, true, true, true,
       R"(\[PID:TID:\d{4}/\d{6}:\d+:INFO:logging_unittest\.cc\(\d+\)\] )"},
      {false, false, false, true,
       R"(\[\d+:INFO:logging_unittest\.cc\(\d+\)\] )"},
  };
  for (const auto& c : cases) {
    captured_.clear();
    SetLogItems(c.process_id, c.thread_id, c.timestamp, c.tickcount);
    LOG(INFO) << "hello";
    ASSERT_EQ(1u, captured_.size());
    std::string pattern = c.pattern;
    pattern = std::regex_replace(pattern, std::regex("PID"), pid);
    pattern = std::regex_replace(pattern, std::regex("TID"), tid);
    const std::string& text = captured_[0].text;
    EXPECT_TRUE(std::regex_match(text, std::regex(pattern + "hello\n")))
        << text;
    EXPECT_EQ("hello\n", text.substr(captured_[0].message_start));
  }
}

TEST_F(LoggingTest, TimeStampIsLocalMonthDaySlashHourMinuteSecond) {
  SetLogMessageHandler(&CapturingHandler);
  const time_t before = time(nullptr);
  LOG(WARNING) << "x";
  struct tm local = {};
  internal::LocalTime(before, &local);
  char expected_day[8];
  snprintf(expected_day, sizeof(expected_day), "[%02d%02d/", local.tm_mon + 1,
           local.tm_mday);
  ASSERT_EQ(1u, captured_.size());
  const std::string& text = captured_[0].text;
  EXPECT_EQ(expected_day, text.substr(0, 6));
  const int hour = std::stoi(text.substr(6, 2));
  const int minute = std::stoi(text.substr(8, 2));
  const int second = std::stoi(text.substr(10, 2));
  EXPECT_LE(hour, 23);
  EXPECT_LE(minute, 59);
  EXPECT_LE(second, 60);
  EXPECT_EQ(":WARNING:", text.substr(12, 9));
}

TEST_F(LoggingTest, SeverityNames) {
  SetLogMessageHandler(&CapturingHandler);
  SetLogItems(false, false, false, false);
  struct {
    LogSeverity severity;
    const char* prefix;
  } cases[] = {
      {LOG_INFO, "[INFO:a.cc(7)] "},   {LOG_WARNING, "[WARNING:a.cc(7)] "},
      {LOG_ERROR, "[ERROR:a.cc(7)] "}, {4, "[UNKNOWN:a.cc(7)] "},
      {5, "[UNKNOWN:a.cc(7)] "},       {-1, "[VERBOSE1:a.cc(7)] "},
      {-2, "[VERBOSE2:a.cc(7)] "},     {-12, "[VERBOSE12:a.cc(7)] "},
  };
  for (const auto& c : cases) {
    captured_.clear();
    LogMessage(R"(C:\src/a.cc)", 7, c.severity).stream() << "m";
    ASSERT_EQ(1u, captured_.size());
    EXPECT_EQ(std::string(c.prefix) + "m\n", captured_[0].text);
    EXPECT_EQ(c.severity, captured_[0].severity);
  }
}

TEST_F(LoggingTest, FileBaseNameAfterEitherSeparator) {
  SetLogMessageHandler(&CapturingHandler);
  SetLogItems(false, false, false, false);
  struct {
    const char* file;
    const char* prefix;
  } cases[] = {
      {R"(C:\src/base\x/y.cc)", "[INFO:y.cc(3)] "},
      {R"(a/b\c.cc)", "[INFO:c.cc(3)] "},
      {"plain.cc", "[INFO:plain.cc(3)] "},
      {"dir/", "[INFO:(3)] "},
      {nullptr, "[INFO:(3)] "},
  };
  for (const auto& c : cases) {
    captured_.clear();
    LogMessage(c.file, 3, LOG_INFO).stream() << "m";
    ASSERT_EQ(1u, captured_.size());
    EXPECT_EQ(std::string(c.prefix) + "m\n", captured_[0].text);
    EXPECT_EQ(strlen(c.prefix), captured_[0].message_start);
  }
}

TEST_F(LoggingTest, ShouldCreateLogMessage) {
  struct {
    int destination;
    bool handler;
    int min_level;
    LogSeverity severity;
    bool expected;
  } cases[] = {
      {LOG_NONE, false, LOG_INFO, LOG_INFO, false},
      {LOG_NONE, false, LOG_INFO, LOG_WARNING, false},
      {LOG_NONE, false, LOG_INFO, LOG_ERROR, true},
      {LOG_NONE, false, LOG_INFO, LOG_FATAL, true},
      {LOG_NONE, true, LOG_INFO, LOG_INFO, true},
      {LOG_TO_SYSTEM_DEBUG_LOG, false, LOG_INFO, LOG_INFO, true},
      {LOG_TO_SYSTEM_DEBUG_LOG, false, LOG_WARNING, LOG_INFO, false},
      {LOG_NONE, true, LOG_ERROR, LOG_WARNING, false},
      {LOG_NONE, false, -2, -2, false},
      {LOG_NONE, true, -2, -2, true},
      {LOG_NONE, true, -2, -3, false},
  };
  for (const auto& c : cases) {
    LoggingSettings settings;
    settings.logging_dest = c.destination;
    InitLogging(settings);
    SetLogMessageHandler(c.handler ? &CapturingHandler : nullptr);
    SetMinLogLevel(c.min_level);
    EXPECT_EQ(c.expected, ShouldCreateLogMessage(c.severity))
        << c.destination << " " << c.handler << " " << c.min_level << " "
        << c.severity;
  }
}

TEST_F(LoggingTest, MinimumLevelIsCappedAtFatalAndFiltersStatements) {
  SetMinLogLevel(7);
  EXPECT_EQ(LOG_FATAL, GetMinLogLevel());
  SetMinLogLevel(-4);
  EXPECT_EQ(-4, GetMinLogLevel());

  SetLogMessageHandler(&CapturingHandler);
  SetMinLogLevel(LOG_ERROR);
  int evaluated = 0;
  LOG(WARNING) << "dropped" << ++evaluated;
  EXPECT_TRUE(captured_.empty());
  // The stream of a dropped statement is not even evaluated.
  EXPECT_EQ(0, evaluated);
  EXPECT_FALSE(LOG_IS_ON(WARNING));
  LOG(ERROR) << "kept";
  ASSERT_EQ(1u, captured_.size());
  LOG_IF(ERROR, false) << "not logged";
  LOG_IF(ERROR, true) << "logged";
  EXPECT_EQ(2u, captured_.size());
}

TEST_F(LoggingTest, FileGetsEveryLineStandardErrorOnlyErrors) {
  const FilePath log = SharedFolder().AppendASCII("test.log");
  LogToFile(log, DELETE_OLD_LOG_FILE);
  testing::internal::CaptureStderr();
  LOG(INFO) << "info-line";
  LOG(ERROR) << "error-line";
  const std::string standard_error = testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::string::npos, standard_error.find("info-line"));
  EXPECT_NE(std::string::npos, standard_error.find("error-line"));

  const std::string contents = ReadFile(log);
  const size_t info = contents.find("INFO:logging_unittest.cc(");
  const size_t error = contents.find("ERROR:logging_unittest.cc(");
  ASSERT_NE(std::string::npos, info) << contents;
  ASSERT_NE(std::string::npos, error) << contents;
  EXPECT_LT(info, error);
  EXPECT_EQ('\n', contents.back());
}

TEST_F(LoggingTest, SystemDebugLogDestinationWritesStandardErrorNotFile) {
  LoggingSettings settings;
  settings.logging_dest = LOG_TO_SYSTEM_DEBUG_LOG;
  ASSERT_TRUE(InitLogging(settings));
  testing::internal::CaptureStderr();
  LOG(INFO) << "to-stderr";
  EXPECT_NE(std::string::npos,
            testing::internal::GetCapturedStderr().find("INFO:"));

  settings.logging_dest = LOG_NONE;
  InitLogging(settings);
  testing::internal::CaptureStderr();
  LOG(INFO) << "nowhere";
  LOG(ERROR) << "still-stderr";
  const std::string standard_error = testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::string::npos, standard_error.find("nowhere"));
  EXPECT_NE(std::string::npos, standard_error.find("still-stderr"));
}

TEST_F(LoggingTest, OldFileIsAppendedOrDeleted) {
  const FilePath log = SharedFolder().AppendASCII("old.log");
  const std::string old_line = "old line\n";
  ASSERT_EQ(static_cast<int>(old_line.size()),
            base::WriteBufferToFile(log, old_line.data(), old_line.size()));

  LogToFile(log, APPEND_TO_OLD_LOG_FILE);
  LOG(INFO) << "appended";
  std::string contents = ReadFile(log);
  EXPECT_EQ(0u, contents.find(old_line));
  EXPECT_NE(std::string::npos, contents.find("appended"));

  LogToFile(log, DELETE_OLD_LOG_FILE);
  LOG(INFO) << "fresh";
  contents = ReadFile(log);
  EXPECT_EQ(std::string::npos, contents.find("old line"));
  EXPECT_EQ(std::string::npos, contents.find("appended"));
  EXPECT_NE(std::string::npos, contents.find("fresh"));

  // Another InitLogging moves to the new name.
  const FilePath other = SharedFolder().AppendASCII("other.log");
  LogToFile(other, APPEND_TO_OLD_LOG_FILE);
  LOG(INFO) << "moved";
  EXPECT_EQ(std::string::npos, ReadFile(log).find("moved"));
  EXPECT_NE(std::string::npos, ReadFile(other).find("moved"));
}

// A log that cannot be opened under its name is written nowhere else: a
// file in the current folder (which a privileged process may share with
// others) could be read, or have been planted, by someone else. Errors still
// reach standard error.
TEST_F(LoggingTest, AnUnopenableLogIsWrittenNowhereElse) {
  const FilePath folder = SharedFolder();
  const FilePath cases[] = {
      folder.AppendASCII("missing").AppendASCII("x.log"),
      // Longer than any file system's names.
      folder.Append(std::u16string(316, u'x') + u".log"),
  };
  FilePath saved;
  ASSERT_TRUE(base::GetCurrentDirectory(&saved));
  for (const FilePath& log : cases) {
    SCOPED_TRACE(log.AsUTF8());
    ASSERT_TRUE(ChangeDirectory(folder));
    log_file_ = log.value();
    LoggingSettings settings;
    settings.log_file = log_file_.c_str();
    settings.delete_old = APPEND_TO_OLD_LOG_FILE;
    EXPECT_FALSE(InitLogging(settings));
    testing::internal::CaptureStderr();
    LOG(INFO) << "lost-line";
    LOG(ERROR) << "error-line";
    const std::string standard_error = testing::internal::GetCapturedStderr();
    CloseLogFile();
    ASSERT_TRUE(ChangeDirectory(saved));
    EXPECT_NE(std::string::npos, standard_error.find("error-line"));
    EXPECT_FALSE(base::PathExists(folder.AppendASCII("debug.log")));
    EXPECT_FALSE(base::PathExists(log));
  }
}

TEST_F(LoggingTest, HandlerSeesTheLineAndCanSuppressIt) {
  const FilePath log = SharedFolder().AppendASCII("handled.log");
  LogToFile(log, DELETE_OLD_LOG_FILE);
  SetLogMessageHandler(&CapturingHandler);
  g_handler_result = true;
  LOG(ERROR) << "consumed";
  g_handler_result = false;
  LOG(WARNING) << "passed-on";
  ASSERT_EQ(2u, captured_.size());
  EXPECT_EQ(LOG_ERROR, captured_[0].severity);
  EXPECT_NE(std::string::npos, captured_[0].file.find("logging_unittest.cc"));
  EXPECT_GT(captured_[0].line, 0);
  const std::string contents = ReadFile(log);
  EXPECT_EQ(std::string::npos, contents.find("consumed"));
  EXPECT_NE(std::string::npos, contents.find("passed-on"));
}

TEST_F(LoggingTest, LoggingKeepsTheLastSystemError) {
  SetLogMessageHandler(&CapturingHandler);
  internal::SetLastSystemError(1234);
  LOG(INFO) << "x";
  EXPECT_EQ(1234u, GetLastSystemErrorCode());
  PLOG(ERROR) << "y";
  EXPECT_EQ(1234u, GetLastSystemErrorCode());
  ASSERT_EQ(2u, captured_.size());
  // The error text follows the caller's text.
  const std::string& text = captured_[1].text;
  EXPECT_NE(std::string::npos, text.find("] y: ")) << text;
  EXPECT_NE(std::string::npos, text.find("(0x4D2)\n")) << text;
}

TEST_F(LoggingTest, WideTextIsWrittenAsUtf8) {
  SetLogMessageHandler(&CapturingHandler);
  SetLogItems(false, false, false, false);
  const char16_t* null_text = nullptr;
  LOG(INFO) << u"\u00e9t\u00e9" << '|' << null_text << '|'
            << std::u16string(u"\u4e2d");
  ASSERT_EQ(1u, captured_.size());
  EXPECT_EQ("\xc3\xa9t\xc3\xa9||\xe4\xb8\xad\n",
            captured_[0].text.substr(captured_[0].message_start));
}

TEST_F(LoggingTest, VerboseLevelWithoutSwitchesFollowsMinimumLevel) {
  struct {
    int min_level;
    int expected;
  } cases[] = {{0, 0}, {1, -1}, {3, -1}, {-2, 2}};
  for (const auto& c : cases) {
    SetMinLogLevel(c.min_level);
    EXPECT_EQ(c.expected, GetVlogLevel(__FILE__)) << c.min_level;
  }

  SetLogMessageHandler(&CapturingHandler);
  SetMinLogLevel(-1);
  VLOG(1) << "shown";
  VLOG(2) << "hidden";
  VLOG_IF(1, false) << "hidden too";
  ASSERT_EQ(1u, captured_.size());
  EXPECT_NE(std::string::npos, captured_[0].text.find(":VERBOSE1:"));
  EXPECT_EQ(-1, captured_[0].severity);
}

using LoggingDeathTest = LoggingTest;

TEST_F(LoggingDeathTest, FatalEndsTheProcessEvenWhenAHandlerConsumedIt) {
  const FilePath log = SharedFolder().AppendASCII("fatal.log");
  EXPECT_DEATH(
      {
        LogToFile(log, DELETE_OLD_LOG_FILE);
        SetLogMessageHandler(&CapturingHandler);
        g_handler_result = true;
        LOG(FATAL) << "hidden-fatal";
      },
      "");
  EXPECT_EQ(std::string::npos, ReadFile(log).find("hidden-fatal"));

  EXPECT_DEATH(
      {
        LogToFile(log, DELETE_OLD_LOG_FILE);
        LOG(FATAL) << "visible-fatal";
      },
      "");
  const std::string contents = ReadFile(log);
  EXPECT_NE(std::string::npos, contents.find(":FATAL:logging_unittest.cc("));
  EXPECT_NE(std::string::npos, contents.find("visible-fatal"));
}

TEST_F(LoggingDeathTest, FailedCheckEndsTheProcessWithoutText) {
  const FilePath log = SharedFolder().AppendASCII("check.log");
  EXPECT_DEATH(
      {
        LogToFile(log, DELETE_OLD_LOG_FILE);
        CHECK(log.empty()) << "check-text";
      },
      "");
  EXPECT_EQ("", ReadFile(log));
  EXPECT_DEATH(NOTREACHED(), "");
  EXPECT_DEATH(CHECK_EQ(1, 2), "");
  // A passing check does nothing and evaluates its condition once.
  int evaluations = 0;
  CHECK(++evaluations == 1) << "unused";
  EXPECT_EQ(1, evaluations);
}

TEST_F(LoggingDeathTest, InitLoggingReadsTheVerboseSwitches) {
  const FilePath log = SharedFolder().AppendASCII("verbose.log");
  EXPECT_EXIT(
      {
        base::CommandLine::Init();
        base::CommandLine* command_line =
            base::CommandLine::ForCurrentProcess();
        command_line->AppendSwitchASCII("v", "1");
        command_line->AppendSwitchASCII("vmodule", "logging_unittest=2");
        LogToFile(log, DELETE_OLD_LOG_FILE);
        VLOG(2) << "vlog-two";
        VLOG(3) << "vlog-three";
        LOG(INFO) << "other-file-level=" << GetVlogLevel("dir/other.cc");
        CloseLogFile();
        exit(0);
      },
      testing::ExitedWithCode(0), "");
  const std::string contents = ReadFile(log);
  EXPECT_NE(std::string::npos, contents.find(":VERBOSE2:logging_unittest.cc("))
      << contents;
  EXPECT_NE(std::string::npos, contents.find("vlog-two"));
  EXPECT_EQ(std::string::npos, contents.find("vlog-three"));
  EXPECT_NE(std::string::npos, contents.find("other-file-level=1"));
}

}  // namespace
}  // namespace logging
