#include "desktop/windows/installer/package_fetcher/seven_zip_reader.h"

#include <stdint.h>
#include <stdlib.h>

#include <map>
#include <set>
#include <string>

#include "base/files/file_util.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/package_fetcher/test/memory_in_stream.h"
#include "desktop/windows/installer/package_fetcher/test/package_test_material.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// A heap allocator that refuses large requests and keeps count.
class CountingAllocator {
 public:
  static constexpr size_t kLimit = size_t{256} << 20;

  CountingAllocator() {
    interface_.pair = {Alloc, Free};
    interface_.owner = this;
  }
  ~CountingAllocator() { EXPECT_EQ(0u, live_.size()); }

  const ISzAlloc* allocator() const { return &interface_.pair; }
  size_t max_live() const { return max_live_; }
  // The sizes asked for, in order.
  const std::vector<size_t>& requests() const { return requests_; }

 private:
  struct Interface {
    ISzAlloc pair;
    CountingAllocator* owner;
  };
  static void* Alloc(ISzAllocPtr pair, size_t size) {
    CountingAllocator* self = reinterpret_cast<const Interface*>(pair)->owner;
    self->requests_.push_back(size);
    if (size == 0 || size > kLimit) return nullptr;
    void* memory = malloc(size);
    self->live_.insert(memory);
    self->max_live_ = std::max(self->max_live_, self->live_.size());
    return memory;
  }
  static void Free(ISzAllocPtr pair, void* address) {
    if (!address) return;
    CountingAllocator* self = reinterpret_cast<const Interface*>(pair)->owner;
    EXPECT_EQ(1u, self->live_.erase(address));
    free(address);
  }

  Interface interface_;
  std::set<void*> live_;
  size_t max_live_ = 0;
  std::vector<size_t> requests_;
};

std::string ReadMaterial(const std::string& name) {
  std::string data;
  EXPECT_TRUE(base::FileUtil::ReadFileToString(test::MaterialPath(name), &data))
      << name;
  return data;
}

struct Unpacked {
  SRes open = -1;
  SRes read = SZ_OK;                            // the first failure of ReadItem
  std::map<std::u16string, std::string> files;  // path: contents
  std::map<std::u16string, uint64_t> times;
  std::set<std::u16string> folders;
  int blocks_decoded = 0;
};

// Opens and reads every item, as unpacking does.
Unpacked ReadAll(const std::string& archive, CountingAllocator* allocator) {
  Unpacked result;
  test::MemoryInStream stream(reinterpret_cast<const uint8_t*>(archive.data()),
                              archive.size());
  SevenZipReader reader(stream.stream());
  reader.SetBlockAllocator(allocator->allocator());
  result.open = reader.Open();
  if (result.open != SZ_OK) return result;
  EXPECT_TRUE(reader.CheckItemPaths(nullptr));
  for (uint32_t i = 0; i < reader.item_count(); ++i) {
    const std::u16string path = reader.GetItemPath(i);
    if (reader.IsFolder(i)) {
      EXPECT_FALSE(reader.HasData(i));
      result.folders.insert(path);
      continue;
    }
    if (reader.GetSizeOfBlockToDecode(i)) ++result.blocks_decoded;
    const uint8_t* data = nullptr;
    size_t size = 0;
    const SRes read = reader.ReadItem(i, &data, &size);
    if (read != SZ_OK) {
      result.read = read;
      return result;
    }
    EXPECT_EQ(reader.HasData(i), size != 0);
    result.files[path] = std::string(reinterpret_cast<const char*>(data), size);
    uint64_t time = 0;
    if (reader.GetLastWriteTime(i, &time)) result.times[path] = time;
  }
  return result;
}

TEST(SevenZipReaderTest, TreeDecodesToItsSource) {
  CountingAllocator allocator;
  const Unpacked unpacked =
      ReadAll(ReadMaterial(test::MaterialString("tree_archive")), &allocator);
  ASSERT_EQ(SZ_OK, unpacked.open);
  ASSERT_EQ(SZ_OK, unpacked.read);
  const std::vector<test::TreeFile> files = test::TreeFiles();
  ASSERT_EQ(300u, files.size());
  EXPECT_EQ(files.size(), unpacked.files.size());
  for (const test::TreeFile& file : files) {
    const std::string name = base::UTF16ToUTF8(file.path);
    auto it = unpacked.files.find(file.path);
    ASSERT_NE(unpacked.files.end(), it) << name;
    EXPECT_EQ(file.size, it->second.size()) << name;
    EXPECT_EQ(file.sha256, test::Sha256Hex(it->second)) << name;
    auto time = unpacked.times.find(file.path);
    if (file.filetime) {
      ASSERT_NE(unpacked.times.end(), time) << name;
      EXPECT_EQ(file.filetime, time->second) << name;
    } else {
      EXPECT_EQ(unpacked.times.end(), time) << name;
    }
  }
  // Folder items exist for d0-d6 and their children, not for "paths".
  EXPECT_TRUE(unpacked.folders.count(u"d3\\s4"));
  EXPECT_FALSE(unpacked.folders.count(u"paths"));
  EXPECT_FALSE(unpacked.folders.count(u"paths\\only"));
  // Each block is decoded once, although empty files lie between its
  // items: three blocks (two of the tree, one of the file added later).
  EXPECT_EQ(3, unpacked.blocks_decoded);
}

