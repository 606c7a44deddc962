#include <windows.h>

#include <string>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_temp_dir.h"
#include "desktop/windows/crash_reporter/crash_reporter_paths.h"
#include "desktop/windows/crash_reporter/test/scoped_environment_win.h"
#include "gtest/gtest.h"

namespace crash_reporter {

namespace {

using test::ScopedEnvironment;

class CrashReporterPathsWinTest : public testing::Test {
 protected:
  void SetUp() override {
    base::CommandLine::Init();
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
  }
  void TearDown() override {
    base::PathService::RemoveOverrideForTesting(kDirUserData);
    SetCrashPathsForTesting(CrashPaths());
  }
  void SetUserDataDir(const base::FilePath& folder) {
    base::CommandLine::ForCurrentProcess()->AppendSwitchPath(kUserDataDirSwitch,
                                                             folder);
  }

  base::ScopedTempDir temp_;
};

TEST_F(CrashReporterPathsWinTest, WithoutUserDataNoFileIsKnown) {
  ScopedEnvironment no_log_dir(kCrashLogDirVariable, nullptr);
  ASSERT_TRUE(InitCrashPaths());
  const CrashPaths& paths = GetCrashPaths();
  EXPECT_TRUE(paths.counter_file.empty());
  EXPECT_TRUE(paths.browser_state_file.empty());
  EXPECT_TRUE(paths.crash_id_map_file.empty());
  EXPECT_FALSE(paths.custom_log_folder);
  base::FilePath temp;
  ASSERT_TRUE(base::GetTempDir(&temp));
  EXPECT_EQ(temp, paths.crash_folder);
  base::FilePath path;
  EXPECT_FALSE(GetCrashReporterPath(kFileCrashCounters, &path));
}

TEST_F(CrashReporterPathsWinTest, FilesInTheUserDataFolder) {
  ScopedEnvironment no_log_dir(kCrashLogDirVariable, nullptr);
  const base::FilePath user_data = temp_.GetPath().Append(u"user data");
  SetUserDataDir(user_data);
  ASSERT_TRUE(InitCrashPaths());
  const CrashPaths& paths = GetCrashPaths();
  EXPECT_TRUE(base::DirectoryExists(user_data));
  EXPECT_EQ(user_data.Append(u"crash_counters.json"), paths.counter_file);
  EXPECT_EQ(user_data.Append(u"Local State"), paths.browser_state_file);
  EXPECT_EQ(user_data.Append(u"crash_id_map.txt"), paths.crash_id_map_file);
  // The map file is the same for every crash.
  EXPECT_EQ(paths.crash_id_map_file, GetCrashIdMapPath(7));
}

TEST_F(CrashReporterPathsWinTest, ACrashLogFolderFromTheEnvironment) {
  const base::FilePath logs = temp_.GetPath().Append(u"logs \u00e9");
  ScopedEnvironment log_dir(kCrashLogDirVariable, logs.value().c_str());
  SetUserDataDir(temp_.GetPath().Append(u"profile"));
  ASSERT_TRUE(InitCrashPaths());
  const CrashPaths& paths = GetCrashPaths();
  EXPECT_TRUE(base::DirectoryExists(logs));
  EXPECT_EQ(logs, paths.crash_folder);
  EXPECT_TRUE(paths.custom_log_folder);
  EXPECT_EQ(logs.Append(u"crash_id_map.txt"), paths.crash_id_map_file);
  EXPECT_EQ(
      logs.Append(u"crash_id_map-" +
                  base::UintToString16(GetCurrentProcessId()) + u"-2.txt"),
      GetCrashIdMapPath(2));
  // The counter file stays in the user-data folder.
  EXPECT_EQ(temp_.GetPath().Append(u"profile").Append(u"crash_counters.json"),
            paths.counter_file);
}

TEST_F(CrashReporterPathsWinTest, ACrashLogFolderWithoutUserData) {
  const base::FilePath logs = temp_.GetPath().Append(u"logs");
  ScopedEnvironment log_dir(kCrashLogDirVariable, logs.value().c_str());
  ASSERT_TRUE(InitCrashPaths());
  EXPECT_EQ(logs, GetCrashPaths().crash_folder);
  EXPECT_TRUE(GetCrashPaths().crash_id_map_file.empty());
  EXPECT_TRUE(GetCrashIdMapPath(1).empty());
}

TEST_F(CrashReporterPathsWinTest, UnusableCrashLogFoldersFallBackToTemp) {
  const base::FilePath file = temp_.GetPath().Append(u"a file");
  ASSERT_EQ(1, base::WriteBufferToFile(file, "x", 1));
  base::FilePath temp;
  ASSERT_TRUE(base::GetTempDir(&temp));
  const std::u16string too_long =
      temp_.GetPath().value() + u"\\" + std::u16string(300, u'x');
  for (const std::u16string& value :
       {file.Append(u"below a file").value(), too_long}) {
    ScopedEnvironment log_dir(kCrashLogDirVariable, value.c_str());
    ASSERT_TRUE(InitCrashPaths());
    EXPECT_EQ(temp, GetCrashPaths().crash_folder);
    EXPECT_FALSE(GetCrashPaths().custom_log_folder);
  }
}

TEST_F(CrashReporterPathsWinTest, FileNamesAndNumbers) {
  const std::u16string pid = base::UintToString16(GetCurrentProcessId());
  EXPECT_EQ(u"velna-crashlog-" + pid + u"-5.txt",
            GetCrashLogFileName(5).value());
  const std::u16string dump = GetMinidumpFileName(5).value();
  const std::u16string prefix = u"velna-crashlog-" + pid + u"-5-";
  ASSERT_EQ(prefix.size() + 16 + 4, dump.size()) << dump;
  EXPECT_EQ(0u, dump.find(prefix)) << dump;
  EXPECT_EQ(u".dmp", dump.substr(dump.size() - 4));
  // Another call, another name.
  EXPECT_NE(dump, GetMinidumpFileName(5).value());
  const uint32_t first = IncrementCrashNumber();
  EXPECT_EQ(first + 1, IncrementCrashNumber());
}

TEST_F(CrashReporterPathsWinTest, KeepLogsVariable) {
  struct {
    const char16_t* value;
    bool keep;
  } cases[] = {{nullptr, false},
               {u"Yes", true},
               {u"1", true},
               {u"true", false},
               {u"yes!", false}};
  for (const auto& test : cases) {
    ScopedEnvironment keep(u"VELNA_CRASH_KEEP_LOGS", test.value);
    EXPECT_EQ(test.keep, ShouldKeepCrashLogs())
        << base::UTF16ToUTF8(test.value ? test.value : u"unset");
  }
}

}  // namespace

}  // namespace crash_reporter
