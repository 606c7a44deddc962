#include "base/strings/string_util.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(StringUtilTest, TrimString16) {
  struct Case {
    std::u16string input, output;
    TrimPositions result;
  } cases[] = {
      {u"  x ", u"x", TRIM_ALL},
      {u"x", u"x", TRIM_NONE},
      {u"   ", u"", TRIM_ALL},
      {u"", u"", TRIM_NONE},
      {u"\u3000x", u"x", TRIM_LEADING},
      {u"x\u2029\u00A0", u"x", TRIM_TRAILING},
      {u"\u200Bx", u"\u200Bx", TRIM_NONE},  // zero width space is not white
  };
  for (const Case& c : cases) {
    std::u16string out = u"garbage";
    EXPECT_EQ(c.result, TrimString16(c.input, kWhitespaceUTF16, &out));
    EXPECT_EQ(c.output, out);
    // The output may be the input itself.
    std::u16string in_place = c.input;
    TrimString16(in_place, kWhitespaceUTF16, &in_place);
    EXPECT_EQ(c.output, in_place);
  }
}

TEST(StringUtilTest, CollapseWhitespaceASCII) {
  EXPECT_EQ("a bc", CollapseWhitespaceASCII(" a  b \r\n c "));
  EXPECT_EQ("a b", CollapseWhitespaceASCII("a   b"));
  EXPECT_EQ("ab", CollapseWhitespaceASCII("a\nb"));
  EXPECT_EQ("ab", CollapseWhitespaceASCII("a \t\r b"));
  EXPECT_EQ("", CollapseWhitespaceASCII(" \t\n "));
  EXPECT_EQ("\xC2\xA0x", CollapseWhitespaceASCII("\xC2\xA0x"));
  EXPECT_EQ("a b", CollapseWhitespaceASCII("a\x0b\x0c" "b"));
}

TEST(StringUtilTest, CaseInsensitiveComparisons) {
  EXPECT_TRUE(EqualsCaseInsensitiveASCII16(u"EN-US", "en-us"));
  // The narrow side must already be lower case.
  EXPECT_FALSE(EqualsCaseInsensitiveASCII16(u"EN-US", "EN-US"));
  EXPECT_FALSE(EqualsCaseInsensitiveASCII16(u"en", "en-us"));
  EXPECT_FALSE(EqualsCaseInsensitiveASCII16(u"\u00E9", "\xE9"));
  EXPECT_TRUE(EqualsCaseInsensitiveASCII16(u"Yes", u"yES"));
  EXPECT_FALSE(EqualsCaseInsensitiveASCII16(u"\u00C9", u"\u00E9"));
  EXPECT_TRUE(EqualsCaseInsensitiveASCII("TRUE", "true"));
  EXPECT_EQ("abc-\xC3\x89", ToLowerASCII("ABC-\xC3\x89"));
  EXPECT_EQ(u"ABC\u00E9", ToUpperASCII(u"abc\u00E9"));
}

TEST(StringUtilTest, EndsWith16) {
  EXPECT_TRUE(EndsWith16(u"FILE.EXE", u".exe", 1));
  EXPECT_FALSE(EndsWith16(u"FILE.EXE", u".exe", 0));
  EXPECT_TRUE(EndsWith16(u"abc", u"abc", 0));
  EXPECT_TRUE(EndsWith16(u"abc", u"", 0));
  EXPECT_FALSE(EndsWith16(u"bc", u"abc", 1));
  EXPECT_FALSE(EndsWith16(u"abc", u"c", 2));  // unknown flag
  EXPECT_TRUE(EndsWith16(u"x.DLL", u".dll", CompareCase::INSENSITIVE_ASCII));
}

TEST(StringUtilTest, ReplaceCharsNeverRescansTheReplacement) {
  std::string out;
  EXPECT_TRUE(ReplaceChars("a/b", "/", "//", &out));
  EXPECT_EQ("a//b", out);
  EXPECT_FALSE(ReplaceChars("abc", "xyz", "-", &out));
  EXPECT_EQ("abc", out);
  std::string in_place = "a\\b\\c";
  EXPECT_TRUE(ReplaceChars(in_place, "\\", "/", &in_place));
  EXPECT_EQ("a/b/c", in_place);
  EXPECT_TRUE(ReplaceChars("a.b", ".", "", &out));
  EXPECT_EQ("ab", out);
}

TEST(StringUtilTest, ReplaceSubstringsAfterOffset) {
  struct Case {
    std::string input, find, replace;
    bool all;
    std::string expected;
  } cases[] = {
      {"aaa", "a", "b", true, "bbb"},              // equal length
      {"a-b-c", "-", "", true, "abc"},             // shrinking
      {"x{S}y{S}", "{S}", "stable", true, "xstableystable"},  // growing
      {"{S}{S}", "{S}", "{S}{S}", true, "{S}{S}{S}{S}"},  // never rescans
      {"aaaa", "aa", "b", true, "bb"},              // no overlaps
      {"aaa", "aa", "xyz", true, "xyza"},
      {"abc", "x", "y", true, "abc"},
      {"a-b-c", "-", "+", false, "a+b-c"},
      {"abc", "", "x", true, "abc"},               // empty find: no change
      {"", "a", "b", true, ""},
  };
  for (const Case& c : cases) {
    std::string s = c.input;
    ReplaceSubstringsAfterOffset(&s, c.find, c.replace, c.all);
    EXPECT_EQ(c.expected, s) << c.input;
  }
  std::string s = "a.a.a";
  ReplaceSubstringsAfterOffset(&s, 2, ".", "::");
  EXPECT_EQ("a.a::a", s);
  std::u16string w = u"{InternalStream}-{InternalStream}";
  ReplaceSubstringsAfterOffset(&w, 0, u"{InternalStream}", u"beta");
  EXPECT_EQ(u"beta-beta", w);
}

TEST(StringUtilTest, ReplaceSubstringsIsLinear) {
  // A quadratic shift of the tail per occurrence would take seconds here.
  std::string s(2'000'000, 'a');
  ReplaceSubstringsAfterOffset(&s, "a", "bc", true);
  EXPECT_EQ(4'000'000u, s.size());
  ReplaceSubstringsAfterOffset(&s, "bc", "d", true);
  EXPECT_EQ(std::string(2'000'000, 'd'), s);
}

TEST(StringUtilTest, JoinString) {
  EXPECT_EQ("", JoinString({}, ","));
  EXPECT_EQ("a", JoinString({"a"}, ","));
  EXPECT_EQ("a, b, ", JoinString({"a", "b", ""}, ", "));
  EXPECT_EQ(u"x;y", JoinString16({u"x", u"y"}, u";"));
}

TEST(StringUtilTest, ReplaceStringPlaceholders) {
  const std::vector<std::string> two = {"3", "7"};
  struct Case {
    const char* format;
    const char* expected;
  } cases[] = {
      {"$1 of $2", "3 of 7"},
      {"$3", ""},
      {"100$%", "100"},
      {"$$1", "$1"},
      {"$$$1", "$$1"},
      {"end$", "end"},
      {"$0", ""},
      {"$2$1", "73"},
      {"$10", "30"},  // no tenth substitution: "$1" then "0"
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.expected, ReplaceStringPlaceholders(c.format, two)) << c.format;

  std::vector<size_t> offsets;
  EXPECT_EQ(u"b=B, a=A",
            ReplaceStringPlaceholders16(u"b=$2, a=$1", {u"A", u"B"}, &offsets));
  EXPECT_EQ((std::vector<size_t>{7, 2}), offsets);
}

}  // namespace
}  // namespace base
