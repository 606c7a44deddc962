// Character classes of the crash reporter's text output, fixed to ASCII so
// that they do not depend on the runtime's locale.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_PRINTABLE_ASCII_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_PRINTABLE_ASCII_H_

#include <stdint.h>

namespace crash_reporter {

// 0x20 (space) to 0x7E ('~').
inline constexpr bool IsPrintableAscii(uint32_t c) {
  return c >= 0x20 && c <= 0x7E;
}

// '0'-'9', 'A'-'Z', 'a'-'z'.
inline constexpr bool IsAlphanumericAscii(uint32_t c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
         (c >= 'a' && c <= 'z');
}

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_PRINTABLE_ASCII_H_
