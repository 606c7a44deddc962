#include <windows.h>

#include <string>

#include "base/files/file_util.h"
#include "base/strings/string_util_win.h"
#include "base/test/scoped_temp_dir.h"
#include "desktop/windows/installer/wininet/wininet_response_writer.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

std::string Contents(const base::FilePath& path) {
  std::string contents;
  EXPECT_TRUE(base::FileUtil::ReadFileToString(path, &contents));
  return contents;
}

TEST(FileResponseWriterTest, ReplacesAppendsRewindsAndCloses) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  const base::FilePath path = dir.GetPath().AppendASCII("download.exe");
  ASSERT_EQ(9, base::WriteBufferToFile(path, "old bytes", 9));

  FileResponseWriter writer;
  ASSERT_TRUE(writer.Open(path));
  EXPECT_TRUE(writer.Write("first ", 6));
  EXPECT_TRUE(writer.Write("part", 4));
  // Unshared while open: nobody else reads or writes a download meanwhile.
  HANDLE other = ::CreateFileW(base::as_wcstr(path.value()), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(INVALID_HANDLE_VALUE, other);
  if (other != INVALID_HANDLE_VALUE) ::CloseHandle(other);

  // The old bytes and the first part are gone after a rewind.
  EXPECT_TRUE(writer.Rewind());
  EXPECT_TRUE(writer.Write("whole", 5));
  writer.Close();
  EXPECT_EQ("whole", Contents(path));
  EXPECT_FALSE(writer.Write("late", 4));
  EXPECT_FALSE(writer.Rewind());
  writer.Close();  // a second close does nothing
  EXPECT_EQ("whole", Contents(path));

  // A new writer replaces the file instead of writing over its start.
  FileResponseWriter replacing;
  ASSERT_TRUE(replacing.Open(path));
  EXPECT_TRUE(replacing.Write("ab", 2));
  replacing.Close();
  EXPECT_EQ("ab", Contents(path));
}

TEST(FileResponseWriterTest, AWriterThatCouldNotOpenRefusesEverything) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  const base::FilePath paths[] = {
      dir.GetPath().AppendASCII("missing").AppendASCII("download.exe"),
      dir.GetPath(),  // a folder
  };
  for (const base::FilePath& path : paths) {
    FileResponseWriter writer;
    EXPECT_FALSE(writer.Open(path));
    EXPECT_FALSE(writer.Write("data", 4));
    EXPECT_FALSE(writer.Rewind());
  }
  EXPECT_FALSE(base::PathExists(paths[0]));
}

}  // namespace
}  // namespace installer
