#include "base/md5.h"

#include <stddef.h>
#include <string.h>

namespace base {

namespace {

// floor(|sin(i + 1)| * 2^32) for the 64 steps.
constexpr uint32_t kSineTable[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a,
    0xa8304613, 0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be,
    0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340,
    0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8,
    0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c,
    0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
    0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92,
    0xffeff47d, 0x85845dd1, 0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1,
    0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// Rotation amounts, four per round.
constexpr int kShifts[4][4] = {
    {7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

uint32_t LoadLittleEndian(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
         uint32_t{p[3]} << 24;
}

void StoreLittleEndian(uint32_t value, uint8_t* p) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

void Transform(uint32_t state[4], const uint8_t block[64]) {
  uint32_t words[16];
  for (int i = 0; i < 16; ++i) words[i] = LoadLittleEndian(block + 4 * i);
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (int step = 0; step < 64; ++step) {
    const int round = step / 16;
    uint32_t f;
    int index;
    switch (round) {
      case 0:
        f = (b & c) | (~b & d);
        index = step;
        break;
      case 1:
        f = (d & b) | (~d & c);
        index = (5 * step + 1) % 16;
        break;
      case 2:
        f = b ^ c ^ d;
        index = (3 * step + 5) % 16;
        break;
      default:
        f = c ^ (b | ~d);
        index = (7 * step) % 16;
        break;
    }
    const uint32_t sum = a + f + kSineTable[step] + words[index];
    a = d;
    d = c;
    c = b;
    b = b + RotateLeft(sum, kShifts[round][step % 4]);
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

// Bytes already waiting in the block buffer.
size_t BufferedBytes(const MD5Context* context) {
  return (context->bit_count[0] >> 3) & 0x3F;
}

void AddBytes(MD5Context* context, const uint8_t* data, size_t length) {
  size_t used = BufferedBytes(context);
  const uint64_t bits =
      (uint64_t{context->bit_count[1]} << 32 | context->bit_count[0]) +
      (uint64_t{length} << 3);
  context->bit_count[0] = static_cast<uint32_t>(bits);
  context->bit_count[1] = static_cast<uint32_t>(bits >> 32);
  while (length > 0) {
    const size_t take = length < 64 - used ? length : 64 - used;
    memcpy(context->block + used, data, take);
    used += take;
    data += take;
    length -= take;
    if (used == 64) {
      Transform(context->state, context->block);
      used = 0;
    }
  }
}

}  // namespace

void MD5Init(MD5Context* context) {
  context->state[0] = 0x67452301;
  context->state[1] = 0xefcdab89;
  context->state[2] = 0x98badcfe;
  context->state[3] = 0x10325476;
  context->bit_count[0] = 0;
  context->bit_count[1] = 0;
}

void MD5Update(MD5Context* context, StringPiece data) {
  AddBytes(context, reinterpret_cast<const uint8_t*>(data.data()), data.size());
}

void MD5Final(MD5Digest* digest, MD5Context* context) {
  uint8_t length_bytes[8];
  StoreLittleEndian(context->bit_count[0], length_bytes);
  StoreLittleEndian(context->bit_count[1], length_bytes + 4);
  // 0x80, then zeros up to 56 mod 64 (a whole extra block when fewer than
  // eight bytes are left), then the length.
  static constexpr uint8_t kPadding[64] = {0x80};
  const size_t used = BufferedBytes(context);
  const size_t pad = used < 56 ? 56 - used : 120 - used;
  AddBytes(context, kPadding, pad);
  AddBytes(context, length_bytes, 8);
  for (int i = 0; i < 4; ++i)
    StoreLittleEndian(context->state[i], digest->a + 4 * i);
  memset(context, 0, sizeof(*context));
}

}  // namespace base
