#include "desktop/windows/installer/package_fetcher/pe_image_layout.h"

#include <stdint.h>

#include <memory>
#include <string>

#include "crypto/secure_hash.h"
#include "desktop/windows/installer/package_fetcher/test/package_test_material.h"
#include "desktop/windows/installer/package_fetcher/test/pe_test_image.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

const uint8_t* Bytes(const std::string& text) {
  return reinterpret_cast<const uint8_t*>(text.data());
}

// The digest HashAuthenticodeRegion() feeds, or "" when it refuses.
std::string RegionDigest(const std::string& image) {
  std::unique_ptr<crypto::SecureHash> hash =
      crypto::SecureHash::Create(crypto::SecureHash::SHA256);
  if (!HashAuthenticodeRegion(Bytes(image), image.size(), hash.get()))
    return "";
  uint8_t digest[32];
  hash->Finish(digest, sizeof(digest));
  return std::string(reinterpret_cast<char*>(digest), sizeof(digest));
}

std::string RawSha256(const std::string& data) {
  std::unique_ptr<crypto::SecureHash> hash =
      crypto::SecureHash::Create(crypto::SecureHash::SHA256);
  hash->Update(data.data(), data.size());
  uint8_t digest[32];
  hash->Finish(digest, sizeof(digest));
  return std::string(reinterpret_cast<char*>(digest), sizeof(digest));
}

TEST(PeImageLayoutTest, ReadsTheSecurityDirectoryInsideTheImageOnly) {
  std::string image = test::MakePeImage(0x80, 0x400);
  test::SetSecurityDirectory(&image, 0x12345678, 0x9ABC);
  SecurityDirectory directory;
  ASSERT_TRUE(ReadSecurityDirectory(Bytes(image), image.size(), &directory));
  EXPECT_EQ(0x12345678u, directory.offset);
  EXPECT_EQ(0x9ABCu, directory.size);
  // The entry ends at byte 0x80 + 176: one byte less and it is outside.
  EXPECT_TRUE(ReadSecurityDirectory(Bytes(image), 0x80 + 176, &directory));
  EXPECT_FALSE(ReadSecurityDirectory(Bytes(image), 0x80 + 175, &directory));
  EXPECT_FALSE(ReadSecurityDirectory(Bytes(image), 63, &directory));
  image[60] = '\xFF';
  image[61] = '\xFF';
  image[62] = '\xFF';
  image[63] = '\xFF';
  EXPECT_FALSE(ReadSecurityDirectory(Bytes(image), image.size(), &directory));
  EXPECT_FALSE(HasPeSignatures(Bytes(image), image.size()));
}

TEST(PeImageLayoutTest, HeaderSignatures) {
  const std::string image = test::MakePeImage();
  EXPECT_TRUE(HasPeSignatures(Bytes(image), image.size()));
  std::string no_mz = image;
  no_mz[1] = 'X';
  std::string no_pe = image;
  no_pe[0x82] = 'X';
  EXPECT_FALSE(HasPeSignatures(Bytes(no_mz), no_mz.size()));
  EXPECT_FALSE(HasPeSignatures(Bytes(no_pe), no_pe.size()));
  EXPECT_FALSE(HasPeSignatures(Bytes(image), 0x83));
  EXPECT_FALSE(HasPeSignatures(Bytes(image), 1));
}

