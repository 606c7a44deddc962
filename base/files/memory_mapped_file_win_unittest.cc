#include <windows.h>

#include <string>

#include "base/files/file_util.h"
#include "base/files/memory_mapped_file.h"
#include "base/strings/string_util_win.h"
#include "base/test/scoped_temp_dir.h"
#include "gtest/gtest.h"

namespace base {
namespace {

class MemoryMappedFileTest : public testing::Test {
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

std::string Pattern(size_t size) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i)
    data[i] = static_cast<char>(i * 7 + i / 4096);
  return data;
}

TEST_F(MemoryMappedFileTest, EmptyFileIsRefused) {
  MemoryMappedFile mapped;
  EXPECT_FALSE(
      mapped.Initialize(MakeFile("empty", ""), MemoryMappedFile::READ_ONLY));
  EXPECT_EQ(nullptr, mapped.data());
  EXPECT_EQ(0u, mapped.length());
  EXPECT_FALSE(mapped.IsValid());
}

TEST_F(MemoryMappedFileTest, SeveralMegabytesReadBack) {
  const std::string data = Pattern(5 * 1024 * 1024 + 3);
  MemoryMappedFile mapped;
  ASSERT_TRUE(
      mapped.Initialize(MakeFile("big", data), MemoryMappedFile::READ_ONLY));
  ASSERT_EQ(data.size(), mapped.length());
  EXPECT_EQ(data, std::string(reinterpret_cast<const char*>(mapped.data()),
                              mapped.length()));
}

TEST_F(MemoryMappedFileTest, ReadWriteMappingChangesTheFile) {
  const FilePath path = MakeFile("rw", "abcdef");
  {
    MemoryMappedFile mapped;
    ASSERT_TRUE(mapped.Initialize(path, MemoryMappedFile::READ_WRITE));
    mapped.data()[0] = 'X';
    mapped.data()[5] = 'Y';
  }
  std::string contents;
  ASSERT_TRUE(FileUtil::ReadFileToString(path, &contents));
  EXPECT_EQ("XbcdeY", contents);
}

TEST_F(MemoryMappedFileTest, SecondInitializeIsRefusedAndKeepsTheMapping) {
  MemoryMappedFile mapped;
  ASSERT_TRUE(
      mapped.Initialize(MakeFile("one", "first"), MemoryMappedFile::READ_ONLY));
  const uint8_t* data = mapped.data();
  EXPECT_FALSE(mapped.Initialize(MakeFile("two", "second file"),
                                 MemoryMappedFile::READ_ONLY));
  EXPECT_EQ(data, mapped.data());
  EXPECT_EQ(5u, mapped.length());
  EXPECT_EQ("first", std::string(reinterpret_cast<const char*>(mapped.data()),
                                 mapped.length()));
}

TEST_F(MemoryMappedFileTest, FailureLeavesTheObjectReusable) {
  MemoryMappedFile mapped;
  EXPECT_FALSE(mapped.Initialize(temp_dir_.GetPath().AppendASCII("missing"),
                                 MemoryMappedFile::READ_ONLY));
  EXPECT_FALSE(
      mapped.Initialize(MakeFile("empty", ""), MemoryMappedFile::READ_ONLY));
  EXPECT_FALSE(mapped.Initialize(MakeFile("x", "x"),
                                 static_cast<MemoryMappedFile::Access>(2)));
  ASSERT_TRUE(
      mapped.Initialize(MakeFile("ok", "ok"), MemoryMappedFile::READ_ONLY));
  EXPECT_EQ(2u, mapped.length());
}

TEST_F(MemoryMappedFileTest, ReadWriteNeedsWriteAccessAtTheOpen) {
  const FilePath path = MakeFile("locked", "data");
  // Another handle that refuses write sharing: a read-only mapping still
  // works, a read-write one fails when the file is opened.
  HANDLE other =
      ::CreateFileW(as_wcstr(path.value()), GENERIC_READ, FILE_SHARE_READ,
                    nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, other);
  MemoryMappedFile read_write;
  EXPECT_FALSE(read_write.Initialize(path, MemoryMappedFile::READ_WRITE));
  EXPECT_FALSE(read_write.IsValid());
  MemoryMappedFile read_only;
  EXPECT_TRUE(read_only.Initialize(path, MemoryMappedFile::READ_ONLY));
  ::CloseHandle(other);
}

}  // namespace
}  // namespace base
