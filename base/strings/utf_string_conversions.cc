#include "base/strings/utf_string_conversions.h"

#include <stdint.h>
#include <string.h>

#include <limits>

namespace base {

namespace {

// ORs all elements together, the aligned middle a machine word at a time.
template <typename CharT>
bool DoIsStringASCII(const CharT* data, size_t length) {
  constexpr uint64_t kWordMask =
      sizeof(CharT) == 1 ? 0x8080808080808080ULL : 0xFF80FF80FF80FF80ULL;
  constexpr uint64_t kCharMask = sizeof(CharT) == 1 ? 0x80 : 0xFF80;
  const CharT* p = data;
  const CharT* end = data + length;
  uint64_t all = 0;
  while (p < end && (reinterpret_cast<uintptr_t>(p) & 7) != 0)
    all |= static_cast<uint64_t>(*p++);
  const size_t per_word = sizeof(uint64_t) / sizeof(CharT);
  uint64_t words = 0;
  while (static_cast<size_t>(end - p) >= per_word) {
    uint64_t word;
    memcpy(&word, p, sizeof(word));
    words |= word;
    p += per_word;
  }
  while (p < end) all |= static_cast<uint64_t>(*p++);
  return (all & kCharMask) == 0 && (words & kWordMask) == 0;
}

}  // namespace

bool IsStringASCII(const char* data, size_t length) {
  return DoIsStringASCII(reinterpret_cast<const unsigned char*>(data), length);
}

bool IsStringASCII(StringPiece text) {
  return IsStringASCII(text.data(), text.size());
}

bool IsStringASCII16(const char16_t* data, size_t length) {
  return DoIsStringASCII(data, length);
}

bool IsStringASCII16(StringPiece16 text) {
  return IsStringASCII16(text.data(), text.size());
}

bool IsWStringASCII(const std::u16string& text) {
  return IsStringASCII16(text.data(), text.size());
}

std::u16string UTF8ToUTF16(StringPiece utf8) {
  if (IsStringASCII(utf8)) return ASCIIToUTF16(utf8);
  std::u16string result;
  // A text that starts with ASCII is likely mostly ASCII.
  result.reserve(static_cast<unsigned char>(utf8[0]) < 0x80 ? utf8.size()
                                                            : utf8.size() / 2);
  ConvertUTF8ToUTF16(utf8.data(), static_cast<int32_t>(utf8.size()), &result);
  return result;
}

std::u16string UTF8ToWide(StringPiece utf8) { return UTF8ToUTF16(utf8); }

std::string UTF16ToUTF8(StringPiece16 utf16) {
  if (IsStringASCII16(utf16)) return UTF16ToASCII(utf16);
  std::string result;
  result.reserve(utf16[0] < 0x80 ? utf16.size() : utf16.size() * 3);
  ConvertUTF16ToUTF8(utf16.data(), static_cast<int32_t>(utf16.size()),
                     &result);
  return result;
}

std::string WideToUTF8(const std::u16string& wide) {
  return UTF16ToUTF8(wide);
}

std::u16string ASCIIToUTF16(StringPiece ascii) {
  std::u16string result(ascii.size(), u'\0');
  for (size_t i = 0; i < ascii.size(); ++i)
    result[i] = static_cast<unsigned char>(ascii[i]);
  return result;
}

std::string UTF16ToASCII(StringPiece16 utf16) {
  std::string result(utf16.size(), '\0');
  for (size_t i = 0; i < utf16.size(); ++i)
    result[i] = static_cast<char>(utf16[i] & 0xFF);
  return result;
}

}  // namespace base
