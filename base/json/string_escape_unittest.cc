#include "base/json/string_escape.h"

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(StringEscapeTest, EscapesEachCharacterClass) {
  struct {
    std::string input;
    std::string expected;
  } cases[] = {
      {"plain text", "plain text"},
      {"\"", "\\\""},
      {"\\", "\\\\"},
      {"\b\t\n\f\r", "\\b\\t\\n\\f\\r"},
      {std::string(1, '\0'), "\\u0000"},
      {"\x01", "\\u0001"},
      {"\x0B", "\\u000B"},
      {"\x1F", "\\u001F"},
      {"a<b>c", "a\\u003Cb>c"},
      {"/", "/"},
      {"\x7F", "\x7F"},
      // U+2028 and U+2029.
      {"\xE2\x80\xA8\xE2\x80\xA9", "\\u2028\\u2029"},
      // Ordinary non-ASCII text stays UTF-8: e acute, the euro sign, U+1F600.
      {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
       "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
      // The characters next to the noncharacter block stay raw.
      {"\xEF\xB7\x8F\xEF\xB7\xB0", "\xEF\xB7\x8F\xEF\xB7\xB0"},
      // Noncharacters: U+FDD0, U+FDEF, U+FFFE, U+FFFF.
      {"\xEF\xB7\x90\xEF\xB7\xAF", "\\uFDD0\\uFDEF"},
      {"\xEF\xBF\xBE\xEF\xBF\xBF", "\\uFFFE\\uFFFF"},
      // U+1FFFE and U+10FFFF as surrogate pairs.
      {"\xF0\x9F\xBF\xBE", "\\uD83F\\uDFFE"},
      {"\xF4\x8F\xBF\xBF", "\\uDBFF\\uDFFF"},
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_TRUE(EscapeJSONString(c.input, &out)) << c.input;
    EXPECT_EQ("\"" + c.expected + "\"", out);
  }
}

TEST(StringEscapeTest, ReplacesMalformedInputAndReportsIt) {
  const std::string kReplacement = "\xEF\xBF\xBD";
  struct {
    std::string input;
    std::string expected;
  } cases[] = {
      {"\xFF", kReplacement},
      {"\xFE", kReplacement},
      {"a\x80z", "a" + kReplacement + "z"},
      // Overlong encoding of '/'.
      {"\xC0\xAF", kReplacement},
      // A surrogate code point (U+D800) encoded directly.
      {"\xED\xA0\x80", kReplacement},
      // Above U+10FFFF.
      {"\xF4\x90\x80\x80", kReplacement},
      // A truncated sequence at the end.
      {"x\xE2\x82", "x" + kReplacement},
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_FALSE(EscapeJSONString(c.input, &out));
    EXPECT_EQ("\"" + c.expected + "\"", out);
  }
}

TEST(StringEscapeTest, AppendsAndQuotesOnRequest) {
  std::string out = "prefix:";
  EXPECT_TRUE(EscapeJSONString("a\"b", false, &out));
  EXPECT_EQ("prefix:a\\\"b", out);
  EXPECT_TRUE(EscapeJSONString("", true, &out));
  EXPECT_EQ("prefix:a\\\"b\"\"", out);
}

}  // namespace
}  // namespace base
