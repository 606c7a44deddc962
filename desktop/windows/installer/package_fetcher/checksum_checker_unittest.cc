#include "desktop/windows/installer/package_fetcher/checksum_checker.h"

#include <stdint.h>

#include <string>

#include "base/files/file_util.h"
#include "base/strings/string_util.h"
#include "base/test/scoped_temp_dir.h"
#include "desktop/windows/installer/package_fetcher/test/package_test_material.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

constexpr char kAbcSha256[] =
    "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

std::string Upper(std::string text) {
  for (char& c : text) c = base::ToUpperASCII(c);
  return text;
}

class ChecksumCheckerTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_.CreateUniqueTempDir()); }

  base::FilePath Write(const std::string& name, const std::string& data) {
    const base::FilePath path = temp_.GetPath().AppendASCII(name);
    EXPECT_EQ(static_cast<int>(data.size()),
              base::WriteBufferToFile(path, data.data(),
                                      static_cast<int>(data.size())));
    return path;
  }

  base::ScopedTempDir temp_;
};

TEST_F(ChecksumCheckerTest, MatchesOnlyTheExactLowerCaseDigest) {
  const base::FilePath path = Write("abc", "abc");
  EXPECT_TRUE(ChecksumChecker::VerifyChecksum(path, kAbcSha256));
  EXPECT_FALSE(ChecksumChecker::VerifyChecksum(path, Upper(kAbcSha256)));
  EXPECT_FALSE(ChecksumChecker::VerifyChecksum(
      path, std::string(kAbcSha256).substr(0, 63)));
  EXPECT_FALSE(
      ChecksumChecker::VerifyChecksum(path, std::string(kAbcSha256) + "0"));
  EXPECT_FALSE(ChecksumChecker::VerifyChecksum(path, ""));
}

TEST_F(ChecksumCheckerTest, WholeFilesOfEverySize) {
  for (size_t size : {size_t{0}, size_t{1}, (size_t{1} << 20) - 1,
                      size_t{1} << 20, (size_t{3} << 20) + 17}) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i * 31 + 7);
    const base::FilePath path = Write("data", data);
    EXPECT_TRUE(ChecksumChecker::VerifyChecksum(path, test::Sha256Hex(data)))
        << size;
    if (size) {
      data[size - 1] ^= 1;
      EXPECT_FALSE(ChecksumChecker::VerifyChecksum(path, test::Sha256Hex(data)))
          << size;
    }
  }
}

TEST_F(ChecksumCheckerTest, MissingFileFails) {
  EXPECT_FALSE(ChecksumChecker::VerifyChecksum(
      temp_.GetPath().AppendASCII("missing"), kAbcSha256));
}

TEST(ChecksumCheckerFormatTest, HighNibbleFirstLowerCase) {
  const uint8_t digest[] = {0x00, 0x0F, 0xA0, 0xFF};
  EXPECT_EQ("000fa0ff", ChecksumChecker::FormatDigest(digest, 4));
}

}  // namespace
}  // namespace installer
