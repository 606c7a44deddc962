#include <stdio.h>
#include <wchar.h>

#include "base/strings/string_util_win.h"
#include "base/strings/stringprintf.h"

namespace base {

int vswprintf(char16_t* buffer, size_t size, const char16_t* format,
              va_list arguments) {
  // mingw-w64's C99 formatter reports the full length of a text that does
  // not fit, and reads "%ls" as a wchar_t string, which is our UTF-16.
  return ::vswprintf(as_writable_wcstr(buffer), size, as_wcstr(format),
                     arguments);
}

}  // namespace base
