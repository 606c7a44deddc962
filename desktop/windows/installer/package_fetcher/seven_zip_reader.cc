#include "desktop/windows/installer/package_fetcher/seven_zip_reader.h"

#include <mutex>

#include "7zAlloc.h"
#include "7zCrc.h"
#include "base/logging.h"
#include "desktop/windows/installer/package_fetcher/archive_item_path.h"

namespace installer {

namespace {

// Input is read through a look-ahead buffer of this size (look-ahead off:
// the buffer only collects what the decoder asks for).
constexpr size_t kInputBufferSize = size_t{1} << 20;

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
    : look_buffer_(kInputBufferSize) {
  LookToRead2_CreateVTable(&look_stream_, False);
  look_stream_.buf = look_buffer_.data();
  look_stream_.bufSize = look_buffer_.size();
  look_stream_.realStream = stream;
  LookToRead2_INIT(&look_stream_);
  SzArEx_Init(&database_);
}

SevenZipReader::~SevenZipReader() {
  if (block_) ISzAlloc_Free(block_allocator_, block_);
  SzArEx_Free(&database_, &kHeapAllocator);
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
  if (block == kNoBlock || (block == block_index_ && block_)) return 0;
  return SzAr_GetFolderUnpackSize(&database_.db, block);
}

SRes SevenZipReader::ReadItem(uint32_t index, const uint8_t** data,
                              size_t* size) {
  *data = nullptr;
  *size = 0;
  // An item without data would make the SDK drop the held block, and the
  // next item of that block would decode it again.
  if (!HasData(index)) return SZ_OK;
  CHECK(block_allocator_);
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
