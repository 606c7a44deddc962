#include "base/strings/dtoa.h"

#include <errno.h>
#include <float.h>
#include <stdint.h>
#include <string.h>

#include <charconv>
#include <cmath>
#include <limits>

#include "base/logging.h"

// The correctly rounded work (shortest digits out, nearest double in) is done
// by the standard library's std::to_chars and std::from_chars, which keep no
// shared state; this file only adds the text grammar, the range errors and
// the output layout that our callers rely on.

namespace base {

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigitValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// True when |text| starts with |lower_word|, ignoring ASCII letter case.
bool StartsWithWord(const char* text, const char* lower_word) {
  for (; *lower_word; ++text, ++lower_word) {
    char c = *text;
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != *lower_word) return false;
  }
  return true;
}

// "inf", "infinity" or "nan" with an optional "(hex digits)" payload.
bool ReadSpecial(const char* p, double* value, const char** stop) {
  if (StartsWithWord(p, "inf")) {
    *stop = p + (StartsWithWord(p + 3, "inity") ? 8 : 3);
    *value = std::numeric_limits<double>::infinity();
    return true;
  }
  if (!StartsWithWord(p, "nan")) return false;
  p += 3;
  uint64_t payload = 0;
  if (*p == '(' && HexDigitValue(p[1]) >= 0) {
    const char* q = p + 1;
    while (HexDigitValue(*q) >= 0) payload = payload << 4 | HexDigitValue(*q++);
    if (*q == ')') {
      p = q + 1;
    } else {
      payload = 0;
    }
  }
  // A quiet NaN carrying the payload's low bits in its fraction.
  constexpr uint64_t kQuietNaN = 0x7FF8000000000000u;
  constexpr uint64_t kPayloadMask = 0x0007FFFFFFFFFFFFu;
  const uint64_t bits = kQuietNaN | (payload & kPayloadMask);
  memcpy(value, &bits, sizeof(bits));
  *stop = p;
  return true;
}

// For a number that the library found out of range: whether its magnitude is
// large (overflow) rather than tiny (underflow). Out-of-range values lie
// beyond 1e308 or below 1e-323, so the decimal exponent of the first non-zero
// digit decides; it is accumulated with saturation.
bool MagnitudeIsLarge(const char* p, const char* end) {
  constexpr long long kSaturation = 1LL << 40;
  long long position = 0;  // Decimal exponent of the digit at |p|, plus one.
  const char* q = p;
  while (q != end && IsDigit(*q)) ++q;
  position = q - p;
  long long leading = 0;  // Zeros in front of the first non-zero digit.
  bool found = false;
  for (q = p; q != end && *q != 'e' && *q != 'E'; ++q) {
    if (*q == '.') continue;
    if (*q != '0') {
      found = true;
      break;
    }
    ++leading;
  }
  if (!found) return false;
  long long exponent = 0;
  while (q != end && *q != 'e' && *q != 'E') ++q;
  if (q != end) {
    ++q;
    const bool negative = *q == '-';
    if (*q == '+' || *q == '-') ++q;
    for (; q != end; ++q) {
      if (exponent < kSaturation) exponent = exponent * 10 + (*q - '0');
    }
    if (negative) exponent = -exponent;
  }
  return position - leading + exponent > 0;
}

// Digits, an optional point with digits, an optional exponent. Returns false
// when there is no digit before the exponent.
bool ReadDecimal(const char* p, double* value, const char** stop) {
  const char* q = p;
  size_t digits = 0;
  for (; IsDigit(*q); ++q) ++digits;
  if (*q == '.') {
    for (++q; IsDigit(*q); ++q) ++digits;
  }
  if (digits == 0) return false;
  if (*q == 'e' || *q == 'E') {
    const char* e = q + 1;
    if (*e == '+' || *e == '-') ++e;
    if (IsDigit(*e)) {
      while (IsDigit(*e)) ++e;
      q = e;
    }
  }
  const auto result = std::from_chars(p, q, *value, std::chars_format::general);
  CHECK(result.ptr == q);
  if (result.ec == std::errc::result_out_of_range) {
    *value = MagnitudeIsLarge(p, q) ? HUGE_VAL : 0.0;
    errno = ERANGE;
  } else if (*value != 0.0 && *value < DBL_MIN) {
    errno = ERANGE;  // Subnormal: precision was lost.
  }
  *stop = q;
  return true;
}

char* WriteExponent(char* out, int exponent) {
  *out++ = 'e';
  *out++ = exponent < 0 ? '-' : '+';
  const int magnitude = exponent < 0 ? -exponent : exponent;
  if (magnitude >= 100) *out++ = static_cast<char>('0' + magnitude / 100);
  *out++ = static_cast<char>('0' + magnitude / 10 % 10);
  *out++ = static_cast<char>('0' + magnitude % 10);
  return out;
}

}  // namespace

double strtod(const char* text, char** end) {
  const char* p = text;
  while (IsSpace(*p)) ++p;
  const bool negative = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  double value = 0.0;
  const char* stop = text;
  if (!ReadSpecial(p, &value, &stop) && !ReadDecimal(p, &value, &stop)) {
    value = 0.0;
    stop = text;
  }
  if (end) *end = const_cast<char*>(stop);
  return negative ? -value : value;
}

char* g_fmt(char* buffer, double value) {
  char* out = buffer;
  if (std::signbit(value)) *out++ = '-';
  if (std::isnan(value) || std::isinf(value)) {
    strcpy(out, std::isnan(value) ? "NaN" : "Infinity");
    return buffer;
  }
  if (value == 0.0) {
    strcpy(out, "0");
    return buffer;
  }
  // The shortest digits in scientific form, "d.ddde+XX", taken apart into the
  // digit string and the position p of the point (value = 0.ddd x 10^p).
  char scientific[kGFmtBufferSize];
  const auto result =
      std::to_chars(scientific, scientific + sizeof(scientific),
                    std::fabs(value), std::chars_format::scientific);
  CHECK(result.ec == std::errc());
  char digits[20];
  int count = 0;
  const char* s = scientific;
  for (; s != result.ptr && *s != 'e'; ++s) {
    if (*s != '.') digits[count++] = *s;
  }
  int exponent = 0;
  std::from_chars(s + (s[1] == '+' ? 2 : 1), result.ptr, exponent);
  const int point = exponent + 1;

  if (point <= -4 || point > count + 5) {
    *out++ = digits[0];
    if (count > 1) {
      *out++ = '.';
      memcpy(out, digits + 1, count - 1);
      out += count - 1;
    }
    out = WriteExponent(out, point - 1);
  } else if (point <= 0) {
    *out++ = '.';
    for (int i = point; i < 0; ++i) *out++ = '0';
    memcpy(out, digits, count);
    out += count;
  } else {
    for (int i = 0; i < count || i < point; ++i) {
      if (i == point) *out++ = '.';
      *out++ = i < count ? digits[i] : '0';
    }
  }
  *out = '\0';
  return buffer;
}

char* g_fmt(double value, char* buffer) { return g_fmt(buffer, value); }

}  // namespace base
