// MD5 (RFC 1321). Set a context up with MD5Init, feed it with MD5Update any
// number of times, and finish it once with MD5Final. Not for security: the
// diagnostics hash names into 64-bit identifiers with it.

#ifndef BASE_MD5_H_
#define BASE_MD5_H_

#include <stdint.h>

#include "base/strings/string_piece.h"

namespace base {

struct MD5Digest {
  uint8_t a[16];
};

// The running state: the four chaining words, the message length in bits as
// two 32-bit words (low, high), and the block being filled.
struct MD5Context {
  uint32_t state[4];
  uint32_t bit_count[2];
  uint8_t block[64];
};

void MD5Init(MD5Context* context);
void MD5Update(MD5Context* context, StringPiece data);
// Writes the digest, then sets the whole context to zero.
void MD5Final(MD5Digest* digest, MD5Context* context);

}  // namespace base

#endif  // BASE_MD5_H_