TEST(PeImageLayoutTest, AuthenticodeRegionSkipsChecksumEntryAndSignature) {
  std::string image = test::MakePeImage(0x80, 0x400);
  test::SetSecurityDirectory(&image, 0x300, 0x100);
  const std::string expected =
      RawSha256(image.substr(0, 0x80 + 88) + image.substr(0x80 + 92, 168 - 92) +
                image.substr(0x80 + 176, 0x300 - (0x80 + 176)));
  EXPECT_EQ(expected, RegionDigest(image));

  // The skipped fields and the signature do not count; anything else does.
  std::string changed = image;
  changed[0x80 + 88] ^= 1;
  changed[0x350] ^= 1;
  EXPECT_EQ(expected, RegionDigest(changed));
  changed[0x2FF] ^= 1;
  EXPECT_NE(expected, RegionDigest(changed));

  std::string unsigned_image = test::MakePeImage();
  std::string beyond = image;
  test::SetSecurityDirectory(&beyond, 0x300, 0x101);
  std::string inside_headers = image;
  test::SetSecurityDirectory(&inside_headers, 0x80 + 170, 0x10);
  std::string pe32 = image;
  pe32[0x80 + 24] = '\x0B';
  pe32[0x80 + 25] = '\x01';
  for (const std::string* refused :
       {&unsigned_image, &beyond, &inside_headers, &pe32}) {
    EXPECT_EQ("", RegionDigest(*refused));
  }
}

void PutUint32(std::string* image, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    (*image)[offset + i] = static_cast<char>(value >> (8 * i));
}

// The section table of MakePeImage(0x80, ...) starts after the 24 bytes of
// signature and file header and the 240 of the optional header.
constexpr size_t kFirstSection = 0x80 + 24 + 240;

TEST(PeImageLayoutTest, ImageEndsWhereHeadersSectionsAndSymbolsEnd) {
  uint64_t end = 0;
  const std::string image = test::MakePeImage(0x80, 0x400);
  ASSERT_TRUE(GetImageEnd(Bytes(image), image.size(), &end));
  EXPECT_EQ(0x400u, end);
  // Cut short, the headers still tell where the image should end.
  ASSERT_TRUE(GetImageEnd(Bytes(image), 0x300, &end));
  EXPECT_EQ(0x400u, end);

  // A second section further on, and a symbol table with its string table
  // (18-byte symbols, then a size field that counts itself) beyond that.
  std::string two = image;
  two[0x80 + 6] = 2;
  PutUint32(&two, kFirstSection + 40 + 16, 0x100);
  PutUint32(&two, kFirstSection + 40 + 20, 0x500);
  ASSERT_TRUE(GetImageEnd(Bytes(two), two.size(), &end));
  EXPECT_EQ(0x600u, end);
  std::string symbols = two + std::string(0x300, '\0');
  PutUint32(&symbols, 0x80 + 12, 0x600);
  PutUint32(&symbols, 0x80 + 16, 10);
  PutUint32(&symbols, 0x600 + 180, 24);
  ASSERT_TRUE(GetImageEnd(Bytes(symbols), symbols.size(), &end));
  EXPECT_EQ(0x600u + 180 + 24, end);
  // A string table cut off counts at least its size field.
  ASSERT_TRUE(GetImageEnd(Bytes(symbols), 0x600 + 181, &end));
  EXPECT_EQ(0x600u + 184, end);
  // An empty section adds nothing, wherever it claims to be.
  std::string empty_section = two;
  PutUint32(&empty_section, kFirstSection + 40 + 16, 0);
  PutUint32(&empty_section, kFirstSection + 40 + 20, 0x7FFFFFFF);
  ASSERT_TRUE(GetImageEnd(Bytes(empty_section), empty_section.size(), &end));
  EXPECT_EQ(0x400u, end);

  // Headers it cannot read: no end.
  std::string many_sections = image;
  many_sections[0x80 + 6] = '\xFF';
  many_sections[0x80 + 7] = '\xFF';
  std::string pe32 = image;
  pe32[0x80 + 24] = '\x0B';
  pe32[0x80 + 25] = '\x01';
  std::string no_mz = image;
  no_mz[0] = 'X';
  for (const std::string* refused : {&many_sections, &pe32, &no_mz})
    EXPECT_FALSE(GetImageEnd(Bytes(*refused), refused->size(), &end));
  EXPECT_FALSE(GetImageEnd(Bytes(image), kFirstSection + 22, &end));
}

}  // namespace
}  // namespace installer
