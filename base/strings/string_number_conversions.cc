#include "base/strings/string_number_conversions.h"

#include <errno.h>

#include <limits>
#include <type_traits>

#include "base/strings/dtoa.h"
#include "base/strings/string_util.h"

namespace base {

namespace {

// Digits from the least significant end; the magnitude of a negative value is
// taken unsigned so that the smallest value of each type formats correctly.
template <typename StringT, typename Int>
StringT FormatDecimal(Int value) {
  using Unsigned = std::make_unsigned_t<Int>;
  using CharT = typename StringT::value_type;
  CharT buffer[std::numeric_limits<Unsigned>::digits10 + 2];
  CharT* const end = buffer + sizeof(buffer) / sizeof(buffer[0]);
  CharT* start = end;
  const bool negative = value < 0;
  Unsigned magnitude =
      negative ? Unsigned(0) - static_cast<Unsigned>(value) : value;
  do {
    *--start = static_cast<CharT>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative) *--start = '-';
  return StringT(start, end);
}

bool IsParserWhitespace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool IsParserWhitespace(char16_t c) {
  for (const char16_t* w = kWhitespaceUTF16; *w; ++w) {
    if (*w == c) return true;
  }
  return false;
}

template <typename CharT>
bool IsDecimalDigit(CharT c) {
  return c >= '0' && c <= '9';
}

template <typename CharT>
int HexDigitValue(CharT c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

enum class SignRule { kPlusAllowed, kDigitsOnly };

// The shared front of every integer parser: skips white space and reads the
// sign. Returns false when the unsigned type met a "-"; |*valid| turns false
// for white space (and for "+" under kDigitsOnly).
template <typename Int, typename CharT>
bool ReadPrefix(const CharT** p, const CharT* end, SignRule rule,
                bool* negative, bool* valid) {
  while (*p != end && IsParserWhitespace(**p)) {
    *valid = false;
    ++*p;
  }
  *negative = false;
  if (*p == end) return true;
  if (**p == '-') {
    if (!std::is_signed_v<Int>) return false;
    *negative = true;
    ++*p;
  } else if (**p == '+') {
    if (rule == SignRule::kDigitsOnly) *valid = false;
    ++*p;
  }
  return true;
}

template <typename Int, typename CharT>
bool ParseDecimal(BasicStringPiece<CharT> input, Int* output, SignRule rule) {
  constexpr Int kMax = std::numeric_limits<Int>::max();
  constexpr Int kMin = std::numeric_limits<Int>::min();
  const CharT* p = input.begin();
  const CharT* const end = input.end();
  bool valid = true;
  bool negative = false;
  *output = 0;
  if (!ReadPrefix<Int>(&p, end, rule, &negative, &valid)) return false;
  if (p == end) return false;
  Int value = 0;
  for (; p != end; ++p) {
    if (!IsDecimalDigit(*p)) {
      *output = value;
      return false;
    }
    const Int digit = static_cast<Int>(*p - '0');
    if (!negative) {
      if (value > kMax / 10 || (value == kMax / 10 && digit > kMax % 10)) {
        *output = kMax;
        return false;
      }
      value = static_cast<Int>(value * 10 + digit);
    } else {
      if (value < kMin / 10 || (value == kMin / 10 && digit > -(kMin % 10))) {
        *output = kMin;
        return false;
      }
      value = static_cast<Int>(value * 10 - digit);
    }
  }
  *output = value;
  return valid;
}

}  // namespace

std::string IntToString(int value) { return FormatDecimal<std::string>(value); }
std::u16string IntToString16(int value) {
  return FormatDecimal<std::u16string>(value);
}
std::string UintToString(unsigned value) {
  return FormatDecimal<std::string>(value);
}
std::u16string UintToString16(unsigned value) {
  return FormatDecimal<std::u16string>(value);
}
std::string Int64ToString(int64_t value) {
  return FormatDecimal<std::string>(value);
}
std::u16string Int64ToString16(int64_t value) {
  return FormatDecimal<std::u16string>(value);
}
std::string Uint64ToString(uint64_t value) {
  return FormatDecimal<std::string>(value);
}
std::u16string Uint64ToString16(uint64_t value) {
  return FormatDecimal<std::u16string>(value);
}

std::string HexEncode(const void* bytes, size_t size) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  const auto* in = static_cast<const uint8_t*>(bytes);
  std::string result(size * 2, '\0');
  for (size_t i = 0; i < size; ++i) {
    result[2 * i] = kHexDigits[in[i] >> 4];
    result[2 * i + 1] = kHexDigits[in[i] & 0xF];
  }
  return result;
}

bool StringToInt(StringPiece input, int* output) {
  return ParseDecimal(input, output, SignRule::kPlusAllowed);
}
bool StringToUint(StringPiece input, unsigned* output) {
  return ParseDecimal(input, output, SignRule::kPlusAllowed);
}
bool StringToUint64(StringPiece input, uint64_t* output) {
  return ParseDecimal(input, output, SignRule::kPlusAllowed);
}
bool WideStringToUint(StringPiece16 input, unsigned* output) {
  return ParseDecimal(input, output, SignRule::kPlusAllowed);
}
bool WideStringToInt64(StringPiece16 input, int64_t* output) {
  return ParseDecimal(input, output, SignRule::kPlusAllowed);
}
bool StringToUint64DigitsOnly(StringPiece input, uint64_t* output) {
  return ParseDecimal(input, output, SignRule::kDigitsOnly);
}
bool WideStringToUintDigitsOnly(StringPiece16 input, unsigned* output) {
  return ParseDecimal(input, output, SignRule::kDigitsOnly);
}

bool HexStringToUInt64(StringPiece input, uint64_t* output) {
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  const char* p = input.begin();
  const char* const end = input.end();
  bool valid = true;
  bool negative = false;
  *output = 0;
  if (!ReadPrefix<uint64_t>(&p, end, SignRule::kPlusAllowed, &negative,
                            &valid) ||
      p == end) {
    return false;
  }
  // "0x" alone is no prefix: its "x" then fails as a digit.
  if (end - p >= 3 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p += 2;
  uint64_t value = 0;
  for (; p != end; ++p) {
    const int digit = HexDigitValue(*p);
    if (digit < 0) {
      *output = value;
      return false;
    }
    if (value > kMax / 16) {
      *output = kMax;
      return false;
    }
    value = (value << 4) | static_cast<uint64_t>(digit);
  }
  *output = value;
  return valid;
}

bool HexStringToBytes(StringPiece input, std::vector<uint8_t>* output) {
  if (input.empty() || input.size() % 2 != 0) return false;
  for (size_t i = 0; i < input.size(); i += 2) {
    const int high = HexDigitValue(input[i]);
    const int low = HexDigitValue(input[i + 1]);
    if (high < 0 || low < 0) return false;
    output->push_back(static_cast<uint8_t>(high << 4 | low));
  }
  return true;
}

bool StringToDouble(StringPiece input, double* output) {
  const int saved_errno = errno;
  errno = 0;
  // strtod reads NUL-terminated text; the copy also makes an embedded NUL end
  // the number early, which then fails the whole-text test below.
  const std::string text = input.as_string();
  char* end = nullptr;
  *output = base::strtod(text.c_str(), &end);
  const bool valid = errno == 0 && !text.empty() &&
                     end == text.c_str() + text.size() &&
                     !IsParserWhitespace(text[0]);
  if (errno == 0) errno = saved_errno;
  return valid;
}

}  // namespace base
