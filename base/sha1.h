// SHA-1 (FIPS 180-1) over a byte string. Not for security: the diagnostics
// derive 64-bit identifiers from it.

#ifndef BASE_SHA1_H_
#define BASE_SHA1_H_

#include <stddef.h>

namespace base {

inline constexpr size_t kSHA1Length = 20;

// Writes the 20-byte digest of |length| bytes at |data| to |hash|.
void SHA1HashBytes(const unsigned char* data, size_t length,
                   unsigned char* hash);

}  // namespace base

#endif  // BASE_SHA1_H_
