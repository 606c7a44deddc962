#include "desktop/windows/crash_reporter/crash_reporter_paths.h"

#include "base/strings/utf_string_conversions.h"
#include "gtest/gtest.h"

namespace crash_reporter {

namespace {

TEST(CrashReporterPathsTest, CrashFileNames) {
  EXPECT_EQ(u"velna-crashlog-4242-1.txt",
            FormatCrashFileName("Velna", 4242, 1, kCrashLogExtension));
  EXPECT_EQ(
      u"velna-crashlog-4294967295-4294967295.dmp",
      FormatCrashFileName("VELNA", 0xFFFFFFFF, 0xFFFFFFFF, kMinidumpExtension));
}

TEST(CrashReporterPathsTest, CrashIdMapPaths) {
  CrashPaths paths;
  paths.crash_id_map_file = base::FilePath(u"C:\\logs\\crash_id_map.txt");
  EXPECT_EQ(u"C:\\logs\\crash_id_map.txt",
            FormatCrashIdMapPath(paths, 12, 3).value());
  paths.custom_log_folder = true;
  EXPECT_EQ(u"C:\\logs\\crash_id_map-12-3.txt",
            FormatCrashIdMapPath(paths, 12, 3).value());
  // Without a user-data folder there is no map file, custom folder or not.
  paths.crash_id_map_file = base::FilePath();
  EXPECT_TRUE(FormatCrashIdMapPath(paths, 12, 3).empty());
}

TEST(CrashReporterPathsTest, KeepLogsValues) {
  struct {
    const char16_t* value;
    bool keep;
  } cases[] = {{u"1", true},   {u"yes", true},   {u"Yes", true},
               {u"YES", true}, {u"true", false}, {u"0", false},
               {u"", false},   {u"yes ", false}, {u"11", false}};
  for (const auto& test : cases)
    EXPECT_EQ(test.keep, IsKeepLogsValue(test.value))
        << base::UTF16ToUTF8(test.value);
}

}  // namespace

}  // namespace crash_reporter
