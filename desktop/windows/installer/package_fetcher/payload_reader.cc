#include "desktop/windows/installer/package_fetcher/payload_reader.h"

#include <string.h>

#include <string>

#include "base/logging.h"
#include "desktop/windows/installer/package_fetcher/pe_image_layout.h"

namespace installer {

namespace {

constexpr char kTrailerMagic[] = "VLN";
constexpr uint64_t kMagicSize = 3;
constexpr uint64_t kLengthFieldSize = 4;
constexpr uint64_t kMaxPayloadLength = uint64_t{1} << 31;
constexpr uint8_t k7zSignature[] = {0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C};
constexpr uint64_t kSignaturePadding = 8;

// Looks for a trailer whose length field starts at |position| (E - 4).
bool LocateAt(const uint8_t* image, uint64_t position, uint64_t* offset,
              uint64_t* length) {
  const uint8_t* field = image + position;
  const uint64_t payload_length = uint64_t{field[0]} | uint64_t{field[1]} << 8 |
                                  uint64_t{field[2]} << 16 |
                                  uint64_t{field[3]} << 24;
  if (payload_length >= kMaxPayloadLength ||
      payload_length + kMagicSize > position) {
    VLOG(1) << "Could not find a valid starting position";
    return false;
  }
  if (memcmp(image + position - kMagicSize - payload_length, kTrailerMagic,
             kMagicSize) != 0) {
    VLOG(1) << "Payload data invalid";
    return false;
  }
  *offset = position - payload_length;
  *length = payload_length;
  return true;
}

// A trailer ending at |end| (at most the image's length).
bool LocateEndingAt(const uint8_t* image, uint64_t end, uint64_t* offset,
                    uint64_t* length) {
  if (end < kMagicSize + kLengthFieldSize) return false;
  return LocateAt(image, end - kLengthFieldSize, offset, length);
}

// Why a file without a valid trailer is a damaged installer rather than a
// bare image; empty when it is none. |directory| lies inside the file.
std::string FindDamage(const uint8_t* image, uint64_t length,
                       const SecurityDirectory& directory) {
  uint64_t image_end = 0;
  if (!GetImageEnd(image, length, &image_end))
    return "its PE headers cannot be read";
  if (image_end > length) {
    return "it is cut short: " + std::to_string(length) + " of the " +
           std::to_string(image_end) + " bytes of its image are there";
  }
  if (directory.size == 0) {
    if (image_end == length) return std::string();
    return std::to_string(length - image_end) +
           " bytes after its image are no valid payload";
  }
  const uint64_t signature = directory.offset;
  if (signature < image_end) return "its signature lies inside its image";
  const uint64_t before = signature - image_end;
  const uint64_t after = length - signature - directory.size;
  // The signing tool pads the image with zeros to 8 bytes first.
  bool padding = before < kSignaturePadding;
  for (uint64_t i = 0; padding && i < before; ++i)
    padding = image[image_end + i] == 0;
  if (padding && after == 0) return std::string();
  return std::to_string((padding ? 0 : before) + after) +
         " bytes before or after its signature are no valid payload";
}

}  // namespace

// static
PayloadReader::ScanResult PayloadReader::Scan(const uint8_t* image,
                                              uint64_t length) {
  ScanResult result;
  SecurityDirectory directory;
  if (!ReadSecurityDirectory(image, length, &directory)) {
    LOG(ERROR) << "Security directory entry is located past the image file "
                  "length";
    result.outcome = ScanResult::kCorrupt;
    return result;
  }
  const uint64_t signature = directory.offset;
  if (signature > length || directory.size > length - signature) {
    LOG(ERROR) << "Security directory is located past the image file length";
    result.outcome = ScanResult::kCorrupt;
    return result;
  }
  const bool signed_image = directory.size != 0;
  bool after_signature = true;
  if (!LocateEndingAt(image, length, &result.offset, &result.length)) {
    after_signature = false;
    if (!signed_image ||
        !LocateEndingAt(image, signature, &result.offset, &result.length)) {
      const std::string damage = FindDamage(image, length, directory);
      if (!damage.empty()) {
        LOG(ERROR) << "The installer file is damaged: " << damage;
        result.outcome = ScanResult::kDamaged;
        return result;
      }
      LOG(WARNING) << "No valid payload found";
      return ScanResult();
    }
    if (signature + directory.size != length) {
      LOG(ERROR) << "The installer file is damaged: "
                 << length - signature - directory.size
                 << " bytes after its signature are no valid payload";
      ScanResult damaged;
      damaged.outcome = ScanResult::kDamaged;
      return damaged;
    }
  }
  const bool archive =
      result.length >= sizeof(k7zSignature) &&
      memcmp(image + result.offset, k7zSignature, sizeof(k7zSignature)) == 0;
  if (!archive) {
    result.outcome = ScanResult::kTrackingData;
    return result;
  }
  if (signed_image && after_signature) {
    LOG(ERROR) << "Found full package that is not covered by the signature";
    LOG(ERROR) << "The installer file is damaged: a package follows its "
                  "signature";
    ScanResult damaged;
    damaged.outcome = ScanResult::kDamaged;
    return damaged;
  }
  result.outcome = ScanResult::kFullPackage;
  return result;
}

}  // namespace installer
