// Integers to decimal text and back, bytes to hexadecimal text and back, and
// text to double.
//
// Every parser returns true only when the whole text was a clean number, and
// always stores its best value: 0 when nothing was read, the value of the
// digits before the first bad character, or the type's extreme when the
// number overflowed. Callers may rely on both. Only the ASCII digits count,
// in narrow and in wide text alike.

#ifndef BASE_STRINGS_STRING_NUMBER_CONVERSIONS_H_
#define BASE_STRINGS_STRING_NUMBER_CONVERSIONS_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "base/strings/string_piece.h"

namespace base {

// Decimal text: no leading zeros, no grouping, "-" before negative values.
std::string IntToString(int value);
std::u16string IntToString16(int value);
std::string UintToString(unsigned value);
std::u16string UintToString16(unsigned value);
std::string Int64ToString(int64_t value);
std::u16string Int64ToString16(int64_t value);
std::string Uint64ToString(uint64_t value);
std::u16string Uint64ToString16(uint64_t value);

// Two upper-case hexadecimal digits per byte, high half first.
std::string HexEncode(const void* bytes, size_t size);

// Decimal parsers. Leading white space makes the result false, but the
// number after it is still read and stored. One "+" may lead; a "-" makes the
// unsigned parsers store 0 and fail at once. On overflow the type's maximum
// (or minimum) is stored and the result is false.
bool StringToInt(StringPiece input, int* output);
bool StringToUint(StringPiece input, unsigned* output);
bool StringToUint64(StringPiece input, uint64_t* output);
bool WideStringToUint(StringPiece16 input, unsigned* output);
bool WideStringToInt64(StringPiece16 input, int64_t* output);

// Stricter forms that accept decimal digits only: a leading "+" fails as
// well (the value after it is still stored, as above).
bool StringToUint64DigitsOnly(StringPiece input, uint64_t* output);
bool WideStringToUintDigitsOnly(StringPiece16 input, unsigned* output);

// Hexadecimal digits in either case, with an optional "0x" or "0X" prefix
// when at least one digit follows it; white space and signs as for the
// decimal parsers. Overflow stores the uint64 maximum and fails.
bool HexStringToUInt64(StringPiece input, uint64_t* output);

// Appends one byte per pair of hexadecimal digits. Empty or odd-length text
// appends nothing and fails; a bad digit fails at once, keeping the bytes of
// the pairs before it.
bool HexStringToBytes(StringPiece input, std::vector<uint8_t>* output);

// The whole text must be a number for strtod (base/strings/dtoa.h) with no
// leading white space and no range error. The value is stored in every case
// (an infinity or zero after a range error, which also stays in errno; errno
// is otherwise left as it was).
bool StringToDouble(StringPiece input, double* output);

}  // namespace base

#endif  // BASE_STRINGS_STRING_NUMBER_CONVERSIONS_H_
