#include "desktop/windows/installer/package_fetcher/payload_reader.h"

#include <stdint.h>

#include <string>

#include "desktop/windows/installer/package_fetcher/test/pe_test_image.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::MakePeImage;
using test::SetSecurityDirectory;
using test::SevenZipPayload;
using test::Trailer;
using Outcome = PayloadReader::ScanResult::Outcome;

PayloadReader::ScanResult ScanOf(const std::string& image) {
  return PayloadReader::Scan(reinterpret_cast<const uint8_t*>(image.data()),
                             image.size());
}

// |image| with a signature of |size| bytes appended and its security
// directory entry pointing there.
std::string Signed(std::string image, uint32_t size = 64) {
  SetSecurityDirectory(&image, static_cast<uint32_t>(image.size()), size);
  return image + std::string(size, '\x5C');
}

std::string Fuller(uint32_t length) {
  std::string field(4, '\0');
  for (int i = 0; i < 4; ++i) field[i] = static_cast<char>(length >> (8 * i));
  return field;
}

TEST(PayloadReaderScanTest, FindsPayloadsWhereTheyCount) {
  const std::string image = MakePeImage();
  const std::string archive = SevenZipPayload("archive bytes");
  const std::string tracking = "tracking=1";
  const struct {
    const char* name;
    std::string file;
    Outcome outcome;
    std::string payload;
  } cases[] = {
      {"unsigned, archive at the end", image + Trailer(archive),
       Outcome::kFullPackage, archive},
      {"unsigned, tracking data", image + Trailer(tracking),
       Outcome::kTrackingData, tracking},
      {"signed, archive before the signature", Signed(image + Trailer(archive)),
       Outcome::kFullPackage, archive},
      {"signed, tracking data after the signature",
       Signed(image) + Trailer(tracking), Outcome::kTrackingData, tracking},
      {"signed, archive after the signature", Signed(image) + Trailer(archive),
       Outcome::kDamaged, ""},
      {"no trailer", image, Outcome::kNoPayload, ""},
      {"signed without trailer", Signed(image), Outcome::kNoPayload, ""},
      {"exactly the 7z signature", image + Trailer(SevenZipPayload("")),
       Outcome::kFullPackage, SevenZipPayload("")},
      {"5 bytes of the signature",
       image + Trailer(SevenZipPayload("").substr(0, 5)),
       Outcome::kTrackingData, SevenZipPayload("").substr(0, 5)},
      {"empty payload", image + Trailer(""), Outcome::kTrackingData, ""},
      {"wrong magic", image + "VLM" + tracking + Fuller(10), Outcome::kDamaged,
       ""},
      {"length before the file's start", image + "VLN" + Fuller(0x7FFFFFFF),
       Outcome::kDamaged, ""},
      {"length of 2^31", image + "VLN" + Fuller(0x80000000u), Outcome::kDamaged,
       ""},
      {"length of 2^32 - 1", image + "VLN" + Fuller(0xFFFFFFFFu),
       Outcome::kDamaged, ""},
      {"magic at byte 0",
       "VLN" + image.substr(3) +
           Fuller(static_cast<uint32_t>(image.size() - 3)),
       Outcome::kTrackingData, image.substr(3)},
      {"length one byte past the file's start, no PE headers",
       "VLN" + image.substr(3) +
           Fuller(static_cast<uint32_t>(image.size() - 2)),
       Outcome::kDamaged, ""},
  };
  for (const auto& c : cases) {
    const PayloadReader::ScanResult result = ScanOf(c.file);
    EXPECT_EQ(c.outcome, result.outcome) << c.name;
    if (result.outcome == Outcome::kFullPackage ||
        result.outcome == Outcome::kTrackingData) {
      EXPECT_EQ(c.payload, c.file.substr(result.offset, result.length))
          << c.name;
    }
  }
}

