#include <string.h>
#include <windows.h>

#include <algorithm>
#include <limits>
#include <memory>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/package_fetcher/archive_item_path.h"
#include "desktop/windows/installer/package_fetcher/lzma_file_backed_allocator_win.h"
#include "desktop/windows/installer/package_fetcher/lzma_util.h"
#include "desktop/windows/installer/package_fetcher/progress_listener.h"
#include "desktop/windows/installer/package_fetcher/seven_zip_reader.h"
#include "desktop/windows/installer/package_fetcher/unpacked_file_writer_win.h"

namespace installer {

namespace {

// One WriteFile takes at most a DWORD of bytes: larger pieces are split.
constexpr size_t kMaxWriteSize = size_t{1} << 30;
// ReadFile likewise.
constexpr size_t kMaxReadSize = size_t{1} << 30;

int ToProgress(uint64_t value) {
  return static_cast<int>(
      std::min<uint64_t>(value, std::numeric_limits<int>::max()));
}

// The free space of the volume holding |folder| for this user; false when
// the system cannot tell.
bool GetAvailableSpace(const base::FilePath& folder, uint64_t* available) {
  ULARGE_INTEGER free_bytes;
  if (!::GetDiskFreeSpaceExW(base::as_wcstr(folder.value()), &free_bytes,
                             nullptr, nullptr)) {
    PLOG(WARNING) << "GetDiskFreeSpaceEx " << folder;
    return false;
  }
  *available = free_bytes.QuadPart;
  return true;
}

bool GetFilePosition(HANDLE file, uint64_t* position) {
  LARGE_INTEGER zero = {};
  LARGE_INTEGER current;
  if (!::SetFilePointerEx(file, zero, &current, FILE_CURRENT)) return false;
  *position = static_cast<uint64_t>(current.QuadPart);
  return true;
}

// Streams the item's bytes into the writer's chunks.
SRes StreamItem(SevenZipReader* reader, uint32_t index,
                UnpackedFileWriter* writer) {
  SRes result = reader->BeginItemStream(index);
  while (result == SZ_OK) {
    size_t size = UnpackedFileWriter::kChunkSize;
    uint8_t* buffer = writer->GetBuffer(&size);
    result = reader->ReadItemStream(buffer, &size);
    writer->Commit(size);
    // A writer that failed has the say; decoding further is of no use.
    if (size == 0 || writer->error() != 0) break;
  }
  return result;
}

// Decodes the item's whole block (or takes the held one) and hands the
// item's bytes to the writer.
SRes CopyWholeItem(SevenZipReader* reader, uint32_t index,
                   UnpackedFileWriter* writer) {
  const uint8_t* data = nullptr;
  size_t size = 0;
  const SRes result = reader->ReadItem(index, &data, &size);
  if (result != SZ_OK) return result;
  for (size_t done = 0; done < size;) {
    size_t piece = size - done;
    uint8_t* buffer = writer->GetBuffer(&piece);
    memcpy(buffer, data + done, piece);
    writer->Commit(piece);
    done += piece;
  }
  return SZ_OK;
}

}  // namespace

FileInStream::FileInStream(base::win::Handle file, uint64_t offset,
                           uint64_t length) {
  interface_.stream = {ArchiveReadCallback, ArchiveSeekCallback};
  interface_.file = file;
  interface_.offset = offset;
  interface_.length = length;
}

// static
SRes FileInStream::ArchiveReadCallback(ISeekInStreamPtr stream, void* buffer,
                                       size_t* size) {
  const Interface* self = reinterpret_cast<const Interface*>(stream);
  const HANDLE file = self->file;
  size_t wanted = *size;
  if (self->length != kWholeFile) {
    // Nothing beyond the window's end.
    uint64_t position = 0;
    if (!GetFilePosition(file, &position)) {
      *size = 0;
      return SZ_ERROR_READ;
    }
    const uint64_t end = self->offset + self->length;
    wanted = static_cast<size_t>(
        std::min<uint64_t>(wanted, end - std::min(position, end)));
  }
  uint8_t* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < wanted) {
    const DWORD ask = static_cast<DWORD>(std::min(wanted - done, kMaxReadSize));
    DWORD read = 0;
    if (!::ReadFile(file, out + done, ask, &read, nullptr)) {
      *size = done;
      return SZ_ERROR_READ;
    }
    if (read == 0) break;  // The end of the file: a short count.
    done += read;
  }
  *size = done;
  return SZ_OK;
}

// static
SRes FileInStream::ArchiveSeekCallback(ISeekInStreamPtr stream, Int64* position,
                                       ESzSeek origin) {
  const Interface* self = reinterpret_cast<const Interface*>(stream);
  const bool window = self->length != kWholeFile;
  LARGE_INTEGER distance;
  distance.QuadPart = *position;
  DWORD method;
  switch (origin) {
    case SZ_SEEK_SET:
      method = FILE_BEGIN;
      if (window) {
        if (*position < 0) return SZ_ERROR_FAIL;
        distance.QuadPart += self->offset;
      }
      break;
    case SZ_SEEK_CUR:
      method = FILE_CURRENT;
      break;
    case SZ_SEEK_END:
      method = FILE_END;
      if (window) {
        method = FILE_BEGIN;
        distance.QuadPart += self->offset + self->length;
        if (distance.QuadPart < static_cast<LONGLONG>(self->offset))
          return SZ_ERROR_FAIL;
      }
      break;
    default:
      return SZ_ERROR_PARAM;
  }
  LARGE_INTEGER moved;
  if (!::SetFilePointerEx(self->file, distance, &moved, method)) {
    return SZ_ERROR_FAIL;
  }
  *position = moved.QuadPart - (window ? self->offset : 0);
  return SZ_OK;
}

