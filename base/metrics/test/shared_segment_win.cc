#include "base/metrics/test/shared_segment_win.h"

#include <windows.h>

#include <utility>

#include "base/logging.h"
#include "base/strings/string_util_win.h"

namespace base {

// static
std::unique_ptr<SharedSegment> SharedSegment::Create(const std::u16string& name,
                                                     size_t size) {
  win::ScopedHandle mapping(
      CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                         static_cast<DWORD>(static_cast<uint64_t>(size) >> 32),
                         static_cast<DWORD>(size), as_wcstr(name)));
  DWORD error = GetLastError();
  if (!mapping.IsValid() || error == ERROR_ALREADY_EXISTS) {
    LOG(ERROR) << "CreateFileMappingW failed: " << error;
    return nullptr;
  }
  return Map(std::move(mapping), size, false);
}

// static
std::unique_ptr<SharedSegment> SharedSegment::Open(const std::u16string& name,
                                                   size_t size,
                                                   bool read_only) {
  win::ScopedHandle mapping(OpenFileMappingW(
      read_only ? FILE_MAP_READ : FILE_MAP_READ | FILE_MAP_WRITE, FALSE,
      as_wcstr(name)));
  if (!mapping.IsValid()) {
    LOG(ERROR) << "OpenFileMappingW failed: " << GetLastError();
    return nullptr;
  }
  return Map(std::move(mapping), size, read_only);
}

// static
std::unique_ptr<SharedSegment> SharedSegment::Map(win::ScopedHandle mapping,
                                                  size_t size, bool read_only) {
  void* view = MapViewOfFile(
      mapping.Get(), read_only ? FILE_MAP_READ : FILE_MAP_READ | FILE_MAP_WRITE,
      0, 0, size);
  if (!view) {
    LOG(ERROR) << "MapViewOfFile failed: " << GetLastError();
    return nullptr;
  }
  return std::unique_ptr<SharedSegment>(
      new SharedSegment(std::move(mapping), view, size));
}

SharedSegment::SharedSegment(win::ScopedHandle mapping, void* view, size_t size)
    : mapping_(std::move(mapping)), view_(view), size_(size) {}

SharedSegment::~SharedSegment() { UnmapViewOfFile(view_); }

}  // namespace base
