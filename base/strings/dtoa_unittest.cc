#include "base/strings/dtoa.h"

#include <errno.h>
#include <stdint.h>
#include <string.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

uint64_t Bits(double value) {
  uint64_t bits;
  memcpy(&bits, &value, sizeof(bits));
  return bits;
}

double FromBits(uint64_t bits) {
  double value;
  memcpy(&value, &bits, sizeof(value));
  return value;
}

std::string Format(double value) {
  char buffer[kGFmtBufferSize];
  return g_fmt(buffer, value);
}

TEST(DtoaTest, GFmtLayout) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {0.0, "0"},
      {-0.0, "-0"},
      {1.0, "1"},
      {-1.0, "-1"},
      {100.0, "100"},
      {100000.0, "100000"},
      {1000000.0, "1e+06"},
      {123456.7, "123456.7"},
      {1234567.0, "1234567"},
      {123456700000.0, "123456700000"},
      {1234567000000.0, "1.234567e+12"},
      {0.1, ".1"},
      {-0.5, "-.5"},
      {0.001, ".001"},
      {0.00125, ".00125"},
      {0.0001, ".0001"},
      {0.00001, "1e-05"},
      {0.000012, "1.2e-05"},
      {1.23e-18, "1.23e-18"},
      {1e21, "1e+21"},
      {1e100, "1e+100"},
      {1.5e300, "1.5e+300"},
      {5e-324, "5e-324"},
      {9007199254740992.0, "9007199254740992"},
      {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
      {-std::numeric_limits<double>::max(), "-1.7976931348623157e+308"},
      {std::numeric_limits<double>::min(), "2.2250738585072014e-308"},
      {std::numeric_limits<double>::infinity(), "Infinity"},
      {-std::numeric_limits<double>::infinity(), "-Infinity"},
      {std::numeric_limits<double>::quiet_NaN(), "NaN"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.text, Format(c.value)) << c.text;
  }
}

TEST(DtoaTest, GFmtArgumentOrdersAgree) {
  char first[kGFmtBufferSize];
  char second[kGFmtBufferSize];
  EXPECT_EQ(first, g_fmt(first, 0.3));
  EXPECT_EQ(second, g_fmt(0.3, second));
  EXPECT_STREQ(first, second);
  EXPECT_STREQ(".3", second);
}

TEST(DtoaTest, StrtodEndPositions) {
  const struct {
    const char* input;
    size_t used;  // Characters read; 0 means no number.
    double value;
  } cases[] = {
      {"1.5", 3, 1.5},
      {" \t\n\v\f\r42", 8, 42.0},
      {"+7", 2, 7.0},
      {"-.5", 3, -0.5},
      {"5.", 2, 5.0},
      {"1e", 1, 1.0},
      {"1e+", 1, 1.0},
      {"1E-2x", 4, 0.01},
      {"1.5e3x", 5, 1500.0},
      {"0x10", 1, 0.0},
      {"00012", 5, 12.0},
      {"infinite", 3, HUGE_VAL},
      {"-Infinity", 9, -HUGE_VAL},
      {"INFINITYx", 8, HUGE_VAL},
      {"infin", 3, HUGE_VAL},
      {"", 0, 0.0},
      {"  ", 0, 0.0},
      {"-", 0, 0.0},
      {"  -", 0, 0.0},
      {".", 0, 0.0},
      {"-.e1", 0, 0.0},
      {"+-1", 0, 0.0},
      {"e5", 0, 0.0},
      {"in", 0, 0.0},
      {"na", 0, 0.0},
  };
  for (const auto& c : cases) {
    char* end = nullptr;
    errno = 0;
    const double value = strtod(c.input, &end);
    EXPECT_EQ(c.input + c.used, end) << '"' << c.input << '"';
    EXPECT_EQ(c.value, value) << '"' << c.input << '"';
    EXPECT_EQ(0, errno) << '"' << c.input << '"';
  }
  EXPECT_EQ(2.5, strtod("2.5", nullptr));
}

