#include <stdlib.h>
#include <windows.h>

#include <random>
#include <regex>
#include <string>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_temp_dir.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace logging {
namespace {

using base::FilePath;

std::string ReadFile(const FilePath& path) {
  std::string contents;
  base::FileUtil::ReadFileToString(path, &contents);
  return contents;
}

// A value the parent picks and a death-test child (which runs the test again
// in a new process) finds in its environment.
std::string SharedValue(const char* name, const std::string& fresh) {
  const char* inherited = getenv(name);
  if (inherited && *inherited) return inherited;
  _putenv_s(name, fresh.c_str());
  return fresh;
}

TEST(LoggingWinTest, SystemErrorTextIsCollapsedAndEndsWithTheCode) {
  const std::string text = SystemErrorCodeToString(ERROR_ACCESS_DENIED);
  EXPECT_TRUE(std::regex_match(
      text, std::regex(R"([^ \r\n]([^\r\n]*[^ \r\n])? \(0x5\))")))
      << text;
  EXPECT_EQ(std::string::npos, text.find("  "));
  EXPECT_NE(std::string::npos, text.find("ccess")) << text;

  EXPECT_TRUE(std::regex_match(SystemErrorCodeToString(1450),
                               std::regex(R"(.+ \(0x5AA\))")));
  const std::string unknown = SystemErrorCodeToString(0x2AAAAAAA);
  EXPECT_TRUE(std::regex_match(
      unknown,
      std::regex(
          R"(Error \(0x[0-9A-F]+\) while retrieving error\. \(0x2AAAAAAA\))")))
      << unknown;
}

std::string* g_last_line = nullptr;

bool KeepLastLine(LogSeverity severity, const char* file, int line,
                  size_t message_start, const std::string& text) {
  *g_last_line = text;
  return true;
}

// windows.h defines ERROR as 0; every macro must still see the severity
// name, never the number.
TEST(LoggingWinTest, SeverityMacrosSurviveTheErrorMacro) {
  static_assert(ERROR == 0, "windows.h is included");
  std::string last_line;
  g_last_line = &last_line;
  SetLogMessageHandler(&KeepLastLine);
  const bool was_on = LOG_IS_ON(ERROR);
  LOG(ERROR) << "a";
  EXPECT_NE(std::string::npos, last_line.find(":ERROR:"));
  LOG_IF(ERROR, true) << "b";
  EXPECT_NE(std::string::npos, last_line.find("] b\n"));
  ::SetLastError(ERROR_FILE_NOT_FOUND);
  PLOG(ERROR) << "c";
  EXPECT_NE(std::string::npos, last_line.find("] c: ")) << last_line;
  EXPECT_NE(std::string::npos, last_line.find(" (0x2)\n")) << last_line;
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ::GetLastError());
  DLOG(ERROR) << "d";
  PLOG_IF(ERROR, false) << "e";
  EXPECT_EQ(std::string::npos, last_line.find("] e"));
  SetLogMessageHandler(nullptr);
  g_last_line = nullptr;
  EXPECT_TRUE(was_on);
}