TEST(SevenZipReaderTest, FiltersAndStoredData) {
  for (const char* method : {"bcj2", "copy"}) {
    CountingAllocator allocator;
    const Unpacked unpacked = ReadAll(
        ReadMaterial(test::MaterialString(std::string("methods.") + method)),
        &allocator);
    ASSERT_EQ(SZ_OK, unpacked.open) << method;
    ASSERT_EQ(SZ_OK, unpacked.read) << method;
    ASSERT_EQ(2u, unpacked.files.size()) << method;
    for (const char* name : {"code", "text"}) {
      const std::string file =
          name + std::string(*name == 'c' ? ".exe" : ".txt");
      EXPECT_EQ(
          test::MaterialString(std::string("methods.method_files.") + name),
          test::Sha256Hex(unpacked.files.at(base::UTF8ToUTF16(file))))
          << method << " " << file;
    }
  }
}

TEST(SevenZipReaderTest, MethodsLeftOutOfTheReaderAreRefused) {
  // PPMd is not built into the reader.
  CountingAllocator allocator;
  const Unpacked unpacked =
      ReadAll(ReadMaterial(test::MaterialString("methods.ppmd")), &allocator);
  ASSERT_EQ(SZ_OK, unpacked.open);
  EXPECT_EQ(SZ_ERROR_UNSUPPORTED, unpacked.read);
}

TEST(SevenZipReaderTest, FoldersOnly) {
  CountingAllocator allocator;
  const Unpacked unpacked = ReadAll(
      ReadMaterial(test::MaterialString("methods.folders_only")), &allocator);
  ASSERT_EQ(SZ_OK, unpacked.open);
  EXPECT_TRUE(unpacked.files.empty());
  EXPECT_EQ(
      (std::set<std::u16string>{u"a", u"b", u"b\\c", u"b\\d", u"b\\d\\e"}),
      unpacked.folders);
  EXPECT_TRUE(allocator.requests().empty());
}

TEST(SevenZipReaderTest, HostileNamesFailTheCheck) {
  const std::vector<std::string> keys = test::MaterialKeys("hostile");
  ASSERT_EQ(13u, keys.size());
  for (const std::string& key : keys) {
    const std::string archive =
        ReadMaterial(test::MaterialString("hostile." + key));
    test::MemoryInStream stream(
        reinterpret_cast<const uint8_t*>(archive.data()), archive.size());
    SevenZipReader reader(stream.stream());
    if (reader.Open() != SZ_OK) {
      // A NUL inside a name makes one name too many: the database itself
      // is refused.
      EXPECT_EQ("nul", key);
      continue;
    }
    uint32_t index = UINT32_MAX;
    EXPECT_FALSE(reader.CheckItemPaths(&index)) << key;
    ASSERT_LT(index, reader.item_count()) << key;
    EXPECT_NE(u"harmless.txt", reader.GetItemPath(index)) << key;
  }
}

TEST(SevenZipReaderTest, DamagedArchivesFailWithoutHarm) {
  for (const std::string& key : test::MaterialKeys("damaged")) {
    CountingAllocator allocator;
    const Unpacked unpacked = ReadAll(
        ReadMaterial(test::MaterialString("damaged." + key)), &allocator);
    EXPECT_TRUE(unpacked.open != SZ_OK || unpacked.read != SZ_OK) << key;
    if (key.rfind("truncated_", 0) == 0) {
      EXPECT_NE(SZ_OK, unpacked.open) << key;
    }
    if (key == "flipped") {
      EXPECT_EQ(SZ_OK, unpacked.open);
      EXPECT_TRUE(unpacked.files.empty());
    }
  }
}

TEST(SevenZipReaderTest, BlockSizeIsKnownBeforeDecoding) {
  const std::string archive =
      ReadMaterial(test::MaterialString("damaged.huge_block"));
  test::MemoryInStream stream(reinterpret_cast<const uint8_t*>(archive.data()),
                              archive.size());
  CountingAllocator allocator;
  SevenZipReader reader(stream.stream());
  reader.SetBlockAllocator(allocator.allocator());
  ASSERT_EQ(SZ_OK, reader.Open());
  ASSERT_EQ(1u, reader.item_count());
  EXPECT_EQ(uint64_t{1} << 60, reader.GetSizeOfBlockToDecode(0));
  const uint8_t* data = nullptr;
  size_t size = 0;
  EXPECT_NE(SZ_OK, reader.ReadItem(0, &data, &size));
  EXPECT_EQ(nullptr, data);
}

}  // namespace
}  // namespace installer
