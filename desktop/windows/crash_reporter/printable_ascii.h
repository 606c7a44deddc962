// Character classes of the crash reporter's text output, fixed to ASCII so
// that they do not depend on the runtime's locale.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_PRINTABLE_ASCII_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_PRINTABLE_ASCII_H_

#include <stdint.h>

#include <string>

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

// |text| with every control character (below 0x20, and 0x7F) written as a
// space: values printed between quotes on a line of their own must not
// start a line.
inline std::string WithControlCharactersAsSpaces(std::string text) {
  for (char& c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = ' ';
  }
  return text;
}

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_PRINTABLE_ASCII_H_