// Without InitLogging a process writes no log file: not beside the
// executable, which may lie in a folder that others write, nor in its
// current folder. Errors still reach standard error.
TEST(LoggingWinTest, UninitializedProcessWritesNoLogFile) {
  const std::string token = SharedValue(
      "VELNA_DEFAULT_LOG_TOKEN",
      "default-log-token-" + std::to_string(std::random_device()()));
  base::ScopedTempDir temp_dir;
  const char* inherited = getenv("VELNA_DEFAULT_LOG_DIR");
  if (!inherited || !*inherited) {
    ASSERT_TRUE(temp_dir.CreateUniqueTempDir());
    _putenv_s("VELNA_DEFAULT_LOG_DIR", temp_dir.GetPath().AsUTF8().c_str());
  }
  const FilePath folder(base::UTF8ToUTF16(getenv("VELNA_DEFAULT_LOG_DIR")));
  EXPECT_EXIT(
      {
        ::SetCurrentDirectoryW(base::as_wcstr(folder.value()));
        LOG(INFO) << token;
        LOG(ERROR) << token << "-error";
        exit(0);
      },
      testing::ExitedWithCode(0), token + "-error");
  wchar_t exe[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
  const FilePath exe_path(std::u16string(base::as_u16cstr(exe), length));
  EXPECT_EQ(std::string::npos,
            ReadFile(exe_path.DirName().AppendASCII("debug.log")).find(token));
  EXPECT_FALSE(base::PathExists(folder.AppendASCII("debug.log")));
  _putenv_s("VELNA_DEFAULT_LOG_TOKEN", "");
  _putenv_s("VELNA_DEFAULT_LOG_DIR", "");
}

// AppendToFile reports its failures at verbose level 1 of its own module.
TEST(LoggingWinTest, AppendToFileFailureIsAVerboseErrorLine) {
  base::ScopedTempDir temp_dir;
  const char* inherited = getenv("VELNA_APPEND_LOG_DIR");
  if (!inherited || !*inherited) {
    ASSERT_TRUE(temp_dir.CreateUniqueTempDir());
    _putenv_s("VELNA_APPEND_LOG_DIR", temp_dir.GetPath().AsUTF8().c_str());
  }
  const FilePath folder(base::UTF8ToUTF16(getenv("VELNA_APPEND_LOG_DIR")));
  const FilePath log = folder.AppendASCII("append.log");
  const FilePath missing = folder.AppendASCII("missing.txt");
  EXPECT_EXIT(
      {
        base::CommandLine::Init();
        base::CommandLine::ForCurrentProcess()->AppendSwitchASCII(
            "vmodule", "file_util_win=1");
        const std::u16string name = log.value();
        LoggingSettings settings;
        settings.log_file = name.c_str();
        InitLogging(settings);
        base::AppendToFile(missing, "x", 1);
        CloseLogFile();
        exit(0);
      },
      testing::ExitedWithCode(0), "");
  const std::string contents = ReadFile(log);
  EXPECT_NE(std::string::npos, contents.find(":VERBOSE1:file_util_win.cc("))
      << contents;
  EXPECT_NE(std::string::npos, contents.find("] CreateFile failed for path " +
                                             missing.AsUTF8() + ": "))
      << contents;
  EXPECT_NE(std::string::npos, contents.find(" (0x2)\n")) << contents;
  _putenv_s("VELNA_APPEND_LOG_DIR", "");
}

// A log in a folder that others can write (the user's temporary folder, for
// an elevated installer) may find a second name of some other file planted
// at its name: neither the other file nor the planted name is touched,
// however the old log is treated, and no log goes elsewhere instead.
TEST(LoggingWinTest, ALogNeverWritesOrDeletesThroughAPlantedLink) {
  base::ScopedTempDir temp_dir;
  const char* inherited = getenv("VELNA_LINKED_LOG_DIR");
  if (!inherited || !*inherited) {
    ASSERT_TRUE(temp_dir.CreateUniqueTempDir());
    _putenv_s("VELNA_LINKED_LOG_DIR", temp_dir.GetPath().AsUTF8().c_str());
  }
  const FilePath folder(base::UTF8ToUTF16(getenv("VELNA_LINKED_LOG_DIR")));
  const FilePath victim = folder.AppendASCII("victim.txt");
  const FilePath planted = folder.AppendASCII("planted.log");
  if (!inherited || !*inherited) {
    ASSERT_EQ(6, base::WriteBufferToFile(victim, "victim", 6));
    ASSERT_TRUE(::CreateHardLinkW(base::as_wcstr(planted.value()),
                                  base::as_wcstr(victim.value()), nullptr));
  }
  EXPECT_EXIT(
      {
        ::SetCurrentDirectoryW(base::as_wcstr(folder.value()));
        const std::u16string name = planted.value();
        LoggingSettings settings;
        settings.log_file = name.c_str();
        settings.delete_old = APPEND_TO_OLD_LOG_FILE;
        InitLogging(settings);
        LOG(INFO) << "appended-line";
        settings.delete_old = DELETE_OLD_LOG_FILE;
        InitLogging(settings);
        LOG(INFO) << "fresh-line";
        CloseLogFile();
        exit(0);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EQ("victim", ReadFile(victim));
  EXPECT_TRUE(base::PathExists(planted));
  EXPECT_FALSE(base::PathExists(folder.AppendASCII("debug.log")));
  _putenv_s("VELNA_LINKED_LOG_DIR", "");
}

// A new log (the old one deleted first) is a file this process creates: a
// file that someone else planted at the name and keeps open, so that it
// cannot be deleted, is not written into, where its owner would read what
// a privileged process logs.
TEST(LoggingWinTest, ANewLogIsNeverAFileSomeoneElseKeepsOpen) {
  base::ScopedTempDir temp_dir;
  ASSERT_TRUE(temp_dir.CreateUniqueTempDir());
  const FilePath planted = temp_dir.GetPath().AppendASCII("planted.log");
  ASSERT_EQ(7, base::WriteBufferToFile(planted, "planted", 7));
  base::win::ScopedHandle held(::CreateFileW(
      base::as_wcstr(planted.value()), GENERIC_READ,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held.IsValid());
  const std::u16string name = planted.value();
  LoggingSettings settings;
  settings.log_file = name.c_str();
  settings.delete_old = DELETE_OLD_LOG_FILE;
  EXPECT_FALSE(InitLogging(settings));
  LOG(INFO) << "secret-line";
  CloseLogFile();
  settings.logging_dest = LOG_NONE;
  InitLogging(settings);
  held.Close();
  EXPECT_EQ("planted", ReadFile(planted));
}

}  // namespace
}  // namespace logging