LzmaUtil::LzmaUtil(ProgressListener* listener)
    : listener_(listener),
      max_write_size_(kMaxWriteSize),
      write_limit_(UINT64_MAX) {}

LzmaUtil::~LzmaUtil() { CloseArchive(); }

uint32_t LzmaUtil::OpenArchive(const base::FilePath& path, uint64_t offset,
                               uint64_t length) {
  CloseArchive();
  archive_.Set(::CreateFileW(base::as_wcstr(path.value()), GENERIC_READ,
                             FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!archive_.IsValid()) return ::GetLastError();
  archive_offset_ = offset;
  archive_length_ = length;
  return ERROR_SUCCESS;
}

void LzmaUtil::CloseArchive() {
  archive_.Close();
  archive_offset_ = 0;
  archive_length_ = FileInStream::kWholeFile;
}

int LzmaUtil::UnPack(const base::FilePath& output_folder,
                     base::FilePath* output_path) {
  if (!archive_.IsValid()) return kArchiveError;
  // The archive starts at its start, also when unpacked again.
  LARGE_INTEGER start;
  start.QuadPart = static_cast<LONGLONG>(archive_offset_);
  ::SetFilePointerEx(archive_.Get(), start, nullptr, FILE_BEGIN);
  FileInStream stream(archive_.Get(), archive_offset_, archive_length_);
  UnpackedFileWriter writer(max_write_size_, write_limit_);
  const int result = UnpackWith(&stream, &writer, output_folder, output_path);
  // Once the reader and the block's temporary file are gone, so that the
  // folders they were in can go too.
  if (result != 0) writer.RemoveCreated();
  return result;
}

int LzmaUtil::UnpackWith(FileInStream* stream, UnpackedFileWriter* writer,
                         const base::FilePath& output_folder,
                         base::FilePath* output_path) {
  // Declared first: the reader frees its block through it.
  std::unique_ptr<LzmaFileBackedAllocator> allocator;
  SevenZipReader reader(stream->stream());
  const SRes open_result = reader.Open();
  if (open_result != SZ_OK) {
    LOG(ERROR) << "Error returned by SzArchiveOpen: " << open_result;
    return kArchiveError;
  }
  uint32_t unsafe_index = 0;
  if (!reader.CheckItemPaths(&unsafe_index)) {
    LOG(ERROR) << "Unsafe item name in the archive: "
               << base::UTF16ToUTF8(reader.GetItemPath(unsafe_index));
    return kArchiveError;
  }
  // Made at once: the free-space query and the block's file need it.
  writer->CreateFolder(output_folder);
  writer->Finish();
  allocator = std::make_unique<LzmaFileBackedAllocator>(output_folder);
  reader.SetBlockAllocator(allocator->allocator());
  writer->Start();
  return UnpackItems(&reader, writer, output_folder, output_path);
}

int LzmaUtil::UnpackItems(SevenZipReader* reader, UnpackedFileWriter* writer,
                          const base::FilePath& output_folder,
                          base::FilePath* output_path) {
  const uint32_t count = reader->item_count();
  if (listener_) listener_->SetTotalProgress(ToProgress(count));
  for (uint32_t i = 0; i < count; ++i) {
    if (listener_) listener_->SetCurrentProgress(ToProgress(i));
    // Refused before decoding: a whole block's buffer would not fit, and a
    // streamed block's files would not either. On some file systems sizing
    // the block's file reserves nothing, and the decoder would fault writing
    // into it once the disk is full.
    const uint64_t block_size = reader->GetSizeOfBlockToDecode(i);
    uint64_t available = 0;
    if (block_size && GetAvailableSpace(output_folder, &available) &&
        block_size > available) {
      LOG(ERROR) << "A block of " << block_size << " bytes does not fit the "
                 << available << " bytes free in " << output_folder;
      return kArchiveError;
    }
    const std::u16string name = reader->GetItemPath(i);
    if (name.empty()) {
      LOG(ERROR) << "Couldn't get file name";
      return kArchiveError;
    }
    base::FilePath path;
    if (!GetArchiveItemOutputPath(output_folder, name, &path)) {
      LOG(ERROR) << "Unsafe item name in the archive: "
                 << base::UTF16ToUTF8(name);
      return kArchiveError;
    }
    if (output_path) *output_path = path;
    if (reader->IsFolder(i)) {
      writer->CreateFolder(path);
      continue;
    }
    uint64_t time = 0;
    const bool has_time = reader->GetLastWriteTime(i, &time);
    writer->BeginFile(path, has_time ? &time : nullptr);
    SRes extract_result = SZ_OK;
    if (reader->HasData(i)) {
      extract_result = reader->CanStreamItem(i) && !whole_blocks_
                           ? StreamItem(reader, i, writer)
                           : CopyWholeItem(reader, i, writer);
    }
    if (const uint32_t error = writer->error()) return static_cast<int>(error);
    if (extract_result != SZ_OK) {
      LOG(ERROR) << "Error returned by SzExtract: " << extract_result;
      return kArchiveError;
    }
    writer->EndFile();
  }
  return static_cast<int>(writer->Finish());
}

}  // namespace installer
