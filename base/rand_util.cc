#include "base/rand_util.h"

#include <limits>

#include "base/logging.h"

namespace base {

uint64_t RandUint64() {
  uint64_t value;
  RandBytes(&value, sizeof(value));
  return value;
}

uint64_t RandUint64Below(uint64_t range) {
  CHECK_GT(range, 0u);
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  // The largest multiple of |range| minus one: taking values modulo |range|
  // above it would favour the small results.
  const uint64_t limit = kMax / range * range - 1;
  uint64_t value;
  do {
    value = RandUint64();
  } while (value > limit);
  return value % range;
}

int RandInt(int min, int max) {
  CHECK_LE(min, max);
  const uint64_t range = static_cast<uint64_t>(int64_t{max} - min) + 1;
  return static_cast<int>(int64_t{min} +
                          static_cast<int64_t>(RandUint64Below(range)));
}

}  // namespace base
