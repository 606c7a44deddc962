// The few places of a PE32+ image that the package checks read: the
// security directory entry (where an Authenticode signature sits), the
// header signatures, and the bytes that an Authenticode digest covers.
// Portable; plain functions over an image's bytes that never read outside
// them.

#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PE_IMAGE_LAYOUT_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PE_IMAGE_LAYOUT_H_

#include <stddef.h>
#include <stdint.h>

namespace crypto {
class SecureHash;
}

namespace installer {

// The security directory entry: the file offset and size of the
// Authenticode signature (both 0 in an unsigned image).
struct SecurityDirectory {
  uint32_t offset = 0;
  uint32_t size = 0;
};

// Reads the entry from the 32-bit offset of the NT headers at file offset
// 60: its fields are 168 and 172 bytes after the NT headers' start (entry 4
// of a PE32+ optional header's data directories). No other field is
// consulted. False when the offset or the entry lies outside the |length|
// bytes at |image|.
bool ReadSecurityDirectory(const uint8_t* image, uint64_t length,
                           SecurityDirectory* directory);

// The image starts with "MZ" and its NT headers with "PE\0\0".
bool HasPeSignatures(const uint8_t* image, uint64_t length);

// The file offset where the image's own bytes end: the end of its headers,
// of its sections' raw data and of a COFF symbol table with its string
// table, whichever lies furthest. Anything after it (a payload, a
// signature) was appended to the image. Reads the header fields from the
// |length| bytes at |image|; the result may lie beyond |length| (a file
// cut short). False when the headers are no PE32+ headers or a field it
// needs lies outside the |length| bytes.
bool GetImageEnd(const uint8_t* image, uint64_t length, uint64_t* end);

// Feeds |hash| the bytes an Authenticode digest of a signed PE32+ image
// covers: everything before the signature less the 4-byte checksum field
// and the 8-byte security directory entry. False (nothing fed) when the
// image is no PE32+ image, is unsigned, or its signature does not lie
// inside the |length| bytes.
bool HashAuthenticodeRegion(const uint8_t* image, uint64_t length,
                            crypto::SecureHash* hash);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PE_IMAGE_LAYOUT_H_
