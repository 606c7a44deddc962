#include "desktop/windows/rc_l10n_handler/string_block.h"

namespace installer {

namespace {

// The little-endian unit at |offset| units into |bytes|.
char16_t UnitAt(const unsigned char* bytes, std::size_t offset) {
  return static_cast<char16_t>(bytes[2 * offset] |
                               (bytes[2 * offset + 1] << 8));
}

}  // namespace

std::uint16_t StringBlockName(std::uint32_t id) {
  const std::uint32_t block = id / kStringsPerBlock + 1;
  return block > 0xFFFF ? 0 : static_cast<std::uint16_t>(block);
}

bool ReadStringBlockEntry(const void* data, std::size_t size,
                          std::uint32_t index, std::u16string* text) {
  text->clear();
  if (!data || index >= kStringsPerBlock) return false;
  const auto* bytes = static_cast<const unsigned char*>(data);
  // Whole units only; a trailing odd byte belongs to no entry.
  const std::size_t units = size / 2;
  std::size_t offset = 0;
  for (std::uint32_t entry = 0;; ++entry) {
    if (offset >= units) return false;
    const std::size_t length = UnitAt(bytes, offset);
    ++offset;
    if (length > units - offset) return false;
    if (entry == index) {
      text->reserve(length);
      for (std::size_t i = 0; i < length; ++i)
        text->push_back(UnitAt(bytes, offset + i));
      return true;
    }
    offset += length;
  }
}

}  // namespace installer
