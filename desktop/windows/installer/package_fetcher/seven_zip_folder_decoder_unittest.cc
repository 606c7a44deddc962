#include "desktop/windows/installer/package_fetcher/seven_zip_folder_decoder.h"

#include <stdint.h>
#include <stdlib.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "7zAlloc.h"
#include "base/files/file_util.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/package_fetcher/seven_zip_reader.h"
#include "desktop/windows/installer/package_fetcher/test/memory_in_stream.h"
#include "desktop/windows/installer/package_fetcher/test/package_test_material.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

const ISzAlloc kHeap = {SzAlloc, SzFree};

// Heap allocations, each request recorded.
class RecordingAllocator {
 public:
  RecordingAllocator() {
    interface_.pair = {Alloc, Free};
    interface_.owner = this;
  }
  const ISzAlloc* allocator() const { return &interface_.pair; }
  size_t largest() const { return largest_; }
  void Reset() { largest_ = 0; }

 private:
  struct Interface {
    ISzAlloc pair;
    RecordingAllocator* owner;
  };
  static void* Alloc(ISzAllocPtr pair, size_t size) {
    RecordingAllocator* self = reinterpret_cast<const Interface*>(pair)->owner;
    self->largest_ = std::max(self->largest_, size);
    return size ? malloc(size) : nullptr;
  }
  static void Free(ISzAllocPtr, void* address) { free(address); }

  Interface interface_;
  size_t largest_ = 0;
};

std::string ReadMaterial(const std::string& key) {
  std::string data;
  EXPECT_TRUE(base::FileUtil::ReadFileToString(
      test::MaterialPath(test::MaterialString(key)), &data))
      << key;
  return data;
}

// An archive in memory with its reader.
struct OpenArchive {
  explicit OpenArchive(const std::string& key)
      : data(ReadMaterial(key)),
        stream(reinterpret_cast<const uint8_t*>(data.data()), data.size()),
        reader(stream.stream()) {
    reader.SetBlockAllocator(&kHeap);
    open = reader.Open();
  }
  std::string data;
  test::MemoryInStream stream;
  SevenZipReader reader;
  SRes open;
};

struct Items {
  SRes result = SZ_OK;  // the first failure
  std::map<std::u16string, std::string> files;
};

// Every item's bytes, whole blocks at a time.
Items ReadWhole(SevenZipReader* reader) {
  Items items;
  for (uint32_t i = 0; i < reader->item_count(); ++i) {
    if (reader->IsFolder(i)) continue;
    const uint8_t* data = nullptr;
    size_t size = 0;
    items.result = reader->ReadItem(i, &data, &size);
    if (items.result != SZ_OK) break;
    items.files[reader->GetItemPath(i)].assign(
        reinterpret_cast<const char*>(data), size);
  }
  return items;
}

// Every item's bytes, streamed in pieces of |piece| bytes.
Items ReadStreamed(SevenZipReader* reader, size_t piece) {
  Items items;
  std::vector<uint8_t> buffer(piece);
  for (uint32_t i = 0; i < reader->item_count() && items.result == SZ_OK; ++i) {
    if (reader->IsFolder(i)) continue;
    std::string& file = items.files[reader->GetItemPath(i)];
    if (!reader->HasData(i)) continue;
    EXPECT_TRUE(reader->CanStreamItem(i));
    items.result = reader->BeginItemStream(i);
    for (size_t size = 1; items.result == SZ_OK && size != 0;) {
      size = buffer.size();
      items.result = reader->ReadItemStream(buffer.data(), &size);
      file.append(reinterpret_cast<const char*>(buffer.data()), size);
    }
  }
  return items;
}

std::vector<std::string> StreamKeys() {
  std::vector<std::string> keys = {"tree_archive", "methods.bcj2",
                                   "methods.copy"};
  for (const std::string& key : test::MaterialKeys("streams")) {
    if (key != "stream_files") keys.push_back("streams." + key);
  }
  return keys;
}

TEST(SevenZipFolderDecoderTest, StreamedItemsEqualWholeBlocks) {
  for (const std::string& key : StreamKeys()) {
    SCOPED_TRACE(key);
    OpenArchive whole(key);
    ASSERT_EQ(SZ_OK, whole.open);
    const Items expected = ReadWhole(&whole.reader);
    ASSERT_EQ(SZ_OK, expected.result);
    // Pieces smaller and larger than the decoders' own buffers.
    for (size_t piece : {size_t{1} << 20, size_t{4093}}) {
      OpenArchive streamed(key);
      ASSERT_EQ(SZ_OK, streamed.open);
      const Items items = ReadStreamed(&streamed.reader, piece);
      ASSERT_EQ(SZ_OK, items.result) << piece;
      EXPECT_TRUE(items.files == expected.files) << piece;
    }
  }
}

