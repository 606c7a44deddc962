#include <windows.h>

#include <limits>

#include "base/files/memory_mapped_file.h"

namespace base {

MemoryMappedFile::MemoryMappedFile() = default;

MemoryMappedFile::~MemoryMappedFile() { CloseHandles(); }

bool MemoryMappedFile::Initialize(const FilePath& path, Access access) {
  if (IsValid()) return false;

  uint32_t flags = 0;
  if (access == READ_ONLY)
    flags = File::FLAG_OPEN | File::FLAG_READ;
  else if (access == READ_WRITE)
    flags = File::FLAG_OPEN | File::FLAG_READ | File::FLAG_WRITE;
  file_ = File(path, flags);
  if (!file_.IsValid()) return false;

  if (MapFileRegionToMemory(access)) return true;
  CloseHandles();
  return false;
}

bool MemoryMappedFile::MapFileRegionToMemory(Access access) {
  if (!file_.IsValid()) return false;

  file_mapping_.Set(::CreateFileMappingW(
      file_.GetPlatformFile(), nullptr,
      access == READ_ONLY ? PAGE_READONLY : PAGE_READWRITE, 0, 0, nullptr));
  if (!file_mapping_.IsValid()) return false;

  const int64_t length = file_.GetLength();
  if (length <= 0 || length > std::numeric_limits<int32_t>::max()) return false;
  length_ = static_cast<size_t>(length);

  data_ = static_cast<uint8_t*>(::MapViewOfFile(
      file_mapping_.Get(), access == READ_ONLY ? FILE_MAP_READ : FILE_MAP_WRITE,
      0, 0, 0));
  return data_ != nullptr;
}

void MemoryMappedFile::CloseHandles() {
  if (data_) ::UnmapViewOfFile(data_);
  file_mapping_.Close();
  file_.Close();
  data_ = nullptr;
  length_ = 0;
}

}  // namespace base
