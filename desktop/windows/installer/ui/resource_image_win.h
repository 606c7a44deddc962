// Pictures of the installer window, decoded by GDI+ from resources of the
// executable that started the process (module null): the logo and error
// badge ("PNG") and the background ("JPG").
//
// Any thread; each call starts and stops GDI+ for itself. Failure (no such
// resource, undecodable data) gives null and is logged.

#ifndef DESKTOP_WINDOWS_INSTALLER_UI_RESOURCE_IMAGE_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_UI_RESOURCE_IMAGE_WIN_H_

#include <windows.h>
// After windows.h.
#include <objidl.h>
#include <wrl/client.h>

namespace installer {

inline constexpr wchar_t kPngResourceType[] = L"PNG";
inline constexpr wchar_t kJpgResourceType[] = L"JPG";

// A stream over a copy of resource |name| of |type| in movable global memory,
// which the stream frees when it is released; null when the resource cannot
// be found, loaded or copied.
Microsoft::WRL::ComPtr<IStream> CreateStreamOnResource(const wchar_t* name,
                                                       const wchar_t* type);

// Resource |id| of |type| decoded into a 32-bit bitmap with premultiplied
// alpha (what AlphaBlend wants), on a fully transparent background. The
// caller owns the bitmap. Null on failure.
HBITMAP LoadResourceBitmap(int id, const wchar_t* type);

// The logo and the error badge are drawn for this many pixels per inch
// (200 %), so that scaling them down keeps them sharp.
inline constexpr int kPictureDpi = 192;
// As above, resampled (bicubic, high quality) from kPictureDpi to |dpi|
// pixels per inch.
HBITMAP LoadResourceBitmapForDpi(int id, const wchar_t* type, int dpi);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UI_RESOURCE_IMAGE_WIN_H_
