#include <windows.h>
// Needs windows.h first.
#include <psapi.h>

#include "base/files/file_path.h"
#include "base/logging.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/module_info_impl.h"

namespace crash_reporter {

namespace {

// Unmaps a view of a file when it goes out of scope.
class ScopedMappedView {
 public:
  explicit ScopedMappedView(const void* view) : view_(view) {}
  ScopedMappedView(const ScopedMappedView&) = delete;
  ScopedMappedView& operator=(const ScopedMappedView&) = delete;
  ~ScopedMappedView() {
    if (view_) UnmapViewOfFile(view_);
  }

 private:
  const void* const view_;
};

}  // namespace

void ModuleInfoImpl::ReadImageFile(base::win::Handle file) {
  LARGE_INTEGER file_size = {};
  if (!GetFileSizeEx(file, &file_size)) {
    PLOG(ERROR) << "GetFileSizeEx failed for " << LogName();
    return;
  }
  base::win::ScopedHandle mapping(
      CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping.IsValid()) {
    PLOG(ERROR) << "CreateFileMappingFailed for " << LogName();
    return;
  }
  const void* view = MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0);
  if (!view) {
    PLOG(ERROR) << "MapViewOfFile failed for " << LogName();
    return;
  }
  ScopedMappedView unmap(view);
  ReadImage(static_cast<const uint8_t*>(view),
            static_cast<size_t>(file_size.QuadPart));
  if (!name_.empty()) return;

  char16_t mapped_name[MAX_PATH] = {};
  const DWORD length =
      GetMappedFileNameW(GetCurrentProcess(), const_cast<void*>(view),
                         base::as_writable_wcstr(mapped_name), MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    PLOG(ERROR) << "GetMappedFileName failed";
    return;
  }
  SetName(base::UTF16ToUTF8(
      base::FilePath(std::u16string(mapped_name, length)).BaseName().value()));
}

}  // namespace crash_reporter
