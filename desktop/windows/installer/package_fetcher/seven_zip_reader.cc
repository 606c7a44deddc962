#include "desktop/windows/installer/package_fetcher/seven_zip_reader.h"

#include <algorithm>
#include <mutex>

#include "7zAlloc.h"
#include "7zCrc.h"
#include "base/logging.h"
#include "desktop/windows/installer/package_fetcher/archive_item_path.h"
#include "desktop/windows/installer/package_fetcher/seven_zip_folder_decoder.h"

namespace installer {

namespace {

// Input is read through a look-ahead buffer of this size (look-ahead off:
// the buffer only collects what the decoder asks for).
constexpr size_t kInputBufferSize = size_t{1} << 20;

// Bytes skipped at a time to reach an item in a streamed block.
constexpr size_t kSkipBufferSize = size_t{1} << 16;

// Where no block is held.
constexpr UInt32 kNoBlock = UINT32_MAX;

const ISzAlloc kHeapAllocator = {SzAlloc, SzFree};
const ISzAlloc kTemporaryAllocator = {SzAllocTemp, SzFreeTemp};

void GenerateCrcTableOnce() {
  static std::once_flag once;
  std::call_once(once, [] { CrcGenerateTable(); });
}

}  // namespace

SevenZipReader::SevenZipReader(const ISeekInStream* stream)
    : look_buffer_(new Byte[kInputBufferSize]),
      stream_allocator_(&kHeapAllocator) {
  LookToRead2_CreateVTable(&look_stream_, False);
  look_stream_.buf = look_buffer_.get();
  look_stream_.bufSize = kInputBufferSize;
  look_stream_.realStream = stream;
  LookToRead2_INIT(&look_stream_);
  SzArEx_Init(&database_);
}

SevenZipReader::~SevenZipReader() {
  stream_.reset();
  FreeBlock();
  SzArEx_Free(&database_, &kHeapAllocator);
}

void SevenZipReader::FreeBlock() {
  if (block_) ISzAlloc_Free(block_allocator_, block_);
  block_ = nullptr;
  block_size_ = 0;
  block_index_ = kNoBlock;
}

void SevenZipReader::SetBlockAllocator(const ISzAlloc* block_allocator) {
  CHECK(!block_allocator_);
  block_allocator_ = block_allocator;
}

SRes SevenZipReader::Open() {
  GenerateCrcTableOnce();
  const SRes result = SzArEx_Open(&database_, &look_stream_.vt, &kHeapAllocator,
                                  &kTemporaryAllocator);
  opened_ = result == SZ_OK;
  return result;
}

uint32_t SevenZipReader::item_count() const {
  return opened_ ? database_.NumFiles : 0;
}

std::u16string SevenZipReader::GetItemPath(uint32_t index) const {
  const size_t length = SzArEx_GetFileNameUtf16(&database_, index, nullptr);
  if (length == 0) return std::u16string();
  std::vector<UInt16> name(length, 0);
  SzArEx_GetFileNameUtf16(&database_, index, name.data());
  // The length counts the terminating NUL.
  return ToWindowsSeparators(std::u16string(name.begin(), name.end() - 1));
}

bool SevenZipReader::CheckItemPaths(uint32_t* unsafe_index) const {
  for (uint32_t i = 0; i < item_count(); ++i) {
    if (!IsSafeArchiveItemPath(GetItemPath(i))) {
      if (unsafe_index) *unsafe_index = i;
      return false;
    }
  }
  return true;
}

bool SevenZipReader::IsFolder(uint32_t index) const {
  return SzArEx_IsDir(&database_, index);
}

bool SevenZipReader::HasData(uint32_t index) const {
  return database_.FileToFolder[index] != kNoBlock;
}

bool SevenZipReader::GetLastWriteTime(uint32_t index,
                                      uint64_t* filetime) const {
  if (!SzBitWithVals_Check(&database_.MTime, index)) return false;
  const CNtfsFileTime& time = database_.MTime.Vals[index];
  *filetime = (uint64_t{time.High} << 32) | time.Low;
  return true;
}

uint64_t SevenZipReader::GetSizeOfBlockToDecode(uint32_t index) const {
  const UInt32 block = database_.FileToFolder[index];
  if (block == kNoBlock || (block == block_index_ && block_) ||
      (block == stream_block_ && stream_)) {
    return 0;
  }
  return SzAr_GetFolderUnpackSize(&database_.db, block);
}

bool SevenZipReader::CanStreamItem(uint32_t index) const {
  return HasData(index) && SevenZipFolderDecoder::IsStreamable(
                               database_, database_.FileToFolder[index]);
}

SRes SevenZipReader::BeginItemStream(uint32_t index) {
  item_remaining_ = 0;
  if (!CanStreamItem(index)) return SZ_ERROR_UNSUPPORTED;
  FreeBlock();
  const UInt32 block = database_.FileToFolder[index];
  const uint64_t offset =
      database_.UnpackPositions[index] -
      database_.UnpackPositions[database_.FolderToFile[block]];
  if (!stream_ || stream_block_ != block || stream_->position() > offset) {
    stream_.reset();
    stream_block_ = block;
    auto decoder = std::make_unique<SevenZipFolderDecoder>(
        look_stream_.realStream, &database_, block, stream_allocator_);
    const SRes result = decoder->Init();
    if (result != SZ_OK) return result;
    stream_ = std::move(decoder);
  }
  // Whatever lies between the previous item and this one.
  std::vector<uint8_t> skipped;
  while (stream_->position() < offset) {
    if (skipped.empty()) skipped.resize(kSkipBufferSize);
    size_t size = static_cast<size_t>(
        std::min<uint64_t>(skipped.size(), offset - stream_->position()));
    const SRes result = stream_->Read(skipped.data(), &size);
    if (result != SZ_OK || size == 0) {
      stream_.reset();
      return result != SZ_OK ? result : SZ_ERROR_INPUT_EOF;
    }
  }
  item_remaining_ = SzArEx_GetFileSize(&database_, index);
  item_crc_ = CRC_INIT_VAL;
  item_has_crc_ = SzBitWithVals_Check(&database_.CRCs, index);
  item_expected_crc_ = item_has_crc_ ? database_.CRCs.Vals[index] : 0;
  return SZ_OK;
}

SRes SevenZipReader::ReadItemStream(uint8_t* buffer, size_t* size) {
  *size = static_cast<size_t>(std::min<uint64_t>(*size, item_remaining_));
  if (*size == 0) return SZ_OK;
  if (!stream_) {
    *size = 0;
    return SZ_ERROR_FAIL;
  }
  const size_t asked = *size;
  SRes result = stream_->Read(buffer, size);
  if (result == SZ_OK && *size < asked) result = SZ_ERROR_INPUT_EOF;
  item_crc_ = CrcUpdate(item_crc_, buffer, *size);
  item_remaining_ -= *size;
  if (result == SZ_OK && item_remaining_ == 0 && item_has_crc_ &&
      CRC_GET_DIGEST(item_crc_) != item_expected_crc_) {
    result = SZ_ERROR_CRC;
  }
  if (result != SZ_OK) {
    stream_.reset();
    item_remaining_ = 0;
  }
  return result;
}

SRes SevenZipReader::ReadItem(uint32_t index, const uint8_t** data,
                              size_t* size) {
  *data = nullptr;
  *size = 0;
  // An item without data would make the SDK drop the held block, and the
  // next item of that block would decode it again.
  if (!HasData(index)) return SZ_OK;
  CHECK(block_allocator_);
  // One decoder's memory at a time.
  stream_.reset();
  size_t offset = 0;
  size_t processed = 0;
  const SRes result = SzArEx_Extract(
      &database_, &look_stream_.vt, index, &block_index_, &block_, &block_size_,
      &offset, &processed, block_allocator_, &kTemporaryAllocator);
  if (result != SZ_OK) return result;
  *data = block_ + offset;
  *size = processed;
  return SZ_OK;
}

}  // namespace installer
