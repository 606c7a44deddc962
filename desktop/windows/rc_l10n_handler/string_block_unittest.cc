#include "desktop/windows/rc_l10n_handler/string_block.h"

#include <vector>

#include "gtest/gtest.h"

namespace installer {
namespace {

// A block as the resource compiler writes it: little-endian lengths and
// units, entries without terminators.
std::vector<unsigned char> MakeBlock(const std::vector<std::u16string>& texts) {
  std::vector<unsigned char> bytes;
  auto put = [&](char16_t unit) {
    bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
    bytes.push_back(static_cast<unsigned char>(unit >> 8));
  };
  for (const std::u16string& text : texts) {
    put(static_cast<char16_t>(text.size()));
    for (char16_t unit : text) put(unit);
  }
  return bytes;
}

TEST(StringBlockTest, BlockNames) {
  EXPECT_EQ(1, StringBlockName(0));
  EXPECT_EQ(1, StringBlockName(15));
  EXPECT_EQ(2, StringBlockName(16));
  EXPECT_EQ(2313, StringBlockName(37000));
  EXPECT_EQ(2317, StringBlockName(37065));
  EXPECT_EQ(0xFFFF, StringBlockName(0xFFFE * 16 + 15));
  // Past the last block a 16-bit name can address.
  EXPECT_EQ(0, StringBlockName(0xFFFF * 16));
  EXPECT_EQ(0, StringBlockName(0xFFFFFFFF));
}

TEST(StringBlockTest, ReadsEveryEntryExactly) {
  std::vector<std::u16string> texts(kStringsPerBlock);
  texts[0] = u"first";
  texts[3] = u"Velna \u2026 \U0001F600";  // a surrogate pair stays two units
  texts[15] = u"last";
  const std::vector<unsigned char> block = MakeBlock(texts);
  std::u16string text;
  for (std::uint32_t i = 0; i < kStringsPerBlock; ++i) {
    text = u"stale";
    EXPECT_TRUE(ReadStringBlockEntry(block.data(), block.size(), i, &text));
    EXPECT_EQ(texts[i], text) << i;
  }
  // An entry index past the block's sixteen.
  EXPECT_FALSE(ReadStringBlockEntry(block.data(), block.size(), 16, &text));
  EXPECT_TRUE(text.empty());
}

TEST(StringBlockTest, ShortBlocksGiveEmptyText) {
  std::vector<std::u16string> texts(kStringsPerBlock, u"abc");
  const std::vector<unsigned char> block = MakeBlock(texts);
  std::u16string text;
  struct Case {
    std::size_t size;
    std::uint32_t index;
    bool ok;
  } const kCases[] = {
      {block.size(), 15, true},
      {block.size() - 1, 15, false},  // last unit cut in half
      {block.size() - 2, 15, false},  // last unit missing
      {8, 0, true},                   // exactly the first entry
      {7, 0, false},
      {9, 1, false},   // half a length unit
      {10, 1, false},  // length, no text
      {0, 0, false},
  };
  for (const Case& c : kCases) {
    text = u"stale";
    EXPECT_EQ(c.ok, ReadStringBlockEntry(block.data(), c.size, c.index, &text))
        << c.size << " " << c.index;
    EXPECT_EQ(c.ok ? u"abc" : u"", text) << c.size << " " << c.index;
  }
  EXPECT_FALSE(ReadStringBlockEntry(nullptr, 8, 0, &text));
}

TEST(StringBlockTest, HugeLengthStaysInsideTheBlock) {
  // A length of 0xFFFF in a block of a few bytes must not be followed.
  const unsigned char block[] = {0xFF, 0xFF, 'a', 0, 'b', 0};
  std::u16string text;
  EXPECT_FALSE(ReadStringBlockEntry(block, sizeof(block), 0, &text));
  EXPECT_FALSE(ReadStringBlockEntry(block, sizeof(block), 1, &text));
  EXPECT_TRUE(text.empty());
}

}  // namespace
}  // namespace installer
