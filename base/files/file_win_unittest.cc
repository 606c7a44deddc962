#include <windows.h>

#include <string>

#include "base/files/file.h"
#include "base/files/file_util.h"
#include "base/strings/string_util_win.h"
#include "base/test/scoped_temp_dir.h"
#include "gtest/gtest.h"

namespace base {
namespace {

class FileTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_dir_.CreateUniqueTempDir()); }

  FilePath PathOf(const char* name) const {
    return temp_dir_.GetPath().AppendASCII(name);
  }
  FilePath MakeFile(const char* name, const std::string& contents) {
    const FilePath path = PathOf(name);
    EXPECT_EQ(static_cast<int>(contents.size()),
              WriteBufferToFile(path, contents.data(), contents.size()));
    return path;
  }
  std::string ReadAll(const FilePath& path) {
    std::string contents;
    EXPECT_TRUE(FileUtil::ReadFileToString(path, &contents));
    return contents;
  }

  ScopedTempDir temp_dir_;
};

TEST_F(FileTest, OpenFailuresReportMappedErrors) {
  File missing(PathOf("missing"), File::FLAG_OPEN | File::FLAG_READ);
  EXPECT_FALSE(missing.IsValid());
  EXPECT_EQ(File::FILE_ERROR_NOT_FOUND, missing.error_details());

  File missing_folder(PathOf(R"(no\file)"),
                      File::FLAG_CREATE | File::FLAG_WRITE);
  EXPECT_EQ(File::FILE_ERROR_NOT_FOUND, missing_folder.error_details());

  const FilePath existing = MakeFile("exists", "x");
  File create_new(existing, File::FLAG_CREATE | File::FLAG_WRITE);
  EXPECT_FALSE(create_new.IsValid());
  EXPECT_EQ(File::FILE_ERROR_EXISTS, create_new.error_details());

  File exclusive(existing, File::FLAG_OPEN | File::FLAG_READ |
                               File::FLAG_EXCLUSIVE_READ |
                               File::FLAG_EXCLUSIVE_WRITE);
  ASSERT_TRUE(exclusive.IsValid());
  File second(existing, File::FLAG_OPEN | File::FLAG_READ);
  EXPECT_FALSE(second.IsValid());
  EXPECT_EQ(File::FILE_ERROR_IN_USE, second.error_details());

  File default_file;
  EXPECT_FALSE(default_file.IsValid());
  EXPECT_EQ(File::FILE_ERROR_FAILED, default_file.error_details());
}

TEST_F(FileTest, ParentReferencesAreRefusedBeforeAnyOpen) {
  ASSERT_TRUE(FileUtil::CreateDirectory(PathOf("sub")));
  const FilePath sneaky = PathOf(R"(sub\..\created.txt)");
  File file(sneaky, File::FLAG_CREATE_ALWAYS | File::FLAG_WRITE);
  EXPECT_FALSE(file.IsValid());
  EXPECT_EQ(File::FILE_ERROR_ACCESS_DENIED, file.error_details());
  EXPECT_FALSE(PathExists(PathOf("created.txt")));
}

TEST_F(FileTest, NoDispositionIsAnErrorNotASuccess) {
  File file(MakeFile("f", "x"), File::FLAG_READ);
  EXPECT_FALSE(file.IsValid());
  EXPECT_NE(File::FILE_OK, file.error_details());
  EXPECT_EQ(File::FILE_ERROR_INVALID_OPERATION, file.error_details());
}

TEST_F(FileTest, CreatedTellsWhetherTheOpenMadeTheFile) {
  const FilePath path = PathOf("f");
  const uint32_t open_always = File::FLAG_OPEN_ALWAYS | File::FLAG_WRITE;
  {
    File file(path, open_always);
    ASSERT_TRUE(file.IsValid());
    EXPECT_TRUE(file.created());
    EXPECT_EQ(File::FILE_OK, file.error_details());
    EXPECT_EQ(3, file.Write(0, "abc", 3));
  }
  {
    File file(path, open_always);
    EXPECT_FALSE(file.created());
  }
  EXPECT_EQ("abc", ReadAll(path));
  {
    File file(path, File::FLAG_OPEN | File::FLAG_READ);
    EXPECT_FALSE(file.created());
  }
  // CREATE_ALWAYS wins over OPEN_ALWAYS: the file is truncated.
  {
    File file(path, File::FLAG_CREATE_ALWAYS | open_always);
    ASSERT_TRUE(file.IsValid());
  }
  EXPECT_EQ("", ReadAll(path));
  // OPEN_TRUNCATED replaces every other disposition: an existing file is
  // opened (not refused as by CREATE) and truncated.
  MakeFile("f", "abc");
  {
    File file(path,
              File::FLAG_OPEN_TRUNCATED | File::FLAG_CREATE | File::FLAG_WRITE);
    ASSERT_TRUE(file.IsValid());
  }
  EXPECT_EQ("", ReadAll(path));
  File missing(PathOf("missing"), File::FLAG_OPEN_TRUNCATED | File::FLAG_WRITE);
  EXPECT_EQ(File::FILE_ERROR_NOT_FOUND, missing.error_details());
}