TEST(SevenZipFolderDecoderTest, EveryChainGivesTheSourceFiles) {
  for (const std::string& key : test::MaterialKeys("streams")) {
    if (key == "stream_files") continue;
    SCOPED_TRACE(key);
    OpenArchive archive("streams." + key);
    ASSERT_EQ(SZ_OK, archive.open);
    const Items items = ReadStreamed(&archive.reader, 65536);
    ASSERT_EQ(SZ_OK, items.result);
    ASSERT_EQ(3u, items.files.size());
    for (const auto& [name, hash] :
         {std::pair<std::u16string, const char*>{u"code.exe", "code_exe"},
          {u"noise.bin", "noise_bin"},
          {u"text.txt", "text_txt"}}) {
      EXPECT_EQ(
          test::MaterialString(std::string("streams.stream_files.") + hash),
          test::Sha256Hex(items.files.at(name)));
    }
  }
}

TEST(SevenZipFolderDecoderTest, LargeStreamsDecodeOnAThreadOfTheirOwn) {
  // The main stream of these blocks is decoded ahead on its own thread;
  // pieces of every size, and a reader that stops half way.
  for (const char* key : {"large_streams.lzma2", "large_streams.bcj2"}) {
    SCOPED_TRACE(key);
    for (size_t piece : {size_t{1} << 20, size_t{65536}, size_t{4093}}) {
      OpenArchive archive(key);
      ASSERT_EQ(SZ_OK, archive.open);
      const Items items = ReadStreamed(&archive.reader, piece);
      ASSERT_EQ(SZ_OK, items.result);
      EXPECT_EQ(test::MaterialString("large_streams.sha256"),
                test::Sha256Hex(items.files.at(u"large.exe")));
    }
    OpenArchive abandoned(key);
    ASSERT_EQ(SZ_OK, abandoned.reader.BeginItemStream(0));
    std::vector<uint8_t> buffer(1 << 20);
    size_t size = buffer.size();
    ASSERT_EQ(SZ_OK, abandoned.reader.ReadItemStream(buffer.data(), &size));
    EXPECT_EQ(buffer.size(), size);
  }
  // Damage deep in the stream reaches the reader through the thread.
  std::string data = ReadMaterial("large_streams.bcj2");
  data[data.size() / 2] ^= 0x10;
  test::MemoryInStream stream(reinterpret_cast<const uint8_t*>(data.data()),
                              data.size());
  SevenZipReader reader(stream.stream());
  ASSERT_EQ(SZ_OK, reader.Open());
  EXPECT_NE(SZ_OK, ReadStreamed(&reader, 65536).result);
}

TEST(SevenZipFolderDecoderTest, OtherCodersAreNotStreamable) {
  OpenArchive ppmd("methods.ppmd");
  ASSERT_EQ(SZ_OK, ppmd.open);
  for (uint32_t i = 0; i < ppmd.reader.item_count(); ++i) {
    EXPECT_FALSE(ppmd.reader.CanStreamItem(i));
    EXPECT_EQ(SZ_ERROR_UNSUPPORTED, ppmd.reader.BeginItemStream(i));
  }
  // Items without data have nothing to stream.
  OpenArchive folders("methods.folders_only");
  ASSERT_EQ(SZ_OK, folders.open);
  for (uint32_t i = 0; i < folders.reader.item_count(); ++i)
    EXPECT_FALSE(folders.reader.CanStreamItem(i));
}

TEST(SevenZipFolderDecoderTest, DamageFailsAsInWholeBlocks) {
  int compared = 0;
  for (const std::string& key : test::MaterialKeys("damaged")) {
    SCOPED_TRACE(key);
    OpenArchive whole("damaged." + key);
    if (whole.open != SZ_OK) continue;  // refused before any decoding
    // A block larger than any disk is refused before either decodes it.
    bool huge = false;
    for (uint32_t i = 0; i < whole.reader.item_count(); ++i)
      huge |= whole.reader.GetSizeOfBlockToDecode(i) > (uint64_t{1} << 32);
    if (huge) continue;
    const SRes expected = ReadWhole(&whole.reader).result;
    OpenArchive streamed("damaged." + key);
    const SRes result = ReadStreamed(&streamed.reader, 65536).result;
    EXPECT_NE(SZ_OK, result);
    EXPECT_EQ(expected, result);
    ++compared;
  }
  EXPECT_GE(compared, 1);
}

