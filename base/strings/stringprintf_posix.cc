#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <wchar.h>

#include <algorithm>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"

// The C library's wide printf works on 32-bit wchar_t text, while our wide
// formats and their "%ls" arguments are UTF-16. So each conversion of the
// format is handed to swprintf on its own, with string arguments widened to
// wchar_t first, and its output is narrowed back to UTF-16. Plain text
// between conversions is copied unit by unit.

namespace base {

namespace {

// Code units pass through unchanged both ways (unpaired surrogates
// included); only pairs become one code point.
std::wstring Widen(const char16_t* text, int max_units) {
  std::wstring result;
  for (int i = 0; (max_units < 0 || i < max_units) && text[i]; ++i) {
    const char16_t unit = text[i];
    const bool may_read_next = max_units < 0 || i + 1 < max_units;
    const char16_t next = may_read_next ? text[i + 1] : u'\0';
    if (unit >= 0xD800 && unit < 0xDC00 && next >= 0xDC00 && next < 0xE000) {
      result.push_back(static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) +
                                            (next - 0xDC00)));
      ++i;
    } else {
      result.push_back(static_cast<wchar_t>(unit));
    }
  }
  return result;
}

void AppendNarrowed(const wchar_t* text, size_t length, std::u16string* out) {
  for (size_t i = 0; i < length; ++i) {
    const uint32_t c = static_cast<uint32_t>(text[i]);
    if (c >= 0x10000 && c <= 0x10FFFF) {
      out->push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out->push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out->push_back(static_cast<char16_t>(c));
    }
  }
}

// Runs one conversion through swprintf, growing its buffer up to the size
// limit (swprintf only says "did not fit", not how much is needed).
template <typename... Args>
bool FormatOne(const std::wstring& spec, std::u16string* out, Args... args) {
  std::vector<wchar_t> buffer(256);
  while (true) {
    const int result =
        ::swprintf(buffer.data(), buffer.size(), spec.c_str(), args...);
    if (result >= 0) {
      AppendNarrowed(buffer.data(), static_cast<size_t>(result), out);
      return true;
    }
    if (buffer.size() > kMaxFormattedSize) return false;
    buffer.resize(std::min(buffer.size() * 4, kMaxFormattedSize + 1));
  }
}

template <typename T>
bool FormatWithStars(const std::wstring& spec, const int* stars, int star_count,
                     std::u16string* out, T value) {
  switch (star_count) {
    case 0:
      return FormatOne(spec, out, value);
    case 1:
      return FormatOne(spec, out, stars[0], value);
    default:
      return FormatOne(spec, out, stars[0], stars[1], value);
  }
}

enum class Length {
  kNone,
  kChar,
  kShort,
  kLong,
  kLongLong,
  kMax,
  kSize,
  kPtrdiff,
  kLongDouble
};

bool IsFlag(char16_t c) {
  return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0' || c == '\'';
}
bool IsDigit(char16_t c) { return c >= '0' && c <= '9'; }

Length ReadLength(const char16_t** p) {
  const char16_t c = **p;
  const char16_t next = (*p)[1];
  Length length = Length::kNone;
  int used = 1;
  if (c == 'h') {
    length = next == 'h' ? Length::kChar : Length::kShort;
    used = next == 'h' ? 2 : 1;
  } else if (c == 'l') {
    length = next == 'l' ? Length::kLongLong : Length::kLong;
    used = next == 'l' ? 2 : 1;
  } else if (c == 'j') {
    length = Length::kMax;
  } else if (c == 'z') {
    length = Length::kSize;
  } else if (c == 't') {
    length = Length::kPtrdiff;
  } else if (c == 'L') {
    length = Length::kLongDouble;
  } else {
    used = 0;
  }
  *p += used;
  return length;
}

