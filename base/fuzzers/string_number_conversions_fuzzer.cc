// Runs every number parser over the input and checks that whatever they
// accept reads back from their own formatting, that related parsers agree,
// and that doubles survive g_fmt and strtod bit for bit.

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "base/logging.h"
#include "base/strings/dtoa.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_piece.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"

namespace {

uint64_t Bits(double value) {
  uint64_t bits;
  memcpy(&bits, &value, sizeof(bits));
  return bits;
}

void CheckDoubleRoundTrip(double value) {
  if (std::isnan(value)) return;
  char buffer[base::kGFmtBufferSize + 16];
  memset(buffer, 0x7F, sizeof(buffer));
  base::g_fmt(buffer, value);
  const size_t length = strlen(buffer);
  CHECK(length < base::kGFmtBufferSize);
  char* end = nullptr;
  const double back = base::strtod(buffer, &end);
  CHECK(end == buffer + length);
  CHECK(Bits(back) == Bits(value));
}

void CheckIntegers(base::StringPiece text) {
  int i = 0;
  const bool int_valid = base::StringToInt(text, &i);
  if (int_valid) {
    int again = 0;
    CHECK(base::StringToInt(base::IntToString(i), &again) && again == i);
  }
  // The same text read as 64 bits, through the wide parser (each byte taken
  // as one unit): within the int range the two must agree.
  std::u16string wide(text.begin(), text.end());
  int64_t i64 = 0;
  const bool int64_valid = base::WideStringToInt64(wide, &i64);
  const bool has_high_bytes =
      !base::IsStringASCII(text.data(), text.size());  // U+0085, U+00A0.
  if (int64_valid && i64 >= std::numeric_limits<int>::min() &&
      i64 <= std::numeric_limits<int>::max()) {
    CHECK(int_valid && i == i64);
  }
  if (int_valid && !has_high_bytes) CHECK(int64_valid && i64 == i);
  if (int64_valid) {
    int64_t again = 0;
    CHECK(base::WideStringToInt64(base::Int64ToString16(i64), &again) &&
          again == i64);
  }

  uint64_t u64 = 0;
  if (base::StringToUint64(text, &u64)) {
    uint64_t again = 0;
    CHECK(base::StringToUint64(base::Uint64ToString(u64), &again) &&
          again == u64);
    unsigned u = 0;
    if (u64 <= std::numeric_limits<unsigned>::max()) {
      CHECK(base::StringToUint(text, &u) && u == u64);
    }
  }
  uint64_t strict = 0;
  if (base::StringToUint64DigitsOnly(text, &strict)) {
    CHECK(!text.empty() && text[0] != '+');
  }

  uint64_t hex = 0;
  if (base::HexStringToUInt64(text, &hex)) {
    const uint8_t be[8] = {
        static_cast<uint8_t>(hex >> 56), static_cast<uint8_t>(hex >> 48),
        static_cast<uint8_t>(hex >> 40), static_cast<uint8_t>(hex >> 32),
        static_cast<uint8_t>(hex >> 24), static_cast<uint8_t>(hex >> 16),
        static_cast<uint8_t>(hex >> 8),  static_cast<uint8_t>(hex)};
    uint64_t again = 0;
    CHECK(base::HexStringToUInt64(base::HexEncode(be, sizeof(be)), &again) &&
          again == hex);
  }

  std::vector<uint8_t> bytes;
  if (base::HexStringToBytes(text, &bytes)) {
    CHECK(base::HexEncode(bytes.data(), bytes.size()) ==
          base::ToUpperASCII(text));
  }
}

void CheckDoubles(base::StringPiece text) {
  const std::string terminated = text.as_string();
  char* end = nullptr;
  const double raw = base::strtod(terminated.c_str(), &end);
  CHECK(end >= terminated.c_str() &&
        end <= terminated.c_str() + strlen(terminated.c_str()));
  if (end == terminated.c_str()) CHECK(raw == 0.0);
  CheckDoubleRoundTrip(raw);

  double value = 0;
  if (base::StringToDouble(text, &value)) {
    CHECK(Bits(value) == Bits(raw) || (std::isnan(value) && std::isnan(raw)));
    CheckDoubleRoundTrip(value);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const base::StringPiece text(reinterpret_cast<const char*>(data), size);
  CheckIntegers(text);
  CheckDoubles(text);
  if (size >= sizeof(double)) {
    double pattern;
    memcpy(&pattern, data, sizeof(pattern));
    CheckDoubleRoundTrip(pattern);
  }
  return 0;
}