TEST(SevenZipFolderDecoderTest, CorruptedBytesAnywhereFail) {
  // Bytes changed across the packed streams of each kind of chain: the
  // decoders or the CRCs catch every one, and nothing crashes.
  for (const char* key :
       {"streams.bcj2_lzma2", "streams.x86", "streams.lzma", "methods.copy"}) {
    const std::string original = ReadMaterial(key);
    for (size_t offset = 32; offset < original.size() / 2;
         offset += original.size() / 23) {
      std::string data = original;
      data[offset] ^= 0x21;
      test::MemoryInStream stream(reinterpret_cast<const uint8_t*>(data.data()),
                                  data.size());
      SevenZipReader reader(stream.stream());
      ASSERT_EQ(SZ_OK, reader.Open()) << key << " " << offset;
      EXPECT_NE(SZ_OK, ReadStreamed(&reader, 65536).result)
          << key << " " << offset;
    }
  }
}

TEST(SevenZipFolderDecoderTest, DictionaryNeverLargerThanTheBlock) {
  // The archive gives a 768 KiB dictionary; the text's block is 239 KB.
  for (const char* key : {"streams.small_blocks", "streams.small_blocks2"}) {
    SCOPED_TRACE(key);
    RecordingAllocator allocator;
    OpenArchive archive(key);
    ASSERT_EQ(SZ_OK, archive.open);
    archive.reader.SetStreamAllocator(allocator.allocator());
    for (uint32_t i = 0; i < archive.reader.item_count(); ++i) {
      if (archive.reader.GetItemPath(i) != u"text.txt") continue;
      ASSERT_EQ(SZ_OK, archive.reader.BeginItemStream(i));
      EXPECT_LT(allocator.largest(), size_t{300} << 10);
      EXPECT_GT(allocator.largest(), size_t{230} << 10);
    }
  }
}

TEST(SevenZipFolderDecoderTest, ItemsInAnyOrder) {
  OpenArchive whole("tree_archive");
  ASSERT_EQ(SZ_OK, whole.open);
  const Items expected = ReadWhole(&whole.reader);
  OpenArchive streamed("tree_archive");
  SevenZipReader& reader = streamed.reader;
  // Backwards: every item decodes its block again from the start.
  std::vector<uint8_t> buffer(1 << 16);
  int checked = 0;
  for (uint32_t i = reader.item_count(); i-- > 0 && checked < 20;) {
    if (!reader.HasData(i)) continue;
    ASSERT_EQ(SZ_OK, reader.BeginItemStream(i));
    std::string file;
    for (size_t size = 1; size != 0;) {
      size = buffer.size();
      ASSERT_EQ(SZ_OK, reader.ReadItemStream(buffer.data(), &size));
      file.append(reinterpret_cast<const char*>(buffer.data()), size);
    }
    EXPECT_EQ(expected.files.at(reader.GetItemPath(i)), file);
    ++checked;
  }
  EXPECT_EQ(20, checked);
}

TEST(SevenZipFolderDecoderTest, StreamAndWholeBlocksTakeTurns) {
  OpenArchive archive("tree_archive");
  ASSERT_EQ(SZ_OK, archive.open);
  OpenArchive whole("tree_archive");
  const Items expected = ReadWhole(&whole.reader);
  SevenZipReader& reader = archive.reader;
  std::vector<uint8_t> buffer(1 << 16);
  // Each turn decodes the block again: a few dozen items suffice.
  for (uint32_t i = 0; i < 40; ++i) {
    if (!reader.HasData(i)) continue;
    std::string file;
    if (i % 2) {
      const uint8_t* data = nullptr;
      size_t size = 0;
      ASSERT_EQ(SZ_OK, reader.ReadItem(i, &data, &size));
      file.assign(reinterpret_cast<const char*>(data), size);
    } else {
      ASSERT_EQ(SZ_OK, reader.BeginItemStream(i));
      for (size_t size = 1; size != 0;) {
        size = buffer.size();
        ASSERT_EQ(SZ_OK, reader.ReadItemStream(buffer.data(), &size));
        file.append(reinterpret_cast<const char*>(buffer.data()), size);
      }
    }
    EXPECT_EQ(expected.files.at(reader.GetItemPath(i)), file) << i;
  }
}

}  // namespace
}  // namespace installer
