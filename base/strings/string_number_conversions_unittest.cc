#include "base/strings/string_number_conversions.h"

#include <errno.h>
#include <stdint.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(StringNumberConversionsTest, FormatsExtremesOfEveryWidth) {
  EXPECT_EQ("0", IntToString(0));
  EXPECT_EQ("-2147483648", IntToString(std::numeric_limits<int>::min()));
  EXPECT_EQ("2147483647", IntToString(std::numeric_limits<int>::max()));
  EXPECT_EQ(u"-2147483648", IntToString16(std::numeric_limits<int>::min()));
  EXPECT_EQ("4294967295", UintToString(std::numeric_limits<unsigned>::max()));
  EXPECT_EQ(u"4294967295",
            UintToString16(std::numeric_limits<unsigned>::max()));
  EXPECT_EQ("-9223372036854775808",
            Int64ToString(std::numeric_limits<int64_t>::min()));
  EXPECT_EQ(u"-9223372036854775808",
            Int64ToString16(std::numeric_limits<int64_t>::min()));
  EXPECT_EQ(u"9223372036854775807",
            Int64ToString16(std::numeric_limits<int64_t>::max()));
  EXPECT_EQ("18446744073709551615",
            Uint64ToString(std::numeric_limits<uint64_t>::max()));
  EXPECT_EQ(u"18446744073709551615",
            Uint64ToString16(std::numeric_limits<uint64_t>::max()));
  EXPECT_EQ("-10", IntToString(-10));
  EXPECT_EQ(u"100", Uint64ToString16(100));
}

// Each parse case: the text, the expected result and the value that must be
// stored whatever the result.
struct IntCase {
  const char* input;
  bool valid;
  int value;
};

TEST(StringNumberConversionsTest, StringToIntStoresBestValue) {
  const IntCase cases[] = {
      {"123", true, 123},
      {"0", true, 0},
      {"+7", true, 7},
      {"-0", true, 0},
      {" 123", false, 123},
      {"\t\n\v\f\r-5", false, -5},
      {"123 ", false, 123},
      {"12a", false, 12},
      {"a12", false, 0},
      {"-", false, 0},
      {"+", false, 0},
      {"", false, 0},
      {" ", false, 0},
      {"+-1", false, 0},
      {"--1", false, 0},
      {"0x10", false, 0},
      {"2147483647", true, 2147483647},
      {"2147483648", false, 2147483647},
      {"99999999999", false, 2147483647},
      {"-2147483648", true, std::numeric_limits<int>::min()},
      {"-2147483649", false, std::numeric_limits<int>::min()},
      {"-99999999999", false, std::numeric_limits<int>::min()},
      {"000000000000000000042", true, 42},
  };
  for (const IntCase& c : cases) {
    int value = 99;
    EXPECT_EQ(c.valid, StringToInt(c.input, &value)) << '"' << c.input << '"';
    EXPECT_EQ(c.value, value) << '"' << c.input << '"';
  }
}

TEST(StringNumberConversionsTest, StringToIntStopsAtEmbeddedNul) {
  int value = 0;
  EXPECT_FALSE(StringToInt(StringPiece("12\0"
                                       "3",
                                       4),
                           &value));
  EXPECT_EQ(12, value);
}

TEST(StringNumberConversionsTest, UnsignedParsersRejectMinusAtOnce) {
  unsigned u = 99;
  EXPECT_FALSE(StringToUint("-1", &u));
  EXPECT_EQ(0u, u);
  EXPECT_FALSE(StringToUint("-0", &u));
  EXPECT_EQ(0u, u);
  uint64_t u64 = 99;
  EXPECT_FALSE(StringToUint64("-1", &u64));
  EXPECT_EQ(0u, u64);
  // White space before the minus still counts as a bad start, not a number.
  EXPECT_FALSE(StringToUint64(" -5", &u64));
  EXPECT_EQ(0u, u64);
  u = 99;
  EXPECT_FALSE(WideStringToUint(u"-3", &u));
  EXPECT_EQ(0u, u);
}

