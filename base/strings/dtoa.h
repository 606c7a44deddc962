// Exact conversion between IEEE-754 doubles and decimal text.
//
// strtod reads the correctly rounded double nearest to a decimal text; g_fmt
// writes the shortest decimal text that reads back to the same double. Both
// are safe to call from any thread at once and never look at the locale.

#ifndef BASE_STRINGS_DTOA_H_
#define BASE_STRINGS_DTOA_H_

#include <stddef.h>

namespace base {

// The buffer size that always holds g_fmt's text with its terminating NUL.
inline constexpr size_t kGFmtBufferSize = 32;

// Accepts, in order: white space (tab, LF, VT, FF, CR, blank), an optional
// "+" or "-", then a decimal number (digits, an optional "." with further
// digits, an optional exponent "e" or "E" with optional sign and digits) or,
// in any letter case, "inf", "infinity" or "nan" (the last optionally
// followed by a parenthesised hexadecimal payload). Hexadecimal floating point
// is not accepted: "0x10" reads as 0 and stops before the "x".
//
// Returns the correctly rounded value; |*end| (when |end| is not null) points
// just behind the number, or at |text| when there is no number (the result is
// then 0). Overflow gives an infinity of the right sign; overflow and an
// underflow to zero or into the subnormal range set errno to ERANGE. errno is
// not touched otherwise.
double strtod(const char* text, char** end);

// Writes the shortest decimal text that reads back as |value| into |buffer|,
// which must hold at least kGFmtBufferSize bytes, and returns |buffer|.
//
// With n significant digits and the value written as 0.d1...dn x 10^p: "-"
// first when the sign bit is set (so -0 gives "-0"); infinities and NaN give
// "Infinity" and "NaN"; exponent form "d.ddde+XX" (the exponent signed and at
// least two digits) when p <= -4 or p > n + 5; otherwise plain digits with no
// "0" before a leading point. Examples: 1 "1", 1000000 "1e+06", 0.001 ".001",
// 0.00001 "1e-05", 123456.7 "123456.7", 1.5e300 "1.5e+300".
char* g_fmt(char* buffer, double value);
// The same with the arguments the other way round.
char* g_fmt(double value, char* buffer);

}  // namespace base

#endif  // BASE_STRINGS_DTOA_H_
