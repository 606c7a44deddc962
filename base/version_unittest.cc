#include "base/version.h"

#include <stdint.h>

#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(VersionTest, Parsing) {
  const struct {
    const char* text;
    std::vector<uint32_t> components;  // Empty: invalid.
  } cases[] = {
      {"52.0.2743.116", {52, 0, 2743, 116}},
      {"1", {1}},
      {"0", {0}},
      {"0.0", {0, 0}},
      {"1.01", {1, 1}},
      {"1.0001.00", {1, 1, 0}},
      {"4294967295.1", {4294967295u, 1}},
      {"1.4294967295", {1, 4294967295u}},
      {"01.1", {}},
      {"00", {}},
      {"4294967296.1", {}},
      {"1.4294967296", {}},
      {"", {}},
      {".", {}},
      {"1..2", {}},
      {"1.2.", {}},
      {".1", {}},
      {"1.-2", {}},
      {"+1.2", {}},
      {"1.+2", {}},
      {"-1", {}},
      {" 1.2", {}},
      {"1.2 ", {}},
      {"1. 2", {}},
      {"1.2a", {}},
      {"1,2", {}},
      {"0x1.2", {}},
  };
  for (const auto& c : cases) {
    const Version version(c.text);
    EXPECT_EQ(!c.components.empty(), version.IsValid()) << '"' << c.text << '"';
    EXPECT_EQ(c.components, version.components()) << '"' << c.text << '"';
  }
}

TEST(VersionTest, Comparison) {
  const struct {
    const char* a;
    const char* b;
    int result;
  } cases[] = {
      {"1.0", "1.0.0", 0},
      {"1.0.0.0", "1", 0},
      {"1.0.1", "1.0", 1},
      {"1.0", "1.0.1", -1},
      {"1.0.0.0.1", "1", 1},
      {"10", "9", 1},
      {"1.10", "1.9", 1},
      {"1.9", "1.10", -1},
      {"2", "1.99999", 1},
      {"1.01", "1.1", 0},
      {"52.0.2743.116", "52.0.2743.117", -1},
      {"4294967295", "4294967294.9", 1},
  };
  for (const auto& c : cases) {
    const Version a(c.a);
    const Version b(c.b);
    ASSERT_TRUE(a.IsValid() && b.IsValid()) << c.a << " " << c.b;
    EXPECT_EQ(c.result, a.CompareTo(b)) << c.a << " vs " << c.b;
    EXPECT_EQ(-c.result, b.CompareTo(a)) << c.b << " vs " << c.a;
  }
}

TEST(VersionTest, DefaultIsInvalidAndCopiesAreValues) {
  const Version invalid;
  EXPECT_FALSE(invalid.IsValid());
  EXPECT_EQ("", invalid.GetString());
  Version copy(StringPiece("3.2.1"));
  const Version original = copy;
  copy = Version("9");
  EXPECT_EQ("3.2.1", original.GetString());
  EXPECT_EQ("9", copy.GetString());
  EXPECT_EQ("1.1.0", Version("1.01.000").GetString());
}

}  // namespace
}  // namespace base
