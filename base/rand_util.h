// Random numbers from the operating system's cryptographic generator. A
// failure of the generator ends the process: no caller has a sensible
// fallback for missing randomness.

#ifndef BASE_RAND_UTIL_H_
#define BASE_RAND_UTIL_H_

#include <stddef.h>
#include <stdint.h>

namespace base {

// Fills |size| bytes at |output| from the system source.
void RandBytes(void* output, size_t size);

// A uniformly distributed 64-bit value.
uint64_t RandUint64();

// A uniformly distributed value from 0 to |range| - 1; |range| must be at
// least 1. Values of the top, incomplete stretch of the 64-bit space are
// drawn again, so every result is equally likely.
uint64_t RandUint64Below(uint64_t range);

// A uniformly distributed value from |min| to |max| inclusive (|min| <=
// |max|); the full int range works.
int RandInt(int min, int max);

}  // namespace base

#endif  // BASE_RAND_UTIL_H_
