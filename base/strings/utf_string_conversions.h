// Conversions between wide (UTF-16) and narrow (UTF-8 or ASCII) text.
// They never fail: invalid UTF-8 and unpaired surrogates become U+FFFD.

#ifndef BASE_STRINGS_UTF_STRING_CONVERSIONS_H_
#define BASE_STRINGS_UTF_STRING_CONVERSIONS_H_

#include <stddef.h>

#include <string>

#include "base/strings/string_piece.h"
#include "base/strings/utf_string_conversion_utils.h"

namespace base {

std::u16string UTF8ToUTF16(StringPiece utf8);
// The wide form is UTF-16, so this is the same operation as UTF8ToUTF16.
std::u16string UTF8ToWide(StringPiece utf8);
std::string UTF16ToUTF8(StringPiece16 utf16);
std::string WideToUTF8(const std::u16string& wide);

// For text known to be ASCII; neither checks it.
std::u16string ASCIIToUTF16(StringPiece ascii);
std::string UTF16ToASCII(StringPiece16 utf16);

bool IsStringASCII(const char* data, size_t length);
bool IsStringASCII(StringPiece text);
bool IsStringASCII16(const char16_t* data, size_t length);
bool IsStringASCII16(StringPiece16 text);
bool IsWStringASCII(const std::u16string& text);

}  // namespace base

#endif  // BASE_STRINGS_UTF_STRING_CONVERSIONS_H_
