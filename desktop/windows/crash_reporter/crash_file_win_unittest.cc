#include <windows.h>

#include <string>

#include "base/files/file_util.h"
#include "base/strings/string_util_win.h"
#include "base/test/scoped_temp_dir.h"
#include "desktop/windows/crash_reporter/crash_file.h"
#include "gtest/gtest.h"

namespace crash_reporter {

namespace {

enum class Planted { kNothing, kFile, kSecondNameOfSecret };

std::string ReadWhole(const base::FilePath& path) {
  std::string text;
  base::FileUtil::ReadFileToString(path, &text);
  return text;
}

// What each mode makes of what lies at the name: the text the name then
// holds (empty: no file), and whether a secret file stays as it was.
TEST(CrashFileTest, EachModeAgainstWhatLiesAtTheName) {
  struct Case {
    CrashFileMode mode;
    Planted planted;
    bool opens;
    const char* result;
  } const kCases[] = {
      {CrashFileMode::kCreate, Planted::kNothing, true, "x\r\n"},
      {CrashFileMode::kCreate, Planted::kFile, false, "old"},
      {CrashFileMode::kCreate, Planted::kSecondNameOfSecret, false, "secret"},
      {CrashFileMode::kReplace, Planted::kNothing, true, "x\r\n"},
      {CrashFileMode::kReplace, Planted::kFile, true, "x\r\n"},
      {CrashFileMode::kReplace, Planted::kSecondNameOfSecret, false, "secret"},
      {CrashFileMode::kAppend, Planted::kNothing, false, ""},
      {CrashFileMode::kAppend, Planted::kFile, true, "oldx\r\n"},
      {CrashFileMode::kAppend, Planted::kSecondNameOfSecret, false, "secret"},
  };
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath secret = temp.GetPath().Append(u"secret.txt");
  int n = 0;
  for (const Case& c : kCases) {
    SCOPED_TRACE(n);
    ASSERT_EQ(6, base::WriteBufferToFile(secret, "secret", 6));
    const base::FilePath path =
        temp.GetPath().Append(u"log \u00e9" + std::u16string(1, u'a' + n++));
    if (c.planted == Planted::kFile) {
      ASSERT_EQ(3, base::WriteBufferToFile(path, "old", 3));
    } else if (c.planted == Planted::kSecondNameOfSecret) {
      ASSERT_TRUE(CreateHardLinkW(base::as_wcstr(path.value()),
                                  base::as_wcstr(secret.value()), nullptr));
    }
    FILE* stream = OpenCrashFile(path, c.mode, /*text=*/true);
    EXPECT_EQ(c.opens, stream != nullptr);
    if (stream) {
      EXPECT_GE(fputs("x\n", stream), 0);
      EXPECT_TRUE(CloseCrashFile(stream, path, /*keep=*/true));
    } else {
      EXPECT_NE(0u, GetLastError());
    }
    EXPECT_EQ(c.result, ReadWhole(path));
    EXPECT_EQ("secret", ReadWhole(secret));
  }
}

// A file given up is removed, through its handle; binary mode keeps bare
// line ends.
TEST(CrashFileTest, AFileGivenUpIsRemoved) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath path = temp.GetPath().Append(u"crash.txt");
  FILE* stream = OpenCrashFile(path, CrashFileMode::kCreate, /*text=*/false);
  ASSERT_TRUE(stream);
  fputs("x\n", stream);
  EXPECT_FALSE(CloseCrashFile(stream, path, /*keep=*/false));
  EXPECT_FALSE(base::PathExists(path));

  stream = OpenCrashFile(path, CrashFileMode::kCreate, /*text=*/false);
  ASSERT_TRUE(stream);
  fputs("x\n", stream);
  EXPECT_TRUE(CloseCrashFile(stream, path, /*keep=*/true));
  EXPECT_EQ("x\n", ReadWhole(path));
}

}  // namespace

}  // namespace crash_reporter
