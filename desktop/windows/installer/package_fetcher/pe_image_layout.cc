#include "desktop/windows/installer/package_fetcher/pe_image_layout.h"

#include <string.h>

#include "crypto/secure_hash.h"

namespace installer {

namespace {

constexpr uint64_t kNtHeadersOffsetField = 60;
// From the start of the NT headers ("PE\0\0", the 20-byte file header,
// then the optional header).
constexpr uint64_t kOptionalHeaderMagicField = 24;
constexpr uint64_t kChecksumField = 24 + 64;
constexpr uint64_t kSecurityDirectoryField = 168;
constexpr uint64_t kSecurityDirectoryEntrySize = 8;
constexpr uint16_t kPe32PlusMagic = 0x20B;

// All reads are bounds-checked in 64-bit arithmetic: no sum can wrap.
bool ReadUint32(const uint8_t* image, uint64_t length, uint64_t offset,
                uint32_t* value) {
  if (offset > length || length - offset < 4) return false;
  *value = uint32_t{image[offset]} | uint32_t{image[offset + 1]} << 8 |
           uint32_t{image[offset + 2]} << 16 |
           uint32_t{image[offset + 3]} << 24;
  return true;
}

bool ReadNtHeadersOffset(const uint8_t* image, uint64_t length,
                         uint64_t* offset) {
  uint32_t value;
  if (!ReadUint32(image, length, kNtHeadersOffsetField, &value)) return false;
  *offset = value;
  return true;
}

}  // namespace

bool ReadSecurityDirectory(const uint8_t* image, uint64_t length,
                           SecurityDirectory* directory) {
  uint64_t nt_headers;
  SecurityDirectory entry;
  if (!ReadNtHeadersOffset(image, length, &nt_headers) ||
      !ReadUint32(image, length, nt_headers + kSecurityDirectoryField,
                  &entry.offset) ||
      !ReadUint32(image, length, nt_headers + kSecurityDirectoryField + 4,
                  &entry.size)) {
    return false;
  }
  *directory = entry;
  return true;
}

bool HasPeSignatures(const uint8_t* image, uint64_t length) {
  uint64_t nt_headers;
  if (length < 2 || image[0] != 'M' || image[1] != 'Z' ||
      !ReadNtHeadersOffset(image, length, &nt_headers) || nt_headers > length ||
      length - nt_headers < 4) {
    return false;
  }
  return memcmp(image + nt_headers, "PE\0\0", 4) == 0;
}

bool HashAuthenticodeRegion(const uint8_t* image, uint64_t length,
                            crypto::SecureHash* hash) {
  SecurityDirectory directory;
  uint64_t nt_headers;
  if (!HasPeSignatures(image, length) ||
      !ReadSecurityDirectory(image, length, &directory) ||
      !ReadNtHeadersOffset(image, length, &nt_headers)) {
    return false;
  }
  const uint64_t magic_offset = nt_headers + kOptionalHeaderMagicField;
  if (length - magic_offset < 2 ||
      (image[magic_offset] | image[magic_offset + 1] << 8) != kPe32PlusMagic) {
    return false;
  }
  const uint64_t checksum = nt_headers + kChecksumField;
  const uint64_t entry = nt_headers + kSecurityDirectoryField;
  const uint64_t signature = directory.offset;
  if (directory.size == 0 || signature > length ||
      directory.size > length - signature ||
      signature < entry + kSecurityDirectoryEntrySize) {
    return false;
  }
  hash->Update(image, checksum);
  hash->Update(image + checksum + 4, entry - (checksum + 4));
  hash->Update(image + entry + kSecurityDirectoryEntrySize,
               signature - (entry + kSecurityDirectoryEntrySize));
  return true;
}

}  // namespace installer
