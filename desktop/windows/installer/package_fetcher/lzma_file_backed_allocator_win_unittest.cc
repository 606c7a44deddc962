#include "desktop/windows/installer/package_fetcher/lzma_file_backed_allocator_win.h"

#include <string.h>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/test/scoped_temp_dir.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

int CountEntries(const base::FilePath& folder) {
  base::FileEnumerator walk(
      folder, false,
      base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  int count = 0;
  while (!walk.Next().empty()) ++count;
  return count;
}

int64_t FileSize(const base::FilePath& path) {
  int64_t size = -1;
  base::FileUtil::GetFileSize(path, &size);
  return size;
}

TEST(LzmaFileBackedAllocatorTest, BlockLivesInTheTemporaryFile) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  {
    LzmaFileBackedAllocator allocator(temp.GetPath());
    ASSERT_TRUE(allocator.is_file_backed());
    EXPECT_EQ(temp.GetPath(), allocator.temporary_file_path().DirName());
    EXPECT_EQ(1, CountEntries(temp.GetPath()));
    const ISzAlloc* pair = allocator.allocator();

    EXPECT_EQ(nullptr, ISzAlloc_Alloc(pair, 0));
    ISzAlloc_Free(pair, nullptr);

    const size_t size = (size_t{5} << 20) + 3;
    uint8_t* block = static_cast<uint8_t*>(ISzAlloc_Alloc(pair, size));
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(block, allocator.mapped_buffer());
    EXPECT_EQ(static_cast<int64_t>(size),
              FileSize(allocator.temporary_file_path()));
    memset(block, 0xA5, size);

    // While the block lives, further buffers come from the heap, and each
    // is freed where it came from.
    uint8_t* extra = static_cast<uint8_t*>(ISzAlloc_Alloc(pair, 4096));
    ASSERT_NE(nullptr, extra);
    EXPECT_NE(block, extra);
    EXPECT_EQ(block, allocator.mapped_buffer());
    memset(extra, 1, 4096);
    ISzAlloc_Free(pair, extra);
    EXPECT_EQ(block, allocator.mapped_buffer());
    EXPECT_EQ(0xA5, block[size - 1]);
    ISzAlloc_Free(pair, block);
    EXPECT_EQ(nullptr, allocator.mapped_buffer());

    // The next block maps the file again at its own size.
    uint8_t* second = static_cast<uint8_t*>(ISzAlloc_Alloc(pair, 1000));
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(second, allocator.mapped_buffer());
    EXPECT_EQ(1000, FileSize(allocator.temporary_file_path()));
    second[999] = 7;
    ISzAlloc_Free(pair, second);
  }
  // Closing the file deleted it.
  EXPECT_EQ(0, CountEntries(temp.GetPath()));
}

TEST(LzmaFileBackedAllocatorTest, LiveBlockAtTheEndIsUnmapped) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  {
    LzmaFileBackedAllocator allocator(temp.GetPath());
    ASSERT_NE(nullptr, ISzAlloc_Alloc(allocator.allocator(), 65536));
  }
  EXPECT_EQ(0, CountEntries(temp.GetPath()));
}

TEST(LzmaFileBackedAllocatorTest, HeapWithoutAFolder) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  LzmaFileBackedAllocator allocator(temp.GetPath().AppendASCII("missing"));
  EXPECT_FALSE(allocator.is_file_backed());
  void* block = ISzAlloc_Alloc(allocator.allocator(), 100000);
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(nullptr, allocator.mapped_buffer());
  memset(block, 3, 100000);
  ISzAlloc_Free(allocator.allocator(), block);
}

}  // namespace
}  // namespace installer
