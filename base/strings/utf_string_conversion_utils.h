// Code-point reading and writing shared by the UTF conversions and the JSON
// writer and parser.

#ifndef BASE_STRINGS_UTF_STRING_CONVERSION_UTILS_H_
#define BASE_STRINGS_UTF_STRING_CONVERSION_UTILS_H_

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace base {

inline constexpr int32_t kUnicodeReplacementCharacter = 0xFFFD;

// True for 0x0000-0xD7FF and 0xE000-0x10FFFF: what a conversion may encode.
inline bool IsValidCodepoint(int32_t code_point) {
  return (code_point >= 0 && code_point < 0xD800) ||
         (code_point >= 0xE000 && code_point <= 0x10FFFF);
}

// The stricter test: also false for the noncharacters U+FDD0-U+FDEF and
// U+xxFFFE/U+xxFFFF.
inline bool IsValidCharacter(int32_t code_point) {
  return (code_point >= 0 && code_point < 0xD800) ||
         (code_point >= 0xE000 && code_point < 0xFDD0) ||
         (code_point > 0xFDEF && code_point <= 0x10FFFF &&
          (code_point & 0xFFFE) != 0xFFFE);
}

// Decodes the sequence whose lead byte |lead| was just consumed; |*position|
// points past it and is moved over what the sequence used. Returns the code
// point, or a negative value for an invalid sequence.
int32_t ReadUTF8CodePoint(const char* src, size_t* position, size_t length,
                          unsigned char lead);

// Append a valid code point; return the number of bytes or units written.
size_t WriteUnicodeCharacter(int32_t code_point, std::string* output);
size_t WriteUnicodeCharacter16(int32_t code_point, std::u16string* output);

// Append the conversion of |count| units or bytes; invalid input becomes
// U+FFFD. Return true when every unit or sequence was valid.
bool ConvertUTF16ToUTF8(const char16_t* src, int32_t count,
                        std::string* output);
bool ConvertUTF8ToUTF16(const char* src, int32_t count,
                        std::u16string* output);

}  // namespace base

#endif  // BASE_STRINGS_UTF_STRING_CONVERSION_UTILS_H_
