#include "desktop/windows/installer/ui/resource_image_win.h"

#include <gdiplus.h>
#include <string.h>

#include <algorithm>

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

namespace {

// Decodes resource |id|; the caller disposes of the image. Null on failure.
Gdiplus::GpBitmap* DecodeResource(int id, const wchar_t* type) {
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
  return bitmap;
}

// |source| drawn into a new premultiplied image of |width| by |height|; the
// caller disposes of it. Null on failure.
Gdiplus::GpBitmap* Resample(Gdiplus::GpBitmap* source, int width, int height) {
  Gdiplus::GpBitmap* target = nullptr;
  if (Gdiplus::DllExports::GdipCreateBitmapFromScan0(
          width, height, 0, PixelFormat32bppPARGB, nullptr, &target) !=
      Gdiplus::Ok) {
    return nullptr;
  }
  Gdiplus::GpGraphics* graphics = nullptr;
  bool drawn = false;
  if (Gdiplus::DllExports::GdipGetImageGraphicsContext(target, &graphics) ==
      Gdiplus::Ok) {
    Gdiplus::DllExports::GdipSetInterpolationMode(
        graphics, Gdiplus::InterpolationModeHighQualityBicubic);
    // Samples at pixel centres, so that the edges do not lose half a pixel.
    Gdiplus::DllExports::GdipSetPixelOffsetMode(
        graphics, Gdiplus::PixelOffsetModeHighQuality);
    drawn = Gdiplus::DllExports::GdipDrawImageRectI(
                graphics, source, 0, 0, width, height) == Gdiplus::Ok;
    Gdiplus::DllExports::GdipDeleteGraphics(graphics);
  }
  if (!drawn) {
    Gdiplus::DllExports::GdipDisposeImage(target);
    return nullptr;
  }
  return target;
}

// Resource |id| at |dpi| pixels per inch (0: as it is).
HBITMAP DecodeAndScale(int id, const wchar_t* type, int dpi) {
  ScopedGdiplus gdiplus;
  if (!gdiplus.started()) return nullptr;
  Gdiplus::GpBitmap* bitmap = DecodeResource(id, type);
  if (!bitmap) return nullptr;
  UINT source_width = 0, source_height = 0;
  Gdiplus::DllExports::GdipGetImageWidth(bitmap, &source_width);
  Gdiplus::DllExports::GdipGetImageHeight(bitmap, &source_height);
  if (dpi > 0 && dpi != kPictureDpi) {
    const int width = std::max(1, MulDiv(source_width, dpi, kPictureDpi));
    const int height = std::max(1, MulDiv(source_height, dpi, kPictureDpi));
    Gdiplus::GpBitmap* resampled = Resample(bitmap, width, height);
    Gdiplus::DllExports::GdipDisposeImage(bitmap);
    if (!resampled) {
      LOG(ERROR) << "Picture resource " << id << " could not be resized";
      return nullptr;
    }
    bitmap = resampled;
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

}  // namespace

HBITMAP LoadResourceBitmap(int id, const wchar_t* type) {
  return DecodeAndScale(id, type, 0);
}

HBITMAP LoadResourceBitmapForDpi(int id, const wchar_t* type, int dpi) {
  return DecodeAndScale(id, type, dpi);
}

}  // namespace installer
