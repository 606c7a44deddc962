#include "base/rand_util.h"

#include <stdint.h>
#include <string.h>

#include <limits>
#include <set>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(RandUtilTest, DegenerateRanges) {
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(0u, RandUint64Below(1));
    EXPECT_EQ(5, RandInt(5, 5));
    EXPECT_EQ(std::numeric_limits<int>::min(),
              RandInt(std::numeric_limits<int>::min(),
                      std::numeric_limits<int>::min()));
    EXPECT_EQ(std::numeric_limits<int>::max(),
              RandInt(std::numeric_limits<int>::max(),
                      std::numeric_limits<int>::max()));
  }
}

TEST(RandUtilTest, SmallRangeHitsEveryValueAndNothingElse) {
  std::set<int> seen;
  for (int i = 0; i < 2000; ++i) {
    const int value = RandInt(-3, 3);
    ASSERT_GE(value, -3);
    ASSERT_LE(value, 3);
    seen.insert(value);
  }
  EXPECT_EQ(7u, seen.size());
}

// Over the whole int range the draws must reach both signs and both ends'
// neighbourhoods (a range computed in 32 bits would overflow here).
TEST(RandUtilTest, FullIntRange) {
  bool negative = false, positive = false, low = false, high = false;
  for (int i = 0; i < 4000; ++i) {
    const int value = RandInt(std::numeric_limits<int>::min(),
                              std::numeric_limits<int>::max());
    negative |= value < 0;
    positive |= value > 0;
    low |= value < std::numeric_limits<int>::min() / 2;
    high |= value > std::numeric_limits<int>::max() / 2;
  }
  EXPECT_TRUE(negative && positive && low && high);
}

// With a range of 3 x 2^62, reducing raw draws modulo the range without
// rejection would double the weight of the results below 2^62: half of all
// results instead of a third. The bounds leave many standard deviations on
// either side.
TEST(RandUtilTest, RejectionKeepsResultsUniform) {
  const uint64_t quarter = uint64_t{1} << 62;
  const uint64_t range = 3 * quarter;
  int below_quarter = 0;
  const int kDraws = 4000;
  for (int i = 0; i < kDraws; ++i) {
    const uint64_t value = RandUint64Below(range);
    ASSERT_LT(value, range);
    if (value < quarter) ++below_quarter;
  }
  EXPECT_GT(below_quarter, kDraws * 28 / 100);
  EXPECT_LT(below_quarter, kDraws * 39 / 100);
}

TEST(RandUtilTest, BytesVary) {
  uint8_t a[32] = {};
  uint8_t b[32] = {};
  RandBytes(a, sizeof(a));
  RandBytes(b, sizeof(b));
  EXPECT_NE(0, memcmp(a, b, sizeof(a)));
  int bits = 0;
  uint64_t ored = 0;
  for (int i = 0; i < 64; ++i) ored |= RandUint64();
  for (; ored; ored >>= 1) bits += ored & 1;
  EXPECT_EQ(64, bits);
}

}  // namespace
}  // namespace base
