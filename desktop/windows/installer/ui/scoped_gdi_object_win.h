// Owners of GDI objects (bitmaps, fonts, brushes) and icons, which free
// what they hold when they are reset or destroyed.

#ifndef DESKTOP_WINDOWS_INSTALLER_UI_SCOPED_GDI_OBJECT_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_UI_SCOPED_GDI_OBJECT_WIN_H_

#include <windows.h>

namespace installer {

template <typename Handle, BOOL(WINAPI* kFree)(Handle)>
class ScopedGdiHandle {
 public:
  ScopedGdiHandle() = default;
  explicit ScopedGdiHandle(Handle handle) : handle_(handle) {}
  ScopedGdiHandle(const ScopedGdiHandle&) = delete;
  ScopedGdiHandle& operator=(const ScopedGdiHandle&) = delete;
  ~ScopedGdiHandle() { reset(); }

  void reset(Handle handle = nullptr) {
    if (handle_ && handle_ != handle) kFree(handle_);
    handle_ = handle;
  }
  Handle get() const { return handle_; }
  // Gives up ownership without freeing.
  Handle release() {
    Handle handle = handle_;
    handle_ = nullptr;
    return handle;
  }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  Handle handle_ = nullptr;
};

namespace internal {
template <typename Object>
BOOL WINAPI DeleteGdiObject(Object object) {
  return DeleteObject(object);
}
}  // namespace internal

using ScopedBitmap = ScopedGdiHandle<HBITMAP, internal::DeleteGdiObject>;
using ScopedFont = ScopedGdiHandle<HFONT, internal::DeleteGdiObject>;
using ScopedBrush = ScopedGdiHandle<HBRUSH, internal::DeleteGdiObject>;
using ScopedIcon = ScopedGdiHandle<HICON, DestroyIcon>;

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UI_SCOPED_GDI_OBJECT_WIN_H_
