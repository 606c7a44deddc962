#include "desktop/windows/installer/package_fetcher/test/pe_test_image.h"

namespace installer {
namespace test {

namespace {

void PutUint32(std::string* image, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    (*image)[offset + i] = static_cast<char>(value >> (8 * i));
}

void PutUint16(std::string* image, size_t offset, uint16_t value) {
  (*image)[offset] = static_cast<char>(value);
  (*image)[offset + 1] = static_cast<char>(value >> 8);
}

}  // namespace

std::string MakePeImage(uint32_t nt_offset, size_t size) {
  std::string image(size, '\0');
  for (size_t i = 0; i < size; ++i) image[i] = static_cast<char>(i * 7 + 1);
  image[0] = 'M';
  image[1] = 'Z';
  PutUint32(&image, 60, nt_offset);
  image.replace(nt_offset, 4, std::string("PE\0\0", 4));
  image[nt_offset + 24] = '\x0B';
  image[nt_offset + 25] = '\x02';
  SetSecurityDirectory(&image, 0, 0);
  // One section, no symbols, a PE32+ optional header of the usual size.
  constexpr uint32_t kHeadersSize = 0x200;
  constexpr uint32_t kOptionalHeaderSize = 240;
  PutUint16(&image, nt_offset + 6, 1);
  PutUint32(&image, nt_offset + 12, 0);
  PutUint32(&image, nt_offset + 16, 0);
  PutUint16(&image, nt_offset + 20, kOptionalHeaderSize);
  PutUint32(&image, nt_offset + 24 + 60, kHeadersSize);
  const size_t section = nt_offset + 24 + kOptionalHeaderSize;
  PutUint32(&image, section + 16, static_cast<uint32_t>(size - kHeadersSize));
  PutUint32(&image, section + 20, kHeadersSize);
  return image;
}

void SetSecurityDirectory(std::string* image, uint32_t offset, uint32_t size) {
  const uint32_t nt_offset =
      static_cast<uint8_t>((*image)[60]) |
      static_cast<uint8_t>((*image)[61]) << 8 |
      static_cast<uint8_t>((*image)[62]) << 16 |
      static_cast<uint32_t>(static_cast<uint8_t>((*image)[63])) << 24;
  PutUint32(image, nt_offset + 168, offset);
  PutUint32(image, nt_offset + 172, size);
}

std::string Trailer(const std::string& payload) {
  std::string trailer = "VLN" + payload + std::string(4, '\0');
  PutUint32(&trailer, trailer.size() - 4,
            static_cast<uint32_t>(payload.size()));
  return trailer;
}

std::string SevenZipPayload(const std::string& rest) {
  return std::string("\x37\x7A\xBC\xAF\x27\x1C", 6) + rest;
}

}  // namespace test
}  // namespace installer
