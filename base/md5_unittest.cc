#include "base/md5.h"

#include <string.h>

#include <string>

#include "base/strings/string_number_conversions.h"
#include "gtest/gtest.h"

namespace base {
namespace {

std::string DigestOf(StringPiece data) {
  MD5Context context;
  MD5Init(&context);
  MD5Update(&context, data);
  MD5Digest digest;
  MD5Final(&digest, &context);
  return HexEncode(digest.a, sizeof(digest.a));
}

TEST(MD5Test, Rfc1321Vectors) {
  const struct {
    std::string input;
    const char* digest;
  } cases[] = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"a", "0CC175B9C0F1B6A831C399E269772661"},
      {"abc", "900150983CD24FB0D6963F7D28E17F72"},
      {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
      {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "D174AB98D277D9F5A5611C2C9F419D9F"},
      {"1234567890123456789012345678901234567890123456789012345678901234567"
       "8901234567890",
       "57EDF4A22BE3C955AC49DA2E2107B67A"},
      // Around the padding boundary: up to 55 bytes the length still fits
      // the last block, from 56 on it needs one more.
      {std::string(55, 'a'), "EF1772B6DFF9A122358552954AD0DF65"},
      {std::string(56, 'a'), "3B0C8AC703F828B04C6C197006D17218"},
      {std::string(63, 'a'), "B06521F39153D618550606BE297466D5"},
      {std::string(64, 'a'), "014842D480B571495A4A0363793F7367"},
      {std::string(65, 'a'), "C743A45E0D2E6A95CB859ADAE0248435"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.digest, DigestOf(c.input)) << c.input.size() << " bytes";
  }
}

TEST(MD5Test, PiecewiseFeedingMatchesOneUpdate) {
  std::string data;
  for (int i = 0; i < 1000; ++i) data.push_back(static_cast<char>(i * 7));
  const std::string whole = DigestOf(data);
  for (size_t step : {1u, 3u, 55u, 63u, 64u, 65u, 200u}) {
    MD5Context context;
    MD5Init(&context);
    for (size_t i = 0; i < data.size(); i += step) {
      MD5Update(&context, StringPiece(data).substr(i, step));
    }
    MD5Digest digest;
    MD5Final(&digest, &context);
    EXPECT_EQ(whole, HexEncode(digest.a, sizeof(digest.a))) << step;
  }
}

TEST(MD5Test, MillionBytesAndZeroedContext) {
  EXPECT_EQ("7707D6AE4E027C70EEA2A935C2296F21",
            DigestOf(std::string(1000000, 'a')));
  MD5Context context;
  MD5Init(&context);
  MD5Update(&context, "some text");
  MD5Digest digest;
  MD5Final(&digest, &context);
  const MD5Context zero = {};
  EXPECT_EQ(0, memcmp(&zero, &context, sizeof(context)));
}

}  // namespace
}  // namespace base
