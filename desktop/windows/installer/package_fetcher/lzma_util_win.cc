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

namespace installer {

namespace {

// One WriteFile takes at most a DWORD of bytes: larger items are written in
// pieces of this size.
constexpr size_t kMaxWriteSize = size_t{1} << 30;
// ReadFile likewise.
constexpr size_t kMaxReadSize = size_t{1} << 30;

// The result of a short write that the system gave no error for.
constexpr DWORD kShortWriteError = ERROR_WRITE_FAULT;

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

}  // namespace

FileInStream::FileInStream(base::win::Handle file) {
  interface_.stream = {ArchiveReadCallback, ArchiveSeekCallback};
  interface_.file = file;
}

// static
SRes FileInStream::ArchiveReadCallback(ISeekInStreamPtr stream, void* buffer,
                                       size_t* size) {
  const HANDLE file = reinterpret_cast<const Interface*>(stream)->file;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < *size) {
    const DWORD ask = static_cast<DWORD>(std::min(*size - done, kMaxReadSize));
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
  DWORD method;
  switch (origin) {
    case SZ_SEEK_SET:
      method = FILE_BEGIN;
      break;
    case SZ_SEEK_CUR:
      method = FILE_CURRENT;
      break;
    case SZ_SEEK_END:
      method = FILE_END;
      break;
    default:
      return SZ_ERROR_PARAM;
  }
  LARGE_INTEGER distance;
  distance.QuadPart = *position;
  LARGE_INTEGER moved;
  if (!::SetFilePointerEx(reinterpret_cast<const Interface*>(stream)->file,
                          distance, &moved, method)) {
    return SZ_ERROR_FAIL;
  }
  *position = moved.QuadPart;
  return SZ_OK;
}

LzmaUtil::LzmaUtil(ProgressListener* listener)
    : listener_(listener), max_write_size_(kMaxWriteSize) {}

LzmaUtil::~LzmaUtil() { CloseArchive(); }

uint32_t LzmaUtil::OpenArchive(const base::FilePath& path) {
  CloseArchive();
  archive_.Set(::CreateFileW(base::as_wcstr(path.value()), GENERIC_READ,
                             FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!archive_.IsValid()) return ::GetLastError();
  return ERROR_SUCCESS;
}

void LzmaUtil::CloseArchive() {
  archive_.Close();
  created_folders_.clear();
}

int LzmaUtil::UnPack(const base::FilePath& output_folder,
                     base::FilePath* output_path) {
  if (!archive_.IsValid()) return kArchiveError;
  created_folders_.clear();
  // The archive starts at the file's start, also when unpacked again.
  ::SetFilePointer(archive_.Get(), 0, nullptr, FILE_BEGIN);
  FileInStream stream(archive_.Get());
  // Declared first: the reader frees its block through it.
  std::unique_ptr<LzmaFileBackedAllocator> allocator;
  SevenZipReader reader(stream.stream());
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

  // The block's file and the free-space query both need the folder.
  CreateFolderOnce(output_folder);
  allocator = std::make_unique<LzmaFileBackedAllocator>(output_folder);
  reader.SetBlockAllocator(allocator->allocator());
  const uint32_t count = reader.item_count();
  if (listener_) listener_->SetTotalProgress(ToProgress(count));
  for (uint32_t i = 0; i < count; ++i) {
    if (listener_) listener_->SetCurrentProgress(ToProgress(i));
    // On some file systems sizing the block's file reserves nothing, and
    // the decoder would fault writing into it once the disk is full.
    const uint64_t block_size = reader.GetSizeOfBlockToDecode(i);
    uint64_t available = 0;
    if (block_size && GetAvailableSpace(output_folder, &available) &&
        block_size > available) {
      LOG(ERROR) << "A block of " << block_size << " bytes does not fit the "
                 << available << " bytes free in " << output_folder;
      return kArchiveError;
    }
    const uint8_t* data = nullptr;
    size_t size = 0;
    const SRes extract_result = reader.ReadItem(i, &data, &size);
    if (extract_result != SZ_OK) {
      LOG(ERROR) << "Error returned by SzExtract: " << extract_result;
      return kArchiveError;
    }
    const std::u16string name = reader.GetItemPath(i);
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
    if (reader.IsFolder(i)) {
      CreateFolderOnce(path);
      continue;
    }
    CreateFolderOnce(path.DirName());
    uint64_t time = 0;
    const bool has_time = reader.GetLastWriteTime(i, &time);
    const uint32_t error =
        WriteItem(path, data, size, has_time ? &time : nullptr);
    if (error != ERROR_SUCCESS) return static_cast<int>(error);
  }
  return 0;
}

void LzmaUtil::CreateFolderOnce(const base::FilePath& folder) {
  if (created_folders_.count(folder.value())) return;
  base::File::Error error;
  if (!base::CreateDirectoryAndGetError(folder, &error)) {
    LOG(WARNING) << "Cannot create " << folder << ": " << error;
    return;
  }
  created_folders_.insert(folder.value());
}

uint32_t LzmaUtil::WriteItem(const base::FilePath& path, const uint8_t* data,
                             size_t size, const uint64_t* last_write_time) {
  base::win::ScopedHandle file(
      ::CreateFileW(base::as_wcstr(path.value()), GENERIC_WRITE, 0, nullptr,
                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) {
    const DWORD error = ::GetLastError();
    LOG(ERROR) << "Error returned by CreateFile: " << error;
    return error;
  }
  // One WriteFile takes a 32-bit count: an item of 4 GiB or more is written
  // in pieces.
  for (size_t done = 0; done < size;) {
    const DWORD piece =
        static_cast<DWORD>(std::min(size - done, max_write_size_));
    DWORD written = 0;
    const BOOL ok =
        ::WriteFile(file.Get(), data + done, piece, &written, nullptr);
    if (!ok || written != piece) {
      DWORD error = ok ? kShortWriteError : ::GetLastError();
      if (error == ERROR_SUCCESS) error = kShortWriteError;
      LOG(ERROR) << "Error returned by WriteFile: " << error;
      return error;
    }
    done += piece;
  }
  if (last_write_time) {
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(*last_write_time);
    time.dwHighDateTime = static_cast<DWORD>(*last_write_time >> 32);
    if (!::SetFileTime(file.Get(), nullptr, nullptr, &time)) {
      const DWORD error = ::GetLastError();
      LOG(ERROR) << "Error returned by SetFileTime: " << error;
      return error;
    }
  }
  if (!::CloseHandle(file.Take())) {
    const DWORD error = ::GetLastError();
    LOG(ERROR) << "Error returned by CloseHandle: " << error;
    return error;
  }
  return ERROR_SUCCESS;
}

}  // namespace installer
