#include "desktop/windows/crash_reporter/util/zip_crash_log.h"

#include <string>

#include "base/files/file_util.h"
#include "base/rand_util.h"
#include "base/test/scoped_temp_dir.h"
#include "desktop/windows/crash_reporter/util/test/upload_test_util.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

class ZipCrashLogTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.CreateUniqueTempDir()); }

  base::FilePath Write(const std::u16string& name, const std::string& data) {
    return test::WriteTestFile(dir_.GetPath(), name, data);
  }

  // The name and content of the archive's only entry, read back from a
  // file.
  bool ReadEntry(const std::string& archive, std::string* name,
                 std::string* content) {
    return test::ReadOnlyZipEntry(Write(u"read back.zip", archive), name,
                                  content);
  }

  base::ScopedTempDir dir_;
};

TEST_F(ZipCrashLogTest, ArchiveHoldsTheLogAsItsOnlyEntry) {
  // Larger than one copy chunk, and not all text.
  std::string log = "VELNA-CRASHLOG V1 desktop 1.2.3.4 5 windows x64\r\n";
  std::string noise(1500000, '\0');
  base::RandBytes(&noise[0], noise.size());
  log += noise;
  const base::FilePath log_path = Write(u"velna-crashlog-1-1.txt", log);
  std::string archive = "stale";
  ASSERT_TRUE(ZipCrashLog(log_path, &archive));

  std::string name, content;
  ASSERT_TRUE(ReadEntry(archive, &name, &content));
  EXPECT_EQ("crashlog.txt", name);
  EXPECT_TRUE(content == log);
}

TEST_F(ZipCrashLogTest, PathsMayHoldAnyCharacter) {
  const base::FilePath folder = dir_.GetPath().Append(u"J\u00f6rg \u65e5");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(folder));
  const base::FilePath log_path = folder.Append(u"log \u00e9.txt");
  ASSERT_EQ(3, base::WriteBufferToFile(log_path, "abc", 3));
  std::string archive;
  ASSERT_TRUE(ZipCrashLog(log_path, &archive));
  std::string name, content;
  ASSERT_TRUE(ReadEntry(archive, &name, &content));
  EXPECT_EQ("abc", content);
}

TEST_F(ZipCrashLogTest, EmptyOrMissingLogGivesNoArchive) {
  std::string archive = "stale";
  EXPECT_FALSE(ZipCrashLog(Write(u"empty.txt", ""), &archive));
  EXPECT_EQ("", archive);
  archive = "stale";
  EXPECT_FALSE(ZipCrashLog(dir_.GetPath().Append(u"missing.txt"), &archive));
  EXPECT_EQ("", archive);
}

}  // namespace
}  // namespace crash_reporter
