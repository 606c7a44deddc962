// printf-style formatting into narrow and wide strings of any length: the
// system's only printf entry point.
//
// Formats follow the C runtime's printf conventions. In wide formats a wide
// string argument (const char16_t*) is always written "%ls", never a bare
// "%s", so that a format means the same on every platform.
//
// Formatting never fails loudly: a format error, or a text longer than
// kMaxFormattedSize characters, leaves the destination as it was (empty for
// StringPrintf and StringPrintfWide).

#ifndef BASE_STRINGS_STRINGPRINTF_H_
#define BASE_STRINGS_STRINGPRINTF_H_

#include <stdarg.h>
#include <stddef.h>

#include <string>

#if defined(__MINGW32__)
#define VELNA_PRINTF_FORMAT(format_index, first_argument) \
  __attribute__((format(gnu_printf, format_index, first_argument)))
#else
#define VELNA_PRINTF_FORMAT(format_index, first_argument) \
  __attribute__((format(printf, format_index, first_argument)))
#endif

namespace base {

// The first attempt formats into a local buffer of this many characters.
inline constexpr size_t kFormatStackBufferSize = 1024;
// The largest buffer ever tried, in characters (bytes or UTF-16 units); a
// text needs one more for its NUL, so kMaxFormattedSize - 1 is the longest.
inline constexpr size_t kMaxFormattedSize = 32 * 1024 * 1024;

std::string StringPrintf(const char* format, ...) VELNA_PRINTF_FORMAT(1, 2);
std::u16string StringPrintfWide(const char16_t* format, ...);

// Clears |*dst|, formats into it and returns it.
const std::string& SStringPrintf(std::string* dst, const char* format, ...)
    VELNA_PRINTF_FORMAT(2, 3);

// Append the formatted text to |*dst|. |arguments| is only read through
// copies, so the caller may use it again.
void StringAppendF(std::string* dst, const char* format, ...)
    VELNA_PRINTF_FORMAT(2, 3);
void StringAppendV(std::string* dst, const char* format, va_list arguments)
    VELNA_PRINTF_FORMAT(2, 0);
void StringAppendVWide(std::u16string* dst, const char16_t* format,
                       va_list arguments);

// Bounded formatters: write at most |size| - 1 characters and a NUL into
// |buffer| (nothing when |size| is 0) and return the length of the full text,
// whether or not it fitted, or a negative value for a format error. They
// consume |arguments|.
int vsnprintf(char* buffer, size_t size, const char* format, va_list arguments)
    VELNA_PRINTF_FORMAT(3, 0);
int vswprintf(char16_t* buffer, size_t size, const char16_t* format,
              va_list arguments);

}  // namespace base

#endif  // BASE_STRINGS_STRINGPRINTF_H_
