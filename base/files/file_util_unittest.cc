#include "base/files/file_util.h"

#include <string>

#include "base/test/scoped_temp_dir.h"
#include "gtest/gtest.h"

namespace base {
namespace {

class FileUtilPortableTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_dir_.CreateUniqueTempDir()); }

  FilePath MakeFile(const char* name, const std::string& contents) {
    const FilePath path = temp_dir_.GetPath().AppendASCII(name);
    EXPECT_EQ(static_cast<int>(contents.size()),
              WriteBufferToFile(path, contents.data(), contents.size()));
    return path;
  }

  ScopedTempDir temp_dir_;
};

TEST_F(FileUtilPortableTest, ReadFileToStringWithMaxSize) {
  const std::string twenty = "abcdefghijklmnopqrst";
  const FilePath file = MakeFile("twenty", twenty);
  const FilePath empty = MakeFile("empty", "");
  struct {
    FilePath path;
    size_t max;
    bool result;
    std::string contents;
  } cases[] = {
      {file, 10, false, "abcdefghij"},
      {file, 19, false, twenty.substr(0, 19)},
      {file, 20, true, twenty},
      {file, 21, true, twenty},
      {file, 0, false, ""},
      {empty, 0, true, ""},
      {temp_dir_.GetPath().AppendASCII("missing"), 100, false, ""},
      {temp_dir_.GetPath().AppendASCII(R"(x\..\twenty)"), 100, false, ""},
  };
  for (const auto& c : cases) {
    std::string contents = "stale";
    EXPECT_EQ(c.result,
              FileUtil::ReadFileToStringWithMaxSize(c.path, &contents, c.max))
        << c.path << " " << c.max;
    EXPECT_EQ(c.contents, contents) << c.path << " " << c.max;
    EXPECT_EQ(c.result,
              FileUtil::ReadFileToStringWithMaxSize(c.path, nullptr, c.max));
  }
}

TEST_F(FileUtilPortableTest, ReadsFilesLargerThanOneChunk) {
  std::string data(200000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 251);
  const FilePath file = MakeFile("large", data);
  std::string contents;
  EXPECT_TRUE(FileUtil::ReadFileToString(file, &contents));
  EXPECT_EQ(data, contents);
  // A limit inside the second chunk keeps exactly that many bytes.
  EXPECT_FALSE(FileUtil::ReadFileToStringWithMaxSize(file, &contents, 70000));
  EXPECT_EQ(data.substr(0, 70000), contents);
  int64_t size = 0;
  EXPECT_TRUE(FileUtil::GetFileSize(file, &size));
  EXPECT_EQ(200000, size);
}

TEST_F(FileUtilPortableTest, WriteTruncatesAndAppendNeedsAnExistingFile) {
  const FilePath file = MakeFile("f", "long old contents");
  EXPECT_EQ(3, WriteBufferToFile(file, "new", 3));
  EXPECT_TRUE(AppendToFile(file, "er", 2));
  std::string contents;
  EXPECT_TRUE(FileUtil::ReadFileToString(file, &contents));
  EXPECT_EQ("newer", contents);
  const FilePath missing = temp_dir_.GetPath().AppendASCII("missing");
  EXPECT_FALSE(AppendToFile(missing, "x", 1));
  EXPECT_FALSE(PathExists(missing));
  char buffer[8];
  EXPECT_EQ(5, ReadFileIntoBuffer(file, buffer, sizeof(buffer)));
  EXPECT_EQ(-1, ReadFileIntoBuffer(missing, buffer, sizeof(buffer)));
}

TEST_F(FileUtilPortableTest, FolderChainsAndDeletion) {
  const FilePath chain = temp_dir_.GetPath().AppendASCII("a").AppendASCII("b");
  File::Error error = File::FILE_OK;
  EXPECT_TRUE(CreateDirectoryAndGetError(chain, &error));
  EXPECT_TRUE(DirectoryExists(chain));
  const FilePath file = MakeFile("file", "x");
  EXPECT_FALSE(CreateDirectoryAndGetError(file.AppendASCII("sub"), &error));
  EXPECT_EQ(File::FILE_ERROR_NOT_A_DIRECTORY, error);

  EXPECT_EQ(1, WriteBufferToFile(chain.AppendASCII("leaf"), "x", 1));
  const FilePath top = temp_dir_.GetPath().AppendASCII("a");
  EXPECT_FALSE(DeleteFileOrDirectory(top, false));
  EXPECT_TRUE(DeleteFileOrDirectory(top, true));
  EXPECT_FALSE(PathExists(top));
  EXPECT_TRUE(DeleteFileOrDirectory(top, true));
}

TEST(ScopedTempDirTest, FolderIsUniqueAndRemovedWithItsContents) {
  FilePath kept;
  {
    ScopedTempDir first;
    ScopedTempDir second;
    ASSERT_TRUE(first.CreateUniqueTempDir());
    ASSERT_TRUE(second.CreateUniqueTempDir());
    EXPECT_NE(first.GetPath(), second.GetPath());
    EXPECT_FALSE(first.CreateUniqueTempDir());
    kept = first.GetPath();
    ASSERT_TRUE(FileUtil::CreateDirectory(kept.AppendASCII("sub")));
    ASSERT_EQ(
        1, WriteBufferToFile(kept.AppendASCII("sub").AppendASCII("f"), "x", 1));
  }
  EXPECT_FALSE(PathExists(kept));
}

}  // namespace
}  // namespace base
