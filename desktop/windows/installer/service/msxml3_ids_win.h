// MSXML 3.0 ids that the mingw-w64 headers declare but its import libraries
// do not define, written down once from their documented values.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_MSXML3_IDS_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_MSXML3_IDS_WIN_H_

#include <windows.h>
// After windows.h, whose types it uses.
#include <msxml2.h>

namespace installer {

// The version-dependent DOM document class of MSXML 3.0.
inline constexpr CLSID kClsidDomDocument30 = {
    0xF5078F32,
    0xC551,
    0x11D3,
    {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}};

// IXMLDOMDocument2, for the parser properties.
inline constexpr IID kIidXmlDomDocument2 = {
    0x2933BF95,
    0x7B36,
    0x11D2,
    {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_MSXML3_IDS_WIN_H_
