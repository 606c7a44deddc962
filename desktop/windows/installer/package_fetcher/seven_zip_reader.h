// SevenZipReader: the walk over a 7z archive that unpacking is built on,
// over the LZMA SDK's 7z reader: open the archive database, check every
// item's name, and decode items into memory one after the other. Portable
// (the caller brings the input stream and the block allocator), so the walk
// is also fuzzed natively.
//
// Items are read one of two ways. Streamed (BeginItemStream(),
// ReadItemStream()): the block is decoded as a stream and each item's bytes
// are handed out in pieces as they come, with only the decoders'
// dictionaries in memory; for blocks whose coders SevenZipFolderDecoder
// knows. Whole (ReadItem()): the whole block goes into one buffer from
// |block_allocator|, and items that follow in the same block are served from
// it; for any block. Every block and item is checked against the CRCs that
// the archive carries: a whole block before its data is handed out, a
// streamed item as its last bytes are.
//
// Used by one thread at a time. Results are the SDK's SRes codes (SZ_OK is
// 0); an archive error is never a crash, whatever the input.

#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_SEVEN_ZIP_READER_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_SEVEN_ZIP_READER_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "7z.h"
#include "7zTypes.h"

namespace installer {

class SevenZipFolderDecoder;

class SevenZipReader {
 public:
  // |stream| (not owned; it must outlive the reader) reads the archive from
  // its current position on. The archive database lives on the SDK's
  // default heap allocators.
  explicit SevenZipReader(const ISeekInStream* stream);
  SevenZipReader(const SevenZipReader&) = delete;
  SevenZipReader& operator=(const SevenZipReader&) = delete;
  // Frees the held block through the block allocator, and the database.
  ~SevenZipReader();

  // The SDK's main allocator of an extraction (not owned; it must outlive
  // the reader): it gets the decoded solid blocks and the decoders' own
  // buffers, several at a time. Set before the first ReadItem(), once.
  void SetBlockAllocator(const ISzAlloc* block_allocator);
  // The allocator of the stream decoders (their dictionaries and buffers);
  // the SDK's heap allocator unless set (not owned; it must outlive the
  // reader).
  void SetStreamAllocator(const ISzAlloc* stream_allocator) {
    stream_allocator_ = stream_allocator;
  }

  // Reads the archive database. Call once; nothing else works before it
  // succeeds.
  SRes Open();

  uint32_t item_count() const;

  // The item's name with "\" as separator (the archive's "/" converted);
  // empty when the item has none.
  std::u16string GetItemPath(uint32_t index) const;
  // True when every item's path passes IsSafeArchiveItemPath(); otherwise
  // |*unsafe_index| (when given) is the first that does not.
  bool CheckItemPaths(uint32_t* unsafe_index) const;

  bool IsFolder(uint32_t index) const;
  // The item has data in a block (a file that is not empty).
  bool HasData(uint32_t index) const;
  // The item's last-write time as a Windows FILETIME value; false when the
  // archive has none for it.
  bool GetLastWriteTime(uint32_t index, uint64_t* filetime) const;

  // When reading the item (whole or streamed) would decode a new block,
  // that block's decoded size; 0 when the item has no data or lies in the
  // block already held or being streamed.
  uint64_t GetSizeOfBlockToDecode(uint32_t index) const;

  // The item has data, and its block can be streamed.
  bool CanStreamItem(uint32_t index) const;

  // Starts handing out a streamable item's bytes: the stream of its block
  // goes on from the previous item of the block when the items are read in
  // order, else the block is decoded again from its start. Ends any whole
  // block held.
  SRes BeginItemStream(uint32_t index);
  // Fills |*size| bytes of the item begun last unless it ends first;
  // |*size| becomes the count, 0 at its end. The item's CRC is checked
  // with its last bytes (SZ_ERROR_CRC). After a failure the stream is
  // dropped.
  SRes ReadItemStream(uint8_t* buffer, size_t* size);

  // Points |*data| and |*size| at the item's bytes (nothing for an item
  // without data), decoding and checking its block first when needed. The
  // bytes stay valid until the next ReadItem() or the reader's end. Ends a
  // stream begun before.
  SRes ReadItem(uint32_t index, const uint8_t** data, size_t* size);

 private:
  void FreeBlock();

  CLookToRead2 look_stream_;
  // Not zeroed: only the pages a read fills count as memory in use.
  std::unique_ptr<Byte[]> look_buffer_;
  const ISzAlloc* block_allocator_ = nullptr;
  CSzArEx database_;
  bool opened_ = false;

  // The SDK's cache of the decoded block.
  UInt32 block_index_ = UINT32_MAX;
  Byte* block_ = nullptr;
  size_t block_size_ = 0;

  // The block being streamed, and the item being handed out of it.
  const ISzAlloc* stream_allocator_;
  UInt32 stream_block_ = UINT32_MAX;
  std::unique_ptr<SevenZipFolderDecoder> stream_;
  uint64_t item_remaining_ = 0;
  uint32_t item_crc_ = 0;
  bool item_has_crc_ = false;
  uint32_t item_expected_crc_ = 0;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_SEVEN_ZIP_READER_H_
