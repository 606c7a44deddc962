#include "base/sha1.h"

#include <stdint.h>
#include <string.h>

namespace base {

namespace {

uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// The running state of one digest: chaining words, the block being filled,
// the message schedule and the message length in bits.
class SHA1State {
 public:
  void Update(const unsigned char* data, size_t length) {
    for (size_t i = 0; i < length; ++i) AddByte(data[i]);
    bit_count_ += uint64_t{length} * 8;
  }

  void Finish(unsigned char* hash) {
    const uint64_t bit_count = bit_count_;
    AddByte(0x80);
    while (filled_ != 56) AddByte(0);
    for (int i = 7; i >= 0; --i) {
      AddByte(static_cast<unsigned char>(bit_count >> (8 * i)));
    }
    for (int i = 0; i < 5; ++i) {
      for (int j = 0; j < 4; ++j) {
        hash[4 * i + j] = static_cast<unsigned char>(h_[i] >> (24 - 8 * j));
      }
    }
  }

 private:
  void AddByte(unsigned char byte) {
    block_[filled_++] = byte;
    if (filled_ == 64) {
      Transform();
      filled_ = 0;
    }
  }

  void Transform() {
    for (int t = 0; t < 16; ++t) {
      w_[t] = uint32_t{block_[4 * t]} << 24 |
              uint32_t{block_[4 * t + 1]} << 16 |
              uint32_t{block_[4 * t + 2]} << 8 | uint32_t{block_[4 * t + 3]};
    }
    for (int t = 16; t < 80; ++t) {
      w_[t] = RotateLeft(w_[t - 3] ^ w_[t - 8] ^ w_[t - 14] ^ w_[t - 16], 1);
    }
    uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4];
    for (int t = 0; t < 80; ++t) {
      uint32_t f, k;
      if (t < 20) {
        f = (b & c) | (~b & d);
        k = 0x5A827999;
      } else if (t < 40) {
        f = b ^ c ^ d;
        k = 0x6ED9EBA1;
      } else if (t < 60) {
        f = (b & c) | (b & d) | (c & d);
        k = 0x8F1BBCDC;
      } else {
        f = b ^ c ^ d;
        k = 0xCA62C1D6;
      }
      const uint32_t temp = RotateLeft(a, 5) + f + e + w_[t] + k;
      e = d;
      d = c;
      c = RotateLeft(b, 30);
      b = a;
      a = temp;
    }
    h_[0] += a;
    h_[1] += b;
    h_[2] += c;
    h_[3] += d;
    h_[4] += e;
  }

  uint32_t h_[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  unsigned char block_[64] = {};
  size_t filled_ = 0;
  uint32_t w_[80] = {};
  uint64_t bit_count_ = 0;
};

}  // namespace

void SHA1HashBytes(const unsigned char* data, size_t length,
                   unsigned char* hash) {
  SHA1State state;
  state.Update(data, length);
  state.Finish(hash);
}

}  // namespace base