TEST(PayloadReaderScanTest, SmallestTrailerEndsAtTheRegion) {
  // An image whose signature starts 7 bytes into the file region: only an
  // empty payload fits; one byte less holds none.
  std::string image = MakePeImage();
  const std::string trailer = Trailer("");
  std::string file = image + trailer;
  SetSecurityDirectory(&file, static_cast<uint32_t>(file.size()), 8);
  file += std::string(8, '\0');
  EXPECT_EQ(Outcome::kTrackingData, ScanOf(file).outcome);
  EXPECT_EQ(image.size() + 3, ScanOf(file).offset);
}

TEST(PayloadReaderScanTest, HeadersOutsideTheFileAreCorrupt) {
  const std::string image = MakePeImage();
  std::string beyond = image;
  SetSecurityDirectory(&beyond, static_cast<uint32_t>(image.size() + 1), 0);
  std::string reaching = image;
  SetSecurityDirectory(&reaching, 0x100, static_cast<uint32_t>(image.size()));
  std::string wrapping = image;
  SetSecurityDirectory(&wrapping, 0x100, 0xFFFFFFFFu);
  std::string far_headers = image;
  far_headers[60] = '\xF0';
  far_headers[63] = '\x7F';
  std::string late_headers = image;
  // The entry's last byte would be the file's first byte past its end.
  late_headers[60] = static_cast<char>(image.size() - 175);
  late_headers[61] = static_cast<char>((image.size() - 175) >> 8);
  const std::string cases[] = {beyond,       reaching,     wrapping,
                               far_headers,  late_headers, image.substr(0, 63),
                               std::string()};
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(Outcome::kCorrupt, ScanOf(cases[i]).outcome) << i;
  // The security directory ending exactly at the file's end is fine.
  std::string exact = MakePeImage(0x80, 0x300) + std::string(0x100, '\x5C');
  SetSecurityDirectory(&exact, 0x300, 0x100);
  EXPECT_EQ(Outcome::kNoPayload, ScanOf(exact).outcome);
}

// A full installer cut short or with bytes appended holds no trailer; it
// is damaged, never a net installer, whose image stands alone (or with the
// signing tool's zero padding before its signature).
TEST(PayloadReaderScanTest, BytesAfterTheImageThatAreNoPayloadAreDamage) {
  const std::string image = MakePeImage();
  const std::string full =
      image + Trailer(SevenZipPayload(std::string(3000, 'a')));
  const std::string signed_full = Signed(full);
  std::string padded = image + std::string(5, '\0');
  SetSecurityDirectory(&padded, static_cast<uint32_t>(padded.size()), 64);
  padded += std::string(64, '\x5C');
  std::string padded_junk = image + std::string(4, '\0') + "x";
  SetSecurityDirectory(&padded_junk, static_cast<uint32_t>(padded_junk.size()),
                       64);
  padded_junk += std::string(64, '\x5C');
  const struct {
    const char* name;
    std::string file;
    Outcome outcome;
  } cases[] = {
      {"bare image", image, Outcome::kNoPayload},
      {"signed bare image", Signed(image), Outcome::kNoPayload},
      {"zero padding before the signature", padded, Outcome::kNoPayload},
      {"more than padding before the signature", padded_junk,
       Outcome::kDamaged},
      {"cut in half", full.substr(0, full.size() / 2), Outcome::kDamaged},
      {"cut into the image", full.substr(0, image.size() - 1),
       Outcome::kDamaged},
      {"cut by 1000 bytes", full.substr(0, full.size() - 1000),
       Outcome::kDamaged},
      {"7 bytes appended", full + "0123456", Outcome::kDamaged},
      {"one byte appended", full + "x", Outcome::kDamaged},
      {"100 kB appended", full + std::string(100 * 1024, 'z'),
       Outcome::kDamaged},
      {"signed, 7 bytes appended", signed_full + "0123456", Outcome::kDamaged},
      {"signed, cut by 1000 bytes",
       signed_full.substr(0, signed_full.size() - 1000), Outcome::kCorrupt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.outcome, ScanOf(c.file).outcome) << c.name;
}

}  // namespace
}  // namespace installer
