// Conversions between wide text and UTF-8 through the operating system's
// code-page functions (code page 65001 on Windows). How invalid input is
// replaced is the platform's own choice; neither conversion fails loudly:
// empty input, and a platform failure, give an empty result.

#ifndef BASE_STRINGS_SYS_STRING_CONVERSIONS_H_
#define BASE_STRINGS_SYS_STRING_CONVERSIONS_H_

#include <string>

#include "base/strings/string_piece.h"

namespace base {

std::string SysWideToUTF8(StringPiece16 wide);
std::u16string SysUTF8ToWide(StringPiece utf8);

}  // namespace base

#endif  // BASE_STRINGS_SYS_STRING_CONVERSIONS_H_
