#include "desktop/windows/installer/ui/resource_image_win.h"

#include <gdiplus.h>
#include <string.h>

#include "base/logging.h"

namespace installer {

namespace {

// GDI+ for the lifetime of the object.
class ScopedGdiplus {
 public:
  ScopedGdiplus() {
    Gdiplus::GdiplusStartupInput input;
    started_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
    if (!started_) LOG(ERROR) << "GdiplusStartup failed";
  }
  ScopedGdiplus(const ScopedGdiplus&) = delete;
  ScopedGdiplus& operator=(const ScopedGdiplus&) = delete;
  ~ScopedGdiplus() {
    if (started_) Gdiplus::GdiplusShutdown(token_);
  }
  bool started() const { return started_; }

 private:
  ULONG_PTR token_ = 0;
  bool started_ = false;
};

}  // namespace

Microsoft::WRL::ComPtr<IStream> CreateStreamOnResource(const wchar_t* name,
                                                       const wchar_t* type) {
  HRSRC resource = FindResourceW(nullptr, name, type);
  if (!resource) return nullptr;
  const DWORD size = SizeofResource(nullptr, resource);
  HGLOBAL loaded = LoadResource(nullptr, resource);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data || size == 0) return nullptr;
  HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!copy) return nullptr;
  void* target = GlobalLock(copy);
  if (!target) {
    GlobalFree(copy);
    return nullptr;
  }
  memcpy(target, data, size);
  GlobalUnlock(copy);
  Microsoft::WRL::ComPtr<IStream> stream;
  if (FAILED(CreateStreamOnHGlobal(copy, TRUE, &stream))) {
    GlobalFree(copy);
    return nullptr;
  }
  return stream;
}

HBITMAP LoadResourceBitmap(int id, const wchar_t* type) {
  ScopedGdiplus gdiplus;
  if (!gdiplus.started()) return nullptr;
  Microsoft::WRL::ComPtr<IStream> stream =
      CreateStreamOnResource(MAKEINTRESOURCEW(id), type);
  if (!stream) {
    LOG(ERROR) << "Picture resource " << id << " not found";
    return nullptr;
  }
  Gdiplus::GpBitmap* bitmap = nullptr;
  if (Gdiplus::DllExports::GdipCreateBitmapFromStream(stream.Get(), &bitmap) !=
          Gdiplus::Ok ||
      !bitmap) {
    LOG(ERROR) << "Picture resource " << id << " could not be decoded";
    return nullptr;
  }
  HBITMAP result = nullptr;
  // A fully transparent background: 0 in every channel, alpha included.
  if (Gdiplus::DllExports::GdipCreateHBITMAPFromBitmap(bitmap, &result, 0) !=
      Gdiplus::Ok) {
    LOG(ERROR) << "Picture resource " << id << " could not be converted";
    result = nullptr;
  }
  Gdiplus::DllExports::GdipDisposeImage(bitmap);
  return result;
}

}  // namespace installer