TEST(StringNumberConversionsTest, UnsignedBoundaries) {
  unsigned u = 0;
  EXPECT_TRUE(StringToUint("4294967295", &u));
  EXPECT_EQ(4294967295u, u);
  EXPECT_FALSE(StringToUint("4294967296", &u));
  EXPECT_EQ(4294967295u, u);
  EXPECT_TRUE(StringToUint("+42", &u));
  EXPECT_EQ(42u, u);

  uint64_t u64 = 0;
  EXPECT_TRUE(StringToUint64("18446744073709551615", &u64));
  EXPECT_EQ(std::numeric_limits<uint64_t>::max(), u64);
  u64 = 0;
  EXPECT_FALSE(StringToUint64("18446744073709551616", &u64));
  EXPECT_EQ(std::numeric_limits<uint64_t>::max(), u64);
  EXPECT_FALSE(StringToUint64("18446744073709551620", &u64));
  EXPECT_EQ(std::numeric_limits<uint64_t>::max(), u64);
  // A value just below the limit in the last-but-one digit may take any
  // last digit.
  EXPECT_TRUE(StringToUint64("18446744073709551609", &u64));
  EXPECT_EQ(18446744073709551609u, u64);
}

TEST(StringNumberConversionsTest, WideParsers) {
  int64_t i64 = 0;
  EXPECT_TRUE(WideStringToInt64(u"-9223372036854775808", &i64));
  EXPECT_EQ(std::numeric_limits<int64_t>::min(), i64);
  EXPECT_FALSE(WideStringToInt64(u"-9223372036854775809", &i64));
  EXPECT_EQ(std::numeric_limits<int64_t>::min(), i64);
  EXPECT_TRUE(WideStringToInt64(u"9223372036854775807", &i64));
  EXPECT_EQ(std::numeric_limits<int64_t>::max(), i64);
  EXPECT_FALSE(WideStringToInt64(u"9223372036854775808", &i64));
  EXPECT_EQ(std::numeric_limits<int64_t>::max(), i64);

  unsigned u = 0;
  EXPECT_TRUE(WideStringToUint(u"4294967295", &u));
  EXPECT_EQ(4294967295u, u);
  EXPECT_FALSE(WideStringToUint(u"4294967296", &u));
  EXPECT_EQ(4294967295u, u);
  // Only ASCII digits count: a full-width seven is a bad character.
  EXPECT_FALSE(WideStringToUint(u"1\uFF17", &u));
  EXPECT_EQ(1u, u);
  // Unicode white space is skipped but makes the result false.
  EXPECT_FALSE(WideStringToUint(u"\u300012", &u));
  EXPECT_EQ(12u, u);
  EXPECT_FALSE(WideStringToInt64(u"\u00A0-12", &i64));
  EXPECT_EQ(-12, i64);
}

TEST(StringNumberConversionsTest, DigitsOnlyFormsRefuseSignsButStoreValue) {
  uint64_t u64 = 0;
  EXPECT_TRUE(StringToUint64DigitsOnly("123", &u64));
  EXPECT_EQ(123u, u64);
  EXPECT_FALSE(StringToUint64DigitsOnly("+123", &u64));
  EXPECT_EQ(123u, u64);
  EXPECT_FALSE(StringToUint64DigitsOnly("-1", &u64));
  EXPECT_EQ(0u, u64);
  EXPECT_FALSE(StringToUint64DigitsOnly("18446744073709551616", &u64));
  EXPECT_EQ(std::numeric_limits<uint64_t>::max(), u64);
  unsigned u = 0;
  EXPECT_TRUE(WideStringToUintDigitsOnly(u"77", &u));
  EXPECT_EQ(77u, u);
  EXPECT_FALSE(WideStringToUintDigitsOnly(u"+77", &u));
  EXPECT_EQ(77u, u);
  EXPECT_FALSE(WideStringToUintDigitsOnly(u" 77", &u));
}

TEST(StringNumberConversionsTest, HexStringToUInt64) {
  struct {
    const char* input;
    bool valid;
    uint64_t value;
  } const cases[] = {
      {"0xff", true, 255},
      {"FF", true, 255},
      {"0XaBc", true, 0xABC},
      {"+0x10", true, 16},
      {"0", true, 0},
      {"00", true, 0},
      {"0x", false, 0},
      {"0x0", true, 0},
      {"x1", false, 0},
      {"", false, 0},
      {"-1", false, 0},
      {" 1f", false, 0x1F},
      {"1g", false, 1},
      {"0x1 ", false, 1},
      {"ffffffffffffffff", true, std::numeric_limits<uint64_t>::max()},
      {"0x8000000000000000", true, 0x8000000000000000u},
      {"fffffffffffffffff", false, std::numeric_limits<uint64_t>::max()},
      {"10000000000000000", false, std::numeric_limits<uint64_t>::max()},
  };
  for (const auto& c : cases) {
    uint64_t value = 99;
    EXPECT_EQ(c.valid, HexStringToUInt64(c.input, &value)) << c.input;
    EXPECT_EQ(c.value, value) << c.input;
  }
}

