#include "base/strings/utf_string_conversion_utils.h"

namespace base {

namespace {

// Trail bytes that follow a lead byte, indexed by the lead byte's top bits.
int TrailCount(unsigned char lead) {
  if (lead < 0xC0) return 0;
  if (lead < 0xE0) return 1;
  if (lead < 0xF0) return 2;
  if (lead < 0xF8) return 3;
  if (lead < 0xFC) return 4;
  if (lead < 0xFE) return 5;
  return 0;
}

constexpr int32_t kSmallestForTrailCount[4] = {0, 0x80, 0x800, 0x10000};

bool IsContinuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Moves past at most |limit| continuation bytes.
void SkipContinuations(const char* src, size_t* position, size_t length,
                       size_t limit) {
  size_t skipped = 0;
  while (skipped < limit && *position < length &&
         IsContinuation(src[*position])) {
    ++*position;
    ++skipped;
  }
}

}  // namespace

int32_t ReadUTF8CodePoint(const char* src, size_t* position, size_t length,
                          unsigned char lead) {
  const size_t after_lead = *position;
  const int n = TrailCount(lead);
  if (after_lead + n > length) {
    SkipContinuations(src, position, length, static_cast<size_t>(-1));
    return -1;
  }
  if (n == 0) return -1;
  bool valid = n <= 3;
  int32_t value = lead & ((1 << (6 - n)) - 1);
  for (int i = 0; valid && i < n; ++i) {
    const unsigned char trail = static_cast<unsigned char>(src[after_lead + i]);
    valid = IsContinuation(static_cast<char>(trail));
    value = (value << 6) | (trail & 0x3F);
    // After the first of three trail bytes, 0x110 and more means the
    // sequence would encode more than U+10FFFF.
    if (n == 3 && i == 0 && value >= 0x110) valid = false;
  }
  if (valid && value >= kSmallestForTrailCount[n] &&
      !(value >= 0xD800 && value <= 0xDFFF)) {
    *position = after_lead + n;
    return value;
  }
  *position = after_lead;
  SkipContinuations(src, position, length, static_cast<size_t>(n));
  return -1;
}

size_t WriteUnicodeCharacter(int32_t code_point, std::string* output) {
  const uint32_t c = static_cast<uint32_t>(code_point);
  if (c < 0x80) {
    output->push_back(static_cast<char>(c));
    return 1;
  }
  if (c < 0x800) {
    output->push_back(static_cast<char>(0xC0 | (c >> 6)));
    output->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    return 2;
  }
  if (c < 0x10000) {
    output->push_back(static_cast<char>(0xE0 | (c >> 12)));
    output->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    output->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    return 3;
  }
  output->push_back(static_cast<char>(0xF0 | (c >> 18)));
  output->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
  output->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
  output->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  return 4;
}

size_t WriteUnicodeCharacter16(int32_t code_point, std::u16string* output) {
  if (code_point < 0x10000) {
    output->push_back(static_cast<char16_t>(code_point));
    return 1;
  }
  output->push_back(static_cast<char16_t>((code_point >> 10) + 0xD7C0));
  output->push_back(static_cast<char16_t>((code_point & 0x3FF) | 0xDC00));
  return 2;
}

bool ConvertUTF16ToUTF8(const char16_t* src, int32_t count,
                        std::string* output) {
  bool success = true;
  for (int32_t i = 0; i < count; ++i) {
    const char16_t unit = src[i];
    if (unit < 0xD800 || unit > 0xDFFF) {
      WriteUnicodeCharacter(unit, output);
    } else if (unit <= 0xDBFF && i + 1 < count && src[i + 1] >= 0xDC00 &&
               src[i + 1] <= 0xDFFF) {
      WriteUnicodeCharacter(
          0x10000 + ((unit - 0xD800) << 10) + (src[i + 1] - 0xDC00), output);
      ++i;
    } else {
      // Only the lone surrogate is replaced; what follows converts by itself.
      WriteUnicodeCharacter(kUnicodeReplacementCharacter, output);
      success = false;
    }
  }
  return success;
}

bool ConvertUTF8ToUTF16(const char* src, int32_t count,
                        std::u16string* output) {
  if (count < 1) return true;
  const size_t length = static_cast<size_t>(count);
  bool success = true;
  size_t position = 0;
  while (position < length) {
    const unsigned char b = static_cast<unsigned char>(src[position++]);
    int32_t code_point = -1;
    if (b < 0x80)
      code_point = b;
    else if (b >= 0xC0 && b <= 0xFD)
      code_point = ReadUTF8CodePoint(src, &position, length, b);
    if (code_point >= 0) {
      WriteUnicodeCharacter16(code_point, output);
    } else {
      output->push_back(static_cast<char16_t>(kUnicodeReplacementCharacter));
      success = false;
    }
  }
  return success;
}

}  // namespace base