TEST_F(FileTest, AppendAccessWritesOnlyAtTheEnd) {
  const FilePath path = MakeFile("log", "xyz");
  File file(path, File::FLAG_OPEN | File::FLAG_WRITE | File::FLAG_APPEND);
  ASSERT_TRUE(file.IsValid());
  EXPECT_EQ(3, file.Write(0, "abc", 3));
  char buffer[4];
  // No read access was asked for.
  EXPECT_EQ(-1, file.ReadAtCurrentPos(buffer, 4));
  file.Close();
  EXPECT_FALSE(file.IsValid());
  EXPECT_EQ("xyzabc", ReadAll(path));
}

TEST_F(FileTest, ReadsSeeksAndLengths) {
  const FilePath path = MakeFile("data", "0123456789");
  File file(path, File::FLAG_OPEN | File::FLAG_READ | File::FLAG_WRITE);
  ASSERT_TRUE(file.IsValid());
  EXPECT_EQ(10, file.GetLength());
  char buffer[16] = {};
  EXPECT_EQ(4, file.ReadAtCurrentPos(buffer, 4));
  EXPECT_EQ("0123", std::string(buffer, 4));
  EXPECT_EQ(8, file.Seek(File::FROM_BEGIN, 8));
  EXPECT_EQ(2, file.ReadAtCurrentPos(buffer, 16));
  // At the end a read gives 0, not -1.
  EXPECT_EQ(0, file.ReadAtCurrentPos(buffer, 16));
  EXPECT_EQ(-1, file.ReadAtCurrentPos(buffer, -1));
  EXPECT_EQ(7, file.Seek(File::FROM_END, -3));
  EXPECT_EQ(9, file.Seek(File::FROM_CURRENT, 2));
  EXPECT_EQ(-1, file.Seek(File::FROM_BEGIN, -5));

  // Writes go to their offset, beyond the end too.
  EXPECT_EQ(2, file.Write(12, "AB", 2));
  EXPECT_EQ(14, file.GetLength());

  // A shorter length leaves the position where it was.
  EXPECT_EQ(8, file.Seek(File::FROM_BEGIN, 8));
  EXPECT_TRUE(file.SetLength(4));
  EXPECT_EQ(4, file.GetLength());
  EXPECT_EQ(8, file.Seek(File::FROM_CURRENT, 0));
  EXPECT_TRUE(file.SetLength(6));
  EXPECT_EQ(6, file.GetLength());
  EXPECT_TRUE(file.Flush());
  file.Close();
  EXPECT_EQ(std::string("0123\0\0", 6), ReadAll(path));
}

TEST_F(FileTest, GetInfoOfFilesAndFolders) {
  File file(MakeFile("info", std::string(5000, 'x')),
            File::FLAG_OPEN | File::FLAG_READ);
  File::Info info;
  ASSERT_TRUE(file.GetInfo(&info));
  EXPECT_EQ(5000, info.size);
  EXPECT_FALSE(info.is_directory);
  EXPECT_FALSE(info.is_symbolic_link);
  EXPECT_FALSE(info.last_modified.is_null());
  EXPECT_FALSE(info.last_accessed.is_null());
  EXPECT_FALSE(info.creation_time.is_null());

  File folder(temp_dir_.GetPath(),
              File::FLAG_OPEN | File::FLAG_READ | File::FLAG_BACKUP_SEMANTICS);
  ASSERT_TRUE(folder.IsValid());
  ASSERT_TRUE(folder.GetInfo(&info));
  EXPECT_TRUE(info.is_directory);

  File invalid;
  EXPECT_FALSE(invalid.GetInfo(&info));
  EXPECT_EQ(-1, invalid.GetLength());
}

TEST_F(FileTest, TakePlatformFileHandsOverOwnership) {
  File file(MakeFile("take", "abc"), File::FLAG_OPEN | File::FLAG_READ);
  ASSERT_TRUE(file.IsValid());
  HANDLE handle = file.TakePlatformFile();
  EXPECT_FALSE(file.IsValid());
  file.Close();
  // Still open: closing the File did not close it.
  char buffer[3];
  DWORD read = 0;
  EXPECT_TRUE(::ReadFile(handle, buffer, 3, &read, nullptr));
  EXPECT_EQ(3u, read);
  EXPECT_TRUE(::CloseHandle(handle));
}

TEST_F(FileTest, DeleteOnCloseAndMoves) {
  const FilePath path = PathOf("temporary");
  {
    File file = File::FileFromPath(
        path, File::FLAG_CREATE_ALWAYS | File::FLAG_READ | File::FLAG_WRITE |
                  File::FLAG_TEMPORARY | File::FLAG_DELETE_ON_CLOSE);
    ASSERT_TRUE(file.IsValid());
    EXPECT_TRUE(PathExists(path));
    File moved(std::move(file));
    EXPECT_TRUE(moved.IsValid());
    EXPECT_FALSE(file.IsValid());
    EXPECT_TRUE(moved.created());
  }
  EXPECT_FALSE(PathExists(path));
}

}  // namespace
}  // namespace base
