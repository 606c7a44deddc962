#include "base/sha1.h"

#include <string>

#include "base/strings/string_number_conversions.h"
#include "gtest/gtest.h"

namespace base {
namespace {

std::string DigestOf(const std::string& data) {
  unsigned char hash[kSHA1Length];
  SHA1HashBytes(reinterpret_cast<const unsigned char*>(data.data()),
                data.size(), hash);
  return HexEncode(hash, sizeof(hash));
}

TEST(SHA1Test, Fips180Vectors) {
  const struct {
    std::string input;
    const char* digest;
  } cases[] = {
      {"", "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709"},
      {"abc", "A9993E364706816ABA3E25717850C26C9CD0D89D"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "84983E441C3BD26EBAAE4AA1F95129E5E54670F1"},
      {std::string(1000000, 'a'), "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F"},
      // Around the padding boundary (one block up to 55 bytes, two from 56).
      {std::string(55, 'a'), "C1C8BBDC22796E28C0E15163D20899B65621D65A"},
      {std::string(56, 'a'), "C2DB330F6083854C99D4B5BFB6E8F29F201BE699"},
      {std::string(63, 'a'), "03F09F5B158A7A8CDAD920BDDC29B81C18A551F5"},
      {std::string(64, 'a'), "0098BA824B5C16427BD7A1122A5A442A25EC644D"},
      {std::string(65, 'a'), "11655326C708D70319BE2610E8A57D9A5B959D3B"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.digest, DigestOf(c.input)) << c.input.size() << " bytes";
  }
}

TEST(SHA1Test, NullDataWithZeroLength) {
  unsigned char hash[kSHA1Length];
  SHA1HashBytes(nullptr, 0, hash);
  EXPECT_EQ("DA39A3EE5E6B4B0D3255BFEF95601890AFD80709",
            HexEncode(hash, sizeof(hash)));
}

}  // namespace
}  // namespace base
