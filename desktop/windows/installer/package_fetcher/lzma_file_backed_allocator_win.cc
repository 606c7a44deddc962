#include "desktop/windows/installer/package_fetcher/lzma_file_backed_allocator_win.h"

#include <stdint.h>
#include <windows.h>

#include "7zAlloc.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_util_win.h"

namespace installer {

LzmaFileBackedAllocator::LzmaFileBackedAllocator(const base::FilePath& folder) {
  interface_.pair = {AllocThunk, FreeThunk};
  interface_.owner = this;
  if (!base::CreateTemporaryFileInDir(folder, &path_)) {
    PLOG(WARNING) << "No temporary file for unpacking in " << folder;
    path_ = base::FilePath();
    return;
  }
  file_.Set(::CreateFileW(
      base::as_wcstr(path_.value()), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
      CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
      nullptr));
  if (!file_.IsValid()) {
    PLOG(WARNING) << "Cannot open the temporary file " << path_;
    base::DeleteFileOrDirectory(path_, false);
    path_ = base::FilePath();
  }
}

LzmaFileBackedAllocator::~LzmaFileBackedAllocator() {
  if (view_) ::UnmapViewOfFile(view_);
  mapping_.Close();
  file_.Close();
}

// static
void* LzmaFileBackedAllocator::AllocThunk(ISzAllocPtr pair, size_t size) {
  return reinterpret_cast<const Interface*>(pair)->owner->Alloc(size);
}

// static
void LzmaFileBackedAllocator::FreeThunk(ISzAllocPtr pair, void* address) {
  reinterpret_cast<const Interface*>(pair)->owner->Free(address);
}

void* LzmaFileBackedAllocator::Alloc(size_t size) {
  if (size == 0) return nullptr;
  if (file_.IsValid() && !view_) {
    if (void* view = MapFile(size)) return view;
  }
  return SzAlloc(nullptr, size);
}

void LzmaFileBackedAllocator::Free(void* address) {
  if (!address) return;
  if (address != view_) {
    SzFree(nullptr, address);
    return;
  }
  ::UnmapViewOfFile(view_);
  view_ = nullptr;
  mapping_.Close();
}

void* LzmaFileBackedAllocator::MapFile(size_t size) {
  LARGE_INTEGER length;
  length.QuadPart = static_cast<LONGLONG>(size);
  if (!::SetFilePointerEx(file_.Get(), length, nullptr, FILE_BEGIN) ||
      !::SetEndOfFile(file_.Get())) {
    PLOG(WARNING) << "Cannot size the temporary file to " << size;
    return nullptr;
  }
  const uint64_t size64 = size;
  mapping_.Set(::CreateFileMappingW(file_.Get(), nullptr, PAGE_READWRITE,
                                    static_cast<DWORD>(size64 >> 32),
                                    static_cast<DWORD>(size64), nullptr));
  if (!mapping_.IsValid()) {
    PLOG(WARNING) << "CreateFileMapping";
    return nullptr;
  }
  view_ = ::MapViewOfFile(mapping_.Get(), FILE_MAP_WRITE, 0, 0, 0);
  if (!view_) {
    PLOG(WARNING) << "MapViewOfFile";
    mapping_.Close();
  }
  return view_;
}

}  // namespace installer