TEST(StringNumberConversionsTest, HexBytesBothWays) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(HexStringToBytes("0a1B", &bytes));
  EXPECT_EQ((std::vector<uint8_t>{0x0A, 0x1B}), bytes);

  // Appends to what is there.
  EXPECT_TRUE(HexStringToBytes("FF", &bytes));
  EXPECT_EQ((std::vector<uint8_t>{0x0A, 0x1B, 0xFF}), bytes);

  bytes.clear();
  EXPECT_FALSE(HexStringToBytes("abc", &bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_FALSE(HexStringToBytes("", &bytes));
  EXPECT_TRUE(bytes.empty());
  // The pairs before the bad digit stay appended.
  EXPECT_FALSE(HexStringToBytes("0102zz03", &bytes));
  EXPECT_EQ((std::vector<uint8_t>{0x01, 0x02}), bytes);

  const uint8_t raw[] = {0x01, 0xAB, 0x00, 0xF0};
  EXPECT_EQ("01AB00F0", HexEncode(raw, sizeof(raw)));
  EXPECT_EQ("", HexEncode(raw, 0));

  std::vector<uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  std::vector<uint8_t> back;
  EXPECT_TRUE(HexStringToBytes(HexEncode(all.data(), all.size()), &back));
  EXPECT_EQ(all, back);
}

TEST(StringNumberConversionsTest, StringToDouble) {
  struct {
    const char* input;
    bool valid;
    double value;
  } const cases[] = {
      {"1.5", true, 1.5},         {"-0.25", true, -0.25},
      {"1e2", true, 100.0},       {"+3", true, 3.0},
      {".5", true, 0.5},          {"5.", true, 5.0},
      {" 1.5", false, 1.5},       {"1.5x", false, 1.5},
      {"1.5 ", false, 1.5},       {"", false, 0.0},
      {"x", false, 0.0},          {"0x10", false, 0.0},
      {"1e999", false, HUGE_VAL}, {"-1e999", false, -HUGE_VAL},
      {"1e-999", false, 0.0},     {"Infinity", true, HUGE_VAL},
      {"-inf", true, -HUGE_VAL},
  };
  for (const auto& c : cases) {
    double value = 99;
    EXPECT_EQ(c.valid, StringToDouble(c.input, &value)) << c.input;
    EXPECT_EQ(c.value, value) << c.input;
  }
  double value = 0;
  EXPECT_TRUE(StringToDouble("nan", &value));
  EXPECT_TRUE(std::isnan(value));
  EXPECT_FALSE(StringToDouble(StringPiece("1\0"
                                          "2",
                                          3),
                              &value));
  EXPECT_EQ(1.0, value);
}

TEST(StringNumberConversionsTest, StringToDoubleKeepsErrnoUnlessRangeError) {
  errno = EINVAL;
  double value = 0;
  EXPECT_TRUE(StringToDouble("2.5", &value));
  EXPECT_EQ(EINVAL, errno);
  EXPECT_FALSE(StringToDouble("junk", &value));
  EXPECT_EQ(EINVAL, errno);
  EXPECT_FALSE(StringToDouble("1e400", &value));
  EXPECT_EQ(ERANGE, errno);
  EXPECT_TRUE(std::isinf(value));
  errno = 0;
  // Subnormal results lose precision and count as a range error as well.
  EXPECT_FALSE(StringToDouble("5e-324", &value));
  EXPECT_EQ(ERANGE, errno);
  EXPECT_EQ(std::numeric_limits<double>::denorm_min(), value);
  errno = 0;
}

TEST(StringNumberConversionsTest, IntegerRoundTripsAtBoundaries) {
  const int64_t values[] = {std::numeric_limits<int64_t>::min(),
                            std::numeric_limits<int64_t>::min() + 1,
                            -1000000007,
                            -1,
                            0,
                            1,
                            999999999999,
                            std::numeric_limits<int64_t>::max() - 1,
                            std::numeric_limits<int64_t>::max()};
  for (int64_t v : values) {
    int64_t back = 0;
    EXPECT_TRUE(WideStringToInt64(Int64ToString16(v), &back)) << v;
    EXPECT_EQ(v, back);
    if (v >= std::numeric_limits<int>::min() &&
        v <= std::numeric_limits<int>::max()) {
      int i = 0;
      EXPECT_TRUE(StringToInt(IntToString(static_cast<int>(v)), &i));
      EXPECT_EQ(v, i);
    }
    if (v >= 0) {
      uint64_t u = 0;
      EXPECT_TRUE(StringToUint64(Uint64ToString(v), &u));
      EXPECT_EQ(static_cast<uint64_t>(v), u);
    }
  }
}

}  // namespace
}  // namespace base
