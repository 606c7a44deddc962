#include "base/strings/sys_string_conversions.h"
#include "base/strings/utf_string_conversions.h"

// Without the code-page functions the UTF conversions serve; they replace
// invalid input by U+FFFD just as code page 65001 does with flags 0.

namespace base {

std::string SysWideToUTF8(StringPiece16 wide) { return UTF16ToUTF8(wide); }

std::u16string SysUTF8ToWide(StringPiece utf8) { return UTF8ToUTF16(utf8); }

}  // namespace base
