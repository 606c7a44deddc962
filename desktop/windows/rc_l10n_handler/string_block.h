// Reading one entry of a string-table block (an RT_STRING resource): sixteen
// entries, each a 16-bit length followed by that many UTF-16 units, with no
// terminators. String id n lies in block n / 16 + 1 as entry n % 16.

#ifndef DESKTOP_WINDOWS_RC_L10N_HANDLER_STRING_BLOCK_H_
#define DESKTOP_WINDOWS_RC_L10N_HANDLER_STRING_BLOCK_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace installer {

inline constexpr std::uint32_t kStringsPerBlock = 16;

// The resource name of the block holding string |id|; 0 when the id lies
// beyond the last block a 16-bit resource name can address.
std::uint16_t StringBlockName(std::uint32_t id);

// Reads entry |index| (below kStringsPerBlock) of the block in the |size|
// bytes at |data| (little-endian units, any alignment) into |text|. False,
// with |text| empty, when the block ends before that entry does; a
// zero-length entry is an empty text and true.
bool ReadStringBlockEntry(const void* data, std::size_t size,
                          std::uint32_t index, std::u16string* text);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_RC_L10N_HANDLER_STRING_BLOCK_H_