TEST(DtoaTest, StrtodNaNAndPayload) {
  const struct {
    const char* input;
    size_t used;
    uint64_t payload;
    bool negative;
  } cases[] = {
      {"NAN", 3, 0, false},        {"-nan", 4, 0, true},
      {"nan(1f)", 7, 0x1F, false}, {"nan(DEAD)x", 9, 0xDEAD, false},
      {"nan()", 3, 0, false},      {"nan(xyz)", 3, 0, false},
      {"nan(12", 3, 0, false},
  };
  for (const auto& c : cases) {
    char* end = nullptr;
    const double value = strtod(c.input, &end);
    EXPECT_TRUE(std::isnan(value)) << c.input;
    EXPECT_EQ(c.input + c.used, end) << c.input;
    EXPECT_EQ(c.negative, std::signbit(value)) << c.input;
    EXPECT_EQ(c.payload, Bits(value) & 0x0007FFFFFFFFFFFFu) << c.input;
  }
}

TEST(DtoaTest, StrtodRangeErrors) {
  const struct {
    const char* input;
    double value;
    bool range_error;
  } cases[] = {
      {"1e400", HUGE_VAL, true},
      {"-1e400", -HUGE_VAL, true},
      {"1e-400", 0.0, true},
      {"0.000001e-330", 0.0, true},
      {"123456789e99999999999999999999", HUGE_VAL, true},
      {"0.0000000000001e-99999999999999999999", 0.0, true},
      {"1.7976931348623157e308", std::numeric_limits<double>::max(), false},
      {"1.7976931348623158e308", std::numeric_limits<double>::max(), false},
      {"1.7976931348623159e308", HUGE_VAL, true},
      {"2.2250738585072014e-308", std::numeric_limits<double>::min(), false},
      {"2.2250738585072011e-308", FromBits(0x000FFFFFFFFFFFFFu), true},
      {"5e-324", std::numeric_limits<double>::denorm_min(), true},
      {"2.4703282292062328e-324", std::numeric_limits<double>::denorm_min(),
       true},
      {"2.4703282292062327e-324", 0.0, true},
      {"0e99999", 0.0, false},
      {"0.000e-99999", 0.0, false},
  };
  for (const auto& c : cases) {
    errno = 0;
    char* end = nullptr;
    const double value = strtod(c.input, &end);
    EXPECT_EQ(Bits(c.value), Bits(value)) << c.input;
    EXPECT_EQ(c.range_error ? ERANGE : 0, errno) << c.input;
    EXPECT_EQ(c.input + strlen(c.input), end) << c.input;
  }
  errno = 0;
}

TEST(DtoaTest, StrtodRoundsCorrectly) {
  const struct {
    const char* input;
    double value;
  } cases[] = {
      // Halfway between 2^53 and 2^53 + 2: ties go to the even mantissa,
      // and any later non-zero digit breaks the tie upwards.
      {"9007199254740993", 9007199254740992.0},
      {"9007199254740993.0000000000000000000000000001", 9007199254740994.0},
      {"9007199254740995", 9007199254740996.0},
      {"0.1", 0.1},
      {"0.30000000000000004", 0.1 + 0.2},
      {"1.00000000000000011102230246251565404236316680908203125",
       1.0},  // Exactly halfway above 1: ties to even.
      {"1.00000000000000011102230246251565404236316680908203126",
       1.0000000000000002},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Bits(c.value), Bits(strtod(c.input, nullptr))) << c.input;
  }
}

// Every finite double, written by g_fmt and read back by strtod, must come
// back bit for bit, and the text must fit the documented buffer.
TEST(DtoaTest, RandomRoundTripIsBitExact) {
  std::mt19937_64 random(20240611);
  std::uniform_real_distribution<double> uniform(-1e6, 1e6);
  for (int i = 0; i < 200000; ++i) {
    // Half random bit patterns (all exponents, subnormals included), half
    // ordinary magnitudes.
    const double value =
        i % 2 ? FromBits(random()) : uniform(random) * std::pow(10.0, i % 40);
    if (std::isnan(value)) continue;
    char buffer[kGFmtBufferSize + 8];
    memset(buffer, 'x', sizeof(buffer));
    g_fmt(buffer, value);
    const size_t length = strlen(buffer);
    ASSERT_LT(length, kGFmtBufferSize) << buffer;
    char* end = nullptr;
    const double back = strtod(buffer, &end);
    ASSERT_EQ(Bits(value), Bits(back)) << buffer;
    ASSERT_EQ(buffer + length, end) << buffer;
  }
}

}  // namespace
}  // namespace base
