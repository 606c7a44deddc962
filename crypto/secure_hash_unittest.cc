#include "crypto/secure_hash.h"

#include <stdint.h>
#include <string.h>

#include <memory>
#include <string>

#include "base/strings/string_number_conversions.h"
#include "gtest/gtest.h"

namespace crypto {
namespace {

std::string Digest(SecureHash* hash) {
  uint8_t out[32];
  hash->Finish(out, sizeof(out));
  return base::HexEncode(out, sizeof(out));
}

std::string DigestOf(const std::string& text) {
  std::unique_ptr<SecureHash> hash = SecureHash::Create(SecureHash::SHA256);
  hash->Update(text.data(), text.size());
  return Digest(hash.get());
}

TEST(SecureHashTest, KnownDigests) {
  const struct {
    std::string input;
    const char* digest;
  } cases[] = {
      {"", "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
      {"abc",
       "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1"},
      {std::string(1000000, 'a'),
       "CDC76E5C9914FB9281A1C7E284D73E67F1809A48A497200E046D39CCC7112CD0"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.digest, DigestOf(c.input));
}

TEST(SecureHashTest, PiecesAcrossBlockBoundariesMatchOneUpdate) {
  std::string input(300, '\0');
  for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<char>(i);
  const std::string whole = DigestOf(input);
  for (size_t split : {0u, 1u, 55u, 56u, 63u, 64u, 65u, 128u, 299u, 300u}) {
    std::unique_ptr<SecureHash> hash = SecureHash::Create(SecureHash::SHA256);
    hash->Update(input.data(), split);
    hash->Update(input.data() + split, input.size() - split);
    EXPECT_EQ(whole, Digest(hash.get())) << split;
  }
}

TEST(SecureHashTest, CloneContinuesIndependently) {
  std::unique_ptr<SecureHash> hash = SecureHash::Create(SecureHash::SHA256);
  hash->Update("ab", 2);
  std::unique_ptr<SecureHash> clone = hash->Clone();
  ASSERT_TRUE(clone);
  EXPECT_EQ(32u, clone->GetHashLength());
  hash->Update("c", 1);
  clone->Update("d", 1);
  EXPECT_EQ(DigestOf("abc"), Digest(hash.get()));
  EXPECT_EQ(DigestOf("abd"), Digest(clone.get()));
}

TEST(SecureHashTest, FinishWritesOnlyTheLengthAsked) {
  for (size_t length : {0u, 1u, 16u, 31u, 32u, 40u}) {
    std::unique_ptr<SecureHash> hash = SecureHash::Create(SecureHash::SHA256);
    hash->Update("abc", 3);
    uint8_t out[40];
    memset(out, 0x5A, sizeof(out));
    hash->Finish(out, length);
    const size_t written = length < 32 ? length : 32;
    EXPECT_EQ(std::string("BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB41"
                          "0FF61F20015AD")
                  .substr(0, written * 2),
              base::HexEncode(out, written));
    for (size_t i = written; i < sizeof(out); ++i)
      EXPECT_EQ(0x5A, out[i]) << length << " " << i;
  }
}

TEST(SecureHashTest, UnknownAlgorithmGivesNull) {
  EXPECT_EQ(nullptr, SecureHash::Create(static_cast<SecureHash::Algorithm>(1)));
  EXPECT_EQ(nullptr,
            SecureHash::Create(static_cast<SecureHash::Algorithm>(-1)));
}

}  // namespace
}  // namespace crypto
