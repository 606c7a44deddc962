#include "desktop/windows/installer/package_fetcher/pe_image_layout.h"

#include <string.h>

#include <algorithm>

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
// The file header's fields, from the start of the NT headers.
constexpr uint64_t kNumberOfSectionsField = 4 + 2;
constexpr uint64_t kSymbolTableField = 4 + 8;
constexpr uint64_t kNumberOfSymbolsField = 4 + 12;
constexpr uint64_t kOptionalHeaderSizeField = 4 + 16;
constexpr uint64_t kOptionalHeaderStart = 4 + 20;
// In a PE32+ optional header.
constexpr uint64_t kSizeOfHeadersField = 60;
// A section header, and its raw data's size and file offset in it.
constexpr uint64_t kSectionHeaderSize = 40;
constexpr uint64_t kRawDataSizeField = 16;
constexpr uint64_t kRawDataOffsetField = 20;
constexpr uint64_t kSymbolSize = 18;

// All reads are bounds-checked in 64-bit arithmetic: no sum can wrap.
bool ReadUint32(const uint8_t* image, uint64_t length, uint64_t offset,
                uint32_t* value) {
  if (offset > length || length - offset < 4) return false;
  *value = uint32_t{image[offset]} | uint32_t{image[offset + 1]} << 8 |
           uint32_t{image[offset + 2]} << 16 |
           uint32_t{image[offset + 3]} << 24;
  return true;
}

bool ReadUint16(const uint8_t* image, uint64_t length, uint64_t offset,
                uint16_t* value) {
  if (offset > length || length - offset < 2) return false;
  *value = static_cast<uint16_t>(image[offset] | image[offset + 1] << 8);
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

bool GetImageEnd(const uint8_t* image, uint64_t length, uint64_t* end) {
  uint64_t nt_headers;
  uint16_t magic;
  uint16_t sections;
  uint16_t optional_size;
  uint32_t headers_size;
  uint32_t symbols_offset;
  uint32_t symbols;
  if (!HasPeSignatures(image, length) ||
      !ReadNtHeadersOffset(image, length, &nt_headers) ||
      !ReadUint16(image, length, nt_headers + kOptionalHeaderMagicField,
                  &magic) ||
      magic != kPe32PlusMagic ||
      !ReadUint16(image, length, nt_headers + kNumberOfSectionsField,
                  &sections) ||
      !ReadUint16(image, length, nt_headers + kOptionalHeaderSizeField,
                  &optional_size) ||
      !ReadUint32(image, length,
                  nt_headers + kOptionalHeaderStart + kSizeOfHeadersField,
                  &headers_size) ||
      !ReadUint32(image, length, nt_headers + kSymbolTableField,
                  &symbols_offset) ||
      !ReadUint32(image, length, nt_headers + kNumberOfSymbolsField,
                  &symbols)) {
    return false;
  }
  uint64_t furthest = headers_size;
  const uint64_t table = nt_headers + kOptionalHeaderStart + optional_size;
  for (uint64_t i = 0; i < sections; ++i) {
    const uint64_t header = table + i * kSectionHeaderSize;
    uint32_t raw_size;
    uint32_t raw_offset;
    if (!ReadUint32(image, length, header + kRawDataSizeField, &raw_size) ||
        !ReadUint32(image, length, header + kRawDataOffsetField, &raw_offset)) {
      return false;
    }
    if (raw_size != 0)
      furthest = std::max(furthest, uint64_t{raw_offset} + raw_size);
  }
  if (symbols_offset != 0) {
    // The string table follows the symbols; its first field is its size,
    // which counts itself. A file cut before it still ends too early.
    const uint64_t strings = symbols_offset + uint64_t{symbols} * kSymbolSize;
    uint32_t strings_size = 4;
    ReadUint32(image, length, strings, &strings_size);
    furthest =
        std::max(furthest, strings + std::max<uint32_t>(strings_size, 4));
  }
  *end = furthest;
  return true;
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