// Formats the whole text into |out|; false for a format error or a
// conversion whose output alone exceeds the size limit.
bool FormatWide(const char16_t* format, va_list arguments,
                std::u16string* out) {
  const char16_t* p = format;
  while (*p) {
    if (*p != '%') {
      out->push_back(*p++);
      continue;
    }
    if (p[1] == '%') {
      out->push_back('%');
      p += 2;
      continue;
    }
    const char16_t* const start = p++;
    int stars[2];
    int star_count = 0;
    int precision = -1;
    long long width = 0;
    while (IsFlag(*p)) ++p;
    if (*p == '*') {
      stars[star_count++] = va_arg(arguments, int);
      width = stars[0] < 0 ? -static_cast<long long>(stars[0]) : stars[0];
      ++p;
    }
    for (; IsDigit(*p); ++p) {
      if (width <= static_cast<long long>(kMaxFormattedSize)) {
        width = width * 10 + (*p - '0');
      }
    }
    // The width is a minimum length: a text this long is refused anyway, so
    // it is not produced first.
    if (width >= static_cast<long long>(kMaxFormattedSize)) return false;
    if (*p == '.') {
      ++p;
      precision = 0;
      if (*p == '*') {
        precision = stars[star_count++] = va_arg(arguments, int);
        ++p;
      }
      for (; IsDigit(*p); ++p) precision = precision * 10 + (*p - '0');
    }
    // Strings and characters get their own length modifier below.
    std::wstring spec(start, p);
    const char16_t* const length_start = p;
    const Length length = ReadLength(&p);
    const std::wstring length_text(length_start, p);
    const char16_t conversion = *p++;
    if (conversion != 's' && conversion != 'c') spec += length_text;
    bool ok = true;
    switch (conversion) {
      case 'd':
      case 'i':
        spec.push_back(L'd');
        switch (length) {
          case Length::kLong:
            ok = FormatWithStars(spec, stars, star_count, out,
                                 va_arg(arguments, long));
            break;
          case Length::kLongLong:
            ok = FormatWithStars(spec, stars, star_count, out,
                                 va_arg(arguments, long long));
            break;
          case Length::kMax:
            ok = FormatWithStars(spec, stars, star_count, out,
                                 va_arg(arguments, intmax_t));
            break;
          case Length::kSize:
            ok = FormatWithStars(spec, stars, star_count, out,
                                 va_arg(arguments, std::make_signed_t<size_t>));
            break;
          case Length::kPtrdiff:
            ok = FormatWithStars(spec, stars, star_count, out,
                                 va_arg(arguments, ptrdiff_t));
            break;
          default:
            ok = FormatWithStars(spec, stars, star_count, out,
                                 va_arg(arguments, int));
        }
        break;
      case 'o':
      case 'u':
      case 'x':
      case 'X':
        spec.push_back(static_cast<wchar_t>(conversion));
        switch (length) {
          case Length::kLong:
            ok = FormatWithStars(spec, stars, star_count, out,
                                 va_arg(arguments, unsigned long));
            break;
          case Length::kLongLong:
            ok = FormatWithStars(spec, stars, star_count, out,
                                 va_arg(arguments, unsigned long long));
            break;
          case Length::kMax:
            ok = FormatWithStars(spec, stars, star_count, out,
                                 va_arg(arguments, uintmax_t));
            break;
          case Length::kSize:
            ok = FormatWithStars(spec, stars, star_count, out,
                                 va_arg(arguments, size_t));
            break;
          case Length::kPtrdiff:
            ok = FormatWithStars(
                spec, stars, star_count, out,
                va_arg(arguments, std::make_unsigned_t<ptrdiff_t>));
            break;
          default:
            ok = FormatWithStars(spec, stars, star_count, out,
                                 va_arg(arguments, unsigned));
        }
        break;
      case 'f':
      case 'F':
      case 'e':
      case 'E':
      case 'g':
      case 'G':
      case 'a':
      case 'A':
        spec.push_back(static_cast<wchar_t>(conversion));
        if (length == Length::kLongDouble) {
          ok = FormatWithStars(spec, stars, star_count, out,
                               va_arg(arguments, long double));
        } else {
          ok = FormatWithStars(spec, stars, star_count, out,
                               va_arg(arguments, double));
        }
        break;
      case 'c': {
        // The character arrives promoted to int, narrow or UTF-16 alike.
        const wchar_t c = static_cast<wchar_t>(
            length == Length::kLong
                ? static_cast<char16_t>(va_arg(arguments, int))
                : static_cast<unsigned char>(va_arg(arguments, int)));
        spec += L"lc";
        ok = FormatWithStars(spec, stars, star_count, out,
                             static_cast<wint_t>(c));
        break;
      }
      case 's': {
        // Narrow strings are UTF-8; both kinds are widened, so the precision
        // counts characters rather than bytes or units.
        std::wstring wide;
        const wchar_t* text = nullptr;
        if (length == Length::kLong) {
          const char16_t* arg = va_arg(arguments, const char16_t*);
          if (arg) {
            wide = Widen(arg, precision);
            text = wide.c_str();
          }
        } else {
          const char* arg = va_arg(arguments, const char*);
          if (arg) {
            const std::u16string utf16 = UTF8ToUTF16(
                precision < 0 ? StringPiece(arg)
                              : StringPiece(arg, strnlen(arg, precision)));
            wide = Widen(utf16.c_str(), -1);
            text = wide.c_str();
          }
        }
        spec += L"ls";
        ok = FormatWithStars(spec, stars, star_count, out, text);
        break;
      }
      case 'p':
        spec.push_back(L'p');
        ok = FormatWithStars(spec, stars, star_count, out,
                             va_arg(arguments, void*));
        break;
      default:
        // "%n" writes through a pointer and is refused like any unknown or
        // missing conversion.
        ok = false;
    }
    if (!ok) return false;
  }
  return true;
}

}  // namespace

int vswprintf(char16_t* buffer, size_t size, const char16_t* format,
              va_list arguments) {
  std::u16string text;
  if (!FormatWide(format, arguments, &text) ||
      text.size() > static_cast<size_t>(std::numeric_limits<int>::max())) {
    return -1;
  }
  if (size > 0) {
    const size_t written = std::min(text.size(), size - 1);
    std::copy(text.begin(), text.begin() + written, buffer);
    buffer[written] = u'\0';
  }
  return static_cast<int>(text.size());
}

}  // namespace base
